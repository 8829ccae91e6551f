#pragma once

#include "platform/Date.h"

#include <cstdint>
#include <optional>

// Calendar arithmetic of the alarms, in the current calendar and the clock's current zone.
namespace talvor::AlarmDates {

// Dates are moved by at most this many days (about 8,000 years: further than any archive
// can hold, and well inside ICU's range), and so by at most this many minutes.
inline constexpr int64_t kMaxDays = 3'000'000;
inline constexpr int64_t kMaxMinutes = kMaxDays * 24 * 60;

// How to turn an instant's calendar fields (whole seconds) into a new date: fields that are
// given replace the instant's, then the additions apply; overflowing fields carry into the
// next hour, day, month and year, as a date made from components does.
struct Change {
    std::optional<int32_t> hour;
    std::optional<int32_t> minute;
    std::optional<int32_t> second;
    int64_t addMinutes = 0;
    int64_t addHours = 0;
    int64_t addDays = 0;
};

Date changed(Date base, const Change& change);

// 1 = Sunday ... 7 = Saturday.
int32_t weekday(Date date);
int32_t minuteOfHour(Date date);
int32_t hourOfDay(Date date);

// Whole days, then the hours and minutes left, from `from` to `to` (both >= 0 when `to` is
// later); seconds are ignored.
struct DayDifference {
    int64_t days = 0;
    int32_t hours = 0;
    int32_t minutes = 0;
};
DayDifference difference(Date from, Date to);

// Seconds between two dates truncated toward zero, saturated to the 64-bit range.
int64_t wholeSecondsBetween(Date from, Date to);

}  // namespace talvor::AlarmDates
