// An event reminder reaches the desktop's notification service at its minute.
#include "calendar/AppleCal.h"
#include "calendar/Reminder.h"
#include "calendar/VdirCalendarStore.h"
#include "foundation/TimedEvent.h"
#include "platform/Clock.h"
#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"
#include "support/FakeClock.h"
#include "support/ManualScheduler.h"
#include "support/ScopedMachineZone.h"
#include "support/SkipInCI.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include <gtest/gtest.h>

namespace talvor::test {

// The freedesktop notification service, as far as a client sees it. Programs of other tests
// share the test bus and notify too: only this process's notices count.
class FakeNotifications : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    using QObject::QObject;

  public slots:
    uint Notify(const QString& appName, uint, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int) {
        if (connection().interface()->servicePid(message().service()) !=
            QCoreApplication::applicationPid()) {
            return 0;
        }
        received.append({appName, summary, body});
        emit notified();
        return 1;
    }

  signals:
    void notified();

  public:
    QList<QStringList> received;
};

namespace {

// Takes the shared clock, scheduler and back end back, also when an assertion ends the test
// early: a dangling shared clock would crash the next test.
struct SharedStateReset {
    SharedStateReset() = default;
    SharedStateReset(const SharedStateReset&) = delete;
    SharedStateReset& operator=(const SharedStateReset&) = delete;
    ~SharedStateReset() {
        CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, nullptr);
        TimedEventList::setShared(nullptr);
        platform::Clock::setShared(nullptr);
    }
};

Date at(const char* iso) {
    return Date::fromQDateTime(QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate));
}

TEST(calendarReminderDbus, ANotifyArrivesAtTheRemindersMinute) {
    if (!QDBusConnection::sessionBus().isConnected()) {
        GTEST_SKIP() << "needs a session bus: run under dbus-run-session";
    }
    const QString connectionName = QStringLiteral("talvor-fake-reminder-notifications");
    QDBusConnection server =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
    ASSERT_TRUE(server.isConnected());
    FakeNotifications fake;
    ASSERT_TRUE(server.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                      QDBusConnection::ExportAllSlots));
    if (!server.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        test::maySkipInCI(
            "another test program on the shared session bus may hold the notification service");
        GTEST_SKIP() << "a notification service already runs on this bus";
    }

    {
        ScopedMachineZone machine{"Europe/Lisbon", "en_GB"};
        FakeClock clock{at("2024-07-01T08:58:10Z"), QTimeZone("Europe/Lisbon")};
        platform::Clock::setShared(&clock);
        ManualScheduler scheduler{clock};
        TimedEventList::setShared(TimedEventList::create(scheduler));
        const SharedStateReset reset;
        QSignalSpy spy(&fake, &FakeNotifications::notified);

        auto standUp = CalEvent::initWithStartTime(at("2024-07-01T09:30:00Z"), 900,
                                                   QStringLiteral("Stand-up"), QString(), nullptr);
        auto reminder =
            Reminder::reminderForEvent(standUp, Reminder::Display, at("2024-07-01T09:00:00Z"));
        reminder->scheduleIfAfter(clock.now());

        scheduler.advanceTo(at("2024-07-01T08:59:59Z"));
        EXPECT_FALSE(spy.wait(300));
        scheduler.advanceTo(at("2024-07-01T09:00:01Z"));
        ASSERT_TRUE(spy.wait(10000));
        ASSERT_EQ(fake.received.size(), 1);
        EXPECT_EQ(fake.received[0],
                  QStringList({"Talvor", "Minnow", "Stand-up\nBegins on July 01 at 10:30"}));

        reminder.reset();
    }
    server.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    QDBusConnection::disconnectFromBus(connectionName);
}

TEST(calendarReminderDbus, TheAlarmOfAnEventInTheCalendarFoldersIsAnnounced) {
    if (!QDBusConnection::sessionBus().isConnected()) {
        GTEST_SKIP() << "needs a session bus: run under dbus-run-session";
    }
    const QString connectionName = QStringLiteral("talvor-fake-local-reminder-notifications");
    QDBusConnection server =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
    ASSERT_TRUE(server.isConnected());
    FakeNotifications fake;
    ASSERT_TRUE(server.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                      QDBusConnection::ExportAllSlots));
    if (!server.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        test::maySkipInCI(
            "another test program on the shared session bus may hold the notification service");
        GTEST_SKIP() << "a notification service already runs on this bus";
    }

    {
        ScopedMachineZone machine{"Europe/Lisbon", "en_GB"};
        FakeClock clock{at("2024-07-01T08:00:00Z"), QTimeZone("Europe/Lisbon")};
        platform::Clock::setShared(&clock);
        ManualScheduler scheduler{clock};
        TimedEventList::setShared(TimedEventList::create(scheduler));
        const SharedStateReset reset;
        QSignalSpy spy(&fake, &FakeNotifications::notified);

        QTemporaryDir root;
        ASSERT_TRUE(QDir().mkpath(root.path() + QStringLiteral("/home")));
        platform::MemoryPreferenceStore prefs{QStringLiteral("test")};
        platform::UserDefaults defaults{prefs};
        VdirCalendarStore store({root.path()});
        store.setDefaults(&defaults);
        platform::CalendarStore::setAuthorizationStatus(defaults,
                                                        platform::CalendarAccess::Authorized);
        AppleCal local(&store);
        CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, &local);
        // Made as the new-event form makes it: a reminder 20 minutes before.
        std::optional<bool> made;
        local.createNewEventForSource(local.getLocalEventCalendars_Parsed().at(0),
                                      QStringLiteral("Dentist"), QString(), false,
                                      at("2024-07-01T11:00:00Z"), at("2024-07-01T11:30:00Z"), -1,
                                      20, 1, [&](bool ok, auto) { made = ok; });
        ASSERT_EQ(made, true);
        auto feed = ReminderFeed::start(defaults);

        scheduler.advanceTo(at("2024-07-01T10:39:50Z"));
        EXPECT_FALSE(spy.wait(300));
        scheduler.advanceTo(at("2024-07-01T10:40:01Z"));
        ASSERT_TRUE(spy.wait(10000));
        ASSERT_EQ(fake.received.size(), 1);
        EXPECT_EQ(fake.received[0],
                  QStringList({"Talvor", "Minnow", "Dentist\nBegins on July 01 at 12:00"}));

        feed.reset();
    }
    server.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    QDBusConnection::disconnectFromBus(connectionName);
}

}  // namespace
}  // namespace talvor::test

#include "ReminderDbusTest.moc"
