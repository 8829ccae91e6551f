#pragma once

#include "platform/Date.h"
#include "platform/Scheduler.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace talvor {

// A user notification to be shown at a date, with the default notification sound.
struct UserNotification {
    QString title;
    QString subtitle;
    QString informativeText;
    Date deliveryDate;

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

    // The desktop's centre, made on first use; tests put a fake in its place (nullptr
    // restores the real one).
    static UserNotificationCenter& defaultUserNotificationCenter();
    static void setDefaultUserNotificationCenter(UserNotificationCenter* center);
};

// Shows a notification through the freedesktop notification service on the session bus
// (org.freedesktop.Notifications). False without a session bus, with one log line per
// process.
bool showDesktopNotification(const UserNotification& notification);

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
