#include "UserNotificationCenter.h"

#include "platform/Log.h"
#include "platform/SessionBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include <atomic>

namespace talvor {

namespace {

UserNotificationCenter* gDefault = nullptr;

}  // namespace

UserNotificationCenter::~UserNotificationCenter() = default;

UserNotificationCenter& UserNotificationCenter::defaultUserNotificationCenter() {
    if (gDefault != nullptr) {
        return *gDefault;
    }
    // Never destroyed: its timers belong to the main loop, which is gone by exit.
    static auto* desktop = new DesktopUserNotificationCenter(platform::Scheduler::shared());
    return *desktop;
}

void UserNotificationCenter::setDefaultUserNotificationCenter(UserNotificationCenter* center) {
    gDefault = center;
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
    QString body = notification.subtitle;
    if (!notification.informativeText.isEmpty()) {
        body += (body.isEmpty() ? QString() : QStringLiteral("\n")) + notification.informativeText;
    }
    call << QStringLiteral("Talvor") << 0u << QString() << notification.title << body
         << QStringList() << QVariantMap() << -1;
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
