#include "kit/TLYEvent.h"

#include "kit/KitClock.h"
#include "kit/TRLEncoding.h"

namespace talvor::kit {

TLYEvent::TLYEvent() : timestamp_(Clock::shared().wallSeconds()), identifier_(TRLGenerateUUID()) {}

std::string TLYEvent::description() const {
    return "<" + name() + ": " +
           json::serialize(JsonValue(dictionaryRepresentation())).value_or("?") + ">";
}

TLYPredefinedEvent::TLYPredefinedEvent(std::string name, const std::optional<TLYAttributes>& custom)
    : predefinedEventName_(std::move(name)), customAttributes_(custom) {}

void TLYPredefinedEvent::add(std::string_view key, const TLYText& text) {
    if (text) {
        predefinedAttributes_.addAttribute(JsonValue(*text), JsonValue(std::string(key)));
    }
}

void TLYPredefinedEvent::add(std::string_view key, const TLYNumberArgument& number) {
    if (number) {
        predefinedAttributes_.addAttribute(*number, JsonValue(std::string(key)));
    }
}

#define TLY_MAKE(name) std::shared_ptr<TLYPredefinedEvent>(new TLYPredefinedEvent(name, custom))

std::shared_ptr<TLYPredefinedEvent> TLYPredefinedEvent::signUpEventWithMethod(
    const TLYText& method, std::optional<bool> success,
    const std::optional<TLYAttributes>& custom) {
    auto e = TLY_MAKE("sign_up");
    e->add("method", method);
    e->predefinedAttributes_.addBooleanAttribute(success, "success");
    return e;
}

std::shared_ptr<TLYPredefinedEvent> TLYPredefinedEvent::loginEventWithMethod(
    const TLYText& method, std::optional<bool> success,
    const std::optional<TLYAttributes>& custom) {
    auto e = TLY_MAKE("login");
    e->add("method", method);
    e->predefinedAttributes_.addBooleanAttribute(success, "success");
    return e;
}

std::shared_ptr<TLYPredefinedEvent> TLYPredefinedEvent::shareEventWithMethod(
    const TLYText& method, const TLYText& contentName, const TLYText& contentType,
    const TLYText& contentId, const std::optional<TLYAttributes>& custom) {
    auto e = TLY_MAKE("share");
    e->add("method", method);
    e->add("content_name", contentName);
    e->add("content_type", contentType);
    e->add("content_id", contentId);
    return e;
}

std::shared_ptr<TLYPredefinedEvent> TLYPredefinedEvent::inviteEventWithMethod(
    const TLYText& method, const std::optional<TLYAttributes>& custom) {
    auto e = TLY_MAKE("invite");
    e->add("method", method);
    return e;
}

std::shared_ptr<TLYPredefinedEvent> TLYPredefinedEvent::purchaseEventWithPrice(
    std::optional<TLYDecimal> price, const TLYText& currency, std::optional<bool> success,
    const TLYText& itemName, const TLYText& itemType, const TLYText& itemId,
    const std::optional<TLYAttributes>& custom) {
    auto e = TLY_MAKE("purchase");
    e->predefinedAttributes_.addPriceAttribute(price, "item_price");
    e->add("currency", currency);
    e->predefinedAttributes_.addBooleanAttribute(success, "success");
    e->add("item_name", itemName);
    e->add("item_type", itemType);
    e->add("item_id", itemId);
    return e;
}

std::shared_ptr<TLYPredefinedEvent> TLYPredefinedEvent::levelStartEventWithLevelName(
    const TLYText& levelName, const std::optional<TLYAttributes>& custom) {
    auto e = TLY_MAKE("level_start");
    e->add("level_name", levelName);
    return e;
}

std::shared_ptr<TLYPredefinedEvent> TLYPredefinedEvent::levelEndEventWithLevelName(
    const TLYText& levelName, const TLYNumberArgument& score, std::optional<bool> success,
    const std::optional<TLYAttributes>& custom) {
    auto e = TLY_MAKE("level_end");
    e->add("level_name", levelName);
    e->add("score", score);
    e->predefinedAttributes_.addBooleanAttribute(success, "success");
    return e;
}

std::shared_ptr<TLYPredefinedEvent> TLYPredefinedEvent::addToCartEventWithPrice(
    std::optional<TLYDecimal> price, const TLYText& currency, const TLYText& itemName,
    const TLYText& itemType, const TLYText& itemId, const std::optional<TLYAttributes>& custom) {
    auto e = TLY_MAKE("add_to_cart");
    e->predefinedAttributes_.addPriceAttribute(price, "item_price");
    e->add("currency", currency);
    e->add("item_name", itemName);
    e->add("item_type", itemType);
    e->add("item_id", itemId);
    return e;
}

std::shared_ptr<TLYPredefinedEvent> TLYPredefinedEvent::startCheckoutEventWithPrice(
    std::optional<TLYDecimal> totalPrice, const TLYText& currency,
    const TLYNumberArgument& itemCount, const std::optional<TLYAttributes>& custom) {
    auto e = TLY_MAKE("start_checkout");
    e->predefinedAttributes_.addPriceAttribute(totalPrice, "total_price");
    e->add("currency", currency);
    e->add("item_count", itemCount);
    return e;
}

std::shared_ptr<TLYPredefinedEvent> TLYPredefinedEvent::ratingEventWithRating(
    const TLYNumberArgument& rating, const TLYText& contentName, const TLYText& contentType,
    const TLYText& contentId, const std::optional<TLYAttributes>& custom) {
    auto e = TLY_MAKE("rating");
    e->add("rating", rating);
    e->add("content_name", contentName);
    e->add("content_type", contentType);
    e->add("content_id", contentId);
    return e;
}

std::shared_ptr<TLYPredefinedEvent> TLYPredefinedEvent::contentViewEventWithName(
    const TLYText& name, const TLYText& contentType, const TLYText& contentId,
    const std::optional<TLYAttributes>& custom) {
    auto e = TLY_MAKE("content_view");
    e->add("content_name", name);
    e->add("content_type", contentType);
    e->add("content_id", contentId);
    return e;
}

std::shared_ptr<TLYPredefinedEvent> TLYPredefinedEvent::searchEventWithQuery(
    const TLYText& query, const std::optional<TLYAttributes>& custom) {
    auto e = TLY_MAKE("search");
    e->add("query", query);
    return e;
}

#undef TLY_MAKE

JsonObject TLYPredefinedEvent::dictionaryRepresentation() const {
    JsonObject object;
    object.set("eventId", identifier());
    object.set("predefined_type", predefinedEventName_);
    object.set("predefined_attributes", predefinedAttributes_.dictionaryRepresentation());
    object.set("custom_attributes", customAttributes_.dictionaryRepresentation());
    return object;
}

std::string TLYPredefinedEvent::description() const {
    return "<TLYPredefinedEvent: " + predefinedEventName_ + "\n" +
           predefinedAttributes_.description() + "\n" + customAttributes_.description() + ">";
}

TLYCustomEvent::TLYCustomEvent(std::string customEventName,
                               std::optional<TLYAttributes> customAttributes)
    : customEventName_(std::move(customEventName)),
      customAttributes_(std::move(customAttributes)) {}

TLYAttributeDictionary TLYCustomEvent::attributesDictionary() const {
    return TLYAttributeDictionary(customAttributes_);
}

JsonObject TLYCustomEvent::dictionaryRepresentation() const {
    JsonObject object;
    object.set("eventId", identifier());
    object.set("custom_type", customEventName_);
    object.set("custom_attributes", attributesDictionary().dictionaryRepresentation());
    return object;
}

std::string TLYCustomEvent::description() const {
    return "<TLYCustomEvent: " + customEventName_ + "\n" + attributesDictionary().description() +
           ">";
}

TLYLifecycleEvent::TLYLifecycleEvent(std::string name) : name_(std::move(name)) {}

const std::map<std::string, std::string, std::less<>>& TLYLifecycleEvent::notificationNameMap() {
    static const std::map<std::string, std::string, std::less<>> map = {
        {"NSApplicationWillTerminateNotification", "app_terminated"},
        {"NSApplicationWillResignActiveNotification", "app_became_inactive"},
        {"NSApplicationDidBecomeActiveNotification", "app_became_active"},
    };
    return map;
}

std::string TLYLifecycleEvent::nameFromNotification(std::string_view notification) {
    const auto& map = notificationNameMap();
    const auto it = map.find(notification);
    return it == map.end() ? "unknown-notification" : it->second;
}

std::shared_ptr<TLYLifecycleEvent> TLYLifecycleEvent::eventWithNotification(
    std::string_view notification) {
    return std::make_shared<TLYLifecycleEvent>(nameFromNotification(notification));
}

std::shared_ptr<TLYLifecycleEvent> TLYLifecycleEvent::installEvent() {
    return std::make_shared<TLYLifecycleEvent>("app_installed");
}

std::shared_ptr<TLYLifecycleEvent> TLYLifecycleEvent::appLaunchedEvent() {
    return std::make_shared<TLYLifecycleEvent>("app_launched");
}

JsonObject TLYLifecycleEvent::dictionaryRepresentation() const {
    JsonObject object;
    object.set("eventId", identifier());
    return object;
}

bool TLYLifecycleEvent::triggersFlush() const {
    return name_ == "app_became_inactive" || name_ == "app_became_active" ||
           name_ == "app_installed";
}

TLYCrashEvent::TLYCrashEvent(double crashTimestamp, std::uint64_t crashState)
    : crashTimestamp_(crashTimestamp), crashState_(crashState) {}

std::string TLYCrashEvent::payloadStringForCrashState(std::uint64_t state) {
    return state == 1 ? "foreground" : state == 2 ? "background" : "unknown";
}

JsonObject TLYCrashEvent::dictionaryRepresentation() const {
    JsonObject object;
    object.set("eventId", identifier());
    object.set("crash_state", payloadStringForCrashState(crashState_));
    return object;
}

}  // namespace talvor::kit
