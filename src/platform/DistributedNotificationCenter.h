#pragma once

#include "NotificationCenter.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>

class QDBusMessage;

namespace talvor::platform {

// The cross-process notification centre. A post is the session-bus signal
// `Posted(name, object, userInfo)`, heard by every centre on the bus, the poster's own
// included (once). Observers run on the main thread, never inside `post`; `post` may be
// called from any thread. Without a session bus the centre delivers to its own observers.
class DistributedNotificationCenter : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* kObjectPath = "/org/talvor/Notifications";
    static constexpr const char* kInterface = "org.talvor.DistributedNotifications";
    static constexpr const char* kSignal = "Posted";
    // Where posts travel: kObjectPath, which every copy of the program shares, or a path of
    // its own under it for each value of TALVOR_NOTIFICATION_SCOPE (letters, digits and
    // "_"), so that test programs sharing one bus do not hear each other.
    static QString objectPath();

    // Connects to the bus named by DBUS_SESSION_BUS_ADDRESS on a connection of its own and
    // hears posts from the moment it is constructed. Tests create their own instances.
    explicit DistributedNotificationCenter(QObject* parent = nullptr);
    ~DistributedNotificationCenter() override;
    DistributedNotificationCenter(const DistributedNotificationCenter&) = delete;
    DistributedNotificationCenter& operator=(const DistributedNotificationCenter&) = delete;

    static DistributedNotificationCenter& defaultCenter();

    // OfItsOwn: a connection of its own. SharedSession: the process's session-bus
    // connection, which the other users of the bus share.
    enum class Connection { OfItsOwn, SharedSession };
    explicit DistributedNotificationCenter(Connection connection, QObject* parent = nullptr);

    // `name` empty: any name. `object` invalid: any object; otherwise it is compared as text
    // with the posted object. A post without an object arrives with an invalid object.
    [[nodiscard]] Observation addObserver(const QString& name, const QVariant& object,
                                          std::function<void(const Notification&)> callback);
    // userInfo carries property-list values (bool, integers, double, QString, QByteArray,
    // QDateTime as UTC, lists and maps of them); anything else is sent as text where it
    // converts to text and dropped where not, with a log line.
    void post(const QString& name, const QString& object = QString(),
              const QVariantMap& userInfo = QVariantMap());

    // Returns once the bus has passed every post made so far by this centre to every listener,
    // this centre included (before exiting, say). Blocks for one round trip to the bus.
    void flush();

    // False while the centre works in this process only.
    bool isConnected() const { return connected_.load(); }

  private slots:
    void onPosted(const QDBusMessage& message);

  private:
    void deliverLater(Notification note);

    std::shared_ptr<detail::ObserverRegistry> registry_;
    bool ownsConnection_ = true;
    QString connectionName_;
    QDBusConnection bus_;
    std::atomic<bool> connected_{false};
    std::atomic<bool> sendFailureLogged_{false};
};

}  // namespace talvor::platform
