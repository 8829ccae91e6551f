#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "kit/KitClock.h"

// The kit's work queues (the kit has no Qt event loop): serial queues that run their work
// one item at a time in the order it was given, concurrent queues that run it on a few
// threads, timers that hand work to a queue, and the main queue, which the application
// drains on its own thread.
namespace talvor::kit {

class DispatchQueue {
  public:
    using Work = std::function<void()>;

    // A serial queue named `label`; its thread starts with its first work.
    explicit DispatchQueue(std::string label);
    // A concurrent queue running at most `width` items at once (0: one per processor).
    static std::unique_ptr<DispatchQueue> concurrent(std::string label, std::size_t width = 0);
    // Waits for the work already given, then ends the queue's threads. Released from inside
    // its own work, the queue finishes that work and the rest on its own.
    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    // The process's concurrent queue (default priority).
    static DispatchQueue& global();
    // The application's main thread. Work waits until the installed executor takes it; with
    // none installed it waits for `drainMain` (tests, and a process without an application).
    static DispatchQueue& main();
    // Hands each later main-queue item to `executor` (which runs it on the main thread); an
    // empty executor restores the waiting list. Items waiting already are handed over at once.
    static void setMainExecutor(std::function<void(Work)> executor);
    // Runs the waiting main-queue items on the calling thread, those added meanwhile too;
    // answers how many ran.
    static std::size_t drainMain();

    const std::string& label() const;
    bool isSerial() const;

    void async(Work work);
    // Runs `work` on the queue and waits for it. Asking a queue to wait for itself would
    // never end: that throws std::logic_error instead.
    void sync(const Work& work);
    // `work` on this queue after `delay` on `clock` (the shared clock by default).
    class Timer;
    Timer after(Clock::Duration delay, Work work);
    Timer after(Clock& clock, Clock::Duration delay, Work work);

    // Whether the calling code runs as this queue's work.
    bool isCurrent() const;
    // The label of the queue whose work is running on this thread, if any.
    static std::optional<std::string> currentLabel();

    // A one-shot timer's handle: dropping it leaves the timer running; `cancel` stops it.
    class Timer {
      public:
        Timer() = default;
        // Once this returns, the work will not start (it may be running already when
        // called from another thread).
        void cancel();
        bool isCancelled() const;

      private:
        friend class DispatchQueue;
        struct State;
        std::shared_ptr<State> state_;
    };

    struct Impl;

  private:
    friend class DispatchTimer;
    DispatchQueue(std::string label, std::size_t width, bool main);
    std::shared_ptr<Impl> impl_;
};

// A repeating timer: calls `handler` on `queue` every `interval` from `start` after it is
// made. The handler should hold its owner weakly. Cancelled at destruction; after `cancel`
// returns no new call starts.
class DispatchTimer {
  public:
    DispatchTimer(DispatchQueue& queue, Clock::Duration interval, DispatchQueue::Work handler,
                  Clock& clock = Clock::shared());
    DispatchTimer(DispatchQueue& queue, Clock::Duration start, Clock::Duration interval,
                  Clock::Duration leeway, DispatchQueue::Work handler,
                  Clock& clock = Clock::shared());
    ~DispatchTimer();
    DispatchTimer(const DispatchTimer&) = delete;
    DispatchTimer& operator=(const DispatchTimer&) = delete;

    void cancel();
    bool isCancelled() const;
    Clock::Duration interval() const { return interval_; }
    // Timers may fire this much late; kept for the caller, the clocks here are exact.
    Clock::Duration leeway() const { return leeway_; }

  private:
    struct State;
    std::shared_ptr<State> state_;
    Clock::Duration interval_;
    Clock::Duration leeway_;
};

}  // namespace talvor::kit
