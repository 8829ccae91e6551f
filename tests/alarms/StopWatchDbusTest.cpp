// A second process posts "Talvor-Start-StopWatchNotification" over the session bus and the
// stopwatch of this process obeys: "Open" makes no window, "90" starts a count-down in a
// window made for it (not shown), "0" stops it.
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
    MyStopWatchObj& panel = MyStopWatchObj::sharedPanel();
    panel.listen();
    ASSERT_TRUE(postFromPeer(QStringLiteral("Open")));
    QTest::qWait(200);
    EXPECT_FALSE(panel.stopwatchShown());
    ASSERT_TRUE(postFromPeer(QStringLiteral("90")));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return panel.window() != nullptr && panel.window()->isRunning(); }, 5000));
    StopWatchWinController& w = *panel.window();
    EXPECT_FALSE(panel.stopwatchShown()) << "the window is opened only from the menu";
    EXPECT_EQ(w.dirFlag(), 1);
    EXPECT_NEAR(w.countDown(), 90.0, 1e-9);
    ASSERT_TRUE(postFromPeer(QStringLiteral("0")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.isRunning(); }, 5000));
    EXPECT_GT(w.timeCounter(), 80.0);
    panel.stopListening();
    panel.reset();
}

}  // namespace
}  // namespace talvor::test
