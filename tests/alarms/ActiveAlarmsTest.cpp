#include "AlarmsTestSupport.h"

#include "alarms/ActiveAlarms.h"
#include "alarms/AlarmsKeys.h"
#include "alarms/UsersNotificationManager.h"
#include "support/TestEnvironment.h"

namespace talvor::test {
namespace {

class alarmsActive : public AlarmsTest {
  protected:
    void archive(const AlarmList& alarms) {
        defaults_.setObject(QVariant(archivedAlarms(alarms)), keys::AcitveAlarmsStoredKey);
    }

    // What the next launch finds: a fresh alarm clock, restored.
    const AlarmList& relaunch() {
        makeAlarmClock();
        restoreActiveAlarms();
        return alarmClock().allAlarms();
    }
};

// Flags Monday first, as the record lists them.
std::shared_ptr<Alarm> weekdayAlarm(Date time, const char* flags, bool keptForever) {
    auto a = Alarm::initWithTime(time, QStringLiteral("weekday"));
    a->setSelRowNo(2);
    a->setRunTime(time);
    a->setIsRunOnMon(flags[0] == 'x');
    a->setIsRunOnTue(flags[1] == 'x');
    a->setIsRunOnWed(flags[2] == 'x');
    a->setIsRunOnThu(flags[3] == 'x');
    a->setIsRunOnFri(flags[4] == 'x');
    a->setIsRunOnSat(flags[5] == 'x');
    a->setIsRunOnSun(flags[6] == 'x');
    a->setShouldUseForever(keptForever);
    return a;
}

QString flagsOf(const Alarm& a) {
    QString f;
    for (bool on : {a.isRunOnMon(), a.isRunOnTue(), a.isRunOnWed(), a.isRunOnThu(), a.isRunOnFri(),
                    a.isRunOnSat(), a.isRunOnSun()}) {
        f += on ? QLatin1Char('x') : QLatin1Char('.');
    }
    return f;
}

TEST_F(alarmsActive, RestoringKeepsDropsOrRedatesEachAlarm) {
    struct Case {
        const char* name;
        const char* locale;
        const char* launchedAt;
        std::function<std::shared_ptr<Alarm>()> make;
        bool kept;
        const char* time;   // the stored time afterwards
        const char* flags;  // the weekday flags afterwards
    };
    const std::vector<Case> cases = {
        {"a relative alarm that passed is gone", "en_US", "2024-03-04T12:00:00",
         [] { return relativeAlarm(30, true, at("2024-03-04T09:00:00")); }, false, "", ""},
        {"a date alarm that passed is gone", "en_US", "2024-03-04T12:00:00",
         [] { return dateAlarm(at("2024-03-04T09:00:00")); }, false, "", ""},
        {"a future date alarm stays as it was", "en_US", "2024-03-04T08:00:00",
         [] { return dateAlarm(at("2024-03-04T09:00:00")); }, true, "2024-03-04T09:00:00",
         "......."},
        {"a future weekday alarm stays as it was", "en_US", "2024-03-04T06:00:00",
         [] { return weekdayAlarm(at("2024-03-04T07:00:00"), "x......", false); }, true,
         "2024-03-04T07:00:00", "x......"},
        {"a passed weekday alarm without days is gone", "en_US", "2024-03-04T09:00:00",
         [] { return weekdayAlarm(at("2024-03-04T07:00:00"), ".......", true); }, false, "", ""},
        {"Monday only, on a Monday: the flag goes, no next date, the past time stays", "en_US",
         "2024-03-04T09:00:00",
         [] { return weekdayAlarm(at("2024-03-04T07:00:00"), "x......", false); }, true,
         "2024-03-04T07:00:00", "......."},
        {"Monday only, kept forever: next Monday", "en_US", "2024-03-04T09:00:00",
         [] { return weekdayAlarm(at("2024-03-04T07:00:00"), "x......", true); }, true,
         "2024-03-11T07:00:00", "x......"},
        {"Monday and Thursday, on a Monday: Thursday", "en_US", "2024-03-04T09:00:00",
         [] { return weekdayAlarm(at("2024-03-04T07:00:00"), "x..x...", false); }, true,
         "2024-03-07T07:00:00", "...x..."},
        {"on a Sunday the search starts with Monday", "en_US", "2024-03-10T09:00:00",
         [] { return weekdayAlarm(at("2024-03-03T07:15:00"), "x.....x", true); }, true,
         "2024-03-11T07:15:00", "x.....x"},
        {"Sunday only, kept forever, on a Sunday: a week on", "en_US", "2024-03-10T09:00:00",
         [] { return weekdayAlarm(at("2024-03-03T07:15:00"), "......x", true); }, true,
         "2024-03-17T07:15:00", "......x"},
        {"missed for a week: the day after today", "en_US", "2024-03-13T09:00:00",
         [] { return weekdayAlarm(at("2024-03-04T07:00:00"), "x...x..", true); }, true,
         "2024-03-15T07:00:00", "x...x.."},
        {"weekday names of another language change nothing", "de_DE", "2024-03-04T09:00:00",
         [] { return weekdayAlarm(at("2024-03-04T07:00:00"), "x......", true); }, true,
         "2024-03-11T07:00:00", "x......"},
        {"nor does a Buddhist calendar", "th_TH", "2024-03-04T09:00:00",
         [] { return weekdayAlarm(at("2024-03-04T07:00:00"), "x..x...", false); }, true,
         "2024-03-07T07:00:00", "...x..."},
        {"nor do those of a right-to-left one", "ar_EG", "2024-03-04T09:00:00",
         [] { return weekdayAlarm(at("2024-03-04T07:00:00"), "x..x...", false); }, true,
         "2024-03-07T07:00:00", "...x..."},
    };
    for (const Case& c : cases) {
        setIcuLocale(c.locale);
        clock_.set(at("2024-03-01T00:00:00"));
        archive({c.make()});
        clock_.set(at(c.launchedAt));
        const AlarmList& restored = relaunch();
        ASSERT_EQ(restored.size(), c.kept ? 1u : 0u) << c.name;
        if (!c.kept) {
            continue;
        }
        const Alarm& a = *restored.front();
        EXPECT_EQ(wall(*a.storedTime()), QString::fromLatin1(c.time)) << c.name;
        EXPECT_EQ(flagsOf(a), QString::fromLatin1(c.flags)) << c.name;
        EXPECT_EQ(a.delegate(), &controller_) << c.name;
        if (a.selRowNo() == 2) {
            EXPECT_EQ(a.runTime(), a.time()) << c.name;
        }
    }
}

TEST_F(alarmsActive, RestoredAlarmsComeBackInReverseOrder) {
    auto a = dateAlarm(at("2024-03-04T11:00:00"));
    a->setTitle(QStringLiteral("A"));
    auto b = dateAlarm(at("2024-03-04T12:00:00"));
    b->setTitle(QStringLiteral("B"));
    archive({a, b});
    const AlarmList& restored = relaunch();
    ASSERT_EQ(restored.size(), 2u);
    EXPECT_EQ(restored[0]->title(), QStringLiteral("B"));
    EXPECT_EQ(restored[1]->title(), QStringLiteral("A"));
}

TEST_F(alarmsActive, TheRestoredListIsSavedOnceAsRestored) {
    auto gone = dateAlarm(at("2024-03-04T09:00:00"));
    auto moved = weekdayAlarm(at("2024-03-04T07:00:00"), "x..x...", false);
    archive({gone, moved});
    const int syncs = store().synchronizeCount();
    relaunch();
    EXPECT_EQ(store().synchronizeCount(), syncs + 1);
    const std::optional<AlarmList> stored = storedAlarms();
    ASSERT_TRUE(stored && stored->size() == 1u);
    EXPECT_EQ(wall(*stored->front()->storedTime()), QStringLiteral("2024-03-07T07:00:00"));
    EXPECT_EQ(flagsOf(*stored->front()), QStringLiteral("...x..."));
}

// A start that changes nothing writes nothing: no file rewritten and synced on every start.
TEST_F(alarmsActive, AListTheRestoreLeavesAsItWasIsNotWrittenAgain) {
    struct Case {
        const char* name;
        AlarmList stored;
    };
    const Case cases[] = {
        {"none", {}},
        {"one for later", {dateAlarm(at("2024-03-04T11:00:00"))}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        archive(c.stored);
        relaunch();
        // What the restore made of it is what is stored now: the next start finds it unchanged.
        archive(alarmClock().allAlarms());
        const int syncs = store().synchronizeCount();
        relaunch();
        EXPECT_EQ(store().synchronizeCount(), syncs);
        EXPECT_EQ(alarmClock().allAlarms().size(), c.stored.size());
    }
}

TEST_F(alarmsActive, NothingOrSomethingUnreadableRestoresNothing) {
    LogCapture log;
    EXPECT_TRUE(relaunch().empty());
    EXPECT_FALSE(defaults_.objectForKey(keys::AcitveAlarmsStoredKey).isValid());
    EXPECT_TRUE(log.lines().isEmpty());

    for (const QVariant& bad :
         {QVariant(QByteArray("garbage")), QVariant(QStringLiteral("text")), QVariant(qint64(3))}) {
        defaults_.setObject(bad, keys::AcitveAlarmsStoredKey);
        log.clear();
        EXPECT_TRUE(relaunch().empty());
        EXPECT_TRUE(log.contains(QStringLiteral("cannot be read"))) << bad.typeName();
    }
}

TEST_F(alarmsActive, QuittingStoresTheListAndMirrorsIt) {
    notifications_.scheduled.push_back(
        UserNotification{QStringLiteral("old"), {}, {}, at("2024-03-05T07:00:00")});
    const int syncs = store().synchronizeCount();
    // What the application does at quit.
    storeActiveAlarms();
    UsersNotificationManager::synchronizeWithAlarms(Clock::sharedClock().allAlarms());
    const std::optional<AlarmList> stored = storedAlarms();
    ASSERT_TRUE(stored.has_value());
    EXPECT_TRUE(stored->empty());
    EXPECT_TRUE(notifications_.scheduled.empty());
    EXPECT_EQ(store().synchronizeCount(), syncs + 1);

    auto a = dateAlarm(at("2024-03-04T11:00:00"));
    Clock::sharedClock().insertAlarm(a);
    storeActiveAlarms();
    UsersNotificationManager::synchronizeWithAlarms(Clock::sharedClock().allAlarms());
    EXPECT_EQ(storedAlarms()->size(), 1u);
    EXPECT_EQ(notifications_.scheduled.size(), 1u);
}

TEST_F(alarmsActive, TheNextWeekdayDateIsTheFirstFlaggedDayAfterTheCode) {
    struct Case {
        int32_t code;
        const char* flags;  // Monday first
        const char* next;   // "" for none
    };
    // Today is Monday 2024-03-04; the run time's hour and minute are 07:30 (seconds dropped).
    const Case cases[] = {
        {102, "x..x...", "2024-03-07T07:30:00"},  // Monday: Thursday, 3 days on
        {102, "x......", "2024-03-11T07:30:00"},  // the same weekday next week
        {101, "x......", "2024-03-05T07:30:00"},  // Sunday: Monday, 1 day on
        {107, "......x", "2024-03-05T07:30:00"},  // after Saturday comes Sunday
        {107, ".....x.", "2024-03-11T07:30:00"},
        {100, "x......", "2024-03-04T07:30:00"},  // no such weekday: no days added
        {108, "x......", "2024-03-04T07:30:00"},
        {102, ".......", ""},
    };
    for (const Case& c : cases) {
        auto a = weekdayAlarm(at("2024-02-20T07:30:59"), c.flags, false);
        const std::optional<Date> next = calculateNextDate(c.code, *a);
        EXPECT_EQ(next ? wall(*next) : QString(), QString::fromLatin1(c.next))
            << c.code << ' ' << c.flags;
    }
}

TEST_F(alarmsActive, WeekdayCodesAreNumbersWhateverTheLanguage) {
    for (const char* locale : {"en_US", "de_DE", "ja_JP", "ar_EG"}) {
        setIcuLocale(locale);
        EXPECT_EQ(weekdayCode(at("2024-03-10T12:00:00")), 101) << locale;  // Sunday
        EXPECT_EQ(weekdayCode(at("2024-03-04T00:00:00")), 102) << locale;  // Monday
        EXPECT_EQ(weekdayCode(at("2024-03-09T23:59:59")), 107) << locale;  // Saturday
    }
}

}  // namespace
}  // namespace talvor::test
