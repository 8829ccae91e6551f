#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The record files' JSON as their readers see it, read by the kit's one strict reader
// (kit/KitJson.h; RFC 8259: no comments, no trailing commas, no leading zeros, valid escapes
// and UTF-8, finite numbers). Integers keep their exact value: a non-negative one as unsigned
// 64 bits, a negative one as signed; others are doubles.
namespace talvor::crash {

struct JSONMember;

struct JSONValue {
    using Array = std::vector<JSONValue>;
    using Object = std::vector<JSONMember>;  // members in file order
    std::variant<std::nullptr_t, bool, std::uint64_t, std::int64_t, double, std::string, Array,
                 Object>
        value;

    bool isNull() const { return std::holds_alternative<std::nullptr_t>(value); }
    const std::string* string() const { return std::get_if<std::string>(&value); }
    const std::uint64_t* uint64() const { return std::get_if<std::uint64_t>(&value); }
    const std::int64_t* int64() const { return std::get_if<std::int64_t>(&value); }
    const bool* boolean() const { return std::get_if<bool>(&value); }
    const Array* array() const { return std::get_if<Array>(&value); }
    const Object* object() const { return std::get_if<Object>(&value); }
    // The member `key` of an object; nullptr when this is no object or lacks it.
    const JSONValue* find(std::string_view key) const;
};

struct JSONMember {
    std::string key;
    JSONValue value;
};

// The value `text` holds, whitespace around it allowed; nullopt for anything else.
std::optional<JSONValue> parseJSON(std::string_view text);

}  // namespace talvor::crash
