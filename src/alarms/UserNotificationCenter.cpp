#include "UserNotificationCenter.h"

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/SessionBus.h"
#include "platform/UserTimers.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include <QStandardPaths>

#include <atomic>
#include <utility>

namespace talvor {

namespace {

UserNotificationCenter* gDefault = nullptr;

}  // namespace

UserNotificationCenter::~UserNotificationCenter() = default;

UserNotificationCenter& UserNotificationCenter::defaultUserNotificationCenter() {
    if (gDefault != nullptr) {
        return *gDefault;
    }
    static UserTimerNotificationCenter timers;
    return timers;
}

void UserNotificationCenter::setDefaultUserNotificationCenter(UserNotificationCenter* center) {
    gDefault = center;
}

namespace {

QString bodyOf(const UserNotification& notification) {
    QString body = notification.subtitle;
    if (!notification.informativeText.isEmpty()) {
        body += (body.isEmpty() ? QString() : QStringLiteral("\n")) + notification.informativeText;
    }
    return body;
}

// $1 title, $2 body, $3 sound file, $4 player. gdbus reads each argument as a typed value
// where it can; the texts are given as quoted strings so that any title stays a text.
const QString kHandOverScript = QStringLiteral(
    "gdbus call --session --dest org.freedesktop.Notifications "
    "--object-path /org/freedesktop/Notifications "
    "--method org.freedesktop.Notifications.Notify -- Talvor 0 \"''\" \"$1\" \"$2\" '[]' "
    "\"{'sound-name': <'alarm-clock-elapsed'>}\" -1 >/dev/null; "
    "if [ -n \"$3\" ] && [ -n \"$4\" ]; then \"$4\" \"$3\"; fi");

// A GVariant text literal of a string: quoted, with backslash and quote escaped.
QString variantText(const QString& text) {
    QString out = QStringLiteral("'");
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('\'')) {
            out += QLatin1Char('\\');
        }
        out += c;
    }
    return out + QLatin1Char('\'');
}

}  // namespace

QStringList UserTimerNotificationCenter::command(const UserNotification& notification,
                                                 const QString& player) {
    return {QStringLiteral("/bin/sh"),
            QStringLiteral("-c"),
            kHandOverScript,
            QStringLiteral("talvor-alarm"),
            variantText(notification.title),
            variantText(bodyOf(notification)),
            player.isEmpty() ? QString() : notification.soundPath,
            player};
}

void UserTimerNotificationCenter::scheduleNotification(const UserNotification& notification) {
    // One that is due already is ringing now: no timer could fire for it any more.
    if (!(platform::Clock::shared().now() < notification.deliveryDate)) {
        return;
    }
    platform::UserTimers& timers = platform::UserTimers::shared();
    if (!available_) {
        available_ = timers.isAvailable();
    }
    if (!*available_) {
        if (!std::exchange(toldUnavailable_, true)) {
            platform::log(
                QStringLiteral("No user service manager answers: alarms will not ring "
                               "while Talvor is closed"));
        }
        return;
    }
    static const QString player = QStandardPaths::findExecutable(QStringLiteral("paplay"));
    const QString unit = kUnitPrefix + QString::number(scheduled_.size() + 1);
    if (!timers.schedule({unit, notification.deliveryDate, command(notification, player)})) {
        // The others are not tried: quitting must not wait on a manager that fails.
        available_ = false;
        toldUnavailable_ = true;
        platform::log(
            QStringLiteral("The service manager did not take the alarms: alarms will "
                           "not ring while Talvor is closed"));
        return;
    }
    scheduled_.push_back(notification);
}

void UserTimerNotificationCenter::removeAllScheduledNotifications() {
    scheduled_.clear();
    toldUnavailable_ = false;
    platform::UserTimers& timers = platform::UserTimers::shared();
    available_ = timers.isAvailable();
    if (*available_) {
        timers.removeAll(kUnitPrefix);
    }
}

bool showDesktopNotification(const UserNotification& notification) {
    QDBusConnection bus = platform::SessionBus::connection();
    if (!bus.isConnected()) {
        static std::atomic<bool> logged{false};
        if (!logged.exchange(true)) {
            platform::log(QStringLiteral("No session bus: user notifications are not shown"));
        }
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Talvor") << 0u << QString() << notification.title
         << bodyOf(notification) << QStringList() << QVariantMap() << -1;
    return bus.send(call);
}

DesktopUserNotificationCenter::DesktopUserNotificationCenter(platform::Scheduler& scheduler,
                                                             Show show)
    : scheduler_(scheduler), show_(std::move(show)) {
    if (!show_) {
        show_ = [](const UserNotification& n) { showDesktopNotification(n); };
    }
}

void DesktopUserNotificationCenter::scheduleNotification(const UserNotification& notification) {
    const uint64_t id = nextId_++;
    Pending& p = pending_[id];
    p.notification = notification;
    p.timer = scheduler_.scheduleAt(notification.deliveryDate, [this, id] {
        auto it = pending_.find(id);
        if (it == pending_.end()) {
            return;
        }
        const UserNotification n = it->second.notification;
        pending_.erase(it);
        show_(n);
    });
}

void DesktopUserNotificationCenter::removeAllScheduledNotifications() {
    pending_.clear();
}

std::vector<UserNotification> DesktopUserNotificationCenter::scheduledNotifications() const {
    std::vector<UserNotification> list;
    for (const auto& [id, p] : pending_) {
        list.push_back(p.notification);
    }
    return list;
}

}  // namespace talvor
