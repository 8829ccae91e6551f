// The alarms of events in the calendar folders: what the store reads of them, what the local
// back end hands the reminders, and the notification at the alarm's minute.
#include "alarms/UserNotificationCenter.h"
#include "calendar/AppleCal.h"
#include "calendar/CalEvent.h"
#include "calendar/Reminder.h"
#include "calendar/VdirCalendarStore.h"
#include "foundation/TimedEvent.h"
#include "platform/Clock.h"
#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"
#include "support/FakeClock.h"
#include "support/ManualScheduler.h"
#include "support/ScopedMachineZone.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace talvor {
namespace {

Date berlin(const char* iso) {
    QDateTime t = QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
    t.setTimeZone(QTimeZone("Europe/Berlin"));
    return Date::fromQDateTime(t);
}

class LocalReminders : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        QDir().mkpath(root.path() + QStringLiteral("/home"));
        platform::Clock::setShared(&clock);
        TimedEventList::setShared(list);
        Reminder::setPoster([this](const UserNotification& n) { posted.push_back(n); });
        store.setDefaults(&defaults);
        platform::CalendarStore::setAuthorizationStatus(defaults,
                                                        platform::CalendarAccess::Authorized);
    }
    void TearDown() override {
        Reminder::setPoster({});
        TimedEventList::setShared(nullptr);
        list.reset();
        platform::Clock::setShared(nullptr);
    }
    QString home() const { return QDir::cleanPath(root.path() + QStringLiteral("/home")); }
    void writeEvent(const char* name, const QByteArray& body) {
        QFile file(home() + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n" + body +
                   "END:VCALENDAR\r\n");
    }
    CalSourcePtr homeSource() {
        for (const CalSourcePtr& s : cal.getLocalEventCalendars_Parsed()) {
            if (s->identifier() == home()) {
                return s;
            }
        }
        return nullptr;
    }

    test::ScopedMachineZone machine{"Europe/Berlin", "en_US"};
    test::FakeClock clock{berlin("2025-03-04T08:00:00"), QTimeZone("Europe/Berlin")};
    test::ManualScheduler scheduler{clock};
    std::shared_ptr<TimedEventList> list = TimedEventList::create(scheduler);
    std::vector<UserNotification> posted;
    QTemporaryDir root;
    platform::MemoryPreferenceStore prefs{QStringLiteral("test")};
    platform::UserDefaults defaults{prefs};
    VdirCalendarStore store{{root.path()}};
    AppleCal cal{&store};
};

TEST_F(LocalReminders, AnAlarmMadeByTheSheetReadsBackAsALeadTime) {
    struct Case {
        int minutes;
        std::optional<const char*> rings;  // none: the event has no alarm
    };
    const Case cases[] = {
        {0, std::nullopt}, {15, "2025-03-04T09:45:00"}, {60, "2025-03-04T09:00:00"}};
    for (const Case& c : cases) {
        const QString title = QStringLiteral("Review %1").arg(c.minutes);
        std::optional<bool> ok;
        cal.createNewEventForSource(homeSource(), title, QString(), false,
                                    berlin("2025-03-04T10:00:00"), berlin("2025-03-04T11:00:00"),
                                    -1, c.minutes, 1, [&](bool done, auto) { ok = done; });
        ASSERT_EQ(ok, true) << c.minutes;
        const auto alarms = cal.eventAlarms(clock.now(), berlin("2025-03-05T00:00:00"));
        const auto mine = std::find_if(alarms.begin(), alarms.end(), [&](const EventAlarm& a) {
            return a.event->title() == title;
        });
        if (!c.rings) {
            EXPECT_EQ(mine, alarms.end()) << c.minutes;
            continue;
        }
        ASSERT_NE(mine, alarms.end()) << c.minutes;
        EXPECT_EQ(mine->alarm.value(QStringLiteral("ACTION")), QStringLiteral("DISPLAY"));
        const auto trigger = reminderTriggerFromVALARM(*mine->event, mine->alarm);
        ASSERT_TRUE(trigger.has_value()) << c.minutes;
        EXPECT_EQ(trigger->type, Reminder::Display);
        EXPECT_EQ(trigger->time, berlin(*c.rings)) << c.minutes;
    }
}

TEST_F(LocalReminders, HandWrittenAlarmsOfEveryOccurrenceAreHandedOn) {
    // Two alarms on a daily series (one from the end), one on a single event, and an event
    // without any; the override of one occurrence brings its own alarm.
    writeEvent("standup.ics",
               "BEGIN:VEVENT\r\nUID:standup\r\nDTSTART:20250304T090000Z\r\n"
               "DTEND:20250304T091500Z\r\nSUMMARY:Standup\r\nRRULE:FREQ=DAILY;COUNT=3\r\n"
               "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT5M\r\nEND:VALARM\r\n"
               "BEGIN:VALARM\r\nACTION:AUDIO\r\nTRIGGER;RELATED=END:PT0S\r\nEND:VALARM\r\n"
               "END:VEVENT\r\n"
               "BEGIN:VEVENT\r\nUID:standup\r\nRECURRENCE-ID:20250305T090000Z\r\n"
               "DTSTART:20250305T100000Z\r\nDTEND:20250305T101500Z\r\nSUMMARY:Standup late\r\n"
               "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER;VALUE=DATE-TIME:20250305T094000Z\r\n"
               "END:VALARM\r\nEND:VEVENT\r\n");
    writeEvent("quiet.ics",
               "BEGIN:VEVENT\r\nUID:quiet\r\nDTSTART:20250304T120000Z\r\n"
               "DTEND:20250304T130000Z\r\nSUMMARY:Quiet\r\nEND:VEVENT\r\n");

    std::vector<std::string> got;
    for (const EventAlarm& a : cal.eventAlarms(clock.now(), berlin("2025-03-08T00:00:00"))) {
        const auto t = reminderTriggerFromVALARM(*a.event, a.alarm);
        ASSERT_TRUE(t.has_value());
        got.push_back(a.event->title().toStdString() + " " + std::to_string(t->type) + " " +
                      t->time.toQDateTime().toUTC().toString(Qt::ISODate).toStdString());
    }
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{
                       "Standup 1 2025-03-04T08:55:00Z", "Standup 1 2025-03-06T08:55:00Z",
                       "Standup 2 2025-03-04T09:15:00Z", "Standup 2 2025-03-06T09:15:00Z",
                       "Standup late 1 2025-03-05T09:40:00Z"}));

    // A reminder due before the access question is answered still comes; after a no,
    // nothing is read.
    for (const auto& [access, count] : std::vector<std::pair<platform::CalendarAccess, size_t>>{
             {platform::CalendarAccess::NotDetermined, 5},
             {platform::CalendarAccess::Denied, 0},
             {platform::CalendarAccess::Restricted, 0}}) {
        platform::CalendarStore::setAuthorizationStatus(defaults, access);
        EXPECT_EQ(cal.eventAlarms(clock.now(), berlin("2025-03-08T00:00:00")).size(), count)
            << static_cast<int>(access);
    }
}

TEST_F(LocalReminders, TheNotificationComesAtTheAlarmsMinute) {
    std::optional<bool> ok;
    cal.createNewEventForSource(homeSource(), QStringLiteral("Dentist"), QString(), false,
                                berlin("2025-03-04T10:00:00"), berlin("2025-03-04T10:30:00"), -1,
                                30, 1, [&](bool done, auto) { ok = done; });
    ASSERT_EQ(ok, true);
    EventReminders reminders;
    reminders.reloadFrom(&cal, clock.now());
    ASSERT_EQ(reminders.reminders().size(), 1u);

    scheduler.advanceTo(berlin("2025-03-04T09:29:30"));
    EXPECT_TRUE(posted.empty());
    scheduler.advanceTo(berlin("2025-03-04T09:30:01"));
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].title, QStringLiteral("Minnow"));
    EXPECT_EQ(posted[0].subtitle, QStringLiteral("Dentist"));
    EXPECT_EQ(posted[0].informativeText, QStringLiteral("Begins on March 04 at 10:00"));
    reminders.clear();
}

}  // namespace
}  // namespace talvor
