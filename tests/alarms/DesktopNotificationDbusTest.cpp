#include "AlarmsTestSupport.h"
#include "support/SkipInCI.h"

#include "alarms/UserNotificationCenter.h"
#include "support/FakeSoundPlayer.h"
#include "support/QtPrinters.h"

#include <QProcess>
#include <QStandardPaths>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStringList>
#include <QThread>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <memory>

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
        test::maySkipInCI(
            "another test program on the shared session bus may hold the notification service");
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

// At quit the notice of alarms left behind waits until the service has taken it: the
// process ends right after. The service answers from a thread of its own, as another
// process would while this one waits.
TEST(alarmsDesktopNotifications, AQuitNoticeIsTakenBeforeTheCallReturns) {
    if (!QDBusConnection::sessionBus().isConnected()) {
        GTEST_SKIP() << "needs a session bus: run under dbus-run-session";
    }
    const QString name = QStringLiteral("talvor-fake-notifications-thread");
    std::unique_ptr<FakeNotificationServer> fake;
    bool registered = false;
    std::unique_ptr<QThread> service(QThread::create([&] {
        QDBusConnection server = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        fake = std::make_unique<FakeNotificationServer>();
        registered = server.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                           fake.get(), QDBusConnection::ExportAllSlots) &&
                     server.registerService(QStringLiteral("org.freedesktop.Notifications"));
        QEventLoop loop;
        loop.exec();
        server.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        fake.reset();
    }));
    QSemaphore ready;
    QObject::connect(service.get(), &QThread::started, [&] { ready.release(); });
    service->start();
    ready.acquire();
    // The thread registers before its loop runs; wait for the name to appear.
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    for (int i = 0;
         i < 200 && !bus->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications"));
         ++i) {
        QThread::msleep(10);
    }
    if (!bus->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications"))) {
        service->quit();
        service->wait();
        test::maySkipInCI(
            "another test program on the shared session bus may hold the notification service");
        GTEST_SKIP() << "the notification service could not be had on this bus";
    }

    EXPECT_TRUE(showDesktopNotification(
        UserNotification{QStringLiteral("Talvor Pro"),
                         QStringLiteral("1 alarm will not ring while Talvor is closed"),
                         QStringLiteral("Mon, 4:05 PM  Tea"), Date()},
        2000));
    ASSERT_EQ(fake->received.size(), 8);
    EXPECT_EQ(fake->received[4],
              QStringLiteral("1 alarm will not ring while Talvor is closed\nMon, 4:05 PM  Tea"));
    service->quit();
    service->wait();
    QDBusConnection::disconnectFromBus(name);
    EXPECT_TRUE(registered);
}

// A ringing alarm, and an alarm handed over at quit, reach the notification service.
class alarmsDbusNotify : public AlarmsTest {
  protected:
    void SetUp() override {
        AlarmsTest::SetUp();
        if (!QDBusConnection::sessionBus().isConnected()) {
            GTEST_SKIP() << "needs a session bus: run under dbus-run-session";
        }
        server_.emplace(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                      QStringLiteral("talvor-fake-notify")));
        ASSERT_TRUE(server_->registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                            &fake_, QDBusConnection::ExportAllSlots));
        if (!server_->registerService(QStringLiteral("org.freedesktop.Notifications"))) {
            test::maySkipInCI(
                "another test program on the shared session bus may hold the notification service");
            GTEST_SKIP() << "a notification service already runs on this bus";
        }
        registered_ = true;
    }
    void TearDown() override {
        if (server_) {
            if (registered_) {
                server_->unregisterService(QStringLiteral("org.freedesktop.Notifications"));
            }
            server_.reset();
            QDBusConnection::disconnectFromBus(QStringLiteral("talvor-fake-notify"));
        }
        AlarmsTest::TearDown();
    }
    std::optional<QDBusConnection> server_;
    FakeNotificationServer fake_;
    bool registered_ = false;
};

TEST_F(alarmsDbusNotify, ARingingAlarmIsShownByTheNotificationService) {
    FakeSoundSystem sounds(scheduler_);
    controller_.setNotifier({});  // the real one: the session bus
    QSignalSpy spy(&fake_, &FakeNotificationServer::notified);
    auto tea = dateAlarm(at("2024-03-04T10:00:00"));
    tea->setTitle(QStringLiteral("Tea"));
    controller_.scheduleAlarm(tea);
    scheduler_.advanceBy(1.0);
    ASSERT_TRUE(tea->isTriggered());
    ASSERT_TRUE(spy.wait(10000));
    EXPECT_EQ(fake_.received,
              QStringList({"Talvor", "0", "", "Zephyrel", "Mon, 10:00 AM\nTea", "", "0", "-1"}));
    controller_.clearFromMenu(tea);
    scheduler_.runPosted();
}

TEST_F(alarmsDbusNotify, TheHandedOverCommandShowsTheAlarmAsWritten) {
    if (QStandardPaths::findExecutable(QStringLiteral("gdbus")).isEmpty()) {
        GTEST_SKIP() << "needs gdbus";
    }
    QSignalSpy spy(&fake_, &FakeNotificationServer::notified);
    const UserNotification n{QStringLiteral("Zephyrel"), QStringLiteral("Mon, 7:00 AM"),
                             QStringLiteral("Tea \"Earl Grey\" & 'cake' $(true) 42"), Date()};
    const QStringList command = UserTimerNotificationCenter::command(n, QString());
    QProcess run;
    run.start(command.front(), command.mid(1));
    ASSERT_TRUE(spy.wait(10000)) << run.readAllStandardError().toStdString();
    run.waitForFinished(10000);
    EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
    ASSERT_EQ(fake_.received.size(), 8);
    EXPECT_EQ(fake_.received[3], QStringLiteral("Zephyrel"));
    EXPECT_EQ(fake_.received[4],
              QStringLiteral("Mon, 7:00 AM\nTea \"Earl Grey\" & 'cake' $(true) 42"));
}

}  // namespace
}  // namespace talvor::test

#include "DesktopNotificationDbusTest.moc"
