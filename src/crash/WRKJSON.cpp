#include "crash/WRKJSON.h"

#include "kit/KitJson.h"

#include <limits>

namespace talvor::crash {
namespace {

// As deep as the records were ever read; their lines have no length limit of their own (the
// file is in memory already).
constexpr std::size_t kMaximumDepth = 257;

// The record's view of a value the kit's reader made: integers split by sign, as the
// records' readers expect them (addresses are unsigned).
JSONValue recordValue(const kit::JsonValue& value) {
    using Kind = kit::JsonValue::Kind;
    switch (value.kind()) {
        case Kind::Null:
            return JSONValue{nullptr};
        case Kind::Bool:
            return JSONValue{*value.boolean()};
        case Kind::Integer: {
            const std::int64_t i = *value.integer();
            return i >= 0 ? JSONValue{static_cast<std::uint64_t>(i)} : JSONValue{i};
        }
        case Kind::Unsigned:
            return JSONValue{*value.unsignedInteger()};
        case Kind::Double:
            return JSONValue{*value.real()};
        case Kind::Decimal:  // the reader makes none
            return JSONValue{value.numberAsDouble().value_or(0.0)};
        case Kind::String:
            return JSONValue{*value.string()};
        case Kind::Array: {
            JSONValue::Array out;
            out.reserve(value.array()->size());
            for (const kit::JsonValue& element : *value.array()) {
                out.push_back(recordValue(element));
            }
            return JSONValue{std::move(out)};
        }
        case Kind::Object: {
            JSONValue::Object out;
            out.reserve(value.object()->size());
            for (const auto& [key, element] : value.object()->entries()) {
                out.push_back(JSONMember{key, recordValue(element)});
            }
            return JSONValue{std::move(out)};
        }
    }
    return JSONValue{nullptr};
}

}  // namespace

const JSONValue* JSONValue::find(std::string_view key) const {
    if (const Object* members = object()) {
        for (const JSONMember& member : *members) {
            if (member.key == key) {
                return &member.value;
            }
        }
    }
    return nullptr;
}

std::optional<JSONValue> parseJSON(std::string_view text) {
    const std::optional<kit::JsonValue> value =
        kit::json::parse(text, kMaximumDepth, std::numeric_limits<std::size_t>::max());
    if (!value) {
        return std::nullopt;
    }
    return recordValue(*value);
}

}  // namespace talvor::crash
