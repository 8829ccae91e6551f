// A cold load of one month from a calendar folder of 1,000 and 10,000 event files (one series
// each): the calendar store (a new store lists, reads, parses and expands every file) against
// libical reading and expanding the same files, side by side in one run. Reports times and
// the ratio (target: the store at least twice as fast at 10,000 files); never fails.
#include "calendar/VdirCalendarStore.h"
#include "platform/Date.h"

#include "EventFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <libical/ical.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>

namespace {

using namespace talvor;

constexpr int64_t kMarch = 1740787200;  // 2025-03-01 00:00 UTC
constexpr int64_t kApril = 1743465600;

// The root holding the folder of `files` events (made once per size).
QString rootOf(int files) {
    static QTemporaryDir dir;
    static std::map<int, QString> roots;
    auto& root = roots[files];
    if (root.isEmpty()) {
        root = dir.path() + QStringLiteral("/root%1").arg(files);
        bench::makeEventFolders(root, {QStringLiteral("calendar")}, files);
    }
    return root;
}

void BM_StoreColdMonth(benchmark::State& state) {
    const QString root = rootOf(static_cast<int>(state.range(0)));
    size_t occurrences = 0;
    using Clock = std::chrono::steady_clock;
    Clock::duration listing{}, reading{}, expanding{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        VdirCalendarStore store({root});
        // The first look starts the load; the month is whole once it is read.
        store.events(Date::fromUnix(kMarch), Date::fromUnix(kApril), {});
        const auto t1 = Clock::now();
        store.waitUntilLoaded();
        const auto t2 = Clock::now();
        occurrences = store.events(Date::fromUnix(kMarch), Date::fromUnix(kApril), {}).size();
        listing += t1 - t0;
        reading += t2 - t1;
        expanding += Clock::now() - t2;
    }
    state.counters["occurrences"] = static_cast<double>(occurrences);
    // Where the time goes: the first look (the store made, the folders listed, the load
    // started), the reading, and the month from the read files.
    auto ms = [&](Clock::duration d) {
        return std::chrono::duration<double, std::milli>(d).count() /
               static_cast<double>(state.iterations());
    };
    state.counters["start_ms"] = ms(listing);
    state.counters["read_ms"] = ms(reading);
    state.counters["month_ms"] = ms(expanding);
}
BENCHMARK(BM_StoreColdMonth)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void countOne(icalcomponent*, struct icaltime_span*, void* data) {
    ++*static_cast<size_t*>(data);
}

void BM_LibicalColdMonth(benchmark::State& state) {
    const QString root = rootOf(static_cast<int>(state.range(0)));
    icaltimezone* utc = icaltimezone_get_utc_timezone();
    size_t occurrences = 0;
    for (auto _ : state) {
        occurrences = 0;
        for (const QString& folder : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QDir dir(root + QLatin1Char('/') + folder);
            for (const QString& name : dir.entryList({QStringLiteral("*.ics")}, QDir::Files)) {
                QFile file(dir.filePath(name));
                file.open(QIODevice::ReadOnly);
                const QByteArray bytes = file.readAll();
                icalcomponent* top = icalparser_parse_string(bytes.constData());
                for (icalcomponent* c =
                         icalcomponent_get_first_component(top, ICAL_VEVENT_COMPONENT);
                     c != nullptr;
                     c = icalcomponent_get_next_component(top, ICAL_VEVENT_COMPONENT)) {
                    icalcomponent_foreach_recurrence(
                        c, icaltime_from_timet_with_zone(kMarch, 0, utc),
                        icaltime_from_timet_with_zone(kApril, 0, utc), countOne, &occurrences);
                }
                icalcomponent_free(top);
            }
        }
    }
    state.counters["occurrences"] = static_cast<double>(occurrences);
}
BENCHMARK(BM_LibicalColdMonth)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Keeps each run's time, for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            times[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* files : {"1000", "10000"}) {
        const double ours = reporter.times[std::string("BM_StoreColdMonth/") + files];
        const double theirs = reporter.times[std::string("BM_LibicalColdMonth/") + files];
        if (ours > 0 && theirs > 0) {
            std::printf(
                "%s files: store %.1f ms, libical %.1f ms, libical/store %.2f (target >= 2 "
                "at 10000)\n",
                files, ours, theirs, theirs / ours);
        }
    }
    benchmark::Shutdown();
    return 0;
}
