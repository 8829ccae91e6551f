#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>

class QDBusMessage;
class QDBusPendingCallWatcher;

namespace talvor::platform {

// Sleep, wake and session changes of the machine and of the desktop session that this
// process belongs to. Handlers run on the main thread.
class SessionEventSource {
  public:
    struct Handlers {
        std::function<void()> willSleep;
        std::function<void()> didWake;
        // The session became the active (foreground) one, or stopped being it.
        std::function<void(bool active)> sessionActiveChanged;
        // The screen of the session was locked or unlocked.
        std::function<void(bool locked)> sessionLockChanged;
        // The machine is about to shut down or restart.
        std::function<void()> willPowerOff;
    };
    virtual ~SessionEventSource();
    virtual void setHandlers(Handlers handlers) = 0;

    // logind on the system bus; without a system bus, a source that never reports (after one
    // log line).
    static std::unique_ptr<SessionEventSource> createSystemSource();
};

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
