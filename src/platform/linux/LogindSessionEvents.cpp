#include "LogindSessionEvents.h"

#include "platform/Log.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include <unistd.h>

namespace talvor::platform {
namespace {

constexpr int kCallTimeoutMs = 1000;
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

}  // namespace

LogindSessionEvents::LogindSessionEvents(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {
    const QString service = QString::fromLatin1(kService);
    bus_.connect(service, QString::fromLatin1(kManagerPath), QString::fromLatin1(kManagerInterface),
                 QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)));
    bus_.connect(service, QString::fromLatin1(kManagerPath), QString::fromLatin1(kManagerInterface),
                 QStringLiteral("PrepareForShutdown"), this, SLOT(onPrepareForShutdown(bool)));
    sessionPath_ = findSessionPath();
    if (sessionPath_.isEmpty()) {
        log(QStringLiteral("logind knows no session of this process (%1): only sleep and wake "
                           "will be noticed")
                .arg(lookupError_.isEmpty() ? QStringLiteral("no session") : lookupError_));
        return;
    }
    const QString iface = QString::fromLatin1(kSessionInterface);
    bus_.connect(service, sessionPath_, kProperties, QStringLiteral("PropertiesChanged"), this,
                 SLOT(onSessionPropertiesChanged(QString, QVariantMap, QStringList)));
    bus_.connect(service, sessionPath_, iface, QStringLiteral("Lock"), this, SLOT(onLock()));
    bus_.connect(service, sessionPath_, iface, QStringLiteral("Unlock"), this, SLOT(onUnlock()));
    readSessionProperties();
}

LogindSessionEvents::~LogindSessionEvents() = default;

void LogindSessionEvents::setHandlers(Handlers handlers) {
    handlers_ = std::move(handlers);
}

QString LogindSessionEvents::findSessionPath() {
    const QString service = QString::fromLatin1(kService);
    QDBusMessage byPid = QDBusMessage::createMethodCall(service, QString::fromLatin1(kManagerPath),
                                                        QString::fromLatin1(kManagerInterface),
                                                        QStringLiteral("GetSessionByPID"));
    byPid << static_cast<uint>(::getpid());
    QDBusMessage reply = bus_.call(byPid, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        return qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
    }
    lookupError_ = reply.errorName();
    if (lookupError_ == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
        lookupError_ == QStringLiteral("org.freedesktop.DBus.Error.NoReply")) {
        return QString();
    }
    const QString id = qEnvironmentVariable("XDG_SESSION_ID");
    if (id.isEmpty()) {
        return QString();
    }
    QDBusMessage byId = QDBusMessage::createMethodCall(service, QString::fromLatin1(kManagerPath),
                                                       QString::fromLatin1(kManagerInterface),
                                                       QStringLiteral("GetSession"));
    byId << id;
    reply = bus_.call(byId, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        return qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
    }
    return QString();
}

void LogindSessionEvents::readSessionProperties() {
    QDBusMessage getAll = QDBusMessage::createMethodCall(
        QString::fromLatin1(kService), sessionPath_, kProperties, QStringLiteral("GetAll"));
    getAll << QString::fromLatin1(kSessionInterface);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(getAll, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        QDBusPendingReply<QVariantMap> reply = *w;
        w->deleteLater();
        if (reply.isError()) {
            return;
        }
        // The first reading sets the state without reporting a change, unless a signal
        // already told us newer news while the answer was on its way.
        if (changedBySignal_) {
            return;
        }
        const QVariantMap props = reply.value();
        active_ = props.value(QStringLiteral("Active"), active_).toBool();
        locked_ = props.value(QStringLiteral("LockedHint"), locked_).toBool();
    });
}

void LogindSessionEvents::onPrepareForShutdown(bool start) {
    if (start && handlers_.willPowerOff) {
        handlers_.willPowerOff();
    }
}

void LogindSessionEvents::onPrepareForSleep(bool start) {
    if (start) {
        if (handlers_.willSleep) {
            handlers_.willSleep();
        }
    } else if (handlers_.didWake) {
        handlers_.didWake();
    }
}

void LogindSessionEvents::onSessionPropertiesChanged(const QString& interface,
                                                     const QVariantMap& changed,
                                                     const QStringList& invalidated) {
    if (interface != QLatin1String(kSessionInterface)) {
        return;
    }
    if (changed.contains(QStringLiteral("Active"))) {
        applyActive(changed.value(QStringLiteral("Active")).toBool());
    }
    if (changed.contains(QStringLiteral("LockedHint"))) {
        applyLocked(changed.value(QStringLiteral("LockedHint")).toBool());
    }
    if (invalidated.contains(QStringLiteral("Active")) ||
        invalidated.contains(QStringLiteral("LockedHint"))) {
        QDBusMessage getAll = QDBusMessage::createMethodCall(
            QString::fromLatin1(kService), sessionPath_, kProperties, QStringLiteral("GetAll"));
        getAll << QString::fromLatin1(kSessionInterface);
        auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(getAll, kCallTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher* w) {
                    QDBusPendingReply<QVariantMap> reply = *w;
                    w->deleteLater();
                    if (!reply.isError()) {
                        const QVariantMap props = reply.value();
                        applyActive(props.value(QStringLiteral("Active"), active_).toBool());
                        applyLocked(props.value(QStringLiteral("LockedHint"), locked_).toBool());
                    }
                });
    }
}

void LogindSessionEvents::onLock() {
    applyLocked(true);
}

void LogindSessionEvents::onUnlock() {
    applyLocked(false);
}

void LogindSessionEvents::applyActive(bool active) {
    changedBySignal_ = true;
    if (active == active_) {
        return;
    }
    active_ = active;
    if (handlers_.sessionActiveChanged) {
        handlers_.sessionActiveChanged(active);
    }
}

void LogindSessionEvents::applyLocked(bool locked) {
    changedBySignal_ = true;
    if (locked == locked_) {
        return;
    }
    locked_ = locked;
    if (handlers_.sessionLockChanged) {
        handlers_.sessionLockChanged(locked);
    }
}

}  // namespace talvor::platform
