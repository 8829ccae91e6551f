#include "UserNotificationCenter.h"

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/SessionBus.h"
#include "platform/UserTimers.h"

#include "platform/Paths.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>
#include <QVariantMap>

#include <algorithm>
#include <atomic>
#include <iterator>
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

ScheduleOutcome UserNotificationCenter::scheduleNotifications(
    const std::vector<UserNotification>& notifications) {
    for (const UserNotification& n : notifications) {
        scheduleNotification(n);
    }
    return {static_cast<int>(notifications.size()), {}, false};
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

QString UserTimerNotificationCenter::unitGroup() {
    const QByteArray folder = QFile::encodeName(platform::Paths::configDir());
    return QStringLiteral("talvor-alarms-") +
           QString::fromLatin1(
               QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(8));
}

void UserTimerNotificationCenter::setAvailable(bool available) {
    available_ = available;
    known_ = available ? 1 : 2;
}

std::optional<bool> UserTimerNotificationCenter::showsWhileClosed() const {
    const int known = known_.load();
    return known == 0 ? std::nullopt : std::optional<bool>(known == 1);
}

void UserTimerNotificationCenter::scheduleNotification(const UserNotification& notification) {
    scheduleNotifications({notification});
}

ScheduleOutcome UserTimerNotificationCenter::scheduleNotifications(
    const std::vector<UserNotification>& notifications) {
    ScheduleOutcome outcome;
    // One that is due already is ringing now: no timer could fire for it any more.
    const Date now = platform::Clock::shared().now();
    std::vector<UserNotification> pending;
    std::copy_if(notifications.begin(), notifications.end(), std::back_inserter(pending),
                 [&](const UserNotification& n) { return now < n.deliveryDate; });
    if (pending.empty()) {
        return outcome;
    }
    platform::UserTimers& timers = platform::UserTimers::shared();
    if (!available_) {
        setAvailable(timers.isAvailable());
    }
    if (!*available_) {
        if (!std::exchange(toldUnavailable_, true)) {
            platform::log(
                QStringLiteral("No user service manager answers: alarms will not ring "
                               "while Talvor is closed"));
        }
        outcome.noService = true;
        outcome.notScheduled = std::move(pending);
        return outcome;
    }
    // The manager is handed the whole list each time: what it held is replaced.
    std::vector<UserNotification> all = scheduled_;
    all.insert(all.end(), pending.begin(), pending.end());
    static const QString player = QStandardPaths::findExecutable(QStringLiteral("paplay"));
    std::vector<platform::UserTimers::Timer> commands;
    commands.reserve(all.size());
    for (const UserNotification& n : all) {
        commands.push_back({n.deliveryDate, command(n, player)});
    }
    managerHoldsNone_ = false;
    const platform::UserTimers::HandOver handOver = timers.handOver(unitGroup(), commands);
    std::vector<bool> taken(all.size(), true);
    for (const std::size_t i : handOver.notTaken) {
        taken[i] = false;
    }
    scheduled_.clear();
    for (std::size_t i = 0; i < all.size(); ++i) {
        (taken[i] ? scheduled_ : outcome.notScheduled).push_back(all[i]);
    }
    outcome.scheduled = static_cast<int>(
        std::count(taken.end() - static_cast<std::ptrdiff_t>(pending.size()), taken.end(), true));
    if (!outcome.complete()) {
        platform::log(QStringLiteral("The service manager did not take %1 of %2 alarms (%3): "
                                     "they will not ring while Talvor is closed")
                          .arg(outcome.notScheduled.size())
                          .arg(all.size())
                          .arg(handOver.reason));
    }
    return outcome;
}

void UserTimerNotificationCenter::removeAllScheduledNotifications() {
    scheduled_.clear();
    toldUnavailable_ = false;
    platform::UserTimers& timers = platform::UserTimers::shared();
    setAvailable(timers.isAvailable());
    if (!managerHoldsNone_) {
        // Also without an answering manager: the files go, so nothing of ours can run.
        managerHoldsNone_ = timers.takeBack(unitGroup(), kLegacyUnitPrefix) && *available_;
    }
}

bool showDesktopNotification(const UserNotification& notification, int waitMs) {
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
    if (waitMs > 0) {
        return bus.call(call, QDBus::Block, waitMs).type() == QDBusMessage::ReplyMessage;
    }
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
