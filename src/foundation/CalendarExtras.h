#pragma once

#include "Calendar.h"
#include "DateComponents.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace talvor {

// Calendar units, with the original system's numbers (the calendar data passes 16 for days).
enum class CalendarUnit : uint32_t {
    Era = 2,
    Year = 4,
    Month = 8,
    Day = 16,
    Hour = 32,
    Minute = 64,
    Second = 128,
    Week = 256,
    Weekday = 512,
    WeekdayOrdinal = 1024,
    Quarter = 2048,
    WeekOfMonth = 4096,
    WeekOfYear = 8192,
    YearForWeekOfYear = 16384,
};

// The process-wide user and auxiliary calendars, the calendar cache, and calendar queries.
// The process-wide state belongs to the main thread.
namespace CalendarExtras {

// The calendar the month views use; null until setUserCalendarIdentifier is first called.
Calendar userCalendar();
// The optional second calendar; null when none.
Calendar auxCalendar();
// When the identifier differs from the user calendar's, the user calendar becomes
// calendarWithIdentifier of it.
void setUserCalendarIdentifier(const std::optional<QString>& identifier);
// No identifier clears the auxiliary calendar; the current identifier changes nothing;
// otherwise it becomes calendarWithIdentifier of the identifier.
void setAuxCalendarIdentifier(const std::optional<QString>& identifier);
// The cached calendar of the identifier (no identifier: the current calendar's), made and
// cached on first use; repeated calls give the same calendar. An identifier ICU does not
// know gives a new current calendar each time, not cached.
Calendar calendarWithIdentifier(const std::optional<QString>& identifier);

// The full and the short month names of the calendar in the default locale: month m is
// name m - 1. ICU's Hebrew list has a 14th name, Adar's in leap years ("Adar II").
QStringList monthNames(const Calendar& calendar);
QStringList shortMonthNames(const Calendar& calendar);

// The number of days of the date's year in the calendar, by the calendar's own numbering of
// the days of the year: 353-385 in the Hebrew calendar; a Japanese year in which an era
// begins counts the whole Gregorian year.
int32_t daysInYear(const Calendar& calendar, Date date);

// The week of the year for weeks that start on `firstDay` (1 = Sunday ... 7 = Saturday; out of
// range: the calendar's own first day), week 1 being the first with at least 4 days in the
// year: ISO 8601 week numbers when Monday is first.
int32_t ISO8601weekNumForDate(const Calendar& calendar, Date date, int32_t firstDay);

// The signed count of whole units from today at 00:00 (the platform clock's today, in the
// calendar) to the date; 0 without a date.
int32_t units(const Calendar& calendar, CalendarUnit unit, std::optional<Date> date);

// The fields of the date in the calendar.
DateComponents components(const Calendar& calendar, Date date);

// Forgets the user and auxiliary calendars and the cache.
void resetForTesting();

}  // namespace CalendarExtras
}  // namespace talvor
