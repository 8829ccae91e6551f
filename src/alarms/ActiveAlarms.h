#pragma once

#include "Alarm.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <optional>

namespace talvor::platform {
class UserDefaults;
}

// The hand-over of the active alarms from one run to the next, and the weekday rule of
// weekday alarms.
namespace talvor {

// Weekday codes: Sunday 101, Monday 102 ... Saturday 107; after 107 comes 101.
int32_t weekdayCode(Date date);
bool isRunOnWeekday(const Alarm& alarm, int32_t code);
void setRunOnWeekday(Alarm& alarm, int32_t code, bool on);
bool hasAnyWeekday(const Alarm& alarm);

// The next due date of a weekday alarm after the day of `code`: the first flagged weekday
// after it (1 to 7 days on), today's date at the hour and minute of the alarm's run time
// (seconds 0) plus that many days. None without a weekday flag; a code outside 101-107
// adds no days.
std::optional<Date> calculateNextDate(int32_t code, const Alarm& alarm);

// Launch: reads "AcitveAlarmsStoredKey" and puts its alarms into the shared alarm clock, in
// reverse order, each with the shared alarm menu controller as delegate. An alarm to come
// keeps its due time (a relative alarm its run time and snooze). A one-time alarm that
// passed is dropped; a passed weekday alarm loses the flag of the day it was due (unless it
// is kept forever) and moves to its first weekday at or after now; a passed every-day or
// repeating alarm moves to its next time. No archive, or one that cannot be read, restores
// nothing (the latter with a log line).
void restoreActiveAlarms();
// While the settings cannot be saved (or, at launch, read), the alarms are kept in this file
// as well, and the next launch restores them from it.
QString unsavedAlarmsPath();

// Quit (and every change of the shared clock's list): archives the shared clock's list
// under "AcitveAlarmsStoredKey" and synchronises the defaults.
void storeActiveAlarms();
// The same for a given list.
void storeAlarms(const AlarmList& alarms);

// Before a save writes `key` again over an archive that cannot be read: copies the value, as
// it was, to "<config folder>/<key>.corrupt-<time>" (a property list), or failing that to a
// setting of that name. Returns where it went, for the log.
QString keepUnreadableArchiveAside(platform::UserDefaults& defaults, const QString& key,
                                   const QVariant& value);

}  // namespace talvor
