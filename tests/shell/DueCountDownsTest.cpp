#include "alarms/AlarmsKeys.h"
#include "foundation/PreferenceDomain.h"
#include "platform/UserDefaults.h"
#include "shell/DueCountDowns.h"
#include "support/FakeClock.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

namespace talvor {
namespace {

constexpr double kMinute = 60;
constexpr double kHour = 3600;
constexpr double kDay = 86400;

// 2025-03-04 15:40:30 UTC
const Date kNow = Date::fromUnix(1741102830);

Event event(const char* name, int32_t mode, Date time, int32_t daysBefore = 0) {
    return Event(QString::fromLatin1(name), QString::fromLatin1(name), time, mode, 0, daysBefore, 0,
                 QString());
}

QStringList names(const QList<Event>& events) {
    QStringList result;
    for (const Event& e : events) {
        result << e.eventName();
    }
    return result;
}

// An in-memory store and a still clock that the whole process reads.
class DueCountDownsTest : public ::testing::Test {
  protected:
    DueCountDownsTest() {
        platform::UserDefaults::setStandard(&defaults);
        platform::Clock::setShared(&clock);
    }
    ~DueCountDownsTest() override {
        platform::Clock::setShared(nullptr);
        platform::UserDefaults::setStandard(nullptr);
    }

    void store(const QList<Event>& events) {
        EventsDictionary dictionary;
        for (const Event& e : events) {
            dictionary.insert(e.uid(), e);
        }
        saveEvents(dictionary);
    }
    static int eventsWindowsShown() {
        int count = 0;
        for (const QWidget* w : QApplication::topLevelWidgets()) {
            count += w->objectName() == QLatin1String("EventsWindow") && w->isVisible() ? 1 : 0;
        }
        return count;
    }
    // Each tile's title and the time left in words (its tool tip).
    static QStringList rows(const EventsWindowController& controller) {
        QStringList result;
        for (const EventsCollectionViewItem* tile : controller.eventsCollectionView()->tiles()) {
            result << tile->titleText() + QStringLiteral(": ") + tile->toolTip();
        }
        return result;
    }

    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    platform::UserDefaults defaults{domain.store()};
    test::FakeClock clock{kNow, QTimeZone::utc()};
    DueCountDowns due{clock};
};

using shellDueCountDowns = DueCountDownsTest;

TEST_F(shellDueCountDowns, ModesAgainstOccasions) {
    const Date soon = kNow.addingTimeInterval(kHour);
    const QList<Event> events = {
        event("none", 0, soon),
        event("login", 1, soon),
        event("wake", 2, soon),
        event("near", 4, kNow.addingTimeInterval(2 * kDay), 2),
        event("not yet", 4, kNow.addingTimeInterval(3 * kDay), 2),
        event("both", 3, soon),
        event("today", 4, soon, 0),
        event("other", 5, soon),
        event("negative", -1, soon),
    };
    struct Case {
        int32_t occasion;
        QStringList expected;
    };
    const Case cases[] = {
        {1, {"login", "both", "today", "near"}},
        {2, {"wake", "both", "today", "near"}},
        {0, {}},
        {3, {}},
        {-1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.occasion);
        EXPECT_EQ(names(filterEvents(events, c.occasion)), c.expected);
    }
}

TEST_F(shellDueCountDowns, DaysBeforeWindowIncludesBothEnds) {
    struct Case {
        const char* name;
        double offset;
        int32_t daysBefore;
        int32_t days;
        bool due;
    };
    const Case cases[] = {
        {"this very moment", 0, 0, 0, true},
        {"23 hours ahead is still day 0", 23 * kHour, 0, 0, true},
        {"a whole day ahead, none before", kDay, 0, 1, false},
        {"exactly daysBefore ahead", 3 * kDay, 3, 3, true},
        {"a second short of a day more", 4 * kDay - 1, 3, 3, true},
        {"one day beyond daysBefore", 4 * kDay, 3, 4, false},
        {"a minute past counts as day 0", -kMinute, 3, 0, true},
        {"a day past", -kDay, 3, -1, false},
        {"long past", -400 * kDay, 1000, -400, false},
        {"negative daysBefore", kHour, -1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Date time = kNow.addingTimeInterval(c.offset);
        EXPECT_EQ(daysBetweenDates(kNow, time), c.days);
        for (int32_t occasion : {1, 2}) {
            EXPECT_EQ(filterEvents({event("e", 4, time, c.daysBefore)}, occasion).size(),
                      c.due ? 1 : 0);
        }
    }
}

TEST_F(shellDueCountDowns, DaysAreCalendarDaysOfTheCurrentZone) {
    // Across the spring-forward night in Berlin, noon to noon is 23 hours but one day.
    clock.setZone(QTimeZone("Europe/Berlin"));
    const Date saturdayNoon = Date::fromUnix(1743246000);  // 2025-03-29 12:00 CET
    clock.set(saturdayNoon);
    const Date sundayNoon = saturdayNoon.addingTimeInterval(23 * kHour);
    EXPECT_EQ(daysBetweenDates(saturdayNoon, sundayNoon), 1);
    EXPECT_TRUE(filterEvents({event("e", 4, sundayNoon, 0)}, 1).isEmpty());
}

TEST_F(shellDueCountDowns, SortedByTimeKeepingTheOrderOfEqualTimes) {
    const QList<Event> events = {
        event("c", 3, kNow.addingTimeInterval(3 * kHour)),
        event("a1", 1, kNow.addingTimeInterval(-kDay)),
        event("b1", 3, kNow.addingTimeInterval(kHour)),
        event("b2", 1, kNow.addingTimeInterval(kHour)),
        event("a2", 3, kNow.addingTimeInterval(-kDay)),
    };
    EXPECT_EQ(names(filterEvents(events, 1)), QStringList({"a1", "a2", "b1", "b2", "c"}));
}

TEST_F(shellDueCountDowns, TimeLeftInWords) {
    struct Case {
        double offset;
        const char* text;
    };
    const Case cases[] = {
        {0, "Less than a minute left"},
        {59, "Less than a minute left"},
        {kMinute, "1 minute left"},
        {2 * kHour + 5 * kMinute, "2 hours, 5 minutes left"},
        {3 * kDay + 4 * kHour + 5 * kMinute, "3 days, 4 hours left"},
        {kDay + 5 * kMinute, "1 day, 5 minutes left"},
        {-30, "Just now"},
        {-2 * kHour, "2 hours ago"},
        {-(kDay + kHour), "1 day, 1 hour ago"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(timeLeftText(kNow, kNow.addingTimeInterval(c.offset)),
                  QString::fromLatin1(c.text));
    }
}

TEST_F(shellDueCountDowns, NothingStoredOrNothingDueShowsNoWindow) {
    due.receiveLoginNotification();
    EXPECT_EQ(due.currentEventsDisplay(), 1);
    EXPECT_EQ(due.eventsWindow(), nullptr);

    store({event("wake only", 2, kNow.addingTimeInterval(kHour))});
    due.receiveLoginNotification();
    EXPECT_EQ(due.eventsWindow(), nullptr);
}

TEST_F(shellDueCountDowns, AnUnreadableStoreShowsNoWindowAndLogsOnce) {
    const QVariant stored[] = {QVariant(QByteArray("not an archive")),
                               QVariant(QStringLiteral("text")), QVariant(qint64(7))};
    for (const QVariant& value : stored) {
        SCOPED_TRACE(value.typeName());
        defaults.setObject(value, keys::StoredEventsKey);
        test::LogCapture log;
        due.receiveWakeNotification();
        EXPECT_EQ(due.eventsWindow(), nullptr);
        EXPECT_EQ(log.lines().size(), 1) << log.lines().join(QLatin1Char('\n')).toStdString();
    }
}

TEST_F(shellDueCountDowns, LoginShowsTheLoginEventsAndWakeReplacesTheWindow) {
    store({
        event("Holiday", 3, kNow.addingTimeInterval(2 * kDay + 3 * kHour)),
        event("Meeting", 1, kNow.addingTimeInterval(kHour)),
        event("Backup", 2, kNow.addingTimeInterval(-2 * kHour)),
    });

    due.receiveLoginNotification();
    ASSERT_NE(due.eventsWindow(), nullptr);
    EXPECT_EQ(due.currentEventsDisplay(), 1);
    EXPECT_TRUE(due.eventsWindow()->window()->isVisible());
    EXPECT_EQ(rows(*due.eventsWindow()),
              QStringList({"Meeting: 1 hour left", "Holiday: 2 days, 3 hours left"}));

    due.receiveWakeNotification();
    ASSERT_NE(due.eventsWindow(), nullptr);
    EXPECT_EQ(due.currentEventsDisplay(), 2);
    EXPECT_EQ(rows(*due.eventsWindow()),
              QStringList({"Backup: 2 hours ago", "Holiday: 2 days, 3 hours left"}));
    EXPECT_EQ(eventsWindowsShown(), 1);
}

TEST_F(shellDueCountDowns, AVisibleWindowFollowsTheStore) {
    store({event("Meeting", 1, kNow.addingTimeInterval(kHour))});
    due.receiveLoginNotification();
    ASSERT_NE(due.eventsWindow(), nullptr);

    clock.advance(30 * kMinute);
    store({event("Meeting", 1, kNow.addingTimeInterval(kHour)),
           event("Party", 3, kNow.addingTimeInterval(5 * kHour))});
    due.updateEventsUI();
    EXPECT_EQ(rows(*due.eventsWindow()),
              QStringList({"Meeting: 30 minutes left", "Party: 4 hours, 30 minutes left"}));

    // Deleting the last due event leaves the window empty, not stale.
    store({event("Gym", 2, kNow.addingTimeInterval(kHour))});
    due.updateEventsUI();
    EXPECT_TRUE(rows(*due.eventsWindow()).isEmpty());

    // A closed window is left alone.
    store({event("Party", 3, kNow.addingTimeInterval(5 * kHour))});
    due.eventsWindow()->window()->close();
    due.updateEventsUI();
    EXPECT_TRUE(due.eventsWindow()->eventsArray().isEmpty());
}

TEST_F(shellDueCountDowns, TheCloseButtonClosesTheWindow) {
    store({event("Meeting", 3, kNow.addingTimeInterval(kHour))});
    due.receiveWakeNotification();
    ASSERT_NE(due.eventsWindow(), nullptr);
    QWidget* window = due.eventsWindow()->window();
    for (auto* button : window->findChildren<QPushButton*>()) {
        if (button->text().contains(QLatin1String("Close"))) {
            button->click();
        }
    }
    EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace talvor
