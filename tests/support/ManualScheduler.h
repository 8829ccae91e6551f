#pragma once

#include "FakeClock.h"
#include "platform/Scheduler.h"

#include <map>
#include <mutex>
#include <vector>

namespace talvor::test {

// A scheduler driven by hand: `advanceTo` moves the fake clock forward, firing the timers
// that fall due on the way in the order of their dates (ties in the order they were
// scheduled), with the clock set to each timer's date as it fires.
class ManualScheduler : public platform::Scheduler {
  public:
    explicit ManualScheduler(FakeClock& clock) : clock_(clock) {}

    platform::TimerHandle scheduleRepeating(Date first, double interval, Action action) override;
    platform::TimerHandle scheduleAt(Date when, Action action) override;
    void postToMain(Action action) override;
    platform::Clock& clock() const override { return clock_; }

    void advanceTo(Date t);
    void advanceBy(double seconds) { advanceTo(clock_.now().addingTimeInterval(seconds)); }
    // Runs the work posted to the main thread so far (and what that posts).
    void runPosted();

    std::size_t activeTimerCount() const { return timers_.size(); }
    // The date of the earliest active timer, if any.
    std::optional<Date> nextFireDate() const;

  protected:
    void cancelTimer(std::uint64_t id) override { timers_.erase(id); }
    bool isTimerActive(std::uint64_t id) const override { return timers_.count(id) != 0; }

  private:
    struct Timer {
        Date due;
        double interval = 0;
        Action action;
    };
    FakeClock& clock_;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, Timer> timers_;
    std::mutex postedMutex_;  // posting may come from any thread
    std::vector<Action> posted_;
};

}  // namespace talvor::test
