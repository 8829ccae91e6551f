#include "platform/Clock.h"
#include "platform/Scheduler.h"
#include "support/FakeClock.h"
#include "support/ManualScheduler.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>

#include <gtest/gtest.h>

#include <limits>
#include <thread>

namespace talvor::platform {
namespace {

using test::FakeClock;
using test::ManualScheduler;

Date at(double s) {
    return Date::fromReference(s);
}

TEST(platformSchedulerGrid, RepeatingTimersStayOnTheirGridAcrossSleepsAndJumps) {
    struct Case {
        double due, interval, now;
        double next;       // after firing late at `now`
        double afterJump;  // after the clock jumped to `now`
    };
    const Case cases[] = {
        // On time.
        {60, 60, 60, 120, 60},
        // Late by less than an interval.
        {60, 60, 61.5, 120, 60},
        // Slept for three intervals: the missed ones are skipped; a jump fires it once now.
        {60, 60, 250, 300, 60},
        // Not yet due.
        {60, 60, 30, 60, 60},
        // The clock went back an hour: fire within one interval, still on the grid.
        {3660, 60, 0.5, 3660, 60},
        {3660.01, 60, 0, 3660.01, 0.01},
        {10, 1, 2.5, 10, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "due " << c.due << " now " << c.now);
        EXPECT_NEAR(nextGridDate(at(c.due), c.interval, at(c.now)).timeIntervalSinceReferenceDate(),
                    c.next, 1e-9);
        EXPECT_NEAR(
            gridDateAfterJump(at(c.due), c.interval, at(c.now)).timeIntervalSinceReferenceDate(),
            c.afterJump, 1e-9);
    }
}

TEST(platformManualScheduler, FiresDueTimersInDateOrderWithTheClockAtEachDate) {
    FakeClock clock(at(0));
    ManualScheduler scheduler(clock);
    std::vector<std::pair<std::string, double>> fired;
    auto record = [&](std::string name) {
        return
            [&, name] { fired.emplace_back(name, clock.now().timeIntervalSinceReferenceDate()); };
    };
    TimerHandle late = scheduler.scheduleAt(at(30), record("late"));
    TimerHandle tick = scheduler.scheduleRepeating(at(10), 10, record("tick"));
    TimerHandle tie = scheduler.scheduleAt(at(10), record("tie"));
    TimerHandle cancelled = scheduler.scheduleAt(at(5), record("cancelled"));
    cancelled.cancel();

    scheduler.advanceTo(at(30));
    const std::vector<std::pair<std::string, double>> expected = {
        {"tick", 10}, {"tie", 10}, {"tick", 20}, {"late", 30}, {"tick", 30}};
    EXPECT_EQ(fired, expected);
    EXPECT_FALSE(late.isActive());
    EXPECT_TRUE(tick.isActive());
    EXPECT_EQ(clock.now(), at(30));
}

TEST(platformManualScheduler, ATimerMayCancelItselfOrOthersWhileFiring) {
    FakeClock clock(at(0));
    ManualScheduler scheduler(clock);
    int a = 0;
    int b = 0;
    TimerHandle second;
    TimerHandle first = scheduler.scheduleRepeating(at(1), 1, [&] {
        ++a;
        first.cancel();
        second.cancel();
    });
    second = scheduler.scheduleAt(at(1), [&] { ++b; });
    scheduler.advanceTo(at(5));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(scheduler.activeTimerCount(), 0u);
}

TEST(platformManualScheduler, IntervalsAreKeptFromSpinning) {
    struct Case {
        double interval;
        double expected;
    };
    const Case cases[] = {{60, 60},
                          {0, 0},
                          {-5, 0},
                          {1e-9, kMinimumInterval},
                          {std::numeric_limits<double>::quiet_NaN(), 0},
                          {std::numeric_limits<double>::infinity(), 0}};
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(sanitizedInterval(c.interval), c.expected) << c.interval;
    }
    SystemClock clock;
    QtScheduler scheduler(clock);
    test::LogCapture log;
    TimerHandle h =
        scheduler.scheduleAt(Date::fromReference(std::numeric_limits<double>::quiet_NaN()), [] {});
    EXPECT_FALSE(h.isActive());
    EXPECT_EQ(log.lines().size(), 1);
}

TEST(platformManualScheduler, DroppingTheHandleStopsTheTimer) {
    FakeClock clock(at(0));
    ManualScheduler scheduler(clock);
    int n = 0;
    {
        TimerHandle h = scheduler.scheduleRepeating(at(1), 1, [&] { ++n; });
        scheduler.advanceTo(at(2));
    }
    scheduler.advanceTo(at(10));
    EXPECT_EQ(n, 2);
}

// The real scheduler on Qt's loop, with the system clock. Waits are upper bounds only.
class QtSchedulerTest : public ::testing::Test {
  protected:
    bool waitFor(const std::function<bool()>& done, int ms = 10000) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return done();
    }
    SystemClock clock_;
    QtScheduler scheduler_{clock_};
};

using platformQtScheduler = QtSchedulerTest;

TEST_F(platformQtScheduler, FiresOneShotAndRepeatingTimersNoEarlierThanTheirDates) {
    const Date start = clock_.now();
    Date firedAt;
    bool once = false;
    TimerHandle h1 = scheduler_.scheduleAt(start.addingTimeInterval(0.15), [&] {
        once = true;
        firedAt = clock_.now();
    });
    std::vector<Date> ticks;
    TimerHandle h2 = scheduler_.scheduleRepeating(start.addingTimeInterval(0.05), 0.05,
                                                  [&] { ticks.push_back(clock_.now()); });
    ASSERT_TRUE(waitFor([&] { return once && ticks.size() >= 4; }));
    EXPECT_GE(firedAt, start.addingTimeInterval(0.15));
    EXPECT_FALSE(h1.isActive());
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_GE(
            ticks[i],
            start.addingTimeInterval(0.05 * static_cast<double>(i + 1)).addingTimeInterval(-0.001));
    }
    h2.cancel();
    EXPECT_FALSE(h2.isActive());
}

TEST_F(platformQtScheduler, WorkPostedFromAnotherThreadRunsOnTheMainThread) {
    std::thread::id ranOn;
    bool ran = false;
    std::thread worker([&] {
        scheduler_.postToMain([&] {
            ranOn = std::this_thread::get_id();
            ran = true;
        });
    });
    worker.join();
    EXPECT_FALSE(ran);
    ASSERT_TRUE(waitFor([&] { return ran; }));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(platformQtSchedulerJump, AClockJumpReArmsRepeatingTimers) {
    FakeClock clock(at(1000));
    QtScheduler scheduler(clock);
    int fired = 0;
    // Due in an hour by the fake clock; the jump back of the grid makes it due at once.
    TimerHandle h = scheduler.scheduleRepeating(at(4600), 3600, [&] { ++fired; });
    clock.jumpTo(at(4600));
    QElapsedTimer t;
    t.start();
    while (fired == 0 && t.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_EQ(fired, 1);
}

}  // namespace
}  // namespace talvor::platform
