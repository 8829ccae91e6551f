#include "kit/TLYSettings.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace talvor::kit {

namespace {

// A text read by its leading number, as the platform reads one ("12abc" is 12, "abc" 0).
double numberFromText(const std::string& text) {
    const char* start = text.c_str();
    while (*start == ' ' || *start == '\t' || *start == '\n') {
        ++start;
    }
    const double value = std::strtod(start, nullptr);
    return std::isfinite(value) ? value : 0.0;
}

std::optional<double> numberOf(const JsonValue& value) {
    if (const std::string* text = value.string()) {
        return numberFromText(*text);
    }
    return value.numberAsDouble();
}

std::int64_t clampToInteger(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 9.2e18) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (value <= -9.2e18) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return std::int64_t(value);
}

}  // namespace

TLYSettings::TLYSettings(std::optional<JsonValue> settingsDictionary)
    : settingsDictionary_(std::move(settingsDictionary)) {}

const JsonValue* TLYSettings::entry(const char* section, const char* key) const {
    if (!settingsDictionary_ || !settingsDictionary_->object()) {
        return nullptr;
    }
    const JsonValue* part = settingsDictionary_->object()->find(section);
    if (!part || !part->object()) {
        return nullptr;
    }
    const JsonValue* value = part->object()->find(key);
    return value && !value->isNull() ? value : nullptr;
}

bool TLYSettings::boolean(const char* section, const char* key, bool fallback) const {
    const JsonValue* value = entry(section, key);
    if (!value) {
        return fallback;
    }
    if (const std::string* text = value->string()) {
        // The platform's rule: the first significant character is Y, y, T, t or 1-9.
        for (const char c : *text) {
            if (c == ' ' || c == '\t' || c == '+' || c == '-' || c == '0') {
                continue;
            }
            return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
        }
        return false;
    }
    const auto number = value->numberAsDouble();
    return number ? *number != 0.0 : fallback;
}

std::int64_t TLYSettings::integer(const char* section, const char* key,
                                  std::int64_t fallback) const {
    const JsonValue* value = entry(section, key);
    if (!value) {
        return fallback;
    }
    if (const auto* i = value->integer()) {
        return *i;
    }
    const auto number = numberOf(*value);
    return number ? clampToInteger(*number) : fallback;
}

double TLYSettings::real(const char* section, const char* key, double fallback) const {
    const JsonValue* value = entry(section, key);
    if (!value) {
        return fallback;
    }
    return numberOf(*value).value_or(fallback);
}

std::optional<std::string> TLYSettings::tallyURL() const {
    const JsonValue* value = entry("analytics", "url");
    if (!value || !value->string()) {
        return std::nullopt;
    }
    // Events and the API key travel only over TLS: another scheme is no endpoint.
    const std::string& url = *value->string();
    constexpr std::string_view scheme = "https://";
    if (url.size() <= scheme.size() || url.compare(0, scheme.size(), scheme) != 0 ||
        url[scheme.size()] == '/' || url.find_first_of(" \t\r\n") != std::string::npos) {
        return std::nullopt;
    }
    return url;
}

bool TLYSettings::shouldCollectAnalytics() const {
    return boolean("features", "collect_analytics", true);
}

bool TLYSettings::shouldForwardToNimbusAnalytics() const {
    return boolean("analytics", "forward_to_google_analytics", false);
}

bool TLYSettings::shouldIncludePurchaseEventsInForwardedNimbusEvents() const {
    return boolean("analytics", "include_purchase_events_in_forwarded_events", false);
}

std::int64_t TLYSettings::maximumPayloadSize() const {
    return integer("analytics", "max_byte_size_per_file", 8000);
}

std::int64_t TLYSettings::maxPendingSendFiles() const {
    return integer("analytics", "max_pending_send_file_count", 100);
}

double TLYSettings::flushInterval() const {
    return real("analytics", "flush_interval_secs", 0);
}

std::int64_t TLYSettings::samplingRate() const {
    return integer("analytics", "sampling_rate", 1);
}

double TLYSettings::defaultUploadTimeout() const {
    return real("analytics", "upload_timeout_secs", 21600);
}

double TLYSettings::lowPowerUploadTimeout() const {
    return real("analytics", "low_power_upload_timeout_secs", 3600);
}

}  // namespace talvor::kit
