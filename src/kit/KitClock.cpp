#include "kit/KitClock.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace talvor::kit {
namespace {

std::atomic<Clock*>& sharedOverride() {
    static std::atomic<Clock*> clock{nullptr};
    return clock;
}

}  // namespace

std::uint64_t Clock::wallMilliseconds() const {
    const double ms = wallSeconds() * 1000.0;
    return ms <= 0.0 ? 0 : static_cast<std::uint64_t>(ms);
}

Clock& Clock::shared() {
    if (Clock* clock = sharedOverride().load()) {
        return *clock;
    }
    // Never destroyed: queues and timers may still ask for it while the process exits.
    static SystemClock* system = new SystemClock();
    return *system;
}

void Clock::setShared(Clock* clock) {
    sharedOverride().store(clock);
}

struct SystemClock::State {
    std::mutex mutex;
    std::condition_variable changed;
    // Keyed by (deadline, id): equal deadlines fire in the order they were asked for.
    std::map<std::pair<Duration, TimerId>, std::function<void()>> timers;
    std::map<TimerId, Duration> deadlines;
    TimerId next = 1;
    bool stopping = false;
    std::thread thread;

    void run() {
        std::unique_lock lock(mutex);
        while (!stopping) {
            if (timers.empty()) {
                changed.wait(lock);
                continue;
            }
            const auto first = timers.begin();
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            if (first->first.first > now) {
                changed.wait_for(lock, first->first.first - now);
                continue;
            }
            auto fire = std::move(first->second);
            deadlines.erase(first->first.second);
            timers.erase(first);
            lock.unlock();
            fire();
            lock.lock();
        }
    }
};

SystemClock::SystemClock() : state_(std::make_shared<State>()) {}

SystemClock::~SystemClock() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->changed.notify_all();
    if (state_->thread.joinable()) {
        if (state_->thread.get_id() == std::this_thread::get_id()) {
            state_->thread.detach();  // released from one of its own timers
        } else {
            state_->thread.join();
        }
    }
}

double SystemClock::wallSeconds() const {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

Clock::Duration SystemClock::monotonic() const {
    return std::chrono::duration_cast<Duration>(
        std::chrono::steady_clock::now().time_since_epoch());
}

Clock::TimerId SystemClock::schedule(Duration delay, std::function<void()> fire) {
    std::lock_guard lock(state_->mutex);
    const TimerId id = state_->next++;
    const Duration now = monotonic();
    // Saturates: a delay of centuries waits forever rather than wrapping into the past.
    const Duration wait = std::max(delay, Duration::zero());
    const Duration deadline = wait > Duration::max() - now ? Duration::max() : now + wait;
    state_->timers.emplace(std::make_pair(deadline, id), std::move(fire));
    state_->deadlines.emplace(id, deadline);
    if (!state_->thread.joinable()) {
        state_->thread = std::thread([state = state_.get()] { state->run(); });
    }
    state_->changed.notify_all();
    return id;
}

void SystemClock::cancel(TimerId timer) {
    std::lock_guard lock(state_->mutex);
    const auto it = state_->deadlines.find(timer);
    if (it == state_->deadlines.end()) {
        return;
    }
    state_->timers.erase({it->second, timer});
    state_->deadlines.erase(it);
}

}  // namespace talvor::kit
