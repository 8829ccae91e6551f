#pragma once

#include "platform/Date.h"

#include <QString>
#include <QTime>
#include <QTimeZone>

#include <optional>

namespace talvor {

// An instant that carries the zone it is shown in and a percent-escape calendar format
// (foundation's formatCalendarDate, plus %W for the week number), as a clock keeps its time.
struct CalendarDate {
    Date date;
    QTimeZone timeZone = QTimeZone::utc();
    QString calendarFormat = QStringLiteral("%Y-%m-%d %H:%M:%S %z");

    // The time in its own zone through `format`; %W is the ISO 8601 week of the year there.
    QString descriptionWithCalendarFormat(const QString& format) const;
    QString description() const { return descriptionWithCalendarFormat(calendarFormat); }

    QTime timeOfDay() const;
    // The ISO 8601 week of the year in its own zone.
    int weekOfYear() const;
    QString timeZoneAbbreviation() const;

    // The same day in its own zone at that time (a time the clocks skip moves forward).
    CalendarDate withTimeOfDay(const QTime& time) const;
    CalendarDate adding(double seconds) const;

    bool operator==(const CalendarDate& other) const { return date == other.date; }
};

// The time of day that `text` gives in a calendar format made of %H, %I, %M, %S and %p
// (AM or PM in any letter case, or the locale's own marks) and literal characters; blanks
// match any run of blanks. nullopt when the text does not fit the format.
std::optional<QTime> parseCalendarTime(const QString& text, const QString& format);

}  // namespace talvor
