// The stopwatch on the fake clock: its time texts, the start-time titles, the stored
// settings, start/lap/stop/reset, the count-down to ZERO with its sound, the arrows, the keys
// and the distributed notification's objects.
#include "AlarmsTestSupport.h"

#include "alarms/StopWatch.h"
#include "platform/Log.h"
#include "platform/Screens.h"
#include "support/FakeScreens.h"
#include "support/FakeSoundPlayer.h"

#include <QKeyEvent>
#include <QTest>

namespace talvor::test {
namespace {

struct FormatCase {
    double seconds;
    int32_t resolution;
    const char* text;
};

// Rounded to the resolution before the split: 59.7 s never reads "00:60".
TEST(alarmsStopWatchText, FormatTable) {
    const FormatCase cases[] = {
        {0, 1, "00:00.0"},        {5.24, 1, "00:05.2"},    {59.7, 1, "00:59.7"},
        {59.96, 1, " 1:00.0"},    {75.7, 1, " 1:15.7"},    {3599.96, 1, "1:00:00.0"},
        {3725.3, 1, "1:02:05.0"}, {0, 10, "00:00"},        {59.4, 10, "00:59"},
        {59.7, 10, "01:00"},      {75.7, 10, "01:16"},     {3599.6, 10, "1:00:00"},
        {3725.3, 10, "1:02:05"},  {59.7, 60, "0:00 min."}, {3725.3, 60, "1:02 min."},
        {-3, 10, "00:00"},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(formatStopwatchTime(c.seconds, c.resolution), QString::fromLatin1(c.text));
    }
}

TEST(alarmsStopWatchText, StartTimeTitles) {
    const std::pair<int32_t, const char*> cases[] = {
        {30, "30 sec"},
        {60, "1 min"},
        {90, "1 min. 30 sec"},
        {3600, "1 hour"},
        {7200, "2 hour"},
        {3605, "1 hours, 5 sec"},
        {5400, "1 hours, 30 min"},
        {3725, "1 hours, 2 min. 5 sec"},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(startTimeTitle(seconds), QString::fromLatin1(text));
    }
}

// The stored text round-trips; a window layer written as a long reads the same.
TEST(alarmsStopWatchText, SettingsRoundTrip) {
    const StopWatchSettings s{10, 1, 1, 90.5};
    EXPECT_EQ(s.text(), QStringLiteral("R[10] D[1] W[1] C[90.5]"));
    EXPECT_EQ(StopWatchSettings::parse(s.text()), s);
    EXPECT_EQ(StopWatchSettings::parse(QStringLiteral("R[1] D[0] W[0] C[70000]"))->countDown,
              70000.0);
    EXPECT_FALSE(StopWatchSettings::parse(QStringLiteral("nonsense")).has_value());
}

class StopWatch : public AlarmsTest {
  protected:
    StopWatchWinController& make() {
        window_.emplace();
        return *window_;
    }
    void TearDown() override {
        window_.reset();
        AlarmsTest::TearDown();
    }
    void key(int k, const QString& text = QString()) {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, text);
        QCoreApplication::sendEvent(&*window_, &press);
    }
    std::optional<StopWatchWinController> window_;
};

using alarmsStopWatch = StopWatch;

// Counting up in tenths: start, a look while running (the lap), stop keeps the time, start
// goes on from it, reset returns to zero.
TEST_F(alarmsStopWatch, StartLapStopReset) {
    StopWatchWinController& w = make();
    EXPECT_EQ(w.text(), QStringLiteral("00:00.0"));
    w.startButton()->click();
    EXPECT_TRUE(w.isRunning());
    EXPECT_EQ(w.startButton()->property("tag").toInt(), 1);
    scheduler_.advanceBy(12.32);
    EXPECT_EQ(w.text(), QStringLiteral("00:12.3"));
    scheduler_.advanceBy(50.0);
    EXPECT_EQ(w.text(), QStringLiteral(" 1:02.3"));
    w.startButton()->click();
    EXPECT_FALSE(w.isRunning());
    EXPECT_NEAR(w.timeCounter(), 62.32, 1e-6);
    scheduler_.advanceBy(100.0);
    EXPECT_EQ(w.text(), QStringLiteral(" 1:02.3")) << "stopped";
    w.StartClock();
    scheduler_.advanceBy(2.0);
    EXPECT_NEAR(w.timeCounter(), 64.32, 0.11);
    w.ResetClock();
    EXPECT_FALSE(w.isRunning());
    EXPECT_EQ(w.text(), QStringLiteral("00:00.0"));
}

// A count-down ends by itself at zero: "ZERO", the end sound once, the button back to Start.
TEST_F(alarmsStopWatch, CountDownEndsAtZeroWithTheSound) {
    FakeSoundSystem sounds(scheduler_);
    StopWatchWinController& w = make();
    const QString bell = w.swSound()->itemData(w.swSound()->currentIndex()).toString();
    sounds.addSound(bell, 2.0);
    w.SetCountDown(5.0);
    w.StartClock();
    scheduler_.advanceBy(2.05);
    EXPECT_EQ(w.text(), QStringLiteral("00:03.0"));
    scheduler_.advanceBy(3.2);
    EXPECT_FALSE(w.isRunning());
    EXPECT_EQ(w.text(), QStringLiteral("ZERO"));
    EXPECT_EQ(w.startButton()->property("tag").toInt(), 0);
    if (!bell.isEmpty()) {
        EXPECT_EQ(sounds.created.size(), 1u);
    }
}

// The down arrow below zero clamps to 0 and beeps; keys: space starts and stops, c resets,
// the arrows step a minute, an unknown function key is logged.
TEST_F(alarmsStopWatch, ArrowsAndKeys) {
    StopWatchWinController& w = make();
    QStringList logged;
    auto previous = platform::setLogSink([&](const QString& line) { logged << line; });
    w.downButton()->click();
    EXPECT_EQ(w.timeCounter(), 0.0);
    key(Qt::Key_Up);
    key(Qt::Key_Up);
    EXPECT_EQ(w.timeCounter(), 120.0);
    key(Qt::Key_Space, QStringLiteral(" "));
    EXPECT_TRUE(w.isRunning());
    key(Qt::Key_Space, QStringLiteral(" "));
    EXPECT_FALSE(w.isRunning());
    key(Qt::Key_C, QStringLiteral("c"));
    EXPECT_EQ(w.timeCounter(), 0.0);
    key(Qt::Key_F5);
    platform::setLogSink(previous);
    EXPECT_TRUE(logged.contains(QStringLiteral("stopwatch key 5  not supported.")))
        << logged.join(QLatin1Char('|')).toStdString();
}

// A stored count-down out of range loads as 30 seconds; the settings are written on close.
TEST_F(alarmsStopWatch, LoadClampsAndCloseSaves) {
    store().setValue(QStringLiteral("swSettings"), QStringLiteral("R[10] D[1] W[1] C[70000]"));
    StopWatchWinController& w = make();
    EXPECT_EQ(w.countDown(), 30.0);
    EXPECT_EQ(w.text(), QStringLiteral("00:30"));
    EXPECT_EQ(w.resolution(), 10);
    w.SetCountDown(90);
    w.close();
    EXPECT_EQ(defaults_.stringForKey(QStringLiteral("swSettings")),
              QStringLiteral("R[10] D[1] W[1] C[90]"));
}

// An 800 x 600 screen without a window manager, the strip along its top.
class StopWatchOnASmallScreen : public AlarmsTest {
  protected:
    void SetUp() override {
        AlarmsTest::SetUp();
        platform::Screens::reserve(this, kStrip);
    }
    void TearDown() override {
        MyStopWatchObj::sharedPanel().reset();
        platform::Screens::reserve(this, QRectF());
        AlarmsTest::TearDown();
    }
    static QWidget& shown() {
        MyStopWatchObj& panel = MyStopWatchObj::sharedPanel();
        if (!panel.stopwatchShown()) {
            panel.orderStopWatch();
        }
        return *panel.window();
    }
    static constexpr QRectF kStrip{0, 0, 800, 24};
    FakeScreens screens{{QRectF(0, 0, 800, 600)}};
};

using alarmsStopWatchWindow = StopWatchOnASmallScreen;

// Shown the first time (its hot key, the time menu): wholly below the strip; Escape closes
// it, since without a window manager it has no title bar.
TEST_F(alarmsStopWatchWindow, OpensBelowTheStripAndClosesWithEscape) {
    QWidget& w = shown();
    EXPECT_TRUE(QRect(0, 24, 800, 576).contains(w.frameGeometry())) << w.y();
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(MyStopWatchObj::sharedPanel().stopwatchShown());
}

// Its place is kept under "Talvor StopWatch Window": hidden and shown, or after a restart,
// it opens where the user left it; a kept place the strip now covers is not used.
TEST_F(alarmsStopWatchWindow, KeepsItsFrameUnderItsAutosaveName) {
    const QString key = QStringLiteral("NSWindow Frame Talvor StopWatch Window");
    QWidget& w = shown();
    w.move(300, 200);
    MyStopWatchObj::sharedPanel().orderStopWatch();
    ASSERT_FALSE(MyStopWatchObj::sharedPanel().stopwatchShown());
    EXPECT_TRUE(defaults_.stringForKey(key).startsWith(QStringLiteral("300 200 ")))
        << defaults_.stringForKey(key).toStdString();
    EXPECT_EQ(shown().pos(), QPoint(300, 200)) << "shown again where it was";

    MyStopWatchObj::sharedPanel().reset();  // as after a restart
    EXPECT_EQ(shown().pos(), QPoint(300, 200));

    MyStopWatchObj::sharedPanel().reset();
    defaults_.setObject(QStringLiteral("0 0 320 116"), key);
    EXPECT_GE(shown().y(), 24) << "not over the strip";
}

// The notification's objects: "Open" only rebuilds the menu, a number starts a count-down
// while stopped, "0" stops a running count-down, "0" while stopped only sets zero.
TEST_F(alarmsStopWatch, NotificationObjects) {
    StopWatchWinController& w = make();
    w.StopWatchNotify(QStringLiteral("Open"));
    EXPECT_FALSE(w.isRunning());
    EXPECT_EQ(w.dirFlag(), 0);
    w.StopWatchNotify(QStringLiteral("90"));
    EXPECT_TRUE(w.isRunning());
    EXPECT_EQ(w.dirFlag(), 1);
    scheduler_.advanceBy(10.05);
    EXPECT_EQ(w.text(), QStringLiteral(" 1:20.0"));
    w.StopWatchNotify(QStringLiteral("0"));
    EXPECT_FALSE(w.isRunning());
    w.StopWatchNotify(QStringLiteral("0"));
    EXPECT_FALSE(w.isRunning());
    EXPECT_EQ(w.timeCounter(), 0.0);
}

}  // namespace
}  // namespace talvor::test
