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
    for (const std::shared_ptr<Alarm>& alarm : *stored) {
        int64_t minutes = 0;
        int64_t seconds = 0;
        alarm->minutesFromNow(&minutes, &seconds);
        if (minutes * 60 + seconds < 0) {
            if (alarm->selRowNo() != 2 || !hasAnyWeekday(*alarm)) {
                continue;
            }
            const int32_t today = weekdayCode(platform::Clock::shared().now());
            if (!alarm->shouldUseForever()) {
                setRunOnWeekday(*alarm, today, false);
            }
            if (const std::optional<Date> next = calculateNextDate(today, *alarm)) {
                alarm->setTime(next);
                alarm->setRunTime(alarm->time());
            }
        }
        clock.insertAlarm(alarm);
        alarm->setDelegate(delegate);
    }
    clock.setSavesChanges(saves);
    // Saved when the restore changed the list: an unchanged one is not written (and synced
    // to disk) again on every start.
    if (archivedAlarms(clock.allAlarms()) != defaults.dataForKey(keys::AcitveAlarmsStoredKey)) {
        clock.noteAlarmsChanged();
    }
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
