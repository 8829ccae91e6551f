#include "RunningTalvor.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

namespace talvor {
namespace {

using test::RunningTalvor;
using test::storeAnAlarmForTomorrow;
using test::storedAlarmTitles;

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
