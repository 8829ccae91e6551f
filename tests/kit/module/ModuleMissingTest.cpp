// Without the network module the kit runs on with its network off: every request fails with
// an error that says why, nothing meant to be sent is thrown away, and the log says so once,
// naming where the module was looked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "AnalyticsTestSupport.h"
#include "KitSandbox.h"
#include "LogCapture.h"
#include "ManualClock.h"
#include "ModuleTestSupport.h"
#include "kit/KitJson.h"
#include "kit/TLYLogger.h"
#include "kit/TLYTallyController.h"
#include "kit/TLYUploader.h"
#include "kit/network/NetworkKeys.h"
#include "kit/network/TRLCertificatePinner.h"
#include "kit/network/TRLNetworkClient.h"
#include "kit/network/TRLURLBuilder.h"
#include "kit/network/WRKURLSession.h"

namespace talvor::kit {
namespace {

namespace fs = std::filesystem;

const char kMissing[] = "/nonexistent/talvor-test/no-network-module.so";

// The module is looked for once per process: every case here runs without it, and the log
// is kept from the start, whichever case comes first.
class WithoutTheModule : public ::testing::Environment {
  public:
    void SetUp() override {
        ASSERT_EQ(::setenv("TALVOR_NETWORK_MODULE", kMissing, 1), 0);
        log = std::make_unique<test::LogCapture>();
    }
    void TearDown() override { log.reset(); }

    static inline std::unique_ptr<test::LogCapture> log;
};
[[maybe_unused]] const auto* const environment =
    ::testing::AddGlobalTestEnvironment(new WithoutTheModule);

bool logged(const std::string& text) {
    const auto& lines = WithoutTheModule::log->lines;
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

TEST(kitNetworkModule, MissingFailsEveryRequestWithAClearErrorAndSaysSoOnce) {
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

    const auto& lines = WithoutTheModule::log->lines;
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.find("No network module") != std::string::npos;
                            }),
              1);
    EXPECT_TRUE(logged(kMissing)) << "the line names where the module was looked for";
    const std::string mapped = test::mappedFiles();
    for (const char* library : test::kModuleLibraries) {
        EXPECT_EQ(mapped.find(library), std::string::npos) << library;
    }
}

// The analytics keep a package they could not send: it goes at a later run, with the module.
TEST(kitNetworkModule, MissingKeepsTheAnalyticsPackageForALaterRun) {
    test::KitSandbox sandbox;
    sandbox.install(
        test::plist("<key>CFBundleIdentifier</key><string>org.talvor.test</string>"
                    "<key>Trellis</key><dict><key>APIKey</key><string>key-1</string>"
                    "<key>Kits</key><array/></dict>"));
    test::ManualClock clock;
    test::NoJitter random;
    Clock::setShared(&clock);
    RandomSource::setShared(&random);
    TLYLogger::sharedLogger().setDebugMode(true);  // its lines show the upload's end
    const fs::path root = sandbox.dir / "analytics";
    auto controller = TLYTallyController::make(
        std::nullopt, root,
        {&clock, &random, WRKURLSessionConfiguration::defaultSessionConfiguration()});
    ASSERT_TRUE(controller->waitUntilIdle());
    const fs::path events = TLYTallyController::eventDirectoryForRootDirectory(root);
    const auto packaged = test::filesWithExtension(events, "multipartmime");
    ASSERT_EQ(packaged.size(), 1u);

    // Over TLS, as the service is reached; nothing listens there.
    std::string url = test::requestToAClosedLoopbackPort().URL;
    url.replace(0, 4, "https");
    const auto settings = json::parse(R"({"analytics":{"url":")" + url + R"(events"}})");
    ASSERT_TRUE(settings);
    controller->initializeSettingsIfNeededWithTrellisSettings(*settings);
    ASSERT_TRUE(test::eventually([&] {
        return logged("Finished transmission of") &&
               controller->eventQueue()->operationCount() == 0;
    })) << "the upload was not tried: "
        << ::testing::PrintToString(WithoutTheModule::log->lines);
    EXPECT_TRUE(logged("no network module"));
    EXPECT_EQ(test::filesWithExtension(events, "multipartmime"), packaged);

    controller.reset();
    TLYLogger::sharedLogger().setDebugMode(false);
    RandomSource::setShared(nullptr);
    Clock::setShared(nullptr);
}

}  // namespace
}  // namespace talvor::kit
