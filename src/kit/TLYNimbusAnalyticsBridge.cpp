#include "kit/TLYNimbusAnalyticsBridge.h"

#include <locale.h>
#include <wctype.h>
#include <clocale>
#include <cmath>
#include <cwctype>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "kit/TLYAttributeDictionary.h"
#include "kit/TLYEvent.h"
#include "kit/TLYLogger.h"

namespace talvor::kit {
namespace {

constexpr char kOrigin[] = "trl";
constexpr char kPrefix[] = "trellis_";
constexpr std::size_t kMaxNameLength = 40;

using KeyMapping = std::vector<std::pair<std::string_view, std::string_view>>;

const std::map<std::string_view, std::string_view, std::less<>>& eventNames() {
    static const std::map<std::string_view, std::string_view, std::less<>> table = {
        {"content_view", "select_content"},
        {"share", "share"},
        {"sign_up", "sign_up"},
        {"login", "login"},
        {"search", "search"},
        {"purchase", "ecommerce_purchase"},
        {"add_to_cart", "add_to_cart"},
        {"start_checkout", "begin_checkout"},
        {"level_start", "level_start"},
        {"level_end", "level_end"},
        {"invite", "invite"},
        {"rating", "rate_content"},
    };
    return table;
}

const std::map<std::string_view, KeyMapping, std::less<>>& keyMappings() {
    static const std::map<std::string_view, KeyMapping, std::less<>> table = {
        {"select_content",
         {{"content_type", "content_type"},
          {"content_id", "item_id"},
          {"content_name", "item_name"}}},
        {"share",
         {{"content_type", "content_type"},
          {"content_id", "item_id"},
          {"content_name", "item_name"},
          {"method", "method"}}},
        {"sign_up", {{"method", "method"}, {"success", "success"}}},
        {"login", {{"method", "method"}, {"success", "success"}}},
        {"search", {{"query", "search_term"}}},
        {"ecommerce_purchase",
         {{"currency", "currency"},
          {"item_price", "value"},
          {"success", "success"},
          {"item_type", "item_category"},
          {"item_id", "item_id"},
          {"item_name", "item_name"}}},
        {"add_to_cart",
         {{"item_type", "item_category"},
          {"item_id", "item_id"},
          {"item_name", "item_name"},
          {"item_price", "price"},
          {"currency", "currency"}}},
        {"begin_checkout",
         {{"currency", "currency"}, {"total_price", "value"}, {"item_count", "quantity"}}},
        {"rate_content",
         {{"rating", "rating"},
          {"content_type", "content_type"},
          {"content_id", "item_id"},
          {"content_name", "item_name"}}},
        {"level_start", {{"level_name", "level_name"}}},
        {"level_end", {{"level_name", "level_name"}, {"score", "score"}, {"success", "success"}}},
        {"invite", {{"method", "method"}}},
    };
    return table;
}

const std::set<std::string_view, std::less<>>& reservedNames() {
    static const std::set<std::string_view, std::less<>> names = {"app_clear_data",
                                                                  "app_exception",
                                                                  "app_remove",
                                                                  "app_upgrade",
                                                                  "app_install",
                                                                  "app_update",
                                                                  "nimbus_campaign",
                                                                  "error",
                                                                  "first_open",
                                                                  "first_visit",
                                                                  "in_app_purchase",
                                                                  "notification_dismiss",
                                                                  "notification_foreground",
                                                                  "notification_open",
                                                                  "notification_receive",
                                                                  "os_update",
                                                                  "session_start",
                                                                  "user_engagement",
                                                                  "ad_exposure",
                                                                  "adunit_exposure",
                                                                  "ad_query",
                                                                  "ad_activeview",
                                                                  "ad_impression",
                                                                  "ad_click",
                                                                  "screen_view",
                                                                  "nimbus_extra_parameter"};
    return names;
}

std::mutex& libraryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<TLYHostAnalytics>& librarySlot() {
    static std::shared_ptr<TLYHostAnalytics> library;
    return library;
}

// Unicode classes by the C library's UTF-8 locale, whatever the program's own locale is.
locale_t utf8Locale() {
    static const locale_t locale = [] {
        locale_t made = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        return made != static_cast<locale_t>(nullptr)
                   ? made
                   : newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    }();
    return locale;
}

// The code point at `i` (advancing `i`); a byte that is not UTF-8 is taken as itself.
char32_t decode(std::string_view text, std::size_t& i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    int length = byte < 0x80           ? 1
                 : (byte >> 5) == 0x6  ? 2
                 : (byte >> 4) == 0xE  ? 3
                 : (byte >> 3) == 0x1E ? 4
                                       : 0;
    if (length == 0 || i + static_cast<std::size_t>(length) > text.size()) {
        ++i;
        return byte;
    }
    char32_t point = length == 1 ? byte : byte & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    i += static_cast<std::size_t>(length);
    return point;
}

bool isAlnum(char32_t point) {
    return ::iswalnum_l(static_cast<wint_t>(point), utf8Locale()) != 0;
}

bool isLetter(char32_t point) {
    return ::iswalpha_l(static_cast<wint_t>(point), utf8Locale()) != 0;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string cut(std::string name) {
    if (utf16::length(name) > kMaxNameLength) {
        return std::string(utf16::prefix(name, kMaxNameLength));
    }
    return name;
}

std::optional<double> priceValue(const JsonValue& value) {
    if (const auto number = value.numberAsDouble()) {
        return *number * 1e-6;
    }
    if (const auto* text = value.string()) {
        char* end = nullptr;
        const double parsed = std::strtod(text->c_str(), &end);
        if (end != text->c_str()) {
            return parsed * 1e-6;
        }
    }
    return std::nullopt;
}

JsonObject customParameters(const TLYAttributes& attributes) {
    JsonObject parameters;
    for (const auto& [key, value] : attributes) {
        if (const auto* name = key.string()) {
            parameters.set(TLYNimbusAnalyticsBridge::sanitizeAttributeName(*name), value);
        }
    }
    return parameters;
}

}  // namespace

TLYNimbusAnalyticsBridge::TLYNimbusAnalyticsBridge() {
    std::lock_guard lock(libraryMutex());
    nimbusAnalytics_ = librarySlot();
}

TLYNimbusAnalyticsBridge::TLYNimbusAnalyticsBridge(std::shared_ptr<TLYHostAnalytics> library)
    : nimbusAnalytics_(std::move(library)) {}

void TLYNimbusAnalyticsBridge::registerNimbusAnalytics(std::shared_ptr<TLYHostAnalytics> library) {
    std::lock_guard lock(libraryMutex());
    librarySlot() = std::move(library);
}

std::shared_ptr<TLYHostAnalytics> TLYNimbusAnalyticsBridge::registeredNimbusAnalytics() {
    std::lock_guard lock(libraryMutex());
    return librarySlot();
}

void TLYNimbusAnalyticsBridge::logEvent(const TLYEvent& event) {
    if (!nimbusAnalytics_) {
        return;
    }
    if (const auto* custom = dynamic_cast<const TLYCustomEvent*>(&event)) {
        logCustomEvent(*custom);
    } else if (const auto* predefined = dynamic_cast<const TLYPredefinedEvent*>(&event)) {
        logPredefinedEvent(*predefined);
    }
}

void TLYNimbusAnalyticsBridge::logCustomEvent(const TLYCustomEvent& event) {
    const std::string name = sanitizeEventName(event.customEventName());
    const JsonObject parameters =
        customParameters(event.customAttributes().value_or(TLYAttributes{}));
    TLYLogger::sharedLogger().log("Logging custom event to Nimbus. <" + name + "\n" +
                                  json::serialize(JsonValue(parameters)).value_or("{}") + ">");
    nimbusAnalytics_->logInternalEventWithOrigin(kOrigin, name, parameters);
}

void TLYNimbusAnalyticsBridge::logPredefinedEvent(const TLYPredefinedEvent& event) {
    const JsonObject& attributes = event.predefinedAttributes().dictionaryRepresentation();
    const auto name = nimbusEventNameForTallyEventName(event.predefinedEventName(), attributes);
    if (!name) {
        return;
    }
    const JsonObject predefined = predefinedParametersFromPredefinedAttributes(attributes, *name);
    JsonObject custom;
    for (const auto& [key, value] : event.customAttributes().dictionaryRepresentation().entries()) {
        custom.set(sanitizeAttributeName(key), value);
    }
    const JsonObject parameters = combinedParametersFromPredefinedParameters(predefined, custom);
    TLYLogger::sharedLogger().log("Logging predefined event to Nimbus. <" + *name + "\n" +
                                  json::serialize(JsonValue(parameters)).value_or("{}") + ">");
    nimbusAnalytics_->logInternalEventWithOrigin(kOrigin, *name, parameters);
    if (*name == "level_end") {
        nimbusAnalytics_->logInternalEventWithOrigin(kOrigin, "post_score", parameters);
    }
}

bool TLYNimbusAnalyticsBridge::isFailableEvent(std::string_view nimbusName) {
    return nimbusName == "ecommerce_purchase" || nimbusName == "login" || nimbusName == "sign_up";
}

std::optional<std::string> TLYNimbusAnalyticsBridge::nimbusEventNameForTallyEventName(
    std::string_view name, const JsonObject& predefinedAttributes) {
    const auto it = eventNames().find(name);
    if (it == eventNames().end()) {
        return std::nullopt;
    }
    std::string nimbusName(it->second);
    if (isFailableEvent(nimbusName)) {
        const JsonValue* success = predefinedAttributes.find("success");
        const bool failed =
            success != nullptr && ((success->string() && *success->string() == "false") ||
                                   (success->boolean() && !*success->boolean()));
        if (failed) {
            return "failed_" + nimbusName;
        }
    }
    return nimbusName;
}

JsonObject TLYNimbusAnalyticsBridge::predefinedParametersFromPredefinedAttributes(
    const JsonObject& attributes, std::string_view nimbusName) {
    JsonObject parameters;
    const auto mapping = keyMappings().find(nimbusName);
    if (mapping == keyMappings().end()) {
        return parameters;
    }
    for (const auto& [attribute, parameter] : mapping->second) {
        const JsonValue* value = attributes.find(attribute);
        if (value == nullptr) {
            continue;
        }
        if (attribute == "item_price" || attribute == "total_price") {
            if (const auto price = priceValue(*value)) {
                parameters.set(std::string(parameter), JsonValue(*price));
            }
        } else if (attribute == "success") {
            const bool yes = (value->string() && *value->string() == "true") ||
                             (value->boolean() && *value->boolean());
            parameters.set(std::string(parameter), JsonValue(yes ? 1 : 0));
        } else {
            parameters.set(std::string(parameter), *value);
        }
    }
    if (nimbusName == "add_to_cart") {
        parameters.set("quantity", JsonValue(1));
        if (const JsonValue* price = parameters.find("price")) {
            parameters.set("value", JsonValue(*price));
        }
    } else if (isFailableEvent(nimbusName)) {
        parameters.remove("success");
    }
    return parameters;
}

JsonObject TLYNimbusAnalyticsBridge::customParametersFromCustomAttributes(
    const JsonObject& attributes) {
    JsonObject parameters;
    for (const auto& [key, value] : attributes.entries()) {
        parameters.set(sanitizeAttributeName(key), value);
    }
    return parameters;
}

JsonObject TLYNimbusAnalyticsBridge::combinedParametersFromPredefinedParameters(
    const JsonObject& predefined, const JsonObject& custom) {
    JsonObject combined = predefined;
    for (const auto& [key, value] : custom.entries()) {
        if (combined.find(key) == nullptr) {
            combined.set(key, value);
        }
    }
    return combined;
}

std::string TLYNimbusAnalyticsBridge::sanitizeKeyName(std::string_view name) {
    std::string result;
    bool inRun = false;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t start = i;
        const char32_t point = decode(name, i);
        if (point == U'_' || isAlnum(point)) {
            result.append(name.substr(start, i - start));
            inRun = false;
        } else if (!inRun) {
            result.push_back('_');
            inRun = true;
        }
    }
    std::size_t first = 0;
    if (result.empty() || !isLetter(decode(result, first))) {
        result.insert(0, kPrefix);
    }
    if (startsWith(result, "nimbus_") || startsWith(result, "cloud_") ||
        startsWith(result, "na_")) {
        result.insert(0, kPrefix);
    }
    if (reservedNames().count(result) > 0) {
        result.insert(0, kPrefix);
    }
    return result;
}

std::string TLYNimbusAnalyticsBridge::sanitizeEventName(std::string_view name) {
    if (name.empty()) {
        return "trellis_unnamed_event";
    }
    return cut(sanitizeKeyName(name));
}

std::string TLYNimbusAnalyticsBridge::sanitizeAttributeName(std::string_view name) {
    if (name.empty()) {
        return "trellis_unnamed_parameter";
    }
    return cut(sanitizeKeyName(name));
}

}  // namespace talvor::kit
