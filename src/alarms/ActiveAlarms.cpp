#include "ActiveAlarms.h"

#include "AlarmDates.h"
#include "AlarmMenuController.h"
#include "AlarmsKeys.h"
#include "Clock.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

namespace talvor {

namespace {

constexpr int32_t kSunday = 101;
constexpr int32_t kSaturday = 107;

int32_t nextCode(int32_t code) {
    return code >= kSaturday ? kSunday : code + 1;
}

}  // namespace

int32_t weekdayCode(Date date) {
    return 100 + AlarmDates::weekday(date);
}

bool isRunOnWeekday(const Alarm& alarm, int32_t code) {
    switch (code) {
        case 101:
            return alarm.isRunOnSun();
        case 102:
            return alarm.isRunOnMon();
        case 103:
            return alarm.isRunOnTue();
        case 104:
            return alarm.isRunOnWed();
        case 105:
            return alarm.isRunOnThu();
        case 106:
            return alarm.isRunOnFri();
        case 107:
            return alarm.isRunOnSat();
        default:
            return false;
    }
}

void setRunOnWeekday(Alarm& alarm, int32_t code, bool on) {
    switch (code) {
        case 101:
            alarm.setIsRunOnSun(on);
            break;
        case 102:
            alarm.setIsRunOnMon(on);
            break;
        case 103:
            alarm.setIsRunOnTue(on);
            break;
        case 104:
            alarm.setIsRunOnWed(on);
            break;
        case 105:
            alarm.setIsRunOnThu(on);
            break;
        case 106:
            alarm.setIsRunOnFri(on);
            break;
        case 107:
            alarm.setIsRunOnSat(on);
            break;
        default:
            break;
    }
}

bool hasAnyWeekday(const Alarm& alarm) {
    for (int32_t code = kSunday; code <= kSaturday; ++code) {
        if (isRunOnWeekday(alarm, code)) {
            return true;
        }
    }
    return false;
}

std::optional<Date> calculateNextDate(int32_t code, const Alarm& alarm) {
    if (!hasAnyWeekday(alarm)) {
        return std::nullopt;
    }
    int64_t offset = 0;
    if (code >= kSunday && code <= kSaturday) {
        offset = 1;
        for (int32_t day = nextCode(code); !isRunOnWeekday(alarm, day); day = nextCode(day)) {
            ++offset;
        }
    }
    const Date run = alarm.runTime();
    AlarmDates::Change change;
    change.hour = AlarmDates::hourOfDay(run);
    change.minute = AlarmDates::minuteOfHour(run);
    change.second = 0;
    change.addDays = offset;
    return AlarmDates::changed(platform::Clock::shared().now(), change);
}

namespace {

// The first time at or after `after` on a flagged weekday, at the hour and minute of the
// alarm's run time; none without a flag.
std::optional<Date> nextWeekdayAtOrAfter(const Alarm& alarm, Date after) {
    if (!hasAnyWeekday(alarm)) {
        return std::nullopt;
    }
    const Date run = alarm.runTime();
    AlarmDates::Change change;
    change.hour = AlarmDates::hourOfDay(run);
    change.minute = AlarmDates::minuteOfHour(run);
    change.second = 0;
    for (int64_t offset = 0; offset <= 7; ++offset) {
        change.addDays = offset;
        const Date candidate = AlarmDates::changed(after, change);
        if (isRunOnWeekday(alarm, weekdayCode(candidate)) && !(candidate < after)) {
            return candidate;
        }
    }
    return std::nullopt;
}

// Whether an alarm read at launch still has a time to come, moving a passed one that
// recurs on to it. A passed weekday alarm loses the day it was due (unless it is kept for
// ever) and takes its first day at or after now, today included; a passed repeating
// relative alarm skips the intervals that ran out while the program was closed; a passed
// every-day alarm is moved on when it is inserted; any other passed alarm is dropped.
bool restoredAlarmIsDue(Alarm& alarm, Date current) {
    if (!(alarm.time() < current)) {
        return true;
    }
    if (alarm.selRowNo() == 2) {
        if (!hasAnyWeekday(alarm)) {
            return false;
        }
        if (!alarm.shouldUseForever()) {
            setRunOnWeekday(alarm, weekdayCode(alarm.time()), false);
        }
        const std::optional<Date> next = nextWeekdayAtOrAfter(alarm, current);
        if (!next) {
            return false;
        }
        alarm.setTime(next);
        alarm.setRunTime(alarm.time());
        return true;
    }
    if (alarm.isTimeWithDate()) {
        return alarm.shouldUseEveryDay();
    }
    if (!alarm.shouldRepeat() || alarm.ringWithinUnits() <= 0) {
        return false;
    }
    // Bounded: an interval of one minute missed for two years is about a million steps.
    for (int i = 0; i < 2'000'000 && alarm.time() < current; ++i) {
        alarm.setRunTime(alarm.time());
    }
    return !(alarm.time() < current);
}

}  // namespace

void restoreActiveAlarms() {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    if (!defaults.objectForKey(keys::AcitveAlarmsStoredKey).isValid()) {
        return;
    }
    const std::optional<AlarmList> stored =
        unarchivedAlarms(defaults.dataForKey(keys::AcitveAlarmsStoredKey));
    if (!stored) {
        platform::log(QStringLiteral("The stored active alarms cannot be read; none restored"));
        return;
    }
    Clock& clock = Clock::sharedClock();
    AlarmDelegate* delegate = &AlarmMenuController::mainMenuController();
    // One save for the whole list: a crash half-way must not leave half the list stored.
    const bool saves = clock.savesChanges();
    clock.setSavesChanges(false);
    const Date current = platform::Clock::shared().now();
    for (const std::shared_ptr<Alarm>& alarm : *stored) {
        if (!restoredAlarmIsDue(*alarm, current)) {
            continue;
        }
        // The interval that ran before the quit goes on, snooze included.
        const std::optional<Date> run = alarm->storedRunTime();
        const uint64_t snoozed = alarm->snoozedMinutes();
        clock.insertAlarm(alarm);
        if (alarm->selRowNo() != 2 && !alarm->isTimeWithDate() && run) {
            alarm->setRunTime(run);
            alarm->setSnoozedMinutes(snoozed);
        } else if (alarm->selRowNo() != 2 && !alarm->shouldUseEveryDay()) {
            alarm->setSnoozedMinutes(snoozed);
        }
        alarm->setDelegate(delegate);
    }
    clock.setSavesChanges(saves);
    clock.noteAlarmsChanged();
}

void storeActiveAlarms() {
    storeAlarms(Clock::sharedClock().allAlarms());
}

void storeAlarms(const AlarmList& alarms) {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    const QByteArray data = archivedAlarms(alarms);
    if (data.isEmpty()) {
        platform::log(QStringLiteral("The active alarms could not be archived"));
        return;
    }
    defaults.setObject(QVariant(data), keys::AcitveAlarmsStoredKey);
    if (!defaults.synchronize()) {
        platform::log(QStringLiteral("The active alarms could not be saved"));
    }
}

}  // namespace talvor
