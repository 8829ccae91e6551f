// The crash record's thread section for a busy process: 50 threads, each 30 frames deep,
// stopped, walked through their call-frame tables and written (to /dev/null). Aimed at
// well under 100 ms, as the process waits on it while it dies.
#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "crash/WRKBinaryImage.h"
#include "crash/WRKFile.h"
#include "crash/WRKPlatform.h"
#include "crash/WRKProcess.h"

namespace {

using namespace talvor::crash;

std::atomic<bool> release{false};
std::atomic<int> parked{0};

__attribute__((noinline)) int deep(int depth) {
    if (depth == 0) {
        parked.fetch_add(1);
        while (!release.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return 0;
    }
    const int below = deep(depth - 1);
    asm volatile("" ::: "memory");
    return below + 1;
}

WRKSuspension suspension;

void BM_RecordFiftyThreadsThirtyFramesDeep(benchmark::State& state) {
    WRKPlatformInitialize();
    auto images = std::make_unique<WRKBinaryImageTable>();
    const auto file = std::filesystem::temp_directory_path() / "talvor-bench-images";
    {
        WRKBinaryImageTracker tracker(file.string(), images.get());
        tracker.start();
    }
    std::filesystem::remove(file);
    release = false;
    parked = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < 50; ++i) {
        threads.emplace_back([] { deep(30); });
    }
    while (parked.load() < 50) {
        std::this_thread::yield();
    }
    for (auto _ : state) {
        WRKProcess process;
        WRKProcessInit(&process, WRKCurrentThread(), nullptr);
        process.images = images.get();
        WRKSuspendOtherThreads(1000, &suspension);
        process.suspension = &suspension;
        WRKFile out;
        WRKFileInitWithPath(&out, "/dev/null", false);
        WRKProcessRecordAllThreads(&process, &out);
        WRKFileClose(&out);
        WRKResumeOtherThreads();
    }
    release = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
}
BENCHMARK(BM_RecordFiftyThreadsThirtyFramesDeep)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
