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

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimeZone>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>

namespace {

using namespace talvor;

constexpr int kFiles = 5000;

// Four calendars; mostly single meetings over two years, weekly series, multi-day all-day
// events, in a named zone and UTC.
QString makeFolder(QTemporaryDir& dir) {
    std::mt19937 random(20250301);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const char* calendars[] = {"work", "home", "sport", "family"};
    for (const char* c : calendars) {
        QDir(dir.path()).mkpath(QLatin1String(c));
        QFile name(dir.filePath(QStringLiteral("%1/displayname").arg(QLatin1String(c))));
        name.open(QIODevice::WriteOnly);
        name.write(c);
    }
    char body[512];
    for (int i = 0; i < kFiles; ++i) {
        const int kind = pick(100);
        const int year = 2024 + pick(2);
        const int month = 1 + pick(12);
        const int day = 1 + pick(28);
        const int hour = 7 + pick(11);
        if (kind < 80) {
            std::snprintf(body, sizeof body,
                          "DTSTART;TZID=Europe/Berlin:%04d%02d%02dT%02d0000\r\n"
                          "DTEND;TZID=Europe/Berlin:%04d%02d%02dT%02d3000\r\n",
                          year, month, day, hour, year, month, day, hour);
        } else if (kind < 95) {
            std::snprintf(body, sizeof body,
                          "DTSTART:%04d%02d%02dT%02d0000Z\r\nDURATION:PT45M\r\n"
                          "RRULE:FREQ=WEEKLY;COUNT=%d\r\n",
                          year, month, day, hour, 10 + pick(80));
        } else {
            std::snprintf(body, sizeof body, "DTSTART;VALUE=DATE:%04d%02d%02d\r\nDURATION:P%dD\r\n",
                          year, month, day, 1 + pick(5));
        }
        QFile file(dir.filePath(
            QStringLiteral("%1/event-%2.ics").arg(QLatin1String(calendars[pick(4)])).arg(i)));
        file.open(QIODevice::WriteOnly);
        file.write(QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\n"
                                  "BEGIN:VEVENT\r\nUID:event-%1\r\nSUMMARY:Event %1\r\n")
                       .arg(i)
                       .toUtf8() +
                   body + "END:VEVENT\r\nEND:VCALENDAR\r\n");
    }
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
        days = loadAndDraw(store);
    }
    state.counters["days_with_events"] = days;
    state.counters["files"] = kFiles;
}
BENCHMARK(monthColdLoadAndDraw)->Unit(benchmark::kMillisecond);

void monthWarmLoadAndDraw(benchmark::State& state) {
    VdirCalendarStore store({setting().root});
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
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
