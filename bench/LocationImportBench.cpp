// Importing an exported list of locations the way the locations window does (read, compare,
// append, save), for lists far beyond what one import accepts. Time and peak RSS; run one
// benchmark per process (--benchmark_filter) for a peak of its own.
#include "LocationsSandbox.h"
#include "foundation/TalvorFilePaths.h"
#include "platform/Log.h"
#include "world/LocationTableModel.h"
#include "world/LocationTransfer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using talvor::LocationTable;
using talvor::LocationTableModel;
using talvor::TalvorFilePaths;
using talvor::bench::peakRssMiB;
namespace LocationTransfer = talvor::LocationTransfer;

// An exported list of `rows` distinct places, written as text so that making it costs the
// measured process no memory.
QString exportFile(qsizetype rows) {
    const QString path =
        QStringLiteral("%1/export-%2.plist").arg(qEnvironmentVariable("XDG_DATA_HOME")).arg(rows);
    if (QFile::exists(path)) {
        return path;
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        return path;
    }
    f.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<array>\n");
    for (qsizetype i = 0; i < rows; ++i) {
        f.write(QStringLiteral("\t<array><string>Note %1</string><string>Town %1</string>"
                               "<string>Region %2</string><string>Chile</string>"
                               "<string>America/Santiago</string><real>-4</real>"
                               "<string>-04</string><string></string><string></string>"
                               "<string></string><false/><false/></array>\n")
                    .arg(i)
                    .arg(i % 16)
                    .toUtf8());
    }
    f.write("</array>\n</plist>\n");
    return path;
}

// Limits far beyond the window's own, so that the cost of a list this long shows.
constexpr LocationTransfer::Limits kBenchLimits{4LL * 1024 * 1024 * 1024, 10'000'000};

struct Phases {
    qsizetype added = 0;
    qsizetype duplicates = 0;
    double readMs = 0;   // reading and parsing the file
    double planMs = 0;   // comparing identities
    double applyMs = 0;  // appending and saving the table (the window's thread)
};

LocationTable importInto(LocationTable present, const QString& path, Phases* phases) {
    LocationTableModel model(
        std::move(present), {},
        {[](const LocationTable& t) { return TalvorFilePaths::TalvorSaveLocationTable(t); },
         nullptr});
    QElapsedTimer clock;
    clock.start();
    const auto imported = LocationTransfer::read(path, kBenchLimits);
    if (!imported) {
        return {};
    }
    phases->readMs = static_cast<double>(clock.restart());
    const auto plan = LocationTableModel::planImport(model.locationList(), imported->records);
    phases->planMs = static_cast<double>(clock.restart());
    const auto count = model.applyImport(plan);
    phases->applyMs = static_cast<double>(clock.restart());
    phases->added = count.added;
    phases->duplicates = count.duplicates;
    return model.locationList();
}

void report(benchmark::State& state, const Phases& phases) {
    state.counters["added"] = static_cast<double>(phases.added);
    state.counters["duplicates"] = static_cast<double>(phases.duplicates);
    state.counters["read_ms"] = phases.readMs;
    state.counters["compare_ms"] = phases.planMs;
    state.counters["append_save_ms"] = phases.applyMs;
}

// Into the bundled table (about 2,400 cities): every row is new.
void BM_ImportRows(benchmark::State& state) {
    const QString path = exportFile(state.range(0));
    const LocationTable bundled =
        TalvorFilePaths::TalvorLoadLocationFile().value_or(LocationTable());
    Phases phases;
    for (auto _ : state) {
        benchmark::DoNotOptimize(importInto(bundled, path, &phases));
    }
    state.counters["rows"] = static_cast<double>(state.range(0));
    report(state, phases);
    state.counters["peak_rss_MiB"] = peakRssMiB();
}
BENCHMARK(BM_ImportRows)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The same list again: every row is a duplicate, found by its identity.
void BM_ReimportRows(benchmark::State& state) {
    const QString path = exportFile(state.range(0));
    Phases phases;
    const LocationTable present = LocationTransfer::read(path, kBenchLimits)->records;
    for (auto _ : state) {
        benchmark::DoNotOptimize(importInto(present, path, &phases));
    }
    state.counters["rows"] = static_cast<double>(state.range(0));
    report(state, phases);
    state.counters["peak_rss_MiB"] = peakRssMiB();
}
BENCHMARK(BM_ReimportRows)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return talvor::bench::runInTemporaryHome(argc, argv);
}
