// The minute scheduler with 10,000 entries: inserting them one by one or as one batch, and
// the single tick that fires them all.
#include "foundation/TimedEvent.h"
#include "support/FakeClock.h"
#include "support/ManualScheduler.h"

#include <benchmark/benchmark.h>

#include <random>

#include <sys/resource.h>

namespace {

using talvor::Date;
using talvor::TimedEvent;
using talvor::TimedEventList;

constexpr double kStart = 60.0 * 1000000;  // a whole minute

double peakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

struct Counter {
    long fired = 0;
    void hit() { ++fired; }
};

// Fire times spread over the minute before the first tick (at kStart + 0.01), priorities
// from a small set so that many entries tie.
struct Entries {
    explicit Entries(int n) {
        std::mt19937 rng(42);
        std::uniform_real_distribution<double> second(0, 59);
        const std::int32_t priorities[] = {0, 1, 2, 100, 7};
        for (int i = 0; i < n; ++i) {
            times.push_back(Date::fromReference(kStart - 1 - std::floor(second(rng))));
            priority.push_back(priorities[i % 5]);
        }
    }
    std::vector<Date> times;
    std::vector<std::int32_t> priority;
};

void BM_InsertOneByOneThenFireInOneTick(benchmark::State& state) {
    const Entries entries(static_cast<int>(state.range(0)));
    auto counter = std::make_shared<Counter>();
    for (auto _ : state) {
        counter->fired = 0;
        talvor::test::FakeClock clock(Date::fromReference(kStart - 0.5));
        talvor::test::ManualScheduler scheduler(clock);
        auto list = TimedEventList::create(scheduler);
        for (std::size_t i = 0; i < entries.times.size(); ++i) {
            list->newTimedEvent(talvor::ObjectExtras::buildInvocation(counter, &Counter::hit),
                                entries.times[i], entries.priority[i]);
        }
        scheduler.advanceBy(1.0);  // the one tick, at kStart + 0.01
        benchmark::DoNotOptimize(list->pendingEvents().size());
    }
    state.counters["fired_per_run"] = static_cast<double>(counter->fired);
    state.counters["peak_rss_MiB"] = peakRssMiB();
}
BENCHMARK(BM_InsertOneByOneThenFireInOneTick)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_InsertAsOneBatch(benchmark::State& state) {
    const Entries entries(static_cast<int>(state.range(0)));
    auto counter = std::make_shared<Counter>();
    for (auto _ : state) {
        talvor::test::FakeClock clock(Date::fromReference(kStart - 0.5));
        talvor::test::ManualScheduler scheduler(clock);
        auto list = TimedEventList::create(scheduler);
        std::vector<TimedEvent::Ptr> batch;
        batch.reserve(entries.times.size());
        for (std::size_t i = 0; i < entries.times.size(); ++i) {
            batch.push_back(TimedEvent::initWithAction(
                talvor::ObjectExtras::buildInvocation(counter, &Counter::hit), entries.times[i],
                entries.priority[i]));
        }
        list->addTimedEvents(std::move(batch));
        benchmark::DoNotOptimize(list->pendingEvents().size());
    }
    state.counters["peak_rss_MiB"] = peakRssMiB();
}
BENCHMARK(BM_InsertAsOneBatch)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
