// A month of a calendar folder of 5,000 event files read and drawn as the mini calendar does:
// list the calendars, load the month's occurrences through the back end (every covered day
// filed), and paint the month window offscreen. Cold: a new store parses every file; warm:
// the files are unchanged and only re-checked. Reports times; never fails.
#include "calendar/AppleCal.h"
#include "calendar/CalMonth.h"
#include "calendar/VdirCalendarStore.h"
#include "calendarui/CalWindow.h"
#include "platform/Clock.h"
#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"
#include "support/FakeClock.h"

#include "EventFolder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimeZone>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

using namespace talvor;

constexpr int kFiles = 5000;

// Four calendars of a person's events.
QString makeFolder(QTemporaryDir& dir) {
    bench::makeEventFolders(dir.path(),
                            {QStringLiteral("work"), QStringLiteral("home"),
                             QStringLiteral("sport"), QStringLiteral("family")},
                            kFiles);
    return dir.path();
}

struct Setting {
    QTemporaryDir dir;
    QString root = makeFolder(dir);
    test::FakeClock clock{Date::fromUnix(1741102830), QTimeZone("Europe/Berlin")};  // 4 Mar 2025
    platform::MemoryPreferenceStore prefs{QStringLiteral("bench")};
    platform::UserDefaults defaults{prefs};
    Setting() { platform::Clock::setShared(&clock); }
    ~Setting() { platform::Clock::setShared(nullptr); }
};

Setting& setting() {
    static Setting s;
    return s;
}

// A new store reads a big folder in the background: the month is whole once it is read.
void readAll(VdirCalendarStore& store) {
    store.events(Date::fromUnix(0), Date::fromUnix(1), {});
    store.waitUntilLoaded();
}

// Loads March into a new month and paints it; returns the days with events.
int loadAndDraw(platform::CalendarStore& store) {
    AppleCal back(&store);
    CalMonthPtr march = CalMonth::initWithDate(setting().clock.now(), Calendar());
    back.loadEventsInBatch(march);
    CalWindow window(setting().defaults);
    Grid<CalMonthPtr> grid(1, 1);
    grid.setObject(march, 0, 0);
    window.setMonthGrid(grid);
    benchmark::DoNotOptimize(window.grab());
    return static_cast<int>(march->allEventDays().size());
}

void monthColdLoadAndDraw(benchmark::State& state) {
    int days = 0;
    for (auto _ : state) {
        VdirCalendarStore store({setting().root});
        readAll(store);
        days = loadAndDraw(store);
    }
    state.counters["days_with_events"] = days;
    state.counters["files"] = kFiles;
}
BENCHMARK(monthColdLoadAndDraw)->Unit(benchmark::kMillisecond);

void monthWarmLoadAndDraw(benchmark::State& state) {
    VdirCalendarStore store({setting().root});
    readAll(store);
    loadAndDraw(store);
    int days = 0;
    for (auto _ : state) {
        days = loadAndDraw(store);
    }
    state.counters["days_with_events"] = days;
}
BENCHMARK(monthWarmLoadAndDraw)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TZ", "Europe/Berlin");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    setting();  // the folder is made before the timing starts
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
