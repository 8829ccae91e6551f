#include "UsersNotificationManager.h"

#include "TimeTexts.h"
#include "UserNotificationCenter.h"

namespace talvor {

void UsersNotificationManager::synchronizeWithAlarms(const AlarmList& alarms) {
    UserNotificationCenter& center = UserNotificationCenter::defaultUserNotificationCenter();
    center.removeAllScheduledNotifications();
    for (const auto& alarm : alarms) {
        const Date due = alarm->time();
        center.scheduleNotification(
            UserNotification{QStringLiteral("Zephyrel"), formatTime(due), alarm->title(), due,
                             alarm->isPlaySound() ? alarm->soundPath() : QString()});
    }
}

}  // namespace talvor
