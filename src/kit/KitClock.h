#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

// The kit's one source of time: a wall clock, a monotonic clock and one-shot timers on the
// monotonic clock. Every delay in the kit (retries, flush timers, `after`) goes through it,
// so a test drives hours of waiting with a manual clock in no time.
namespace talvor::kit {

class Clock {
  public:
    using Duration = std::chrono::nanoseconds;
    using TimerId = std::uint64_t;

    virtual ~Clock() = default;

    // Seconds since 1970-01-01 UTC.
    virtual double wallSeconds() const = 0;
    // Time since an arbitrary fixed start; never goes back.
    virtual Duration monotonic() const = 0;
    // Calls `fire` once, on a thread of the clock's choosing, when `delay` has passed on the
    // monotonic clock (at once for a delay of zero or less). Fire with short work: a timer
    // hands its work to a queue.
    virtual TimerId schedule(Duration delay, std::function<void()> fire) = 0;
    // A timer that has not fired yet never will; one already firing may still be running.
    virtual void cancel(TimerId timer) = 0;

    // Milliseconds since 1970 (negative wall times, a clock set before 1970, give 0).
    std::uint64_t wallMilliseconds() const;

    // The process's clock: the system's unless a test put another in place.
    static Clock& shared();
    // Puts `clock` in place of the shared one (nullptr: the system clock again). The caller
    // keeps it alive while it is in place.
    static void setShared(Clock* clock);
};

// The system's clocks; its timers fire on one thread of their own.
class SystemClock final : public Clock {
  public:
    SystemClock();
    ~SystemClock() override;
    SystemClock(const SystemClock&) = delete;
    SystemClock& operator=(const SystemClock&) = delete;

    double wallSeconds() const override;
    Duration monotonic() const override;
    TimerId schedule(Duration delay, std::function<void()> fire) override;
    void cancel(TimerId timer) override;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace talvor::kit
