#include "Scheduler.h"

#include "Clock.h"
#include "Log.h"
#include "SharedInstance.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <cmath>

namespace talvor::platform {
TimerHandle::TimerHandle(TimerHandle&& other) noexcept
    : scheduler_(std::exchange(other.scheduler_, nullptr)), id_(std::exchange(other.id_, 0)) {}

TimerHandle& TimerHandle::operator=(TimerHandle&& other) noexcept {
    if (this != &other) {
        cancel();
        scheduler_ = std::exchange(other.scheduler_, nullptr);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void TimerHandle::cancel() {
    if (scheduler_ != nullptr) {
        scheduler_->cancelTimer(id_);
        scheduler_ = nullptr;
        id_ = 0;
    }
}

bool TimerHandle::isActive() const {
    return scheduler_ != nullptr && scheduler_->isTimerActive(id_);
}

Scheduler::~Scheduler() {
    SharedInstance<Scheduler>::withdraw(this);
}

TimerHandle Scheduler::scheduleAfter(double seconds, Action action) {
    return scheduleAt(clock().now().addingTimeInterval(seconds), std::move(action));
}

Scheduler& Scheduler::shared() {
    return SharedInstance<Scheduler>::getOr([]() -> Scheduler& {
        // Over the system clock: a fake clock standing in at first use would not outlive it.
        static QtScheduler* real = new QtScheduler(Clock::system());
        return *real;
    });
}

void Scheduler::setShared(Scheduler* scheduler) {
    SharedInstance<Scheduler>::setStandIn(scheduler);
}

double sanitizedInterval(double interval) {
    if (!(interval > 0) || !std::isfinite(interval)) {
        return 0.0;
    }
    return std::max(interval, kMinimumInterval);
}

Date nextGridDate(Date due, double interval, Date now) {
    if (due > now) {
        return due;
    }
    const double behind = now.timeIntervalSince(due);
    const double steps = std::floor(behind / interval) + 1.0;
    return due.addingTimeInterval(steps * interval);
}

Date gridDateAfterJump(Date due, double interval, Date now) {
    if (due <= now) {
        // Missed: fire once at once; firing moves it on along the grid.
        return due;
    }
    // Set back: the grid is kept but the timer must not wait out the jump.
    const double ahead = due.timeIntervalSince(now);
    if (ahead <= interval) {
        return due;
    }
    const double steps = std::ceil(ahead / interval) - 1.0;
    Date pulled = due.addingTimeInterval(-steps * interval);
    return pulled > now ? pulled : pulled.addingTimeInterval(interval);
}

QtScheduler::QtScheduler(Clock& clock, QObject* parent) : QObject(parent), clock_(clock) {
    connect(&clock_, &Clock::timeJumped, this, &QtScheduler::rearmAll);
}

QtScheduler::~QtScheduler() = default;

TimerHandle QtScheduler::scheduleRepeating(Date first, double interval, Action action) {
    return add(first, sanitizedInterval(interval), std::move(action));
}

TimerHandle QtScheduler::scheduleAt(Date when, Action action) {
    return add(when, 0.0, std::move(action));
}

TimerHandle QtScheduler::add(Date due, double interval, Action action) {
    if (!std::isfinite(due.timeIntervalSinceReferenceDate())) {
        log(QStringLiteral("A timer with no valid date was not scheduled"));
        return TimerHandle();
    }
    const std::uint64_t id = nextId_++;
    Entry& e = entries_[id];
    e.due = due;
    e.interval = interval;
    e.action = std::move(action);
    e.timer = new QTimer(this);
    e.timer->setSingleShot(true);
    e.timer->setTimerType(Qt::PreciseTimer);
    connect(e.timer, &QTimer::timeout, this, [this, id] { fire(id); });
    arm(e);
    return TimerHandle(this, id);
}

void QtScheduler::arm(Entry& entry) {
    const double wait = entry.due.timeIntervalSince(clock_.now());
    const double ms = std::clamp(std::ceil(wait * 1000.0), 0.0, 2.0e9);
    entry.timer->start(static_cast<int>(ms));
}

void QtScheduler::fire(std::uint64_t id) {
    auto it = entries_.find(id);
    if (it == entries_.end()) {
        return;
    }
    Entry& e = it->second;
    const Date now = clock_.now();
    if (e.due > now) {
        // Woken early (timer rounding, or the clock was set back): wait for the real date.
        if (e.interval > 0) {
            e.due = gridDateAfterJump(e.due, e.interval, now);
        }
        arm(e);
        return;
    }
    Action action = e.action;
    if (e.interval > 0) {
        e.due = nextGridDate(e.due, e.interval, now);
        arm(e);
    } else {
        e.timer->deleteLater();
        entries_.erase(it);
    }
    // The action may cancel this timer or others, or schedule new ones.
    action();
}

void QtScheduler::rearmAll() {
    const Date now = clock_.now();
    for (auto& [id, e] : entries_) {
        if (e.interval > 0) {
            e.due = gridDateAfterJump(e.due, e.interval, now);
        }
        arm(e);
    }
}

void QtScheduler::cancelTimer(std::uint64_t id) {
    auto it = entries_.find(id);
    if (it != entries_.end()) {
        it->second.timer->stop();
        it->second.timer->deleteLater();
        entries_.erase(it);
    }
}

bool QtScheduler::isTimerActive(std::uint64_t id) const {
    return entries_.count(id) != 0;
}

void QtScheduler::postToMain(Action action) {
    QMetaObject::invokeMethod(this, std::move(action), Qt::QueuedConnection);
}

}  // namespace talvor::platform
