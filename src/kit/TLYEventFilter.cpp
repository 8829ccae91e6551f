#include "kit/TLYEventFilter.h"

#include <array>

#include "kit/TLYEvent.h"

namespace talvor::kit {

bool TLYEventFilter::samplingEnabledForEventType(std::string_view name) {
    static constexpr std::array<std::string_view, 8> kSampled = {
        "app_launched",        "app_terminated",         "app_crashed",
        "app_memory_warning",  "app_entered_background", "app_entered_foreground",
        "app_became_inactive", "app_became_active"};
    for (const auto sampled : kSampled) {
        if (sampled == name) {
            return true;
        }
    }
    return false;
}

bool TLYEventFilter::shouldDiscardEvent(const TLYEvent* event,
                                        const std::optional<std::string>& betaToken,
                                        const std::optional<std::string>& installationID,
                                        std::int64_t factor) const {
    if (!event) {
        return true;
    }
    if (betaToken) {
        return false;
    }
    if (!samplingEnabledForEventType(event->name())) {
        return false;
    }
    return shouldDiscardEventWithInstallationID(installationID, factor);
}

bool TLYEventFilter::shouldDiscardEventWithInstallationID(
    const std::optional<std::string>& identifier, std::int64_t factor) {
    if (!identifier || factor < 2) {
        return false;
    }
    const std::int64_t hash = javaHashCodeForString(*identifier);
    return hash % factor != 0;
}

std::int32_t TLYEventFilter::javaHashCodeForString(std::string_view text) {
    std::uint32_t h = 0;
    const auto add = [&h](std::uint32_t unit) { h = 31u * h + unit; };
    for (std::size_t i = 0; i < text.size();) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        std::size_t bytes = 1;
        std::uint32_t cp = b0;
        if ((b0 & 0xE0) == 0xC0) {
            bytes = 2;
            cp = b0 & 0x1F;
        } else if ((b0 & 0xF0) == 0xE0) {
            bytes = 3;
            cp = b0 & 0x0F;
        } else if ((b0 & 0xF8) == 0xF0) {
            bytes = 4;
            cp = b0 & 0x07;
        } else if (b0 >= 0x80) {
            cp = 0xFFFD;  // not UTF-8: read as the replacement character, as a decoder would
        }
        bool whole = i + bytes <= text.size();
        for (std::size_t k = 1; whole && k < bytes; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            whole = (b & 0xC0) == 0x80;
            cp = (cp << 6) | (b & 0x3F);
        }
        if (!whole) {
            bytes = 1;
            cp = 0xFFFD;
        }
        i += bytes;
        if (cp >= 0x10000) {
            add(0xD800 + ((cp - 0x10000) >> 10));
            add(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            add(cp);
        }
    }
    return static_cast<std::int32_t>(h);
}

}  // namespace talvor::kit
