#include "RunningTalvor.h"
#include "support/TestEnvironment.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

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

}  // namespace
}  // namespace talvor
