#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "AnalyticsTestSupport.h"
#include "KitSandbox.h"
#include "LogCapture.h"
#include "ManualClock.h"
#include "kit/KitJson.h"
#include "kit/NotificationCenter.h"
#include "kit/TLYActivity.h"
#include "kit/TLYApplication.h"
#include "kit/TLYEvent.h"
#include "kit/TLYNimbusAnalyticsBridge.h"
#include "kit/TLYTallyController.h"
#include "kit/TLYTimer.h"

namespace talvor::kit {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

JsonValue document(const std::string& text) {
    auto parsed = json::parse(text);
    EXPECT_TRUE(parsed) << text;
    return parsed ? *parsed : JsonValue();
}

// A controller over a sandboxed host and caches, on a manual clock. No endpoint is set, so
// packaged files stay where the tests can read them.
class kitAnalyticsController : public ::testing::Test {
  protected:
    void SetUp() override {
        sandbox_.install(
            test::plist("<key>CFBundleIdentifier</key><string>org.talvor.test</string>"
                        "<key>Trellis</key><dict><key>APIKey</key><string>k</string><key>Kits</"
                        "key><array/></dict>"));
        Clock::setShared(&clock_);
        RandomSource::setShared(&random_);
    }
    void TearDown() override {
        controller_.reset();
        RandomSource::setShared(nullptr);
        Clock::setShared(nullptr);
    }
    TLYTallyController& start() {
        controller_ = TLYTallyController::make(std::nullopt, root_, {&clock_, &random_, {}});
        idle();
        return *controller_;
    }
    void idle() { ASSERT_TRUE(controller_->waitUntilIdle()); }
    void settings(const std::string& text) {
        controller_->initializeSettingsIfNeededWithTrellisSettings(document(text));
        idle();
    }
    void custom(const std::string& name) {
        controller_->logEvent(std::make_shared<TLYCustomEvent>(name, std::nullopt));
        idle();
    }
    void post(const char* notification) {
        NotificationCenter::defaultCenter().post(notification);
        idle();
    }
    fs::path events() const { return TLYTallyController::eventDirectoryForRootDirectory(root_); }
    std::vector<fs::path> packaged() const {
        return test::filesWithExtension(events(), "multipartmime");
    }
    std::vector<std::string> currentNames() const {
        return test::names(TLYEventLogFile::readRecords(controller_->currentLogURL()));
    }
    // The packaged files' record names, oldest first by the names they hold.
    std::vector<std::vector<std::string>> packagedNames() const {
        std::vector<std::pair<std::uint64_t, std::vector<std::string>>> all;
        for (const auto& file : packaged()) {
            const auto records = test::packagedRecords(file);
            all.emplace_back(records.size() > 1 ? records[1].milliseconds : 0,
                             test::names(records));
        }
        std::sort(all.begin(), all.end());
        std::vector<std::vector<std::string>> out;
        for (auto& [time, list] : all) {
            out.push_back(std::move(list));
        }
        return out;
    }
    void tick() { clock_.advance(1s); }

    test::KitSandbox sandbox_;
    test::ManualClock clock_;
    test::NoJitter random_;
    fs::path root_ = sandbox_.dir / "analytics";
    std::shared_ptr<TLYTallyController> controller_;
};

using Names = std::vector<std::string>;

// Before any settings arrive events are written and files rotated, but nothing is sent: the
// packaged file waits.
TEST_F(kitAnalyticsController, RecordsBeforeSettingsAndKeepsPackagesWhileInvalid) {
    start();
    EXPECT_EQ(packagedNames(), (std::vector<Names>{{"metadata", "app_installed"}}))
        << "the first install rotates at once";
    EXPECT_EQ(currentNames(), (Names{"metadata", "app_launched"}));
    custom("before settings");
    EXPECT_EQ(currentNames(), (Names{"metadata", "app_launched", "custom"}));
    EXPECT_TRUE(test::filesWithExtension(events(), "gz").empty());
}

TEST_F(kitAnalyticsController, RotatesOnTheEventThatFindsTheFileOverTheLimit) {
    start();
    settings(R"({"analytics":{"max_byte_size_per_file":600}})");
    const std::size_t before = packaged().size();
    std::uintmax_t size = fs::file_size(controller_->currentLogURL());
    for (int i = 0; i < 20 && packaged().size() == before; ++i) {
        const std::uintmax_t sizeBefore = size;
        tick();
        custom("grow");
        if (packaged().size() > before) {
            EXPECT_GT(sizeBefore, 600u) << "rotated although the file was within the limit";
            const auto last = packagedNames().back();
            EXPECT_EQ(last.back(), "custom") << "the event's own line is the file's last";
            EXPECT_FALSE(fs::exists(controller_->currentLogURL()));
        } else {
            EXPECT_LE(sizeBefore, 600u) << "not rotated although over the limit";
            size = fs::file_size(controller_->currentLogURL());
        }
    }
    EXPECT_EQ(packaged().size(), before + 1);
}

// A crash with earlier events in the current file starts a file of its own, headed by the
// previous execution's metadata.
TEST_F(kitAnalyticsController, CrashEventTwoRotations) {
    start();
    const auto firstSession = TLYEventLogFile::readRecords(controller_->currentLogURL());
    ASSERT_FALSE(firstSession.empty());
    controller_.reset();
    fs::remove_all(events());
    sandbox_.install(
        test::plist("<key>CFBundleIdentifier</key><string>org.talvor.test</string>"
                    "<key>Trellis</key><dict><key>APIKey</key><string>k</string><key>Kits</"
                    "key><array/></dict>"));
    start();
    ASSERT_EQ(currentNames(), (Names{"metadata", "app_launched"}));
    controller_->logCrashEvent(std::make_shared<TLYCrashEvent>(1'600'000'000.0, 0));
    idle();
    const auto files = packagedNames();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], (Names{"metadata", "app_launched"}));
    EXPECT_EQ(files[1], (Names{"metadata", "app_crashed"}));
    for (const auto& file : packaged()) {
        const auto records = test::packagedRecords(file);
        if (records.back().name == "app_crashed") {
            EXPECT_EQ(records[0].json, firstSession[0].json)
                << "the crash file carries the crashed session's metadata";
        }
    }
    EXPECT_FALSE(fs::exists(controller_->currentLogURL()));
}

TEST_F(kitAnalyticsController, AnalyticsOffPurgesFolderAndRecordsNothing) {
    start();
    ASSERT_FALSE(packaged().empty());
    settings(R"({"features":{"collect_analytics":false}})");
    EXPECT_TRUE(TLYFileUtils::allFilesInDirectory(events()).empty());
    custom("after");
    post("NSApplicationDidBecomeActiveNotification");
    EXPECT_TRUE(TLYFileUtils::allFilesInDirectory(events()).empty());
}

// The first valid settings hold: a later document with a flush interval makes no timer,
// and a nil one changes nothing.
TEST_F(kitAnalyticsController, FirstValidSettingsWinAndZeroIntervalHasNoTimer) {
    start();
    controller_->initializeSettingsIfNeededWithTrellisSettings(std::nullopt);
    idle();
    EXPECT_FALSE(controller_->settings().valid());
    settings(R"({"analytics":{"flush_interval_secs":0,"max_byte_size_per_file":10}})");
    EXPECT_FALSE(controller_->hasFlushTimer());
    settings(R"({"analytics":{"flush_interval_secs":60,"max_byte_size_per_file":99999}})");
    EXPECT_FALSE(controller_->hasFlushTimer());
    EXPECT_EQ(controller_->settings().maximumPayloadSize(), 10);
}

// The flush timer rotates a file that has grown past the limit without a further event, and
// leaves a smaller one alone.
TEST_F(kitAnalyticsController, FlushTimerRotatesOnlyOversize) {
    start();
    const std::size_t before = packaged().size();
    settings(R"({"analytics":{"flush_interval_secs":60,"max_byte_size_per_file":100000}})");
    ASSERT_TRUE(controller_->hasFlushTimer());
    clock_.advance(61s);
    idle();
    EXPECT_EQ(packaged().size(), before) << "a small file is not flushed by the timer";
    EXPECT_EQ(currentNames(), (Names{"metadata", "app_launched"}));
}

TEST_F(kitAnalyticsController, FlushTimerRotatesAFileOverTheLimit) {
    start();
    const std::size_t before = packaged().size();
    settings(R"({"analytics":{"flush_interval_secs":60,"max_byte_size_per_file":10}})");
    // app_launched's file is already over 10 bytes: the timer alone rotates it.
    clock_.advance(61s);
    idle();
    EXPECT_EQ(packaged().size(), before + 1);
    EXPECT_EQ(packagedNames().back(), (Names{"metadata", "app_launched"}));
}

// Offline for a long run: every activation packages a file, and the folder keeps only the
// newest few.
TEST_F(kitAnalyticsController, RotationRespectsPendingLimit) {
    start();
    settings(R"({"analytics":{"max_pending_send_file_count":3}})");
    for (int i = 0; i < 6; ++i) {
        tick();
        post(i % 2 ? "NSApplicationWillResignActiveNotification"
                   : "NSApplicationDidBecomeActiveNotification");
    }
    const auto files = packagedNames();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files.back(), (Names{"metadata", "app_became_inactive"})) << "the newest stay";
}

// Events handed over keep the program from ending until they are on disk.
TEST_F(kitAnalyticsController, QuitEventIsWrittenAndItsFileClosed) {
    start();
    post("NSApplicationWillTerminateNotification");
    EXPECT_TRUE(controller_->drain(5s));
    EXPECT_EQ(TLYActivity::suddenTerminationDisabledCount(), 0);
    EXPECT_EQ(packagedNames().back(), (Names{"metadata", "app_launched", "app_terminated"}));
    EXPECT_TRUE(test::filesWithExtension(events(), "log").empty());
}

// From the hand-over until its line is on disk, an event keeps the program from ending; a
// quit waiting for that is let go once the line is written.
TEST_F(kitAnalyticsController, AnEventHandedOverHoldsTerminationUntilWritten) {
    start();
    const int before = TLYActivity::suddenTerminationDisabledCount();
    const int automaticBefore = TLYActivity::automaticTerminationDisabledCount();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    controller_->eventQueue()->addOperation([released] { released.wait(); });
    controller_->logEvent(std::make_shared<TLYCustomEvent>("held", std::nullopt));
    EXPECT_EQ(TLYActivity::suddenTerminationDisabledCount(), before + 1);
    EXPECT_EQ(TLYActivity::automaticTerminationDisabledCount(), automaticBefore + 1);
    EXPECT_FALSE(TLYActivity::waitUntilTerminationAllowed(20ms));
    release.set_value();
    EXPECT_TRUE(TLYActivity::waitUntilTerminationAllowed(10s));
    idle();
    EXPECT_EQ(currentNames(), (Names{"metadata", "app_launched", "custom"}));
}

TEST(kitAnalyticsActivity, EndTwiceReenablesOnce) {
    const int sudden = TLYActivity::suddenTerminationDisabledCount();
    const int automatic = TLYActivity::automaticTerminationDisabledCount();
    auto a = TLYActivity::beginActivity("a", TLYActivityTerminationDisabled);
    auto b = TLYActivity::beginActivity("b", TLYActivitySuddenTerminationDisabled);
    EXPECT_EQ(TLYActivity::suddenTerminationDisabledCount(), sudden + 2);
    EXPECT_EQ(TLYActivity::automaticTerminationDisabledCount(), automatic + 1);
    a->end();
    a->end();
    EXPECT_EQ(TLYActivity::suddenTerminationDisabledCount(), sudden + 1);
    EXPECT_EQ(TLYActivity::automaticTerminationDisabledCount(), automatic);
    EXPECT_FALSE(TLYActivity::waitUntilTerminationAllowed(10ms));
    b.reset();  // ending by going away
    EXPECT_EQ(TLYActivity::suddenTerminationDisabledCount(), sudden);
    EXPECT_TRUE(TLYActivity::waitUntilTerminationAllowed(10ms));
}

TEST(kitAnalyticsTimer, FiresEveryIntervalOnItsQueueUntilDestroyed) {
    test::ManualClock clock;
    auto queue = std::make_shared<OperationQueue>("timer");
    queue->setMaxConcurrentOperationCount(1);
    std::atomic<int> fired{0};
    auto timer = std::make_unique<TLYTimer>(
        600, queue, "flush", [&] { ++fired; }, &clock);
    EXPECT_DOUBLE_EQ(timer->tolerance(), 60.0);
    clock.advance(599s);
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(fired.load(), 0);
    clock.advance(1s);
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(fired.load(), 1);
    clock.advance(1200s);
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(fired.load(), 3);
    timer.reset();
    clock.advance(6000s);
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(fired.load(), 3);
    EXPECT_EQ(clock.pendingTimers(), 0u);
}

// The host counts as an extension only with a well-formed extension entry; a mal-formed
// one is said in the log, whatever the analytics' debug mode.
TEST(kitAnalyticsHostApplication, ExtensionTable) {
    struct Case {
        const char* what;
        PlistDictionary info;
        bool extension;
        const char* logged;
    };
    PlistDictionary point{{"NSExtensionPointIdentifier", PlistValue(std::string("com.x.widget"))}};
    PlistDictionary pointless{{"NSExtensionPointIdentifier", PlistValue(std::int64_t(3))}};
    const std::vector<Case> cases = {
        {"no entry", {}, false, nullptr},
        {"an entry of text",
         {{"NSExtension", PlistValue(std::string("widget"))}},
         false,
         "Error: NSExtension Info.plist entry is mal-formed widget"},
        {"a dictionary with a point", {{"NSExtension", PlistValue(point)}}, true, nullptr},
        {"a point that is not text",
         {{"NSExtension", PlistValue(pointless)}},
         false,
         "Error: NSExtensionPointIdentifier Info.plist entry is mal-formed"},
    };
    for (const auto& c : cases) {
        test::LogCapture log;
        TLYApplication application(c.info);
        EXPECT_EQ(application.isExtension(), c.extension) << c.what;
        if (c.logged) {
            ASSERT_FALSE(log.lines.empty()) << c.what;
            EXPECT_NE(log.lines.front().find(c.logged), std::string::npos) << log.lines.front();
        } else {
            EXPECT_TRUE(log.lines.empty()) << c.what;
        }
    }
    TLYApplication identity({{"CFBundleIdentifier", PlistValue(std::string("org.x"))},
                             {"CFBundleShortVersionString", PlistValue(std::string("4.2"))}});
    EXPECT_EQ(identity.bundleIdentifier(), "org.x");
    EXPECT_EQ(identity.shortVersionString(), "4.2");
    EXPECT_EQ(identity.bundleVersion(), std::nullopt);
    EXPECT_FALSE(TLYUploader::supportsBackgroundRequests());
}

// The host library as the bridge sees it: every call recorded.
class RecordingHostAnalytics final : public TLYHostAnalytics {
  public:
    void logInternalEventWithOrigin(const std::string& origin, const std::string& name,
                                    const JsonObject& parameters) override {
        calls.push_back({origin, name, json::serialize(JsonValue(parameters)).value_or("")});
    }
    struct Call {
        std::string origin, name, parameters;
        bool operator==(const Call&) const = default;
    };
    std::vector<Call> calls;
};

void PrintTo(const RecordingHostAnalytics::Call& call, std::ostream* out) {
    *out << call.origin << " " << call.name << " " << call.parameters;
}

TEST(kitAnalyticsBridge, EdgeCaseTable) {
    const auto price = TLYDecimal::parse("1.99");
    struct Case {
        const char* what;
        std::shared_ptr<const TLYEvent> event;
        std::vector<RecordingHostAnalytics::Call> calls;
    };
    const std::vector<Case> cases = {
        {"failed purchase: only custom parameters",
         TLYPredefinedEvent::purchaseEventWithPrice(price, "EUR", false, "n", "t", "i",
                                                    TLYAttributes{{"c", 1}}),
         {{"trl", "failed_ecommerce_purchase", R"({"c":1})"}}},
        {"purchase in currency units, without success",
         TLYPredefinedEvent::purchaseEventWithPrice(price, "EUR", true, "n", "t", "i",
                                                    std::nullopt),
         {{"trl", "ecommerce_purchase",
           R"({"currency":"EUR","value":1.99,"item_category":"t","item_id":"i","item_name":"n"})"}}},
        {"add to cart: quantity 1 and value = price",
         TLYPredefinedEvent::addToCartEventWithPrice(price, "EUR", "n", "t", "i", std::nullopt),
         {{"trl", "add_to_cart",
           R"({"item_category":"t","item_id":"i","item_name":"n","price":1.99,"currency":"EUR","quantity":1,"value":1.99})"}}},
        {"level end: also post_score",
         TLYPredefinedEvent::levelEndEventWithLevelName("l", JsonValue(7), true, std::nullopt),
         {{"trl", "level_end", R"({"level_name":"l","score":7,"success":1})"},
          {"trl", "post_score", R"({"level_name":"l","score":7,"success":1})"}}},
        {"predefined parameters win over custom ones",
         TLYPredefinedEvent::contentViewEventWithName(
             "n", "t", "i", TLYAttributes{{"item_id", "mine"}, {"extra", "x"}}),
         {{"trl", "select_content",
           R"({"content_type":"t","item_id":"i","item_name":"n","extra":"x"})"}}},
        {"custom event names are sanitised",
         std::make_shared<TLYCustomEvent>("first_open", std::nullopt),
         {{"trl", "trellis_first_open", "{}"}}},
        {"lifecycle events are not handed on", TLYLifecycleEvent::appLaunchedEvent(), {}},
    };
    for (const auto& c : cases) {
        auto host = std::make_shared<RecordingHostAnalytics>();
        TLYNimbusAnalyticsBridge bridge(host);
        bridge.logEvent(*c.event);
        EXPECT_EQ(host->calls, c.calls) << c.what;
    }
}

TEST(kitAnalyticsBridge, SanitizeTable) {
    const std::string fifty(50, 'a');
    const std::vector<std::pair<std::string, std::string>> events = {
        {"first_open", "trellis_first_open"},
        {"na_test", "trellis_na_test"},
        {"ga_test", "ga_test"},
        {"nimbus_x", "trellis_nimbus_x"},
        {"cloud_x", "trellis_cloud_x"},
        {"9lives", "trellis_9lives"},
        {"my event!", "my_event_"},
        {"a -- b", "a_b"},
        {"", "trellis_unnamed_event"},
        {"_lead", "trellis__lead"},
        {"été 2", "été_2"},
        {"Ωmega", "Ωmega"},
        {"名前", "名前"},
        {fifty, std::string(40, 'a')},
        {"x" + std::string(38, 'b') + "\xF0\x9F\x98\x80", "x" + std::string(38, 'b') + "_"},
    };
    for (const auto& [in, out] : events) {
        EXPECT_EQ(TLYNimbusAnalyticsBridge::sanitizeEventName(in), out) << in;
    }
    EXPECT_EQ(TLYNimbusAnalyticsBridge::sanitizeAttributeName(""), "trellis_unnamed_parameter");
    // A cut never splits a character: 39 units then a two-unit character gives 39 units.
    const std::string emoji = std::string(39, 'a') + "\xF0\x9F\x98\x80";
    EXPECT_EQ(TLYNimbusAnalyticsBridge::sanitizeKeyName(emoji), std::string(39, 'a') + "_");
}

TEST(kitAnalyticsBridge, AbsentLibraryDoesNothing) {
    TLYNimbusAnalyticsBridge::registerNimbusAnalytics(nullptr);
    TLYNimbusAnalyticsBridge bridge;
    EXPECT_FALSE(bridge.hasNimbusAnalytics());
    bridge.logEvent(TLYCustomEvent("x", std::nullopt));  // no library, no call, no crash
    auto host = std::make_shared<RecordingHostAnalytics>();
    TLYNimbusAnalyticsBridge::registerNimbusAnalytics(host);
    TLYNimbusAnalyticsBridge registered;
    registered.logEvent(TLYCustomEvent("x", std::nullopt));
    TLYNimbusAnalyticsBridge::registerNimbusAnalytics(nullptr);
    EXPECT_EQ(host->calls.size(), 1u);
}

}  // namespace
}  // namespace talvor::kit
