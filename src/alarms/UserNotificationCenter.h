#pragma once

#include "platform/Date.h"
#include "platform/Scheduler.h"

#include <QString>

#include <atomic>
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

// What scheduling a list of notifications came to.
struct ScheduleOutcome {
    // How many of them will be shown at their dates, whether or not the program still runs.
    int scheduled = 0;
    // Those that will not be, in the order given. Notifications already due are in neither
    // list: they are being shown now.
    std::vector<UserNotification> notScheduled;
    // No service to schedule with answers at all: nothing was tried.
    bool noService = false;

    bool complete() const { return notScheduled.empty(); }
};

// The user-notification centre of the desktop: notifications scheduled for a date.
class UserNotificationCenter {
  public:
    virtual ~UserNotificationCenter();

    virtual void scheduleNotification(const UserNotification& notification) = 0;
    // Schedules them all in one go (by default one by one, each kept).
    virtual ScheduleOutcome scheduleNotifications(
        const std::vector<UserNotification>& notifications);
    // Removes every notification of this program that has not been shown yet.
    virtual void removeAllScheduledNotifications() = 0;
    // Those not shown yet, in the order they were scheduled.
    virtual std::vector<UserNotification> scheduledNotifications() const = 0;
    // Whether what is scheduled is shown while the program is closed; none while that is
    // not known yet. Never asks anyone (any thread): it says what was last learnt.
    virtual std::optional<bool> showsWhileClosed() const { return true; }

    // The centre of the program (a UserTimerNotificationCenter), made on first use; tests
    // put a fake in its place (nullptr restores the real one).
    static UserNotificationCenter& defaultUserNotificationCenter();
    static void setDefaultUserNotificationCenter(UserNotificationCenter* center);
};

// Shows a notification through the freedesktop notification service on the session bus
// (org.freedesktop.Notifications). False without a session bus, with one log line per
// process. With `waitMs`, waits that long at most for the service to take it (at quit,
// where the process ends right after); false when it did not.
bool showDesktopNotification(const UserNotification& notification, int waitMs = 0);

// The notification centre of alarms while the program is closed: the notifications are
// handed to the user's service manager (platform::UserTimers) in one go, as commands that
// show each through the notification service at its date and play its sound with the
// desktop's player, if any. Notifications already due are not handed over (their alarms
// are ringing). Removing takes back every notification this copy of the program handed
// over, in this run or an earlier one. Without a service manager nothing is scheduled,
// and the first notification that cannot be says so in the log; what an answering manager
// did not take is named in the outcome and in one log line.
class UserTimerNotificationCenter : public UserNotificationCenter {
  public:
    // The timers of earlier versions, one per notification: taken back with ours.
    static inline const QString kLegacyUnitPrefix = QStringLiteral("talvor-alarm-");

    // The unit name prefix of this copy's notifications, one per settings folder: a copy of
    // the program with other settings never takes this one's alarms back.
    static QString unitGroup();

    void scheduleNotification(const UserNotification& notification) override;
    ScheduleOutcome scheduleNotifications(
        const std::vector<UserNotification>& notifications) override;
    void removeAllScheduledNotifications() override;
    std::vector<UserNotification> scheduledNotifications() const override { return scheduled_; }
    // What the service manager's last answer said (the start asks it off the main thread).
    std::optional<bool> showsWhileClosed() const override;

    // What the timer runs: a small fixed shell script that hands the texts and the sound
    // path over as arguments, never as part of the script.
    static QStringList command(const UserNotification& notification, const QString& player);

  private:
    std::vector<UserNotification> scheduled_;
    // Asked at the first scheduling after a removal.
    std::optional<bool> available_;
    void setAvailable(bool available);
    // available_ for other threads: 0 not asked yet, 1 answering, 2 not.
    std::atomic<int> known_{0};
    bool toldUnavailable_ = false;
    // The manager said it holds nothing of ours, and nothing was handed over since: a
    // removal need not ask it again (a quit after the start's removal).
    bool managerHoldsNone_ = false;
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
    // Only while the program runs.
    std::optional<bool> showsWhileClosed() const override { return false; }

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
