// Without the network module the kit runs on with its network off: every request fails with
// an error that says why, and the log says so once, naming where the module was looked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "LogCapture.h"
#include "ModuleTestSupport.h"
#include "kit/network/NetworkKeys.h"
#include "kit/network/TRLCertificatePinner.h"
#include "kit/network/TRLNetworkClient.h"
#include "kit/network/TRLURLBuilder.h"
#include "kit/network/WRKURLSession.h"

namespace talvor::kit {
namespace {

TEST(kitNetworkModule, MissingFailsEveryRequestWithAClearErrorAndSaysSoOnce) {
    const std::string missing = "/nonexistent/talvor-test/no-network-module.so";
    ASSERT_EQ(::setenv("TALVOR_NETWORK_MODULE", missing.c_str(), 1), 0);
    test::LogCapture log;
    const URLRequest request = test::requestToAClosedLoopbackPort();
    const auto configuration = WRKURLSessionConfiguration::defaultSessionConfiguration();

    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        const WRKURLSession::Result result =
            WRKURLSession::sendSynchronousRequest(request, configuration);
        ASSERT_TRUE(result.error);
        EXPECT_FALSE(result.response);
        EXPECT_EQ(result.error->domain, keys::NSURLErrorDomain);
        EXPECT_NE(result.error->localizedDescription.value_or("").find("no network module"),
                  std::string::npos)
            << result.error->localizedDescription.value_or("");
        EXPECT_EQ(WRKURLSession::sessionWithConfiguration(configuration), nullptr);
        EXPECT_EQ(TRLNetworkClient::initWithQueue(nullptr), nullptr);
    }
    EXPECT_FALSE(TRLURLBuilder::URLWithBase("https://service.invalid/v1").URL());
    EXPECT_FALSE(TRLCertificate::withData("not a certificate"));

    const auto said = std::count_if(log.lines.begin(), log.lines.end(), [](const std::string& l) {
        return l.find("No network module") != std::string::npos;
    });
    EXPECT_EQ(said, 1);
    EXPECT_TRUE(std::any_of(log.lines.begin(), log.lines.end(), [&](const std::string& l) {
        return l.find(missing) != std::string::npos;
    })) << "the line names where the module was looked for";
    const std::string mapped = test::mappedFiles();
    for (const char* library : test::kModuleLibraries) {
        EXPECT_EQ(mapped.find(library), std::string::npos) << library;
    }
    ::unsetenv("TALVOR_NETWORK_MODULE");
}

}  // namespace
}  // namespace talvor::kit
