// Reading an exported list of locations under the window's own limits (100,000 rows): the
// binary and the XML form of the same rows, and the refusal of a list one row too long.
#include "LocationsSandbox.h"
#include "platform/PropertyList.h"
#include "support/BinaryPlistBytes.h"
#include "world/LocationTransfer.h"

#include <QFile>

#include <benchmark/benchmark.h>

namespace {

namespace LocationTransfer = talvor::LocationTransfer;
namespace PropertyList = talvor::platform::PropertyList;

// Made once per process in the temporary home, outside the measured loop: the binary list
// byte by byte, the XML one written from it by the program's own writer.
QString listFile(qsizetype rows, PropertyList::Format format) {
    const QString path = QStringLiteral("%1/list-%2.%3")
                             .arg(qEnvironmentVariable("XDG_DATA_HOME"))
                             .arg(rows)
                             .arg(format == PropertyList::Format::Xml ? "xml" : "bin");
    if (QFile::exists(path)) {
        return path;
    }
    QByteArray bytes = talvor::test::binaryLocationRows(rows);
    if (format == PropertyList::Format::Xml) {
        const std::optional<QVariant> rowList = PropertyList::parse(bytes);
        bytes = rowList ? PropertyList::serialize(*rowList, format).value_or(QByteArray())
                        : QByteArray();
    }
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(bytes);
    }
    return path;
}

void readList(benchmark::State& state, PropertyList::Format format) {
    const QString path = listFile(state.range(0), format);
    qsizetype imported = 0;
    QString problem;
    for (auto _ : state) {
        const auto list = LocationTransfer::read(path, {}, &problem);
        imported = list ? list->records.size() : 0;
        benchmark::DoNotOptimize(list);
    }
    const bool beyondLimit = state.range(0) > LocationTransfer::Limits{}.maxRows;
    if (beyondLimit ? imported != 0 || problem.isEmpty() : imported != state.range(0)) {
        state.SkipWithError("the list was not read, or not refused, as its length asks");
    }
    state.counters["rows"] = static_cast<double>(state.range(0));
    state.counters["file_MiB"] = static_cast<double>(QFile(path).size()) / (1024.0 * 1024.0);
}

// 100,000 rows, the most one import takes; 100,001, refused.
void BM_ReadBinaryList(benchmark::State& state) {
    readList(state, PropertyList::Format::Binary);
}
BENCHMARK(BM_ReadBinaryList)->Arg(100'000)->Arg(100'001)->Unit(benchmark::kMillisecond);

void BM_ReadXmlList(benchmark::State& state) {
    readList(state, PropertyList::Format::Xml);
}
BENCHMARK(BM_ReadXmlList)->Arg(100'000)->Arg(100'001)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return talvor::bench::runInTemporaryHome(argc, argv);
}
