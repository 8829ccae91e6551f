#include "kit/Tally.h"

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

void Tally::logSignUpWithMethod(TLYText method, std::optional<bool> success,
                                const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logSignUpWithMethod:success:customAttributes:",
            TLYPredefinedEvent::signUpEventWithMethod(std::move(method), success, custom));
}

void Tally::logLoginWithMethod(TLYText method, std::optional<bool> success,
                               const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logLoginWithMethod:success:customAttributes:",
            TLYPredefinedEvent::loginEventWithMethod(std::move(method), success, custom));
}

void Tally::logShareWithMethod(TLYText method, TLYText contentName, TLYText contentType,
                               TLYText contentId, const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logShareWithMethod:contentName:contentType:contentId:customAttributes:",
            TLYPredefinedEvent::shareEventWithMethod(std::move(method), std::move(contentName),
                                                     std::move(contentType), std::move(contentId),
                                                     custom));
}

void Tally::logInviteWithMethod(TLYText method, const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logInviteWithMethod:customAttributes:",
            TLYPredefinedEvent::inviteEventWithMethod(std::move(method), custom));
}

void Tally::logPurchaseWithPrice(std::optional<TLYDecimal> price, TLYText currency,
                                 std::optional<bool> success, TLYText itemName, TLYText itemType,
                                 TLYText itemId, const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logPurchaseWithPrice:currency:success:itemName:itemType:itemId:customAttributes:",
            TLYPredefinedEvent::purchaseEventWithPrice(price, std::move(currency), success,
                                                       std::move(itemName), std::move(itemType),
                                                       std::move(itemId), custom));
}

void Tally::logLevelStart(TLYText levelName, const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logLevelStart:customAttributes:",
            TLYPredefinedEvent::levelStartEventWithLevelName(std::move(levelName), custom));
}

void Tally::logLevelEnd(TLYText levelName, TLYNumberArgument score, std::optional<bool> success,
                        const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logLevelEnd:score:success:customAttributes:",
            TLYPredefinedEvent::levelEndEventWithLevelName(std::move(levelName), std::move(score),
                                                           success, custom));
}

void Tally::logAddToCartWithPrice(std::optional<TLYDecimal> price, TLYText currency,
                                  TLYText itemName, TLYText itemType, TLYText itemId,
                                  const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logAddToCartWithPrice:currency:itemName:itemType:itemId:customAttributes:",
            TLYPredefinedEvent::addToCartEventWithPrice(price, std::move(currency),
                                                        std::move(itemName), std::move(itemType),
                                                        std::move(itemId), custom));
}

void Tally::logStartCheckoutWithPrice(std::optional<TLYDecimal> totalPrice, TLYText currency,
                                      TLYNumberArgument itemCount,
                                      const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logStartCheckoutWithPrice:currency:itemCount:customAttributes:",
            TLYPredefinedEvent::startCheckoutEventWithPrice(totalPrice, std::move(currency),
                                                            std::move(itemCount), custom));
}

void Tally::logRating(TLYNumberArgument rating, TLYText contentName, TLYText contentType,
                      TLYText contentId, const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logRating:contentName:contentType:contentId:customAttributes:",
            TLYPredefinedEvent::ratingEventWithRating(std::move(rating), std::move(contentName),
                                                      std::move(contentType), std::move(contentId),
                                                      custom));
}

void Tally::logContentViewWithName(TLYText name, TLYText contentType, TLYText contentId,
                                   const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logContentViewWithName:contentType:contentId:customAttributes:",
            TLYPredefinedEvent::contentViewEventWithName(std::move(name), std::move(contentType),
                                                         std::move(contentId), custom));
}

void Tally::logSearchWithQuery(TLYText query, const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logSearchWithQuery:customAttributes:",
            TLYPredefinedEvent::searchEventWithQuery(std::move(query), custom));
}

void Tally::logCustomEventWithName(std::string name, const std::optional<TLYAttributes>& custom) {
    TLY_LOG("logCustomEventWithName:customAttributes:",
            std::make_shared<TLYCustomEvent>(std::move(name), custom));
}

#undef TLY_LOG

}  // namespace talvor::kit
