#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kit/KitJson.h"

// Hands custom and predefined events on to a host analytics library, when the program has
// one, under that library's event and parameter names. Lifecycle and crash events are never
// handed on.
namespace talvor::kit {

class TLYEvent;
class TLYCustomEvent;
class TLYPredefinedEvent;

// The host library's one entry point the bridge uses; values are texts or numbers.
class TLYHostAnalytics {
  public:
    virtual ~TLYHostAnalytics() = default;
    virtual void logInternalEventWithOrigin(const std::string& origin, const std::string& name,
                                            const JsonObject& parameters) = 0;
};

class TLYNimbusAnalyticsBridge {
  public:
    // The library the program registered (none: the bridge does nothing).
    TLYNimbusAnalyticsBridge();
    explicit TLYNimbusAnalyticsBridge(std::shared_ptr<TLYHostAnalytics> nimbusAnalytics);
    // The program's host analytics library (nullptr: none).
    static void registerNimbusAnalytics(std::shared_ptr<TLYHostAnalytics> library);
    // The library registered now (nullptr: none). The crash kit hands it crash events.
    static std::shared_ptr<TLYHostAnalytics> registeredNimbusAnalytics();

    bool hasNimbusAnalytics() const { return nimbusAnalytics_ != nullptr; }
    void logEvent(const TLYEvent& event);

    static std::optional<std::string> nimbusEventNameForTallyEventName(
        std::string_view name, const JsonObject& predefinedAttributes);
    static bool isFailableEvent(std::string_view nimbusName);
    static JsonObject predefinedParametersFromPredefinedAttributes(const JsonObject& attributes,
                                                                   std::string_view nimbusName);
    static JsonObject customParametersFromCustomAttributes(const JsonObject& attributes);
    static JsonObject combinedParametersFromPredefinedParameters(const JsonObject& predefined,
                                                                 const JsonObject& custom);
    static std::string sanitizeEventName(std::string_view name);
    static std::string sanitizeAttributeName(std::string_view name);
    static std::string sanitizeKeyName(std::string_view name);

  private:
    void logCustomEvent(const TLYCustomEvent& event);
    void logPredefinedEvent(const TLYPredefinedEvent& event);

    std::shared_ptr<TLYHostAnalytics> nimbusAnalytics_;
};

}  // namespace talvor::kit
