#pragma once

#include <cstdint>
#include <optional>

namespace talvor {

// Calendar fields of a day and time (month 1 = the calendar's first month); an absent field
// is undefined.
struct DateComponents {
    std::optional<int32_t> era = std::nullopt;
    std::optional<int32_t> year = std::nullopt;
    std::optional<int32_t> month = std::nullopt;
    std::optional<int32_t> day = std::nullopt;
    std::optional<int32_t> hour = std::nullopt;
    std::optional<int32_t> minute = std::nullopt;
    std::optional<int32_t> second = std::nullopt;

    friend bool operator==(const DateComponents&, const DateComponents&) = default;
};

namespace Compare {

// The same year, month and day; every other field is ignored. A named predicate, not the
// type's equality, so that equal values keep equal hashes.
inline bool sameDay(const DateComponents& a, const DateComponents& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

}  // namespace Compare
}  // namespace talvor
