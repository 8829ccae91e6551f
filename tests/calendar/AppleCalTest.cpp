// The back end of this computer's calendars, on an in-memory store.
#include "calendar/AppleCal.h"
#include "calendar/CalEvent.h"
#include "calendar/CalMonth.h"
#include "calendar/CalendarBackEnd.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"
#include "support/FakeCalendarStore.h"
#include "support/FakeClock.h"
#include "support/ScopedMachineZone.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using platform::StoreOccurrence;

Date utc(const char* iso) {
    QDateTime t = QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
    t.setTimeZone(QTimeZone::utc());
    return Date::fromQDateTime(t);
}

StoreOccurrence occurrence(const char* id, const char* calendar, const char* title, Date start,
                           Date end, bool allDay = false) {
    StoreOccurrence o;
    o.eventId = QString::fromLatin1(id);
    o.calendarId = QString::fromLatin1(calendar);
    o.title = QString::fromLatin1(title);
    o.start = start;
    o.end = end;
    o.allDay = allDay;
    return o;
}

class AppleCalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::setShared(&clock);
        store.setDefaults(&defaults);
        platform::CalendarStore::setAuthorizationStatus(defaults,
                                                        platform::CalendarAccess::Authorized);
        store.calendarList = {
            {"cal/work", "Work", platform::StoreCalendar::Type::Local, QColor(200, 0, 0), true},
            {"cal/remote", "Remote", platform::StoreCalendar::Type::Other, QColor(0, 0, 200), true},
            {"cal/home", "Home", platform::StoreCalendar::Type::Local, QColor(0, 150, 0), true}};
        loaded = platform::NotificationCenter::defaultCenter().addObserver(
            QStringLiteral("EventsLoaded"), QVariant(),
            [this](const platform::Notification&) { ++eventsLoaded; });
    }
    void TearDown() override {
        platform::Clock::setShared(nullptr);
        platform::CalendarStore::setConsentPrompt(nullptr);
    }

    // "day: title first/last" of every filed day of the month.
    static std::vector<std::string> filed(const CalMonth& month) {
        std::vector<std::string> out;
        for (int32_t day : month.allEventDays()) {
            for (const CalEventDay& e : *month.eventsForDay(day)) {
                out.push_back(std::to_string(day) + ": " + e.title().toStdString() +
                              (e.isFirst() ? " first" : "") + (e.isLast() ? " last" : "") +
                              (e.startTime() ? " at " + e.startTime()->toStdString() : ""));
            }
        }
        return out;
    }

    test::ScopedMachineZone machine{"UTC", "en_US"};
    test::FakeClock clock{utc("2025-03-04T15:40:00"), QTimeZone::utc()};
    platform::MemoryPreferenceStore prefs{QStringLiteral("test")};
    platform::UserDefaults defaults{prefs};
    test::FakeCalendarStore store;
    AppleCal cal{&store};
    int eventsLoaded = 0;
    platform::Observation loaded;
};

TEST_F(AppleCalTest, FilesEveryDayAnEventCoversWithFirstAndLastFlags) {
    store.occurrences = {
        occurrence("a", "cal/work", "Hour", utc("2025-03-10T10:00:00"), utc("2025-03-10T11:00:00")),
        occurrence("b", "cal/work", "Late", utc("2025-03-05T23:45:00"), utc("2025-03-06T00:15:00")),
        occurrence("c", "cal/home", "Trip", utc("2025-03-30T00:00:00"), utc("2025-04-02T00:00:00"),
                   true),
        occurrence("d", "cal/home", "Carried", utc("2025-02-27T00:00:00"),
                   utc("2025-03-02T00:00:00"), true),
        occurrence("e", "cal/remote", "Not local", utc("2025-03-11T10:00:00"),
                   utc("2025-03-11T11:00:00")),
    };
    auto march = CalMonth::initWithDate(utc("2025-03-15T12:00:00"), Calendar());
    cal.loadEventsInBatch(march);
    EXPECT_EQ(filed(*march), (std::vector<std::string>{
                                 "1: Carried last",
                                 "5: Late first at 11:45\u202fPM",
                                 "6: Late last",
                                 "10: Hour first last at 10:00\u202fAM",
                                 "30: Trip first",
                                 "31: Trip",
                             }));
    EXPECT_EQ(eventsLoaded, 1);

    auto april = march->nextMonth();
    cal.loadEventsInBatch(april);
    EXPECT_EQ(filed(*april), std::vector<std::string>{"1: Trip last"});
    EXPECT_EQ(eventsLoaded, 2) << "once per load";

    // The events carry their calendar's source, their length and their links.
    const CalEventDay& late = march->eventsForDay(5)->front();
    ASSERT_NE(late.source(), nullptr);
    EXPECT_EQ(late.source()->name(), "Work");
    EXPECT_EQ(late.displayColor(), QColor(200, 0, 0));
    EXPECT_EQ(late.event()->duration(), 1800.0);
    EXPECT_EQ(late.event()->editLink_(), "b");
    EXPECT_EQ(late.toolTip(), "Late (Work)");
    EXPECT_TRUE(march->eventsForDay(30)->front().event()->isAllDay());

    EXPECT_EQ(late.event()->origin(), CalendarBackEnds::Kind::Apple);

    // Reloading replaces, never doubles, and leaves Google's events alone.
    auto google = CalEvent::initWithStartTime(utc("2025-03-10T08:00:00"), 600,
                                              QStringLiteral("Standup"), QString(), nullptr);
    google->setOrigin(CalendarBackEnds::Kind::Google);
    march->addEvent(google->adjustedDaysForCalendar(march->calendar()).front(), 10);
    cal.loadEventsInBatch(march);
    EXPECT_EQ(filed(*march).size(), 7u);
    EXPECT_EQ(march->eventsForDay(10)->front().title(), "Standup");
}

TEST_F(AppleCalTest, CalendarsBecomeEnabledSourcesThatCanCreate) {
    const auto& sources = cal.getLocalEventCalendars_Parsed();
    ASSERT_EQ(sources.size(), 2u) << "local calendars only, in the store's order";
    EXPECT_EQ(sources[0]->name(), "Work");
    EXPECT_EQ(sources[1]->name(), "Home");
    for (const auto& s : sources) {
        EXPECT_TRUE(s->enabled());
        EXPECT_TRUE(s->canCreate());
        EXPECT_TRUE(s->token().isEmpty()) << "not registered";
    }
    EXPECT_EQ(sources[1]->displayColor(), QColor(0, 150, 0));
    EXPECT_EQ(cal.getLocalEventCalendar("cal/home"), sources[1]);
    EXPECT_EQ(cal.getLocalEventCalendar("cal/remote"), nullptr);
    EXPECT_EQ(cal.getEventCalendar(*sources[0])->identifier, "cal/work");
}

TEST_F(AppleCalTest, RefusedAccessGivesTheTextToShow) {
    struct Case {
        platform::CalendarAccess stored;
        std::optional<bool> promptAnswer;  // none: no prompt installed
        bool granted;
    };
    const std::vector<Case> cases = {
        {platform::CalendarAccess::Authorized, std::nullopt, true},
        {platform::CalendarAccess::Denied, true, false},
        {platform::CalendarAccess::NotDetermined, false, false},
        {platform::CalendarAccess::NotDetermined, true, true},
        {platform::CalendarAccess::NotDetermined, std::nullopt, false},
    };
    for (const Case& c : cases) {
        platform::CalendarStore::setAuthorizationStatus(defaults, c.stored);
        if (c.promptAnswer) {
            const bool answer = *c.promptAnswer;
            platform::CalendarStore::setConsentPrompt(
                [answer](std::function<void(bool)> reply) { reply(answer); });
        } else {
            platform::CalendarStore::setConsentPrompt(nullptr);
        }
        std::optional<std::pair<bool, std::optional<QString>>> got;
        cal.requestCalendarAccess(
            [&](bool ok, std::optional<QString> text) { got.emplace(ok, std::move(text)); });
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->first, c.granted);
        EXPECT_EQ(cal.checkEventStoreAccessForCalendar(), c.granted);
        if (c.granted) {
            EXPECT_FALSE(got->second.has_value());
        } else {
            EXPECT_EQ(got->second, AppleCal::accessRefusedText());
            EXPECT_FALSE(got->second->contains(QLatin1String("apple"), Qt::CaseInsensitive));
        }
    }
}

TEST_F(AppleCalTest, CalendarsHiddenInThePaneStayHiddenAndLoadNothing) {
    cal.setDefaults(&defaults);
    const QVariantMap tenBefore{{QStringLiteral("ACTION"), QStringLiteral("DISPLAY")},
                                {QStringLiteral("TRIGGER"), QStringLiteral("-PT10M")}};
    store.occurrences = {
        occurrence("a", "cal/work", "Hour", utc("2025-03-10T10:00:00"), utc("2025-03-10T11:00:00")),
        occurrence("b", "cal/home", "Dinner", utc("2025-03-10T18:00:00"),
                   utc("2025-03-10T19:00:00")),
    };
    for (auto& o : store.occurrences) {
        o.alarms = {tenBefore};
    }
    const auto shown = [&] {
        auto march = CalMonth::initWithDate(utc("2025-03-15T12:00:00"), Calendar());
        cal.loadEventsInBatch(march);
        std::vector<std::string> out = filed(*march);
        for (const EventAlarm& a :
             cal.eventAlarms(utc("2025-03-10T00:00:00"), utc("2025-03-11T00:00:00"))) {
            out.push_back("alarm " + a.event->title().toStdString());
        }
        return out;
    };
    // The pane stored Work as hidden, in its own colour, in an earlier run.
    auto choice = CalSource::initWithToken(QString(), "Work", QUrl());
    choice->setDisplayColor(QColor(10, 20, 30));
    choice->setEnabled(false);
    defaults.setObject(QVariantMap{{"cal/work", choice->prefEncoding()}},
                       QStringLiteral("SubscribedEvents"));
    const auto sources = cal.getLocalEventCalendars_Parsed();
    EXPECT_FALSE(sources[0]->enabled());
    EXPECT_EQ(sources[0]->displayColor(), QColor(10, 20, 30));
    EXPECT_TRUE(sources[1]->enabled());
    EXPECT_EQ(shown(),
              (std::vector<std::string>{"10: Dinner first last at 6:00\u202fPM", "alarm Dinner"}));

    // Shown again in the pane (the same source object): its events come back, and listing
    // the calendars anew does not undo the choice.
    sources[0]->setEnabled(true);
    sources[1]->setEnabled(false);
    cal.getLocalEventCalendars_Parsed();
    EXPECT_TRUE(sources[0]->enabled());
    EXPECT_FALSE(sources[1]->enabled());
    EXPECT_EQ(shown(),
              (std::vector<std::string>{"10: Hour first last at 10:00\u202fAM", "alarm Hour"}));
}

TEST_F(AppleCalTest, QuickAddAndCreateSaveIntoTheSourcesCalendar) {
    const auto sources = cal.getLocalEventCalendars_Parsed();
    std::vector<std::pair<bool, std::optional<QString>>> answers;
    auto record = [&](bool ok, std::optional<QString> text) { answers.emplace_back(ok, text); };

    cal.addQuickEventwithTitle("Call Anna", sources[1], record);
    ASSERT_EQ(store.saved.size(), 1u);
    EXPECT_EQ(store.saved[0].calendarId, "cal/home");
    EXPECT_EQ(store.saved[0].title, "Call Anna");
    EXPECT_EQ(store.saved[0].start, clock.now());
    EXPECT_EQ(store.saved[0].end.timeIntervalSince(store.saved[0].start), 3600.0);
    EXPECT_FALSE(store.saved[0].recurrence.has_value());

    struct Case {
        int recurrance;
        std::optional<platform::StoreFrequency> frequency;
    };
    for (const Case& c : std::vector<Case>{{-1, std::nullopt},
                                           {0, platform::StoreFrequency::Daily},
                                           {1, platform::StoreFrequency::Weekly},
                                           {3, platform::StoreFrequency::Yearly}}) {
        cal.createNewEventForSource(sources[0], "Review", "notes", true, utc("2025-03-12T00:00:00"),
                                    utc("2025-03-13T00:00:00"), c.recurrance, -15, 1, record);
        const auto& saved = store.saved.back();
        EXPECT_EQ(saved.recurrence, c.frequency) << c.recurrance;
        EXPECT_EQ(saved.alarmOffset, -900);
        EXPECT_TRUE(saved.allDay);
        EXPECT_EQ(saved.notes, "notes");
    }
    for (const auto& a : answers) {
        EXPECT_TRUE(a.first);
        EXPECT_FALSE(a.second.has_value());
    }

    store.saveError = QStringLiteral("disk full");
    answers.clear();
    cal.addQuickEventwithTitle("x", sources[0], record);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_FALSE(answers[0].first);
    EXPECT_EQ(answers[0].second, "disk full");

    // A source whose calendar went away saves nothing.
    const size_t before = store.saved.size();
    auto stray = CalSource::initWithToken(QString(), "Gone", QUrl());
    stray->setIdentifier("cal/gone");
    cal.addQuickEventwithTitle("y", stray, record);
    EXPECT_EQ(store.saved.size(), before);
    EXPECT_FALSE(answers.back().first);
}

TEST_F(AppleCalTest, DeletingAnOccurrenceNamesItsSeriesAndOriginalStart) {
    StoreOccurrence weekly = occurrence("series", "cal/work", "Weekly", utc("2025-03-11T09:00:00"),
                                        utc("2025-03-11T10:00:00"));
    weekly.hasRecurrence = true;
    weekly.occurrenceDate = utc("2025-03-11T08:00:00");  // moved from its original time
    store.occurrences = {weekly};
    auto march = CalMonth::initWithDate(utc("2025-03-15T12:00:00"), Calendar());
    cal.loadEventsInBatch(march);
    const CalEvent& event = *march->eventsForDay(11)->front().event();

    bool ok = false;
    cal.deleteEvent(event, platform::RemoveScope::ThisAndFuture,
                    [&](bool done, std::optional<QString>) { ok = done; });
    EXPECT_TRUE(ok);
    ASSERT_EQ(store.removed.size(), 1u);
    const auto& [removed, scope] = store.removed[0];
    EXPECT_EQ(removed.eventId, "series");
    EXPECT_TRUE(removed.hasRecurrence);
    EXPECT_EQ(removed.occurrenceDate, weekly.occurrenceDate);
    EXPECT_EQ(scope, platform::RemoveScope::ThisAndFuture);
}

}  // namespace
}  // namespace talvor
