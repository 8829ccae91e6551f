#pragma once

#include "ObjectExtras.h"
#include "platform/Date.h"
#include "platform/Scheduler.h"

#include <QMetaObject>
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace talvor {

class TimedEventList;

// One entry of the minute scheduler: an action due at a fire time, once or every
// `repeatEvery` minutes. A cancelled entry never fires again, whoever cancels it and when
// (from another entry's action in the same minute, from its own action, from any thread).
class TimedEvent : public std::enable_shared_from_this<TimedEvent> {
    struct Key {};

  public:
    using Ptr = std::shared_ptr<TimedEvent>;
    static constexpr std::int32_t kDefaultPriority = 100;

    // Use initWithAction or newTimedEvent.
    TimedEvent(Key, Invocation<> invocation, Date date, std::int32_t priority);

    // initWithAction:target:object:object:date:priority: -- an entry not yet in any list.
    // Priority 0 is stored as 100.
    static Ptr initWithAction(Invocation<> invocation, Date date, std::int32_t priority);

    // newTimedEvent:target:(object:(object:))date:priority: on the process-wide list: the
    // invocation comes from ObjectExtras::buildInvocation; no date means now. Keep the entry
    // to cancel it.
    static Ptr newTimedEvent(Invocation<> invocation, std::optional<Date> date,
                             std::int32_t priority);
    static void addTimedEvents(std::vector<Ptr> events);
    static void cancelTimedEvent(const Ptr& event);
    // One tick: runs every entry due now (both names of the same operation).
    static void reallyDoTimedEvents();
    static void doTimedEvents();
    // Re-aligns the minute timer to the next whole minute + 0.01 s.
    static void syncTimer();
    // After the computer woke (or the clock was set): re-align and run what fell due.
    static void wakeUp();

    // Runs the action (skipped when its target is gone); the scheduler does not call this
    // for a cancelled entry.
    void fire();
    void cancel();
    bool isCancelled() const { return cancelled_.load(); }

    bool repeats() const { return repeatEvery_ > 0; }
    // Minutes between firings; 0 or less makes the entry fire once.
    void setRepeats(std::int32_t minutes) { repeatEvery_ = minutes > 0 ? minutes : 0; }
    std::int32_t repeatEvery() const { return repeatEvery_; }
    // Moves the fire time on by whole repeat intervals until it is no longer before `now`
    // (skipped repetitions are not run). Nothing for a one-shot entry.
    void processRepeatUntilPast(Date now);

    Date fireTime() const { return fireTime_; }
    std::int32_t priority() const { return priority_; }
    void* context() const { return context_; }
    // Not owned, not used by the scheduler.
    void setContext(void* context) { context_ = context; }

    // Earlier fire time first, then smaller priority: -1, 0 or 1.
    int compare(const TimedEvent& other) const;
    // "<address at seconds>", the fire time truncated to whole seconds.
    QString description() const;

  private:
    friend class TimedEventList;
    void setOwner(const std::shared_ptr<TimedEventList>& owner);

    Invocation<> invocation_;
    Date fireTime_;
    std::int32_t repeatEvery_ = 0;
    std::int32_t priority_ = kDefaultPriority;
    void* context_ = nullptr;
    std::atomic<bool> cancelled_{false};
    std::mutex ownerMutex_;
    std::weak_ptr<TimedEventList> owner_;
};

// The pending entries, sorted by fire time, then priority, then the order in which they
// entered the list, and the minute timer that runs them. The process has one (`shared`);
// tests make their own on a manual scheduler (destroy the list first, on the main thread).
// The list may be changed from any thread; actions run outside its lock, on the thread of
// the tick (the main loop).
class TimedEventList : public std::enable_shared_from_this<TimedEventList> {
    struct Key {};

  public:
    TimedEventList(Key, platform::Scheduler& scheduler);
    ~TimedEventList();
    TimedEventList(const TimedEventList&) = delete;
    TimedEventList& operator=(const TimedEventList&) = delete;

    // Starts the minute timer and follows the clock's jumps and zone changes, always on the
    // main loop (posted there when created on another thread).
    static std::shared_ptr<TimedEventList> create(platform::Scheduler& scheduler);

    // The process-wide list, created on first use with platform::Scheduler::shared().
    static TimedEventList& shared();
    // Tests: replaces the process-wide list (nullptr: a fresh one on next use).
    static void setShared(std::shared_ptr<TimedEventList> list);

    TimedEvent::Ptr newTimedEvent(Invocation<> invocation, std::optional<Date> date,
                                  std::int32_t priority);
    // Sorts the entries (stably) and merges them in; cancelled entries are left out.
    void addTimedEvents(std::vector<TimedEvent::Ptr> events);
    // Removes that very entry and marks it cancelled; one not in the list is only marked.
    void cancelTimedEvent(const TimedEvent::Ptr& event);
    void reallyDoTimedEvents();
    void doTimedEvents() { reallyDoTimedEvents(); }
    void syncTimer();
    void wakeUp();

    // A copy of the pending entries in firing order.
    std::vector<TimedEvent::Ptr> pendingEvents() const;
    platform::Scheduler& scheduler() const { return scheduler_; }

  private:
    void startOnMain();
    void runOnMain(std::function<void()> work);

    platform::Scheduler& scheduler_;
    mutable std::mutex mutex_;
    std::vector<TimedEvent::Ptr> list_;
    platform::TimerHandle timer_;  // main thread only
    QMetaObject::Connection jumpConnection_;
    QMetaObject::Connection zoneConnection_;
};

// The list's insertion routines (the caller holds the list's lock). mergeObject inserts
// `entry` before the first of list[start, count) that sorts after it and returns that
// index; when none does (or count is 0) it appends and returns count.
std::size_t mergeObject(std::vector<TimedEvent::Ptr>& list, TimedEvent::Ptr entry,
                        std::size_t start, std::size_t count);
// mergeObject over the whole list.
std::size_t mergeSingleObject(std::vector<TimedEvent::Ptr>& list, TimedEvent::Ptr entry);
// Merges an already sorted batch in one forward pass.
void mergeArray(std::vector<TimedEvent::Ptr>& list, const std::vector<TimedEvent::Ptr>& sorted);

}  // namespace talvor
