#include "SavedAlarms.h"

#include "ActiveAlarms.h"
#include "AlarmsKeys.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

namespace talvor::SavedAlarms {

bool exists() {
    return platform::UserDefaults::standard().objectForKey(keys::StoredAlarmsKey).isValid();
}

AlarmList load() {
    if (!exists()) {
        return {};
    }
    std::optional<AlarmList> list =
        unarchivedAlarms(platform::UserDefaults::standard().dataForKey(keys::StoredAlarmsKey));
    if (!list) {
        platform::log(QStringLiteral("The saved alarms cannot be read"));
        return {};
    }
    return std::move(*list);
}

void save(const AlarmList& alarms) {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    const QByteArray data = archivedAlarms(alarms);
    if (data.isEmpty()) {
        platform::log(QStringLiteral("The saved alarms could not be archived"));
        return;
    }
    // A list that cannot be read is kept aside before it is written over: its alarms may
    // still be recovered. Empty data holds nothing to lose.
    const QVariant old = defaults.objectForKey(keys::StoredAlarmsKey);
    if (old.isValid() && !(old.typeId() == QMetaType::QByteArray && old.toByteArray().isEmpty()) &&
        !unarchivedAlarms(defaults.dataForKey(keys::StoredAlarmsKey))) {
        platform::log(QStringLiteral("The saved alarms cannot be read; kept as %1")
                          .arg(keepUnreadableArchiveAside(defaults, keys::StoredAlarmsKey, old)));
    }
    defaults.setObject(QVariant(data), keys::StoredAlarmsKey);
    if (!defaults.synchronize()) {
        platform::log(QStringLiteral("The saved alarms could not be saved"));
    }
}

bool updateAlarmList(const Alarm& alarm, bool appendWhenAbsent) {
    AlarmList list = load();
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const auto& a) { return a->title() == alarm.title(); });
    if (it != list.end()) {
        *it = alarm.copy();
    } else if (appendWhenAbsent) {
        list.push_back(alarm.copy());
    } else {
        return false;
    }
    save(list);
    return true;
}

bool remove(const QString& title) {
    AlarmList list = load();
    if (std::erase_if(list, [&](const auto& a) { return a->title() == title; }) == 0) {
        return false;
    }
    save(list);
    return true;
}

}  // namespace talvor::SavedAlarms
