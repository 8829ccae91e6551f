// A ringing alarm on a real X server (Xvfb): the alarm item flashing in the strip and its
// snooze window under it, both seen in a screenshot of the screen.
#include "AlarmsTestSupport.h"

#include "alarms/SnoozeWindowController.h"
#include "platform/PreferenceStore.h"
#include "platform/StatusBar.h"
#include "platform/StatusBarPanel.h"
#include "support/FakeSoundPlayer.h"
#include "support/ScreenPixels.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>

#include <iostream>

namespace talvor::test {
namespace {

class NoHost : public AlarmMenuHost {
  public:
    void addItem(std::shared_ptr<platform::Menu>) override {}
    void showAlarmEditor() override {}
};

using alarmsX11 = AlarmsTest;

TEST_F(alarmsX11, TheFlashingItemAndItsSnoozeWindowAreOnTheScreen) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    }
    if (QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty()) {
        GTEST_SKIP() << "import is missing (scripts/setup-deps installs it)";
    }
    FakeSoundSystem sounds(scheduler_);
    platform::StatusBar bar;
    platform::StatusBar::setSystemStatusBar(&bar);
    auto time = bar.statusItemWithLength(platform::VariableStatusItemLength);
    time->setTitle(QStringLiteral("10:00:01 AM"));
    NoHost host;
    controller_.awakeFromNib(&host);
    platform::MemoryPreferenceStore store;
    auto panel = std::make_unique<platform::StatusBarPanel>(
        bar, platform::StatusBarPanel::Options{platform::StatusBarPanel::Mode::Automatic, &store});
    panel->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));

    auto tea = dateAlarm(at("2024-03-04T10:00:00"));
    tea->setTitle(QStringLiteral("Tea is ready"));
    controller_.scheduleAlarm(tea);
    scheduler_.advanceBy(1.0);
    ASSERT_TRUE(tea->isTriggered());
    // The phase with the full disc.
    for (int i = 0; i < 2 && controller_.statusView().durationAngle() != 60; ++i) {
        scheduler_.advanceBy(1.0);
    }
    ASSERT_EQ(controller_.statusView().durationAngle(), 60);
    const QRectF item = controller_.statusItem()->windowFrame();
    ASSERT_FALSE(item.isEmpty());
    QWidget* window = controller_.snoozeWindowFor(tea.get())->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    // Under the item, as far left as the screen's edge makes it.
    EXPECT_EQ(window->geometry().top(), qRound(item.bottom()));
    EXPECT_LE(window->geometry().left(), qRound(item.left()));
    EXPECT_LE(window->geometry().right(), QGuiApplication::primaryScreen()->geometry().right());
    EXPECT_GT(window->geometry().right(), qRound(item.left()));

    const QString path = QDir::current().absoluteFilePath(QStringLiteral("alarm-x11-screen.png"));
    const QImage barPixels = panel->grab().toImage();
    const QImage windowPixels = window->grab().toImage();
    double barShare = 0;
    double windowShare = 0;
    const bool bothSeen = QTest::qWaitFor(
        [&] {
            QProcess::execute(QStringLiteral("import"),
                              {QStringLiteral("-window"), QStringLiteral("root"), path});
            const QImage screenshot(path);
            if (screenshot.isNull()) {
                return false;
            }
            barShare = pixelShare(screenshot, barPixels, panel->geometry().topLeft());
            windowShare = pixelShare(screenshot, windowPixels, window->geometry().topLeft());
            return barShare > 0.95 && windowShare > 0.95;
        },
        10000);
    std::cout << "screenshot: " << path.toStdString() << "\n";
    EXPECT_TRUE(bothSeen) << "bar " << barShare << ", snooze window " << windowShare;

    controller_.clearFromMenu(tea);
    scheduler_.runPosted();
    controller_.awakeFromNib(nullptr);
    panel.reset();
    platform::StatusBar::setSystemStatusBar(nullptr);
}

}  // namespace
}  // namespace talvor::test
