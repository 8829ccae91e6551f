#pragma once

#include "platform/Date.h"

#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>

#include <optional>

// iCalendar text as plain dictionaries, for the month-grid calendar's loader, on the
// calendar room's reader (ICalParser). The shape is the old one: one dictionary per
// component, property name to value; date properties keep their parameters in front of the
// value ("TZID=Europe/Berlin:20240105T100000"), which dateFromVCALENDAR reads. Text values
// are unescaped and lose their parameters ("SUMMARY;LANGUAGE=en:New Year" gives "New Year").
namespace talvor::ical {
struct Component;
}

namespace talvor::TalvorVCALENDAR {

// Five arrays of dictionaries: calendars and time zones, to-dos, events, journals, free/busy
// components. An alarm is a dictionary under "VALARM" of its component; a time zone's
// sub-components are folded into its dictionary. Repeated EXDATE and RDATE lines are joined
// with ",". Damaged text gives what could be read, and one log line.
QVariantList arrayFromVCALENDAR(const QString& text);

// One component as such a dictionary (a VALARM as it appears under "VALARM").
QVariantMap dictionaryOfComponent(const ical::Component& component);

// The instant of a DTSTART-style value: "20240105" (that day at 00:00 in the current zone),
// "20240105T100000Z", "TZID=Europe/Berlin:20240105T100000", "VALUE=DATE:20240105",
// "VALUE=DATE-TIME:20240105T100000", or a floating "20240105T100000" (current zone). An
// unknown zone reads as the current zone, with a log line. Null when it is no date.
std::optional<Date> dateFromVCALENDAR(const QString& value);

// "FREQ=WEEKLY;INTERVAL=2" as {FREQ: WEEKLY, INTERVAL: 2}.
QVariantMap arrayFromRRULE(const QString& rule);

// The text after the first "URI:", or nothing.
std::optional<QString> urlStrFromVCALENDAR(const QString& text);
// That text as a URL; a "file://localhost/..." that does not parse becomes a file URL.
std::optional<QUrl> urlFromVCALENDAR(const QString& text);

// The calendar folder, $XDG_DATA_HOME/talvor/Calendars, symbolic links resolved.
QString TalvorLoadVCALPath();
// The names of the ".ics" entries of that folder, sorted.
QStringList TalvorArrayOfVCAL();

// Writing: a calendar template with %1 time zone, %2 description, %3 name, %4 body.
QString strVCALHeadertemplate();
QString strFromVCALDetails(const QString& summary, const std::optional<QString>& description);
// "TZID=<zone>:YYYYMMDDTHHMMSS", the date on the zone's wall clock.
QString strFromVCALDate(Date date, const QTimeZone& zone);
QString strForVCALDateToday();
QString strFromVCALURL(const QString& url);
QString strFromVCALUID(const QString& uid);

// TEXT escaping for the writers: "\\", ";", "," and line feeds.
QString escapeText(const QString& text);

}  // namespace talvor::TalvorVCALENDAR
