#include "RunningTalvor.h"
#include "platform/Preferences.h"
#include "support/TestEnvironment.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <vector>

namespace talvor {
namespace {

using test::RunningTalvor;
using test::storeAnAlarmForTomorrow;
using test::storedAlarmTitles;

// Asked from a terminal with no display (a packager's script, a first look), the program
// says what it is and which options it takes, instead of aborting.
TEST(appAppLifecycle, HelpAndVersionAnswerWithoutADisplay) {
    struct Case {
        const char* option;
        std::vector<const char*> says;
    };
    const Case cases[] = {
        {"--help",
         {"Usage:", "clock, calendar and alarm utility", "--screenshot <file>", "--at-login",
          "--placed-files", "--uninstall", "--version"}},
        {"-h", {"Usage:"}},
        {"--version", {"Talvor Pro "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            env.remove(QString::fromLatin1(name));
        }
        run.setProcessEnvironment(env);
        run.start(QStringLiteral(TALVOR_EXECUTABLE), {QString::fromLatin1(c.option)});
        ASSERT_TRUE(run.waitForFinished(20000));
        const QString out = QString::fromUtf8(run.readAllStandardOutput());
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit) << run.readAllStandardError().data();
        EXPECT_EQ(run.exitCode(), 0);
        for (const char* text : c.says) {
            EXPECT_TRUE(out.contains(QString::fromLatin1(text))) << text << "\n"
                                                                 << out.toStdString();
        }
    }
}

TEST(appAppLifecycle, QuitsCleanlyOnTerminationSignals) {
    for (int s : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(s);
        test::XdgSandbox sandbox;
        RunningTalvor app;
        ASSERT_TRUE(app.waitFor("started")) << app.output().toStdString();
        app.signal(s);
        ASSERT_TRUE(app.waitForExit()) << app.output().toStdString();
        EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit) << app.output().toStdString();
        EXPECT_EQ(app.process().exitCode(), 0) << app.output().toStdString();
        EXPECT_TRUE(app.output().contains("Talvor Pro quit")) << app.output().toStdString();
    }
}

TEST(appAppLifecycle, TheAlarmsSurviveAQuitBySignal) {
    test::XdgSandbox sandbox;
    storeAnAlarmForTomorrow();
    RunningTalvor app;
    ASSERT_TRUE(app.waitFor("started")) << app.output().toStdString();
    test::forgetStoredAlarms();
    app.signal(SIGTERM);
    ASSERT_TRUE(app.waitForExit()) << app.output().toStdString();
    EXPECT_EQ(storedAlarmTitles(), QStringList{QStringLiteral("dentist")})
        << app.output().toStdString();
}

TEST(appAppLifecycle, ANewCopyTakesOverAfterTheRunningOneQuitCleanly) {
    test::XdgSandbox sandbox;
    storeAnAlarmForTomorrow();
    RunningTalvor first;
    ASSERT_TRUE(first.waitFor("started")) << first.output().toStdString();
    RunningTalvor second;
    ASSERT_TRUE(first.waitForExit()) << first.output().toStdString();
    EXPECT_EQ(first.process().exitCode(), 0);
    EXPECT_TRUE(first.output().contains("Talvor Pro quit")) << first.output().toStdString();
    ASSERT_TRUE(second.waitFor("started")) << second.output().toStdString();
    EXPECT_TRUE(second.output().contains("Asking the running copy"))
        << second.output().toStdString();
    second.signal(SIGTERM);
    ASSERT_TRUE(second.waitForExit());
    EXPECT_EQ(second.process().exitCode(), 0);
    // Read once nobody writes any more: the alarm went through both copies.
    EXPECT_EQ(storedAlarmTitles(), QStringList{QStringLiteral("dentist")})
        << second.output().toStdString();
}

// What lies at `path`, as far as a break of it shows.
QString shapeOf(const QString& path) {
    const QFileInfo info(path);
    return QStringLiteral("link %1, folder %2, file %3, writable %4")
        .arg(info.isSymLink())
        .arg(info.isDir())
        .arg(info.isFile())
        .arg(info.isWritable());
}

// Breaks the settings file one way, and mends it again.
struct BrokenSettings {
    const char* name;
    std::function<void(const QString& file, const QString& sandbox)> breakIt;
    std::function<void(const QString& file)> mend;
};

// A calendar exported whole (100,000 events in one 17 MB file) neither keeps the mini
// calendar from opening nor the program from quitting on a signal while it is being read.
TEST(appAppLifecycle, AHugeCalendarNeitherHoldsUpTheMiniCalendarNorTheQuit) {
    test::XdgSandbox sandbox;
    const QString folder = sandbox.root() + QStringLiteral("/data/talvor/Calendars/export");
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile file(folder + QStringLiteral("/export.ics"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n");
    const QDate first = QDate::currentDate().addYears(-1);
    for (int i = 0; i < 100000; ++i) {
        file.write("BEGIN:VEVENT\r\nUID:ev-" + QByteArray::number(i) +
                   "@export\r\nDTSTAMP:20240101T000000Z\r\nDTSTART:" +
                   first.addDays((i * 7919) % 731).toString(QStringLiteral("yyyyMMdd")).toLatin1() +
                   "T100000Z\r\nDURATION:PT30M\r\nSUMMARY:Exported event " + QByteArray::number(i) +
                   "\r\nEND:VEVENT\r\n");
    }
    file.write("END:VCALENDAR\r\n");
    file.close();
    platform::PlistPreferenceStore store = test::settingsFile();
    store.setValue(QStringLiteral("CalendarStoreAccess"), QStringLiteral("authorized"));
    ASSERT_TRUE(store.synchronize());

    RunningTalvor app(RunningTalvor::Offscreen,
                      test::DriverAction{QStringLiteral("mini-calendar")});
    ASSERT_TRUE(app.waitFor("test steps done", 60000)) << app.log();
    EXPECT_TRUE(app.output().contains("mini calendar")) << app.log();
    app.signal(SIGTERM);
    ASSERT_TRUE(app.waitForExit(10000)) << app.log();
    EXPECT_EQ(app.process().exitCode(), 0) << app.log();
    EXPECT_TRUE(app.output().contains("Talvor Pro quit")) << app.log();
}

TEST(appAppLifecycle, SettingsThatCannotBeSavedAreNoticedOnceAndTheAlarmsKept) {
    const auto moveAway = [](const QString& file) {
        QFile::rename(file, file + QStringLiteral(".kept"));
    };
    const auto moveBack = [](const QString& file) {
        QFile::remove(file);
        QDir().rmdir(file);
        QFile::rename(file + QStringLiteral(".kept"), file);
    };
    const BrokenSettings cases[] = {
        {"a link loop",
         [&](const QString& file, const QString&) {
             moveAway(file);
             QFile::link(file, file);
         },
         moveBack},
        {"a folder at the path",
         [&](const QString& file, const QString&) {
             moveAway(file);
             QDir().mkdir(file);
         },
         moveBack},
        {"a link into a missing folder",
         [&](const QString& file, const QString& sandbox) {
             moveAway(file);
             QFile::link(sandbox + QStringLiteral("/gone/settings.plist"), file);
         },
         moveBack},
        {"a read-only file",
         [](const QString& file, const QString&) { QFile::setPermissions(file, QFile::ReadOwner); },
         [](const QString& file) {
             QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
         }},
    };
    for (const BrokenSettings& c : cases) {
        SCOPED_TRACE(c.name);
        test::XdgSandbox sandbox;
        storeAnAlarmForTomorrow();
        const QString file = platform::Preferences::filePathFor(appTalvor4Prefs);
        const QString unsaved = sandbox.root() + QStringLiteral("/data/talvor/UnsavedAlarms.plist");
        {
            RunningTalvor app;
            ASSERT_TRUE(app.waitFor("started")) << app.log();
            // Only what the running copy keeps at quit can bring the alarm back now.
            test::forgetStoredAlarms();
            {
                // The copy is still writing what its start-up set: breaking the file in the
                // middle of one of those writes would see the break undone.
                test::SettingsWritersLock writers;
                ASSERT_TRUE(writers.held());
                c.breakIt(file, sandbox.root());
            }
            const QString broken = shapeOf(file);
            app.signal(SIGTERM);
            ASSERT_TRUE(app.waitForExit()) << app.log();
            ASSERT_EQ(shapeOf(file), broken) << "the break was undone while the copy ran";
            EXPECT_EQ(app.output().count("Talvor cannot save its settings"), 1) << app.log();
            EXPECT_TRUE(QFile::exists(unsaved)) << app.log();
        }
        c.mend(file);
        {
            RunningTalvor app;
            ASSERT_TRUE(app.waitFor("started")) << app.log();
            app.signal(SIGTERM);
            ASSERT_TRUE(app.waitForExit()) << app.log();
            EXPECT_FALSE(app.output().contains("cannot save")) << app.log();
        }
        EXPECT_EQ(storedAlarmTitles(), QStringList{QStringLiteral("dentist")});
        EXPECT_FALSE(QFile::exists(unsaved));
    }
}

// A quit before the strip's first frame finds the settings' writes still held: the alarms
// must reach the file then too, or be kept aside when it cannot be written.
TEST(appAppLifecycle, AQuitWhileWritesAreHeldKeepsTheAlarmsTheSettingsCannotTake) {
    test::XdgSandbox sandbox;
    storeAnAlarmForTomorrow();
    const QString file = platform::Preferences::filePathFor(appTalvor4Prefs);
    const QString unsaved = sandbox.root() + QStringLiteral("/data/talvor/UnsavedAlarms.plist");
    RunningTalvor app(RunningTalvor::Offscreen, test::DriverAction{QStringLiteral("hold-writes")});
    ASSERT_TRUE(app.waitFor("test writes held")) << app.log();
    test::forgetStoredAlarms();
    {
        test::SettingsWritersLock writers;
        ASSERT_TRUE(writers.held());
        QFile::rename(file, file + QStringLiteral(".kept"));
        QFile::link(sandbox.root() + QStringLiteral("/gone/settings.plist"), file);
    }
    app.signal(SIGTERM);
    ASSERT_TRUE(app.waitForExit()) << app.log();
    EXPECT_EQ(app.output().count("Talvor cannot save its settings"), 1) << app.log();
    EXPECT_TRUE(QFile::exists(unsaved)) << app.log();
}

// A copy of the built program at `path`, as an install or an upgrade puts it there.
bool installCopy(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    return QFile::copy(QStringLiteral(TALVOR_EXECUTABLE), path);
}

TEST(appAppLifecycle, OneCopyRemainsWhateverProgramFileTheRunningOneCameFrom) {
    // An upgrade replaces the file of the running copy (its /proc/<pid>/exe then ends in
    // " (deleted)"); a second install lies elsewhere. Either way the newer copy takes over.
    for (const bool upgrade : {true, false}) {
        SCOPED_TRACE(upgrade ? "the running copy's file was replaced" : "a second install");
        test::XdgSandbox sandbox;
        storeAnAlarmForTomorrow();
        QTemporaryDir installs;
        const QString installed = installs.filePath(QStringLiteral("usr/bin/talvor"));
        ASSERT_TRUE(installCopy(installed));
        RunningTalvor older(RunningTalvor::Offscreen, installed);
        ASSERT_TRUE(older.waitFor("started")) << older.log();
        // Only the older copy's quit can put the alarm back now.
        test::forgetStoredAlarms();

        QString newer = installs.filePath(QStringLiteral("opt/talvor/bin/talvor"));
        if (upgrade) {
            const QString staged = installed + QStringLiteral(".new");
            ASSERT_TRUE(installCopy(staged));
            ASSERT_EQ(::rename(QFile::encodeName(staged).constData(),
                               QFile::encodeName(installed).constData()),
                      0);
            newer = installed;
            const QString exe = QFile::symLinkTarget(
                QStringLiteral("/proc/%1/exe").arg(older.process().processId()));
            ASSERT_TRUE(exe.endsWith(QStringLiteral(" (deleted)"))) << exe.toStdString();
        } else {
            ASSERT_TRUE(installCopy(newer));
        }
        RunningTalvor newest(RunningTalvor::Offscreen, newer);
        ASSERT_TRUE(older.waitForExit()) << newest.log();
        EXPECT_EQ(older.process().exitCode(), 0);
        EXPECT_TRUE(older.output().contains("Talvor Pro quit")) << older.log();
        ASSERT_TRUE(newest.waitFor("started")) << newest.log();
        EXPECT_TRUE(newest.output().contains("Asking the running copy")) << newest.log();
        EXPECT_FALSE(newest.output().contains("beside")) << newest.log();
        newest.signal(SIGTERM);
        ASSERT_TRUE(newest.waitForExit());
        EXPECT_EQ(storedAlarmTitles(), QStringList{QStringLiteral("dentist")}) << newest.log();
    }
}

}  // namespace
}  // namespace talvor
