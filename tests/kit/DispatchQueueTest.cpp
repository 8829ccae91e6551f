// Serial and concurrent queues, their labels, the main queue, and timers on a manual clock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "ManualClock.h"
#include "kit/DispatchQueue.h"
#include "kit/RandomSource.h"

namespace talvor::kit {
namespace {

using namespace std::chrono_literals;
using test::LogCapture;
using test::ManualClock;

TEST(kitDispatchQueue, SerialQueueRunsEachProducersWorkInOrderOneAtATime) {
    DispatchQueue queue("test.serial");
    constexpr int kProducers = 4;
    constexpr int kItems = 2'000;
    std::vector<std::vector<int>> seen(kProducers);  // touched only by the queue's work
    std::atomic<int> inFlight{0};
    std::atomic<bool> overlapped{false};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kItems; ++i) {
                queue.async([&, p, i] {
                    if (inFlight.fetch_add(1) != 0) {
                        overlapped = true;
                    }
                    seen[p].push_back(i);
                    inFlight.fetch_sub(1);
                });
            }
        });
    }
    for (auto& t : producers) {
        t.join();
    }
    queue.sync([] {});
    EXPECT_FALSE(overlapped);
    for (int p = 0; p < kProducers; ++p) {
        ASSERT_EQ(seen[p].size(), static_cast<std::size_t>(kItems));
        for (int i = 0; i < kItems; ++i) {
            ASSERT_EQ(seen[p][i], i) << "producer " << p;
        }
    }
}

TEST(kitDispatchQueue, LabelIsReadableFromInsideItsWorkOnly) {
    DispatchQueue serial("com.quillon.TRLCompoundOperation.dispatch-queue.counting-queue");
    auto concurrent = DispatchQueue::concurrent("test.concurrent", 3);
    DispatchQueue other("test.other");

    struct Case {
        const char* what;
        DispatchQueue* queue;
        bool viaSync;
    };
    const Case cases[] = {
        {"serial, async", &serial, false},
        {"serial, sync", &serial, true},
        {"concurrent, async", concurrent.get(), false},
        {"concurrent, sync", concurrent.get(), true},
    };
    for (const Case& c : cases) {
        std::optional<std::string> label;
        bool current = false;
        bool otherCurrent = true;
        auto probe = [&] {
            label = DispatchQueue::currentLabel();
            current = c.queue->isCurrent();
            otherCurrent = other.isCurrent();
        };
        if (c.viaSync) {
            c.queue->sync(probe);
        } else {
            std::latch done(1);
            c.queue->async([&] {
                probe();
                done.count_down();
            });
            done.wait();
        }
        EXPECT_EQ(label, c.queue->label()) << c.what;
        EXPECT_TRUE(current) << c.what;
        EXPECT_FALSE(otherCurrent) << c.what;
    }
    EXPECT_EQ(DispatchQueue::currentLabel(), std::nullopt);
    EXPECT_FALSE(serial.isCurrent());

    // Work that waits on another queue sees that queue's label there and its own after.
    std::vector<std::optional<std::string>> labels;
    serial.sync([&] {
        other.sync([&] { labels.push_back(DispatchQueue::currentLabel()); });
        labels.push_back(DispatchQueue::currentLabel());
    });
    EXPECT_EQ(labels, (std::vector<std::optional<std::string>>{"test.other", serial.label()}));
}

TEST(kitDispatchQueue, SyncOntoItselfThrowsInsteadOfHanging) {
    DispatchQueue queue("test.reentry");
    bool threw = false;
    queue.sync([&] {
        try {
            queue.sync([] {});
        } catch (const std::logic_error&) {
            threw = true;
        }
    });
    EXPECT_TRUE(threw);
}

TEST(kitDispatchQueue, SyncRethrowsTheWorksExceptionAndAsyncWorkLogsIt) {
    DispatchQueue queue("test.throwing");
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("boom"); }), std::runtime_error);

    LogCapture log;
    queue.async([] { throw std::runtime_error("boom"); });
    int after = 0;
    queue.sync([&] { after = 1; });  // the queue outlives the faulty item
    EXPECT_EQ(after, 1);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0],
              "[Trellis] Work on the queue \"test.throwing\" ended with an exception: boom");
}

TEST(kitDispatchQueue, ConcurrentQueueRunsItsWidthAtOnce) {
    auto queue = DispatchQueue::concurrent("test.wide", 4);
    EXPECT_FALSE(queue->isSerial());
    // Rounds of items that each wait for all of their round: only parallel running ends
    // them. The later rounds start with fewer idle threads than items.
    for (const int items : {1, 4, 2, 4}) {
        std::latch together(items);
        std::latch done(items);
        for (int i = 0; i < items; ++i) {
            queue->async([&] {
                together.arrive_and_wait();
                done.count_down();
            });
        }
        done.wait();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // let them go idle
    }
}

TEST(kitDispatchQueue, ReleasingAQueueRunsTheWorkAlreadyGiven) {
    std::atomic<int> ran{0};
    {
        DispatchQueue queue("test.release");
        for (int i = 0; i < 100; ++i) {
            queue.async([&] {
                std::this_thread::sleep_for(10us);
                ++ran;
            });
        }
    }
    EXPECT_EQ(ran.load(), 100);

    // A queue released by its own work does not wait for itself.
    auto owned = std::make_shared<std::unique_ptr<DispatchQueue>>(
        std::make_unique<DispatchQueue>("test.self-release"));
    std::latch done(1);
    (*owned)->async([owned, &done] {
        owned->reset();
        done.count_down();
    });
    done.wait();
}

TEST(kitDispatchQueue, MainQueueWaitsForTheApplicationAndRunsOnItsThread) {
    DispatchQueue::drainMain();
    std::vector<std::optional<std::string>> labels;
    std::thread::id ranOn;
    std::thread([&] {
        DispatchQueue::main().async([&] {
            labels.push_back(DispatchQueue::currentLabel());
            ranOn = std::this_thread::get_id();
        });
    }).join();
    EXPECT_TRUE(labels.empty());
    EXPECT_EQ(DispatchQueue::drainMain(), 1u);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(labels, (std::vector<std::optional<std::string>>{"main"}));

    // An executor takes the waiting items and later ones.
    DispatchQueue::main().async([&] { labels.push_back(DispatchQueue::currentLabel()); });
    std::vector<DispatchQueue::Work> handed;
    DispatchQueue::setMainExecutor([&](DispatchQueue::Work w) { handed.push_back(std::move(w)); });
    DispatchQueue::main().async([&] { labels.push_back("second"); });
    DispatchQueue::setMainExecutor(nullptr);
    ASSERT_EQ(handed.size(), 2u);
    for (auto& w : handed) {
        w();
    }
    EXPECT_EQ(labels, (std::vector<std::optional<std::string>>{"main", "main", "second"}));
    EXPECT_EQ(DispatchQueue::drainMain(), 0u);
}

TEST(kitDispatchQueue, ManualClockFiresTimersInDeadlineOrderOnTheirQueue) {
    ManualClock clock;
    DispatchQueue queue("test.timers");
    std::vector<std::string> fired;  // touched only on the queue
    auto record = [&](std::string what) {
        return [&fired, what = std::move(what)] { fired.push_back(what); };
    };
    auto five = queue.after(clock, 5s, record("five"));
    auto two = queue.after(clock, 2s, record("two"));
    auto alsoTwo = queue.after(clock, 2s, record("also-two"));
    auto never = queue.after(clock, 4s, record("cancelled"));
    auto late = queue.after(clock, 60s, record("late"));
    auto every3 = std::make_unique<DispatchTimer>(queue, 3s, record("tick"), clock);
    never.cancel();

    const struct {
        std::chrono::seconds advance;
        std::vector<std::string> fired;
        bool stopTicking = false;
    } steps[] = {
        {1s, {}},
        {1s, {"two", "also-two"}},
        {1s, {"tick"}},
        {6s, {"five", "tick", "tick"}},  // 5, 6 and 9 in one step, in deadline order
        {0s, {}},
        {2s, {}},
        {1s, {"tick"}},
        {100s, {"late"}, true},
    };
    for (const auto& step : steps) {
        if (step.stopTicking) {
            every3.reset();
        }
        fired.clear();
        clock.advance(step.advance);
        queue.sync([] {});
        EXPECT_EQ(fired, step.fired) << "at " << clock.monotonic().count() << " ns";
    }
    EXPECT_TRUE(never.isCancelled());
    EXPECT_EQ(clock.pendingTimers(), 0u);
}

TEST(kitDispatchQueue, NoWorkAfterCancelEvenWhenTheTimerFiredAlready) {
    ManualClock clock;
    DispatchQueue queue("test.cancel");
    std::atomic<int> ran{0};
    std::latch release(1);
    queue.async([&] { release.wait(); });  // holds the queue
    auto once = queue.after(clock, 1s, [&] { ++ran; });
    auto repeating = std::make_unique<DispatchTimer>(
        queue, 1s, [&] { ++ran; }, clock);
    clock.advance(1s);  // both fired: their work waits behind the held item
    once.cancel();
    repeating.reset();  // destruction cancels
    release.count_down();
    queue.sync([] {});
    clock.advance(10s);
    queue.sync([] {});
    EXPECT_EQ(ran.load(), 0);
    EXPECT_EQ(clock.pendingTimers(), 0u);
}

TEST(kitDispatchQueue, SystemClockTimersFire) {
    DispatchQueue queue("test.system-clock");
    std::latch fired(2);
    std::atomic<int> ticks{0};
    auto t = queue.after(1ms, [&] { fired.count_down(); });
    DispatchTimer repeating(queue, 1ms, [&] {
        if (ticks++ == 0) {
            fired.count_down();
        }
    });
    fired.wait();
    repeating.cancel();
    EXPECT_GT(Clock::shared().wallSeconds(), 1.7e9);
}

TEST(kitClock, WallMillisecondsTruncateAndClampBefore1970) {
    const struct {
        double wall;
        std::uint64_t ms;
    } cases[] = {{1500000000.9999, 1500000000999}, {0.0, 0}, {-5.0, 0}, {0.0015, 1}};
    for (const auto& c : cases) {
        ManualClock clock(c.wall);
        EXPECT_EQ(clock.wallMilliseconds(), c.ms) << c.wall;
    }
}

// A source that answers a fixed sequence, as a test of retry jitter would use.
class FixedRandom final : public RandomSource {
  public:
    double nextUniform() override { return 0.25; }
};

TEST(kitRandomSource, UniformInTheHalfOpenIntervalSeededPerSourceAndReplaceable) {
    SystemRandomSource a;
    SystemRandomSource b;
    double sum = 0.0;
    constexpr int kDraws = 20'000;
    for (int i = 0; i < kDraws; ++i) {
        const double x = a.nextUniform();
        ASSERT_GE(x, 0.0);
        ASSERT_LT(x, 1.0);
        sum += x;
    }
    EXPECT_NEAR(sum / kDraws, 0.5, 0.01);
    // Seeded from the kernel: two sources (like two processes) do not draw alike.
    std::vector<double> firstA;
    std::vector<double> firstB;
    for (int i = 0; i < 4; ++i) {
        firstA.push_back(a.nextUniform());
        firstB.push_back(b.nextUniform());
    }
    EXPECT_NE(firstA, firstB);

    FixedRandom fixed;
    RandomSource::setShared(&fixed);
    EXPECT_EQ(RandomSource::shared().nextUniform(), 0.25);
    RandomSource::setShared(nullptr);
    EXPECT_NE(&RandomSource::shared(), &fixed);
}

}  // namespace
}  // namespace talvor::kit
