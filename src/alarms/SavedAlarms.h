#pragma once

#include "Alarm.h"

// The saved alarms (inactive ones and presets), kept under "StoredAlarmsKey" in the standard
// user defaults and identified by their titles.
namespace talvor::SavedAlarms {

// Whether the key is there at all.
bool exists();
// The saved list; empty when absent, or unreadable (with a log line).
AlarmList load();
// Archives the list under the key and synchronises; a failure is one log line.
void save(const AlarmList& alarms);
// Puts a copy of the alarm where the saved alarm of the same title is; with no such title
// it is appended when `appendWhenAbsent`, else nothing changes. True when the list changed.
bool updateAlarmList(const Alarm& alarm, bool appendWhenAbsent);
// Removes the saved alarms of that title. True when one was there.
bool remove(const QString& title);

}  // namespace talvor::SavedAlarms
