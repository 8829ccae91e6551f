#pragma once

// What the location benchmarks share: a temporary home with the bundled data, and the peak
// resident size.
#include "foundation/TalvorFilePaths.h"
#include "platform/Log.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace talvor::bench {

inline double peakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Runs the benchmarks chosen on the command line in a temporary home, the log and the beep
// silenced; the body of main().
inline int runInTemporaryHome(int argc, char** argv) {
    QTemporaryDir home;
    const QByteArray root = home.path().toUtf8();
    qputenv("HOME", root + "/home");
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_DATA_HOME", root + "/data");
    qputenv("XDG_CACHE_HOME", root + "/cache");
    if (qEnvironmentVariableIsEmpty("TALVOR_SYSTEM_DATA_DIR")) {
        qputenv("TALVOR_SYSTEM_DATA_DIR", TALVOR_BUILD_SHARE_DIR);
    }
    platform::setLogSink([](const QString&) {});
    platform::setBeepHandler([] {});
    TalvorFilePaths::vltGetUsersTalvorProSupportDir();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace talvor::bench
