#include "crash/Wreckord.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "crash/WRKContext.h"
#include "crash/WRKFile.h"
#include "crash/WRKInternalReport.h"
#include "crash/WRKReport.h"
#include "kit/AnalyticsHandOff.h"
#include "kit/DispatchQueue.h"
#include "kit/KitLog.h"
#include "kit/MainBundle.h"
#include "kit/PropertyList.h"
#include "kit/TLYEvent.h"
#include "kit/Tally.h"
#include "kit/Trellis.h"
#include "kit/WRKUserDefaults.h"

namespace talvor::crash {
namespace {

using kit::KitClass;
using kit::Trellis;

// A kit host of the test's own over a temporary folder (the report folders go there too),
// with Wreckord registered; the shared host, main bundle, log and cache folder come back
// afterwards.
class HostSandbox {
  public:
    explicit HostSandbox(const std::string& name,
                         kit::PlistDictionary info = {{"CFBundleIdentifier", "com.example.Fixture"},
                                                      {"Trellis",
                                                       kit::PlistDictionary{
                                                           {"APIKey", "from-plist"},
                                                           {"Kits", kit::PlistArray{}}}}})
        : dir_(madeFolder(name)), store_(dir_ / "store") {
        const char* cache = std::getenv("XDG_CACHE_HOME");
        savedCache_ = cache != nullptr ? std::optional<std::string>(cache) : std::nullopt;
        ::setenv("XDG_CACHE_HOME", (dir_ / "cache").c_str(), 1);
        registry_.add(KitClass::of<Wreckord>());
        bundle_ = std::make_shared<kit::MainBundle>(std::move(info), dir_);
        previousBundle_ = kit::MainBundle::setMain(bundle_);
        fresh();
        previousSink_ = kit::setLogSink([this](std::string_view line) {
            std::lock_guard lock(linesMutex_);
            lines_.emplace_back(line);
        });
    }
    ~HostSandbox() {
        kit::setLogSink(std::move(previousSink_));
        Trellis::setSharedSDK(nullptr);
        kit::MainBundle::setMain(previousBundle_);
        if (savedCache_) {
            ::setenv("XDG_CACHE_HOME", savedCache_->c_str(), 1);
        } else {
            ::unsetenv("XDG_CACHE_HOME");
        }
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    // A new shared host over the same bundle and store, as in a later run.
    Trellis& fresh() {
        Trellis::setSharedSDK(std::make_unique<Trellis>(bundle_, store_, registry_));
        return Trellis::sharedSDK();
    }
    // The log lines since the last call.
    std::vector<std::string> takeLines() {
        std::lock_guard lock(linesMutex_);
        return std::exchange(lines_, {});
    }

  private:
    static std::filesystem::path madeFolder(const std::string& name) {
        const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                          ("talvor-" + name + "-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        return dir;
    }

    std::filesystem::path dir_;
    kit::WRKUserDefaults store_;
    kit::KitRegistry registry_;
    std::shared_ptr<kit::MainBundle> bundle_;
    std::shared_ptr<const kit::MainBundle> previousBundle_;
    std::optional<std::string> savedCache_;
    kit::LogSink previousSink_;
    std::mutex linesMutex_;
    std::vector<std::string> lines_;
};

constexpr char kNetworkOff[] =
    "[Trellis] No service endpoints are configured: the kit's network is off (no settings "
    "download, no application registration)";
constexpr char kDelegateAfterStart[] =
    "[Wreckord] Warning, setting delegate after start. Make sure to set the Wreckord delegate "
    "before calling startWithAPIKey:.., or +[Trellis with...] to avoid missing some delegate "
    "callbacks.";

// Each way of starting from code, in one fresh process (the kit starts once per process):
// the key given wins over the configuration, the host starts with this kit alone and is
// marked as configured, the kit itself starts only once, and with no endpoint configured
// the host says that nothing is sent. A host that a host analytics library configured
// keeps its own key and starts nothing.
void startWithAKeyInThisProcess() {
    // The failures, told on standard error, which the parent shows.
    ::testing::TestPartResultArray failures;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &failures);
        HostSandbox sandbox("startkey");
        auto mine = std::make_shared<WreckordDelegate>();
        struct Row {
            const char* what;
            std::function<Wreckord&()> start;
            std::string key;
            bool givesDelegate;
            std::vector<std::string> lines;
        };
        const Row rows[] = {
            {"key",
             []() -> Wreckord& { return Wreckord::startWithAPIKey("key-1"); },
             "key-1",
             false,
             {"[Wreckord] Version 3.9.3 (128)", kNetworkOff}},
            {"key and delegate",
             [&]() -> Wreckord& { return Wreckord::startWithAPIKey("key-2", mine); },
             "key-2",
             true,
             {kDelegateAfterStart, kNetworkOff}},
            {"key after a delay",
             []() -> Wreckord& { return Wreckord::startWithAPIKey("key-3", 30.0); },
             "key-3",
             false,
             {"[Wreckord] Warning, startWithAPIKey:afterDelay: is deprecated.", kNetworkOff}},
            {"key and delegate after a delay",
             [&]() -> Wreckord& { return Wreckord::startWithAPIKey("key-4", mine, 30.0); },
             "key-4",
             true,
             {"[Wreckord] Warning, startWithAPIKey:delegate:afterDelay: is deprecated.",
              kDelegateAfterStart, kNetworkOff}},
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            Trellis& sdk = sandbox.fresh();
            Wreckord::sharedInstance().setDelegate(nullptr);
            sandbox.takeLines();
            EXPECT_EQ(&row.start(), &Wreckord::sharedInstance());
            EXPECT_EQ(sandbox.takeLines(), row.lines);
            EXPECT_EQ(sdk.APIKey(), row.key);
            EXPECT_EQ(Wreckord::sharedInstance().APIKey(), row.key);
            EXPECT_EQ(sdk.installationMode(), Trellis::Configured);
            EXPECT_EQ(sdk.kitClasses(), (std::vector<const KitClass*>{&KitClass::of<Wreckord>()}));
            EXPECT_TRUE(Wreckord::sharedInstance().isWreckordStarted());
            EXPECT_EQ(Wreckord::sharedInstance().delegate(), row.givesDelegate ? mine : nullptr);
            // Once started, a second start stores the key but starts nothing again.
            Wreckord::startWithAPIKey("again");
            EXPECT_EQ(sandbox.takeLines(),
                      std::vector<std::string>{
                          "[Trellis] [Trellis +with] called multiple times. Only the first "
                          "call is honored, please pass all kits you wish to initialize"});
            EXPECT_EQ(sdk.kitClasses().size(), 1u);
            EXPECT_EQ(sdk.APIKey(), "again");
        }

        Trellis& nimbus = sandbox.fresh();
        nimbus.setInstallationMode(Trellis::Nimbus);
        sandbox.takeLines();
        EXPECT_EQ(&Wreckord::startWithAPIKey("key-5"), &Wreckord::sharedInstance());
        EXPECT_EQ(sandbox.takeLines(),
                  std::vector<std::string>{
                      "[Wreckord] Warning, calling startWithAPIKey:... after [NMBApp "
                      "configure] or NimbusApp.configure() is not supported"});
        EXPECT_EQ(nimbus.installationMode(), Trellis::Configured);
        EXPECT_TRUE(nimbus.kitClasses().empty());
        EXPECT_EQ(nimbus.APIKey(), "from-plist") << "the key given is not stored";
    }

    for (int i = 0; i < failures.size(); ++i) {
        const ::testing::TestPartResult& failure = failures.GetTestPartResult(i);
        std::fprintf(stderr, "%s:%d: %s\n", failure.file_name() ? failure.file_name() : "?",
                     failure.line_number(), failure.message());
    }
    std::fflush(stderr);
    std::_Exit(failures.size() == 0 ? 0 : 1);
}

// In a process of its own: the kit starts once per process.
TEST(crashWreckord, StartingWithAKeyStartsTheHostWithThisKitOnlyOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(startWithAKeyInThisProcess(), ::testing::ExitedWithCode(0), "");
}

// The host's facts read through the kit, and the older interface that keeps nothing.
TEST(crashWreckord, AnswersTheHostsFactsAndKeepsNothingForTheOlderInterface) {
    HostSandbox sandbox("facts");
    Wreckord& kit = Wreckord::sharedInstance();
    Trellis& first = Trellis::sharedSDK();
    EXPECT_TRUE(kit.isFirstInstall()) << "the store had no install identifier";
    EXPECT_EQ(kit.installID(), first.installID());
    EXPECT_EQ(kit.APIKey(), "from-plist");
    first.setAPIKey("from-code");
    EXPECT_EQ(kit.APIKey(), "from-code");
    const std::string installID = first.installID();
    Trellis& later = sandbox.fresh();
    EXPECT_FALSE(kit.isFirstInstall()) << "a later run reads the stored identifier";
    EXPECT_EQ(kit.installID(), installID);
    EXPECT_EQ(later.installID(), installID);

    EXPECT_EQ(kit.version(), "3.9.3");
    kit.setKitInfo(kit::PlistDictionary{{"a", "b"}});
    EXPECT_FALSE(kit.kitInfo());
    EXPECT_FALSE(kit.settingsDictionary());
}

// The switch goes both ways: switching debug mode off must not leave it on.
TEST(crashWreckord, DebugModeFollowsTheSwitch) {
    HostSandbox sandbox("debug");
    Wreckord& kit = Wreckord::sharedInstance();
    for (const bool on : {true, false, false, true, false}) {
        kit.setDebugMode(on);
        EXPECT_EQ(kit.debugMode(), on);
        EXPECT_EQ(Trellis::sharedSDK().debug(), on);
    }
}

// Events go to the analytics kit as custom events with their attributes; while a host
// analytics library configured the host the analytics record none.
TEST(crashWreckord, LogEventHandsCustomEventsToTheAnalytics) {
    class Recorder final : public kit::TLYEventRecorder {
      public:
        void logEvent(std::shared_ptr<const kit::TLYEvent> event) override {
            events.push_back(std::move(event));
        }
        void logCrashEvent(std::shared_ptr<const kit::TLYCrashEvent>) override {}
        std::vector<std::shared_ptr<const kit::TLYEvent>> events;
    };
    HostSandbox sandbox("logevent");
    auto recorder = std::make_shared<Recorder>();
    auto previousTally = kit::Tally::setSharedInstance(std::make_unique<kit::Tally>());
    kit::Tally::sharedInstance().setTallyController(recorder);

    const kit::TLYAttributes attributes{{"count", 2}, {"where", "alarm list"}};
    Wreckord::sharedInstance().logEvent("opened");
    Wreckord::sharedInstance().logEvent("saved", attributes);
    ASSERT_EQ(recorder->events.size(), 2u);
    const auto* opened = dynamic_cast<const kit::TLYCustomEvent*>(recorder->events[0].get());
    const auto* saved = dynamic_cast<const kit::TLYCustomEvent*>(recorder->events[1].get());
    ASSERT_TRUE(opened && saved);
    EXPECT_EQ(opened->customEventName(), "opened");
    EXPECT_FALSE(opened->customAttributes());
    EXPECT_EQ(saved->customEventName(), "saved");
    ASSERT_TRUE(saved->customAttributes());
    EXPECT_EQ(*saved->customAttributes(), attributes);

    Trellis::sharedSDK().setInstallationMode(Trellis::Nimbus);
    Wreckord::sharedInstance().logEvent("ignored");
    EXPECT_EQ(recorder->events.size(), 2u);

    kit::Tally::setSharedInstance(std::move(previousTally));
}

TEST(crashWreckord, TheHostSeesTheKitsIdentity) {
    const KitClass& wreckord = KitClass::of<Wreckord>();
    struct Row {
        const char* what;
        std::string actual;
        std::string expected;
    };
    const Row rows[] = {
        {"name", wreckord.name, "Wreckord"},
        {"bundleIdentifier", wreckord.bundleIdentifier(), "com.quillon.wreckord.mac"},
        {"kitDisplayVersion", wreckord.kitDisplayVersion(), "3.9.3"},
        {"kitBuildVersion", wreckord.kitBuildVersion ? wreckord.kitBuildVersion() : "", "128"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.actual, row.expected) << row.what;
    }
    EXPECT_TRUE(wreckord.initializeIfNeeded);
}

// Started by the host, the kit makes the run's report folder and records the run's
// metadata there; an earlier run's folder with nothing to send goes.
TEST(crashWreckord, StartedByTheHostAsItsOnlyKit) {
    std::vector<std::string> lines;
    auto previous = kit::setLogSink([&](std::string_view line) { lines.emplace_back(line); });
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("talvor-crash-" + std::to_string(::getpid()));
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const std::string savedCache = cache != nullptr ? cache : "";
    ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    const std::filesystem::path active =
        dir / "cache/talvor/com.wreckord.data/com.example.Fixture/v3/active";
    std::filesystem::create_directories(active / "0123456789abcdef0123456789abcdef");
    kit::WRKUserDefaults store(dir / "store");
    kit::KitRegistry registry;
    registry.add(KitClass::of<Wreckord>());
    const kit::PlistDictionary info{
        {"CFBundleIdentifier", "com.example.Fixture"},
        {"Trellis", kit::PlistDictionary{{"APIKey", "key"}, {"Kits", kit::PlistArray{}}}}};
    auto bundle = std::make_shared<kit::MainBundle>(info, dir);
    auto previousBundle = kit::MainBundle::setMain(bundle);
    Trellis::setSharedSDK(std::make_unique<Trellis>(bundle, store, registry));

    const Trellis& sdk = Trellis::with({&KitClass::of<Wreckord>()});

    EXPECT_EQ(sdk.kitClasses(), (std::vector<const KitClass*>{&KitClass::of<Wreckord>()}));
    EXPECT_TRUE(Wreckord::sharedInstance().isWreckordStarted());
    // Starting again (the host's initialisation and a direct start) changes nothing.
    Wreckord::initializeIfNeeded();
    EXPECT_TRUE(Wreckord::sharedInstance().isWreckordStarted());
    const auto run = Wreckord::sharedInstance().currentReportPath();
    ASSERT_TRUE(run);
    EXPECT_EQ(*run, active / sdk.executionIdentifier());
    const auto metadata = WRKFileReadSections((*run / "metadata.clsrecord").string(), false);
    ASSERT_TRUE(metadata);
    ASSERT_EQ(metadata->size(), 4u);
    const JSONValue* identity = (*metadata)[0].find("identity");
    ASSERT_TRUE(identity && identity->find("api_key"));
    EXPECT_EQ(*identity->find("api_key")->string(), "key");
    EXPECT_EQ(*identity->find("session_id")->string(), sdk.executionIdentifier());
    EXPECT_EQ(*identity->find("install_id")->string(), sdk.installID());
    EXPECT_EQ(*(*metadata)[2].find("application")->find("bundle_id")->string(),
              "com.example.Fixture");
    Wreckord::sharedInstance()
        .crashReportingController()
        ->operationQueue()
        ->waitUntilAllOperationsAreFinished();
    EXPECT_FALSE(std::filesystem::exists(active / "0123456789abcdef0123456789abcdef"));
    const std::vector<std::string> expected = {"[Wreckord] Version 3.9.3 (128)"};
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end() - 1), expected);
    EXPECT_EQ(lines.back().rfind("[Trellis] ", 0), 0u);

    Trellis::setSharedSDK(nullptr);
    kit::MainBundle::setMain(previousBundle);
    kit::setLogSink(std::move(previous));
    if (cache != nullptr) {
        ::setenv("XDG_CACHE_HOME", savedCache.c_str(), 1);
    } else {
        ::unsetenv("XDG_CACHE_HOME");
    }
    std::filesystem::remove_all(dir);
}

// The analytics hear of an earlier run's crash (at its report's creation) on the main
// queue; a report without a crash tells them nothing.
TEST(crashWreckord, TheAnalyticsHearOfThePreviousSessionsCrash) {
    class Recorder final : public kit::TLYEventRecorder {
      public:
        void logEvent(std::shared_ptr<const kit::TLYEvent>) override {}
        void logCrashEvent(std::shared_ptr<const kit::TLYCrashEvent> event) override {
            crashes.push_back(event->crashTimestamp());
        }
        std::vector<double> crashes;
    };
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("talvor-handoff-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    // A host of the test's own: the analytics read its debug flag.
    kit::WRKUserDefaults store(dir / "store");
    kit::KitRegistry registry;
    auto bundle = std::make_shared<kit::MainBundle>(
        kit::PlistDictionary{{"CFBundleIdentifier", "com.example.Fixture"}}, dir);
    Trellis::setSharedSDK(std::make_unique<Trellis>(bundle, store, registry));
    auto recorder = std::make_shared<Recorder>();
    kit::Tally::setSharedInstance(nullptr);
    kit::Tally::setControllerFactory(
        [recorder](const std::optional<std::string>&) { return recorder; });
    kit::startAnalytics(std::nullopt);

    WRKContextInitData data;
    data.apiKey = "key";
    data.sessionID = "0123456789abcdef";
    ASSERT_TRUE(WRKContextRecordMetadata((dir / WRKReportMetadataFile).c_str(), data));
    const auto report = WRKInternalReport::withPath(dir, "0123456789abcdef");
    ASSERT_TRUE(report && report->dateCreated());

    EXPECT_FALSE(WRKHandOffPreviousSessionCrash(*report)) << "no crash in it yet";
    kit::DispatchQueue::drainMain();
    EXPECT_TRUE(recorder->crashes.empty());

    std::ofstream(dir / "signal.clsrecord") << "{\"signal\":{\"number\":11,\"time\":1700000000}}\n";
    EXPECT_TRUE(WRKHandOffPreviousSessionCrash(*report));
    EXPECT_TRUE(recorder->crashes.empty()) << "told on the main queue";
    kit::DispatchQueue::drainMain();
    const double created =
        std::chrono::duration<double>(report->dateCreated()->time_since_epoch()).count();
    EXPECT_EQ(recorder->crashes, std::vector<double>{created});

    kit::Tally::setControllerFactory(nullptr);
    kit::Tally::setSharedInstance(nullptr);
    Trellis::setSharedSDK(nullptr);
    std::filesystem::remove_all(dir);
}

// How the application's delegate decides over a report of an earlier run: not at all (sent
// without asking), told only, asked (its answer decides), or told the older way.
TEST(crashWreckord, TheApplicationsDelegateDecidesWhenItAnswersTheQuestion) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("talvor-decide-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "signal.clsrecord") << "{\"signal\":{\"number\":11,\"time\":1700000000}}\n";
    const auto report = WRKInternalReport::withPath(dir, "0123456789abcdef");
    ASSERT_TRUE(report);

    struct Seen {
        std::vector<std::string> calls;
        bool readOnly = true;
    };
    struct Case {
        const char* what;
        std::function<std::shared_ptr<WreckordDelegate>(Seen&)> make;
        bool mustInform;
        std::optional<bool> beforeMainQueue;  // the completion's answer before a main turn
        std::optional<bool> after;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"no delegate", [](Seen&) { return nullptr; }, false, true, true, {}},
        {"a delegate that answers nothing",
         [](Seen&) { return std::make_shared<WreckordDelegate>(); },
         false,
         true,
         true,
         {}},
        {"told only",
         [](Seen& seen) {
             auto delegate = std::make_shared<WreckordDelegate>();
             delegate->didDetectReportForLastExecution = [&seen](std::shared_ptr<WRKReport> r) {
                 seen.calls.push_back("told");
                 seen.readOnly = r->isReadOnly() && !r->canRecordNewValues();
             };
             return delegate;
         },
         false,
         true,
         true,
         {"told"}},
        {"asked, and declines",
         [](Seen& seen) {
             auto delegate = std::make_shared<WreckordDelegate>();
             delegate->didDetectReportForLastExecutionWithCompletion =
                 [&seen](std::shared_ptr<WRKReport> r, std::function<void(bool)> answer) {
                     seen.calls.push_back("asked " + r->identifier());
                     answer(false);
                 };
             return delegate;
         },
         true,
         std::nullopt,
         false,
         {"asked 0123456789abcdef"}},
        {"told the older way",
         [](Seen& seen) {
             auto delegate = std::make_shared<WreckordDelegate>();
             delegate->didDetectCrashDuringPreviousExecutionWithReport =
                 [&seen](std::shared_ptr<WRKReport>) { seen.calls.push_back("legacy report"); };
             delegate->didDetectCrashDuringPreviousExecution = [&seen] {
                 seen.calls.push_back("legacy");
             };
             return delegate;
         },
         true,
         true,
         true,
         {"legacy report", "legacy"}},
    };
    WRKCrashReportingControllerDelegate& kit = Wreckord::sharedInstance();
    const auto previous = Wreckord::sharedInstance().delegate();
    for (const Case& c : cases) {
        kit::DispatchQueue::drainMain();
        Seen seen;
        Wreckord::sharedInstance().setDelegate(c.make(seen));
        EXPECT_EQ(kit.reportingControllerMustInformDelegateOfReports(), c.mustInform) << c.what;
        std::optional<bool> answer;
        kit.reportingControllerDidDetectReportForLastExecution(
            *report, [&answer](bool submit) { answer = submit; });
        EXPECT_EQ(answer, c.beforeMainQueue) << c.what;
        EXPECT_TRUE(seen.calls.empty()) << c.what << ": the application hears on the main queue";
        kit::DispatchQueue::drainMain();
        EXPECT_EQ(answer, c.after) << c.what;
        EXPECT_EQ(seen.calls, c.calls) << c.what;
        EXPECT_TRUE(seen.readOnly) << c.what;
    }
    Wreckord::sharedInstance().setDelegate(previous);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace talvor::crash
