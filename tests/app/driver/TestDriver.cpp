// The application as the product starts it (the same start-up, from the same libraries),
// with one test action done in it once it runs: what the app tests need of the running
// program that no user can do from outside it (a crash on purpose, an exception from an
// event handler) or that they read back from its log (where windows open). Never installed.
//
//   talvor-test-driver <action> [--day=<n>] [--picture=<file>] [--day-view-rows=<n>]
//
// Actions: nothing, media-check, throw-from-event-handler, crash, time-menu-windows, mini-calendar,
// import-locations. Everything the driver reports is a log line starting with "test ".
#include "calendarui/CalWindow.h"
#include "calendarui/EditEventController.h"
#include "calendarui/MinnowCalendarController.h"
#include "platform/Log.h"
#include "platform/MediaBackend.h"
#include "platform/Menu.h"
#include "platform/MenuMirror.h"
#include "platform/NotificationCenter.h"
#include "platform/Paths.h"
#include "platform/Preferences.h"
#include "platform/SoundPlayer.h"
#include "platform/StatusBar.h"
#include "platform/StatusBarPanel.h"
#include "platform/TalvorException.h"
#include "platform/linux/LinuxSystemServices.h"
#include "shell/AppDelegate.h"
#include "shell/CalendarWindows.h"
#include "shell/ProgramStart.h"
#include "world/TalvorLocationWinCtrl.h"

#include <QApplication>
#include <QDirIterator>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace talvor {
namespace {

using platform::log;

// How often a condition is looked at again while the driver waits for it.
constexpr int kLookEveryMs = 50;

struct DriverOptions {
    QString action;
    std::optional<int> day = {};  // the mini calendar's day; else today
    QString picture = {};         // where the screen is saved at the end; empty: nowhere
    int dayViewRows = 0;          // the day view rows the mini calendar waits for
};

// Calls `then(true)` on the loop once `condition` holds, or `then(false)` after
// `patienceMs`; the condition is looked at every kLookEveryMs.
void waitUntil(QObject& context, std::function<bool()> condition, int patienceMs,
               std::function<void(bool met)> then) {
    if (condition()) {
        QTimer::singleShot(0, &context, [then] { then(true); });
        return;
    }
    if (patienceMs <= 0) {
        then(false);
        return;
    }
    QTimer::singleShot(
        kLookEveryMs, &context,
        [&context, condition = std::move(condition), patienceMs, then = std::move(then)]() mutable {
            waitUntil(context, std::move(condition), patienceMs - kLookEveryMs, std::move(then));
        });
}

// Runs `step` on the loop once every step of the start-up has run.
void whenLaunched(AppDelegate& delegate, std::function<void()> step) {
    if (delegate.hasFinishedLaunching()) {
        QTimer::singleShot(0, &delegate, std::move(step));
        return;
    }
    QObject::connect(&delegate, &AppDelegate::launchFinished, &delegate, std::move(step),
                     Qt::SingleShotConnection);
}

void savePicture(const QString& path) {
    if (!path.isEmpty() && QGuiApplication::primaryScreen() != nullptr) {
        QGuiApplication::primaryScreen()->grabWindow(0).save(path);
    }
}

void logFrame(const QString& what, const QRect& f) {
    log(QStringLiteral("test %1 %2 %3 %4 %5")
            .arg(what)
            .arg(f.x())
            .arg(f.y())
            .arg(f.width())
            .arg(f.height()));
}

bool isExposed(const QWidget& w) {
    return w.isVisible() && w.windowHandle() != nullptr && w.windowHandle()->isExposed();
}

// Our windows a user can see, but for the strip.
QList<QWidget*> shownWindows() {
    QList<QWidget*> shown;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = w->windowType();
        if (w->isVisible() && type != Qt::ToolTip && type != Qt::Popup &&
            w->windowTitle() != QLatin1String("Talvor menu bar")) {
            shown.append(w);
        }
    }
    return shown;
}

// --- Escape in every window -------------------------------------------------------------

using ShownWindows = std::vector<std::pair<QPointer<QWidget>, QString>>;

bool stillShown(const std::pair<QPointer<QWidget>, QString>& shown) {
    return shown.first && shownWindows().contains(shown.first.data());
}

// Presses Escape in the window `windows[next]` as a user would, in the control that has the
// keyboard, waits up to 5 s for it to go and logs "test escape <title> closed" or "... still
// open"; then the next. One at a time, as a user goes: closing a window moves the focus.
void escapeWindows(QObject& context, const std::shared_ptr<ShownWindows>& windows,
                   std::size_t next) {
    if (next >= windows->size()) {
        log(QStringLiteral("test steps done"));
        return;
    }
    const auto& shown = (*windows)[next];
    if (stillShown(shown)) {
        QWidget* w = shown.first;
        QPointer<QWidget> target = w->focusWidget() != nullptr ? w->focusWidget() : w;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        if (target) {
            QApplication::sendEvent(target, &release);
        }
    }
    waitUntil(
        context, [windows, next] { return !stillShown((*windows)[next]); }, 5000,
        [&context, windows, next](bool closed) {
            log(QStringLiteral("test escape '%1' %2")
                    .arg((*windows)[next].second,
                         closed ? QStringLiteral("closed") : QStringLiteral("still open")));
            escapeWindows(context, windows, next + 1);
        });
}

// Presses Escape in every window shown, the last opened first.
void escapeEveryWindow(QObject& context) {
    auto windows = std::make_shared<ShownWindows>();
    for (QWidget* w : shownWindows()) {
        windows->emplace_back(w, w->windowTitle());
    }
    std::reverse(windows->begin(), windows->end());
    escapeWindows(context, windows, 0);
}

// --- time-menu-windows ------------------------------------------------------------------

// The items of a menu and its submenus that open one of our windows: titles ending in an
// ellipsis, but for the manual (a browser's window).
std::vector<std::pair<platform::Menu*, int>> windowItems(platform::Menu& menu) {
    std::vector<std::pair<platform::Menu*, int>> found;
    for (int i = 0; i < menu.numberOfItems(); ++i) {
        const platform::MenuItem& item = *menu.itemAtIndex(i);
        if (item.hasSubmenu()) {
            const auto inner = windowItems(*item.submenu());
            found.insert(found.end(), inner.begin(), inner.end());
        } else if ((item.title().endsWith(QLatin1String("...")) ||
                    item.title().endsWith(QChar(u'\u2026'))) &&
                   item.title() != QLatin1String("Help/Manual...") &&
                   menu.isItemShownEnabled(item)) {
            found.emplace_back(&menu, i);
        }
    }
    return found;
}

// Every shown window exposed, each where it was at the last look: the windows have settled.
class SettledWindows {
  public:
    bool operator()() {
        std::map<QWidget*, QRect> frames;
        for (QWidget* w : shownWindows()) {
            if (!isExposed(*w)) {
                return false;
            }
            frames[w] = w->frameGeometry();
        }
        const bool same = frames == last_;
        last_ = std::move(frames);
        return same;
    }

  private:
    std::map<QWidget*, QRect> last_;
};

void logWindows() {
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = w->windowType();
        if (w->isVisible() && type != Qt::ToolTip && type != Qt::Popup) {
            logFrame(QStringLiteral("window '%1'").arg(w->windowTitle()), w->frameGeometry());
        }
    }
}

// Chooses every window item of the time menu in turn; once the windows have settled after
// each, logs the place of every window shown ("test window <title> x y w h"); at the end
// saves the picture and presses Escape in every window.
void chooseTimeMenuWindows(AppDelegate& delegate, const QString& picture, std::size_t step) {
    const auto items = windowItems(*delegate.timeMenu());
    if (step >= items.size()) {
        savePicture(picture);
        escapeEveryWindow(delegate);
        return;
    }
    const auto [menu, index] = items[step];
    log(QStringLiteral("test choosing %1").arg(menu->itemAtIndex(index)->title()));
    const QList<QWidget*> before = shownWindows();
    menu->performActionForItemAtIndex(index);
    // An item whose window was open already shows no new one.
    const auto opened = [before] {
        const QList<QWidget*> now = shownWindows();
        return std::any_of(now.cbegin(), now.cend(),
                           [&](QWidget* w) { return !before.contains(w); });
    };
    waitUntil(
        delegate,
        [opened, settled = std::make_shared<SettledWindows>()] { return opened() && (*settled)(); },
        3000,
        [&delegate, picture, step](bool) {
            logWindows();
            chooseTimeMenuWindows(delegate, picture, step + 1);
        });
}

// --- mini-calendar ----------------------------------------------------------------------

// Opens the mini calendar from the date item and shows a day of its first month; once the
// day view shows the rows asked for, logs the date item's and the calendar's frames and the
// rows of the day view, and saves the picture.
void showMiniCalendarDay(AppDelegate& delegate, const DriverOptions& options) {
    delegate.calendars().showCal();
    const auto calWindow = [] { return MinnowCalendarController::sharedInstance().calWindow(); };
    waitUntil(
        delegate,
        [calWindow] {
            const CalWindow* window = calWindow();
            return window != nullptr && isExposed(*window) && !window->monthViews().empty();
        },
        20000,
        [&delegate, options, calWindow](bool) {
            CalWindow* window = calWindow();
            if (window != nullptr && !window->monthViews().empty()) {
                const CalMonthPtr month = window->monthViews().front()->currMonth();
                platform::NotificationCenter::defaultCenter().post(
                    QStringLiteral("DaySelectedNotitifcation"), platform::senderObject(month.get()),
                    {{QStringLiteral("SelectedDay"), options.day.value_or(month->dayOfToday())}});
            }
            const auto rows = [window = QPointer<CalWindow>(window)]() -> int {
                return window && window->isDayViewShown()
                           ? static_cast<int>(window->editEventController()->eventViews().size())
                           : -1;
            };
            waitUntil(
                delegate, [rows, wanted = options.dayViewRows] { return rows() >= wanted; }, 20000,
                [&delegate, options, window = QPointer<CalWindow>(window), rows](bool) {
                    logFrame(QStringLiteral("date item"),
                             delegate.calendars().dateStatusItemRect().toRect());
                    if (window) {
                        // Drawn now, with the events the day view shows.
                        window->repaint();
                        logFrame(QStringLiteral("mini calendar"), window->frameGeometry());
                        log(QStringLiteral("test day view rows %1").arg(std::max(rows(), 0)));
                    }
                    savePicture(options.picture);
                    log(QStringLiteral("test steps done"));
                });
        });
}

// --- time-menu --------------------------------------------------------------------------

platform::StatusBarPanel* shownStrip() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowTitle() == QLatin1String("Talvor menu bar") && isExposed(*w)) {
            return qobject_cast<platform::StatusBarPanel*>(w);
        }
    }
    return nullptr;
}

// Logs where the status items show: "test items in the desktop panel", or the strip's frame;
// on the strip, opens the time menu as a press on the time does and logs "test time menu
// shown, N entries" once the menu is on the screen.
void openTheTimeMenu(AppDelegate& delegate) {
    if (delegate.desktopPanelItems() != nullptr) {
        log(QStringLiteral("test items in the desktop panel"));
        return;
    }
    waitUntil(
        delegate, [] { return shownStrip() != nullptr; }, 30000,
        [&delegate](bool shown) {
            platform::StatusBarPanel* strip = shownStrip();
            if (!shown || strip == nullptr) {
                log(QStringLiteral("test no status items shown"));
                return;
            }
            logFrame(QStringLiteral("strip 'Talvor menu bar'"), strip->frameGeometry());
            const std::shared_ptr<platform::Menu> menu = delegate.timeMenu();
            for (const auto& item : platform::StatusBar::systemStatusBar().statusItems()) {
                if (item->menu() == menu) {
                    item->popUpStatusItemMenu(menu);
                }
            }
            const auto openMenu = [strip = QPointer<platform::StatusBarPanel>(strip)]() -> QMenu* {
                platform::MenuMirror* open = strip ? strip->openMenuMirror() : nullptr;
                QMenu* shownMenu = open != nullptr ? open->menu() : nullptr;
                return shownMenu != nullptr && shownMenu->windowHandle() != nullptr &&
                               shownMenu->windowHandle()->isExposed()
                           ? shownMenu
                           : nullptr;
            };
            waitUntil(
                delegate, [openMenu] { return openMenu() != nullptr; }, 10000,
                [openMenu](bool) {
                    const QMenu* shownMenu = openMenu();
                    log(shownMenu != nullptr ? QStringLiteral("test time menu shown, %1 entries")
                                                   .arg(shownMenu->actions().size())
                                             : QStringLiteral("test time menu not shown"));
                });
        });
}

// --- media-check ------------------------------------------------------------------------

// Logs what the program loads its sounds with and from: the media module and a bundled
// sound read through it.
void checkMedia() {
    log(QStringLiteral("test data folder %1").arg(platform::Paths::systemDataDir()));
    log(platform::mediaBackend() != nullptr ? QStringLiteral("test media module loaded")
                                            : QStringLiteral("test media module missing"));
    QDirIterator sounds(platform::Paths::systemDataDir() + QStringLiteral("/UserSounds"),
                        {QStringLiteral("*.ogg")}, QDir::Files, QDirIterator::Subdirectories);
    if (!sounds.hasNext()) {
        log(QStringLiteral("test no bundled sound"));
        return;
    }
    const QString path = sounds.next();
    auto sound = platform::SoundSystem::shared().soundWithContentsOfFile(path);
    if (sound == nullptr) {
        log(QStringLiteral("test sound %1 unreadable").arg(path));
        return;
    }
    sound->whenLoaded([sound, path] {
        log(QStringLiteral("test sound %1 lasts %2 s").arg(path).arg(sound->duration()));
    });
}

// --- crash, throw-from-event-handler ----------------------------------------------------

// A store through a null pointer the compiler cannot see through: a fatal signal in a frame
// of its own, which a report of the crash names.
[[gnu::noinline]] void crashFromTestAction() {
    int* volatile nowhere = nullptr;
    int* target = nowhere;
    asm volatile("" : "+r"(target));
    *reinterpret_cast<volatile int*>(target) = 1;
}

// An event handler that fails the way our own code does.
[[noreturn, gnu::noinline]] void throwFromEventHandler() {
    throw TalvorException("test exception from an event handler");
}

// ----------------------------------------------------------------------------------------

using Action = std::function<void(AppDelegate&, const DriverOptions&)>;

const std::map<QString, Action>& actions() {
    static const std::map<QString, Action> table = {
        {QStringLiteral("media-check"),
         [](AppDelegate& delegate, const DriverOptions&) {
             QTimer::singleShot(0, &delegate, [] { checkMedia(); });
         }},
        {QStringLiteral("throw-from-event-handler"),
         [](AppDelegate& delegate, const DriverOptions&) {
             QTimer::singleShot(0, &delegate, [] { throwFromEventHandler(); });
             // Queued behind the throw: runs only if the program went on.
             QTimer::singleShot(0, &delegate, [] {
                 log(QStringLiteral("test still running after the exception"));
             });
         }},
        {QStringLiteral("crash"),
         [](AppDelegate& delegate, const DriverOptions&) {
             whenLaunched(delegate, [] {
                 log(QStringLiteral("crashing as asked"));
                 crashFromTestAction();
             });
         }},
        {QStringLiteral("time-menu-windows"),
         [](AppDelegate& delegate, const DriverOptions& options) {
             // The windows opened elsewhere first: the stopwatch (its hot key) and the mini
             // calendar (the date item).
             whenLaunched(delegate, [&delegate, picture = options.picture] {
                 delegate.orderStopWatch();
                 delegate.calendars().showCal();
                 chooseTimeMenuWindows(delegate, picture, 0);
             });
         }},
        {QStringLiteral("time-menu"),
         [](AppDelegate& delegate, const DriverOptions&) {
             whenLaunched(delegate, [&delegate] { openTheTimeMenu(delegate); });
         }},
        {QStringLiteral("mini-calendar"),
         [](AppDelegate& delegate, const DriverOptions& options) {
             whenLaunched(delegate,
                          [&delegate, options] { showMiniCalendarDay(delegate, options); });
         }},
        // Writes held again after the start, as they are before the strip's first frame: a
        // quit then meets them held on any machine, however fast its first frame comes.
        {QStringLiteral("hold-writes"),
         [](AppDelegate& delegate, const DriverOptions&) {
             whenLaunched(delegate, [] {
                 platform::Preferences::holdWrites();
                 log(QStringLiteral("test writes held"));
             });
         }},
        // The program as it is, from the driver's file: for a run after one of the driver's.
        {QStringLiteral("nothing"), [](AppDelegate&, const DriverOptions&) {}},
        {QStringLiteral("import-locations"),
         [](AppDelegate& delegate, const DriverOptions&) {
             QTimer::singleShot(0, &delegate, [&delegate] {
                 delegate.actEditLocationSelection();                        // "Edit Locations..."
                 TalvorLocationWinCtrl::sharedInstance().importLocations();  // its "Import..."
             });
         }},
    };
    return table;
}

// The driver's own command line; nullopt (said on stderr) when it is not understood.
std::optional<DriverOptions> parse(int argc, char* argv[]) {
    if (argc < 2 || actions().count(QString::fromLocal8Bit(argv[1])) == 0) {
        std::fputs(
            "usage: talvor-test-driver <action> [--day=<n>] [--picture=<file>] "
            "[--day-view-rows=<n>]\nactions:",
            stderr);
        for (const auto& entry : actions()) {
            std::fprintf(stderr, " %s", qPrintable(entry.first));
        }
        std::fputc('\n', stderr);
        return std::nullopt;
    }
    DriverOptions options{.action = QString::fromLocal8Bit(argv[1])};
    for (int i = 2; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const QString value = arg.section(QLatin1Char('='), 1);
        bool number = true;
        if (arg.startsWith(QLatin1String("--day="))) {
            options.day = value.toInt(&number);
        } else if (arg.startsWith(QLatin1String("--day-view-rows="))) {
            options.dayViewRows = value.toInt(&number);
        } else if (arg.startsWith(QLatin1String("--picture="))) {
            options.picture = value;
        } else {
            number = false;
        }
        if (!number) {
            std::fprintf(stderr, "talvor-test-driver: cannot use %s\n", argv[i]);
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace
}  // namespace talvor

int main(int argc, char* argv[]) {
    const std::optional<talvor::DriverOptions> options = talvor::parse(argc, argv);
    if (!options) {
        return 2;
    }
    // The product sees a plain start: no options of its own.
    return talvor::runTalvor(1, argv,
                             {.version = QStringLiteral(TALVOR_VERSION),
                              .services = talvor::platform::linuxSystemServices(),
                              .launched = [options](talvor::AppDelegate& delegate) {
                                  // Said for every action: the program now hears everything it
                                  // listens for.
                                  talvor::whenLaunched(delegate, [] {
                                      talvor::platform::log(QStringLiteral("test launch finished"));
                                  });
                                  talvor::actions().at(options->action)(delegate, *options);
                              }});
}
