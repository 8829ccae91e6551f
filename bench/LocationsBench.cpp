// Loading, merging and saving the location table, on the bundled table in a temporary home.
#include "LocationsSandbox.h"
#include "foundation/LocationRecord.h"
#include "foundation/TalvorFilePaths.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/PropertyList.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using talvor::LocationTable;
using talvor::TalvorFilePaths;
using talvor::bench::peakRssMiB;

LocationTable bundledTable() {
    static const LocationTable table = [] {
        TalvorFilePaths::TalvorRemoveNetLocation();
        return TalvorFilePaths::TalvorLoadLocationFile().value_or(LocationTable());
    }();
    return table;
}

// A net cache of `n` records: every other one repeats a bundled record (a duplicate), the
// rest are new places.
void writeNetCache(qsizetype n) {
    const LocationTable bundled = bundledTable();
    LocationTable cache;
    for (qsizetype i = 0; i < n; ++i) {
        QVariantList record = talvor::LocationRecord::fields(bundled.at(i % bundled.size()));
        if (i % 2 == 1) {
            record[talvor::LocationRecord::kCity] = QStringLiteral("Subscribed %1").arg(i);
        }
        cache.append(QVariant(talvor::LocationRecord::asNetRecord(record)));
    }
    const auto bytes = talvor::platform::PropertyList::serialize(
        QVariant(cache), talvor::platform::PropertyList::Format::Xml);
    talvor::platform::writeFileAtomically(TalvorFilePaths::netLocationFilePath(), bytes.value());
}

void BM_LoadBundledTable(benchmark::State& state) {
    TalvorFilePaths::TalvorRemoveNetLocation();
    qsizetype records = 0;
    for (auto _ : state) {
        const auto table = TalvorFilePaths::TalvorLoadLocationFile();
        records = table ? table->size() : 0;
        benchmark::DoNotOptimize(table);
    }
    state.counters["records"] = static_cast<double>(records);
    state.counters["peak_rss_MiB"] = peakRssMiB();
}
BENCHMARK(BM_LoadBundledTable)->Unit(benchmark::kMillisecond);

// The bundled table read from its property list, as when its compiled copy is missing or
// older: what the compiled copy saves.
void BM_ParseBundledPropertyList(benchmark::State& state) {
    QFile file(TalvorFilePaths::defaultLocationsPath());
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    qsizetype records = 0;
    for (auto _ : state) {
        const auto value = talvor::platform::PropertyList::parse(bytes);
        records = value ? value->toList().size() : 0;
        benchmark::DoNotOptimize(value);
    }
    state.counters["records"] = static_cast<double>(records);
}
BENCHMARK(BM_ParseBundledPropertyList)->Unit(benchmark::kMillisecond);

void BM_MergeNetCache(benchmark::State& state) {
    writeNetCache(state.range(0));
    const LocationTable bundled = bundledTable();
    qsizetype merged = 0;
    for (auto _ : state) {
        LocationTable table = bundled;
        TalvorFilePaths::mergeNetLocation(table);
        merged = table.size() - bundled.size();
        benchmark::DoNotOptimize(table);
    }
    TalvorFilePaths::TalvorRemoveNetLocation();
    state.counters["table"] = static_cast<double>(bundled.size());
    state.counters["added"] = static_cast<double>(merged);
    state.counters["peak_rss_MiB"] = peakRssMiB();
}
BENCHMARK(BM_MergeNetCache)->Arg(100)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_SaveTable(benchmark::State& state) {
    LocationTable table = bundledTable();
    for (int i = 0; i < 100; ++i) {
        table.append(QVariant(
            talvor::LocationRecord::asNetRecord({QString(), QStringLiteral("Net %1").arg(i)})));
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(TalvorFilePaths::TalvorSaveLocationTable(table));
    }
    state.counters["peak_rss_MiB"] = peakRssMiB();
}
BENCHMARK(BM_SaveTable)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return talvor::bench::runInTemporaryHome(argc, argv);
}
