// A second process posts "Talvor-Start-StopWatchNotification" over the session bus and the
// stopwatch of this process obeys: "90" starts a count-down, "0" stops it, "Open" changes
// nothing.
#include "AlarmsTestSupport.h"

#include "alarms/StopWatch.h"
#include "platform/DistributedNotificationCenter.h"

#include <QProcess>
#include <QTest>

namespace talvor::test {
namespace {

// Posts from another process and waits for it to see its own post come back.
bool postFromPeer(const QString& object) {
    QProcess peer;
    peer.start(QStringLiteral(TALVOR_DNC_PEER),
               {QStringLiteral("post"), StopWatchWinController::kNotification, object});
    return peer.waitForFinished(10000) && peer.exitCode() == 0;
}

TEST(alarmsStopWatchBus, ASecondProcessStartsAndStopsTheCountDown) {
    if (!platform::DistributedNotificationCenter::defaultCenter().isConnected()) {
        GTEST_SKIP() << "no session bus";
    }
    StopWatchWinController w;
    ASSERT_TRUE(postFromPeer(QStringLiteral("Open")));
    QTest::qWait(200);
    EXPECT_FALSE(w.isRunning());
    ASSERT_TRUE(postFromPeer(QStringLiteral("90")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.isRunning(); }, 5000));
    EXPECT_EQ(w.dirFlag(), 1);
    EXPECT_NEAR(w.countDown(), 90.0, 1e-9);
    ASSERT_TRUE(postFromPeer(QStringLiteral("0")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.isRunning(); }, 5000));
    EXPECT_GT(w.timeCounter(), 80.0);
}

}  // namespace
}  // namespace talvor::test
