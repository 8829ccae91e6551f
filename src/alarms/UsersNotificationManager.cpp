#include "UsersNotificationManager.h"

#include "TimeTexts.h"

#include <QStringList>

namespace talvor {

namespace {

// A notice lists this many alarms at most; the rest are counted.
constexpr std::size_t kListedAlarms = 5;

const char* const kNoServiceManager =
    "No user service manager (systemd --user) runs on this computer to ring them.";

}  // namespace

ScheduleOutcome UsersNotificationManager::synchronizeWithAlarms(const AlarmList& alarms) {
    UserNotificationCenter& center = UserNotificationCenter::defaultUserNotificationCenter();
    center.removeAllScheduledNotifications();
    std::vector<UserNotification> notifications;
    notifications.reserve(alarms.size());
    for (const auto& alarm : alarms) {
        const Date due = alarm->time();
        notifications.push_back(
            UserNotification{QStringLiteral("Zephyrel"), formatTime(due), alarm->shownTitle(), due,
                             alarm->isPlaySound() ? alarm->soundPath() : QString()});
    }
    return notifications.empty() ? ScheduleOutcome{} : center.scheduleNotifications(notifications);
}

std::optional<UserNotification> UsersNotificationManager::noticeOfAlarmsNotScheduled(
    const ScheduleOutcome& outcome) {
    if (outcome.complete()) {
        return std::nullopt;
    }
    const std::size_t count = outcome.notScheduled.size();
    QStringList lines;
    for (std::size_t i = 0; i < count && i < kListedAlarms; ++i) {
        const UserNotification& n = outcome.notScheduled[i];
        lines << (n.informativeText.isEmpty()
                      ? n.subtitle
                      : n.subtitle + QStringLiteral("  ") + n.informativeText);
    }
    if (count > kListedAlarms) {
        lines << QStringLiteral("and %1 more").arg(count - kListedAlarms);
    }
    if (outcome.noService) {
        lines << QString::fromLatin1(kNoServiceManager);
    }
    lines << QStringLiteral("Start Talvor again to hear them.");
    return UserNotification{
        QStringLiteral("Talvor Pro"),
        count == 1 ? QStringLiteral("1 alarm will not ring while Talvor is closed")
                   : QStringLiteral("%1 alarms will not ring while Talvor is closed").arg(count),
        lines.join(QLatin1Char('\n')), Date()};
}

std::optional<QString> UsersNotificationManager::alarmsStaySilentAfterQuit() {
    if (UserNotificationCenter::defaultUserNotificationCenter().showsWhileClosed().value_or(true)) {
        return std::nullopt;
    }
    return QStringLiteral(
        "Alarms ring only while Talvor runs: no user service manager "
        "(systemd --user) runs on this computer to ring them after a quit.");
}

}  // namespace talvor
