#pragma once

#include <QMetaType>
#include <QVariant>

#include <algorithm>
#include <cstdint>

namespace talvor {

// A span of time as two 32-bit integers, its start and its length; it ends at start + length.
struct TimeRange {
    int32_t start = 0;
    int32_t length = 0;

    friend bool operator==(const TimeRange&, const TimeRange&) = default;
};

// From the smaller start to the larger end. Ends are computed in 64 bits, so ranges near the
// 32-bit limits do not wrap; a result past the limit is clamped.
inline TimeRange UnionTimeRange(TimeRange a, TimeRange b) {
    const int64_t start = std::min(a.start, b.start);
    const int64_t end = std::max(int64_t{a.start} + a.length, int64_t{b.start} + b.length);
    return {static_cast<int32_t>(start),
            static_cast<int32_t>(std::clamp<int64_t>(end - start, INT32_MIN, INT32_MAX))};
}

// The overlap; ranges that only touch give length 0 at the touching point, disjoint ranges
// give (0, 0).
inline TimeRange IntersectionTimeRange(TimeRange a, TimeRange b) {
    const int64_t start = std::max(a.start, b.start);
    const int64_t end = std::min(int64_t{a.start} + a.length, int64_t{b.start} + b.length);
    if (end < start) {
        return {};
    }
    return {static_cast<int32_t>(start), static_cast<int32_t>(end - start)};
}

// b starts within a and does not end beyond it.
inline bool ContainsTimeRange(TimeRange a, TimeRange b) {
    const int64_t aEnd = int64_t{a.start} + a.length;
    return a.start <= b.start && b.start <= aEnd && int64_t{b.start} + b.length <= aEnd;
}

// Time ranges boxed as values.
namespace NSValuetimeRangeExtensions {

inline QVariant valueWithTimeRange(TimeRange range) {
    return QVariant::fromValue(range);
}

// The range in the value; start 0, length 0 when it holds none.
inline TimeRange timeRangeValue(const QVariant& value) {
    return value.canConvert<TimeRange>() ? value.value<TimeRange>() : TimeRange{};
}

}  // namespace NSValuetimeRangeExtensions
}  // namespace talvor

Q_DECLARE_METATYPE(talvor::TimeRange)
