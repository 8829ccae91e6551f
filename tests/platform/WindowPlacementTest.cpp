// Our windows open on the free area of the screen: below the strip, also where no window
// manager keeps them off it, and wholly on the screen.
#include "platform/PreferenceStore.h"
#include "platform/Screens.h"
#include "platform/StatusBar.h"
#include "platform/StatusBarPanel.h"
#include "platform/WindowPlacement.h"

#include "support/FakeScreens.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QTest>
#include <QWidget>

using namespace talvor::platform;

namespace {

const QRectF kScreen(0, 0, 800, 600);

TEST(platformScreensFreeArea, BandsAlongTheTopAndBottomAreLeftOut) {
    talvor::test::FakeScreens screens({kScreen});
    const int strip = 0;
    const int dock = 0;
    const int window = 0;
    struct Case {
        const char* name;
        const void* owner;
        QRectF area;
        QRectF free;
    };
    const Case cases[] = {
        {"nothing kept", nullptr, {}, kScreen},
        {"the strip across the top", &strip, QRectF(0, 0, 800, 24), QRectF(0, 24, 800, 576)},
        {"a short strip at the top right", &strip, QRectF(500, 0, 300, 24),
         QRectF(0, 24, 800, 576)},
        {"and a dock along the bottom", &dock, QRectF(0, 560, 800, 40), QRectF(0, 24, 800, 536)},
        {"a window in the middle is no band", &window, QRectF(300, 200, 100, 100),
         QRectF(0, 24, 800, 536)},
        {"released", &dock, QRectF(), QRectF(0, 24, 800, 576)},
    };
    for (const Case& c : cases) {
        if (c.owner != nullptr) {
            Screens::reserve(c.owner, c.area);
        }
        EXPECT_EQ(Screens::shared().freeArea(QPointF(400, 300)), c.free) << c.name;
    }
    for (const void* owner : {&strip, &dock, &window}) {
        Screens::reserve(owner, QRectF());
    }
    EXPECT_EQ(Screens::shared().freeArea(QPointF(400, 300)), kScreen);
}

TEST(platformWindowPlacement, WindowsOpenWhollyInTheFreeAreaShrunkWhereTheyMayBe) {
    talvor::test::FakeScreens screens({kScreen});
    const int strip = 0;
    Screens::reserve(&strip, QRectF(0, 0, 800, 24));
    const QRect free(0, 24, 800, 576);

    QWidget small;
    small.resize(300, 200);
    placeInFreeArea(small);
    EXPECT_EQ(small.frameGeometry(), QRect(250, 212, 300, 200)) << "centred on the free area";

    QWidget large;
    large.setMinimumSize(400, 300);
    large.resize(900, 700);
    placeInFreeArea(large);
    EXPECT_TRUE(free.contains(large.frameGeometry()));
    EXPECT_EQ(large.size(), QSize(800, 576));

    QWidget tooLarge;
    tooLarge.setMinimumSize(500, 700);
    tooLarge.resize(500, 700);
    placeInFreeArea(tooLarge);
    EXPECT_EQ(tooLarge.pos(), QPoint(150, 24)) << "its top stays below the strip";

    // Over a window at the top left corner: as near its middle as the free area allows.
    QWidget parent;
    parent.setGeometry(0, 0, 300, 100);
    QDialog sheet(&parent);
    sheet.resize(200, 150);
    placeInFreeArea(sheet, &parent);
    EXPECT_EQ(sheet.frameGeometry(), QRect(50, 24, 200, 150));
    Screens::reserve(&strip, QRectF());
}

TEST(platformWindowPlacement, TheShownStripKeepsItsBand) {
    talvor::test::FakeScreens screens({kScreen});
    StatusBar bar;
    auto time = bar.statusItemWithLength(VariableStatusItemLength);
    time->setTitle(QStringLiteral("12:00"));
    MemoryPreferenceStore store;
    {
        StatusBarPanel panel(bar, {StatusBarPanel::Mode::Floating, &store});
        panel.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
        panel.move(500, 0);
        EXPECT_EQ(Screens::shared().freeArea(QPointF(400, 300)).top(),
                  panel.frameGeometry().bottom() + 1);
        panel.hide();
        EXPECT_EQ(Screens::shared().freeArea(QPointF(400, 300)), kScreen) << "hidden";
        panel.show();
    }
    EXPECT_EQ(Screens::shared().freeArea(QPointF(400, 300)), kScreen) << "gone";
}

}  // namespace
