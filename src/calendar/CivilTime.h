#pragma once

#include <cstdint>

// Calendar arithmetic on the proleptic Gregorian calendar in whole days and seconds, without
// zones: the wall-clock times of iCalendar values and of the recurrence engine. A "civil
// second" counts seconds since 1970-01-01 00:00 of a wall clock, as if it were UTC.
namespace talvor::civil {

constexpr int64_t kSecondsPerDay = 86400;

constexpr int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}
constexpr int64_t floorMod(int64_t a, int64_t b) {
    return a - floorDiv(a, b) * b;
}

constexpr bool isLeapYear(int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

constexpr int daysInMonth(int64_t y, int m) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

constexpr int daysInYear(int64_t y) {
    return isLeapYear(y) ? 366 : 365;
}

// Days since 1970-01-01 of a date (month 1-12); valid for any year.
constexpr int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = floorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct Ymd {
    int64_t year;
    int month;
    int day;
    friend bool operator==(const Ymd&, const Ymd&) = default;
};

constexpr Ymd civilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = floorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

// 0 = Monday ... 6 = Sunday, the order of iCalendar's week days.
constexpr int weekday(int64_t days) {
    return static_cast<int>(floorMod(days + 3, 7));
}

struct DateTime {
    int64_t year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;

    constexpr int64_t days() const { return daysFromCivil(year, month, day); }
    constexpr int64_t seconds() const {
        return days() * kSecondsPerDay + hour * 3600 + minute * 60 + second;
    }
    static constexpr DateTime fromSeconds(int64_t s) {
        const int64_t days = floorDiv(s, kSecondsPerDay);
        const int64_t rest = s - days * kSecondsPerDay;
        const Ymd ymd = civilFromDays(days);
        return {ymd.year,
                ymd.month,
                ymd.day,
                static_cast<int>(rest / 3600),
                static_cast<int>(rest / 60 % 60),
                static_cast<int>(rest % 60)};
    }
    friend constexpr bool operator==(const DateTime&, const DateTime&) = default;
};

}  // namespace talvor::civil
