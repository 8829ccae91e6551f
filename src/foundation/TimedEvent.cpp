#include "TimedEvent.h"

#include "platform/Clock.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace talvor {
namespace {

constexpr double kTickInterval = 60.0;
constexpr double kTickOffset = 0.01;

// Not a SharedInstance: the list is co-owned (an installer keeps its shared_ptr, and one that
// is replaced goes when its last holder lets go), and it is made on first use from any
// thread, so the slot is a shared_ptr under a lock.
std::mutex gSharedMutex;
std::shared_ptr<TimedEventList> gShared;

bool sortsBefore(const TimedEvent::Ptr& a, const TimedEvent::Ptr& b) {
    return a->compare(*b) < 0;
}

// The next whole minute of the current zone's clock, plus 0.01 s; within second 0 of a
// minute, the following one.
Date nextMinuteTick(Date now, const QTimeZone& zone) {
    const double t = now.timeIntervalSinceReferenceDate();
    const int offset = zone.isValid() ? zone.offsetFromUtc(now.toQDateTime()) : 0;
    const double localSecond = std::floor(t + offset);
    const double s = localSecond - kTickInterval * std::floor(localSecond / kTickInterval);
    return Date::fromReference(std::floor(t + (kTickInterval - s)) + kTickOffset);
}

}  // namespace

// ---- TimedEvent

TimedEvent::TimedEvent(Key, Invocation<> invocation, Date date, std::int32_t priority)
    : invocation_(std::move(invocation)),
      fireTime_(date),
      priority_(priority == 0 ? kDefaultPriority : priority) {}

TimedEvent::Ptr TimedEvent::initWithAction(Invocation<> invocation, Date date,
                                           std::int32_t priority) {
    return std::make_shared<TimedEvent>(Key{}, std::move(invocation), date, priority);
}

TimedEvent::Ptr TimedEvent::newTimedEvent(Invocation<> invocation, std::optional<Date> date,
                                          std::int32_t priority) {
    return TimedEventList::shared().newTimedEvent(std::move(invocation), date, priority);
}

void TimedEvent::addTimedEvents(std::vector<Ptr> events) {
    TimedEventList::shared().addTimedEvents(std::move(events));
}

void TimedEvent::cancelTimedEvent(const Ptr& event) {
    TimedEventList::shared().cancelTimedEvent(event);
}

void TimedEvent::reallyDoTimedEvents() {
    TimedEventList::shared().reallyDoTimedEvents();
}

void TimedEvent::doTimedEvents() {
    TimedEventList::shared().doTimedEvents();
}

void TimedEvent::syncTimer() {
    TimedEventList::shared().syncTimer();
}

void TimedEvent::wakeUp() {
    TimedEventList::shared().wakeUp();
}

void TimedEvent::fire() {
    invocation_.invoke();
}

void TimedEvent::cancel() {
    cancelled_ = true;
    std::shared_ptr<TimedEventList> owner;
    {
        std::lock_guard lock(ownerMutex_);
        owner = owner_.lock();
    }
    if (owner) {
        owner->cancelTimedEvent(shared_from_this());
    }
}

void TimedEvent::setOwner(const std::shared_ptr<TimedEventList>& owner) {
    std::lock_guard lock(ownerMutex_);
    owner_ = owner;
}

void TimedEvent::processRepeatUntilPast(Date now) {
    if (repeatEvery_ <= 0) {
        return;
    }
    const double step = repeatEvery_ * 60.0;
    const double target = now.timeIntervalSinceReferenceDate();
    double t = fireTime_.timeIntervalSinceReferenceDate();
    if (t < target) {
        // Arithmetic rather than a loop: years of sleep must not take years of steps.
        t += std::ceil((target - t) / step) * step;
        while (t < target) {
            t += step;
        }
    }
    fireTime_ = Date::fromReference(t);
}

int TimedEvent::compare(const TimedEvent& other) const {
    if (fireTime_ < other.fireTime_) {
        return -1;
    }
    if (fireTime_ > other.fireTime_) {
        return 1;
    }
    if (priority_ != other.priority_) {
        return priority_ < other.priority_ ? -1 : 1;
    }
    return 0;
}

QString TimedEvent::description() const {
    return QStringLiteral("<%1 at %2>")
        .arg(reinterpret_cast<quintptr>(this), 0, 16)
        .arg(static_cast<qint64>(std::trunc(fireTime_.timeIntervalSinceReferenceDate())));
}

// ---- TimedEventList

TimedEventList::TimedEventList(Key, platform::Scheduler& scheduler) : scheduler_(scheduler) {}

TimedEventList::~TimedEventList() {
    QObject::disconnect(jumpConnection_);
    QObject::disconnect(zoneConnection_);
}

std::shared_ptr<TimedEventList> TimedEventList::create(platform::Scheduler& scheduler) {
    auto list = std::make_shared<TimedEventList>(Key{}, scheduler);
    list->runOnMain([weak = std::weak_ptr<TimedEventList>(list)] {
        if (auto self = weak.lock()) {
            self->startOnMain();
        }
    });
    return list;
}

TimedEventList& TimedEventList::shared() {
    std::lock_guard lock(gSharedMutex);
    if (!gShared) {
        gShared = create(platform::Scheduler::shared());
    }
    return *gShared;
}

void TimedEventList::setShared(std::shared_ptr<TimedEventList> list) {
    std::lock_guard lock(gSharedMutex);
    gShared = std::move(list);
}

void TimedEventList::runOnMain(std::function<void()> work) {
    if (ObjectExtras::isMainThread()) {
        work();
    } else {
        scheduler_.postToMain(std::move(work));
    }
}

void TimedEventList::startOnMain() {
    platform::Clock& clock = scheduler_.clock();
    const std::weak_ptr<TimedEventList> weak = weak_from_this();
    auto catchUp = [weak] {
        if (auto self = weak.lock()) {
            self->wakeUp();
        }
    };
    jumpConnection_ = QObject::connect(&clock, &platform::Clock::timeJumped, catchUp);
    zoneConnection_ = QObject::connect(&clock, &platform::Clock::zoneChanged, catchUp);
    syncTimer();
}

TimedEvent::Ptr TimedEventList::newTimedEvent(Invocation<> invocation, std::optional<Date> date,
                                              std::int32_t priority) {
    TimedEvent::Ptr event = TimedEvent::initWithAction(
        std::move(invocation), date.value_or(scheduler_.clock().now()), priority);
    event->setOwner(shared_from_this());
    std::lock_guard lock(mutex_);
    mergeSingleObject(list_, event);
    return event;
}

void TimedEventList::addTimedEvents(std::vector<TimedEvent::Ptr> events) {
    std::stable_sort(events.begin(), events.end(), sortsBefore);
    const std::shared_ptr<TimedEventList> self = shared_from_this();
    std::lock_guard lock(mutex_);
    // Checked under the lock: a cancel that ran before this cannot be undone by it.
    std::erase_if(events, [](const TimedEvent::Ptr& e) { return !e || e->isCancelled(); });
    for (const TimedEvent::Ptr& e : events) {
        e->setOwner(self);
    }
    mergeArray(list_, events);
}

void TimedEventList::cancelTimedEvent(const TimedEvent::Ptr& event) {
    if (!event) {
        return;
    }
    event->cancelled_ = true;
    std::lock_guard lock(mutex_);
    auto it = std::find(list_.begin(), list_.end(), event);
    if (it != list_.end()) {
        list_.erase(it);
    }
}

void TimedEventList::reallyDoTimedEvents() {
    const Date now = scheduler_.clock().now();
    std::vector<TimedEvent::Ptr> due;
    {
        std::lock_guard lock(mutex_);
        const auto firstPending = std::find_if(
            list_.begin(), list_.end(), [now](const auto& e) { return !(now > e->fireTime()); });
        due.assign(std::make_move_iterator(list_.begin()), std::make_move_iterator(firstPending));
        list_.erase(list_.begin(), firstPending);
    }
    // Outside the lock: an action may add or cancel entries, this batch's included.
    for (const TimedEvent::Ptr& e : due) {
        if (!e->isCancelled()) {
            e->fire();
        }
    }
    std::vector<TimedEvent::Ptr> again;
    for (TimedEvent::Ptr& e : due) {
        if (!e->isCancelled() && e->repeats()) {
            e->processRepeatUntilPast(now);
            again.push_back(std::move(e));
        }
    }
    if (!again.empty()) {
        addTimedEvents(std::move(again));
    }
}

void TimedEventList::syncTimer() {
    if (!ObjectExtras::isMainThread()) {
        scheduler_.postToMain([weak = weak_from_this()] {
            if (auto self = weak.lock()) {
                self->syncTimer();
            }
        });
        return;
    }
    platform::Clock& clock = scheduler_.clock();
    const Date first = nextMinuteTick(clock.now(), clock.currentZone());
    timer_ = scheduler_.scheduleRepeating(first, kTickInterval, [weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->reallyDoTimedEvents();
        }
    });
}

void TimedEventList::wakeUp() {
    runOnMain([weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->syncTimer();
            self->reallyDoTimedEvents();
        }
    });
}

std::vector<TimedEvent::Ptr> TimedEventList::pendingEvents() const {
    std::lock_guard lock(mutex_);
    return list_;
}

// ---- insertion routines

std::size_t mergeObject(std::vector<TimedEvent::Ptr>& list, TimedEvent::Ptr entry,
                        std::size_t start, std::size_t count) {
    count = std::min(count, list.size());
    if (count == 0 || start >= count) {
        list.push_back(std::move(entry));
        return count;
    }
    // The list is sorted, so the first entry after `entry` is found by bisection.
    const auto first = list.begin() + static_cast<std::ptrdiff_t>(start);
    const auto last = list.begin() + static_cast<std::ptrdiff_t>(count);
    const auto at = std::upper_bound(first, last, entry, sortsBefore);
    if (at == last) {
        list.push_back(std::move(entry));
        return count;
    }
    const auto index = static_cast<std::size_t>(at - list.begin());
    list.insert(at, std::move(entry));
    return index;
}

std::size_t mergeSingleObject(std::vector<TimedEvent::Ptr>& list, TimedEvent::Ptr entry) {
    return mergeObject(list, std::move(entry), 0, list.size());
}

void mergeArray(std::vector<TimedEvent::Ptr>& list, const std::vector<TimedEvent::Ptr>& sorted) {
    std::size_t index = 0;
    for (const TimedEvent::Ptr& e : sorted) {
        index = mergeObject(list, e, index, list.size());
    }
}

}  // namespace talvor
