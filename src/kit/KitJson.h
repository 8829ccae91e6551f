#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "kit/TLYDecimal.h"

// The kit's JSON value: what the analytics files and settings hold. Objects keep the order
// their entries were set in, so a document is written as it was built. Exact decimals are
// written digit for digit (a price in micros never passes through a double).
namespace talvor::kit {

class JsonValue;
using JsonArray = std::vector<JsonValue>;

class JsonObject {
  public:
    using Entry = std::pair<std::string, JsonValue>;

    const JsonValue* find(std::string_view key) const;
    // Replaces the value of an existing key in place, else appends.
    void set(std::string key, JsonValue value);
    bool remove(std::string_view key);
    std::size_t size() const;
    bool empty() const;
    const std::vector<Entry>& entries() const { return entries_; }
    bool operator==(const JsonObject& other) const;

  private:
    std::vector<Entry> entries_;
};

class JsonValue {
  public:
    // Unsigned: an integer above the signed range (a crash record's address), kept exact.
    enum class Kind { Null, Bool, Integer, Double, Decimal, String, Array, Object, Unsigned };

    JsonValue() = default;
    JsonValue(std::nullptr_t) {}
    JsonValue(bool value) : value_(value) {}
    JsonValue(int value) : value_(std::int64_t(value)) {}
    JsonValue(std::int64_t value) : value_(value) {}
    JsonValue(std::uint32_t value) : value_(std::int64_t(value)) {}
    JsonValue(double value) : value_(value) {}
    JsonValue(TLYDecimal value) : value_(value) {}
    JsonValue(std::string value) : value_(std::move(value)) {}
    JsonValue(const char* value) : value_(std::string(value)) {}
    JsonValue(JsonArray value) : value_(std::make_shared<JsonArray>(std::move(value))) {}
    JsonValue(JsonObject value) : value_(std::make_shared<JsonObject>(std::move(value))) {}
    // An integer of any size: Integer where it fits, else Unsigned.
    static JsonValue fromUnsigned(std::uint64_t value);

    Kind kind() const { return Kind(value_.index()); }
    bool isNull() const { return kind() == Kind::Null; }
    bool isNumber() const {
        return kind() == Kind::Bool || kind() == Kind::Integer || kind() == Kind::Double ||
               kind() == Kind::Decimal || kind() == Kind::Unsigned;
    }
    const bool* boolean() const { return std::get_if<bool>(&value_); }
    const std::int64_t* integer() const { return std::get_if<std::int64_t>(&value_); }
    const std::uint64_t* unsignedInteger() const { return std::get_if<std::uint64_t>(&value_); }
    const double* real() const { return std::get_if<double>(&value_); }
    const TLYDecimal* decimal() const { return std::get_if<TLYDecimal>(&value_); }
    const std::string* string() const { return std::get_if<std::string>(&value_); }
    const JsonArray* array() const;
    const JsonObject* object() const;

    // The value of a number (booleans as 1 and 0); nullopt for anything else.
    std::optional<double> numberAsDouble() const;

    bool operator==(const JsonValue& other) const;

  private:
    std::variant<std::monostate, bool, std::int64_t, double, TLYDecimal, std::string,
                 std::shared_ptr<const JsonArray>, std::shared_ptr<const JsonObject>, std::uint64_t>
        value_;
};

// Defined once `JsonValue` is complete: clang needs the entry type whole to look at its size.
inline std::size_t JsonObject::size() const {
    return entries_.size();
}
inline bool JsonObject::empty() const {
    return entries_.empty();
}

namespace json {

// Compact text: no spaces or line breaks. Nullopt when the value holds a number JSON cannot
// write (not-a-number, infinity). Bytes that are not UTF-8 are written as U+FFFD.
std::optional<std::string> serialize(const JsonValue& value);
// A document of at most `maxBytes`, nested at most `maxDepth` deep; nullopt for anything else
// (trailing text, bad escapes, lone surrogates, numbers out of range). Integers keep their
// exact value up to 2^64 - 1; others are doubles.
std::optional<JsonValue> parse(std::string_view text, std::size_t maxDepth = 64,
                               std::size_t maxBytes = 1024 * 1024);
// A value for a log line: texts as they are, everything else as JSON.
std::string describe(const JsonValue& value);

}  // namespace json

}  // namespace talvor::kit
