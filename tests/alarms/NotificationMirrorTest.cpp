#include "AlarmsTestSupport.h"

#include "alarms/TimeTexts.h"
#include "alarms/UsersNotificationManager.h"
#include "support/FakeUserTimers.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace talvor::test {
namespace {

class alarmsMirror : public AlarmsTest {};

TEST_F(alarmsMirror, OneNotificationPerAlarmInListOrder) {
    auto tea = dateAlarm(at("2024-03-04T16:05:00"));
    tea->setTitle(QStringLiteral("Tea"));
    auto untitled = relativeAlarm(90, true, at("2024-03-04T10:00:00"));
    untitled->setTitle(QString());
    auto wake = Alarm::initWithTime(at("2024-03-05T07:00:00"), QStringLiteral("Wake up"));
    wake->setSelRowNo(2);
    notifications_.scheduled.push_back(
        UserNotification{QStringLiteral("stale"), {}, {}, at("2024-03-04T12:00:00")});

    UsersNotificationManager::synchronizeWithAlarms({tea, untitled, wake});
    const std::vector<UserNotification> expected = {
        {QStringLiteral("Zephyrel"), QStringLiteral("Mon, 4:05 PM"), QStringLiteral("Tea"),
         at("2024-03-04T16:05:00")},
        {QStringLiteral("Zephyrel"), QStringLiteral("Mon, 11:30 AM"), QString(),
         at("2024-03-04T11:30:00")},
        {QStringLiteral("Zephyrel"), QStringLiteral("Tue, 7:00 AM"), QStringLiteral("Wake up"),
         at("2024-03-05T07:00:00")},
    };
    EXPECT_EQ(notifications_.scheduled, expected);

    UsersNotificationManager::synchronizeWithAlarms({});
    EXPECT_TRUE(notifications_.scheduled.empty());
}

TEST_F(alarmsMirror, TheTimeTextFollowsTheLocalesClock) {
    struct Case {
        const char* locale;
        bool twentyFour;
        const char* text;
    };
    for (const Case& c : {Case{"en_US", false, "Tue, 7:05 PM"}, Case{"en_GB", true, "Tue, 19:05"},
                          Case{"de_DE", true, "Di., 19:05"}}) {
        setIcuLocale(c.locale);
        EXPECT_EQ(isTwentyFourHourDateFormat(), c.twentyFour) << c.locale;
        EXPECT_EQ(formatTime(at("2024-03-05T19:05:59")), QString::fromUtf8(c.text)) << c.locale;
    }
}

TEST_F(alarmsMirror, TheDesktopCentreShowsEachNotificationAtItsDate) {
    std::vector<std::pair<QString, Date>> shown;
    DesktopUserNotificationCenter center(scheduler_, [&](const UserNotification& n) {
        shown.emplace_back(n.informativeText, clock_.now());
    });
    const auto note = [](const char* text, Date when) {
        return UserNotification{QStringLiteral("Zephyrel"), QString(), QString::fromLatin1(text),
                                when};
    };
    center.scheduleNotification(note("later", at("2024-03-04T12:00:00")));
    center.scheduleNotification(note("passed", at("2024-03-04T09:00:00")));
    center.scheduleNotification(note("soon", at("2024-03-04T11:00:00")));
    EXPECT_EQ(center.scheduledNotifications().size(), 3u);

    scheduler_.advanceTo(at("2024-03-04T11:30:00"));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], std::make_pair(QStringLiteral("passed"), at("2024-03-04T10:00:00")));
    EXPECT_EQ(shown[1], std::make_pair(QStringLiteral("soon"), at("2024-03-04T11:00:00")));
    ASSERT_EQ(center.scheduledNotifications().size(), 1u);
    EXPECT_EQ(center.scheduledNotifications().front().informativeText, QStringLiteral("later"));

    center.removeAllScheduledNotifications();
    EXPECT_TRUE(center.scheduledNotifications().empty());
    scheduler_.advanceTo(at("2024-03-05T00:00:00"));
    EXPECT_EQ(shown.size(), 2u);
}

TEST(alarmsMirrorWithoutBus, ShowingSaysOnceThatThereIsNoBus) {
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/talvor-test-bus");
    LogCapture log;
    const UserNotification n{QStringLiteral("Zephyrel"), QStringLiteral("Mon, 7:00 AM"),
                             QStringLiteral("Tea"), Date()};
    EXPECT_FALSE(showDesktopNotification(n));
    EXPECT_FALSE(showDesktopNotification(n));
    EXPECT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.contains(QStringLiteral("No session bus")));
}

// At quit the alarms are handed to the user's service manager, which shows them while
// Talvor is closed; at the next start they are taken back.
class alarmsHandOver : public AlarmsTest {
  protected:
    void SetUp() override {
        AlarmsTest::SetUp();
        UserNotificationCenter::setDefaultUserNotificationCenter(&center_);
    }
    FakeUserTimers timers_;
    UserTimerNotificationCenter center_;
};

TEST_F(alarmsHandOver, TwoAlarmsBecomeTwoTimersWithTheseCommandLines) {
    auto tea = dateAlarm(at("2024-03-04T16:05:00"));
    tea->setTitle(QStringLiteral("Tea \"Earl Grey\" & 'cake' for ${USER}"));
    tea->setIsPlaySound(true);
    tea->setSoundPath(QStringLiteral("/home/u/.cache/talvor/Clock/Sounds/Ping.ogg"));
    auto wake = Alarm::initWithTime(at("2024-03-05T07:00:00"), QStringLiteral("$(rm -rf ~)"));
    wake->setSelRowNo(2);
    timers_.timers.push_back({QStringLiteral("talvor-alarm-9"), at("2024-03-01T00:00:00"), {}});

    auto ringing = dateAlarm(at("2024-03-04T09:59:00"));
    UsersNotificationManager::synchronizeWithAlarms({tea, ringing, wake});
    ASSERT_EQ(timers_.timers.size(), 2u) << "the one ringing now is not handed over";
    // The manager expands $NAME and ${NAME} in what it runs: each dollar goes doubled.
    const QString script =
        UserTimerNotificationCenter::command({}, {})[2].replace(QLatin1Char('$'), "$$");
    const QString player = QStandardPaths::findExecutable(QStringLiteral("paplay"));
    EXPECT_EQ(
        platform::systemdRunArguments(timers_.timers[0]),
        QStringList(
            {"--user", "--quiet", "--unit=talvor-alarm-1", "--on-calendar=2024-03-04 15:05:00 UTC",
             "--timer-property=AccuracySec=1s", "--", "/bin/sh", "-c", script, "talvor-alarm",
             "'Zephyrel'", "'Mon, 4:05 PM\nTea \"Earl Grey\" & \\'cake\\' for $${USER}'",
             player.isEmpty() ? QString()
                              : QStringLiteral("/home/u/.cache/talvor/Clock/Sounds/Ping.ogg"),
             player}));
    // The title is an argument of the script, never part of it.
    EXPECT_EQ(
        platform::systemdRunArguments(timers_.timers[1]),
        QStringList({"--user", "--quiet", "--unit=talvor-alarm-2",
                     "--on-calendar=2024-03-05 06:00:00 UTC", "--timer-property=AccuracySec=1s",
                     "--", "/bin/sh", "-c", script, "talvor-alarm", "'Zephyrel'",
                     "'Tue, 7:00 AM\n$$(rm -rf ~)'", "", player}));
    EXPECT_FALSE(script.contains(QStringLiteral("Tea")));

    // The next start takes them all back.
    UsersNotificationManager::synchronizeWithAlarms({});
    EXPECT_TRUE(timers_.timers.empty());
}

TEST_F(alarmsHandOver, WithoutAServiceManagerOneLineSaysAlarmsWillNotRing) {
    timers_.available = false;
    LogCapture log;
    UsersNotificationManager::synchronizeWithAlarms({});
    EXPECT_TRUE(log.lines().isEmpty());
    UsersNotificationManager::synchronizeWithAlarms(
        {dateAlarm(at("2024-03-04T16:05:00")), dateAlarm(at("2024-03-04T17:05:00"))});
    EXPECT_EQ(log.lines(), QStringList{"No user service manager answers: alarms will not ring "
                                       "while Talvor is closed"});
    EXPECT_TRUE(center_.scheduledNotifications().empty());
}

TEST_F(alarmsHandOver, AManagerThatRefusesIsAskedOnceAndSaidSoOnce) {
    timers_.refuses = true;
    LogCapture log;
    UsersNotificationManager::synchronizeWithAlarms({dateAlarm(at("2024-03-04T16:05:00")),
                                                     dateAlarm(at("2024-03-04T17:05:00")),
                                                     dateAlarm(at("2024-03-04T18:05:00"))});
    EXPECT_EQ(timers_.attempts, 1);
    EXPECT_EQ(log.lines(), QStringList{"The service manager did not take the alarms: alarms "
                                       "will not ring while Talvor is closed"});
}

// A real round trip where the user's systemd answers: made at quit, gone at the next start.
// A manager that stops answering is waited on once: the rest of the hand-over asks it
// nothing, so that quitting still ends within a second.
TEST_F(alarmsHandOver, AManagerThatDoesNotAnswerIsWaitedOnOnce) {
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    const QString calls = bin.filePath(QStringLiteral("calls"));
    const auto tool = [&](const QString& name, const QByteArray& body) {
        QFile f(bin.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho \"" + name.toUtf8() + " $2\" >> '" + calls.toUtf8() + "'\n" +
                body);
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    };
    tool(QStringLiteral("systemctl"),
         "if [ \"$2\" = show ]; then echo Version=252; exit 0; fi\nexec sleep 5\n");
    tool(QStringLiteral("systemd-run"), "exec sleep 5\n");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);
    platform::UserTimers::setShared(nullptr);

    UsersNotificationManager::synchronizeWithAlarms(
        {dateAlarm(at("2024-03-04T16:05:00")), dateAlarm(at("2024-03-04T17:05:00"))});

    qputenv("PATH", path);
    platform::UserTimers::setShared(&timers_);
    QFile log(calls);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
              QStringList({"systemctl show", "systemctl list-units"}));
}

TEST_F(alarmsHandOver, TheServiceManagerKeepsTheTimersUntilTheNextStart) {
    platform::UserTimers::setShared(nullptr);
    if (!platform::UserTimers::shared().isAvailable()) {
        platform::UserTimers::setShared(&timers_);
        GTEST_SKIP() << "no user service manager answers (systemctl --user)";
    }
    auto later = dateAlarm(Date::fromQDateTime(QDateTime::currentDateTimeUtc().addSecs(3600)));
    later->setTitle(QStringLiteral("Talvor test timer"));
    UsersNotificationManager::synchronizeWithAlarms({later});
    EXPECT_EQ(platform::UserTimers::shared().list(UserTimerNotificationCenter::kUnitPrefix),
              QStringList{"talvor-alarm-1"});
    UsersNotificationManager::synchronizeWithAlarms({});
    EXPECT_TRUE(
        platform::UserTimers::shared().list(UserTimerNotificationCenter::kUnitPrefix).isEmpty());
    platform::UserTimers::setShared(&timers_);
}

}  // namespace
}  // namespace talvor::test
