#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kit/KitJson.h"
#include "kit/TLYAttributeDictionary.h"
#include "kit/TLYDecimal.h"

// Analytics events: what is recorded (a name and a JSON object), made on the caller's thread
// and immutable once handed over.
namespace talvor::kit {

class TLYEvent {
  public:
    TLYEvent();
    virtual ~TLYEvent() = default;

    // The name the event is filed under.
    virtual std::string name() const { return "unknown"; }
    virtual JsonObject dictionaryRepresentation() const { return {}; }
    // Whether recording the event submits the current file at once.
    virtual bool triggersFlush() const { return false; }
    // Seconds since 1970 at which the event was made (the kit clock).
    virtual double timestamp() const { return timestamp_; }
    // A new UUID, 36 upper-case characters with dashes.
    const std::string& identifier() const { return identifier_; }
    virtual std::string description() const;

  private:
    double timestamp_;
    std::string identifier_;
};

// A number argument that may also come as a text (score, item count, rating).
using TLYNumberArgument = std::optional<JsonValue>;
using TLYText = std::optional<std::string>;

class TLYPredefinedEvent final : public TLYEvent {
  public:
    static std::shared_ptr<TLYPredefinedEvent> signUpEventWithMethod(
        const TLYText& method, std::optional<bool> success,
        const std::optional<TLYAttributes>& custom);
    static std::shared_ptr<TLYPredefinedEvent> loginEventWithMethod(
        const TLYText& method, std::optional<bool> success,
        const std::optional<TLYAttributes>& custom);
    static std::shared_ptr<TLYPredefinedEvent> shareEventWithMethod(
        const TLYText& method, const TLYText& contentName, const TLYText& contentType,
        const TLYText& contentId, const std::optional<TLYAttributes>& custom);
    static std::shared_ptr<TLYPredefinedEvent> inviteEventWithMethod(
        const TLYText& method, const std::optional<TLYAttributes>& custom);
    static std::shared_ptr<TLYPredefinedEvent> purchaseEventWithPrice(
        std::optional<TLYDecimal> price, const TLYText& currency, std::optional<bool> success,
        const TLYText& itemName, const TLYText& itemType, const TLYText& itemId,
        const std::optional<TLYAttributes>& custom);
    static std::shared_ptr<TLYPredefinedEvent> levelStartEventWithLevelName(
        const TLYText& levelName, const std::optional<TLYAttributes>& custom);
    static std::shared_ptr<TLYPredefinedEvent> levelEndEventWithLevelName(
        const TLYText& levelName, const TLYNumberArgument& score, std::optional<bool> success,
        const std::optional<TLYAttributes>& custom);
    static std::shared_ptr<TLYPredefinedEvent> addToCartEventWithPrice(
        std::optional<TLYDecimal> price, const TLYText& currency, const TLYText& itemName,
        const TLYText& itemType, const TLYText& itemId, const std::optional<TLYAttributes>& custom);
    static std::shared_ptr<TLYPredefinedEvent> startCheckoutEventWithPrice(
        std::optional<TLYDecimal> totalPrice, const TLYText& currency,
        const TLYNumberArgument& itemCount, const std::optional<TLYAttributes>& custom);
    static std::shared_ptr<TLYPredefinedEvent> ratingEventWithRating(
        const TLYNumberArgument& rating, const TLYText& contentName, const TLYText& contentType,
        const TLYText& contentId, const std::optional<TLYAttributes>& custom);
    static std::shared_ptr<TLYPredefinedEvent> contentViewEventWithName(
        const TLYText& name, const TLYText& contentType, const TLYText& contentId,
        const std::optional<TLYAttributes>& custom);
    static std::shared_ptr<TLYPredefinedEvent> searchEventWithQuery(
        const TLYText& query, const std::optional<TLYAttributes>& custom);

    std::string name() const override { return "predefined"; }
    JsonObject dictionaryRepresentation() const override;
    std::string description() const override;

    const std::string& predefinedEventName() const { return predefinedEventName_; }
    const TLYAttributeDictionary& predefinedAttributes() const { return predefinedAttributes_; }
    const TLYAttributeDictionary& customAttributes() const { return customAttributes_; }

  private:
    TLYPredefinedEvent(std::string name, const std::optional<TLYAttributes>& custom);
    void add(std::string_view key, const TLYText& text);
    void add(std::string_view key, const TLYNumberArgument& number);

    std::string predefinedEventName_;
    TLYAttributeDictionary predefinedAttributes_;
    TLYAttributeDictionary customAttributes_;
};

class TLYCustomEvent final : public TLYEvent {
  public:
    TLYCustomEvent(std::string customEventName, std::optional<TLYAttributes> customAttributes);

    std::string name() const override { return "custom"; }
    JsonObject dictionaryRepresentation() const override;
    std::string description() const override;
    // The limits apply afresh (and log afresh) on every call.
    TLYAttributeDictionary attributesDictionary() const;

    const std::string& customEventName() const { return customEventName_; }
    const std::optional<TLYAttributes>& customAttributes() const { return customAttributes_; }

  private:
    std::string customEventName_;
    std::optional<TLYAttributes> customAttributes_;
};

class TLYLifecycleEvent final : public TLYEvent {
  public:
    explicit TLYLifecycleEvent(std::string name);
    static std::shared_ptr<TLYLifecycleEvent> eventWithNotification(std::string_view notification);
    static std::shared_ptr<TLYLifecycleEvent> installEvent();
    static std::shared_ptr<TLYLifecycleEvent> appLaunchedEvent();
    static const std::map<std::string, std::string, std::less<>>& notificationNameMap();
    // "unknown-notification" for a name outside the map.
    static std::string nameFromNotification(std::string_view notification);

    std::string name() const override { return name_; }
    JsonObject dictionaryRepresentation() const override;
    bool triggersFlush() const override;

  private:
    std::string name_;
};

class TLYCrashEvent final : public TLYEvent {
  public:
    // 1 foreground, 2 background, anything else unknown.
    TLYCrashEvent(double crashTimestamp, std::uint64_t crashState);
    static std::string payloadStringForCrashState(std::uint64_t state);

    std::string name() const override { return "app_crashed"; }
    JsonObject dictionaryRepresentation() const override;
    double timestamp() const override { return crashTimestamp_; }
    double crashTimestamp() const { return crashTimestamp_; }
    std::uint64_t crashState() const { return crashState_; }

  private:
    double crashTimestamp_;
    std::uint64_t crashState_;
};

}  // namespace talvor::kit
