#include "kit/TLYTimer.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>

namespace talvor::kit {

struct TLYTimer::State : std::enable_shared_from_this<TLYTimer::State> {
    Clock* clock = nullptr;
    Clock::Duration period{};
    std::weak_ptr<OperationQueue> queue;
    std::function<void()> block;
    std::mutex mutex;  // guards the members below
    bool alive = true;
    std::optional<Clock::TimerId> pending;

    void arm() {
        std::lock_guard lock(mutex);
        if (!alive) {
            return;
        }
        std::weak_ptr<State> weak = weak_from_this();
        pending = clock->schedule(period, [weak] {
            if (auto self = weak.lock()) {
                self->fire();
            }
        });
    }
    void fire() {
        {
            std::lock_guard lock(mutex);
            if (!alive) {
                return;
            }
            pending.reset();
            if (auto target = queue.lock()) {
                target->addOperation(block);
            }
        }
        arm();
    }
};

TLYTimer::TLYTimer(double timeInterval, const std::shared_ptr<OperationQueue>& queue,
                   std::string timerIdentifier, std::function<void()> block, Clock* clock)
    : identifier_(std::move(timerIdentifier)),
      interval_(timeInterval),
      state_(std::make_shared<State>()) {
    state_->clock = clock != nullptr ? clock : &Clock::shared();
    // At least a millisecond, so a tiny interval cannot turn into a busy loop; at most a year.
    const double seconds = std::clamp(timeInterval, 0.001, 365.0 * 86400);
    state_->period =
        std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(seconds));
    state_->queue = queue;
    state_->block = std::move(block);
    state_->arm();
}

TLYTimer::~TLYTimer() {
    std::optional<Clock::TimerId> pending;
    {
        std::lock_guard lock(state_->mutex);
        state_->alive = false;
        pending = state_->pending;
    }
    if (pending) {
        state_->clock->cancel(*pending);
    }
}

void TLYTimer::executeBlock() {
    if (auto queue = state_->queue.lock()) {
        queue->addOperation(state_->block);
    }
}

}  // namespace talvor::kit
