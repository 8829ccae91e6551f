#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kit/KitJson.h"
#include "kit/TLYDecimal.h"

// The attributes of one analytics event, with the kit's limits enforced in one place: at
// most 21 entries, texts and keys of at most 100 UTF-16 units, booleans as "true"/"false",
// prices in exact micros. A refused entry is dropped with a line in the log; the event that
// owns the dictionary is still recorded.
namespace talvor::kit {

// A caller's attributes in their order; a key that is not a text, or a value that is neither
// a text nor a number, is refused entry by entry. A null key or value is skipped.
using TLYAttributes = std::vector<std::pair<JsonValue, JsonValue>>;

class TLYAttributeDictionary {
  public:
    static constexpr std::size_t kMaximumEntries = 21;
    static constexpr std::size_t kMaximumLength = 100;

    TLYAttributeDictionary() = default;
    // Every entry through addAttribute, in order (none: an empty dictionary).
    explicit TLYAttributeDictionary(const std::optional<TLYAttributes>& attributes);

    void addAttribute(const JsonValue& value, const JsonValue& key);
    // Nothing is added for no value.
    void addBooleanAttribute(std::optional<bool> value, std::string_view key);
    void addPriceAttribute(const std::optional<TLYDecimal>& price, std::string_view key);

    // The first 100 UTF-16 units of `text` (logs when it was longer), never splitting a
    // surrogate pair: a character that would straddle the limit is left out whole.
    static std::string truncateString(std::string_view text);
    static std::optional<std::string> serializeSuccess(std::optional<bool> value);
    // The price x 1,000,000; nullopt (and a log line) above the largest price.
    static std::optional<TLYDecimal> serializePriceToMicros(const std::optional<TLYDecimal>& price);
    // (2^128 - 1) x 10^121: the largest decimal divided by a million.
    static TLYDecimal maximumPrice();

    const JsonObject& dictionaryRepresentation() const { return rawDictionary_; }
    std::string description() const;

  private:
    JsonObject rawDictionary_;
};

namespace utf16 {
// UTF-16 units of UTF-8 `text` (a byte that is not UTF-8 counts as one unit).
std::size_t length(std::string_view text);
// The longest prefix of whole characters within `units` UTF-16 units.
std::string_view prefix(std::string_view text, std::size_t units);
}  // namespace utf16

}  // namespace talvor::kit
