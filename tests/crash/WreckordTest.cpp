#include "crash/Wreckord.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
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
#include "kit/Tally.h"
#include "kit/Trellis.h"
#include "kit/WRKUserDefaults.h"

namespace talvor::crash {
namespace {

using kit::KitClass;
using kit::Trellis;

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
