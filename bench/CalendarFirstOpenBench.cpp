// The first open of the two calendar windows from the menu-bar date item, over calendars that
// hold no event and over calendars of 10,000 event files, side by side, with the ratios at the
// end (the aim: a first open within 1.5x of the empty one).
//
// An open is what the date item's click runs: StatusItemsController::showCal, the delegate's
// CalendarWindows::showCal, which makes the chosen shared controller (the mini calendar,
// MinnowCalendarController, or the big one, ztCalendarController, after
// "SelectedMenuCalendar"; the big one's open makes the mini one too, to hide it) and shows
// its window under the date item, over the store that installUserCalendars puts in place (a
// new VdirCalendarStore on the folder, access granted). Offscreen, on a fake clock (4 March
// 2025, Berlin) and fake screens. Cases: mini; big as a first start shows it, its events part
// hidden (it then reads no events itself); big_list, the part shown with today's events.
//
// Time: from the click until the window's first frame has been painted and flushed, with
// whatever the store had read by then; a big folder goes on loading in the background and
// is not part of it. The counter whole_month_ms is the time from the same click until the
// last frame drawn once everything is read (the store's waitUntilLoaded, then the reloads its
// `changed` brings, until the window draws nothing more for 300 ms). shown_first and
// shown_whole: the days with events in the mini calendar's month, or the events listed for
// today under the big one, at those two frames; expected: the same read again once all is in.
//
// Each open runs in a process of its own (this program started again with --open): the
// program opens a calendar for the first time once per process, and the fonts, style, ICU
// calendars and zone rules a first open loads would make a second open in one process a warm
// one. The folders are made once, before any timing (so their files are in the page cache).
// The store's loading threads share the cores with the window's: pin the run (taskset) to
// say how many. Reports times; never fails.
#include "calendar/AppleCal.h"
#include "calendar/VdirCalendarStore.h"
#include "calendarui/CalMonthView.h"
#include "calendarui/CalWindow.h"
#include "calendarui/MinnowCalendarController.h"
#include "calendarui/ztCalendarController.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/CalendarStore.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Menu.h"
#include "platform/StatusBar.h"
#include "platform/UserDefaults.h"
#include "shell/CalendarWindows.h"
#include "shell/StatusItemsController.h"
#include "support/FakeClock.h"
#include "support/FakeScreens.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include "EventFolder.h"

#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace talvor;
using Steady = std::chrono::steady_clock;

constexpr int kFiles = 10000;
constexpr int kOpensPerCase = 5;
const QRectF kDateItem(800, 0, 90, 24);

double msSince(Steady::time_point start) {
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

// --- One open, in a process of its own -----------------------------------------------------

// The application delegate's side of the date item: its click opens the calendars.
class DateItemOwner : public StatusItemsDelegate {
  public:
    std::shared_ptr<platform::Menu> timeMenu() override { return menu_; }
    void setLastDay(qint64) override {}
    void setupASMMenu() override {}
    void updateTimeDate() override {}
    void moonUpdate() override {}
    void showCal() override { windows->showCal(); }
    QString timeItemText(Date) override { return QStringLiteral("15:40"); }
    QString dateItemText(Date) override { return QStringLiteral("Tue 4 Mar"); }

    CalendarWindows* windows = nullptr;

  private:
    std::shared_ptr<platform::Menu> menu_ = platform::Menu::create(QStringLiteral("Time"));
};

class NoMoon : public ztCalendarMenuExtra {
  public:
    QImage mooonImage(Date) override { return QImage(); }
    QString addNextMoons(const std::optional<QString>&, Date) override { return QString(); }
    void showMenubarCalendarPrefs() override {}
};

// The frames a window paints (itself or any widget in it), each stamped once the event that
// painted it (an expose or an update request) has been handled: its backing store is flushed
// by then, the frame on its way to the screen. A paint of another window before the
// calendar's is known is counted apart.
class FrameStamps : public QObject {
  public:
    explicit FrameStamps(Steady::time_point start) : start_(start) {
        qApp->installEventFilter(this);
    }
    void watch(QWidget* window) { window_ = window; }
    // The application's word that an event, and all it sent in turn, has been handled.
    void delivered() {
        if (painted_) {
            painted_ = false;
            ms.push_back(msSince(start_));
            if (onFrame) {
                onFrame();
            }
        }
    }

    std::function<void()> onFrame;
    std::vector<double> ms;  // since the click
    int strayPaints = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType()) {
            QWidget* window = static_cast<QWidget*>(watched)->window();
            if (window_ != nullptr && window == window_) {
                painted_ = true;
            } else if (window->isVisible()) {
                ++strayPaints;
            }
        }
        return false;
    }

  private:
    Steady::time_point start_;
    QWidget* window_ = nullptr;
    bool painted_ = false;
};

// Tells the frame stamps when an event that came from the loop has been handled whole.
class StampingApplication : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        ++depth_;
        const bool handled = QApplication::notify(receiver, event);
        if (--depth_ == 0 && frames != nullptr) {
            frames->delivered();
        }
        return handled;
    }
    FrameStamps* frames = nullptr;

  private:
    int depth_ = 0;
};

// What the window shows of the events: the mini calendar's days with events, or the big
// calendar's events listed for the picked day (today).
int shownEvents(bool big) {
    if (big) {
        const QStringList rows = ztCalendarController::sharedInstance().listedItems();
        return rows == QStringList{QStringLiteral("No events")} ? 0 : static_cast<int>(rows.size());
    }
    int days = 0;
    for (const CalMonthView* view :
         MinnowCalendarController::sharedInstance().calWindow()->monthViews()) {
        days += static_cast<int>(view->currMonth()->allEventDays().size());
    }
    return days;
}

// The same once everything is read, asked of the back end again.
int expectedEvents(bool big) {
    if (big) {
        ztCalendarController::sharedInstance().reloadList();
    } else {
        for (const CalMonthView* view :
             MinnowCalendarController::sharedInstance().calWindow()->monthViews()) {
            AppleCal::sharedInterface().loadEventsInBatch(view->currMonth());
        }
    }
    return shownEvents(big);
}

// Runs the event loop until the window's first frame, or fails after a minute.
bool waitForFirstFrame(FrameStamps& frames) {
    if (frames.ms.empty()) {
        QEventLoop loop;
        frames.onFrame = [&loop] { loop.quit(); };
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        frames.onFrame = nullptr;
    }
    return !frames.ms.empty();
}

// Runs the event loop until the window has drawn nothing new for `quiet`.
void settle(FrameStamps& frames, std::chrono::milliseconds quiet) {
    QEventLoop loop;
    QTimer still;
    still.setSingleShot(true);
    QObject::connect(&still, &QTimer::timeout, &loop, &QEventLoop::quit);
    frames.onFrame = [&] { still.start(quiet); };
    still.start(quiet);
    loop.exec();
    frames.onFrame = nullptr;
}

// Opens the chosen calendar once over the calendars in `root`; prints the figures.
int openOnce(StampingApplication& app, const QString& which, const QString& root) {
    const bool big = which.startsWith(QLatin1String("big"));
    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    platform::UserDefaults defaults{domain.store()};
    platform::UserDefaults::setStandard(&defaults);
    test::FakeClock clock{Date::fromUnix(1741102830), QTimeZone("Europe/Berlin")};  // 4 Mar 2025
    platform::Clock::setShared(&clock);
    test::FakeScreens screens;
    platform::StatusBar bar;

    platform::CalendarStore::setAuthorizationStatus(defaults, platform::CalendarAccess::Authorized);
    defaults.setObject(QVariantList{root}, QStringLiteral("CalendarFolders"));
    if (big) {
        defaults.setObject(QStringLiteral("BigCal"), QStringLiteral("SelectedMenuCalendar"));
    }
    installUserCalendars(defaults);
    TalvorDateSettings& date = TalvorDateSettings::sharedInstance();
    date.showDateMenu = true;
    date.showDateInMenu = true;
    // A first start hides the big calendar's events part; "big-list" shows it.
    date.hideToDoEventSection = which != QLatin1String("big-list");
    DateItemOwner owner;
    StatusItemsController items{owner, TalvorTimeSettings::sharedInstance(), date, bar, defaults,
                                clock};
    items.updateMenuBarItems();
    items.TalvorDate()->setWindowFrame(kDateItem);
    NoMoon moon;
    CalendarWindows windows{items, moon, defaults, screens};
    owner.windows = &windows;

    const Steady::time_point click = Steady::now();
    FrameStamps frames(click);
    app.frames = &frames;
    items.showCal();
    QWidget* window = big ? ztCalendarController::sharedInstance().window()
                          : MinnowCalendarController::sharedInstance().window();
    frames.watch(window);
    const bool shown = window != nullptr && window->isVisible() && frames.strayPaints == 0;
    if (!shown || !waitForFirstFrame(frames)) {
        std::fprintf(stderr, "the %s calendar did not show its first frame\n", qPrintable(which));
        app.frames = nullptr;
        return 1;
    }
    const double firstMs = frames.ms.front();
    const int shownFirst = shownEvents(big);

    auto* store = qobject_cast<VdirCalendarStore*>(&platform::CalendarStore::shared());
    store->waitUntilLoaded();
    settle(frames, std::chrono::milliseconds(300));
    const double wholeMs = frames.ms.back();
    const int shownWhole = shownEvents(big);
    app.frames = nullptr;
    const int expected = expectedEvents(big);

    std::printf("%.3f %.3f %d %d %d\n", firstMs, wholeMs, shownFirst, shownWhole, expected);
    std::fflush(stdout);
    // The shared controllers are never destroyed; their windows must go before the
    // application object. Showing the big calendar makes the mini one too (to hide it).
    MinnowCalendarController::sharedInstance().releaseWindow();
    if (big) {
        ztCalendarController::sharedInstance().releaseWindow();
    }
    platform::Clock::setShared(nullptr);
    platform::UserDefaults::setStandard(nullptr);
    return 0;
}

// The offscreen platform's notices of what it cannot do (raise a window, ...) are no news.
QtMessageHandler gQtMessages = nullptr;
void dropPlatformNotices(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(QLatin1String("This plugin does not support")) ||
        text.contains(QLatin1String("XDG_RUNTIME_DIR"))) {
        return;
    }
    gQtMessages(type, context, text);
}

// --- The benchmarks: each open run as a process of this program -----------------------------

struct Folders {
    QTemporaryDir dir;
    QString empty = dir.path() + QStringLiteral("/empty");
    QString full = dir.path() + QStringLiteral("/full");
    Folders() {
        const QStringList calendars{QStringLiteral("work"), QStringLiteral("home"),
                                    QStringLiteral("sport"), QStringLiteral("family")};
        bench::makeEventFolders(empty, calendars, 0);
        bench::makeEventFolders(full, calendars, kFiles);
    }
};

Folders& folders() {
    static Folders f;
    return f;
}

struct Open {
    double firstMs = 0;
    double wholeMs = 0;
    int shownFirst = 0;
    int shownWhole = 0;
    int expected = 0;
};

std::optional<Open> openInProcess(const char* which, const QString& root) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--open"), QString::fromLatin1(which), root});
    if (!child.waitForFinished(120000) || child.exitCode() != 0) {
        return std::nullopt;
    }
    Open o;
    const QByteArray line = child.readAllStandardOutput();
    if (std::sscanf(line.constData(), "%lf %lf %d %d %d", &o.firstMs, &o.wholeMs, &o.shownFirst,
                    &o.shownWhole, &o.expected) != 5) {
        return std::nullopt;
    }
    return o;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The medians of each case, for the ratios printed at the end.
struct Medians {
    double firstMs = 0;
    double wholeMs = 0;
};
std::map<std::string, Medians>& medians() {
    static std::map<std::string, Medians> m;
    return m;
}

void firstOpen(benchmark::State& state, const char* which, bool full) {
    std::vector<double> first;
    std::vector<double> whole;
    Open last;
    for (auto _ : state) {
        const std::optional<Open> o = openInProcess(which, full ? folders().full : folders().empty);
        if (!o) {
            state.SkipWithError("the open failed");
            return;
        }
        state.SetIterationTime(o->firstMs / 1000);
        first.push_back(o->firstMs);
        whole.push_back(o->wholeMs);
        last = *o;
    }
    medians()[std::string(which) + (full ? "/full" : "/empty")] = {median(first), median(whole)};
    state.counters["first_frame_median_ms"] = median(first);
    state.counters["whole_month_ms"] = median(whole);
    state.counters["shown_first"] = last.shownFirst;
    state.counters["shown_whole"] = last.shownWhole;
    state.counters["expected"] = last.expected;
    state.counters["files"] = full ? kFiles : 0;
}
#define FIRST_OPEN(name, which, full)               \
    BENCHMARK_CAPTURE(firstOpen, name, which, full) \
        ->Iterations(kOpensPerCase)                 \
        ->UseManualTime()                           \
        ->Unit(benchmark::kMillisecond)
FIRST_OPEN(mini_empty, "mini", false);
FIRST_OPEN(mini_10000_files, "mini", true);
FIRST_OPEN(big_empty, "big", false);
FIRST_OPEN(big_10000_files, "big", true);
FIRST_OPEN(big_list_empty, "big-list", false);
FIRST_OPEN(big_list_10000_files, "big-list", true);

void printRatios() {
    for (const char* which : {"mini", "big", "big-list"}) {
        const auto empty = medians().find(std::string(which) + "/empty");
        const auto full = medians().find(std::string(which) + "/full");
        if (empty == medians().end() || full == medians().end() || empty->second.firstMs <= 0) {
            continue;
        }
        std::printf(
            "%s: %d files against none (medians): first frame %.0f / %.0f ms = "
            "%.2fx (aim: within 1.5x); whole month %.0f / %.0f ms = %.2fx\n",
            which, kFiles, full->second.firstMs, empty->second.firstMs,
            full->second.firstMs / empty->second.firstMs, full->second.wholeMs,
            empty->second.wholeMs, full->second.wholeMs / empty->second.wholeMs);
    }
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TZ", "Europe/Berlin");
    if (argc == 4 && std::string(argv[1]) == "--open") {
        // HOME and the XDG folders of its own: the store makes its default calendar there.
        const test::XdgSandbox sandbox;
        gQtMessages = qInstallMessageHandler(dropPlatformNotices);
        StampingApplication app(argc, argv);
        platform::setLogSink([](const QString&) {});
        return openOnce(app, QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    folders();  // the folders are made before the timing starts
    benchmark::RunSpecifiedBenchmarks();
    printRatios();
    benchmark::Shutdown();
    return 0;
}
