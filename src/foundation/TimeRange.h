#pragma once

#include <QMetaType>
#include <QVariant>

#include <cstdint>

namespace talvor {

// A span of time as two 32-bit integers, its start and its length; it ends at start + length.
struct TimeRange {
    int32_t start = 0;
    int32_t length = 0;

    friend bool operator==(const TimeRange&, const TimeRange&) = default;
};

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
