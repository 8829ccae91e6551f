#include "alarms/UserNotificationCenter.h"
#include "support/QtPrinters.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QSignalSpy>
#include <QStringList>
#include <QVariantMap>

#include <gtest/gtest.h>

namespace talvor::test {

// The freedesktop notification service, as far as a client sees it.
class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    using QObject::QObject;

  public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout) {
        received = {appName,
                    QString::number(replacesId),
                    appIcon,
                    summary,
                    body,
                    actions.join(QLatin1Char(',')),
                    QString::number(hints.size()),
                    QString::number(expireTimeout)};
        emit notified();
        return 1;
    }

  signals:
    void notified();

  public:
    QStringList received;
};

namespace {

TEST(alarmsDesktopNotifications, ANotificationReachesTheNotificationService) {
    if (!QDBusConnection::sessionBus().isConnected()) {
        GTEST_SKIP() << "needs a session bus: run under dbus-run-session";
    }
    QDBusConnection server = QDBusConnection::connectToBus(
        QDBusConnection::SessionBus, QStringLiteral("talvor-fake-notifications"));
    ASSERT_TRUE(server.isConnected());
    FakeNotificationServer fake;
    ASSERT_TRUE(server.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                      QDBusConnection::ExportAllSlots));
    if (!server.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        GTEST_SKIP() << "a notification service already runs on this bus";
    }
    QSignalSpy spy(&fake, &FakeNotificationServer::notified);

    EXPECT_TRUE(showDesktopNotification(UserNotification{QStringLiteral("Zephyrel"),
                                                         QStringLiteral("Mon, 7:00 AM"),
                                                         QStringLiteral("Tea & cake"), Date()}));
    ASSERT_TRUE(spy.wait(10000));
    EXPECT_EQ(fake.received, QStringList({"Talvor", "0", "", "Zephyrel", "Mon, 7:00 AM\nTea & cake",
                                          "", "0", "-1"}));

    server.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    QDBusConnection::disconnectFromBus(QStringLiteral("talvor-fake-notifications"));
}

}  // namespace
}  // namespace talvor::test

#include "DesktopNotificationDbusTest.moc"
