#include "platform/UserDefaults.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"
#include "world/TimeZoneWindow.h"
#include "world/WorldKeys.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

#include <gtest/gtest.h>

namespace talvor {
namespace {

TEST(worldTimeZoneWindowFrames, RectanglesGoToTextAndBack) {
    EXPECT_EQ(TimeZoneWindow::rectText(QRect(10, -20, 300, 150)),
              QStringLiteral("{{10, -20}, {300, 150}}"));
    struct Case {
        const char* text;
        std::optional<QRect> rect;
    };
    const Case cases[] = {
        {"{{10, -20}, {300, 150}}", QRect(10, -20, 300, 150)},
        {"{{12.4, 7.6}, {100.5, 80}}", QRect(12, 8, 101, 80)},
        {"{{0,0},{5,5}}", QRect(0, 0, 5, 5)},
        {"{{10, 20}, {300}}", std::nullopt},
        {"{{10, 20}, {-3, 40}}", std::nullopt},
        {"{{nan, 20}, {30, 40}}", std::nullopt},
        {"{{1e300, 20}, {30, 40}}", std::nullopt},
        {"10 20 300 150", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TimeZoneWindow::rectFromText(QString::fromLatin1(c.text)), c.rect) << c.text;
    }
}

TEST(worldTimeZoneWindowFrames, DraggingUpStopsAtTheTopOfTheScreensOnlyUpwards) {
    const QRect bounds(0, 0, 1920, 1080);
    const QPoint grab(15, 10);
    EXPECT_EQ(TimeZoneWindow::draggedOrigin(QPoint(500, 400), grab, bounds), QPoint(485, 390));
    EXPECT_EQ(TimeZoneWindow::draggedOrigin(QPoint(500, 4), grab, bounds), QPoint(485, 0));
    // Sideways and downwards the screens do not hold the window back.
    EXPECT_EQ(TimeZoneWindow::draggedOrigin(QPoint(-300, 2000), grab, bounds), QPoint(-315, 1990));
}

TEST(worldTimeZoneWindowFrames, SnappingPullsNearEdgesAndKeepsItsPadding) {
    const QRect visible(0, 30, 1000, 700);  // a bar across the top
    struct Case {
        const char* name;
        QRect frame;
        float padding;
        QPoint origin;
    };
    const Case cases[] = {
        {"29 from the left", QRect(29, 300, 200, 100), 0, QPoint(0, 300)},
        {"30 from the left stays", QRect(30, 300, 200, 100), 0, QPoint(30, 300)},
        {"near the right", QRect(790, 300, 200, 100), 0, QPoint(800, 300)},
        {"near the bottom", QRect(400, 620, 200, 100), 0, QPoint(400, 630)},
        {"near the top, under the bar", QRect(400, 45, 200, 100), 0, QPoint(400, 30)},
        {"a corner, with padding", QRect(10, 40, 200, 100), 5, QPoint(5, 35)},
        {"in the middle", QRect(400, 300, 200, 100), 0, QPoint(400, 300)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TimeZoneWindow::snappedOrigin(c.frame, visible, 30.0f, c.padding), c.origin)
            << c.name;
    }
}

class TimeZoneWindowTest : public ::testing::Test {
  protected:
    QRect screen() const { return QGuiApplication::primaryScreen()->availableGeometry(); }

    test::ScopedMemoryDomain domain_{QStringLiteral("window-test")};
    platform::UserDefaults defaults_{domain_.store()};
};

using worldTimeZoneWindow = TimeZoneWindowTest;

TEST_F(worldTimeZoneWindow, SnapsOnlyWhenAskedAndNotWithAltHeld) {
    TimeZoneWindow window(defaults_);
    window.resize(100, 80);
    const QPoint nearLeft = screen().topLeft() + QPoint(20, 200);
    window.move(nearLeft);
    window.windowMoved(Qt::NoModifier);
    EXPECT_EQ(window.pos(), nearLeft) << "snapping starts off";

    window.setSnapsToEdges(true);
    window.windowMoved(Qt::AltModifier);
    EXPECT_EQ(window.pos(), nearLeft);
    window.windowMoved(Qt::NoModifier);
    EXPECT_EQ(window.pos(), QPoint(screen().left(), nearLeft.y()));
}

TEST_F(worldTimeZoneWindow, ADragMovesTheWindowAndKeepsWhereItEnded) {
    TimeZoneWindow window(defaults_);
    window.setGeometry(QRect(screen().topLeft() + QPoint(100, 100), QSize(50, 40)));
    const QPoint start = window.pos();
    const auto send = [&](QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(global - window.pos()), QPointF(global), Qt::LeftButton,
                      buttons, Qt::NoModifier);
        QApplication::sendEvent(&window, &e);
    };
    const QPoint grab = start + QPoint(10, 10);
    send(QEvent::MouseButtonPress, grab, Qt::LeftButton);
    send(QEvent::MouseMove, grab + QPoint(30, 40), Qt::LeftButton);
    EXPECT_EQ(window.pos(), start + QPoint(30, 40));
    // The frame after this very step, not the one before it.
    EXPECT_EQ(defaults_.stringForKey(keys::TimeFloatWindowFrame),
              TimeZoneWindow::rectText(window.geometry()));
    EXPECT_EQ(defaults_.stringForKey(keys::TimeFloatScreen),
              TimeZoneWindow::rectText(QGuiApplication::primaryScreen()->geometry()));

    // Far above the screens: the top edge stays on them; the mouse is on no screen.
    send(QEvent::MouseMove, QPoint(grab.x(), -5000), Qt::LeftButton);
    EXPECT_EQ(window.y(), TimeZoneWindow::dragBounds().top());
    EXPECT_EQ(defaults_.stringForKey(keys::TimeFloatScreen), QStringLiteral("{{0, 0}, {0, 0}}"));

    const int synchronized = domain_.store().synchronizeCount();
    send(QEvent::MouseButtonRelease, QPoint(grab.x(), -5000), Qt::NoButton);
    EXPECT_EQ(domain_.store().synchronizeCount(), synchronized + 1);

    // A new window comes back where the last one was left.
    TimeZoneWindow again(defaults_);
    EXPECT_EQ(again.geometry(), window.geometry());
}

TEST_F(worldTimeZoneWindow, APlaceOnAScreenThatIsGoneFallsBackToTheMainScreen) {
    defaults_.setObject(QStringLiteral("{{9000, 9000}, {120, 90}}"), keys::TimeFloatWindowFrame);
    test::LogCapture log;
    TimeZoneWindow window(defaults_);
    EXPECT_EQ(window.pos(), screen().topLeft());
    EXPECT_TRUE(log.contains(QStringLiteral("is on no screen")));
}

TEST_F(worldTimeZoneWindow, LayersPickTheStackingHints) {
    TimeZoneWindow window(defaults_);
    window.show();
    window.setLayer(FloatingOptions::Layer::Desktop);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnBottomHint));
    EXPECT_TRUE(window.isVisible()) << "changing the level keeps a shown window shown";
    window.setLayer(FloatingOptions::Layer::Above);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnBottomHint));
    window.setLayer(FloatingOptions::Layer::Normal);
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(window.isVisible());
}

}  // namespace
}  // namespace talvor
