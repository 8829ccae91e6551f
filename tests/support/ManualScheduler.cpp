#include "ManualScheduler.h"

namespace talvor::test {

platform::TimerHandle ManualScheduler::scheduleRepeating(Date first, double interval,
                                                         Action action) {
    const std::uint64_t id = nextId_++;
    timers_[id] = Timer{first, platform::sanitizedInterval(interval), std::move(action)};
    return platform::TimerHandle(this, id);
}

platform::TimerHandle ManualScheduler::scheduleAt(Date when, Action action) {
    return scheduleRepeating(when, 0.0, std::move(action));
}

void ManualScheduler::postToMain(Action action) {
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(action));
}

void ManualScheduler::runPosted() {
    for (;;) {
        std::vector<Action> batch;
        {
            std::lock_guard lock(postedMutex_);
            batch.swap(posted_);
        }
        if (batch.empty()) {
            return;
        }
        for (auto& a : batch) {
            a();
        }
    }
}

std::optional<Date> ManualScheduler::nextFireDate() const {
    std::optional<Date> best;
    for (const auto& [id, t] : timers_) {
        if (!best || t.due < *best) {
            best = t.due;
        }
    }
    return best;
}

void ManualScheduler::advanceTo(Date target) {
    runPosted();
    for (;;) {
        // Earliest due first; ids grow with scheduling order, so the map order breaks ties.
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (it->second.due <= target &&
                (next == timers_.end() || it->second.due < next->second.due)) {
                next = it;
            }
        }
        if (next == timers_.end()) {
            break;
        }
        const std::uint64_t id = next->first;
        Timer& t = next->second;
        if (t.due > clock_.now()) {
            clock_.set(t.due);
        }
        Action action = t.action;
        if (t.interval > 0) {
            t.due = platform::nextGridDate(t.due, t.interval, clock_.now());
        } else {
            timers_.erase(id);
        }
        action();
        runPosted();
    }
    if (target > clock_.now()) {
        clock_.set(target);
    }
}

}  // namespace talvor::test
