// The kit's network module, and libcurl and OpenSSL with it, are opened at the first request
// and not before, so that a start of the program maps none of them.
#include <gtest/gtest.h>

#include "ModuleTestSupport.h"
#include "kit/network/NetworkKeys.h"
#include "kit/network/WRKURLSession.h"

namespace talvor::kit {
namespace {

TEST(kitNetworkModule, IsOpenedAtTheFirstRequestAndNotBefore) {
    const URLRequest request = test::requestToAClosedLoopbackPort();
    const auto configuration = WRKURLSessionConfiguration::defaultSessionConfiguration();
    for (const char* library : test::kModuleLibraries) {
        EXPECT_EQ(test::mappedFiles().find(library), std::string::npos)
            << library << " is mapped before any request";
    }

    const WRKURLSession::Result refused =
        WRKURLSession::sendSynchronousRequest(request, configuration);
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->code, keys::NSURLErrorCannotConnectToHost)
        << refused.error->localizedDescription.value_or("");

    const std::string mapped = test::mappedFiles();
    for (const char* library : test::kModuleLibraries) {
        EXPECT_NE(mapped.find(library), std::string::npos) << library << " is not mapped";
    }
}

}  // namespace
}  // namespace talvor::kit
