#pragma once

#include "Date.h"

#include <QObject>

class QTimer;

#include <cstdint>
#include <functional>
#include <unordered_map>

namespace talvor::platform {

class Clock;
class Scheduler;

// Owns one scheduled timer: destroying or cancelling the handle stops it. The scheduler
// must outlive its handles (it is process-wide; in tests, declare it first).
class TimerHandle {
  public:
    TimerHandle() = default;
    TimerHandle(Scheduler* scheduler, std::uint64_t id) : scheduler_(scheduler), id_(id) {}
    TimerHandle(TimerHandle&& other) noexcept;
    TimerHandle& operator=(TimerHandle&& other) noexcept;
    TimerHandle(const TimerHandle&) = delete;
    TimerHandle& operator=(const TimerHandle&) = delete;
    ~TimerHandle() { cancel(); }

    void cancel();
    // True while the timer is scheduled (a one-shot timer stops being so once it fired).
    bool isActive() const;

  private:
    Scheduler* scheduler_ = nullptr;
    std::uint64_t id_ = 0;
};

// Timers by wall-clock date, and work handed to the main thread. With the clock, the only
// source of time for the application.
class Scheduler {
  public:
    using Action = std::function<void()>;
    virtual ~Scheduler();

    // Fires at `first`, then every `interval` seconds after it. Fire dates stay on that grid
    // of wall-clock times; ones missed while asleep or after a clock jump are skipped, not
    // fired in a burst.
    [[nodiscard]] virtual TimerHandle scheduleRepeating(Date first, double interval,
                                                        Action action) = 0;
    // Fires once at `when` (at once when it has passed). A date that is not finite schedules
    // nothing (the handle is inactive) and is logged.
    [[nodiscard]] virtual TimerHandle scheduleAt(Date when, Action action) = 0;
    [[nodiscard]] TimerHandle scheduleAfter(double seconds, Action action);
    // Runs `action` on the main thread's loop, soon; callable from any thread.
    virtual void postToMain(Action action) = 0;

    virtual Clock& clock() const = 0;

    static Scheduler& shared();
    static void setShared(Scheduler* scheduler);

  protected:
    friend class TimerHandle;
    virtual void cancelTimer(std::uint64_t id) = 0;
    virtual bool isTimerActive(std::uint64_t id) const = 0;
};

// The scheduler of the running application, on Qt's main event loop.
class QtScheduler : public QObject, public Scheduler {
    Q_OBJECT
  public:
    explicit QtScheduler(Clock& clock, QObject* parent = nullptr);
    ~QtScheduler() override;

    TimerHandle scheduleRepeating(Date first, double interval, Action action) override;
    TimerHandle scheduleAt(Date when, Action action) override;
    void postToMain(Action action) override;
    Clock& clock() const override { return clock_; }

  protected:
    void cancelTimer(std::uint64_t id) override;
    bool isTimerActive(std::uint64_t id) const override;

  private:
    struct Entry {
        QTimer* timer = nullptr;
        Date due;
        double interval = 0;  // 0: one-shot
        Action action;
    };
    TimerHandle add(Date due, double interval, Action action);
    void arm(Entry& entry);
    void fire(std::uint64_t id);
    void rearmAll();

    Clock& clock_;
    std::uint64_t nextId_ = 1;
    std::unordered_map<std::uint64_t, Entry> entries_;
};

// Repeating timers fire at most this often, so that a damaged setting cannot spin.
inline constexpr double kMinimumInterval = 0.01;
// The interval a repeating timer gets: 0 (fire once) for zero, negative or non-finite
// intervals, else at least kMinimumInterval.
double sanitizedInterval(double interval);

// The next fire date of a repeating timer due at `due` once `now` has been reached: the
// first point of the grid due + k*interval that lies after `now`.
Date nextGridDate(Date due, double interval, Date now);
// Where a repeating timer due at `due` belongs after the clock jumped to `now`: a missed
// date stays (the timer fires once at once), and after a jump back it fires within one
// interval instead of waiting out the jump.
Date gridDateAfterJump(Date due, double interval, Date now);

}  // namespace talvor::platform
