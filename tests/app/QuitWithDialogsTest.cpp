// The build-tree program on the display, quit by a signal while one of its dialogs is open:
// it must leave within two seconds and save, whatever the dialog.
#include "DisplayWindows.h"
#include "RunningTalvor.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

namespace talvor {
namespace {

using test::RunningTalvor;
using test::waitForDialogs;
using test::xdotool;

// The locations window's import chooser, opened as its Import button does.
const test::DriverAction kImportLocations{QStringLiteral("import-locations")};

// The visible windows of the process named `name`.
QStringList windowsNamed(qint64 pid, const QString& name) {
    QStringList found;
    const QString ids = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                 QStringLiteral("--pid"), QString::number(pid)});
    for (const QString& id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (xdotool({QStringLiteral("getwindowname"), id}) == name) {
            found << id;
        }
    }
    return found;
}

// Clicks the time in the bar, as a user opens the time menu; false when no menu showed.
bool openTheTimeMenu(RunningTalvor& app) {
    const qint64 pid = app.process().processId();
    const QStringList bar = windowsNamed(pid, QStringLiteral("Talvor menu bar"));
    if (bar.size() != 1) {
        return false;
    }
    // The time is the item left of the moon and the date, at the right end of the bar.
    int width = 0;
    int height = 0;
    const QString shell =
        xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), bar.front()});
    for (const QString& line : shell.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("WIDTH="))) {
            width = line.mid(6).toInt();
        } else if (line.startsWith(QLatin1String("HEIGHT="))) {
            height = line.mid(7).toInt();
        }
    }
    xdotool({QStringLiteral("mousemove"), QString::number(width - 220), QString::number(height / 2),
             QStringLiteral("click"), QStringLiteral("1")});
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
        if (!windowsNamed(pid, QStringLiteral("Talvor Pro")).isEmpty()) {
            return true;
        }
        QThread::msleep(100);
    }
    return false;
}

class QuitWithDialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::canDriveTheDisplay()) {
            GTEST_SKIP() << "needs an X display and xdotool";
        }
        test::storeAnAlarmForTomorrow();
    }

    // SIGTERM (or `quit`) with the dialog open: out within two seconds, cleanly, the alarm
    // saved back.
    void expectQuickCleanQuit(RunningTalvor& app, const std::function<void()>& quit = {}) {
        test::forgetStoredAlarms();
        QElapsedTimer timer;
        timer.start();
        if (quit) {
            quit();
        } else {
            app.signal(SIGTERM);
        }
        ASSERT_TRUE(app.waitForExit(5000)) << app.log();
        EXPECT_LT(timer.elapsed(), 2000) << app.log();
        EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit) << app.log();
        EXPECT_EQ(app.process().exitCode(), 0) << app.log();
        EXPECT_EQ(app.output().contains("Quitting on signal 15"), !quit) << app.log();
        EXPECT_TRUE(app.output().contains("Talvor Pro quit")) << app.log();
        EXPECT_TRUE(QFile::exists(platform::Preferences::filePathFor(appTalvor4Prefs)));
        EXPECT_EQ(test::storedAlarmTitles(), QStringList{QStringLiteral("dentist")}) << app.log();
        EXPECT_TRUE(QFileInfo(QStringLiteral(TALVOR_EXECUTABLE)).isExecutable())
            << "the program was not moved";
    }

    test::XdgSandbox sandbox;
};

using appQuitWithDialogs = QuitWithDialogs;

TEST_F(appQuitWithDialogs, TheMoveQuestion) {
    RunningTalvor app(RunningTalvor::OnDisplay);
    ASSERT_EQ(waitForDialogs(app, 1).size(), 1) << app.log();
    expectQuickCleanQuit(app);
    EXPECT_FALSE(test::settingsFile()
                     .value(QStringLiteral("moveToApplicationsFolderAlertSuppress"))
                     .toBool())
        << "closed by the quit, not declined by the user";
}

// "Move" answered with the destination blocked: the failure notice stays open.
TEST_F(appQuitWithDialogs, TheNoticeThatTheMoveFailed) {
    const QString home = QDir::homePath();
    QDir().mkpath(home + QStringLiteral("/.local"));
    QFile blocker(home + QStringLiteral("/.local/bin"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)) << "a file where the folder would be";
    blocker.close();
    RunningTalvor app(RunningTalvor::OnDisplay);
    const QStringList question = waitForDialogs(app, 1);
    ASSERT_EQ(question.size(), 1) << app.log();
    test::pressReturnIn(question.front());
    ASSERT_TRUE(app.waitFor("Could not copy myself")) << app.log();
    ASSERT_EQ(waitForDialogs(app, 1, question).size(), 1) << app.log();
    expectQuickCleanQuit(app);
}

// The locations window's import chooser, opened as its Import button does.
TEST_F(appQuitWithDialogs, TheImportChooser) {
    RunningTalvor app(RunningTalvor::OnDisplayWithoutMoveOffer, kImportLocations);
    ASSERT_TRUE(app.waitFor("started")) << app.log();
    const QStringList chooser = waitForDialogs(app, 1);
    ASSERT_EQ(chooser.size(), 1) << app.log();
    EXPECT_EQ(xdotool({QStringLiteral("getwindowname"), chooser.front()}),
              QStringLiteral("Import Talvor locations"));
    expectQuickCleanQuit(app);
}

// The Quit item of the time menu, chosen with the keyboard while the chooser is open.
TEST_F(appQuitWithDialogs, TheImportChooserAndTheQuitItem) {
    RunningTalvor app(RunningTalvor::OnDisplayWithoutMoveOffer, kImportLocations);
    ASSERT_EQ(waitForDialogs(app, 1).size(), 1) << app.log();
    ASSERT_TRUE(openTheTimeMenu(app)) << app.log();
    expectQuickCleanQuit(app, [] {
        // The last item of the menu.
        xdotool({QStringLiteral("key"), QStringLiteral("Up")});
        xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    });
}

// A menu still open when the loop ends must not take the teardown down with it.
TEST_F(appQuitWithDialogs, TheTimeMenu) {
    RunningTalvor app(RunningTalvor::OnDisplayWithoutMoveOffer);
    ASSERT_TRUE(app.waitFor("started")) << app.log();
    ASSERT_TRUE(openTheTimeMenu(app)) << app.log();
    expectQuickCleanQuit(app);
}

}  // namespace
}  // namespace talvor
