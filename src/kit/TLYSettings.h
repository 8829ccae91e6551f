#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "kit/KitJson.h"

// The analytics kit's read-only view of the kit settings document: each value looked up
// afresh (section, then entry), with its default when the document does not hold it. A
// section that is not an object counts as absent.
namespace talvor::kit {

class TLYSettings {
  public:
    TLYSettings() = default;
    explicit TLYSettings(std::optional<JsonValue> settingsDictionary);

    // A document is held (it may still lack every analytics entry).
    bool valid() const { return settingsDictionary_.has_value(); }
    const std::optional<JsonValue>& settingsDictionary() const { return settingsDictionary_; }

    // "analytics"/"url" when it is an https URL with a host; no default endpoint otherwise
    // (the kit has none of its own: events then stay on disk).
    std::optional<std::string> tallyURL() const;
    bool shouldCollectAnalytics() const;
    bool shouldForwardToNimbusAnalytics() const;
    bool shouldIncludePurchaseEventsInForwardedNimbusEvents() const;
    std::int64_t maximumPayloadSize() const;
    std::int64_t maxPendingSendFiles() const;
    double flushInterval() const;
    std::int64_t samplingRate() const;
    double defaultUploadTimeout() const;
    double lowPowerUploadTimeout() const;

  private:
    const JsonValue* entry(const char* section, const char* key) const;
    bool boolean(const char* section, const char* key, bool fallback) const;
    std::int64_t integer(const char* section, const char* key, std::int64_t fallback) const;
    double real(const char* section, const char* key, double fallback) const;

    std::optional<JsonValue> settingsDictionary_;
};

}  // namespace talvor::kit
