#pragma once

#include "Alarm.h"
#include "UserNotificationCenter.h"

#include <optional>

namespace talvor {

// Mirrors the active alarms into scheduled user notifications.
class UsersNotificationManager {
  public:
    // Removes every scheduled notification of the program, then schedules one per alarm, in
    // order, at its due time, all in one go: title "Zephyrel", subtitle the due time as
    // formatTime text, text the alarm's title. An empty list only removes.
    static ScheduleOutcome synchronizeWithAlarms(const AlarmList& alarms);

    // What the user is told at quit when some alarms were not scheduled: which, with their
    // times, and why when no service to schedule with answers at all. None when all were.
    static std::optional<UserNotification> noticeOfAlarmsNotScheduled(
        const ScheduleOutcome& outcome);

    // What the alarm editor says while alarms cannot ring after a quit (the default centre
    // learnt that no service manager answers); none while they can or it is not known yet.
    static std::optional<QString> alarmsStaySilentAfterQuit();
};

}  // namespace talvor
