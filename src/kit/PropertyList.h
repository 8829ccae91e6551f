#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// Property-list values without Qt: what the kit keeps in its own files and reads from the
// application's Info.plist. XML is read and written through libplist; binary lists are read
// by BinaryPropertyList.
namespace talvor::kit {

class PlistValue;
using PlistArray = std::vector<PlistValue>;
using PlistDictionary = std::map<std::string, PlistValue>;
using PlistData = std::vector<std::uint8_t>;

// An instant as seconds since 2001-01-01 UTC, as property lists store it (XML files keep
// whole seconds).
struct PlistDate {
    double sinceReferenceDate = 0;
    bool operator==(const PlistDate&) const = default;
};

class PlistValue {
  public:
    using Storage = std::variant<bool, std::int64_t, double, std::string, PlistData, PlistDate,
                                 PlistArray, PlistDictionary>;

    PlistValue() : value_(std::string()) {}
    PlistValue(bool value) : value_(value) {}
    PlistValue(int value) : value_(std::int64_t{value}) {}
    PlistValue(std::int64_t value) : value_(value) {}
    PlistValue(double value) : value_(value) {}
    PlistValue(std::string value) : value_(std::move(value)) {}
    PlistValue(const char* value) : value_(std::string(value)) {}
    PlistValue(PlistData value) : value_(std::move(value)) {}
    PlistValue(PlistDate value) : value_(value) {}
    PlistValue(PlistArray value) : value_(std::move(value)) {}
    PlistValue(PlistDictionary value) : value_(std::move(value)) {}

    template <class T>
    const T* get() const {
        return std::get_if<T>(&value_);
    }
    const std::string* string() const { return get<std::string>(); }
    const PlistDictionary* dictionary() const { return get<PlistDictionary>(); }
    const PlistArray* array() const { return get<PlistArray>(); }
    // A boolean or a number (integer or real).
    bool isNumber() const;
    // The value's truth as the platform's `boolValue` reads it: a boolean; a number that is
    // not zero; a text whose first significant character is Y, y, T, t or a digit 1-9 (after
    // spaces, an optional sign and leading zeros). nullopt for the other kinds.
    std::optional<bool> boolValue() const;

    const Storage& storage() const { return value_; }
    bool operator==(const PlistValue& other) const { return value_ == other.value_; }

  private:
    Storage value_;
};

// The value under `key` of a dictionary, or nullptr.
const PlistValue* find(const PlistDictionary& dictionary, const std::string& key);

namespace PropertyList {

// The value of XML or binary property-list bytes; nullopt when they do not parse (or nest
// containers more than a few hundred deep, or hold a UID).
std::optional<PlistValue> parse(std::string_view bytes);
// The same for XML only: files the kit writes itself, where binary bytes mean damage.
std::optional<PlistValue> parseXml(std::string_view bytes);
// The value as an XML property list; nullopt when libplist cannot encode it.
std::optional<std::string> toXml(const PlistValue& value);

// Writes `bytes` to `path` so that a reader sees the old file or the new one, never a part:
// a temporary file in the same folder, flushed to disk, then renamed over `path`. On
// failure `path` is untouched and `error` (when given) says why.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         std::string* error = nullptr);

}  // namespace PropertyList

}  // namespace talvor::kit
