// What the kit's start costs the application's start-up, which calls it first: making the
// kit host (its store read, the install identifier, the build's identity) on the first
// launch ever (the store is written and flushed) and on every later one, and the start of
// the kits with and without a configuration.
#include "kit/KitLog.h"
#include "kit/KitRegistry.h"
#include "kit/MainBundle.h"
#include "kit/Trellis.h"
#include "kit/WRKUserDefaults.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace talvor::kit;

struct Quiet {
    Quiet() {
        setLogSink([](std::string_view) {});
    }
    ~Quiet() { setLogSink({}); }
};

fs::path scratch() {
    return fs::temp_directory_path() / ("talvor-kit-bench-" + std::to_string(::getpid()));
}

std::shared_ptr<const MainBundle> bundle(bool configured) {
    PlistDictionary info{{"CFBundleIdentifier", "com.larkspindle.TalvorPro"}};
    if (configured) {
        info["Trellis"] = PlistDictionary{{"APIKey", "key"}, {"Kits", PlistArray{}}};
    }
    return std::make_shared<MainBundle>(info, scratch());
}

void BM_HostFirstLaunch(benchmark::State& state) {
    const Quiet quiet;
    KitRegistry registry;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(scratch());
        state.ResumeTiming();
        WRKUserDefaults store(scratch() / "store");
        Trellis host(bundle(true), store, registry);
        benchmark::DoNotOptimize(host.installID());
    }
    fs::remove_all(scratch());
}
BENCHMARK(BM_HostFirstLaunch)->Unit(benchmark::kMicrosecond);

void BM_HostLaterLaunch(benchmark::State& state) {
    const Quiet quiet;
    KitRegistry registry;
    fs::remove_all(scratch());
    {
        WRKUserDefaults store(scratch() / "store");
        Trellis first(bundle(true), store, registry);
    }
    for (auto _ : state) {
        WRKUserDefaults store(scratch() / "store");
        Trellis host(bundle(true), store, registry);
        benchmark::DoNotOptimize(host.installID());
    }
    fs::remove_all(scratch());
}
BENCHMARK(BM_HostLaterLaunch)->Unit(benchmark::kMicrosecond);

// `with` on a made host: the configuration checked, the kit list completed, the kits
// started (refused, for a stock build without a configuration).
void BM_StartKits(benchmark::State& state) {
    const Quiet quiet;
    const bool configured = state.range(0) != 0;
    KitRegistry registry;
    fs::remove_all(scratch());
    WRKUserDefaults store(scratch() / "store");
    for (auto _ : state) {
        state.PauseTiming();
        Trellis::setSharedSDK(std::make_unique<Trellis>(bundle(configured), store, registry));
        state.ResumeTiming();
        try {
            Trellis::with({});
        } catch (const TRLException&) {
        }
    }
    Trellis::setSharedSDK(nullptr);
    fs::remove_all(scratch());
}
BENCHMARK(BM_StartKits)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
