#include "AlarmsTestSupport.h"

#include "alarms/TimeTexts.h"
#include "alarms/UsersNotificationManager.h"
#include "support/TestEnvironment.h"

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

}  // namespace
}  // namespace talvor::test
