#include "calendarui/CalendarPlacement.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace talvor {
namespace {

// A 1280 x 800 screen below a 24-point bar.
const QRectF kArea(0, 24, 1280, 776);

TEST(calendaruiPlacement, KeptOnScreen) {
    struct Case {
        const char* name;
        QRectF frame;
        QRectF area;
        QPointF expected;
    };
    const Case cases[] = {
        {"inside stays", QRectF(600, 400, 200, 180), kArea, {600, 400}},
        {"past the right edge", QRectF(1200, 400, 200, 180), kArea, {1080, 400}},
        {"below the bottom", QRectF(600, 750, 200, 180), kArea, {600, 620}},
        {"bottom-right corner", QRectF(1279, 799, 200, 180), kArea, {1080, 620}},
        {"over the bar", QRectF(600, 10, 200, 180), kArea, {600, 24}},
        {"left of the screen", QRectF(-50, 400, 200, 180), kArea, {0, 400}},
        {"wider and taller than the screen: top-left shows",
         QRectF(600, 400, 1500, 900),
         kArea,
         {0, 24}},
        {"on a second screen to the right",
         QRectF(3150, 1000, 200, 180),
         QRectF(1280, 0, 1920, 1080),
         {3000, 900}},
        {"no screen: unchanged", QRectF(5000, 5000, 200, 180), QRectF(), {5000, 5000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QRectF kept = CalendarPlacement::keptOnScreen(c.frame, c.area);
        EXPECT_EQ(kept.topLeft(), c.expected);
        EXPECT_EQ(kept.size(), c.frame.size());
    }
}

TEST(calendaruiPlacement, AnchoredUnderTheDateItem) {
    struct Case {
        const char* name;
        QRectF anchor;
        QSizeF size;
        QPointF expected;
    };
    const Case cases[] = {
        {"room on the right: left edges line up", QRectF(1000, 0, 90, 24), {200, 180}, {1000, 24}},
        {"no room: right edges line up", QRectF(1150, 0, 90, 24), {200, 180}, {1040, 24}},
        {"exactly as wide as the room: right edges",
         QRectF(1080, 0, 90, 24),
         {200, 180},
         {970, 24}},
        {"wider than the screen", QRectF(1190, 0, 90, 24), {1300, 180}, {0, 24}},
        {"no anchor: top-right corner", QRectF(), {200, 180}, {1080, 24}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CalendarPlacement::anchoredFrame(c.anchor, c.size, kArea).topLeft(), c.expected);
    }
}

}  // namespace
}  // namespace talvor
