#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Whether an event is left out of the sample: only lifecycle and crash events are sampled,
// by a hash of the installation identifier, so an installation is always in or always out
// for a given factor. Beta testers are never sampled.
namespace talvor::kit {

class TLYEvent;

class TLYEventFilter {
  public:
    bool shouldDiscardEvent(const TLYEvent* event, const std::optional<std::string>& betaToken,
                            const std::optional<std::string>& installationID,
                            std::int64_t factor) const;
    static bool samplingEnabledForEventType(std::string_view name);
    static bool shouldDiscardEventWithInstallationID(const std::optional<std::string>& identifier,
                                                     std::int64_t factor);
    // The Java platform's string hash over the UTF-16 units of UTF-8 `text`.
    static std::int32_t javaHashCodeForString(std::string_view text);
};

}  // namespace talvor::kit
