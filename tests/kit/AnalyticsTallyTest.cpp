#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "KitSandbox.h"
#include "LogCapture.h"
#include "kit/AnalyticsHandOff.h"
#include "kit/KitRegistry.h"
#include "kit/TLYDecimal.h"
#include "kit/TLYLogger.h"
#include "kit/Tally.h"

namespace talvor::kit {
namespace {

class RecordingController final : public TLYEventRecorder {
  public:
    void logEvent(std::shared_ptr<const TLYEvent> event) override {
        std::lock_guard lock(mutex);
        events.push_back(std::move(event));
    }
    void logCrashEvent(std::shared_ptr<const TLYCrashEvent> event) override {
        std::lock_guard lock(mutex);
        crashes.push_back(std::move(event));
    }
    std::mutex mutex;
    std::vector<std::shared_ptr<const TLYEvent>> events;
    std::vector<std::shared_ptr<const TLYCrashEvent>> crashes;
};

// A fresh shared Tally over a sandboxed host, whose controller factory records its tokens.
class kitAnalyticsTally : public ::testing::Test {
  protected:
    void SetUp() override {
        sandbox_.install(
            test::plist("<key>Trellis</key><dict><key>APIKey</key><string>k</string>"
                        "<key>Kits</key><array/></dict>"));
        Tally::setSharedInstance(nullptr);
        Tally::setControllerFactory([this](const std::optional<std::string>& token) {
            tokens_.push_back(token);
            return controller_;
        });
    }
    void TearDown() override {
        Tally::setControllerFactory(nullptr);
        Tally::setSharedInstance(nullptr);
        TLYLogger::sharedLogger().setDebugMode(false);
    }

    test::KitSandbox sandbox_;
    std::shared_ptr<RecordingController> controller_ = std::make_shared<RecordingController>();
    std::vector<std::optional<std::string>> tokens_;
};

TEST_F(kitAnalyticsTally, SecondStartKeepsFirstToken) {
    Tally::logSearchWithQuery("before start", std::nullopt);
    Tally::logPreviousSessionCrashedOnDate(1.0);
    Tally::startSharedWithBetaToken(std::string("2:first"));
    Tally::startSharedWithBetaToken(std::string("2:second"));
    Tally::sharedInstance().startWithBetaToken(std::nullopt);
    ASSERT_EQ(tokens_.size(), 1u);
    EXPECT_EQ(tokens_[0], "2:first");
    EXPECT_EQ(Tally::sharedInstance().tallyController(), controller_);
    EXPECT_TRUE(controller_->events.empty()) << "events before the start are dropped";
    EXPECT_TRUE(controller_->crashes.empty());
}

// Every log operation hands its event to the controller.
TEST_F(kitAnalyticsTally, LogOperationsReachTheController) {
    Tally::startSharedWithBetaToken(std::nullopt);
    const auto price = TLYDecimal::parse("1.99");
    const std::vector<std::pair<std::function<void()>, std::string>> calls = {
        {[] { Tally::logSignUpWithMethod("m", true, std::nullopt); }, "sign_up"},
        {[] { Tally::logLoginWithMethod("m", false, std::nullopt); }, "login"},
        {[] { Tally::logShareWithMethod("m", "n", "t", "i", std::nullopt); }, "share"},
        {[] { Tally::logInviteWithMethod("m", std::nullopt); }, "invite"},
        {[&] {
             Tally::logPurchaseWithPrice(price, "EUR", std::nullopt, "n", "t", "i", std::nullopt);
         },
         "purchase"},
        {[] { Tally::logLevelStart("l", std::nullopt); }, "level_start"},
        {[] { Tally::logLevelEnd("l", JsonValue(3), true, std::nullopt); }, "level_end"},
        {[&] { Tally::logAddToCartWithPrice(price, "EUR", "n", "t", "i", std::nullopt); },
         "add_to_cart"},
        {[&] { Tally::logStartCheckoutWithPrice(price, "EUR", JsonValue(2), std::nullopt); },
         "start_checkout"},
        {[] { Tally::logRating(JsonValue(5), "n", "t", "i", std::nullopt); }, "rating"},
        {[] { Tally::logContentViewWithName("n", "t", "i", std::nullopt); }, "content_view"},
        {[] { Tally::logSearchWithQuery("q", std::nullopt); }, "search"},
    };
    for (const auto& [call, type] : calls) {
        call();
        ASSERT_FALSE(controller_->events.empty()) << type;
        const auto* predefined =
            dynamic_cast<const TLYPredefinedEvent*>(controller_->events.back().get());
        ASSERT_NE(predefined, nullptr) << type;
        EXPECT_EQ(predefined->predefinedEventName(), type);
    }
    EXPECT_EQ(controller_->events.size(), calls.size());
    Tally::logCustomEventWithName("mine", TLYAttributes{{"a", 1}});
    const auto* custom = dynamic_cast<const TLYCustomEvent*>(controller_->events.back().get());
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(custom->customEventName(), "mine");

    Tally::logPreviousSessionCrashedOnDate(std::nullopt);
    EXPECT_TRUE(controller_->crashes.empty());
    Tally::logPreviousSessionCrashedOnDate(1'400'000'000.0);
    ASSERT_EQ(controller_->crashes.size(), 1u);
    EXPECT_EQ(controller_->crashes[0]->timestamp(), 1'400'000'000.0);
    EXPECT_EQ(*controller_->crashes[0]->dictionaryRepresentation().find("crash_state")->string(),
              "unknown");
}

TEST_F(kitAnalyticsTally, NimbusModeRefusesWithMessage) {
    Trellis::sharedSDK().setInstallationMode(Trellis::Nimbus);
    Trellis::sharedSDK().setDebug(true);
    test::LogCapture log;
    Tally::startSharedWithBetaToken(std::nullopt);
    EXPECT_EQ(log.lines, std::vector<std::string>{"[Tally] Initialized"});
    log.lines.clear();
    Tally::logSearchWithQuery("q", std::nullopt);
    Tally::logCustomEventWithName("c", std::nullopt);
    EXPECT_TRUE(controller_->events.empty());
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{
                  "[Tally] logSearchWithQuery:customAttributes: is not supported when using "
                  "Wreckord through Nimbus.",
                  "[Tally] logCustomEventWithName:customAttributes: is not supported when using "
                  "Wreckord through Nimbus."}));
    Tally::logPreviousSessionCrashedOnDate(5.0);
    EXPECT_EQ(controller_->crashes.size(), 1u) << "the crash of the last run is still recorded";

    // Without debug mode the refusal is silent.
    TLYLogger::sharedLogger().setDebugMode(false);
    log.lines.clear();
    Tally::logSearchWithQuery("q", std::nullopt);
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(kitAnalyticsTally, InitializeDefersToTheCrashKit) {
    EXPECT_EQ(Tally::bundleIdentifier(), "com.quillon.tally.mac");
    EXPECT_EQ(Tally::kitDisplayVersion(), "1.3.7");
    EXPECT_EQ(Tally::kitBuildVersion(), "30");
    int crashKitStarts = 0;
    KitClass crashKit;
    crashKit.name = "Wreckord";
    crashKit.adoptsTRLKit = true;
    crashKit.initializeIfNeeded = [&] { ++crashKitStarts; };
    KitRegistry::shared().add(crashKit);
    Tally::initializeIfNeeded();
    KitRegistry::shared().remove("Wreckord");
    EXPECT_EQ(crashKitStarts, 1);
    EXPECT_TRUE(tokens_.empty()) << "the crash kit starts the analytics itself";

    Tally::initializeIfNeeded();
    ASSERT_EQ(tokens_.size(), 1u);
    EXPECT_EQ(tokens_[0], std::nullopt);
}

// The crash kit may report the last crash before or after the analytics start, and may
// start them itself: the crash is recorded once either way, and only after the start.
TEST_F(kitAnalyticsTally, CrashHandOffIsRecordedOnceWhicheverComesFirst) {
    reportPreviousSessionCrash(1'600'000'000.0);
    EXPECT_TRUE(tokens_.empty()) << "a report does not start the analytics";
    startAnalytics(std::string("2:beta"));
    startAnalytics(std::nullopt);
    ASSERT_EQ(controller_->crashes.size(), 1u);
    EXPECT_EQ(controller_->crashes[0]->timestamp(), 1'600'000'000.0);
    EXPECT_EQ(tokens_, (std::vector<std::optional<std::string>>{std::string("2:beta")}));

    reportPreviousSessionCrash(1'600'000'100.0);
    ASSERT_EQ(controller_->crashes.size(), 2u) << "after the start a report goes straight in";
    EXPECT_EQ(controller_->crashes[1]->timestamp(), 1'600'000'100.0);
    startAnalytics(std::nullopt);
    EXPECT_EQ(controller_->crashes.size(), 2u);
}

}  // namespace
}  // namespace talvor::kit
