#include "kit/Trellis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "KitSandbox.h"
#include "LogCapture.h"
#include "kit/AdsKit.h"
#include "kit/KitKeys.h"
#include "kit/KitLog.h"
#include "kit/NotificationCenter.h"
#include "kit/TRLEncoding.h"

namespace talvor::kit {
namespace {

namespace fs = std::filesystem;
using test::KitSandbox;
using test::LogCapture;
using test::plist;

const std::string kCalledMultipleTimes =
    "[Trellis] [Trellis +with] called multiple times. Only the first call is honored, please "
    "pass all kits you wish to initialize";
const std::string kNetworkOff =
    "[Trellis] No service endpoints are configured: the kit's network is off (no settings "
    "download, no application registration)";

// Kits named as the host looks them up, each announcing its initialisation on the kit log,
// so that one list of lines shows the order of kit starts and host messages.
namespace fakes {
struct Wreckord {
    static std::string bundleIdentifier() { return "test.wreckord"; }
    static std::string kitDisplayVersion() { return "3.9.3"; }
    static void initializeIfNeeded() { log("init Wreckord"); }
};
struct Tally {
    static std::string bundleIdentifier() { return "test.tally"; }
    static std::string kitDisplayVersion() { return "1.3.7"; }
    static void initializeIfNeeded() { log("init Tally"); }
};
struct Phonekey {
    static std::string bundleIdentifier() { return "test.phonekey"; }
    static std::string kitDisplayVersion() { return "2.0"; }
    static void initializeIfNeeded() { log("init Phonekey"); }
};
struct Screentrail {
    static std::string bundleIdentifier() { return "test.screentrail"; }
    static std::string kitDisplayVersion() { return "5.1"; }
    static void initializeIfNeeded() { log("init Screentrail"); }
};
// Does not answer `initializeIfNeeded`: the host passes over it.
struct QuietKit {
    static std::string bundleIdentifier() { return "test.quiet"; }
    static std::string kitDisplayVersion() { return "3.0"; }
};
}  // namespace fakes

const KitClass* wreckord = &KitClass::of<fakes::Wreckord>();
const KitClass* tally = &KitClass::of<fakes::Tally>();
const KitClass* phonekey = &KitClass::of<fakes::Phonekey>();
const KitClass* screentrail = &KitClass::of<fakes::Screentrail>();
const KitClass* quiet = &KitClass::of<fakes::QuietKit>();
const KitClass* ads = &KitClass::of<AdsKit>();

// The ads library only has to exist; its class is never started.
KitClass classNamed(const std::string& name) {
    KitClass k;
    k.name = name;
    return k;
}
const KitClass mobileAds = classNamed("NMBMobileAds");
// A "Tally" that does not adopt the kit protocol.
const KitClass legacyTally = [] {
    KitClass k = classNamed("Tally");
    k.sharedInstance = [] { return nullptr; };
    return k;
}();

// Legacy kits: one complete, one whose instances do not answer `version`.
LegacyKitInstance completeLegacy{[] { log("start OldKit"); }, [] { return "test.old"; },
                                 [] { return "0.9"; }};
LegacyKitInstance legacyWithoutVersion{[] { log("start OldKit"); }, [] { return "test.old"; }, {}};
KitClass legacyKit(const std::string& name, LegacyKitInstance* instance) {
    KitClass k = classNamed(name);
    k.sharedInstance = [instance] { return instance; };
    return k;
}
const KitClass oldKit = legacyKit("OldKit", &completeLegacy);
const KitClass brokenOldKit = legacyKit("BrokenOldKit", &legacyWithoutVersion);
const KitClass notAKit = classNamed("NotAKit");

struct WreckordObject final : KitObject {
    const KitClass& kitClass() const override { return *wreckord; }
};

const std::string kWithKey =
    "<key>Trellis</key><dict><key>APIKey</key><string>0123456789abcdef</string>"
    "<key>Kits</key><array/></dict>";

std::vector<std::string> namesOf(const std::vector<const KitClass*>& kits) {
    std::vector<std::string> names;
    for (const KitClass* kit : kits) {
        names.push_back(kit->name);
    }
    return names;
}

class TrellisTest : public ::testing::Test {
  protected:
    KitSandbox sandbox;
    LogCapture capture;
};

using kitTrellis = TrellisTest;

TEST_F(kitTrellis, WithKeyInitialisesKitsInOrderThenSaysOnceThatTheNetworkIsOff) {
    sandbox.install(plist(kWithKey));
    Trellis& sdk = Trellis::with({phonekey, quiet, tally});

    EXPECT_EQ(&sdk, &Trellis::sharedSDK());
    EXPECT_EQ(sdk.kitClasses(), (std::vector<const KitClass*>{phonekey, quiet, tally}));
    EXPECT_EQ(sdk.APIKey(), "0123456789abcdef");
    EXPECT_EQ(sdk.installationMode(), Trellis::Configured);
    sdk.onboardAppAndDownloadSettings();
    EXPECT_EQ(capture.lines,
              (std::vector<std::string>{"init Phonekey", "init Tally", kNetworkOff}));
}

TEST_F(kitTrellis, SecondCallOnlyLogsEvenWithOtherKits) {
    sandbox.install(plist(kWithKey));
    Trellis& first = Trellis::with({tally});
    Trellis& second = Trellis::with({phonekey});
    Trellis::with({});

    EXPECT_EQ(&first, &second);
    EXPECT_EQ(first.kitClasses(), (std::vector<const KitClass*>{tally}));
    EXPECT_EQ(capture.lines,
              (std::vector<std::string>{"init Tally", kNetworkOff, kCalledMultipleTimes,
                                        kCalledMultipleTimes}));
}

// Each wrong Info.plist gives its reason; a wrong "Kits" only logs.
TEST_F(kitTrellis, TheConfigurationIsValidatedWithTheseReasons) {
    struct Case {
        const char* name;
        std::optional<PlistDictionary> info;
        std::optional<std::string> reason;
        std::vector<std::string> lines;
    };
    const std::string kitsNotArray =
        "[Trellis] [Trellis] Value of Info.plist[Trellis][Kits] should be a NSArray.";
    const std::string keyReason =
        "[Trellis] Value of Info.plist[Trellis][APIKey] must contain your Trellis API Key.";
    const std::string trellisReason =
        "[Trellis] Value of Info.plist key \"Trellis\" must be a NSDictionary.";
    const Case cases[] = {
        {"no Info.plist", std::nullopt, "[Trellis] Cannot find Info.plist.", {}},
        {"no Trellis entry", plist("<key>Wreckord</key><dict/>"), trellisReason, {}},
        {"Trellis a text", plist("<key>Trellis</key><string>key</string>"), trellisReason, {}},
        {"APIKey missing",
         plist("<key>Trellis</key><dict><key>Kits</key><array/></dict>"),
         keyReason,
         {}},
        {"APIKey a number",
         plist("<key>Trellis</key><dict><key>APIKey</key><integer>42</integer>"
               "<key>Kits</key><array/></dict>"),
         keyReason,
         {}},
        {"APIKey at the top level only",
         plist("<key>APIKey</key><string>k</string><key>Trellis</key><dict>"
               "<key>Kits</key><array/></dict>"),
         keyReason,
         {}},
        {"Kits missing and no key",
         plist("<key>Trellis</key><dict><key>ReportIdentifiers</key><true/></dict>"),
         keyReason,
         {kitsNotArray}},
        {"Kits a dictionary",
         plist("<key>Trellis</key><dict><key>APIKey</key><string>k</string>"
               "<key>Kits</key><dict/></dict>"),
         std::nullopt,
         {kitsNotArray, "init Tally", kNetworkOff}},
        {"valid", plist(kWithKey), std::nullopt, {"init Tally", kNetworkOff}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        capture.lines.clear();
        Trellis& sdk = sandbox.install(c.info);
        capture.lines.clear();
        std::optional<std::string> reason;
        try {
            Trellis::with({tally});
        } catch (const TRLException& e) {
            reason = e.reason();
            EXPECT_STREQ(TRLException::name(), "TRLException");
        }
        EXPECT_EQ(reason, c.reason);
        EXPECT_EQ(capture.lines, c.lines);
        EXPECT_EQ(sdk.kitClasses().size(), c.reason ? 0u : 1u);
        EXPECT_EQ(sdk.installationMode(), c.reason ? Trellis::NotConfigured : Trellis::Configured);
    }
}

// Concurrent first calls start the kits once; every other call only logs.
TEST_F(kitTrellis, ConcurrentFirstCallsStartTheKitsOnce) {
    sandbox.install(plist(kWithKey));
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([] { Trellis::with({tally}); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(Trellis::sharedSDK().kitClasses(), (std::vector<const KitClass*>{tally}));
    EXPECT_EQ(std::count(capture.lines.begin(), capture.lines.end(), "init Tally"), 1);
    EXPECT_EQ(std::count(capture.lines.begin(), capture.lines.end(), kCalledMultipleTimes), 7);
}

// A refused start does not spend the guard: the next call starts the kits.
TEST_F(kitTrellis, ARefusedKitListLeavesTheStartToALaterCall) {
    sandbox.install(plist(kWithKey));
    EXPECT_THROW(Trellis::with({tally, &notAKit}), TRLException);
    EXPECT_TRUE(Trellis::sharedSDK().kitClasses().empty());

    Trellis::with({tally});
    EXPECT_EQ(Trellis::sharedSDK().kitClasses(), (std::vector<const KitClass*>{tally}));
}

// Without an API key nothing starts, and the one-time start is spent: later calls only log,
// even once a key is there.
TEST_F(kitTrellis, AMissingKeySpendsTheOneTimeStart) {
    Trellis& sdk = sandbox.install(plist(""));
    sdk.setInstallationMode(Trellis::Nimbus);  // no NimbusService-Info.plist: no key
    Trellis::with({tally});
    sdk.setAPIKey("late-key");
    Trellis::with({tally});

    EXPECT_TRUE(sdk.kitClasses().empty());
    EXPECT_EQ(capture.lines,
              (std::vector<std::string>{"[Trellis] NimbusService-Info.plist path unavailable",
                                        kCalledMultipleTimes}));
}

TEST_F(kitTrellis, TheKitListIsCheckedAndCompleted) {
    struct Case {
        const char* name;
        std::vector<const KitClass*> registered;
        std::vector<KitRef> given;
        std::vector<std::string> kits;   // as started, in order
        std::vector<std::string> lines;  // before the network line
        std::optional<std::string> reason;
    };
    const WreckordObject wreckordObject;
    const std::string upgradeOld = "[Trellis] Please upgrade to the latest version of \"OldKit\"";
    const std::string upgradeBroken =
        "[Trellis] Please upgrade to the latest version of \"BrokenOldKit\"";
    auto invalid = [](const std::string& kit) {
        return "[Trellis] It appears that \"" + kit +
               "\" is not a valid Trellis Kit. Please make sure you only pass Trellis Kits to "
               "[Trellis with:].";
    };
    const Case cases[] = {
        {"classes", {}, {wreckord, quiet}, {"Wreckord", "QuietKit"}, {"init Wreckord"}, {}},
        {"objects as their classes",
         {},
         {wreckordObject, quiet},
         {"Wreckord", "QuietKit"},
         {"init Wreckord"},
         {}},
        {"the analytics kit follows the crash kit",
         {wreckord, tally},
         {wreckord, quiet},
         {"Wreckord", "QuietKit", "Tally"},
         {"init Wreckord", "init Tally"},
         {}},
        {"the analytics kit only with the crash kit in the list",
         {wreckord, tally},
         {quiet},
         {"QuietKit"},
         {},
         {}},
        {"the analytics kit not twice",
         {wreckord, tally},
         {tally, wreckord},
         {"Tally", "Wreckord"},
         {"init Tally", "init Wreckord"},
         {}},
        {"no analytics kit outside the protocol",
         {wreckord, &legacyTally},
         {wreckord},
         {"Wreckord"},
         {"init Wreckord"},
         {}},
        {"phone kit added once",
         {phonekey},
         {quiet},
         {"QuietKit", "Phonekey"},
         {"init Phonekey"},
         {}},
        {"phone kit not twice",
         {phonekey},
         {phonekey, quiet},
         {"Phonekey", "QuietKit"},
         {"init Phonekey"},
         {}},
        {"screen kit first",
         {screentrail, wreckord, tally},
         {wreckord, quiet, screentrail},
         {"Screentrail", "Wreckord", "QuietKit", "Tally"},
         {"init Screentrail", "init Wreckord", "init Tally"},
         {}},
        {"screen kit not added", {screentrail}, {quiet}, {"QuietKit"}, {}, {}},
        {"ads kit appended, even twice", {&mobileAds}, {ads}, {"AdsKit", "AdsKit"}, {}, {}},
        {"a complete legacy kit starts after a warning",
         {},
         {&oldKit, quiet},
         {"OldKit", "QuietKit"},
         {upgradeOld, "start OldKit"},
         {}},
        {"a legacy kit without version is refused after the warning",
         {},
         {quiet, &brokenOldKit},
         {},
         {upgradeBroken},
         invalid("BrokenOldKit")},
        {"not a kit", {}, {wreckord, &notAKit}, {}, {}, invalid("NotAKit")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const KitClass* kit : {wreckord, tally, phonekey, screentrail, &mobileAds}) {
            sandbox.registry.remove(kit->name);
        }
        for (const KitClass* kit : c.registered) {
            sandbox.registry.add(*kit);
        }
        Trellis& sdk = sandbox.install(plist(kWithKey));
        capture.lines.clear();
        std::optional<std::string> reason;
        try {
            Trellis::with(c.given);
        } catch (const TRLException& e) {
            reason = e.reason();
        }
        EXPECT_EQ(reason, c.reason);
        EXPECT_EQ(namesOf(sdk.kitClasses()), c.kits);
        std::vector<std::string> lines = c.lines;
        if (!c.reason) {
            lines.push_back(kNetworkOff);
        }
        EXPECT_EQ(capture.lines, lines);
    }
}

TEST_F(kitTrellis, KitConfigurationIsTheFirstEntryNamingTheClass) {
    sandbox.install(plist(R"(<key>Trellis</key><dict><key>APIKey</key><string>k</string>
        <key>Kits</key><array>
          <string>not an entry</string>
          <dict><key>KitName</key><string>Tally</string></dict>
          <dict><key>KitName</key><string>Wreckord</string>
                <key>KitInfo</key><dict><key>first</key><true/></dict></dict>
          <dict><key>KitName</key><string>Wreckord</string>
                <key>KitInfo</key><dict><key>second</key><true/></dict></dict>
          <dict><key>KitName</key><string>Phonekey</string><key>KitInfo</key><string>x</string></dict>
        </array></dict>)"));
    const PlistDictionary first{{"first", true}};
    EXPECT_EQ(Trellis::configurationDictionaryForKitClass(*wreckord), first);
    EXPECT_EQ(Trellis::sharedSDK().configurationDictionaryForKit(WreckordObject()), first);
    EXPECT_EQ(Trellis::configurationDictionaryForKitClass(*tally), PlistDictionary());
    EXPECT_EQ(Trellis::configurationDictionaryForKitClass(*phonekey), PlistDictionary());
    EXPECT_EQ(Trellis::configurationDictionaryForKitClass(*screentrail), std::nullopt);
}

TEST_F(kitTrellis, KitVersionsNameEveryKitAndTheCoreAndAreLoggedInDebugOnly) {
    Trellis& sdk = sandbox.install(plist(kWithKey));
    Trellis::with({wreckord, &oldKit});
    const std::map<std::string, std::string> expected{
        {"test.wreckord", "3.9.3"}, {"test.old", "0.9"}, {"io.trellis.sdk.mac", "1.7.2"}};
    capture.lines.clear();
    EXPECT_EQ(sdk.kitVersionsByKitBundleIdentifier(), expected);
    EXPECT_TRUE(capture.lines.empty());

    sdk.setDebug(true);
    EXPECT_EQ(sdk.kitVersionsByKitBundleIdentifier(), expected);
    EXPECT_EQ(capture.lines,
              (std::vector<std::string>{
                  "[Trellis] Initialized with kit versions: {\"io.trellis.sdk.mac\": \"1.7.2\", "
                  "\"test.old\": \"0.9\", \"test.wreckord\": \"3.9.3\"}"}));
}

TEST_F(kitTrellis, AKeyGivenInCodeWinsAndIsKept) {
    Trellis& sdk = sandbox.install(std::nullopt);
    sdk.setAPIKey("from-code");
    EXPECT_EQ(sdk.APIKey(), "from-code");
    Trellis::with({tally});
    EXPECT_EQ(sdk.kitClasses(), (std::vector<const KitClass*>{tally}));
}

TEST_F(kitTrellis, InitializeKitSendsInitializeIfNeededOnlyWhenAnswered) {
    Trellis::initializeKit(*quiet);
    Trellis::initializeKit(*tally);
    Trellis::initializeKit(oldKit);
    Trellis::initializeKit(notAKit);
    EXPECT_EQ(capture.lines, (std::vector<std::string>{"init Tally", "start OldKit"}));
}

TEST_F(kitTrellis, SettingsAndAdvertisingTokenAreEmptyUntilSet) {
    Trellis& sdk = sandbox.install(plist(kWithKey));
    EXPECT_EQ(sdk.settings(), std::nullopt);
    EXPECT_EQ(sdk.advertisingToken(), std::nullopt);
    // The settings are the document stored by the last download.
    const auto path = sdk.settingsAndOnboardingManager()->settingsPath();
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << R"({"features":{}})";
    sdk.setAdvertisingToken("token");
    EXPECT_EQ(sdk.settings(), json::parse(R"({"features":{}})"));
    EXPECT_EQ(sdk.advertisingToken(), "token");
}

// The host analytics library's "ready" notice starts the crash kit in its mode, but only
// when the application has no configuration of its own.
TEST_F(kitTrellis, TheHostAnalyticsNoticeStartsTheCrashKitWithoutAConfiguration) {
    const std::string appID = "1:1234:mac:abcd";
    const std::string nimbusPlist =
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>NIMBUS_APP_ID</key><string>" +
        appID + "</string></dict></plist>";
    struct Case {
        const char* name;
        std::string info;
        bool configuredInCode;
        bool wreckordRegistered;
        bool nimbusFile;
        std::uint64_t mode;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"a Trellis entry wins", kWithKey, false, true, true, Trellis::NotConfigured, {}},
        {"configured in code wins", "", true, true, true, Trellis::Configured, {}},
        {"starts the crash kit",
         "",
         false,
         true,
         true,
         Trellis::Nimbus,
         {"init Wreckord", kNetworkOff}},
        {"switched off by text",
         "<key>nimbus_wreckord_collection_enabled</key><string>NO</string>",
         false,
         true,
         true,
         Trellis::Nimbus,
         {"[Trellis] Wreckord initialization disabled via Info.plist key "
          "nimbus_wreckord_collection_enabled"}},
        {"switched off by number",
         "<key>nimbus_wreckord_collection_enabled</key><integer>0</integer>",
         false,
         true,
         true,
         Trellis::Nimbus,
         {"[Trellis] Wreckord initialization disabled via Info.plist key "
          "nimbus_wreckord_collection_enabled"}},
        {"switched on by text",
         "<key>nimbus_wreckord_collection_enabled</key><string>YES</string>",
         false,
         true,
         true,
         Trellis::Nimbus,
         {"init Wreckord", kNetworkOff}},
        {"no crash kit",
         "",
         false,
         false,
         true,
         Trellis::Nimbus,
         {"[Trellis] [Trellis] Attempting to initialize Wreckord via Nimbus but could not find "
          "Wreckord."}},
        {"no service file",
         "",
         false,
         true,
         false,
         Trellis::Nimbus,
         {"[Trellis] NimbusService-Info.plist path unavailable"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox.registry.remove("Wreckord");
        if (c.wreckordRegistered) {
            sandbox.registry.add(*wreckord);
        }
        fs::remove(sandbox.dir / "bundle/NimbusService-Info.plist");
        if (c.nimbusFile) {
            std::ofstream(sandbox.dir / "bundle/NimbusService-Info.plist") << nimbusPlist;
        }
        Trellis& sdk = sandbox.install(plist(c.info));
        sdk.setDebug(c.name == std::string("switched off by text") ||
                     c.name == std::string("switched off by number"));
        if (c.configuredInCode) {
            sdk.setInstallationMode(Trellis::Configured);
        }
        capture.lines.clear();
        Trellis::load();
        NotificationCenter::defaultCenter().post(keys::NMBAppReadyToConfigureSDKNotification);
        // It acts once: the observer is gone.
        NotificationCenter::defaultCenter().post(keys::NMBAppReadyToConfigureSDKNotification);

        EXPECT_EQ(sdk.installationMode(), c.mode);
        EXPECT_EQ(sdk.nimbusMode(), c.mode == Trellis::Nimbus);
        EXPECT_EQ(capture.lines, c.lines);
        if (c.lines.size() == 2) {
            EXPECT_EQ(sdk.APIKey(), FAB256HashNSData(appID).substr(0, 40));
            EXPECT_EQ(sdk.trellisConfig(), PlistDictionary());
        }
    }
}

TEST_F(kitTrellis, EveryHostLineCarriesTheTrellisPrefix) {
    sandbox.install(plist(kWithKey));
    Trellis::sharedSDK().setDebug(true);
    Trellis::with({quiet, &oldKit});
    Trellis::with({quiet});

    ASSERT_FALSE(capture.lines.empty());
    for (const std::string& line : capture.lines) {
        if (line != "start OldKit") {
            EXPECT_EQ(line.rfind("[Trellis] ", 0), 0u) << line;
        }
    }
}

}  // namespace
}  // namespace talvor::kit
