#include "calendarui/CalWindow.h"
#include "calendarui/EditEventController.h"
#include "calendarui/MinnowCalendarController.h"
#include "foundation/SystemTimeZone.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/MediaBackend.h"
#include "platform/Menu.h"
#include "platform/NotificationCenter.h"
#include "platform/Paths.h"
#include "platform/Preferences.h"
#include "platform/Scheduler.h"
#include "platform/SessionBus.h"
#include "platform/SingleInstance.h"
#include "platform/SoundPlayer.h"
#include "platform/TalvorException.h"
#include "platform/TerminationSignals.h"
#include "platform/UserDefaults.h"
#include "platform/linux/LinuxSystemServices.h"
#include "services/ProgramCopy.h"
#include "shell/AppDelegate.h"
#include "shell/CalendarWindows.h"
#include "shell/SettingsSaving.h"
#include "shell/TalvorNSApplication.h"
#include "world/TalvorLocationWinCtrl.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDirIterator>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

// Saves a picture of the primary screen once start-up has settled, for runs without a
// visible display.
void scheduleScreenshot(const QString& path) {
    QTimer::singleShot(1500, qApp, [path] {
        QScreen* screen = QGuiApplication::primaryScreen();
        if (screen == nullptr || !screen->grabWindow(0).save(path)) {
            talvor::platform::log(QStringLiteral("Could not save a screenshot to %1").arg(path));
            return;
        }
        talvor::platform::log(QStringLiteral("Screenshot saved to %1").arg(path));
    });
}

// The items of a menu and its submenus that open one of our windows: titles ending in an
// ellipsis, but for the manual (a browser's window).
std::vector<std::pair<talvor::platform::Menu*, int>> windowItems(talvor::platform::Menu& menu) {
    std::vector<std::pair<talvor::platform::Menu*, int>> found;
    for (int i = 0; i < menu.numberOfItems(); ++i) {
        const talvor::platform::MenuItem& item = *menu.itemAtIndex(i);
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

using ShownWindows = std::vector<std::pair<QPointer<QWidget>, QString>>;

bool stillShown(const std::pair<QPointer<QWidget>, QString>& shown) {
    return shown.first && shownWindows().contains(shown.first.data());
}

// Presses Escape in the window `windows[next]` as a user would, in the control that has the
// keyboard, waits up to 5 s for it to go and logs "test escape <title> closed" or "... still
// open"; then the next. One at a time, as a user goes: closing a window moves the focus.
void escapeWindows(QObject& context, const std::shared_ptr<ShownWindows>& windows, std::size_t next,
                   int looksLeft) {
    if (next >= windows->size()) {
        talvor::platform::log(QStringLiteral("test steps done"));
        return;
    }
    const auto& shown = (*windows)[next];
    if (looksLeft == 50 && stillShown(shown)) {
        QWidget* w = shown.first;
        QPointer<QWidget> target = w->focusWidget() != nullptr ? w->focusWidget() : w;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        if (target) {
            QApplication::sendEvent(target, &release);
        }
    }
    if (stillShown(shown) && looksLeft > 0) {
        QTimer::singleShot(100, &context, [&context, windows, next, looksLeft] {
            escapeWindows(context, windows, next, looksLeft - 1);
        });
        return;
    }
    talvor::platform::log(QStringLiteral("test escape '%1' %2")
                              .arg(shown.second, stillShown(shown) ? QStringLiteral("still open")
                                                                   : QStringLiteral("closed")));
    QTimer::singleShot(
        0, &context, [&context, windows, next] { escapeWindows(context, windows, next + 1, 50); });
}

// Presses Escape in every window shown, the last opened first.
void escapeEveryWindow(QObject& context) {
    auto windows = std::make_shared<ShownWindows>();
    for (QWidget* w : shownWindows()) {
        windows->emplace_back(w, w->windowTitle());
    }
    std::reverse(windows->begin(), windows->end());
    escapeWindows(context, windows, 0, 50);
}

// Chooses every window item of the time menu in turn; after each, logs the place of every
// window shown ("test window <title> x y w h"); at the end saves a picture of the screen
// to TALVOR_TEST_SCREENSHOT and presses Escape in every window.
void chooseTimeMenuWindows(talvor::AppDelegate& delegate, std::size_t step) {
    const auto items = windowItems(*delegate.timeMenu());
    if (step >= items.size()) {
        const QString shot = qEnvironmentVariable("TALVOR_TEST_SCREENSHOT");
        if (!shot.isEmpty() && QGuiApplication::primaryScreen() != nullptr) {
            QGuiApplication::primaryScreen()->grabWindow(0).save(shot);
        }
        escapeEveryWindow(delegate);
        return;
    }
    const auto [menu, index] = items[step];
    talvor::platform::log(
        QStringLiteral("test choosing %1").arg(menu->itemAtIndex(index)->title()));
    menu->performActionForItemAtIndex(index);
    QTimer::singleShot(700, qApp, [&delegate, step] {
        for (const QWidget* w : QApplication::topLevelWidgets()) {
            const Qt::WindowType type = w->windowType();
            if (w->isVisible() && type != Qt::ToolTip && type != Qt::Popup) {
                const QRect f = w->frameGeometry();
                talvor::platform::log(QStringLiteral("test window '%1' %2 %3 %4 %5")
                                          .arg(w->windowTitle())
                                          .arg(f.x())
                                          .arg(f.y())
                                          .arg(f.width())
                                          .arg(f.height()));
            }
        }
        chooseTimeMenuWindows(delegate, step + 1);
    });
}

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
    throw talvor::TalvorException("test exception from an event handler");
}

void logFrame(const QString& what, const QRect& f) {
    talvor::platform::log(QStringLiteral("test %1 %2 %3 %4 %5")
                              .arg(what)
                              .arg(f.x())
                              .arg(f.y())
                              .arg(f.width())
                              .arg(f.height()));
}

// Opens the mini calendar from the date item and shows the day TALVOR_TEST_DAY of its first
// month (else today); logs the date item's and the calendar's frames and the rows of the
// day view, and saves a picture of the screen to TALVOR_TEST_SCREENSHOT.
void showMiniCalendarDay(talvor::AppDelegate& delegate) {
    delegate.calendars().showCal();
    QTimer::singleShot(1000, &delegate, [&delegate] {
        talvor::CalWindow* window = talvor::MinnowCalendarController::sharedInstance().calWindow();
        if (window != nullptr && !window->monthViews().empty()) {
            const talvor::CalMonthPtr month = window->monthViews().front()->currMonth();
            const int day = qEnvironmentVariableIsSet("TALVOR_TEST_DAY")
                                ? qEnvironmentVariableIntValue("TALVOR_TEST_DAY")
                                : month->dayOfToday();
            talvor::platform::NotificationCenter::defaultCenter().post(
                QStringLiteral("DaySelectedNotitifcation"),
                talvor::platform::senderObject(month.get()),
                {{QStringLiteral("SelectedDay"), day}});
        }
        QTimer::singleShot(1000, &delegate, [&delegate, window] {
            logFrame(QStringLiteral("date item"),
                     delegate.calendars().dateStatusItemRect().toRect());
            if (window != nullptr) {
                logFrame(QStringLiteral("mini calendar"), window->frameGeometry());
                talvor::platform::log(
                    QStringLiteral("test day view rows %1")
                        .arg(window->isDayViewShown()
                                 ? window->editEventController()->eventViews().size()
                                 : 0));
            }
            const QString shot = qEnvironmentVariable("TALVOR_TEST_SCREENSHOT");
            if (!shot.isEmpty() && QGuiApplication::primaryScreen() != nullptr) {
                QGuiApplication::primaryScreen()->grabWindow(0).save(shot);
            }
            talvor::platform::log(QStringLiteral("test steps done"));
        });
    });
}

// Clicks the default button of the move offer once it shows.
void acceptMoveOffer(QObject& context) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box != nullptr && box->isVisible() &&
            box->text().startsWith(QLatin1String("Move to"))) {
            talvor::platform::log(QStringLiteral("test accepting the move offer"));
            box->defaultButton()->click();
            return;
        }
    }
    QTimer::singleShot(100, &context, [&context] { acceptMoveOffer(context); });
}

// Logs what the program loads its sounds with and from: the media module and a bundled
// sound read through it.
void checkMedia() {
    talvor::platform::log(
        QStringLiteral("test data folder %1").arg(talvor::platform::Paths::systemDataDir()));
    talvor::platform::log(talvor::platform::mediaBackend() != nullptr
                              ? QStringLiteral("test media module loaded")
                              : QStringLiteral("test media module missing"));
    QDirIterator sounds(talvor::platform::Paths::systemDataDir() + QStringLiteral("/UserSounds"),
                        {QStringLiteral("*.ogg")}, QDir::Files, QDirIterator::Subdirectories);
    if (!sounds.hasNext()) {
        talvor::platform::log(QStringLiteral("test no bundled sound"));
        return;
    }
    const QString path = sounds.next();
    auto sound = talvor::platform::SoundSystem::shared().soundWithContentsOfFile(path);
    if (sound == nullptr) {
        talvor::platform::log(QStringLiteral("test sound %1 unreadable").arg(path));
        return;
    }
    sound->whenLoaded([sound, path] {
        talvor::platform::log(
            QStringLiteral("test sound %1 lasts %2 s").arg(path).arg(sound->duration()));
    });
}

// Process tests reach a dialog as its user would; nothing else sets the variable.
void runTestAction(talvor::AppDelegate& delegate) {
    const QString action = qEnvironmentVariable("TALVOR_TEST_ACTION");
    if (action.isEmpty()) {
        return;
    }
    if (action == QLatin1String("accept-move-offer")) {
        QTimer::singleShot(0, &delegate, [&delegate] { acceptMoveOffer(delegate); });
        return;
    }
    if (action == QLatin1String("media-check")) {
        QTimer::singleShot(0, &delegate, [] { checkMedia(); });
        return;
    }
    if (action == QLatin1String("throw-from-event-handler")) {
        QTimer::singleShot(0, &delegate, [] { throwFromEventHandler(); });
        QTimer::singleShot(300, &delegate, [] {
            talvor::platform::log(QStringLiteral("test still running after the exception"));
        });
        return;
    }
    if (action == QLatin1String("crash")) {
        QTimer::singleShot(500, &delegate, [] {
            talvor::platform::log(QStringLiteral("crashing as asked"));
            crashFromTestAction();
        });
        return;
    }
    if (action == QLatin1String("time-menu-windows")) {
        // The windows opened elsewhere first: the stopwatch (its hot key) and the mini
        // calendar (the date item).
        QTimer::singleShot(1000, &delegate, [&delegate] {
            delegate.orderStopWatch();
            delegate.calendars().showCal();
            chooseTimeMenuWindows(delegate, 0);
        });
        return;
    }
    if (action == QLatin1String("mini-calendar")) {
        QTimer::singleShot(1000, &delegate, [&delegate] { showMiniCalendarDay(delegate); });
        return;
    }
    if (action != QLatin1String("import-locations")) {
        talvor::platform::log(QStringLiteral("Unknown TALVOR_TEST_ACTION %1").arg(action));
        return;
    }
    QTimer::singleShot(0, &delegate, [&delegate] {
        delegate.actEditLocationSelection();                                // "Edit Locations..."
        talvor::TalvorLocationWinCtrl::sharedInstance().importLocations();  // its "Import..."
    });
}

// The program's options; --help and --version are answered before any display is needed.
struct CommandLine {
    CommandLine() {
        parser.setApplicationDescription(QStringLiteral(
            "A clock, calendar and alarm utility that lives in a menu-bar strip: world clocks, "
            "floating clocks, alarms, timers, a stopwatch and month calendars."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(screenshot);
        parser.addOption(atLogin);
        parser.addOption(placedFiles);
        parser.addOption(uninstall);
    }
    static bool asksOnlyForText(int argc, char* argv[]) {
        for (int i = 1; i < argc; ++i) {
            const QByteArray arg(argv[i]);
            if (arg == "--") {
                return false;
            }
            if (arg == "-h" || arg == "--help" || arg == "-?" || arg == "--help-all" ||
                arg == "-v" || arg == "--version" || arg == "--placed-files" ||
                arg == "--uninstall") {
                return true;
            }
        }
        return false;
    }

    QCommandLineParser parser;
    const QCommandLineOption screenshot{
        QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of the screen to <file> after start-up."),
        QStringLiteral("file")};
    const QCommandLineOption atLogin{
        QStringLiteral("at-login"),
        QStringLiteral("Started by the desktop at login (the login item).")};
    const QCommandLineOption placedFiles{
        QStringLiteral("placed-files"),
        QStringLiteral("List the files this copy placed for the user: its autostart and menu "
                       "entries and, for a copy that moved itself, the copy.")};
    const QCommandLineOption uninstall{
        QStringLiteral("uninstall"),
        QStringLiteral("Remove the files --placed-files lists. The user's data and settings "
                       "stay.")};
};

// --placed-files and --uninstall: what this copy placed for the user, listed or removed.
int answerPlacedFiles(bool remove) {
    using talvor::platform::Paths;
    const QString program = QCoreApplication::applicationFilePath();
    const QString binFolder = Paths::homeDir() + QStringLiteral("/.local/bin");
    const QList<talvor::PlacedFile> placed = talvor::placedFiles(program, binFolder);
    QStringList lines;
    if (!remove) {
        for (const talvor::PlacedFile& file : placed) {
            lines << file.what + QStringLiteral(": ") + file.path;
        }
        if (placed.isEmpty()) {
            lines << QStringLiteral("Nothing: this copy placed no files for you.");
        }
    } else {
        lines << talvor::removePlacedFiles(placed);
        if (placed.isEmpty()) {
            lines << QStringLiteral("Nothing to remove: this copy placed no files for you.");
        }
        if (std::none_of(placed.cbegin(), placed.cend(), [](const talvor::PlacedFile& file) {
                return file.what == QLatin1String("program");
            })) {
            lines << QStringLiteral(
                "The program itself was installed by a package or by cmake --install: remove it "
                "with the package manager or with cmake --build <build folder> --target "
                "uninstall.");
        }
        lines << QStringLiteral(
                     "Your settings and data stay in %1, %2 and %3; remove those "
                     "folders to remove them too.")
                     .arg(Paths::configDir(), Paths::dataDir(), Paths::cacheDir());
    }
    std::fputs(qPrintable(lines.join(QLatin1Char('\n')) + QLatin1Char('\n')), stdout);
    const bool failed = std::any_of(lines.cbegin(), lines.cend(), [](const QString& line) {
        return line.startsWith(QLatin1String("Could not"));
    });
    return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    // The seams' real sides: the Linux adapters, in place before anything asks for one.
    talvor::platform::installSystemServices(talvor::platform::linuxSystemServices());
    // The bar repaints a few hundred pixels every second. Qt's shared-memory upload makes
    // each repaint wait for the X server first, a round trip that wakes two threads; a plain
    // upload of so little costs less. A value the user set is left alone.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) {
        qputenv("QT_XCB_NO_MITSHM", "1");
    }
    QCoreApplication::setApplicationName(QStringLiteral("Talvor Pro"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TALVOR_VERSION));
    QCoreApplication::setOrganizationDomain(QStringLiteral("larkspindle.com"));
    CommandLine options;
    if (options.asksOnlyForText(argc, argv)) {
        // Answered without a display: the GUI application would abort without one.
        QCoreApplication text(argc, argv);
        options.parser.process(text);
        if (options.parser.isSet(options.placedFiles) || options.parser.isSet(options.uninstall)) {
            return answerPlacedFiles(options.parser.isSet(options.uninstall));
        }
        return 0;
    }

    // Before Qt or a library asks for the session bus: with none, they would launch one.
    talvor::platform::SessionBus::pinAddress();
    talvor::TalvorNSApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    options.parser.process(app);
    const QCommandLineOption& screenshot = options.screenshot;
    const QCommandLineOption& atLogin = options.atLogin;

    // Signals quit the same way as the Quit command. Installed before the hand-over so that
    // a newer copy asking this one to quit is answered cleanly from the start.
    talvor::platform::TerminationSignals termination;
    QObject::connect(&termination, &talvor::platform::TerminationSignals::terminationRequested,
                     &app, [&app](int number) {
                         talvor::platform::log(QStringLiteral("Quitting on signal %1").arg(number));
                         app.terminate();
                     });

    // The copy already running saves its alarms and quits before this one reads them.
    talvor::platform::SingleInstance instance;
    instance.acquire();

    // ICU objects made without a zone of their own follow the system's zone rules too.
    talvor::SystemTimeZone::adoptAsIcuDefault(talvor::platform::Clock::shared());
    talvor::platform::Preferences::enableAutoSync(talvor::platform::Scheduler::shared());
    // Settings written before the strip's first frame (a first start writes its defaults)
    // reach the disk right after it; the delegate releases them.
    talvor::platform::Preferences::holdWrites();
    talvor::noticeSettingsThatCannotBeSaved();
    app.finishLaunching();
    talvor::installUserCalendars(talvor::platform::UserDefaults::standard());
    talvor::AppDelegate delegate({.startedAtLogin = options.parser.isSet(atLogin)});
    delegate.applicationDidFinishLaunching();

    runTestAction(delegate);
    if (options.parser.isSet(screenshot)) {
        scheduleScreenshot(options.parser.value(screenshot));
    }
    talvor::platform::log(
        QStringLiteral("Talvor Pro %1 started").arg(QApplication::applicationVersion()));
    // A quit asked for during start-up has ended no loop yet: the main one is not entered.
    const int rc = app.terminationRequested() ? 0 : QApplication::exec();
    // A quit before the first frame: what was held is written with the rest.
    talvor::platform::Preferences::releaseWrites();
    // A quit that did not come through terminate() (the session ending) still saves.
    app.terminate();
    delegate.applicationWillTerminate();
    talvor::saveSettingsForQuit();
    talvor::platform::log(QStringLiteral("Talvor Pro quit"));
    return rc;
}
