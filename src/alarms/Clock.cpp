#include "Clock.h"

#include "ActiveAlarms.h"
#include "AlarmDates.h"
#include "AlarmsKeys.h"
#include "platform/Clock.h"
#include "platform/SharedInstance.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace talvor {

namespace {

// Made on first use, lives for the process; the owner may install its own.
using SharedClock = SharedInstance<Clock, SharedLifetime::ForProcess>;

Date now() {
    return platform::Clock::shared().now();
}

}  // namespace

Clock::Clock() : Clock(platform::Scheduler::shared()) {}

Clock::Clock(platform::Scheduler& scheduler) : scheduler_(scheduler) {
    runTimer();
    wakeObservation_ = platform::NotificationCenter::defaultCenter().addObserver(
        keys::VantrelSoftwareZephyrelWake, QVariant(),
        [this](const platform::Notification&) { awakeFromSleep(); });
}

Clock::~Clock() {
    SharedClock::withdraw(this);
}

Clock& Clock::sharedClock() {
    return SharedClock::get();
}

std::unique_ptr<Clock> Clock::makeShared() {
    auto clock = std::make_unique<Clock>();
    clock->setSavesChanges(true);
    return clock;
}

void Clock::setSharedClock(Clock* clock) {
    SharedClock::replace(clock);
}

void Clock::updateAlarms(bool /*fromTimer*/) {
    // A delegate may change the list while it hears of its alarm.
    const AlarmList alarms = alarms_;
    for (const auto& a : alarms) {
        a->tick();
    }
}

void Clock::awakeFromSleep() {
    wakeTimer_ = scheduler_.scheduleAfter(1.0, [this] { runTimer(); });
}

void Clock::runTimer() {
    clockTimer_.cancel();
    const Date wholeSecond =
        Date::fromReference(std::floor(now().timeIntervalSinceReferenceDate()));
    clockTimer_ = scheduler_.scheduleRepeating(wholeSecond, 1.0, [this] { tick(); });
    updateAlarms(false);
}

void Clock::tick() {
    updateAlarms(true);
}

void Clock::insertAlarm(const std::shared_ptr<Alarm>& alarm) {
    insertAlarm(alarm, 0);
}

void Clock::insertAlarm(const std::shared_ptr<Alarm>& alarm, std::size_t index) {
    if (!alarm) {
        return;
    }
    alarm->setRunTime(alarm->selRowNo() == 2 ? alarm->time() : now());
    std::erase(alarms_, alarm);
    alarms_.insert(alarms_.begin() + static_cast<std::ptrdiff_t>(std::min(index, alarms_.size())),
                   alarm);
    if (alarm->shouldUseEveryDay()) {
        const Date due = alarm->time();
        const Date current = now();
        if (due < current) {
            const AlarmDates::DayDifference d = AlarmDates::difference(due, current);
            AlarmDates::Change change;
            change.addDays = d.days + ((d.hours > 0 || d.minutes > 0) ? 1 : 0);
            Date next = AlarmDates::changed(due, change);
            // Seconds late still count: an every-day alarm waits for its next day rather
            // than ringing at once for the one that passed.
            if (next <= current) {
                AlarmDates::Change oneDay;
                oneDay.addDays = 1;
                next = AlarmDates::changed(next, oneDay);
            }
            alarm->setTime(next);
        }
    }
    noteAlarmsChanged();
}

void Clock::removeAlarm(const Alarm* alarm) {
    if (std::erase_if(alarms_, [alarm](const auto& a) { return a.get() == alarm; }) > 0) {
        noteAlarmsChanged();
    }
}

void Clock::replaceAlarm(const Alarm* old, const std::shared_ptr<Alarm>& replacement) {
    if (!replacement) {
        return;
    }
    auto it = std::find_if(alarms_.begin(), alarms_.end(),
                           [old](const auto& a) { return a.get() == old; });
    if (it == alarms_.end()) {
        // The edited alarm fired and was cleared meanwhile: keep the edit rather than lose it.
        alarms_.insert(alarms_.begin(), replacement);
    } else {
        *it = replacement;
    }
    noteAlarmsChanged();
}

std::shared_ptr<Alarm> Clock::nearestAlarm() const {
    std::shared_ptr<Alarm> best;
    int64_t bestTotal = std::numeric_limits<int64_t>::max();
    for (const auto& a : alarms_) {
        int64_t minutes = 0;
        int64_t seconds = 0;
        a->minutesFromNow(&minutes, &seconds);
        const int64_t total = minutes * 60 + seconds;
        if (total < bestTotal) {
            bestTotal = total;
            best = a;
        }
    }
    return best;
}

void Clock::noteAlarmsChanged() {
    if (savesChanges_) {
        storeAlarms(alarms_);
    }
}

}  // namespace talvor
