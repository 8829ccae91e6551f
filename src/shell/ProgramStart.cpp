#include "ProgramStart.h"

#include "foundation/SystemTimeZone.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Preferences.h"
#include "platform/Scheduler.h"
#include "platform/SessionBus.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "platform/UserDefaults.h"
#include "services/ProgramCopy.h"
#include "shell/AppDelegate.h"
#include "shell/CalendarWindows.h"
#include "shell/SettingsSaving.h"
#include "shell/TalvorNSApplication.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace talvor {
namespace {

// Saves a picture of the primary screen once start-up has settled, for runs without a
// visible display.
void scheduleScreenshot(const QString& path) {
    QTimer::singleShot(1500, qApp, [path] {
        QScreen* screen = QGuiApplication::primaryScreen();
        if (screen == nullptr || !screen->grabWindow(0).save(path)) {
            platform::log(QStringLiteral("Could not save a screenshot to %1").arg(path));
            return;
        }
        platform::log(QStringLiteral("Screenshot saved to %1").arg(path));
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
    using platform::Paths;
    const QString program = QCoreApplication::applicationFilePath();
    const QString binFolder = Paths::homeDir() + QStringLiteral("/.local/bin");
    const QList<PlacedFile> placed = placedFiles(program, binFolder);
    QStringList lines;
    if (!remove) {
        for (const PlacedFile& file : placed) {
            lines << file.what + QStringLiteral(": ") + file.path;
        }
        if (placed.isEmpty()) {
            lines << QStringLiteral("Nothing: this copy placed no files for you.");
        }
    } else {
        lines << removePlacedFiles(placed);
        if (placed.isEmpty()) {
            lines << QStringLiteral("Nothing to remove: this copy placed no files for you.");
        }
        if (std::none_of(placed.cbegin(), placed.cend(), [](const PlacedFile& file) {
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

int runTalvor(int argc, char* argv[], ProgramStart start) {
    platform::installSystemServices(std::move(start.services));
    // The bar repaints a few hundred pixels every second. Qt's shared-memory upload makes
    // each repaint wait for the X server first, a round trip that wakes two threads; a plain
    // upload of so little costs less. A value the user set is left alone.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) {
        qputenv("QT_XCB_NO_MITSHM", "1");
    }
    QCoreApplication::setApplicationName(QStringLiteral("Talvor Pro"));
    QCoreApplication::setApplicationVersion(start.version);
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
    platform::SessionBus::pinAddress();
    TalvorNSApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    options.parser.process(app);
    const QCommandLineOption& screenshot = options.screenshot;
    const QCommandLineOption& atLogin = options.atLogin;

    // Signals quit the same way as the Quit command. Installed before the hand-over so that
    // a newer copy asking this one to quit is answered cleanly from the start.
    platform::TerminationSignals termination;
    QObject::connect(&termination, &platform::TerminationSignals::terminationRequested, &app,
                     [&app](int number) {
                         platform::log(QStringLiteral("Quitting on signal %1").arg(number));
                         app.terminate();
                     });

    // The copy already running saves its alarms and quits before this one reads them.
    platform::SingleInstance instance;
    instance.acquire();

    // ICU objects made without a zone of their own follow the system's zone rules too.
    SystemTimeZone::adoptAsIcuDefault(platform::Clock::shared());
    platform::Preferences::enableAutoSync(platform::Scheduler::shared());
    // Settings written before the strip's first frame (a first start writes its defaults)
    // reach the disk right after it; the delegate releases them.
    platform::Preferences::holdWrites();
    noticeSettingsThatCannotBeSaved();
    app.finishLaunching();
    installUserCalendars(platform::UserDefaults::standard());
    AppDelegate delegate({.startedAtLogin = options.parser.isSet(atLogin)});
    delegate.applicationDidFinishLaunching();

    if (start.launched) {
        start.launched(delegate);
    }
    if (options.parser.isSet(screenshot)) {
        scheduleScreenshot(options.parser.value(screenshot));
    }
    platform::log(QStringLiteral("Talvor Pro %1 started").arg(QApplication::applicationVersion()));
    // A quit asked for during start-up has ended no loop yet: the main one is not entered.
    const int rc = app.terminationRequested() ? 0 : QApplication::exec();
    // A quit before the first frame: what was held is written with the rest.
    platform::Preferences::releaseWrites();
    // A quit that did not come through terminate() (the session ending) still saves.
    app.terminate();
    delegate.applicationWillTerminate();
    saveSettingsForQuit();
    platform::log(QStringLiteral("Talvor Pro quit"));
    return rc;
}

}  // namespace talvor
