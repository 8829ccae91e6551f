#include "AlarmDates.h"

#include "foundation/Calendar.h"

#include <unicode/calendar.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace talvor::AlarmDates {

namespace {

int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) {
        --q;
    }
    return q;
}

// The remainder that goes with floorDiv, without the multiplication that overflows near the
// ends of the range.
int64_t floorMod(int64_t a, int64_t b) {
    const int64_t r = a % b;
    return (r != 0 && ((r < 0) != (b < 0))) ? r + b : r;
}

int64_t saturatedAdd(int64_t a, int64_t b) {
    int64_t r = 0;
    if (__builtin_add_overflow(a, b, &r)) {
        return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    }
    return r;
}

int32_t field(Date date, UCalendarDateFields which) {
    std::unique_ptr<icu::Calendar> cal = Calendar().icuCalendar(date);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t v = cal->get(which, status);
    return U_SUCCESS(status) ? v : 0;
}

}  // namespace

Date changed(Date base, const Change& change) {
    std::unique_ptr<icu::Calendar> cal = Calendar().icuCalendar(base);
    cal->setLenient(true);
    UErrorCode status = U_ZERO_ERROR;
    const int64_t hour = change.hour.value_or(cal->get(UCAL_HOUR_OF_DAY, status));
    const int64_t minute = change.minute.value_or(cal->get(UCAL_MINUTE, status));
    const int32_t second = change.second.value_or(cal->get(UCAL_SECOND, status));
    const int64_t day = cal->get(UCAL_DATE, status);
    if (U_FAILURE(status)) {
        return base;
    }
    // Carry by hand in 64 bits: ICU's fields are 32-bit.
    const int64_t minutes = saturatedAdd(minute, change.addMinutes);
    const int64_t hours = saturatedAdd(saturatedAdd(hour, change.addHours), floorDiv(minutes, 60));
    const int64_t days =
        std::clamp(saturatedAdd(change.addDays, floorDiv(hours, 24)), -kMaxDays, kMaxDays);
    cal->set(UCAL_MILLISECOND, 0);
    cal->set(UCAL_SECOND, second);
    cal->set(UCAL_MINUTE, static_cast<int32_t>(floorMod(minutes, 60)));
    cal->set(UCAL_HOUR_OF_DAY, static_cast<int32_t>(floorMod(hours, 24)));
    cal->set(UCAL_DATE, static_cast<int32_t>(day + days));
    const UDate result = cal->getTime(status);
    return U_SUCCESS(status) ? Date::fromUDate(result) : base;
}

int32_t weekday(Date date) {
    return field(date, UCAL_DAY_OF_WEEK);
}

int32_t minuteOfHour(Date date) {
    return field(date, UCAL_MINUTE);
}

int32_t hourOfDay(Date date) {
    return field(date, UCAL_HOUR_OF_DAY);
}

DayDifference difference(Date from, Date to) {
    std::unique_ptr<icu::Calendar> cal = Calendar().icuCalendar(from);
    UErrorCode status = U_ZERO_ERROR;
    const UDate target = to.toUDate();
    DayDifference d;
    d.days = cal->fieldDifference(target, UCAL_DATE, status);
    d.hours = cal->fieldDifference(target, UCAL_HOUR_OF_DAY, status);
    d.minutes = cal->fieldDifference(target, UCAL_MINUTE, status);
    return U_SUCCESS(status) ? d : DayDifference{};
}

int64_t wholeSecondsBetween(Date from, Date to) {
    const double s = std::trunc(to.timeIntervalSince(from));
    if (std::isnan(s)) {
        return 0;
    }
    // 2^63 is exactly representable; anything at or beyond it saturates.
    if (s >= 9223372036854775808.0) {
        return std::numeric_limits<int64_t>::max();
    }
    if (s < -9223372036854775808.0) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(s);
}

}  // namespace talvor::AlarmDates
