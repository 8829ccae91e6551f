// Event reminders on the minute scheduler: when they fire, what they say, what they skip.
#include "alarms/UserNotificationCenter.h"
#include "calendar/CalendarBackEnd.h"
#include "calendar/Reminder.h"
#include "foundation/TimedEvent.h"
#include "platform/Clock.h"
#include "platform/KeyedArchiver.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"
#include "support/FakeClock.h"
#include "support/ManualScheduler.h"
#include "support/ScopedMachineZone.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace talvor {
namespace {

Date at(const char* iso) {
    return Date::fromQDateTime(QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate));
}

class Reminders : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::setShared(&clock);
        TimedEventList::setShared(list);
        Reminder::setPoster([this](const UserNotification& n) { posted.push_back(n); });
    }
    void TearDown() override {
        Reminder::setPoster({});
        TimedEventList::setShared(nullptr);
        list.reset();
        platform::Clock::setShared(nullptr);
    }
    CalEventPtr event(const char* title, const char* start, double duration = 3600) {
        return CalEvent::initWithStartTime(at(start), duration, QString::fromLatin1(title),
                                           QString(), nullptr);
    }

    test::ScopedMachineZone machine{"Europe/Berlin", "de_DE"};
    test::FakeClock clock{at("2024-03-04T08:59:30Z"), QTimeZone("Europe/Berlin")};
    test::ManualScheduler scheduler{clock};
    std::shared_ptr<TimedEventList> list = TimedEventList::create(scheduler);
    std::vector<UserNotification> posted;
};

TEST_F(Reminders, FiresAtItsMinuteWithTheEventsTitleAndEnglishStart) {
    auto tea = event("Tea with Ada", "2024-03-04T09:15:00Z");
    auto reminder = Reminder::reminderForEvent(tea, Reminder::Display, at("2024-03-04T09:05:00Z"));
    reminder->scheduleIfAfter(clock.now());
    ASSERT_TRUE(reminder->isScheduled());
    const auto pending = list->pendingEvents();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0]->priority(), 1);

    scheduler.advanceTo(at("2024-03-04T09:04:30Z"));
    EXPECT_TRUE(posted.empty());
    scheduler.advanceTo(at("2024-03-04T09:05:01Z"));
    ASSERT_EQ(posted.size(), 1u);
    // A German desktop still reads the English text, in the user's zone.
    EXPECT_EQ(posted[0].title, QStringLiteral("Minnow"));
    EXPECT_EQ(posted[0].subtitle, QStringLiteral("Tea with Ada"));
    EXPECT_EQ(posted[0].informativeText, QStringLiteral("Begins on March 04 at 10:15"));
    EXPECT_TRUE(reminder->hasFired());
    EXPECT_FALSE(reminder->isScheduled());
    scheduler.advanceBy(600);
    EXPECT_EQ(posted.size(), 1u);
}

TEST_F(Reminders, SchedulingRules) {
    struct Case {
        const char* name;
        const char* after;
        bool firedBefore;
        bool scheduled;
    };
    const Case cases[] = {
        {"before its time", "2024-03-04T09:00:00Z", false, true},
        {"at its time", "2024-03-04T09:05:00Z", false, false},
        {"later than its time", "2024-03-04T09:06:00Z", false, false},
        {"already fired", "2024-03-04T09:00:00Z", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = Reminder::reminderForEvent(event("x", "2024-03-04T09:15:00Z"), Reminder::Display,
                                            at("2024-03-04T09:05:00Z"));
        r->setHasFired(c.firedBefore);
        r->scheduleIfAfter(at(c.after));
        EXPECT_EQ(r->isScheduled(), c.scheduled);
        r->scheduleIfAfter(at(c.after));  // a second call adds nothing
        EXPECT_EQ(list->pendingEvents().size(), c.scheduled ? 1u : 0u);
        r.reset();  // going away takes its entry along
        EXPECT_TRUE(list->pendingEvents().empty());
    }
}

TEST_F(Reminders, AlertKindsAndInvalidEvents) {
    struct Case {
        uint32_t type;
        bool invalidate;
        bool posts;
        bool fired;
    };
    const Case cases[] = {
        {Reminder::Display, false, true, true},  {Reminder::Sound, false, true, true},
        {Reminder::Email, false, false, true},   {Reminder::None, false, false, true},
        {Reminder::Display, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << c.type << " invalid " << c.invalidate);
        posted.clear();
        auto e = event("x", "2024-03-04T09:15:00Z");
        auto r = Reminder::reminderForEvent(e, c.type, at("2024-03-04T09:05:00Z"));
        if (c.invalidate) {
            e->invalidate();
        }
        r->alertNow();
        EXPECT_EQ(posted.size(), c.posts ? 1u : 0u);
        EXPECT_EQ(r->hasFired(), c.fired);
        r->alertNow();  // never twice
        EXPECT_EQ(posted.size(), c.posts ? 1u : 0u);
    }
}

TEST_F(Reminders, ArchiveKeepsTimeTypeAndFiredFlag) {
    for (bool fired : {false, true}) {
        auto r = Reminder::reminderForEvent(event("x", "2024-03-04T09:15:00Z"), Reminder::Sound,
                                            at("2024-03-04T09:05:00Z"));
        r->setHasFired(fired);
        const auto coder = platform::KeyedUnarchiver::fromData(
            platform::KeyedArchiver::archivedDataWithRootObject(*r));
        ASSERT_TRUE(coder);
        const auto back = Reminder::initWithCoder(*coder);
        EXPECT_EQ(back->time(), r->time());
        EXPECT_EQ(back->type(), Reminder::Sound);
        EXPECT_EQ(back->hasFired(), fired);
        EXPECT_EQ(back->event(), nullptr);
    }
}

TEST_F(Reminders, TriggersOfCalendarAlarms) {
    struct Case {
        const char* action;
        const char* trigger;
        std::optional<const char*> time;
        uint32_t type;
    };
    // The event: 2024-03-30 10:00 Berlin (CET), two days long, so its end is after the
    // change to summer time on the 31st.
    const Case cases[] = {
        {"DISPLAY", "-PT15M", "2024-03-30T08:45:00Z", Reminder::Display},
        {"AUDIO", "PT0S", "2024-03-30T09:00:00Z", Reminder::Sound},
        {"EMAIL", "-P1D", "2024-03-29T09:00:00Z", Reminder::Email},
        {"display", "RELATED=START:-PT1H", "2024-03-30T08:00:00Z", Reminder::Display},
        // A day before the end is a day of the wall clock: 10:00 on the 31st is summer time.
        {"DISPLAY", "RELATED=END:-P1D", "2024-03-31T08:00:00Z", Reminder::Display},
        {"DISPLAY", "VALUE=DATE-TIME:20240330T070000Z", "2024-03-30T07:00:00Z", Reminder::Display},
        {"PROCEDURE", "-PT5M", "2024-03-30T08:55:00Z", Reminder::None},
        {"DISPLAY", "soon", std::nullopt, 0},
        {"DISPLAY", "", std::nullopt, 0},
        {"DISPLAY", "VALUE=DATE-TIME:tomorrow", std::nullopt, 0},
    };
    auto e = event("x", "2024-03-30T09:00:00Z", 2 * 24 * 3600.0 - 3600);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trigger);
        const auto t = reminderTriggerFromVALARM(
            *e, {{QStringLiteral("ACTION"), QString::fromLatin1(c.action)},
                 {QStringLiteral("TRIGGER"), QString::fromLatin1(c.trigger)}});
        ASSERT_EQ(t.has_value(), c.time.has_value());
        if (t) {
            EXPECT_EQ(t->time.toQDateTime().toUTC().toString(Qt::ISODate),
                      QString::fromLatin1(*c.time));
            EXPECT_EQ(t->type, c.type);
        }
    }
}

// A back end whose calendars hold a few alarms.
class AlarmBackEnd : public CalendarBackEnd {
  public:
    void loadEventsInBatch(const std::shared_ptr<CalMonth>&) override {}
    std::vector<EventAlarm> eventAlarms(Date from, Date to) override {
        asked = {from, to};
        return alarms;
    }
    std::vector<EventAlarm> alarms;
    std::pair<Date, Date> asked;
};

TEST_F(Reminders, TheBackEndsAlarmsAreScheduledAndNotRepeatedAfterAReload) {
    AlarmBackEnd backEnd;
    const auto alarm = [](const char* trigger) {
        return QVariantMap{{QStringLiteral("ACTION"), QStringLiteral("DISPLAY")},
                           {QStringLiteral("TRIGGER"), QString::fromLatin1(trigger)}};
    };
    backEnd.alarms = {{event("Late", "2024-03-04T10:00:00Z"), alarm("-PT10M")},
                      {event("Soon", "2024-03-04T09:10:00Z"), alarm("-PT10M")},
                      {event("Past", "2024-03-04T08:30:00Z"), alarm("-PT10M")},
                      {event("Broken", "2024-03-04T09:30:00Z"), alarm("whenever")}};
    EventReminders reminders;
    reminders.reloadFrom(&backEnd, clock.now());
    EXPECT_EQ(backEnd.asked.first, clock.now());
    EXPECT_EQ(backEnd.asked.second, clock.now().addingTimeInterval(EventReminders::kLookAhead));
    ASSERT_EQ(reminders.reminders().size(), 3u);
    EXPECT_EQ(list->pendingEvents().size(), 2u);

    scheduler.advanceTo(at("2024-03-04T09:00:30Z"));
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].subtitle, QStringLiteral("Soon"));

    // The calendar is read again (new event objects): the given alert stays given.
    backEnd.alarms[1].event = event("Soon", "2024-03-04T09:10:00Z");
    backEnd.alarms[0].event = event("Late", "2024-03-04T10:00:00Z");
    reminders.reloadFrom(&backEnd, at("2024-03-04T08:59:30Z"));
    scheduler.advanceTo(at("2024-03-04T09:50:30Z"));
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].subtitle, QStringLiteral("Late"));

    reminders.reloadFrom(nullptr, clock.now());
    EXPECT_TRUE(reminders.reminders().empty());
    EXPECT_TRUE(list->pendingEvents().empty());
}

TEST_F(Reminders, TheFeedFollowsTheSelectedCalendarsReloads) {
    platform::MemoryPreferenceStore store{QStringLiteral("test")};
    platform::UserDefaults defaults{store};
    AlarmBackEnd backEnd;
    CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, &backEnd);
    const QVariantMap tenBefore{{QStringLiteral("ACTION"), QStringLiteral("DISPLAY")},
                                {QStringLiteral("TRIGGER"), QStringLiteral("-PT10M")}};
    backEnd.alarms = {{event("Lunch", "2024-03-04T12:00:00Z"), tenBefore}};
    auto feed = ReminderFeed::start(defaults);
    EXPECT_EQ(feed->reminders().reminders().size(), 1u);

    // A calendar read again brings its new alarms.
    backEnd.alarms.push_back({event("Tea", "2024-03-04T16:00:00Z"), tenBefore});
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("loadCalendarEvents"));
    EXPECT_EQ(feed->reminders().reminders().size(), 2u);
    // So does the hourly look.
    backEnd.alarms.push_back({event("Dinner", "2024-03-04T19:00:00Z"), tenBefore});
    scheduler.advanceTo(at("2024-03-04T10:01:00Z"));
    EXPECT_EQ(feed->reminders().reminders().size(), 3u);
    EXPECT_EQ(backEnd.asked.first, at("2024-03-04T10:00:00.010Z"));
    // Google chosen (none installed here): this computer's calendars keep their reminders.
    defaults.setObject(QStringLiteral("Google"), QStringLiteral("SelectedCalendar"));
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("CalendarsLoaded"));
    EXPECT_EQ(feed->reminders().reminders().size(), 3u);
    // No calendars at all: no reminders.
    CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, nullptr);
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("CalendarsLoaded"));
    EXPECT_TRUE(feed->reminders().reminders().empty());

    feed.reset();
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("loadCalendarEvents"));
    CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, nullptr);
    EXPECT_TRUE(list->pendingEvents().empty());
}

}  // namespace
}  // namespace talvor
