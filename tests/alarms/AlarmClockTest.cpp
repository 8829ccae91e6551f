#include "AlarmsTestSupport.h"

#include "alarms/AlarmsKeys.h"
#include "platform/NotificationCenter.h"

namespace talvor::test {
namespace {

class alarmsClock : public AlarmsTest {
  protected:
    QStringList titles() {
        QStringList t;
        for (const auto& a : alarmClock().allAlarms()) {
            t << a->title();
        }
        return t;
    }

    std::shared_ptr<Alarm> named(const char* title, Date due) {
        auto a = dateAlarm(due);
        a->setTitle(QString::fromLatin1(title));
        return a;
    }
};

TEST_F(alarmsClock, InsertingMovesAnAlarmAndNeverListsItTwice) {
    Clock& clock = alarmClock();
    auto a = named("A", at("2024-03-04T11:00:00"));
    auto b = named("B", at("2024-03-04T12:00:00"));
    auto c = named("C", at("2024-03-04T13:00:00"));
    clock.insertAlarm(c);
    clock.insertAlarm(b);
    clock.insertAlarm(a);
    EXPECT_EQ(titles(), QStringList({"A", "B", "C"}));
    clock.insertAlarm(a, 2);
    EXPECT_EQ(titles(), QStringList({"B", "C", "A"}));
    clock.insertAlarm(a, 99);  // beyond the end: appended
    EXPECT_EQ(titles(), QStringList({"B", "C", "A"}));
    clock.insertAlarm(a);
    EXPECT_EQ(titles(), QStringList({"A", "B", "C"}));

    // Identity, not equal fields: a copy is another alarm.
    auto twin = a->copy();
    clock.removeAlarm(twin.get());
    EXPECT_EQ(clock.allAlarms().size(), 3u);
    clock.removeAlarm(b.get());
    EXPECT_EQ(titles(), QStringList({"A", "C"}));
}

TEST_F(alarmsClock, InsertingRestartsTheRunTime) {
    Clock& clock = alarmClock();
    auto relative = relativeAlarm(30, true, at("2024-03-04T08:00:00"));
    relative->snooze(10);
    clock.insertAlarm(relative);
    EXPECT_EQ(relative->runTime(), clock_.now());
    EXPECT_EQ(relative->snoozedMinutes(), 0u);
    EXPECT_EQ(wall(relative->time()), QStringLiteral("2024-03-04T10:30:00"));

    auto weekday = Alarm::initWithTime(at("2024-03-06T07:00:00"), QStringLiteral("W"));
    weekday->setSelRowNo(2);
    weekday->snooze(5);
    clock.insertAlarm(weekday);
    // The due time is read before the snooze is cleared.
    EXPECT_EQ(wall(weekday->runTime()), QStringLiteral("2024-03-06T07:05:00"));
    EXPECT_EQ(wall(weekday->time()), QStringLiteral("2024-03-06T07:00:00"));
}

TEST_F(alarmsClock, AnEveryDayAlarmInsertedLateMovesOnByWholeDays) {
    struct Case {
        const char* name;
        const char* due;
        bool everyDay;
        const char* insertedAt;
        const char* stored;
    };
    const Case cases[] = {
        {"23 h 59 min late: the next day", "2024-03-03T07:00:00", true, "2024-03-04T06:59:00",
         "2024-03-04T07:00:00"},
        {"a day and 30 s late: two days, the first time after now", "2024-03-03T07:00:00", true,
         "2024-03-04T07:00:30", "2024-03-05T07:00:00"},
        {"three days and two hours late", "2024-03-01T07:00:00", true, "2024-03-04T09:00:00",
         "2024-03-05T07:00:00"},
        {"40 days late", "2024-01-24T07:00:00", true, "2024-03-04T09:00:00", "2024-03-05T07:00:00"},
        {"not yet due", "2024-03-04T11:00:00", true, "2024-03-04T10:00:00", "2024-03-04T11:00:00"},
        {"not every day", "2024-03-03T07:00:00", false, "2024-03-04T09:00:00",
         "2024-03-03T07:00:00"},
    };
    for (const Case& c : cases) {
        clock_.set(at(c.insertedAt));
        auto a = dateAlarm(at(c.due), c.everyDay);
        alarmClock().insertAlarm(a);
        EXPECT_EQ(wall(*a->storedTime()), QString::fromLatin1(c.stored)) << c.name;
    }
}

TEST_F(alarmsClock, AnEveryDayAlarmInsertedLateWaitsForItsNextDate) {
    clock_.set(at("2024-03-04T07:00:30"));
    makeAlarmClock();
    RecordingDelegate delegate(clock_);
    auto late = dateAlarm(at("2024-03-03T07:00:00"), true);
    late->setDelegate(&delegate);
    alarmClock().insertAlarm(late);
    scheduler_.advanceBy(1.0);
    EXPECT_TRUE(delegate.fired.empty());
    EXPECT_EQ(wall(late->time()), QStringLiteral("2024-03-05T07:00:00"));
    scheduler_.advanceTo(at("2024-03-05T07:00:00.5"));
    EXPECT_EQ(delegate.fired.size(), 1u);
}

TEST_F(alarmsClock, TheNearestAlarmHasTheLeastTimeToGo) {
    Clock& clock = alarmClock();
    EXPECT_EQ(clock.nearestAlarm(), nullptr);
    auto later = named("later", at("2024-03-04T12:00:00"));
    auto sooner = named("sooner", at("2024-03-04T11:00:00"));
    auto tie = named("tie", at("2024-03-04T11:00:00"));
    clock.insertAlarm(tie);
    clock.insertAlarm(sooner);
    clock.insertAlarm(later);
    EXPECT_EQ(clock.nearestAlarm(), sooner);  // ties go to the earlier in the list
    auto passed = named("passed", at("2024-03-04T09:00:00"));
    clock.insertAlarm(passed, 3);
    EXPECT_EQ(clock.nearestAlarm(), passed);
}

TEST_F(alarmsClock, TicksOnWholeSecondsAndFiresDueAlarms) {
    clock_.set(at("2024-03-04T10:00:00.400"));
    Clock& clock = makeAlarmClock();
    RecordingDelegate delegate(clock_);
    delegate.onFire = [](Alarm& a) { a.setIsTriggered(true); };
    auto a = relativeAlarm(0, true, at("2024-03-04T10:00:03"));
    clock.insertAlarm(a);
    a->setRunTime(at("2024-03-04T10:00:03"));
    a->setDelegate(&delegate);
    EXPECT_EQ(scheduler_.nextFireDate(), at("2024-03-04T10:00:00"));
    scheduler_.advanceTo(at("2024-03-04T10:00:02.900"));
    EXPECT_TRUE(delegate.fired.empty());
    scheduler_.advanceTo(at("2024-03-04T10:00:10"));
    ASSERT_EQ(delegate.fired.size(), 1u);
    EXPECT_EQ(delegate.firedAt.front(), at("2024-03-04T10:00:03"));
}

TEST_F(alarmsClock, ADueAlarmNotMarkedRingingFiresAgainEachSecond) {
    RecordingDelegate delegate(clock_);
    auto a = dateAlarm(at("2024-03-04T09:00:00"));
    alarmClock().insertAlarm(a);
    scheduler_.advanceBy(0);  // the tick of the second the clock started in
    a->setDelegate(&delegate);
    scheduler_.advanceBy(3.0);
    EXPECT_EQ(delegate.fired.size(), 3u);
}

TEST_F(alarmsClock, TheWakeNotificationRestartsTheTimerASecondLater) {
    clock_.set(at("2024-03-04T10:00:00.500"));
    Clock& clock = makeAlarmClock();
    RecordingDelegate delegate(clock_);
    auto a = dateAlarm(at("2024-03-04T09:00:00"));
    clock.insertAlarm(a);
    a->setDelegate(&delegate);
    platform::NotificationCenter::defaultCenter().post(keys::VantrelSoftwareZephyrelWake);
    scheduler_.advanceTo(at("2024-03-04T10:00:01.499"));
    const std::vector<Date> before = delegate.firedAt;
    scheduler_.advanceTo(at("2024-03-04T10:00:01.500"));
    // The restart ticks the alarms at once, then on whole seconds again.
    EXPECT_EQ(
        std::vector<Date>(delegate.firedAt.begin() + static_cast<std::ptrdiff_t>(before.size()),
                          delegate.firedAt.end()),
        std::vector<Date>({at("2024-03-04T10:00:01.500"), at("2024-03-04T10:00:01.500")}));
    scheduler_.advanceTo(at("2024-03-04T10:00:02"));
    EXPECT_EQ(delegate.firedAt.back(), at("2024-03-04T10:00:02"));
}

TEST_F(alarmsClock, ADelegateMayRemoveAlarmsWhileTheyTick) {
    Clock& clock = alarmClock();
    RecordingDelegate delegate(clock_);
    auto a = dateAlarm(at("2024-03-04T09:00:00"));
    auto b = dateAlarm(at("2024-03-04T09:30:00"));
    clock.insertAlarm(a);
    clock.insertAlarm(b);
    for (const auto& x : {a, b}) {
        x->setDelegate(&delegate);
    }
    delegate.onFire = [&](Alarm&) {
        clock.removeAlarm(a.get());
        clock.removeAlarm(b.get());
    };
    clock.tick();
    EXPECT_TRUE(clock.allAlarms().empty());
    EXPECT_EQ(delegate.fired.size(), 2u);  // both were ticked in this round
}

TEST_F(alarmsClock, ReplacingPutsTheNewAlarmInTheOldOnesPlace) {
    Clock& clock = alarmClock();
    auto a = named("A", at("2024-03-04T11:00:00"));
    auto b = named("B", at("2024-03-04T12:00:00"));
    clock.insertAlarm(b);
    clock.insertAlarm(a);
    clock.replaceAlarm(b.get(), named("B2", at("2024-03-04T12:30:00")));
    EXPECT_EQ(titles(), QStringList({"A", "B2"}));
    // The edited alarm is gone meanwhile: the edit is kept, at the head.
    clock.replaceAlarm(b.get(), named("B3", at("2024-03-04T12:45:00")));
    EXPECT_EQ(titles(), QStringList({"B3", "A", "B2"}));
}

TEST_F(alarmsClock, EveryChangeOfTheListIsSavedAtOnce) {
    Clock& clock = alarmClock();
    auto titlesStored = [this] {
        QStringList t;
        for (const auto& a : storedAlarms().value_or(AlarmList())) {
            t << a->title();
        }
        return t;
    };
    EXPECT_FALSE(storedAlarms().has_value());
    auto a = named("A", at("2024-03-04T11:00:00"));
    auto b = named("B", at("2024-03-04T12:00:00"));
    const int syncs = store().synchronizeCount();
    clock.insertAlarm(a);
    EXPECT_EQ(titlesStored(), QStringList({"A"}));
    EXPECT_GT(store().synchronizeCount(), syncs);
    clock.insertAlarm(b);
    EXPECT_EQ(titlesStored(), QStringList({"B", "A"}));
    clock.replaceAlarm(a.get(), named("A2", at("2024-03-04T11:30:00")));
    EXPECT_EQ(titlesStored(), QStringList({"B", "A2"}));
    clock.removeAlarm(b.get());
    EXPECT_EQ(titlesStored(), QStringList({"A2"}));

    // An every-day alarm moved on at insertion is saved with its new time.
    clock_.set(at("2024-03-04T09:00:00"));
    clock.insertAlarm(dateAlarm(at("2024-03-02T07:00:00"), true));
    EXPECT_EQ(wall(*storedAlarms()->front()->storedTime()), QStringLiteral("2024-03-05T07:00:00"));

    // An alarm changed in place is saved when the clock is told.
    clock.allAlarms().front()->setTitle(QStringLiteral("renamed"));
    clock.noteAlarmsChanged();
    EXPECT_EQ(titlesStored().front(), QStringLiteral("renamed"));

    // A clock that does not save leaves the archive alone.
    Clock quiet(scheduler_);
    quiet.insertAlarm(named("Q", at("2024-03-04T11:00:00")));
    EXPECT_FALSE(titlesStored().contains(QStringLiteral("Q")));
}

}  // namespace
}  // namespace talvor::test
