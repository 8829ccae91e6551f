// A 200 MB file part through the multipart encoder: streamed from the file (memory stays
// flat) against the same bytes handed over whole. Time, throughput and peak RSS; the peak
// is reset before each run where the kernel allows it (/proc/self/clear_refs), else run one
// benchmark per process (--benchmark_filter).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "PeakMemory.h"
#include "kit/OutputStream.h"
#include "kit/TRLMultipartMimeStreamEncoder.h"

namespace {

namespace fs = std::filesystem;
using talvor::bench::resetPeakRss;
using talvor::bench::statusMiB;
using talvor::kit::TRLMultipartMimeStreamEncoder;

constexpr std::uint64_t kFileBytes = 200ull * 1024 * 1024;

// Takes the body and keeps only its size, as a socket would.
class CountingStream final : public talvor::kit::OutputStream {
  public:
    bool open() override { return true; }
    std::ptrdiff_t write(const std::uint8_t*, std::size_t length) override {
        bytes += length;
        return static_cast<std::ptrdiff_t>(length);
    }
    void close() override {}
    std::uint64_t bytes = 0;
};

// A 200 MB file of varied bytes, made once per process and removed at its exit.
const fs::path& bigFile() {
    static const fs::path* path = [] {
        const fs::path p =
            fs::temp_directory_path() / ("talvor-multipart-bench-" + std::to_string(::getpid()));
        std::ofstream out(p, std::ios::binary);
        std::string block(1 << 20, '\0');
        for (std::size_t i = 0; i < block.size(); ++i) {
            block[i] = static_cast<char>(i * 131 ^ (i >> 7));
        }
        for (std::uint64_t written = 0; written < kFileBytes; written += block.size()) {
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
        std::atexit([] { fs::remove(bigFile()); });
        return new fs::path(p);  // never destroyed: the exit handler still needs it
    }();
    return *path;
}

void report(benchmark::State& state, std::uint64_t bodyBytes, double baselineMiB) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
    state.counters["body_MiB"] = static_cast<double>(bodyBytes) / (1024.0 * 1024.0);
    state.counters["peak_rss_MiB"] = statusMiB("VmHWM:");
    state.counters["peak_over_start_MiB"] = statusMiB("VmHWM:") - baselineMiB;
}

void BM_StreamedFilePart(benchmark::State& state) {
    const fs::path& file = bigFile();
    resetPeakRss();
    const double baseline = statusMiB("VmRSS:");
    std::uint64_t body = 0;
    for (auto _ : state) {
        auto stream = std::make_shared<CountingStream>();
        TRLMultipartMimeStreamEncoder encoder(stream, std::nullopt);
        encoder.encode([&](TRLMultipartMimeStreamEncoder& e) {
            e.addValue(std::optional<std::string>("key"), "api_key");
            e.addFile(file, "report.bin", std::string("application/octet-stream"), "file");
        });
        body = stream->bytes;
        benchmark::DoNotOptimize(body);
    }
    report(state, body, baseline);
}
BENCHMARK(BM_StreamedFilePart)->Unit(benchmark::kMillisecond)->Iterations(3);

// The peer: the file read whole, then encoded from memory.
void BM_WholeFileInMemory(benchmark::State& state) {
    const fs::path& file = bigFile();
    resetPeakRss();
    const double baseline = statusMiB("VmRSS:");
    std::uint64_t body = 0;
    for (auto _ : state) {
        std::string bytes(kFileBytes, '\0');
        std::ifstream(file, std::ios::binary)
            .read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        auto stream = std::make_shared<CountingStream>();
        TRLMultipartMimeStreamEncoder encoder(stream, std::nullopt);
        encoder.encode([&](TRLMultipartMimeStreamEncoder& e) {
            e.addValue(std::optional<std::string>("key"), "api_key");
            e.addFileData(bytes, "report.bin", std::string("application/octet-stream"), "file");
        });
        body = stream->bytes;
        benchmark::DoNotOptimize(body);
    }
    report(state, body, baseline);
}
BENCHMARK(BM_WholeFileInMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
