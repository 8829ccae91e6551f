#pragma once

#include "Calendar.h"
#include "IcuDates.h"

#include <QString>
#include <QTimeZone>

#include <cstdint>
#include <optional>

namespace talvor {

// Calendar fields of an instant, rounding and comparisons. A null calendar means the current
// calendar.
namespace DateExtras {

// Stores the platform clock's now / returns what was stored (nothing before the first store).
// Main thread.
void cacheDate();
std::optional<Date> cachedDate();

// Stores the year, month (1 = first month), day, hour and minute of the date in the calendar
// into those of the pointers that are not null.
void valueOfYear(Date date, int32_t* year, int32_t* month = nullptr, int32_t* day = nullptr,
                 int32_t* hour = nullptr, int32_t* minute = nullptr,
                 const Calendar& calendar = Calendar());

// The date's day in the calendar at hour:minute:00. A time that the clocks skip that day is
// read with the offset before the change (02:30 on a spring-forward night gives 03:30); a
// repeated time is its first occurrence.
Date roundedToHour(Date date, int32_t hour, int32_t minute, const Calendar& calendar = Calendar());

bool isGreaterThan(Date date, Date other);
bool isLessThan(Date date, Date other);
bool isGreaterThanOrEqualTo(Date date, Date other);
bool isLessThanOrEqualTo(Date date, Date other);

// Forgets the cached date.
void resetForTesting();

}  // namespace DateExtras

// The old calendar-date operations, on instants; minutes and seconds are those of `zone`.
namespace CalendarDateExtras {

Date calendarDateWithTimeInterval(double interval, Date sinceDate);

// The date moved to a whole 5 minutes with seconds 0: with r = minute mod 5, back r minutes
// when r is 0, 1 or 2, forward 5 - r when r is 3 or 4.
Date calendarDateRoundedTo5(Date date, const QTimeZone& zone = IcuDates::currentZone());

}  // namespace CalendarDateExtras

// The time of day of the date in the short time style of the default locale, in the clock's
// current zone.
QString tformatTime(Date date);

}  // namespace talvor
