#include "AlarmsTestSupport.h"

#include "alarms/ActiveAlarms.h"
#include "alarms/AlarmsKeys.h"
#include "alarms/SavedAlarms.h"
#include "alarms/UsersNotificationManager.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include <bit>
#include <limits>

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
        const char* time;   // the due time afterwards
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
        {"Monday only, missed on a Monday: its only day is gone, so is the alarm", "en_US",
         "2024-03-04T09:00:00",
         [] { return weekdayAlarm(at("2024-03-04T07:00:00"), "x......", false); }, false, "", ""},
        {"missed on Monday, launched on Tuesday before its time: Monday's flag goes, today's "
         "ring stays",
         "en_US", "2024-03-05T06:00:00",
         [] { return weekdayAlarm(at("2024-03-04T07:00:00"), "xx.....", false); }, true,
         "2024-03-05T07:00:00", ".x....."},
        {"missed on Monday, launched on Wednesday: Monday's flag goes, Thursday next", "en_US",
         "2024-03-06T09:00:00",
         [] { return weekdayAlarm(at("2024-03-04T07:00:00"), "x..x...", false); }, true,
         "2024-03-07T07:00:00", "...x..."},
        {"a 60-minute alarm started 35 minutes before a relaunch is due 25 minutes after it",
         "en_US", "2024-03-04T10:00:00",
         [] { return relativeAlarm(60, true, at("2024-03-04T09:25:00")); }, true,
         "2024-03-04T10:25:00", "......."},
        {"a snoozed date alarm keeps its snooze", "en_US", "2024-03-04T10:00:00",
         [] {
             auto a = dateAlarm(at("2024-03-04T09:50:00"));
             a->snooze(15);
             return a;
         },
         true, "2024-03-04T10:05:00", "......."},
        {"a repeating relative alarm skips the intervals missed while closed", "en_US",
         "2024-03-04T12:10:00",
         [] {
             auto a = relativeAlarm(30, true, at("2024-03-04T09:00:00"));
             a->setShouldRepeat(true);
             return a;
         },
         true, "2024-03-04T12:30:00", "......."},
        {"an every-day alarm missed while closed moves to tomorrow", "en_US", "2024-03-04T09:00:00",
         [] { return dateAlarm(at("2024-03-04T07:00:00"), true); }, true, "2024-03-05T07:00:00",
         "......."},
        {"an every-day alarm missed for days moves to its next time to come", "en_US",
         "2024-03-04T06:00:00", [] { return dateAlarm(at("2024-03-01T07:00:00"), true); }, true,
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
        EXPECT_EQ(wall(a.time()), QString::fromLatin1(c.time)) << c.name;
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

    // Each unreadable value is copied aside, as it was, before anything writes the key again.
    const QByteArray xmlArchive = *platform::PropertyList::serialize(
        *platform::PropertyList::parse(archivedAlarms({dateAlarm(at("2024-03-05T09:00:00"))})),
        platform::PropertyList::Format::Xml);
    const QDir config(platform::Paths::configDir());
    for (const QVariant& bad : {QVariant(QByteArray("garbage")), QVariant(QStringLiteral("text")),
                                QVariant(qint64(3)), QVariant(xmlArchive)}) {
        defaults_.setObject(bad, keys::AcitveAlarmsStoredKey);
        log.clear();
        EXPECT_TRUE(relaunch().empty());
        EXPECT_EQ(log.lines().size(), 1) << bad.typeName();
        EXPECT_TRUE(log.contains(QStringLiteral("cannot be read"))) << bad.typeName();
        const QStringList aside = config.entryList(
            {QStringLiteral("AcitveAlarmsStoredKey.corrupt-*")}, QDir::Files, QDir::Time);
        ASSERT_FALSE(aside.isEmpty()) << bad.typeName();
        EXPECT_TRUE(log.contains(aside.front())) << bad.typeName();
        QFile kept(config.filePath(aside.front()));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(platform::PropertyList::parse(kept.readAll()), bad) << bad.typeName();
        ASSERT_TRUE(kept.remove());
        // What a later save writes no longer matters.
        storeActiveAlarms();
    }
}

// The archive of `alarm` with the bytes of its stored time (a binary date) set to NaN.
QByteArray withNaNTime(const Alarm& alarm) {
    QByteArray data = archivedAlarms({alarm.copy()});
    QByteArray date(1, '\x33');
    const auto bits = std::bit_cast<uint64_t>(alarm.storedTime()->timeIntervalSinceReferenceDate());
    for (int i = 7; i >= 0; --i) {
        date.append(static_cast<char>((bits >> (8 * i)) & 0xff));
    }
    const qsizetype at = data.indexOf(date);
    if (at < 0) {
        return {};
    }
    const auto nan = std::bit_cast<uint64_t>(std::numeric_limits<double>::quiet_NaN());
    for (int i = 0; i < 8; ++i) {
        data[at + 1 + i] = static_cast<char>((nan >> (8 * (7 - i))) & 0xff);
    }
    return data;
}

TEST_F(alarmsActive, AnAlarmWhoseTimeCannotBeReadIsDroppedAndSaidSo) {
    auto dentist = dateAlarm(at("2024-03-05T09:00:00"));
    dentist->setTitle(QStringLiteral("dentist"));
    auto gym = weekdayAlarm(at("2024-03-05T07:00:00"), ".x.....", true);
    gym->setTitle(QStringLiteral("gym"));
    auto untimed = dateAlarm(at("2024-03-05T09:00:00"));
    untimed->setTitle(QStringLiteral("untimed"));
    untimed->setTime(std::nullopt);
    for (const QByteArray& archive :
         {withNaNTime(*dentist), withNaNTime(*gym), archivedAlarms({untimed})}) {
        ASSERT_FALSE(archive.isEmpty());
        defaults_.setObject(QVariant(archive), keys::AcitveAlarmsStoredKey);
        LogCapture log;
        EXPECT_TRUE(relaunch().empty());
        EXPECT_TRUE(log.contains(QStringLiteral("has no readable time; dropped")))
            << log.lines().join(QLatin1Char('\n')).toStdString();
    }
}

QStringList titlesOf(const AlarmList& alarms) {
    QStringList titles;
    for (const auto& a : alarms) {
        titles << a->title();
    }
    titles.sort();
    return titles;
}

TEST_F(alarmsActive, AlarmsTheSettingsCannotTakeAreKeptInAFileOfTheirOwnUntilTheyCan) {
    const QString unsaved = unsavedAlarmsPath();
    auto kept = dateAlarm(at("2024-03-05T09:00:00"));
    kept->setTitle(QStringLiteral("kept"));
    store().setFailSynchronize(true);
    {
        LogCapture log;
        alarmClock().insertAlarm(kept);
        alarmClock().insertAlarm(dateAlarm(at("2024-03-06T09:00:00")));
        EXPECT_TRUE(QFile::exists(unsaved));
        EXPECT_EQ(log.lines().filter(QStringLiteral("are kept in")).size(), 1);
    }
    // The settings never got them; the next launch does, and the file goes.
    store().setFailSynchronize(false);
    defaults_.removeObjectForKey(keys::AcitveAlarmsStoredKey);
    ASSERT_TRUE(defaults_.synchronize());
    EXPECT_EQ(relaunch().size(), 2u);
    EXPECT_EQ(storedAlarms()->size(), 2u);
    EXPECT_FALSE(QFile::exists(unsaved));
}

// A FIFO where the kept alarms would be is passed over with one line, never waited on.
TEST_F(alarmsActive, AFifoInTheKeptAlarmsPlaceDoesNotHoldTheLaunch) {
    archive({dateAlarm(at("2024-03-05T09:00:00"))});
    ASSERT_TRUE(defaults_.synchronize());
    ASSERT_TRUE(platform::Paths::makePath(platform::Paths::dataDir()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(unsavedAlarmsPath()).constData(), 0600), 0);
    LogCapture log;
    EXPECT_EQ(relaunch().size(), 1u);
    EXPECT_EQ(log.lines().filter(QStringLiteral("not a regular file")).size(), 1);
}

TEST_F(alarmsActive, SettingsUnreadableAtLaunchAreNeverWrittenOverAndNothingIsLost) {
    auto old = dateAlarm(at("2024-03-05T09:00:00"));
    old->setTitle(QStringLiteral("old"));
    archive({old});
    ASSERT_TRUE(defaults_.synchronize());
    const QVariant inSettings = defaults_.objectForKey(keys::AcitveAlarmsStoredKey);
    store().setFailSynchronize(true);
    defaults_.synchronize();
    ASSERT_TRUE(store().failure().has_value());
    relaunch();
    auto added = dateAlarm(at("2024-03-06T09:00:00"));
    added->setTitle(QStringLiteral("added"));
    alarmClock().insertAlarm(added);
    // Not even queued for the settings: they may hold alarms this run never saw.
    EXPECT_EQ(defaults_.objectForKey(keys::AcitveAlarmsStoredKey), inSettings);
    EXPECT_TRUE(QFile::exists(unsavedAlarmsPath()));
    // Readable again: both lists, each alarm once.
    store().setFailSynchronize(false);
    ASSERT_TRUE(defaults_.synchronize());
    EXPECT_EQ(titlesOf(relaunch()), (QStringList{QStringLiteral("added"), QStringLiteral("old")}));
    EXPECT_EQ(titlesOf(*storedAlarms()),
              (QStringList{QStringLiteral("added"), QStringLiteral("old")}));
    EXPECT_FALSE(QFile::exists(unsavedAlarmsPath()));
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
