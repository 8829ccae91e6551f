#pragma once

#include "platform/Date.h"
#include "platform/Scheduler.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace talvor {

// A user notification to be shown at a date, with the default notification sound.
struct UserNotification {
    QString title;
    QString subtitle;
    QString informativeText;
    Date deliveryDate;
    // A sound file played with it where the desktop has a player; empty: the default sound.
    QString soundPath = {};

    friend bool operator==(const UserNotification&, const UserNotification&) = default;
};

// The user-notification centre of the desktop: notifications scheduled for a date.
class UserNotificationCenter {
  public:
    virtual ~UserNotificationCenter();

    virtual void scheduleNotification(const UserNotification& notification) = 0;
    // Removes every notification of this program that has not been shown yet.
    virtual void removeAllScheduledNotifications() = 0;
    // Those not shown yet, in the order they were scheduled.
    virtual std::vector<UserNotification> scheduledNotifications() const = 0;

    // The centre of the program (a UserTimerNotificationCenter), made on first use; tests
    // put a fake in its place (nullptr restores the real one).
    static UserNotificationCenter& defaultUserNotificationCenter();
    static void setDefaultUserNotificationCenter(UserNotificationCenter* center);
};

// Shows a notification through the freedesktop notification service on the session bus
// (org.freedesktop.Notifications). False without a session bus, with one log line per
// process.
bool showDesktopNotification(const UserNotification& notification);

// The notification centre of alarms while the program is closed: each notification becomes
// a transient timer of the user's service manager (platform::UserTimers) that shows it
// through the notification service and plays its sound with the desktop's player, if any.
// Notifications already due are not handed over (their alarms are ringing). Removing
// removes every such timer of the program. Without a service manager nothing is
// scheduled, and the first notification that cannot be says so in the log.
class UserTimerNotificationCenter : public UserNotificationCenter {
  public:
    // The prefix of the timers' unit names.
    static inline const QString kUnitPrefix = QStringLiteral("talvor-alarm-");

    void scheduleNotification(const UserNotification& notification) override;
    void removeAllScheduledNotifications() override;
    std::vector<UserNotification> scheduledNotifications() const override { return scheduled_; }

    // What the timer runs: a small fixed shell script that hands the texts and the sound
    // path over as arguments, never as part of the script.
    static QStringList command(const UserNotification& notification, const QString& player);

  private:
    std::vector<UserNotification> scheduled_;
    // Asked at the first scheduling after a removal.
    std::optional<bool> available_;
    bool toldUnavailable_ = false;
};

// The desktop has no scheduled notifications: this centre keeps them and shows each at its
// date with `show` (the notification service unless told otherwise), as long as the program
// runs. A date that has passed shows at once. Main thread only.
class DesktopUserNotificationCenter : public UserNotificationCenter {
  public:
    using Show = std::function<void(const UserNotification&)>;
    // The scheduler must outlive the centre.
    explicit DesktopUserNotificationCenter(platform::Scheduler& scheduler, Show show = {});

    void scheduleNotification(const UserNotification& notification) override;
    void removeAllScheduledNotifications() override;
    std::vector<UserNotification> scheduledNotifications() const override;

  private:
    struct Pending {
        UserNotification notification;
        platform::TimerHandle timer;
    };
    platform::Scheduler& scheduler_;
    Show show_;
    uint64_t nextId_ = 1;
    std::map<uint64_t, Pending> pending_;
};

}  // namespace talvor
