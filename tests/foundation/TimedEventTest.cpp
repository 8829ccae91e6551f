#include "foundation/TimedEvent.h"
#include "support/FakeClock.h"
#include "support/ManualScheduler.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <thread>

namespace talvor {
namespace {

using test::FakeClock;
using test::ManualScheduler;

// 10:00:00 of some day, a whole minute of the reference time line.
constexpr double kTen = 60.0 * 60 * 24 * 8000 + 10 * 3600;

Date at(double seconds) {
    return Date::fromReference(seconds);
}
// Minutes (and seconds) after 10:00.
Date tenPlus(double minutes, double seconds = 0) {
    return at(kTen + minutes * 60 + seconds);
}
double secondsOf(Date d) {
    return d.timeIntervalSinceReferenceDate();
}

struct Recorder {
    std::vector<QString> fired;
    void hit(const QString& name) { fired.push_back(name); }
};

// Runs the body it is given: actions with test code in them.
struct Hooks {
    void run(const std::function<void()>& body) { body(); }
};

Invocation<> action(const std::shared_ptr<Hooks>& hooks, std::function<void()> body) {
    return ObjectExtras::buildInvocation(hooks, &Hooks::run, std::move(body));
}

class TimedEventTest : public ::testing::Test {
  protected:
    TimedEvent::Ptr add(const QString& name, Date date, std::int32_t priority = 100) {
        return list->newTimedEvent(ObjectExtras::buildInvocation(recorder, &Recorder::hit, name),
                                   date, priority);
    }
    Invocation<> action(std::function<void()> body) {
        return talvor::action(hooks, std::move(body));
    }
    const std::vector<QString>& fired() const { return recorder->fired; }

    FakeClock clock{tenPlus(-1, 30)};  // 09:59:30
    ManualScheduler scheduler{clock};
    std::shared_ptr<TimedEventList> list = TimedEventList::create(scheduler);
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::shared_ptr<Hooks> hooks = std::make_shared<Hooks>();
};

TEST(foundationTimedEventTimer,
     FirstTickIsTheNextWholeMinutePlusOneHundredthThenEverySixtySeconds) {
    struct Case {
        double now;
        int zoneOffset;  // seconds east of UTC
        double first;
    };
    const Case cases[] = {
        {kTen + 20.7, 0, kTen + 60.01},
        {kTen + 59.999, 0, kTen + 60.01},
        // Within second 0 of a minute: the following minute.
        {kTen, 0, kTen + 60.01},
        {kTen + 0.5, 0, kTen + 60.01},
        // The minutes are the current zone's; a zone 30 s off UTC shifts them.
        {kTen + 20, 30, kTen + 30.01},
        {kTen + 40, 30, kTen + 90.01},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "now " << c.now - kTen << " offset " << c.zoneOffset);
        FakeClock clock(at(c.now), QTimeZone(c.zoneOffset));
        ManualScheduler scheduler(clock);
        auto list = TimedEventList::create(scheduler);
        ASSERT_TRUE(scheduler.nextFireDate());
        EXPECT_DOUBLE_EQ(secondsOf(*scheduler.nextFireDate()), c.first);
        scheduler.advanceTo(at(c.first));
        EXPECT_DOUBLE_EQ(secondsOf(*scheduler.nextFireDate()), c.first + 60);
        EXPECT_EQ(scheduler.activeTimerCount(), 1u);
    }
}

using foundationTimedEvent = TimedEventTest;

TEST_F(foundationTimedEvent, SameTimeEntriesRunByPriorityThenInCreationOrder) {
    add("b100", tenPlus(0), 100);
    add("a1", tenPlus(0), 1);
    const auto zero = add("c0", tenPlus(0), 0);
    add("d100", tenPlus(0), 100);
    add("earlier500", tenPlus(0, -1), 500);
    add("later1", tenPlus(0, 1), 1);

    EXPECT_EQ(zero->priority(), 100);
    scheduler.advanceTo(tenPlus(1, 1));
    const std::vector<QString> expected = {"earlier500", "a1", "b100", "c0", "d100", "later1"};
    EXPECT_EQ(fired(), expected);
}

TEST_F(foundationTimedEvent, AnEntryDueExactlyAtTheTickWaitsForTheNextTick) {
    add("exact", tenPlus(0, 0.01));
    scheduler.advanceTo(tenPlus(0, 0.01));
    EXPECT_TRUE(fired().empty());
    scheduler.advanceTo(tenPlus(1, 0.01));
    EXPECT_EQ(fired(), std::vector<QString>{"exact"});
}

TEST_F(foundationTimedEvent, UndatedAndPastEntriesRunOnTheNextTick) {
    const auto undated = list->newTimedEvent(
        ObjectExtras::buildInvocation(recorder, &Recorder::hit, QString("undated")), std::nullopt,
        100);
    EXPECT_EQ(undated->fireTime(), clock.now());
    add("past", tenPlus(-30));
    scheduler.advanceTo(tenPlus(0, 0.01));
    EXPECT_EQ(fired(), (std::vector<QString>{"past", "undated"}));
    EXPECT_TRUE(list->pendingEvents().empty());
}

TEST_F(foundationTimedEvent, WakeRunsWhatFellDueOnceAndMovesARepeatToItsNextFutureTime) {
    const auto every5 = add("every5", tenPlus(0));
    every5->setRepeats(5);
    // Asleep from 09:59:30 to 10:12: no tick ran.
    clock.set(tenPlus(12));
    list->wakeUp();
    EXPECT_EQ(fired(), std::vector<QString>{"every5"});
    EXPECT_EQ(every5->fireTime(), tenPlus(15));
    EXPECT_EQ(list->pendingEvents(), std::vector<TimedEvent::Ptr>{every5});
    EXPECT_EQ(*scheduler.nextFireDate(), tenPlus(13, 0.01));
    EXPECT_EQ(scheduler.activeTimerCount(), 1u);
}

TEST_F(foundationTimedEvent, AClockJumpOrAZoneChangeRunsWhatFellDueAndRealignsTheTimer) {
    add("due", tenPlus(3));
    clock.jumpTo(tenPlus(5, 20.5));
    EXPECT_EQ(fired(), std::vector<QString>{"due"});
    EXPECT_EQ(*scheduler.nextFireDate(), tenPlus(6, 0.01));

    clock.setZone(QTimeZone(30));
    EXPECT_EQ(*scheduler.nextFireDate(), tenPlus(5.5, 0.01));
    EXPECT_EQ(scheduler.activeTimerCount(), 1u);
}

TEST_F(foundationTimedEvent, ACancelledEntryNeverFiresEvenWhenCancelledEarlierInTheSameMinute) {
    TimedEvent::Ptr byEntry;
    TimedEvent::Ptr byList;
    list->newTimedEvent(action([&] {
                            recorder->hit("canceller");
                            byEntry->cancel();
                            list->cancelTimedEvent(byList);
                        }),
                        tenPlus(0), 1);
    byEntry = add("byEntry", tenPlus(0), 2);
    byList = add("byList", tenPlus(0), 3);
    byList->setRepeats(1);
    add("other", tenPlus(0), 4);

    scheduler.advanceBy(10 * 60);
    EXPECT_EQ(fired(), (std::vector<QString>{"canceller", "other"}));
    EXPECT_TRUE(byEntry->isCancelled());
    EXPECT_TRUE(list->pendingEvents().empty());
}

TEST_F(foundationTimedEvent, ARepeatingEntryThatCancelsItselfStaysCancelled) {
    TimedEvent::Ptr self;
    self = list->newTimedEvent(action([&] {
                                   recorder->hit("self");
                                   self->cancel();
                               }),
                               tenPlus(0), 100);
    self->setRepeats(1);
    scheduler.advanceBy(10 * 60);
    EXPECT_EQ(fired(), std::vector<QString>{"self"});
    EXPECT_TRUE(list->pendingEvents().empty());
}

TEST_F(foundationTimedEvent, ARepeatIntervalOfZeroOrLessFiresOnce) {
    for (const std::int32_t minutes : {0, -1, -5, INT_MIN}) {
        SCOPED_TRACE(minutes);
        recorder->fired.clear();
        const auto e = add("once", clock.now());
        e->setRepeats(minutes);
        EXPECT_FALSE(e->repeats());
        EXPECT_EQ(e->repeatEvery(), 0);
        const Date before = e->fireTime();
        e->processRepeatUntilPast(clock.now().addingTimeInterval(3600));
        EXPECT_EQ(e->fireTime(), before);
        scheduler.advanceBy(5 * 60);
        EXPECT_EQ(fired(), std::vector<QString>{"once"});
        EXPECT_TRUE(list->pendingEvents().empty());
    }
}

TEST_F(foundationTimedEvent, ACancelledEntryAddedAgainStaysOut) {
    const auto never = TimedEvent::initWithAction(
        ObjectExtras::buildInvocation(recorder, &Recorder::hit, QString("never")), tenPlus(0), 1);
    never->cancel();
    const auto fired = add("fired", tenPlus(0), 2);
    scheduler.advanceTo(tenPlus(0, 0.01));
    fired->cancel();
    list->addTimedEvents({never, fired});
    EXPECT_TRUE(list->pendingEvents().empty());
    scheduler.advanceBy(5 * 60);
    EXPECT_EQ(recorder->fired, std::vector<QString>{"fired"});
}

TEST_F(foundationTimedEvent, CancellingAnEntryThatAlreadyFiredChangesNothing) {
    const auto done = add("done", tenPlus(0));
    add("waiting", tenPlus(5));
    scheduler.advanceTo(tenPlus(1, 0.01));
    done->cancel();
    list->cancelTimedEvent(done);
    EXPECT_EQ(list->pendingEvents().size(), 1u);
    scheduler.advanceTo(tenPlus(6, 0.01));
    EXPECT_EQ(fired(), (std::vector<QString>{"done", "waiting"}));
}

TEST_F(foundationTimedEvent, AnEntryWhoseTargetIsGoneIsSkipped) {
    auto gone = std::make_shared<Recorder>();
    list->newTimedEvent(ObjectExtras::buildInvocation(gone, &Recorder::hit, QString("gone")),
                        tenPlus(0), 1);
    add("alive", tenPlus(0), 2);
    gone.reset();
    scheduler.advanceTo(tenPlus(1, 0.01));
    EXPECT_EQ(fired(), std::vector<QString>{"alive"});
}

TEST_F(foundationTimedEvent, ActionsRunOutsideTheLockAndMayAddEntries) {
    list->newTimedEvent(action([&] {
                            EXPECT_TRUE(list->pendingEvents().empty());
                            add("added", clock.now());
                        }),
                        tenPlus(0), 100);
    scheduler.advanceTo(tenPlus(0, 0.01));
    EXPECT_TRUE(fired().empty());
    scheduler.advanceTo(tenPlus(1, 0.01));
    EXPECT_EQ(fired(), std::vector<QString>{"added"});
}

TEST_F(foundationTimedEvent, TheTimerLivesOnTheMainLoopWhenTheListIsMadeOnAnotherThread) {
    std::shared_ptr<TimedEventList> other;
    std::thread worker([&] {
        other = TimedEventList::create(scheduler);
        other->newTimedEvent(ObjectExtras::buildInvocation(recorder, &Recorder::hit, QString("w")),
                             tenPlus(0), 100);
    });
    worker.join();
    list.reset();
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    scheduler.runPosted();
    EXPECT_EQ(scheduler.activeTimerCount(), 1u);
    scheduler.advanceTo(tenPlus(1, 0.01));
    EXPECT_EQ(fired(), std::vector<QString>{"w"});
}

TEST_F(foundationTimedEvent, TheClassOperationsWorkOnTheSharedList) {
    TimedEventList::setShared(list);
    const auto e = TimedEvent::newTimedEvent(
        ObjectExtras::buildInvocation(recorder, &Recorder::hit, QString("shared")), tenPlus(0), 0);
    const auto dropped = TimedEvent::initWithAction(
        ObjectExtras::buildInvocation(recorder, &Recorder::hit, QString("dropped")), tenPlus(0), 0);
    TimedEvent::addTimedEvents({dropped});
    TimedEvent::cancelTimedEvent(dropped);
    EXPECT_EQ(list->pendingEvents(), std::vector<TimedEvent::Ptr>{e});
    clock.set(tenPlus(2));
    TimedEvent::doTimedEvents();
    TimedEventList::setShared(nullptr);
    EXPECT_EQ(fired(), std::vector<QString>{"shared"});
}

TEST(foundationTimedEventEntry, RepeatsMoveOnByWholeIntervalsUntilNotBeforeNow) {
    struct Case {
        double fire, now;
        std::int32_t every;
        double next;
    };
    const Case cases[] = {
        {kTen, kTen + 12 * 60, 5, kTen + 15 * 60},
        {kTen, kTen + 10 * 60, 5, kTen + 10 * 60},
        {kTen, kTen - 60, 5, kTen},
        // Ten years asleep: computed, not stepped.
        {kTen, kTen + 3650.0 * 86400 + 30, 1, kTen + 3650.0 * 86400 + 60},
    };
    for (const Case& c : cases) {
        const auto e = TimedEvent::initWithAction({}, at(c.fire), 100);
        e->setRepeats(c.every);
        e->processRepeatUntilPast(at(c.now));
        EXPECT_DOUBLE_EQ(secondsOf(e->fireTime()), c.next) << c.now - kTen;
    }
}

TEST(foundationTimedEventEntry, DescriptionGivesTheAddressAndWholeSeconds) {
    const auto e = TimedEvent::initWithAction({}, at(12345.9), 7);
    const QString text = e->description();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^<[0-9a-f]+ at 12345>$")).match(text).hasMatch())
        << text.toStdString();
    EXPECT_EQ(e->priority(), 7);
    EXPECT_EQ(e->compare(*TimedEvent::initWithAction({}, at(12345.9), 7)), 0);
    EXPECT_EQ(e->compare(*TimedEvent::initWithAction({}, at(12345.9), 8)), -1);
    EXPECT_EQ(e->compare(*TimedEvent::initWithAction({}, at(1), 1)), 1);
}

TEST(foundationTimedEventMerge, MergeObjectInsertsBeforeTheFirstLaterEntryOfItsRange) {
    auto entry = [](double t, std::int32_t p = 100) {
        return TimedEvent::initWithAction({}, at(t), p);
    };
    struct Case {
        double time;
        std::int32_t priority;
        std::size_t start, count;
        std::size_t index;  // returned, and where the entry stands
    };
    const Case cases[] = {
        {2, 100, 0, 4, 3},                     // after the equal ones
        {2, 50, 0, 4, 1},                      // before the lower priority
        {0, 100, 0, 4, 0}, {9, 100, 0, 4, 4},  // none later: appended
        {0, 100, 2, 4, 2},                     // the walk starts at `start`
        {2, 100, 0, 0, 0},                     // count 0: appended, 0 returned
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.time << "/" << c.priority << " from " << c.start);
        std::vector<TimedEvent::Ptr> list = {entry(1), entry(2), entry(2), entry(3)};
        const auto e = entry(c.time, c.priority);
        const std::size_t index = mergeObject(list, e, c.start, c.count);
        EXPECT_EQ(index, c.index);
        const std::size_t where = c.count == 0 ? list.size() - 1 : index;
        EXPECT_EQ(list[where], e);
    }
}

// Random entries, priorities, batches and cancels (some by other entries' actions) fire in
// the order of a stable sort by time and priority, the cancelled ones never.
TEST(foundationTimedEventProperty, FiringOrderMatchesAStableSortByTimeThenPriority) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        FakeClock clock(at(kTen - 30));
        ManualScheduler scheduler(clock);
        auto list = TimedEventList::create(scheduler);
        auto hooks = std::make_shared<Hooks>();

        struct Ref {
            int id;
            double time;
            std::int32_t priority;
            int cancels = -1;  // id this entry's action cancels
        };
        std::vector<Ref> refs;
        std::vector<TimedEvent::Ptr> entries;
        std::vector<int> fired;
        auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
        const std::int32_t priorities[] = {0, 1, 2, 100, -3, 100};

        const int count = 120 + pick(80);
        auto makeEntry = [&](int id) {
            Ref r{id, kTen - 120 + pick(30 * 60), priorities[pick(6)]};
            if (pick(5) == 0) {
                r.time = kTen + 60.0 * pick(30) + (pick(2) ? 0.01 : 0.0);  // on the ticks
            }
            if (pick(10) == 0) {
                r.cancels = pick(count);
            }
            refs.push_back(r);
            auto body = [&, id, cancels = r.cancels] {
                fired.push_back(id);
                if (cancels >= 0 && cancels < static_cast<int>(entries.size())) {
                    entries[static_cast<std::size_t>(cancels)]->cancel();
                }
            };
            return std::make_pair(action(hooks, body), r);
        };
        while (static_cast<int>(refs.size()) < count) {
            if (pick(3) == 0) {
                std::vector<TimedEvent::Ptr> batch;
                const int n = 1 + pick(8);
                for (int i = 0; i < n && static_cast<int>(refs.size()) < count; ++i) {
                    auto [invocation, r] = makeEntry(static_cast<int>(refs.size()));
                    batch.push_back(TimedEvent::initWithAction(invocation, at(r.time), r.priority));
                    entries.push_back(batch.back());
                }
                list->addTimedEvents(batch);
            } else {
                auto [invocation, r] = makeEntry(static_cast<int>(refs.size()));
                entries.push_back(list->newTimedEvent(invocation, at(r.time), r.priority));
            }
        }
        std::vector<bool> cancelled(refs.size(), false);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (pick(10) == 0) {
                cancelled[i] = true;
                (pick(2) ? entries[i]->cancel() : list->cancelTimedEvent(entries[i]));
            }
        }

        std::vector<Ref> order = refs;
        std::stable_sort(order.begin(), order.end(), [](const Ref& a, const Ref& b) {
            const std::int32_t pa = a.priority == 0 ? 100 : a.priority;
            const std::int32_t pb = b.priority == 0 ? 100 : b.priority;
            return a.time != b.time ? a.time < b.time : pa < pb;
        });
        std::vector<int> expected;
        for (const Ref& r : order) {
            if (cancelled[static_cast<std::size_t>(r.id)]) {
                continue;
            }
            expected.push_back(r.id);
            if (r.cancels >= 0) {
                cancelled[static_cast<std::size_t>(r.cancels)] = true;
            }
        }

        scheduler.advanceBy(40 * 60);
        EXPECT_EQ(fired, expected);
        EXPECT_TRUE(list->pendingEvents().empty());
    }
}

}  // namespace
}  // namespace talvor
