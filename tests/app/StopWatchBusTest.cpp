// The running program's stopwatch obeys another process over the session bus: a number of
// seconds starts a count-down, "0" stops it.
#include "RunningTalvor.h"
#include "support/TestEnvironment.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace talvor {
namespace {

bool post(const char* object) {
    QProcess peer;
    peer.start(QStringLiteral(TALVOR_DNC_PEER),
               {QStringLiteral("post"), QStringLiteral("Talvor-Start-StopWatchNotification"),
                QString::fromLatin1(object)});
    return peer.waitForFinished(10000) && peer.exitCode() == 0;
}

TEST(appStopWatchBus, ASecondProcessStartsAndStopsTheStopwatchOfARunningTalvor) {
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        GTEST_SKIP() << "no session bus";
    }
    test::XdgSandbox sandbox;
    // The stopwatch listens from the end of the start-up on; a notice before then is lost.
    test::RunningTalvor app(test::RunningTalvor::Offscreen,
                            test::DriverAction{QStringLiteral("nothing")});
    ASSERT_TRUE(app.waitFor("test launch finished")) << app.log();
    ASSERT_TRUE(post("Open"));
    ASSERT_TRUE(post("90"));
    ASSERT_TRUE(app.waitFor("another program started a count-down of 90 s", 10000)) << app.log();
    ASSERT_TRUE(post("0"));
    ASSERT_TRUE(app.waitFor("another program stopped the count-down at", 10000)) << app.log();
    app.signal(SIGTERM);
    ASSERT_TRUE(app.waitForExit()) << app.log();
    EXPECT_EQ(app.process().exitCode(), 0) << app.log();
}

}  // namespace
}  // namespace talvor
