// The one JSON reader (the kit's, which the crash records use too) on arbitrary bytes: it
// never crashes, refuses what is deeper or longer than its limits, and whatever it accepts is
// written back and read again as the same value.
#include "kit/KitJson.h"

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string_view>

namespace json = talvor::kit::json;
using talvor::kit::JsonValue;

namespace {

// Numbers are compared by value: 1.0 is written "1", and reads back as an integer.
bool same(const JsonValue& a, const JsonValue& b) {
    if (a.isNumber() && a.kind() != JsonValue::Kind::Bool) {
        if (a.kind() == b.kind()) {
            return a == b;
        }
        return b.isNumber() && b.kind() != JsonValue::Kind::Bool &&
               a.numberAsDouble() == b.numberAsDouble();
    }
    if (a.kind() != b.kind()) {
        return false;
    }
    if (const auto* array = a.array()) {
        const auto& other = *b.array();
        if (array->size() != other.size()) {
            return false;
        }
        for (std::size_t i = 0; i < array->size(); ++i) {
            if (!same((*array)[i], other[i])) {
                return false;
            }
        }
        return true;
    }
    if (const auto* object = a.object()) {
        const auto& mine = object->entries();
        const auto& theirs = b.object()->entries();
        if (mine.size() != theirs.size()) {
            return false;
        }
        for (std::size_t i = 0; i < mine.size(); ++i) {
            if (mine[i].first != theirs[i].first || !same(mine[i].second, theirs[i].second)) {
                return false;
            }
        }
        return true;
    }
    return a == b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    constexpr std::size_t kDepth = 16;
    const auto value = json::parse(text, kDepth, std::numeric_limits<std::size_t>::max());
    // Shorter limits refuse, never accept something else.
    if (const auto shallow = json::parse(text, 2, std::numeric_limits<std::size_t>::max());
        shallow && !(value && same(*shallow, *value))) {
        std::abort();
    }
    if (size > 0 && json::parse(text, kDepth, size - 1)) {
        std::abort();
    }
    if (!value) {
        return 0;
    }
    const auto written = json::serialize(*value);
    if (!written) {
        std::abort();  // the reader makes only what can be written
    }
    const auto back = json::parse(*written, kDepth, std::numeric_limits<std::size_t>::max());
    if (!back || !same(*back, *value)) {
        std::abort();
    }
    return 0;
}
