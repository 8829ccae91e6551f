// The application delegate's one-second tick, offscreen on the test fakes: 3,600 ticks (an
// hour) from the launched delegate's own timer, with seconds shown and hidden, the bar drawn
// again after every tick in which an item said it changed, as the panel does. Reports the
// time per tick, heap allocations per tick (C++ `new`, and every malloc: those include the
// `new`s and Qt's own containers) and bar redraws per tick.
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Log.h"
#include "platform/OffscreenStatusBar.h"
#include "platform/SharedInstance.h"
#include "shell/AppDelegate.h"
#include "shell/ShellTestSupport.h"
#include "shell/TalvorNSApplication.h"

#include <QDateTime>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

// Counting allocators, for this executable only. glibc lets a program replace malloc
// when it replaces the whole family; aligned allocations are left to glibc.
namespace {
std::atomic<std::uint64_t> gNews{0};
std::atomic<std::uint64_t> gMallocs{0};
}  // namespace

extern "C" {
void* __libc_malloc(std::size_t size) noexcept;
void* __libc_calloc(std::size_t count, std::size_t size) noexcept;
void* __libc_realloc(void* p, std::size_t size) noexcept;
void __libc_free(void* p) noexcept;

void* malloc(std::size_t size) noexcept {
    gMallocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
    gMallocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) noexcept {
    gMallocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
void free(void* p) noexcept {
    __libc_free(p);
}
}

void* operator new(std::size_t size) {
    gNews.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using talvor::Date;

// 2024-07-01 11:30:00 UTC: the hour ahead crosses the noon chime.
const Date kStart =
    Date::fromQDateTime(QDateTime(QDate(2024, 7, 1), QTime(11, 30, 0), QTimeZone::utc()));

// Stands in for the panel: the bar is drawn again after a tick in which an item changed.
class Presenter : public QObject {
  public:
    explicit Presenter(talvor::platform::StatusBar& bar) : offscreen_(bar) {
        for (const auto& item : bar.statusItems()) {
            watch(item.get());
        }
        connect(&bar, &talvor::platform::StatusBar::itemAdded, this,
                [this](talvor::platform::StatusItem* item) {
                    watch(item);
                    dirty_ = true;
                });
    }
    void present() {
        if (dirty_) {
            dirty_ = false;
            ++renders;
            benchmark::DoNotOptimize(offscreen_.render().constBits());
        }
    }
    std::uint64_t renders = 0;

  private:
    void watch(talvor::platform::StatusItem* item) {
        connect(item, &talvor::platform::StatusItem::changed, this, [this] { dirty_ = true; });
    }
    talvor::platform::OffscreenStatusBar offscreen_;
    bool dirty_ = true;
};

// The launched application on the fakes, shared by the runs: only the settings change
// between them, as when the user edits them.
struct Application {
    Application() : environment(kStart) { delegate.applicationDidFinishLaunching(); }
    talvor::test::ShellEnvironment environment;
    talvor::TalvorTimeSettings time;
    talvor::TalvorDateSettings date;
    talvor::SharedInstance<talvor::TalvorTimeSettings>::Override useTime{time};
    talvor::SharedInstance<talvor::TalvorDateSettings>::Override useDate{date};
    talvor::AppDelegate delegate{{.showPanel = false}};
    Presenter presenter{environment.bar_};
};
Application* gApp = nullptr;

// Args: seconds shown (0/1), analog clock icon (0/1).
void BM_Tick(benchmark::State& state) {
    Application& app = *gApp;
    app.time.timeFormat =
        state.range(0) != 0 ? QStringLiteral("hh:mm:ss a") : QStringLiteral("hh:mm a");
    app.time.showAnalogClockInMenu = state.range(1) != 0;
    app.time.writePrefs();
    // Settle on the new settings before counting.
    app.environment.scheduler_.advanceBy(1.0);
    app.presenter.present();

    const std::uint64_t news = gNews.load();
    const std::uint64_t mallocs = gMallocs.load();
    const std::uint64_t renders = app.presenter.renders;
    for (auto _ : state) {
        app.environment.scheduler_.advanceBy(1.0);
        app.presenter.present();
    }
    const auto perTick = benchmark::Counter::kAvgIterations;
    state.counters["new_per_tick"] = benchmark::Counter(double(gNews.load() - news), perTick);
    state.counters["mallocs_per_tick"] =
        benchmark::Counter(double(gMallocs.load() - mallocs), perTick);
    state.counters["redraws_per_tick"] =
        benchmark::Counter(double(app.presenter.renders - renders), perTick);
}
BENCHMARK(BM_Tick)
    ->ArgNames({"seconds", "icon"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Iterations(3600)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    talvor::TalvorNSApplication qtApp(argc, argv);
    talvor::platform::setLogSink([](const QString&) {});
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    {
        Application app;
        gApp = &app;
        benchmark::RunSpecifiedBenchmarks();
        app.delegate.applicationWillTerminate();
        gApp = nullptr;
    }
    benchmark::Shutdown();
    return 0;
}
