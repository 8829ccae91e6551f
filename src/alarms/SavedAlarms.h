#pragma once

#include "Alarm.h"

// The saved alarms (inactive ones and presets), kept under "StoredAlarmsKey" in the standard
// user defaults and identified by their titles.
namespace talvor::SavedAlarms {

// Whether the key is there at all.
bool exists();
// Where an unreadable saved list is copied before anything else happens to it.
inline const QString kUnreadableBackupKey = QStringLiteral("StoredAlarmsKeyUnreadable");
// The saved list; empty when absent. None when the stored value cannot be read: it is then
// copied to `kUnreadableBackupKey` (with a log line) and left in place.
std::optional<AlarmList> read();
// The saved list; empty when absent, or unreadable.
AlarmList load();
// Archives the list under the key and synchronises; a failure is one log line. A stored
// value that cannot be read is never overwritten: then nothing is saved (false).
bool save(const AlarmList& alarms);
// Puts a copy of the alarm where the first saved alarm of the same title is; with no such
// title it is appended when `appendWhenAbsent`, else nothing changes. True when the list
// changed and was saved.
bool updateAlarmList(const Alarm& alarm, bool appendWhenAbsent);
// Removes the saved alarms of that title. True when one was there.
bool remove(const QString& title);

}  // namespace talvor::SavedAlarms
