#include "SavedAlarms.h"

#include "ActiveAlarms.h"
#include "AlarmsKeys.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

namespace talvor::SavedAlarms {

bool exists() {
    return platform::UserDefaults::standard().objectForKey(keys::StoredAlarmsKey).isValid();
}

std::optional<AlarmList> read() {
    if (!exists()) {
        return AlarmList{};
    }
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    const QVariant stored = defaults.objectForKey(keys::StoredAlarmsKey);
    std::optional<AlarmList> list = unarchivedAlarms(defaults.dataForKey(keys::StoredAlarmsKey));
    if (!list) {
        if (defaults.objectForKey(kUnreadableBackupKey) != stored) {
            defaults.setObject(stored, kUnreadableBackupKey);
            defaults.synchronize();
        }
        // Once per value: the menu reads the list each time it opens.
        static QVariant told;
        if (told != stored) {
            told = stored;
            platform::log(QStringLiteral("The saved alarms cannot be read; they are kept as they "
                                         "are (a copy is under \"%1\")")
                              .arg(kUnreadableBackupKey));
        }
    }
    return list;
}

AlarmList load() {
    return read().value_or(AlarmList{});
}

bool save(const AlarmList& alarms) {
    if (!read()) {
        return false;
    }
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    const QByteArray data = archivedAlarms(alarms);
    if (data.isEmpty()) {
        platform::log(QStringLiteral("The saved alarms could not be archived"));
        return false;
    }
    defaults.setObject(QVariant(data), keys::StoredAlarmsKey);
    if (!defaults.synchronize()) {
        platform::log(QStringLiteral("The saved alarms could not be saved"));
        return false;
    }
    return true;
}

bool updateAlarmList(const Alarm& alarm, bool appendWhenAbsent) {
    std::optional<AlarmList> read = SavedAlarms::read();
    if (!read) {
        return false;
    }
    AlarmList& list = *read;
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const auto& a) { return a->title() == alarm.title(); });
    if (it != list.end()) {
        *it = alarm.copy();
    } else if (appendWhenAbsent) {
        list.push_back(alarm.copy());
    } else {
        return false;
    }
    return save(list);
}

bool remove(const QString& title) {
    std::optional<AlarmList> read = SavedAlarms::read();
    if (!read || std::erase_if(*read, [&](const auto& a) { return a->title() == title; }) == 0) {
        return false;
    }
    return save(*read);
}

}  // namespace talvor::SavedAlarms
