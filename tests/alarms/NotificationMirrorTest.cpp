#include "AlarmsTestSupport.h"
#include "support/SkipInCI.h"

#include "alarms/TimeTexts.h"
#include "alarms/UsersNotificationManager.h"
#include "support/FakeServiceManager.h"
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
    // A quick timer goes by its length, not its stored key "default".
    auto quick = relativeAlarm(5, true, at("2024-03-04T10:00:00"));
    quick->setTitle(QStringLiteral("default"));
    quick->setIsDefaultAlarm(true);
    notifications_.scheduled.push_back(
        UserNotification{QStringLiteral("stale"), {}, {}, at("2024-03-04T12:00:00")});

    UsersNotificationManager::synchronizeWithAlarms({tea, untitled, wake, quick});
    const std::vector<UserNotification> expected = {
        {QStringLiteral("Zephyrel"), QStringLiteral("Mon, 4:05 PM"), QStringLiteral("Tea"),
         at("2024-03-04T16:05:00")},
        {QStringLiteral("Zephyrel"), QStringLiteral("Mon, 11:30 AM"), QString(),
         at("2024-03-04T11:30:00")},
        {QStringLiteral("Zephyrel"), QStringLiteral("Tue, 7:00 AM"), QStringLiteral("Wake up"),
         at("2024-03-05T07:00:00")},
        {QStringLiteral("Zephyrel"), QStringLiteral("Mon, 10:05 AM"),
         QStringLiteral("Timer, 5 min"), at("2024-03-04T10:05:00")},
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
    // `count` alarms a minute apart from 16:05 on, titled by their number.
    static AlarmList alarms(int count) {
        AlarmList list;
        for (int i = 0; i < count; ++i) {
            auto a = dateAlarm(at("2024-03-04T16:05:00").addingTimeInterval(60.0 * i));
            a->setTitle(QStringLiteral("Alarm %1").arg(i + 1));
            list.push_back(a);
        }
        return list;
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
    timers_.groups[UserTimerNotificationCenter::unitGroup()] = {{at("2024-03-01T00:00:00"), {}}};

    auto ringing = dateAlarm(at("2024-03-04T09:59:00"));
    const ScheduleOutcome outcome =
        UsersNotificationManager::synchronizeWithAlarms({tea, ringing, wake});
    EXPECT_EQ(outcome.scheduled, 2);
    EXPECT_TRUE(outcome.complete());
    EXPECT_EQ(timers_.handOvers, 1) << "all in one go";
    const std::vector<platform::UserTimers::Timer> timers = timers_.timers();
    ASSERT_EQ(timers.size(), 2u) << "the one ringing now is not handed over";
    const QString script = UserTimerNotificationCenter::command({}, {})[2];
    const QString player = QStandardPaths::findExecutable(QStringLiteral("paplay"));
    EXPECT_EQ(timers[0].when, at("2024-03-04T16:05:00"));
    EXPECT_EQ(timers[0].command,
              QStringList({"/bin/sh", "-c", script, "talvor-alarm", "'Zephyrel'",
                           "'Mon, 4:05 PM\nTea \"Earl Grey\" & \\'cake\\' for ${USER}'",
                           player.isEmpty()
                               ? QString()
                               : QStringLiteral("/home/u/.cache/talvor/Clock/Sounds/Ping.ogg"),
                           player}));
    // The title is an argument of the script, never part of it.
    EXPECT_EQ(timers[1].when, at("2024-03-05T07:00:00"));
    EXPECT_EQ(timers[1].command, QStringList({"/bin/sh", "-c", script, "talvor-alarm", "'Zephyrel'",
                                              "'Tue, 7:00 AM\n$(rm -rf ~)'", "", player}));
    EXPECT_FALSE(script.contains(QStringLiteral("Tea")));

    // The next start takes them all back, and the timers of earlier versions.
    EXPECT_TRUE(UsersNotificationManager::synchronizeWithAlarms({}).complete());
    EXPECT_TRUE(timers_.timers().empty());
    EXPECT_EQ(timers_.takenBackLegacy, QStringLiteral("talvor-alarm-"));
}

TEST_F(alarmsHandOver, WithoutAServiceManagerOneLineSaysAlarmsWillNotRing) {
    timers_.available = false;
    LogCapture log;
    UsersNotificationManager::synchronizeWithAlarms({});
    EXPECT_TRUE(log.lines().isEmpty());
    const ScheduleOutcome outcome = UsersNotificationManager::synchronizeWithAlarms(
        {dateAlarm(at("2024-03-04T16:05:00")), dateAlarm(at("2024-03-04T17:05:00"))});
    EXPECT_EQ(log.lines(), QStringList{"No user service manager answers: alarms will not ring "
                                       "while Talvor is closed"});
    EXPECT_TRUE(center_.scheduledNotifications().empty());
    EXPECT_TRUE(outcome.noService);
    EXPECT_EQ(outcome.notScheduled.size(), 2u);
    EXPECT_EQ(timers_.handOvers, 0);
}

TEST_F(alarmsHandOver, AManagerThatRefusesIsAskedOnceAndSaidSoOnce) {
    timers_.takesAtMost = 0;
    LogCapture log;
    UsersNotificationManager::synchronizeWithAlarms({dateAlarm(at("2024-03-04T16:05:00")),
                                                     dateAlarm(at("2024-03-04T17:05:00")),
                                                     dateAlarm(at("2024-03-04T18:05:00"))});
    EXPECT_EQ(timers_.handOvers, 1);
    EXPECT_EQ(log.lines(), QStringList{"The service manager did not take 3 of 3 alarms (the fake "
                                       "took 0): they will not ring while Talvor is closed"});
}

// Some alarms could not be handed over: the outcome names them, and the user is told which
// (the log alone would not tell them).
TEST_F(alarmsHandOver, TheAlarmsLeftBehindAreNamedToTheUser) {
    struct Case {
        int alarms;
        std::size_t taken;
        std::vector<int> notTaken;  // numbers of the alarms
        const char* subtitle;
        const char* text;
    };
    const Case cases[] = {
        {3,
         2,
         {3},
         "1 alarm will not ring while Talvor is closed",
         "Mon, 4:07 PM  Alarm 3\nStart Talvor again to hear them."},
        {8,
         1,
         {2, 3, 4, 5, 6, 7, 8},
         "7 alarms will not ring while Talvor is closed",
         "Mon, 4:06 PM  Alarm 2\nMon, 4:07 PM  Alarm 3\nMon, 4:08 PM  Alarm 4\n"
         "Mon, 4:09 PM  Alarm 5\nMon, 4:10 PM  Alarm 6\nand 2 more\n"
         "Start Talvor again to hear them."},
    };
    const LogCapture log;
    for (const Case& c : cases) {
        timers_.takesAtMost = c.taken;
        const ScheduleOutcome outcome =
            UsersNotificationManager::synchronizeWithAlarms(alarms(c.alarms));
        EXPECT_EQ(outcome.scheduled, static_cast<int>(c.taken));
        QStringList left;
        for (const UserNotification& n : outcome.notScheduled) {
            left << n.informativeText;
        }
        QStringList expected;
        for (const int number : c.notTaken) {
            expected << QStringLiteral("Alarm %1").arg(number);
        }
        EXPECT_EQ(left, expected);
        EXPECT_EQ(center_.scheduledNotifications().size(), c.taken);
        const std::optional<UserNotification> notice =
            UsersNotificationManager::noticeOfAlarmsNotScheduled(outcome);
        ASSERT_TRUE(notice.has_value());
        EXPECT_EQ(notice->title, QStringLiteral("Talvor Pro"));
        EXPECT_EQ(notice->subtitle, QString::fromUtf8(c.subtitle));
        EXPECT_EQ(notice->informativeText, QString::fromUtf8(c.text));
    }
    // All handed over: no notice.
    timers_.takesAtMost = 100;
    EXPECT_FALSE(UsersNotificationManager::noticeOfAlarmsNotScheduled(
        UsersNotificationManager::synchronizeWithAlarms(alarms(3))));
    // No manager at all: every alarm is named, and why none will ring.
    timers_.available = false;
    const std::optional<UserNotification> notice =
        UsersNotificationManager::noticeOfAlarmsNotScheduled(
            UsersNotificationManager::synchronizeWithAlarms(alarms(2)));
    ASSERT_TRUE(notice.has_value());
    EXPECT_EQ(notice->subtitle, QStringLiteral("2 alarms will not ring while Talvor is closed"));
    EXPECT_EQ(notice->informativeText,
              QStringLiteral("Mon, 4:05 PM  Alarm 1\nMon, 4:06 PM  Alarm 2\nNo user service "
                             "manager (systemd --user) runs on this computer to ring them.\n"
                             "Start Talvor again to hear them."));
}

// The alarm editor asks the centre whether alarms ring after a quit: it knows once the start
// has asked the manager (off the main thread), and never asks it itself.
TEST_F(alarmsHandOver, WhetherAlarmsRingAfterAQuitIsKnownFromTheStartsQuestion) {
    for (const bool available : {false, true}) {
        timers_.available = available;
        UserTimerNotificationCenter fresh;
        UserNotificationCenter::setDefaultUserNotificationCenter(&fresh);
        EXPECT_EQ(fresh.showsWhileClosed(), std::nullopt);
        EXPECT_EQ(UsersNotificationManager::alarmsStaySilentAfterQuit(), std::nullopt);
        UsersNotificationManager::synchronizeWithAlarms({});
        EXPECT_EQ(fresh.showsWhileClosed(), std::optional<bool>(available));
        EXPECT_EQ(UsersNotificationManager::alarmsStaySilentAfterQuit().has_value(), !available);
    }
    UserNotificationCenter::setDefaultUserNotificationCenter(&center_);
}

// The real hand-over over a service manager that counts its calls: a quit with 1,000
// alarms asks it two things (is it there, start one timer), never once per alarm.
TEST_F(alarmsHandOver, AThousandAlarmsGoOverInTwoCallsAndComeBackAtTheNextStart) {
    FakeServiceManager manager;
    manager.addTransientUnit(QStringLiteral("talvor-alarm-4.timer"));
    platform::UserTimers::setShared(nullptr);
    const QString group = UserTimerNotificationCenter::unitGroup();

    // The start takes back what the last run handed over.
    UsersNotificationManager::synchronizeWithAlarms({});
    EXPECT_TRUE(manager.loadedUnits().isEmpty());
    manager.clearCalls();

    const ScheduleOutcome outcome = UsersNotificationManager::synchronizeWithAlarms(alarms(1000));
    EXPECT_EQ(outcome.scheduled, 1000);
    EXPECT_TRUE(outcome.complete());
    const QStringList timer = manager.loadedUnits();
    ASSERT_EQ(timer.size(), 1);
    EXPECT_TRUE(timer[0].startsWith(group + ".")) << timer[0].toStdString();
    EXPECT_EQ(manager.calls(), QStringList({"systemctl show --property=Version --property=UnitPath",
                                            "systemctl start " + timer[0]}));
    EXPECT_EQ(manager.unitFiles().size(), 1002);

    // The next start (a new centre): nothing is left to ring twice.
    UserTimerNotificationCenter next;
    UserNotificationCenter::setDefaultUserNotificationCenter(&next);
    UsersNotificationManager::synchronizeWithAlarms({});
    EXPECT_TRUE(manager.unitFiles().isEmpty());
    EXPECT_TRUE(manager.loadedUnits().isEmpty());
    for (const QString& call : manager.calls()) {
        EXPECT_FALSE(call.startsWith(QStringLiteral("systemd-run"))) << call.toStdString();
    }
    UserNotificationCenter::setDefaultUserNotificationCenter(&center_);
    platform::UserTimers::setShared(&timers_);
}

// A copy with settings of its own (another XDG_CONFIG_HOME) never takes back this one's
// alarms: each hands over under a name of its own.
TEST_F(alarmsHandOver, ASecondCopyWithOtherSettingsLeavesTheseAlarmsAlone) {
    FakeServiceManager manager;
    platform::UserTimers::setShared(nullptr);
    UsersNotificationManager::synchronizeWithAlarms(alarms(2));
    const QStringList handedOver = manager.unitFiles();
    ASSERT_EQ(handedOver.size(), 4);
    {
        const ScopedEnvVar otherSettings("XDG_CONFIG_HOME", sandbox_.root() + "/other-config");
        UserTimerNotificationCenter second;
        UserNotificationCenter::setDefaultUserNotificationCenter(&second);
        EXPECT_NE(UserTimerNotificationCenter::unitGroup(), handedOver.front().left(22));
        UsersNotificationManager::synchronizeWithAlarms(alarms(1));
        UsersNotificationManager::synchronizeWithAlarms({});
    }
    EXPECT_EQ(manager.unitFiles(), handedOver);
    ASSERT_EQ(manager.loadedUnits().size(), 1);
    EXPECT_TRUE(
        manager.loadedUnits()[0].startsWith(UserTimerNotificationCenter::unitGroup() + "."));
    UserNotificationCenter::setDefaultUserNotificationCenter(&center_);
    platform::UserTimers::setShared(&timers_);
}

// A manager that stops answering is waited on once: the rest of the hand-over asks it
// nothing, so that quitting still ends soon; and the user hears which alarms stay silent.
TEST_F(alarmsHandOver, AManagerThatDoesNotAnswerIsWaitedOnOnce) {
    FakeServiceManager manager;
    manager.hang();
    platform::UserTimers::setShared(nullptr);

    const ScheduleOutcome outcome = UsersNotificationManager::synchronizeWithAlarms(
        {dateAlarm(at("2024-03-04T16:05:00")), dateAlarm(at("2024-03-04T17:05:00"))});

    platform::UserTimers::setShared(&timers_);
    const QStringList calls = manager.calls();
    ASSERT_EQ(calls.size(), 2) << calls.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(calls[0].startsWith(QStringLiteral("systemctl show")));
    EXPECT_TRUE(calls[1].startsWith(QStringLiteral("systemctl list-units")));
    EXPECT_EQ(outcome.notScheduled.size(), 2u);
    EXPECT_TRUE(UsersNotificationManager::noticeOfAlarmsNotScheduled(outcome).has_value());
}

// A real round trip where the user's systemd answers: made at quit, gone at the next start.
TEST_F(alarmsHandOver, TheServiceManagerKeepsTheTimersUntilTheNextStart) {
    platform::UserTimers::setShared(nullptr);
    if (!platform::UserTimers::shared().isAvailable()) {
        platform::UserTimers::setShared(&timers_);
        test::maySkipInCI("a container runs no systemd user manager");
        GTEST_SKIP() << "no user service manager answers (systemctl --user)";
    }
    // The timers of this copy's alarms that the manager runs.
    const auto activeTimers = [&] {
        QProcess systemctl;
        systemctl.start(QStringLiteral("systemctl"),
                        {QStringLiteral("--user"), QStringLiteral("list-units"),
                         QStringLiteral("--plain"), QStringLiteral("--no-legend"),
                         QStringLiteral("--state=active"), QStringLiteral("--type=timer"),
                         UserTimerNotificationCenter::unitGroup() + QStringLiteral(".*")});
        systemctl.waitForFinished(5000);
        return QString::fromUtf8(systemctl.readAllStandardOutput())
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
            .size();
    };
    auto later = dateAlarm(Date::fromQDateTime(QDateTime::currentDateTimeUtc().addSecs(3600)));
    later->setTitle(QStringLiteral("Talvor test timer"));
    EXPECT_TRUE(UsersNotificationManager::synchronizeWithAlarms({later}).complete());
    EXPECT_EQ(activeTimers(), 1);
    UsersNotificationManager::synchronizeWithAlarms({});
    EXPECT_EQ(activeTimers(), 0);
    platform::UserTimers::setShared(&timers_);
}

}  // namespace
}  // namespace talvor::test
