#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "kit/TLYAttributeDictionary.h"
#include "kit/TLYDecimal.h"
#include "kit/TLYEvent.h"

// The analytics kit's public face: the log operations through which the application (or the
// crash kit) records usage events, and its start. Until the kit has started every log
// operation is a no-op; in the host-analytics mode the predefined and custom operations
// record nothing and say so in debug mode.
namespace talvor::kit {

// Where a started kit hands its events: the analytics controller.
class TLYEventRecorder {
  public:
    virtual ~TLYEventRecorder() = default;
    virtual void logEvent(std::shared_ptr<const TLYEvent> event) = 0;
    virtual void logCrashEvent(std::shared_ptr<const TLYCrashEvent> event) = 0;
    // Waits (at most `limit`) until the events handed over are written and sent or kept.
    virtual bool drain(std::chrono::milliseconds) { return true; }
};

class Tally {
  public:
    // Makes the controller at start, with the beta token; none: events are dropped.
    using ControllerFactory =
        std::function<std::shared_ptr<TLYEventRecorder>(const std::optional<std::string>&)>;

    // The kit identity.
    static std::string bundleIdentifier() { return "com.quillon.tally.mac"; }
    static std::string kitDisplayVersion() { return "1.3.7"; }
    static std::string kitBuildVersion() { return "30"; }
    // Lets the crash kit start the analytics when it is in the program, else starts them.
    static void initializeIfNeeded();

    static Tally& sharedInstance();
    // Puts `instance` in place of the shared one (nullptr: a fresh one on next use); answers
    // the old one.
    static std::unique_ptr<Tally> setSharedInstance(std::unique_ptr<Tally> instance);
    // The controller maker used by every start (the controller's room installs it).
    static void setControllerFactory(ControllerFactory factory);

    // Starts the shared instance (the class operation of the same name).
    static void startSharedWithBetaToken(const std::optional<std::string>& betaToken);
    // Once per instance: logging set up, "Initialized", the controller made. Later calls do
    // nothing, whatever their token.
    void startWithBetaToken(const std::optional<std::string>& betaToken);
    void configureLogging();
    const std::shared_ptr<TLYEventRecorder>& tallyController() const { return tallyController_; }
    void setTallyController(std::shared_ptr<TLYEventRecorder> controller) {
        tallyController_ = std::move(controller);
    }

    // At quit: lets the started controller finish its work, for at most `limit`.
    static bool drainForTermination(std::chrono::milliseconds limit);

    // A crash of the previous execution at `date` (seconds since 1970); none: nothing.
    static void logPreviousSessionCrashedOnDate(std::optional<double> date);

    static void logSignUpWithMethod(const TLYText& method, std::optional<bool> success,
                                    const std::optional<TLYAttributes>& customAttributes);
    static void logLoginWithMethod(const TLYText& method, std::optional<bool> success,
                                   const std::optional<TLYAttributes>& customAttributes);
    static void logShareWithMethod(const TLYText& method, const TLYText& contentName,
                                   const TLYText& contentType, const TLYText& contentId,
                                   const std::optional<TLYAttributes>& customAttributes);
    static void logInviteWithMethod(const TLYText& method,
                                    const std::optional<TLYAttributes>& customAttributes);
    static void logPurchaseWithPrice(std::optional<TLYDecimal> price, const TLYText& currency,
                                     std::optional<bool> success, const TLYText& itemName,
                                     const TLYText& itemType, const TLYText& itemId,
                                     const std::optional<TLYAttributes>& customAttributes);
    static void logLevelStart(const TLYText& levelName,
                              const std::optional<TLYAttributes>& customAttributes);
    static void logLevelEnd(const TLYText& levelName, const TLYNumberArgument& score,
                            std::optional<bool> success,
                            const std::optional<TLYAttributes>& customAttributes);
    static void logAddToCartWithPrice(std::optional<TLYDecimal> price, const TLYText& currency,
                                      const TLYText& itemName, const TLYText& itemType,
                                      const TLYText& itemId,
                                      const std::optional<TLYAttributes>& customAttributes);
    static void logStartCheckoutWithPrice(std::optional<TLYDecimal> totalPrice,
                                          const TLYText& currency,
                                          const TLYNumberArgument& itemCount,
                                          const std::optional<TLYAttributes>& customAttributes);
    static void logRating(const TLYNumberArgument& rating, const TLYText& contentName,
                          const TLYText& contentType, const TLYText& contentId,
                          const std::optional<TLYAttributes>& customAttributes);
    static void logContentViewWithName(const TLYText& name, const TLYText& contentType,
                                       const TLYText& contentId,
                                       const std::optional<TLYAttributes>& customAttributes);
    static void logSearchWithQuery(const TLYText& query,
                                   const std::optional<TLYAttributes>& customAttributes);
    static void logCustomEventWithName(std::string name,
                                       const std::optional<TLYAttributes>& customAttributes);

    // "<selector> is not supported when using Wreckord through Nimbus." in debug mode.
    static void printMethodUnavailableWithSelector(std::string_view selector);

  private:
    // False (after the message) in the host-analytics mode.
    static bool mayRecord(std::string_view selector);
    static void record(std::shared_ptr<const TLYEvent> event);

    std::once_flag startOnce_;
    std::shared_ptr<TLYEventRecorder> tallyController_;
};

}  // namespace talvor::kit
