#pragma once

#include "Alarm.h"

namespace talvor {

// Mirrors the active alarms into scheduled user notifications.
class UsersNotificationManager {
  public:
    // Removes every scheduled notification of the program, then schedules one per alarm, in
    // order, at its due time: title "Zephyrel", subtitle the due time as formatTime text,
    // text the alarm's title. An empty list only removes.
    static void synchronizeWithAlarms(const AlarmList& alarms);
};

}  // namespace talvor
