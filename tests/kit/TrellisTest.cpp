#include "kit/Trellis.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "kit/KitLog.h"

namespace talvor::kit {
namespace {

using test::LogCapture;

const std::string kCalledMultipleTimes =
    "[Trellis] [Trellis +with] called multiple times. Only the first call is honored, please "
    "pass all kits you wish to initialize";
const std::string kAPIKeyNil =
    "[Trellis] Trellis API Key is nil! Trellis won't work unless there is a valid API Key setup "
    "in Info.plist";
const std::string kNetworkOff =
    "[Trellis] No service endpoints are configured: the kit's network is off (no settings "
    "download, no application registration)";

// Kits that announce their initialisation on the kit log, so that one list of lines shows
// the order of kit starts and host messages.
struct AlphaKit {
    static std::string bundleIdentifier() { return "org.talvor.test.alpha"; }
    static std::string kitDisplayVersion() { return "1.0"; }
    static void initializeIfNeeded() { log("init AlphaKit"); }
};
struct BetaKit {
    static std::string bundleIdentifier() { return "org.talvor.test.beta"; }
    static std::string kitDisplayVersion() { return "2.0"; }
    static void initializeIfNeeded() { log("init BetaKit"); }
};
// Does not answer `initializeIfNeeded`: the host passes over it.
struct QuietKit {
    static std::string bundleIdentifier() { return "org.talvor.test.quiet"; }
    static std::string kitDisplayVersion() { return "3.0"; }
};

const KitClass* alpha = &KitClass::of<AlphaKit>();
const KitClass* beta = &KitClass::of<BetaKit>();
const KitClass* quiet = &KitClass::of<QuietKit>();

std::optional<InfoDictionary> plist(const std::string& body) {
    return InfoDictionary::fromData(
        R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>)" + body +
        "</dict></plist>");
}

const std::string kWithKey =
    "<key>Trellis</key><dict><key>APIKey</key><string>0123456789abcdef</string>"
    "<key>Kits</key><array/></dict>";

class TrellisTest : public ::testing::Test {
  protected:
    void install(std::optional<InfoDictionary> info) {
        Trellis::setSharedSDK(std::make_unique<Trellis>(std::move(info)));
    }
    void TearDown() override { Trellis::setSharedSDK(nullptr); }

    LogCapture capture;
};

using kitTrellis = TrellisTest;

TEST_F(kitTrellis, WithKeyInitialisesKitsInOrderThenSaysOnceThatTheNetworkIsOff) {
    install(plist(kWithKey));
    Trellis& sdk = Trellis::with({beta, quiet, alpha});

    EXPECT_EQ(&sdk, &Trellis::sharedSDK());
    EXPECT_EQ(sdk.kitClasses(), (std::vector<const KitClass*>{beta, quiet, alpha}));
    EXPECT_EQ(sdk.APIKey(), "0123456789abcdef");
    sdk.onboardAppAndDownloadSettings();
    EXPECT_EQ(capture.lines,
              (std::vector<std::string>{"init BetaKit", "init AlphaKit", kNetworkOff}));
}

TEST_F(kitTrellis, SecondCallOnlyLogsEvenWithOtherKits) {
    install(plist(kWithKey));
    Trellis& first = Trellis::with({alpha});
    Trellis& second = Trellis::with({beta});
    Trellis::with({});

    EXPECT_EQ(&first, &second);
    EXPECT_EQ(first.kitClasses(), (std::vector<const KitClass*>{alpha}));
    EXPECT_EQ(capture.lines,
              (std::vector<std::string>{"init AlphaKit", kNetworkOff, kCalledMultipleTimes,
                                        kCalledMultipleTimes}));
}

TEST_F(kitTrellis, WithoutKeyStartsNothingAndLogsOnce) {
    install(plist(""));
    Trellis& sdk = Trellis::with({alpha, beta});
    Trellis::with({alpha, beta});

    EXPECT_TRUE(sdk.kitClasses().empty());
    EXPECT_EQ(capture.lines, (std::vector<std::string>{kAPIKeyNil, kCalledMultipleTimes}));
}

TEST_F(kitTrellis, KitsStartOnlyWithAStringAPIKey) {
    struct Case {
        const char* name;
        std::optional<InfoDictionary> info;
        bool starts;
    };
    const Case cases[] = {
        {"no Info.plist", std::nullopt, false},
        {"no Trellis entry", plist("<key>Wreckord</key><dict/>"), false},
        {"Trellis not a dictionary", plist("<key>Trellis</key><string>key</string>"), false},
        {"APIKey missing", plist("<key>Trellis</key><dict><key>Kits</key><array/></dict>"), false},
        {"APIKey a number",
         plist("<key>Trellis</key><dict><key>APIKey</key><integer>42</integer></dict>"), false},
        {"APIKey at the top level", plist("<key>APIKey</key><string>key</string>"), false},
        {"APIKey a string",
         plist("<key>Trellis</key><dict><key>APIKey</key><string>key</string></dict>"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        capture.lines.clear();
        install(c.info);
        const Trellis& sdk = Trellis::with({alpha});

        EXPECT_EQ(sdk.kitClasses().size(), c.starts ? 1u : 0u);
        const std::vector<std::string> expected =
            c.starts ? std::vector<std::string>{"init AlphaKit", kNetworkOff}
                     : std::vector<std::string>{kAPIKeyNil};
        EXPECT_EQ(capture.lines, expected);
    }
}

TEST_F(kitTrellis, AskingForAMissingKeyLogsEachTime) {
    install(plist(""));
    Trellis& sdk = Trellis::sharedSDK();
    EXPECT_EQ(sdk.APIKey(), std::nullopt);
    EXPECT_EQ(sdk.APIKey(), std::nullopt);
    EXPECT_EQ(capture.lines, (std::vector<std::string>{kAPIKeyNil, kAPIKeyNil}));
}

TEST_F(kitTrellis, EveryHostLineCarriesTheTrellisPrefix) {
    install(plist(""));
    Trellis::with({quiet});
    Trellis::with({quiet});
    install(plist(kWithKey));
    Trellis::with({quiet});

    ASSERT_FALSE(capture.lines.empty());
    for (const std::string& line : capture.lines) {
        EXPECT_EQ(line.rfind("[Trellis] ", 0), 0u) << line;
    }
}

TEST_F(kitTrellis, InitializeKitSendsInitializeIfNeededOnlyWhenAnswered) {
    Trellis::initializeKit(*quiet);
    Trellis::initializeKit(*alpha);
    EXPECT_EQ(capture.lines, (std::vector<std::string>{"init AlphaKit"}));
}

}  // namespace
}  // namespace talvor::kit
