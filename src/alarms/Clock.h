#pragma once

#include "Alarm.h"
#include "platform/NotificationCenter.h"
#include "platform/Scheduler.h"

#include <cstddef>
#include <memory>

namespace talvor {

// The alarm clock: the ordered list of active alarms, and a one-second timer on whole
// seconds that sends every alarm `tick`. Not the time source (that is platform::Clock).
// Main thread only.
class Clock {
  public:
    // init: an empty list, the timer started, and a restart one second after the local
    // notification "VantrelSoftware.Zephyrel.Wake". The scheduler must outlive the clock.
    explicit Clock(platform::Scheduler& scheduler);
    Clock();
    ~Clock();
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;

    // The process-wide clock, made on first use on platform::Scheduler::shared(); it saves
    // its list under "AcitveAlarmsStoredKey" whenever the list changes.
    static Clock& sharedClock();
    // Tests: replaces the shared clock (not owned); nullptr makes a fresh one on next use.
    static void setSharedClock(Clock* clock);
    // The clock sharedClock() makes: one that saves its changes.
    static std::unique_ptr<Clock> makeShared();

    // Sends `tick` to every alarm, in list order.
    void updateAlarms(bool fromTimer);
    void awakeFromSleep();
    // Restarts the timer at the current whole second, then ticks the alarms at once.
    void runTimer();
    void tick();

    // insertAlarm: at the head of the list.
    void insertAlarm(const std::shared_ptr<Alarm>& alarm);
    // Sets the alarm's run time (a weekday alarm's due time, else now), moves it to `index`
    // (clamped to the list), and moves a passed every-day alarm on by whole days to its first
    // time after now.
    void insertAlarm(const std::shared_ptr<Alarm>& alarm, std::size_t index);
    // Removes that very alarm; one not in the list is ignored.
    void removeAlarm(const Alarm* alarm);
    // Puts `replacement` where `old` is; with `old` gone from the list, inserts it at the head.
    void replaceAlarm(const Alarm* old, const std::shared_ptr<Alarm>& replacement);
    // The alarm with the least time to go (a passed one before any future one), the earlier
    // in the list on a tie; none for an empty list.
    std::shared_ptr<Alarm> nearestAlarm() const;
    // The active alarms; the list changes only through the operations above.
    const AlarmList& allAlarms() const { return alarms_; }

    // Whether list changes are saved at once (the shared clock's are).
    bool savesChanges() const { return savesChanges_; }
    void setSavesChanges(bool on) { savesChanges_ = on; }
    // For changes made to an alarm of the list in place: saves when changes are saved.
    void noteAlarmsChanged();

  private:
    platform::Scheduler& scheduler_;
    AlarmList alarms_;
    platform::TimerHandle clockTimer_;
    platform::TimerHandle wakeTimer_;
    platform::Observation wakeObservation_;
    bool savesChanges_ = false;
};

}  // namespace talvor
