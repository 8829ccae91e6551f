// Roots pinned in the kit's configuration ("ServicePinnedCertificates", a PEM file) decide
// which servers get the kit's uploads: here the events and the settings exchange (the crash
// reports in the crash kit's tests). The default handling trusts both test roots, so a
// refusal is the pins' alone; nothing pinned is the default handling, as before.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "../AnalyticsTestSupport.h"
#include "../KitSandbox.h"
#include "../LogCapture.h"
#include "../ManualClock.h"
#include "../SettingsTestSupport.h"
#include "LoopbackTlsServer.h"
#include "NetworkTestSupport.h"
#include "kit/KitJson.h"
#include "kit/KitKeys.h"
#include "kit/TLYTallyController.h"
#include "kit/network/NetworkKeys.h"
#include "kit/network/TRLServiceTrust.h"
#include "kit/network/TRLSettingsOnboardingManager.h"

namespace talvor::kit {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using test::LoopbackTlsServer;
using test::RecordedRequest;
using test::TestIdentity;
using test::TestPki;

const char kBundle[] =
    "<key>CFBundleIdentifier</key><string>org.talvor.test</string>"
    "<key>CFBundleShortVersionString</key><string>4.2</string>"
    "<key>CFBundleVersion</key><string>420</string>"
    "<key>Trellis</key><dict><key>APIKey</key><string>key-1</string>"
    "<key>Kits</key><array/></dict>";

struct Case {
    const char* what;
    const TestIdentity* server;
    const char* pins;  // the pin file's name in the sandbox; none: nothing pinned
    bool sent;
};

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"root A pinned, a server under A", &TestPki::shared().leafA, "root-a.pem", true},
        {"root A pinned, a server under B", &TestPki::shared().leafB, "root-a.pem", false},
        {"nothing pinned, a server under B", &TestPki::shared().leafB, nullptr, true},
        {"a pin file without a certificate", &TestPki::shared().leafA, "none.pem", false},
    };
    return all;
}

class KitServicePinningTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::keepRequestsOnThisMachine();
        sandbox.install(test::plist(kBundle));
        test::writeFile(sandbox.dir / "root-a.pem", TestPki::shared().rootAPEM);
        test::writeFile(sandbox.dir / "none.pem", "no certificate here\n");
        test::writeFile(sandbox.dir / "both.pem",
                        TestPki::shared().rootAPEM + TestPki::shared().rootBPEM);
    }
    std::optional<std::string> pinFile(const Case& c) const {
        return c.pins != nullptr ? std::optional<std::string>((sandbox.dir / c.pins).string())
                                 : std::nullopt;
    }

    test::KitSandbox sandbox;
    test::ScopedEnv roots{"ServiceRootCertificates", (sandbox.dir / "both.pem").string()};
};

// The pin file is PEM text: its certificates in order, anything else skipped. One that
// holds none (or cannot be read) pins to nothing, said once for each such file.
TEST_F(KitServicePinningTest, ThePinFileIsReadAsPemCertificates) {
    const TestPki& pki = TestPki::shared();
    const auto certificates = TRLCertificatesFromPEM("a comment\n" + pki.rootBPEM + "\n" +
                                                     pki.rootAPEM + "\nmore words\n");
    ASSERT_EQ(certificates.size(), 2u);
    EXPECT_EQ(certificates[0].data(), pki.rootBDER);
    EXPECT_EQ(certificates[1].data(), pki.rootADER);
    EXPECT_TRUE(TRLCertificatesFromPEM("").empty());

    {
        test::ScopedEnv pins("ServicePinnedCertificates", std::nullopt);
        EXPECT_FALSE(TRLServicePinnedCertificates()) << "nothing configured, nothing pinned";
    }
    test::LogCapture logs;
    for (const char* file : {"none.pem", "missing.pem", "none.pem"}) {
        test::ScopedEnv pins("ServicePinnedCertificates", (sandbox.dir / file).string());
        const auto pinned = TRLServicePinnedCertificates();
        ASSERT_TRUE(pinned) << file;
        EXPECT_TRUE(pinned->empty()) << file;
    }
    ASSERT_EQ(logs.lines.size(), 2u) << "none.pem and missing.pem, once each";
    for (const std::string& line : logs.lines) {
        EXPECT_NE(line.find("every server is refused"), std::string::npos) << line;
    }
}

TEST_F(KitServicePinningTest, EventsGoOnlyToAServerUnderAPinnedRoot) {
    test::ManualClock clock;
    test::NoJitter random;
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        test::ScopedEnv pins("ServicePinnedCertificates", pinFile(c));
        LoopbackTlsServer server(*c.server,
                                 [](const RecordedRequest&) { return test::answer(200); });
        const fs::path root = sandbox.dir / "analytics" / c.what;
        auto controller = TLYTallyController::make(
            std::nullopt, root, {&clock, &random, TRLServiceSessionConfiguration()});
        ASSERT_TRUE(controller->waitUntilIdle());
        const auto events = TLYTallyController::eventDirectoryForRootDirectory(root);
        ASSERT_EQ(test::filesWithExtension(events, "multipartmime").size(), 1u);
        const auto document =
            json::parse(R"({"analytics":{"url":")" + server.url("/events") + R"("}})");
        ASSERT_TRUE(document);
        controller->initializeSettingsIfNeededWithTrellisSettings(*document);
        ASSERT_TRUE(controller->waitUntilIdle());
        ASSERT_TRUE(controller->drain(20s));
        EXPECT_EQ(server.requestCount(), c.sent ? 1u : 0u);
        EXPECT_EQ(clock.pendingTimers(), 0u) << "a refused server is not tried again";
        // A package that was not taken stays for a later run.
        EXPECT_EQ(test::filesWithExtension(events, "multipartmime").size(), c.sent ? 0u : 1u);
    }
}

TEST_F(KitServicePinningTest, SettingsComeOnlyFromAServerUnderAPinnedRoot) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        test::ScopedEnv pins("ServicePinnedCertificates", pinFile(c));
        LoopbackTlsServer server(*c.server, [](const RecordedRequest&) {
            return test::withBody(R"({"app":{"status":"activated"}})", "application/json");
        });
        test::ScopedEnv endpoint(keys::TRLSettingsEndpointKey, server.url(""));
        auto model = TRLApplicationIdentiferModel::make("install-1", {}, SDKVersion{2, 36, 0},
                                                        SDKVersion{3, 2, 0}, std::nullopt);
        const fs::path folder = sandbox.dir / "settings" / c.what;
        auto manager =
            TRLSettingsOnboardingManager::initWithApplicationIdentifierModel(model, folder);
        manager->beginSettingsAndOnboardingOperationsWithAPIKey("key-1",
                                                                {{"io.trellis.sdk.mac", "1.7.2"}});
        ASSERT_TRUE(test::eventually([&] { return manager->networkingSessionFinished(); }));
        EXPECT_EQ(server.requestCount(), c.sent ? 1u : 0u);
        EXPECT_EQ(fs::exists(folder / "settings.json"), c.sent);
    }
}

}  // namespace
}  // namespace talvor::kit
