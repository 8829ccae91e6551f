#pragma once

#include "platform/Date.h"

#include <QLocale>
#include <QString>
#include <QTimeZone>

namespace talvor {

// The old-style calendar format: percent escapes, as the floating clocks and the custom
// date panel use them.
//   %a %A  weekday, short and full      %b %B  month, short and full
//   %d     day of month 01-31           %e     day of month, blank-padded
//   %H     hour 00-23                   %I     hour 01-12
//   %M     minute 00-59                 %S     second 00-59
//   %F     milliseconds 000-999         %p     AM or PM
//   %j     day of year 001-366          %w     weekday 0-6, Sunday 0
//   %m     month 01-12                  %y %Y  year, two and four digits
//   %x %X  the locale's short date, time %c     "%a %b %e %H:%M:%S %Y"
//   %Z     zone abbreviation            %z     offset from GMT, +hhmm
//   %%     a percent sign
// Unknown escapes are kept as they stand. Names come from `locale`.
QString formatCalendarDate(const QString& format, Date date, const QTimeZone& zone,
                           const QLocale& locale = QLocale::system());

// Substitutions that extend the calendar format with a week number (%W) and a zone
// abbreviation (%Z). One left-to-right pass: a replacement is never searched again, so one
// that holds the escape itself is safe.
namespace TalvorDateFormat {
QString& fixWeekNum(QString& format, const QString& week);
QString& fixTimeZone(QString& format, const QString& tzAbbreviation);
}  // namespace TalvorDateFormat

}  // namespace talvor
