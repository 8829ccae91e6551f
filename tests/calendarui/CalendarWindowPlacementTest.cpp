#include "calendarui/TalvorCustomWindow.h"
#include "calendarui/ztCalendarController.h"
#include "platform/Clock.h"
#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"

#include "support/FakeClock.h"
#include "support/FakeScreens.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace talvor {
namespace {

TEST(calendaruiWindowPlacement, WindowTypesGiveTheirStyles) {
    const int cases[][2] = {{0, 271}, {1, 15}, {2, 15}, {3, 0}, {4, 271}, {-1, 271}};
    for (const auto& c : cases) {
        EXPECT_EQ(TalvorCustomWindow::TalvorGetMaskFromType(c[0]), c[1]) << c[0];
    }
}

TEST(calendaruiWindowPlacement, EdgesWithinTheToleranceSnap) {
    const QRectF area(0, 24, 1280, 776);  // bottom 800, right 1280
    const struct {
        const char* name;
        QRectF frame;
        qreal padding;
        QPointF expected;
    } cases[] = {
        {"20 above the bottom", {500, 580, 300, 200}, 0, {500, 600}},
        {"31 above the bottom", {500, 569, 300, 200}, 0, {500, 569}},
        {"30 above the bottom", {500, 570, 300, 200}, 0, {500, 570}},
        {"partly off the left", {-50, 300, 300, 200}, 0, {0, 300}},
        {"near the right", {970, 300, 300, 200}, 0, {980, 300}},
        {"near the top", {400, 40, 300, 200}, 0, {400, 24}},
        {"in a corner", {10, 30, 300, 200}, 0, {0, 24}},
        {"with padding", {500, 590, 300, 200}, 5, {500, 595}},
        {"in the middle", {400, 300, 300, 200}, 0, {400, 300}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TalvorCustomWindow::snapped(c.frame, area, 30, c.padding).topLeft(), c.expected)
            << c.name;
    }
}

TEST(calendaruiWindowPlacement, NamedPositionsLieInTheUsableAreaOfAnyScreen) {
    // A second screen right of the first, with a panel of 30 at its top.
    const QRectF area(1280, 30, 1920, 1050);  // right 3200, bottom 1080
    const QRectF frame(0, 0, 400, 300);
    const struct {
        const char* name;
        QPointF expected;
    } cases[] = {
        {"center left", {1280, 30 + 375}}, {"center right", {2800, 30 + 375}},
        {"top left", {1280, 30}},          {"top right", {2800, 30}},
        {"bottom left", {1280, 780}},      {"bottom center", {1280 + 760, 780}},
        {"bottom right", {2800, 780}},     {"somewhere", {1280 + 760, 30 + 375}},
    };
    for (const auto& c : cases) {
        const QRectF placed =
            TalvorCustomWindow::positioned(QString::fromLatin1(c.name), frame, area);
        EXPECT_EQ(placed.topLeft(), c.expected) << c.name;
        EXPECT_TRUE(area.contains(placed)) << c.name;
    }
}

TEST(calendaruiWindowPlacement, TheWindowSnapsRestoresAndSavesItsFrame) {
    platform::MemoryPreferenceStore store(QStringLiteral("placement"));
    platform::UserDefaults defaults(store);
    test::FakeScreens screens;  // (0, 24, 1280, 776)
    defaults.setObject(QStringLiteral("300 200 320 240"), TalvorCustomWindow::frameKey());
    defaults.setInteger(3, QStringLiteral("iWinType"));

    QWidget window;
    window.setGeometry(100, 100, 200, 150);
    TalvorCustomWindow placement(window, defaults, screens);
    EXPECT_EQ(placement.iWinType(), 3);
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(window.geometry(), QRect(100, 100, 320, 240)) << "type 3 takes the size only";

    window.move(600, 800 - 240 - 20);
    placement.windowMoved();
    EXPECT_EQ(window.pos(), QPoint(600, 560));
    EXPECT_EQ(defaults.stringForKey(TalvorCustomWindow::frameKey()),
              QStringLiteral("600 560 320 240"));

    placement.positionWindow(QStringLiteral("top right"));
    EXPECT_EQ(window.pos(), QPoint(960, 24));
    placement.setSnapsToEdges(false);
    window.move(5, 300);
    placement.windowMoved();
    EXPECT_EQ(window.pos(), QPoint(5, 300)) << "snapping off";

    defaults.setInteger(1, QStringLiteral("iWinType"));
    QWidget framed;
    TalvorCustomWindow restored(framed, defaults, screens);
    EXPECT_FALSE(framed.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(framed.geometry(), QRect(960, 24, 320, 240)) << "the whole frame comes back";
}

// The big calendar window hangs under the date item until the user moves it; then it snaps to
// the screen's edges, keeps its frame and opens there again, in this run and the next.
TEST(calendaruiWindowPlacement, TheBigCalendarWindowStaysWhereTheUserPutsIt) {
    test::XdgSandbox sandbox;
    test::FakeClock clock{
        Date::fromQDateTime(QDateTime(QDate(2025, 3, 4), QTime(10, 0), QTimeZone::utc())),
        QTimeZone::utc()};
    platform::Clock::setShared(&clock);
    platform::MemoryPreferenceStore store(QStringLiteral("placement"));
    platform::UserDefaults defaults(store);
    test::FakeScreens screens;  // (0, 24, 1280, 776)
    const QRectF dateItem(800, 0, 120, 24);
    QSize size;
    {
        ztCalendarController big(clock, defaults, screens);
        ASSERT_NE(big.placement(), nullptr);
        QWidget* window = big.window();
        big.belowView(dateItem);
        window->show();
        EXPECT_EQ(window->y(), 24) << "under the date item";
        size = window->size();

        // Dropped 15 points from the left edge: it snaps onto it, and the frame is kept.
        window->move(15, 300);
        const QString kept = QStringLiteral("0 300 %1 %2").arg(size.width()).arg(size.height());
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return defaults.stringForKey(TalvorCustomWindow::frameKey()) == kept; }, 5000))
            << defaults.stringForKey(TalvorCustomWindow::frameKey()).toStdString();
        EXPECT_EQ(window->pos(), QPoint(0, 300));
        window->hide();
        big.belowView(dateItem);
        EXPECT_EQ(window->pos(), QPoint(0, 300)) << "opens where it was left";
    }
    ztCalendarController again(clock, defaults, screens);
    again.belowView(dateItem);
    EXPECT_EQ(again.window()->geometry(), QRect(QPoint(0, 300), size)) << "the next run too";
    again.placement()->positionWindow(QStringLiteral("top right"));
    EXPECT_EQ(again.window()->pos(), QPoint(1280 - size.width(), 24));
    platform::Clock::setShared(nullptr);
}

}  // namespace
}  // namespace talvor
