#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "kit/KitClock.h"

namespace talvor::kit::test {

// A clock that stands still until the test moves it. `advance` fires the timers that fall
// due on the way, one at a time in deadline order (equal deadlines in the order they were
// set), with the clock reading each timer's deadline as it fires; timers set by a firing
// timer fire in the same call when they fall due within it.
class ManualClock final : public Clock {
  public:
    explicit ManualClock(double wallStart = 1'500'000'000.0) : wallStart_(wallStart) {}

    double wallSeconds() const override {
        std::lock_guard lock(mutex_);
        return wallStart_ + std::chrono::duration<double>(now_).count();
    }
    Duration monotonic() const override {
        std::lock_guard lock(mutex_);
        return now_;
    }
    TimerId schedule(Duration delay, std::function<void()> fire) override {
        std::lock_guard lock(mutex_);
        const TimerId id = next_++;
        const Duration deadline = now_ + std::max(delay, Duration::zero());
        timers_.emplace(std::make_pair(deadline, id), std::move(fire));
        return id;
    }
    void cancel(TimerId timer) override {
        std::lock_guard lock(mutex_);
        std::erase_if(timers_, [timer](const auto& t) { return t.first.second == timer; });
    }

    void advance(Duration by) {
        Duration target;
        {
            std::lock_guard lock(mutex_);
            target = now_ + by;
        }
        for (;;) {
            std::function<void()> fire;
            {
                std::lock_guard lock(mutex_);
                if (timers_.empty() || timers_.begin()->first.first > target) {
                    now_ = target;
                    return;
                }
                now_ = std::max(now_, timers_.begin()->first.first);
                fire = std::move(timers_.begin()->second);
                timers_.erase(timers_.begin());
            }
            fire();
        }
    }

    // When the next timer falls due; none without one.
    std::optional<Duration> nextDeadline() const {
        std::lock_guard lock(mutex_);
        if (timers_.empty()) {
            return std::nullopt;
        }
        return timers_.begin()->first.first;
    }
    std::size_t pendingTimers() const {
        std::lock_guard lock(mutex_);
        return timers_.size();
    }

  private:
    mutable std::mutex mutex_;
    double wallStart_;
    Duration now_{};
    TimerId next_ = 1;
    std::map<std::pair<Duration, TimerId>, std::function<void()>> timers_;
};

}  // namespace talvor::kit::test
