#include "kit/Tally.h"

#include "kit/AnalyticsHandOff.h"
#include "kit/KitRegistry.h"
#include "kit/TLYLogger.h"
#include "kit/Trellis.h"

namespace talvor::kit {

namespace {

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::unique_ptr<Tally>& sharedSlot() {
    static std::unique_ptr<Tally> slot;
    return slot;
}

Tally::ControllerFactory& factorySlot() {
    static Tally::ControllerFactory factory;
    return factory;
}

// A crash reported before the analytics started (guarded by sharedMutex).
std::optional<double>& heldCrashSlot() {
    static std::optional<double> date;
    return date;
}

}  // namespace

Tally& Tally::sharedInstance() {
    std::lock_guard lock(sharedMutex());
    auto& slot = sharedSlot();
    if (!slot) {
        slot = std::make_unique<Tally>();
    }
    return *slot;
}

std::unique_ptr<Tally> Tally::setSharedInstance(std::unique_ptr<Tally> instance) {
    std::lock_guard lock(sharedMutex());
    return std::exchange(sharedSlot(), std::move(instance));
}

void Tally::setControllerFactory(ControllerFactory factory) {
    std::lock_guard lock(sharedMutex());
    factorySlot() = std::move(factory);
}

void Tally::initializeIfNeeded() {
    const KitClass* crashKit = KitRegistry::shared().find("Wreckord");
    if (crashKit && crashKit->adoptsTRLKit && crashKit->initializeIfNeeded) {
        crashKit->initializeIfNeeded();  // the crash kit starts the analytics itself
        return;
    }
    sharedInstance().startWithBetaToken(std::nullopt);
}

void Tally::configureLogging() {
    TLYLogger::sharedLogger().setDebugMode(Trellis::sharedSDK().debug());
}

void Tally::startWithBetaToken(const std::optional<std::string>& betaToken) {
    std::call_once(startOnce_, [&] {
        configureLogging();
        TLYLogger::sharedLogger().log("Initialized");
        ControllerFactory factory;
        {
            std::lock_guard lock(sharedMutex());
            factory = factorySlot();
        }
        if (factory) {
            tallyController_ = factory(betaToken);
        }
    });
}

void startAnalytics(const std::optional<std::string>& betaToken) {
    Tally::startSharedWithBetaToken(betaToken);
    std::optional<double> held;
    {
        std::lock_guard lock(sharedMutex());
        held = std::exchange(heldCrashSlot(), std::nullopt);
    }
    if (held) {
        Tally::logPreviousSessionCrashedOnDate(held);
    }
}

void reportPreviousSessionCrash(double date) {
    if (Tally::sharedInstance().tallyController()) {
        Tally::logPreviousSessionCrashedOnDate(date);
        return;
    }
    bool startedMeanwhile = false;
    {
        std::lock_guard lock(sharedMutex());
        heldCrashSlot() = date;
        startedMeanwhile = sharedSlot() && sharedSlot()->tallyController();
    }
    if (startedMeanwhile) {  // the start ran between the two looks: deliver it now
        std::optional<double> held;
        {
            std::lock_guard lock(sharedMutex());
            held = std::exchange(heldCrashSlot(), std::nullopt);
        }
        Tally::logPreviousSessionCrashedOnDate(held);
    }
}

void Tally::startSharedWithBetaToken(const std::optional<std::string>& betaToken) {
    sharedInstance().startWithBetaToken(betaToken);
}

void Tally::logPreviousSessionCrashedOnDate(std::optional<double> date) {
    if (!date) {
        return;
    }
    if (const auto& controller = sharedInstance().tallyController()) {
        controller->logCrashEvent(std::make_shared<TLYCrashEvent>(*date, 0));
    }
}

bool Tally::drainForTermination(std::chrono::milliseconds limit) {
    const auto controller = sharedInstance().tallyController();
    return controller ? controller->drain(limit) : true;
}

void Tally::printMethodUnavailableWithSelector(std::string_view selector) {
    TLYLogger::sharedLogger().log(std::string(selector) +
                                  " is not supported when using Wreckord through Nimbus.");
}

bool Tally::mayRecord(std::string_view selector) {
    if (Trellis::sharedSDK().nimbusMode()) {
        printMethodUnavailableWithSelector(selector);
        return false;
    }
    return true;
}

void Tally::record(std::shared_ptr<const TLYEvent> event) {
    if (const auto& controller = sharedInstance().tallyController()) {
        controller->logEvent(std::move(event));
    }
}

#define TLY_LOG(selector, make) \
    if (!mayRecord(selector)) { \
        return;                 \
    }                           \
    record(make)

void Tally::logSignUpWithMethod(const TLYText& method, std::optional<bool> success,
                                const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logSignUpWithMethod:success:customAttributes:",
            TLYPredefinedEvent::signUpEventWithMethod(method, success, custom));
}

void Tally::logLoginWithMethod(const TLYText& method, std::optional<bool> success,
                               const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logLoginWithMethod:success:customAttributes:",
            TLYPredefinedEvent::loginEventWithMethod(method, success, custom));
}

void Tally::logShareWithMethod(const TLYText& method, const TLYText& contentName,
                               const TLYText& contentType, const TLYText& contentId,
                               const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logShareWithMethod:contentName:contentType:contentId:customAttributes:",
            TLYPredefinedEvent::shareEventWithMethod(method, contentName, contentType, contentId,
                                                     custom));
}

void Tally::logInviteWithMethod(const TLYText& method, const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logInviteWithMethod:customAttributes:",
            TLYPredefinedEvent::inviteEventWithMethod(method, custom));
}

void Tally::logPurchaseWithPrice(std::optional<TLYDecimal> price, const TLYText& currency,
                                 std::optional<bool> success, const TLYText& itemName,
                                 const TLYText& itemType, const TLYText& itemId,
                                 const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logPurchaseWithPrice:currency:success:itemName:itemType:itemId:customAttributes:",
            TLYPredefinedEvent::purchaseEventWithPrice(price, currency, success, itemName, itemType,
                                                       itemId, custom));
}

void Tally::logLevelStart(const TLYText& levelName, const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logLevelStart:customAttributes:",
            TLYPredefinedEvent::levelStartEventWithLevelName(levelName, custom));
}

void Tally::logLevelEnd(const TLYText& levelName, const TLYNumberArgument& score,
                        std::optional<bool> success, const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logLevelEnd:score:success:customAttributes:",
            TLYPredefinedEvent::levelEndEventWithLevelName(levelName, score, success, custom));
}

void Tally::logAddToCartWithPrice(std::optional<TLYDecimal> price, const TLYText& currency,
                                  const TLYText& itemName, const TLYText& itemType,
                                  const TLYText& itemId,
                                  const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logAddToCartWithPrice:currency:itemName:itemType:itemId:customAttributes:",
            TLYPredefinedEvent::addToCartEventWithPrice(price, currency, itemName, itemType, itemId,
                                                        custom));
}

void Tally::logStartCheckoutWithPrice(std::optional<TLYDecimal> totalPrice, const TLYText& currency,
                                      const TLYNumberArgument& itemCount,
                                      const std::optional<TLYAttributes>& custom) {
    TLY_LOG(
        "logStartCheckoutWithPrice:currency:itemCount:customAttributes:",
        TLYPredefinedEvent::startCheckoutEventWithPrice(totalPrice, currency, itemCount, custom));
}

void Tally::logRating(const TLYNumberArgument& rating, const TLYText& contentName,
                      const TLYText& contentType, const TLYText& contentId,
                      const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logRating:contentName:contentType:contentId:customAttributes:",
            TLYPredefinedEvent::ratingEventWithRating(rating, contentName, contentType, contentId,
                                                      custom));
}

void Tally::logContentViewWithName(const TLYText& name, const TLYText& contentType,
                                   const TLYText& contentId,
                                   const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logContentViewWithName:contentType:contentId:customAttributes:",
            TLYPredefinedEvent::contentViewEventWithName(name, contentType, contentId, custom));
}

void Tally::logSearchWithQuery(const TLYText& query, const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logSearchWithQuery:customAttributes:",
            TLYPredefinedEvent::searchEventWithQuery(query, custom));
}

void Tally::logCustomEventWithName(std::string name, const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logCustomEventWithName:customAttributes:",
            std::make_shared<TLYCustomEvent>(std::move(name), custom));
}

#undef TLY_LOG

}  // namespace talvor::kit
