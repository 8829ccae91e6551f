#pragma once

#include "platform/SessionEvents.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

class QDBusMessage;
class QDBusPendingCallWatcher;

namespace talvor::platform {

// logind: the manager's PrepareForSleep for sleep and wake, PrepareForShutdown, the session
// object's Active and LockedHint properties and its Lock/Unlock signals for the session.
class LogindSessionEvents : public QObject, public SessionEventSource {
    Q_OBJECT
  public:
    static constexpr const char* kService = "org.freedesktop.login1";
    static constexpr const char* kManagerPath = "/org/freedesktop/login1";
    static constexpr const char* kManagerInterface = "org.freedesktop.login1.Manager";
    static constexpr const char* kSessionInterface = "org.freedesktop.login1.Session";

    // Listens on `bus` (the system bus; tests give a private one). The session is the one
    // of this process, else the one named by XDG_SESSION_ID.
    explicit LogindSessionEvents(const QDBusConnection& bus, QObject* parent = nullptr);
    ~LogindSessionEvents() override;

    void setHandlers(Handlers handlers) override;
    // The session object's path; empty when logind knows no session of ours.
    const QString& sessionPath() const { return sessionPath_; }

  private slots:
    void onPrepareForSleep(bool start);
    void onPrepareForShutdown(bool start);
    void onSessionPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                    const QStringList& invalidated);
    void onLock();
    void onUnlock();

  private:
    QString findSessionPath();
    void readSessionProperties();
    void applyActive(bool active);
    void applyLocked(bool locked);

    QDBusConnection bus_;
    QString sessionPath_;
    QString lookupError_;
    Handlers handlers_;
    bool active_ = true;
    bool locked_ = false;
    bool changedBySignal_ = false;
};

}  // namespace talvor::platform
