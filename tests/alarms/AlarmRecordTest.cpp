#include "AlarmsTestSupport.h"

#include "alarms/AlarmDates.h"
#include "platform/KeyedArchiver.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <functional>
#include <limits>

namespace talvor::test {
namespace {

using platform::KeyedArchiver;

class alarmsRecord : public AlarmsTest {};

TEST_F(alarmsRecord, DueTimeFollowsTheKindOfAlarm) {
    struct Case {
        const char* name;
        const char* now;
        std::function<std::shared_ptr<Alarm>()> make;
        const char* due;
    };
    const std::vector<Case> cases = {
        {"90 minutes from 10:45:30", "2024-03-04T10:45:30",
         [] { return relativeAlarm(90, true, at("2024-03-04T10:45:30")); }, "2024-03-04T12:15:30"},
        {"90 minutes, snoozed twice by 5", "2024-03-04T10:45:30",
         [] {
             auto a = relativeAlarm(90, true, at("2024-03-04T10:45:30"));
             a->snooze(5);
             a->snooze(5);
             return a;
         },
         "2024-03-04T12:25:30"},
        {"hours carry into the next day", "2024-03-04T23:30:10",
         [] { return relativeAlarm(2, false, at("2024-03-04T23:30:10")); }, "2024-03-05T01:30:10"},
        {"no run time counts from now", "2024-03-04T10:00:20",
         [] {
             auto a = relativeAlarm(10, true, Date());
             a->setRunTime(std::nullopt);
             return a;
         },
         "2024-03-04T10:10:20"},
        {"a date alarm drops its seconds", "2024-03-04T06:00:00",
         [] { return dateAlarm(at("2024-03-04T08:00:45")); }, "2024-03-04T08:00:00"},
        {"snoozed minutes carry past midnight", "2024-03-04T23:00:00",
         [] {
             auto a = dateAlarm(at("2024-03-04T23:30:00"));
             a->snooze(59);
             return a;
         },
         "2024-03-05T00:29:00"},
        {"a weekday alarm keeps its seconds", "2024-03-04T06:00:00",
         [] {
             auto a = Alarm::initWithTime(at("2024-03-04T07:00:45"), QStringLiteral("w"));
             a->setSelRowNo(2);
             return a;
         },
         "2024-03-04T07:00:45"},
        {"a row above 2 is a weekday alarm", "2024-03-04T06:00:00",
         [] {
             auto a = Alarm::initWithTime(at("2024-03-04T07:00:45"), QStringLiteral("w"));
             a->setSelRowNo(5);
             return a;
         },
         "2024-03-04T07:00:45"},
        {"into summer time by wall clock", "2024-03-31T00:00:00",
         [] { return relativeAlarm(60, true, at("2024-03-31T01:30:00")); }, "2024-03-31T03:30:00"},
    };
    for (const Case& c : cases) {
        clock_.set(at(c.now));
        EXPECT_EQ(wall(c.make()->time()), QString::fromLatin1(c.due)) << c.name;
    }
}

TEST_F(alarmsRecord, FiresWhenTheWholeSecondsToGoReachZero) {
    struct Case {
        double secondsToGo;
        bool triggered;
        bool fires;
    };
    const Case cases[] = {
        {1.0, false, false},  {0.5, false, true},   {0.0, false, true},
        {-30.0, false, true}, {-30.0, true, false},
    };
    for (const Case& c : cases) {
        RecordingDelegate delegate(clock_);
        auto a = relativeAlarm(1, true, clock_.now().addingTimeInterval(c.secondsToGo - 60.0));
        a->setIsTriggered(c.triggered);
        a->setDelegate(&delegate);
        a->tick();
        EXPECT_EQ(delegate.fired.size(), c.fires ? 1u : 0u)
            << c.secondsToGo << " triggered " << c.triggered;
    }
    // Without a delegate a due alarm is only tested.
    relativeAlarm(0, true, clock_.now())->tick();
}

TEST_F(alarmsRecord, MinutesFromNowTruncateTowardZero) {
    struct Case {
        double seconds;
        int64_t minutes;
        int64_t rest;
    };
    // Due at 10:00:00 sharp; now moves around it.
    const auto a = dateAlarm(at("2024-03-04T10:00:00"));
    for (const Case& c :
         {Case{125.9, 2, 5}, Case{-90.5, -1, -30}, Case{59.0, 0, 59}, Case{-0.9, 0, 0}}) {
        clock_.set(at("2024-03-04T10:00:00").addingTimeInterval(-c.seconds));
        int64_t m = 99;
        int64_t s = 99;
        a->minutesFromNow(&m, &s);
        EXPECT_EQ(m, c.minutes) << c.seconds;
        EXPECT_EQ(s, c.rest) << c.seconds;
    }
    EXPECT_EQ(dateAlarm(at("2024-03-04T13:42:59"))->minute(), 42);
}

TEST_F(alarmsRecord, SnoozingAddsMinutesUntilTheRunTimeIsSet) {
    auto a = relativeAlarm(10, true, at("2024-03-04T10:00:00"));
    a->snooze(5);
    a->snooze(-2);
    EXPECT_EQ(a->snoozedMinutes(), 3u);
    EXPECT_EQ(wall(a->time()), QStringLiteral("2024-03-04T10:13:00"));
    a->setRunTime(at("2024-03-04T11:00:00"));
    EXPECT_EQ(a->snoozedMinutes(), 0u);
    EXPECT_EQ(wall(a->time()), QStringLiteral("2024-03-04T11:10:00"));
}

TEST_F(alarmsRecord, CopyLeavesOutRunTimeAndFiringState) {
    RecordingDelegate delegate(clock_);
    auto a = relativeAlarm(15, true, at("2024-03-04T08:00:00"));
    a->setTitle(QStringLiteral("Tea"));
    a->setTime(at("2024-03-05T09:00:00"));
    a->setSoundPath(QStringLiteral("/sounds/Ping.aiff"));
    a->setVoiceName(QStringLiteral("Alex"));
    a->setSnoozeTime(7);
    a->setIsPlaySound(true);
    a->setShouldFadeIn(true);
    a->setIsSpeakAlarmName(true);
    a->setShouldRepeat(true);
    a->setShouldUseEveryDay(true);
    a->setShouldUseForever(true);
    a->setIsExisInActiveAlarmList(true);
    a->setIsDefaultAlarm(true);
    a->setIsRunOnWed(true);
    a->setIsRunOnSun(true);
    a->setIsTriggered(true);
    a->snooze(4);
    a->setDelegate(&delegate);
    a->setContext(42);

    const std::shared_ptr<Alarm> c = a->copy();
    EXPECT_EQ(c->title(), a->title());
    EXPECT_EQ(c->storedTime(), a->storedTime());
    EXPECT_EQ(c->soundPath(), a->soundPath());
    EXPECT_EQ(c->voiceName(), a->voiceName());
    EXPECT_EQ(c->snoozeTime(), 7);
    EXPECT_EQ(c->ringWithinUnits(), 15);
    EXPECT_TRUE(c->isMinuteUnits() && c->isPlaySound() && c->shouldFadeIn() &&
                c->isSpeakAlarmName());
    EXPECT_TRUE(c->shouldRepeat() && c->shouldUseEveryDay() && c->shouldUseForever());
    EXPECT_TRUE(c->isExisInActiveAlarmList() && c->isDefaultAlarm());
    EXPECT_TRUE(c->isRunOnWed() && c->isRunOnSun() && !c->isRunOnMon());
    EXPECT_FALSE(c->storedRunTime().has_value());
    EXPECT_FALSE(c->isTriggered());
    EXPECT_EQ(c->snoozedMinutes(), 0u);
    EXPECT_EQ(c->delegate(), nullptr);
    EXPECT_FALSE(c->context().has_value());
    // Without a run time the run time is now, whenever it is asked.
    EXPECT_EQ(c->runTime(), clock_.now());
    clock_.advance(61);
    EXPECT_EQ(c->runTime(), clock_.now());
}

TEST_F(alarmsRecord, DescriptionNamesTheStoredTimeAndTitle) {
    auto a = Alarm::initWithTime(at("2024-03-04T08:00:45"), QStringLiteral("Tea"));
    EXPECT_EQ(a->description(), QStringLiteral("Alarm at 2024-03-04 07:00:45 +0000 (\"Tea\")"));
    a->setTitle(QString());
    EXPECT_EQ(a->description(), QStringLiteral("Alarm at 2024-03-04 07:00:45 +0000 (no reminder)"));
    EXPECT_EQ(Alarm().description(), QStringLiteral("Alarm at (null) (no reminder)"));
}

TEST_F(alarmsRecord, CompareSetsTheStoredTimeAgainstTheOthersDueTime) {
    const auto a = dateAlarm(at("2024-03-04T08:00:45"));
    // Its stored seconds lie after its own due time: no ordering, as the record has it.
    EXPECT_EQ(a->compare(*a), 1);
    const auto later = dateAlarm(at("2024-03-04T08:01:00"));
    EXPECT_EQ(a->compare(*later), -1);
    EXPECT_EQ(later->compare(*later), 0);
}

TEST_F(alarmsRecord, NewUniqueIdsStartWithTheProcessAndDiffer) {
    const QString first = calculateNewUniqueID();
    const QString second = calculateNewUniqueID();
    const QString pid = QString::number(QCoreApplication::applicationPid());
    EXPECT_TRUE(first.startsWith(pid));
    EXPECT_EQ(first.size(), pid.size() + 36);
    EXPECT_EQ(first.mid(pid.size()), first.mid(pid.size()).toUpper());
    EXPECT_NE(first, second);
}

// A list archive written by hand, to feed the decoder what another writer might have stored:
// each element a dictionary with its "$class".
struct RawArray {
    QVariantList objects;
    static QString archiveClassName() { return QStringLiteral("NSMutableArray"); }
    void encodeWithCoder(KeyedArchiver& coder) const {
        coder.encodeValue(QStringLiteral("NS.objects"), objects);
    }
};

QVariant rawObject(const QString& className, QVariantMap values) {
    values.insert(QStringLiteral("$class"), className);
    return values;
}

TEST_F(alarmsRecord, ArchiveKeepsEveryArchivedField) {
    auto a = relativeAlarm(-3, false, at("2024-03-04T08:15:30.250"));
    a->setTitle(QStringLiteral("Tea ☕"));
    a->setTime(at("2024-03-06T07:00:00"));
    a->setSoundPath(QStringLiteral("/sounds/Ping.aiff"));
    a->setVoiceName(QStringLiteral("Alex"));
    a->setSnoozeTime(9);
    a->setSelRowNo(2);
    a->setIsTimeWithDate(true);
    a->setIsPlaySound(true);
    a->setShouldFadeIn(true);
    a->setIsSpeakAlarmName(true);
    a->setShouldRepeat(true);
    a->setShouldUseEveryDay(true);
    a->setShouldUseForever(true);
    a->setIsExisInActiveAlarmList(true);
    a->setIsDefaultAlarm(true);
    a->setIsRunOnMon(true);
    a->setIsRunOnTue(true);
    a->setIsRunOnThu(true);
    a->setIsRunOnSat(true);
    a->setIsTriggered(true);
    a->snooze(5);
    auto b = Alarm::create();  // all defaults, no title, no dates

    const std::optional<AlarmList> back = unarchivedAlarms(archivedAlarms({a, b}));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 2u);
    const Alarm& r = *(*back)[0];
    EXPECT_EQ(r.title(), a->title());
    EXPECT_EQ(r.storedTime(), a->storedTime());
    EXPECT_EQ(r.storedRunTime(), a->storedRunTime());
    EXPECT_EQ(r.soundPath(), a->soundPath());
    EXPECT_EQ(r.voiceName(), a->voiceName());
    EXPECT_EQ(r.snoozeTime(), 9);
    EXPECT_EQ(r.ringWithinUnits(), -3);
    EXPECT_EQ(r.selRowNo(), 2);
    EXPECT_TRUE(r.isTimeWithDate() && r.isPlaySound() && r.shouldFadeIn() && r.isSpeakAlarmName());
    EXPECT_TRUE(r.shouldRepeat() && r.shouldUseEveryDay() && r.shouldUseForever());
    EXPECT_TRUE(r.isExisInActiveAlarmList() && r.isDefaultAlarm());
    EXPECT_FALSE(r.isMinuteUnits());
    EXPECT_TRUE(r.isRunOnMon() && r.isRunOnTue() && r.isRunOnThu() && r.isRunOnSat());
    EXPECT_FALSE(r.isRunOnWed() || r.isRunOnFri() || r.isRunOnSun());
    // Not archived: the firing state. The snoozed minutes are, so that a relaunch keeps them.
    EXPECT_FALSE(r.isTriggered());
    EXPECT_EQ(r.snoozedMinutes(), 5u);

    const Alarm& e = *(*back)[1];
    EXPECT_TRUE(e.title().isNull());
    EXPECT_TRUE(e.soundPath().isNull());
    EXPECT_FALSE(e.storedTime().has_value());
    EXPECT_FALSE(e.storedRunTime().has_value());
}

TEST_F(alarmsRecord, SnoozeTimeIsArchivedIn32Bits) {
    struct Case {
        int64_t written;
        int64_t read;
    };
    for (const Case& c :
         {Case{(int64_t{1} << 32) + 7, 7},
          Case{int64_t{1} << 31, std::numeric_limits<int32_t>::min()}, Case{-5, -5},
          Case{std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()}}) {
        auto a = Alarm::create();
        a->setSnoozeTime(c.written);
        const std::optional<AlarmList> back = unarchivedAlarms(archivedAlarms({a}));
        ASSERT_TRUE(back && back->size() == 1);
        EXPECT_EQ(back->front()->snoozeTime(), c.read) << c.written;
    }
}

TEST_F(alarmsRecord, DateArithmeticAtTheEndsOfTheRangeStaysDefined) {
    // Minute and hour 0 are where carrying INT64_MIN minutes or hours overflowed (UBSan,
    // which the sanitizer build runs, stopped there).
    const Date midnight = at("2024-03-04T00:00:00");
    const int64_t extremes[] = {std::numeric_limits<int64_t>::min(),
                                std::numeric_limits<int64_t>::max()};
    for (const int64_t n : extremes) {
        AlarmDates::Change minutes;
        minutes.addMinutes = n;
        AlarmDates::Change hours;
        hours.addHours = n;
        for (const AlarmDates::Change& change : {minutes, hours}) {
            const Date moved = AlarmDates::changed(midnight, change);
            EXPECT_EQ(n < 0, moved < midnight) << n;
        }
        // The same through an alarm read from an archive.
        for (const bool inMinutes : {true, false}) {
            auto a = relativeAlarm(n, inMinutes, midnight);
            const std::optional<AlarmList> back = unarchivedAlarms(archivedAlarms({a}));
            ASSERT_TRUE(back && back->size() == 1u);
            EXPECT_EQ(n < 0, back->front()->time() < midnight) << n << inMinutes;
        }
    }
}

TEST_F(alarmsRecord, DamagedArchivesAreRefusedOrReadSafely) {
    // Not a list archive at all.
    QByteArray noise(512, '\0');
    QRandomGenerator rng(7);
    for (char& ch : noise) {
        ch = static_cast<char>(rng.bounded(256));
    }
    const QByteArray valid = archivedAlarms({dateAlarm(at("2024-03-04T08:00:00"))});
    for (const QByteArray& bad :
         {QByteArray(), noise, QByteArray("bplist00"), valid.left(valid.size() / 2),
          QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>"),
          KeyedArchiver::archivedDataWithRootObject(*Alarm::create())}) {
        EXPECT_FALSE(unarchivedAlarms(bad).has_value());
    }
    // Flipping bytes of a good archive either is refused or reads as alarms.
    for (int i = 0; i < 200; ++i) {
        QByteArray damaged = valid;
        damaged[rng.bounded(static_cast<int>(damaged.size()))] =
            static_cast<char>(rng.bounded(256));
        if (const std::optional<AlarmList> list = unarchivedAlarms(damaged)) {
            for (const auto& a : *list) {
                a->time();
            }
        }
    }

    // Values of the wrong type or out of every range read as absent, or are computed with.
    RawArray raw;
    const QString alarm = QStringLiteral("Alarm");
    raw.objects.append(
        rawObject(alarm, {{QStringLiteral("time"), QStringLiteral("tomorrow")},
                          {QStringLiteral("title"), qint64(5)},
                          {QStringLiteral("selRowNo"), QStringLiteral("2")},
                          {QStringLiteral("isTimeWithDate"), qint64(1)},
                          {QStringLiteral("snoozeTime"), std::numeric_limits<qint64>::max()}}));
    raw.objects.append(
        rawObject(QStringLiteral("Bell"), {{QStringLiteral("title"), QStringLiteral("x")}}));
    raw.objects.append(QStringLiteral("not an object"));
    raw.objects.append(rawObject(
        alarm,
        {{QStringLiteral("ringWithinUnits"), std::numeric_limits<qint64>::max()},
         {QStringLiteral("isMinuteUnits"), true},
         {QStringLiteral("runTime"), QDateTime(QDate(9999, 12, 31), QTime(23, 0), Qt::UTC)}}));
    raw.objects.append(rawObject(
        alarm, {{QStringLiteral("ringWithinUnits"), std::numeric_limits<qint64>::min()}}));
    const std::optional<AlarmList> list =
        unarchivedAlarms(KeyedArchiver::archivedDataWithRootObject(raw));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 3u);
    const Alarm& first = *(*list)[0];
    EXPECT_FALSE(first.storedTime().has_value());
    EXPECT_TRUE(first.title().isNull());
    EXPECT_EQ(first.selRowNo(), 0);
    EXPECT_FALSE(first.isTimeWithDate());
    EXPECT_EQ(first.snoozeTime(), 0);
    // An interval is clamped as it is read: no arithmetic on it can overflow.
    EXPECT_EQ((*list)[1]->ringWithinUnits(), AlarmDates::kMaxMinutes);
    EXPECT_EQ((*list)[2]->ringWithinUnits(), -AlarmDates::kMaxMinutes);
    // Far-off due times stay dates, in order.
    EXPECT_GT((*list)[1]->time(), clock_.now());
    EXPECT_LT((*list)[2]->time(), clock_.now());
    int64_t m = 0;
    int64_t s = 0;
    (*list)[1]->minutesFromNow(&m, &s);
    EXPECT_GT(m, 0);
}

}  // namespace
}  // namespace talvor::test
