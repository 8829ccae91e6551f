#include "kit/TLYAttributeDictionary.h"

#include <cmath>

#include "kit/KitLog.h"

namespace talvor::kit {

namespace utf16 {

namespace {

// Bytes and UTF-16 units of the character at `i`.
std::pair<std::size_t, std::size_t> step(std::string_view text, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    std::size_t bytes = 1;
    if ((b0 & 0xE0) == 0xC0) {
        bytes = 2;
    } else if ((b0 & 0xF0) == 0xE0) {
        bytes = 3;
    } else if ((b0 & 0xF8) == 0xF0) {
        bytes = 4;
    }
    if (bytes > 1) {
        if (i + bytes > text.size()) {
            return {1, 1};
        }
        for (std::size_t k = 1; k < bytes; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return {1, 1};
            }
        }
    }
    return {bytes, bytes == 4 ? 2 : 1};
}

}  // namespace

std::size_t length(std::string_view text) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto [bytes, n] = step(text, i);
        i += bytes;
        units += n;
    }
    return units;
}

std::string_view prefix(std::string_view text, std::size_t units) {
    std::size_t used = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto [bytes, n] = step(text, i);
        if (used + n > units) {
            break;
        }
        used += n;
        i += bytes;
    }
    return text.substr(0, i);
}

}  // namespace utf16

namespace {

std::string entryText(const JsonValue& key, const JsonValue& value) {
    return json::describe(key) + ":" + json::describe(value);
}

}  // namespace

TLYAttributeDictionary::TLYAttributeDictionary(const std::optional<TLYAttributes>& attributes) {
    if (!attributes) {
        return;
    }
    for (const auto& [key, value] : *attributes) {
        addAttribute(value, key);
    }
}

void TLYAttributeDictionary::addAttribute(const JsonValue& value, const JsonValue& key) {
    if (value.isNull() || key.isNull()) {
        return;
    }
    if (rawDictionary_.size() >= kMaximumEntries) {
        log("[Tally] Maximum number of Event attributes exceeded. Ignoring entry " +
            entryText(key, value));
        return;
    }
    if (!key.string()) {
        log("[Tally] Event attribute keys must be of type NSString. Ignoring entry " +
            entryText(key, value));
        return;
    }
    if (!value.string() && !value.isNumber()) {
        log("[Tally] Event attribute values must be of type NSString or NSNumber. Ignoring entry " +
            entryText(key, value));
        return;
    }
    // The value first, then the key: their length messages come in that order. Infinity is
    // refused like not-a-number: JSON cannot carry it, and an event that cannot be written
    // as JSON would be lost whole.
    std::optional<JsonValue> stored;
    if (const std::string* text = value.string()) {
        stored = JsonValue(truncateString(*text));
    } else if (!(value.real() && !std::isfinite(*value.real()))) {
        stored = value;
    }
    std::string storedKey = truncateString(*key.string());
    if (!stored) {
        rawDictionary_.remove(storedKey);
        return;
    }
    rawDictionary_.set(std::move(storedKey), std::move(*stored));
}

void TLYAttributeDictionary::addBooleanAttribute(std::optional<bool> value, std::string_view key) {
    const auto text = serializeSuccess(value);
    const std::string storedKey = truncateString(key);
    if (text) {
        addAttribute(JsonValue(*text), JsonValue(storedKey));
    }
}

void TLYAttributeDictionary::addPriceAttribute(const std::optional<TLYDecimal>& price,
                                               std::string_view key) {
    const auto micros = serializePriceToMicros(price);
    const std::string storedKey = truncateString(key);
    if (micros) {
        addAttribute(JsonValue(*micros), JsonValue(storedKey));
    }
}

std::string TLYAttributeDictionary::truncateString(std::string_view text) {
    if (utf16::length(text) <= kMaximumLength) {
        return std::string(text);
    }
    log("[Tally] Maximum length for an Event attributes exceeded. Truncating to " +
        std::to_string(kMaximumLength) + " characters.");
    return std::string(utf16::prefix(text, kMaximumLength));
}

std::optional<std::string> TLYAttributeDictionary::serializeSuccess(std::optional<bool> value) {
    if (!value) {
        return std::nullopt;
    }
    return *value ? "true" : "false";
}

TLYDecimal TLYAttributeDictionary::maximumPrice() {
    return *TLYDecimal::maximum().multiplyingByPowerOf10(-6);
}

std::optional<TLYDecimal> TLYAttributeDictionary::serializePriceToMicros(
    const std::optional<TLYDecimal>& price) {
    if (!price) {
        return std::nullopt;
    }
    if (*price > maximumPrice()) {
        log("[Tally] Maximum value for a price attribute exceeded. Ignoring price attribute with "
            "value: " +
            price->description());
        return std::nullopt;
    }
    return price->multiplyingByPowerOf10(6);
}

std::string TLYAttributeDictionary::description() const {
    return json::serialize(JsonValue(rawDictionary_)).value_or("{}");
}

}  // namespace talvor::kit
