#include "foundation/ArrayExtras.h"
#include "foundation/ObjectExtras.h"
#include "platform/Scheduler.h"
#include "support/FakeClock.h"
#include "support/ManualScheduler.h"

#include <QList>
#include <QObject>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <thread>

namespace talvor {
namespace {

using test::FakeClock;
using test::ManualScheduler;

struct Target {
    std::vector<QString> calls;
    void none() { calls.push_back(QStringLiteral("none")); }
    void two(const QString& a, int b) { calls.push_back(a + QString::number(b)); }
    void three(QString a, QString b, QString c) { calls.push_back(a + b + c); }
    void hold(const std::shared_ptr<int>& kept) { calls.push_back(QString::number(*kept)); }
    QString label(int n) const { return QStringLiteral("#%1").arg(n); }
};

class QTarget : public QObject {
  public:
    int hits = 0;
    void hit() { ++hits; }
};

TEST(foundationInvocation, BindsUpToThreeObjectsAndTakesTheRestWhenInvoked) {
    auto target = std::make_shared<Target>();
    Invocation<> all = ObjectExtras::buildInvocation(target, &Target::two, QString("a"), 1);
    Invocation<int> partial = ObjectExtras::buildInvocation(target, &Target::two, QString("b"));
    Invocation<const QString&, int> open = ObjectExtras::buildInvocation(target, &Target::two);
    Invocation<> three = ObjectExtras::buildInvocation(target, &Target::three, QString("x"),
                                                       QString("y"), QString("z"));
    Invocation<> none = ObjectExtras::buildInvocation(std::weak_ptr<Target>(target), &Target::none);

    EXPECT_TRUE(all.invoke());
    EXPECT_TRUE(partial.invoke(2));
    EXPECT_TRUE(open.invoke(QStringLiteral("c"), 3));
    EXPECT_TRUE(three());
    EXPECT_TRUE(none());
    EXPECT_EQ(target->calls, (std::vector<QString>{"a1", "b2", "c3", "xyz", "none"}));
}

TEST(foundationInvocation, KeepsItsObjectsButNotItsTarget) {
    auto target = std::make_shared<Target>();
    auto kept = std::make_shared<int>(7);
    Invocation<> call = ObjectExtras::buildInvocation(target, &Target::hold, kept);
    const std::weak_ptr<int> keptWeak = kept;
    kept.reset();
    EXPECT_FALSE(keptWeak.expired());
    EXPECT_TRUE(call.isTargetAlive());
    EXPECT_TRUE(call.invoke());
    EXPECT_EQ(target->calls, std::vector<QString>{"7"});

    target.reset();
    EXPECT_FALSE(call.isTargetAlive());
    EXPECT_FALSE(call.invoke());
    EXPECT_FALSE(Invocation<>().invoke());
    EXPECT_FALSE(static_cast<bool>(Invocation<>()));
}

TEST(foundationInvocation, FollowsAQObjectTargetUntilItIsDeleted) {
    auto* target = new QTarget;
    Invocation<> call = ObjectExtras::buildInvocation(target, &QTarget::hit);
    EXPECT_TRUE(call.invoke());
    EXPECT_EQ(target->hits, 1);
    delete target;
    EXPECT_FALSE(call.isTargetAlive());
    EXPECT_FALSE(call.invoke());
}

TEST(foundationPerformSelector, RunsAtOnceWithoutDelayOtherwiseOnceAfterIt) {
    FakeClock clock(Date::fromReference(1000));
    ManualScheduler scheduler(clock);
    auto target = std::make_shared<Target>();

    ObjectExtras::performSelector(
        ObjectExtras::buildInvocation(target, &Target::two, QString("now"), 0), 0, scheduler);
    EXPECT_EQ(target->calls, std::vector<QString>{"now0"});

    ObjectExtras::performSelector(
        ObjectExtras::buildInvocation(target, &Target::two, QString("later"), 1), 2.5, scheduler);
    scheduler.advanceBy(2.4);
    EXPECT_EQ(target->calls.size(), 1u);
    scheduler.advanceBy(0.1);
    EXPECT_EQ(target->calls, (std::vector<QString>{"now0", "later1"}));
    scheduler.advanceBy(60);
    EXPECT_EQ(target->calls.size(), 2u);
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
}

TEST(foundationPerformSelector, ADelayedPerformOnADestroyedTargetIsSkipped) {
    FakeClock clock(Date::fromReference(1000));
    ManualScheduler scheduler(clock);
    auto target = std::make_shared<Target>();
    std::weak_ptr<Target> watch = target;
    ObjectExtras::performSelector(ObjectExtras::buildInvocation(target, &Target::none), 1,
                                  scheduler);
    target.reset();
    EXPECT_TRUE(watch.expired());
    scheduler.advanceBy(2);
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
}

TEST(foundationPerformSelector, APendingDelayedPerformMayOutliveItsScheduler) {
    auto target = std::make_shared<Target>();
    {
        FakeClock clock(Date::fromReference(1000));
        ManualScheduler scheduler(clock);
        ObjectExtras::performSelector(ObjectExtras::buildInvocation(target, &Target::none), 5,
                                      scheduler);
    }
    EXPECT_TRUE(target->calls.empty());
}

TEST(foundationPerformOnMainThread, FromTheMainThreadAWaitRunsAtOnceAndNoWaitRunsOnTheLoop) {
    FakeClock clock;
    ManualScheduler scheduler(clock);
    auto target = std::make_shared<Target>();
    ObjectExtras::performSelectorOnMainThread(
        ObjectExtras::buildInvocation(target, &Target::two, QString("wait"), 1), true, scheduler);
    EXPECT_EQ(target->calls, std::vector<QString>{"wait1"});
    ObjectExtras::performSelectorOnMainThread(
        ObjectExtras::buildInvocation(target, &Target::two, QString("queued"), 2), false,
        scheduler);
    EXPECT_EQ(target->calls.size(), 1u);
    scheduler.runPosted();
    EXPECT_EQ(target->calls, (std::vector<QString>{"wait1", "queued2"}));
}

TEST(foundationPerformOnMainThread, AWaitFromAnotherThreadReturnsAfterTheMainLoopRanIt) {
    FakeClock clock;
    platform::QtScheduler scheduler(clock);
    struct Probe {
        Qt::HANDLE ranOn = nullptr;
        void run() { ranOn = QThread::currentThreadId(); }
    };
    auto probe = std::make_shared<Probe>();
    std::atomic<bool> returned{false};
    bool ranBeforeReturn = false;
    std::thread worker([&] {
        ObjectExtras::performSelectorOnMainThread(ObjectExtras::buildInvocation(probe, &Probe::run),
                                                  true, scheduler);
        ranBeforeReturn = probe->ranOn != nullptr;
        returned = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, 10000));
    worker.join();
    EXPECT_TRUE(ranBeforeReturn);
    EXPECT_EQ(probe->ranOn, QThread::currentThreadId());
}

TEST(foundationPerformOnMainThread, AWaitEndsWhenTheMainLoopDropsTheWork) {
    struct DroppingScheduler : platform::Scheduler {
        FakeClock clock_;
        platform::TimerHandle scheduleRepeating(Date, double, Action) override { return {}; }
        platform::TimerHandle scheduleAt(Date, Action) override { return {}; }
        void postToMain(Action) override {}
        platform::Clock& clock() const override { return const_cast<FakeClock&>(clock_); }
        void cancelTimer(std::uint64_t) override {}
        bool isTimerActive(std::uint64_t) const override { return false; }
    } scheduler;
    auto target = std::make_shared<Target>();
    std::thread worker([&] {
        ObjectExtras::performSelectorOnMainThread(
            ObjectExtras::buildInvocation(target, &Target::none), true, scheduler);
    });
    worker.join();
    EXPECT_TRUE(target->calls.empty());
}

TEST(foundationArrayExtras, StackAndQueueOperations) {
    std::vector<int> v;
    EXPECT_EQ(ArrayExtras::pop(v), std::nullopt);
    EXPECT_EQ(ArrayExtras::shift(v), std::nullopt);
    EXPECT_TRUE(v.empty());

    ArrayExtras::push(v, 1);
    ArrayExtras::push(v, 2);
    ArrayExtras::unshift(v, 0);
    EXPECT_EQ(v, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(ArrayExtras::pop(v), 2);
    EXPECT_EQ(ArrayExtras::shift(v), 0);
    EXPECT_EQ(v, std::vector<int>{1});

    QList<QString> q{QStringLiteral("a")};
    ArrayExtras::unshift(q, QStringLiteral("z"));
    EXPECT_EQ(ArrayExtras::shift(q), QStringLiteral("z"));
    EXPECT_EQ(ArrayExtras::pop(q), QStringLiteral("a"));
    EXPECT_EQ(ArrayExtras::pop(q), std::nullopt);
}

TEST(foundationArrayExtras, InsertObjectsFromArrayKeepsTheirOrderAtTheIndex) {
    struct Case {
        std::ptrdiff_t at;
        std::vector<QString> expected;
    };
    const Case cases[] = {
        {1, {"x", "a", "b", "y"}}, {0, {"a", "b", "x", "y"}},  {2, {"x", "y", "a", "b"}},
        {9, {"x", "y", "a", "b"}}, {-1, {"a", "b", "x", "y"}},
    };
    for (const Case& c : cases) {
        std::vector<QString> array{"x", "y"};
        MyExtensions::insertObjectsFromArray(array, QList<QString>{"a", "b"}, c.at);
        EXPECT_EQ(array, c.expected) << c.at;
    }
}

TEST(foundationArrayExtras, IdentitySearchIgnoresEqualObjects) {
    auto a = std::make_shared<QString>("same");
    auto b = std::make_shared<QString>("same");
    const std::vector<std::shared_ptr<QString>> array{a};
    EXPECT_TRUE(MyExtensions::containsObjectIdenticalTo(array, a.get()));
    EXPECT_FALSE(MyExtensions::containsObjectIdenticalTo(array, b.get()));
    const QString raw;
    const std::deque<const QString*> pointers{&raw};
    EXPECT_TRUE(MyExtensions::containsObjectIdenticalTo(pointers, &raw));
}

TEST(foundationArrayExtras, MapsSendTheSelectorToEachElementInOrder) {
    const std::vector<QString> words{"ab", "c"};
    EXPECT_EQ(ArrayExtras::map(words, &QString::size), (std::vector<qsizetype>{2, 1}));
    EXPECT_EQ(ArrayExtras::map(
                  words, [](const QString& w, const QString& s) { return w + s; }, QString("!")),
              (std::vector<QString>{"ab!", "c!"}));
    EXPECT_TRUE(ArrayExtras::map(std::vector<QString>{}, &QString::size).empty());

    struct Item {
        int n;
        int twice() const { return 2 * n; }
    };
    const std::vector<std::shared_ptr<Item>> items{std::make_shared<Item>(Item{1}),
                                                   std::make_shared<Item>(Item{5})};
    EXPECT_EQ(ArrayExtras::map(items, &Item::twice), (std::vector<int>{2, 10}));

    Target target;
    EXPECT_EQ(ArrayExtras::makeObjectMapSelector(std::vector<int>{3, 4}, target, &Target::label),
              (std::vector<QString>{"#3", "#4"}));
}

TEST(foundationArrayExtras, MakeObjectPerformSelectorRunsEachOnALaterTurnWhileTheTargetLives) {
    FakeClock clock;
    ManualScheduler scheduler(clock);
    auto target = std::make_shared<Target>();
    const std::vector<std::shared_ptr<int>> elements{std::make_shared<int>(1),
                                                     std::make_shared<int>(2)};
    ArrayExtras::makeObjectPerformSelector(elements, target, &Target::hold, scheduler);
    EXPECT_TRUE(target->calls.empty());
    scheduler.runPosted();
    EXPECT_EQ(target->calls, (std::vector<QString>{"1", "2"}));

    ArrayExtras::makeObjectPerformSelector(elements, target, &Target::hold, scheduler);
    std::weak_ptr<Target> watch = target;
    target.reset();
    scheduler.runPosted();
    EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace talvor
