#include "WidgetsTestSupport.h"
#include "platform/UserDefaults.h"
#include "support/FakeClock.h"
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "widgets/CalFieldCell.h"
#include "widgets/ColorWellCell.h"
#include "widgets/DVButton.h"
#include "widgets/DoubleSlider.h"
#include "widgets/NamedColors.h"
#include "widgets/RenderDot.h"
#include "widgets/TinyProgressControl.h"

#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using test::drawn;
using test::near;
using test::pixel;

// --- dots ---

TEST(widgetsDots, EachIndexDrawsItsColourAtThePointAsLowerLeftCorner) {
    for (int n = 1; n <= kDotColorCount; ++n) {
        const QColor colour = dotColor(n);
        ASSERT_TRUE(colour.isValid()) << n;
        // The small dot covers x 10..15 and y 15..20; its centre is (12.5, 17.5).
        for (const bool filled : {true, false}) {
            const QImage small = drawn(QSize(30, 30), Qt::white, [&](QPainter& p) {
                renderDot(p, static_cast<std::uint32_t>(n), filled, 10, 20);
            });
            EXPECT_TRUE(near(pixel(small, 12, 17), colour, 40)) << n << filled;
            EXPECT_EQ(pixel(small, 12, 13), QColor(Qt::white)) << n;
            EXPECT_EQ(pixel(small, 12, 21), QColor(Qt::white)) << n;
            EXPECT_EQ(pixel(small, 16, 17), QColor(Qt::white)) << n;
        }
        // The big dot covers x 5..15 and y 15..25.
        const QImage big =
            drawn(QSize(30, 30), Qt::white, [&](QPainter& p) { renderBigDot(p, n, 5, 25); });
        EXPECT_TRUE(near(pixel(big, 10, 20), colour, 20)) << n;
        EXPECT_EQ(pixel(big, 10, 26), QColor(Qt::white)) << n;
    }
}

TEST(widgetsDots, TheNumberOfKindsIsTheSpritesHeightInPointsOverTen) {
    struct Case {
        int heightPixels;
        qreal ratio;
        std::uint32_t kinds;
    };
    const Case cases[] = {{60, 1, 6}, {69, 1, 6}, {240, 4, 6}, {9, 1, 0}, {0, 1, 0}, {80, 2, 4}};
    for (const Case& c : cases) {
        QImage sprite(15, c.heightPixels, QImage::Format_ARGB32);
        sprite.setDevicePixelRatio(c.ratio);
        EXPECT_EQ(numDots(sprite), c.kinds) << c.heightPixels << " px at " << c.ratio;
    }
    // Every colour of our own picture is a kind the pickers offer.
    EXPECT_EQ(numDots(), static_cast<std::uint32_t>(kDotColorCount));
}

TEST(widgetsDots, TheFilledDayVariantHasAWhiteRing) {
    // Half a point in from the tile's edge: the ring of the filled-day dot, the rim of the
    // plain one.
    const auto edge = [](bool filled) {
        const QImage image =
            drawn(QSize(30, 30), Qt::black, [&](QPainter& p) { renderDot(p, 1, filled, 10, 20); });
        return pixel(image, 10, 17);
    };
    EXPECT_GT(qGray(edge(true).rgb()), 200);
    EXPECT_LT(qGray(edge(false).rgb()), 120);
}

TEST(widgetsDots, PointsAreTruncatedAndUnknownIndexesDrawNothing) {
    const auto render = [](std::uint32_t n, float x, float y) {
        return drawn(QSize(30, 30), Qt::white, [&](QPainter& p) { renderDot(p, n, false, x, y); });
    };
    EXPECT_EQ(render(4, 10.9f, 20.7f), render(4, 10, 20));
    const QImage blank = drawn(QSize(30, 30), Qt::white, [](QPainter&) {});
    EXPECT_EQ(render(0, 10, 20), blank);
    EXPECT_EQ(render(kDotColorCount + 1, 10, 20), blank);
    EXPECT_EQ(drawn(QSize(30, 30), Qt::white, [](QPainter& p) { renderBigDot(p, -1, 5, 25); }),
              blank);
    EXPECT_FALSE(dotColor(0).isValid());
}

// --- colour well ---

// A 30 x 24 cell at the origin: swatch (2, 2, 26, 19), centre (15, 11.5).
QImage wellImage(const ColorWellCell& cell) {
    return drawn(QSize(30, 24), Qt::white,
                 [&](QPainter& p) { cell.drawInteriorWithFrame(p, QRectF(0, 0, 30, 24)); });
}

TEST(widgetsColorWell, ANumberGivesAGreySwatchWithThatDot) {
    struct Case {
        const char* name;
        QVariant value;
        bool on;
        bool bigDot;
        QColor swatch;
        QColor centre;
    };
    const Case cases[] = {
        {"number 3", 3, false, false, NamedColors::grayColor(), dotColor(3)},
        {"number 3, on", 3, true, false, NamedColors::darkGrayColor(), dotColor(3)},
        {"number 5, big dot", 5, false, true, NamedColors::grayColor(), dotColor(5)},
        {"a colour: no dot", QColor(Qt::red), false, false, QColor(Qt::red), QColor(Qt::red)},
        {"number 0: no dot", 0, false, false, NamedColors::grayColor(), NamedColors::grayColor()},
        {"number 99: no such dot", 99, false, true, NamedColors::grayColor(),
         NamedColors::grayColor()},
    };
    for (const Case& c : cases) {
        ColorWellCell cell;
        cell.setObjectValue(c.value);
        cell.setState(c.on);
        cell.setUseBigDot(c.bigDot);
        const QImage image = wellImage(cell);
        EXPECT_TRUE(near(pixel(image, 5, 18), c.swatch, 2)) << c.name;
        EXPECT_TRUE(near(pixel(image, 14, 11), c.centre, 40))
            << c.name << " " << pixel(image, 14, 11).name().toStdString();
    }
}

TEST(widgetsColorWell, HighlightAndDisabledLooks) {
    ColorWellCell cell;
    cell.setObjectValue(QColor(Qt::blue));
    cell.setHighlighted(true);
    cell.setUseSquareHighlight(true);
    QImage image = wellImage(cell);
    EXPECT_TRUE(near(pixel(image, 1, 10), QColor(Qt::white), 2));          // white inside the frame
    EXPECT_TRUE(near(pixel(image, 0, 10), NamedColors::grayColor(), 30));  // grey frame line
    EXPECT_TRUE(near(pixel(image, 15, 11), QColor(Qt::blue), 2));

    ColorWellCell disabled;
    disabled.setObjectValue(QColor(Qt::blue));
    disabled.setEnabled(false);
    image = wellImage(disabled);
    EXPECT_EQ(pixel(image, 15, 11), QColor(Qt::white));  // not filled
    EXPECT_TRUE(near(pixel(image, 15, 2), NamedColors::lightGrayColor(), 40));
}

// --- day cell ---

const QColor kBlue(30, 136, 229);
const QColor kGreen(67, 160, 71);
const QColor kRed(229, 57, 53);

DayEventMark banded(QColor colour, bool first = true, bool last = true) {
    return {0, false, colour, first, last};
}
DayEventMark dot(int index) {
    return {index, false, QColor(), true, true};
}

// A 30 x 24 day at (10, 20): r = (10, 21, 30, 22); "18" 14 x 16 points puts the title at
// (18, 24) and dots 4 points left of it.
CalFieldCellState day() {
    CalFieldCellState state;
    state.frame = QRectF(10, 20, 30, 24);
    state.titleSize = QSizeF(14, 16);
    return state;
}

TEST(widgetsDayCell, ASingleDayEventFillsTheDayWithoutBands) {
    const CalFieldCellPlan plan = planCalFieldCell({banded(kBlue)}, day());
    ASSERT_TRUE(plan.fillColor);
    EXPECT_EQ(*plan.fillColor, kBlue);
    EXPECT_EQ(plan.titleColor, QColor(Qt::white));
    EXPECT_FALSE(plan.leftBandColor);
    EXPECT_FALSE(plan.rightBandColor);
    EXPECT_EQ(plan.hiddenEvents, 0);
    EXPECT_TRUE(plan.roundLowerRight);
    EXPECT_FALSE(plan.showTriangle);
    // No dot: the swatch moves one point right and narrows by two.
    EXPECT_EQ(plan.fillRect, QRectF(11, 21, 28, 22));
    EXPECT_EQ(plan.titleOrigin, QPointF(18, 24));

    const CalFieldCellPlan empty = planCalFieldCell({}, day());
    EXPECT_FALSE(empty.fillColor);
    EXPECT_EQ(empty.titleColor, QColor(Qt::black));
}

TEST(widgetsDayCell, AMultiDayEventShowsBandsTowardsItsOtherDays) {
    struct Case {
        const char* name;
        bool first;
        bool last;
        bool left;
        bool right;
    };
    const Case cases[] = {{"first day", true, false, false, true},
                          {"middle day", false, false, true, true},
                          {"last day", false, true, true, false}};
    for (const Case& c : cases) {
        const CalFieldCellPlan plan = planCalFieldCell({banded(kGreen, c.first, c.last)}, day());
        EXPECT_EQ(plan.leftBandColor.has_value(), c.left) << c.name;
        EXPECT_EQ(plan.rightBandColor.has_value(), c.right) << c.name;
        if (c.left) {
            EXPECT_EQ(plan.leftBand, QRectF(10, 21, 7, 22)) << c.name;
        }
        if (c.right) {
            EXPECT_EQ(plan.rightBand, QRectF(33, 21, 7, 22)) << c.name;
        }
    }
}

TEST(widgetsDayCell, ThreeBandedEventsHideTwoBehindATriangle) {
    const CalFieldCellPlan plan =
        planCalFieldCell({banded(kRed), banded(kBlue), banded(kGreen)}, day());
    EXPECT_EQ(*plan.fillColor, kRed);
    EXPECT_EQ(plan.hiddenEvents, 2);
    EXPECT_FALSE(plan.roundLowerRight);
    EXPECT_TRUE(plan.showTriangle);
    EXPECT_EQ(plan.trianglePoint, QPointF(34, 44));
}

TEST(widgetsDayCell, DotsRingsPressAndGadgets) {
    struct Case {
        const char* name;
        std::vector<DayEventMark> events;
        bool bordered;
        bool highlighted;
        int dot1;
        int dot2;
        int hidden;
        bool ring;
        bool pressed;
    };
    DayEventMark gadget = banded(kBlue);
    gadget.hasGadget = true;
    DayEventMark ringGadget{-1, true, QColor(), true, true};
    const Case cases[] = {
        {"two distinct dots, repeats hidden",
         {dot(2), dot(2), dot(5), dot(7)},
         false,
         false,
         2,
         5,
         2,
         false,
         false},
        {"a ring hides nothing",
         {{-1, false, {}, true, true}, banded(kRed), banded(kBlue)},
         false,
         false,
         0,
         0,
         0,
         true,
         false},
        {"bordered is a ring", {}, true, false, 0, 0, 0, true, false},
        {"pressed", {banded(kBlue), dot(3)}, false, true, 3, 0, 0, false, true},
        {"gadgets are skipped", {gadget}, false, false, 0, 0, 0, false, false},
        {"but a gadget still rings", {ringGadget}, false, false, 0, 0, 0, true, false},
    };
    for (const Case& c : cases) {
        CalFieldCellState state = day();
        state.bordered = c.bordered;
        state.highlighted = c.highlighted;
        state.hasTarget = true;
        const CalFieldCellPlan plan = planCalFieldCell(c.events, state);
        EXPECT_EQ(plan.dot1, c.dot1) << c.name;
        EXPECT_EQ(plan.dot2, c.dot2) << c.name;
        EXPECT_EQ(plan.hiddenEvents, c.hidden) << c.name;
        EXPECT_EQ(plan.showRing, c.ring) << c.name;
        EXPECT_EQ(plan.pressed, c.pressed) << c.name;
        EXPECT_EQ(plan.showDots, !c.ring && !c.pressed) << c.name;
    }

    CalFieldCellState highlightedOnly = day();
    highlightedOnly.highlighted = true;
    EXPECT_FALSE(planCalFieldCell({}, highlightedOnly).pressed);

    const CalFieldCellPlan pressed = [] {
        CalFieldCellState s = day();
        s.highlighted = s.hasTarget = true;
        return planCalFieldCell({banded(kBlue)}, s);
    }();
    EXPECT_EQ(*pressed.fillColor, NamedColors::lightGrayColor());

    const CalFieldCellPlan dotted = planCalFieldCell({banded(kBlue), dot(4), dot(6)}, day());
    EXPECT_EQ(dotted.dotOffset, 4);
    EXPECT_EQ(dotted.fillRect, QRectF(10, 21, 29, 22));  // a dot keeps the swatch at r.x
    EXPECT_EQ(dotted.dot1Point, QPointF(14, 27));
    EXPECT_EQ(dotted.dot2Point, QPointF(14, 42));
    EXPECT_TRUE(dotted.dotsOnFill);

    const CalFieldCellPlan ringed = planCalFieldCell({{-1, false, {}, true, true}}, day());
    EXPECT_EQ(ringed.ringRect, QRectF(11, 21, 28, 22));
    EXPECT_EQ(ringed.ringColor, NamedColors::darkGrayColor());
    EXPECT_EQ(planCalFieldCell({{-1, false, {}, true, true}, banded(kRed)}, day()).ringColor,
              QColor(Qt::black));

    CalFieldCellState disabled = day();
    disabled.enabled = false;
    EXPECT_EQ(planCalFieldCell({banded(kBlue)}, disabled).titleColor, NamedColors::grayColor());
}

TEST(widgetsDayCell, DrawnBandsSwatchTriangleAndDots) {
    const auto render = [](std::vector<DayEventMark> events) {
        CalFieldCell cell(QStringLiteral("18"));
        cell.setRepresentedEvents(std::move(events));
        return drawn(QSize(50, 50), Qt::white,
                     [&](QPainter& p) { cell.drawWithFrame(p, QRectF(10, 20, 30, 24)); });
    };
    const QImage single = render({banded(kBlue)});
    EXPECT_EQ(pixel(single, 13, 30), kBlue);
    EXPECT_EQ(pixel(single, 38, 42), QColor(Qt::white));  // round lower-right corner

    const QImage middle = render({banded(kGreen, false, false)});
    EXPECT_EQ(pixel(middle, 10, 22), kGreen);  // left band, left of the swatch
    EXPECT_EQ(pixel(middle, 39, 22), kGreen);  // right band

    const QImage hidden = render({banded(kRed), banded(kBlue), banded(kGreen)});
    EXPECT_GT(qGray(pixel(hidden, 38, 42).rgb()), 200);  // the triangle in the square corner
    EXPECT_EQ(pixel(hidden, 36, 38), kRed);

    const std::vector<DayEventMark> twoDots = {dot(4), dot(6)};
    const QImage dots = render(twoDots);
    CalFieldCell cell(QStringLiteral("18"));
    cell.setRepresentedEvents(twoDots);
    const CalFieldCellPlan plan = cell.planForFrame(QRectF(10, 20, 30, 24));
    // The centres of the two 5 x 5 dots above their lower-left corners.
    EXPECT_TRUE(near(pixel(dots, int(plan.dot1Point.x()) + 2, int(plan.dot1Point.y()) - 3),
                     dotColor(4), 40));
    EXPECT_TRUE(near(pixel(dots, int(plan.dot2Point.x()) + 2, int(plan.dot2Point.y()) - 3),
                     dotColor(6), 40));
}

// --- frame animation ---

class widgetsTinyProgress : public ::testing::Test {
  protected:
    widgetsTinyProgress() { platform::Scheduler::setShared(&scheduler_); }
    ~widgetsTinyProgress() override { platform::Scheduler::setShared(nullptr); }

    static QImage solid(Qt::GlobalColor colour) {
        QImage image(2, 2, QImage::Format_ARGB32);
        image.fill(colour);
        return image;
    }

    test::FakeClock clock_;
    test::ManualScheduler scheduler_{clock_};
};

TEST_F(widgetsTinyProgress, CyclesItsFramesEveryEightyMilliseconds) {
    TinyProgressControl control;
    control.setImages({solid(Qt::red), solid(Qt::green), solid(Qt::blue)});
    control.setProgressToolTip(QStringLiteral("Loading"));
    control.startAnimation();
    control.startAnimation();  // already running: no second timer
    EXPECT_EQ(scheduler_.activeTimerCount(), 1u);
    EXPECT_TRUE(control.isAnimating());
    EXPECT_EQ(control.toolTip(), QStringLiteral("Loading"));
    const Qt::GlobalColor expected[] = {Qt::red, Qt::green, Qt::blue, Qt::red, Qt::green};
    for (int step = 0; step < 5; ++step) {
        EXPECT_EQ(control.framePointer(), step % 3) << step;
        EXPECT_EQ(control.pixmap().toImage().pixelColor(0, 0), QColor(expected[step])) << step;
        scheduler_.advanceBy(TinyProgressControl::kFrameInterval + 0.0001);
    }
    control.stopAnimation();
    EXPECT_FALSE(control.isAnimating());
    EXPECT_TRUE(control.toolTip().isEmpty());
    EXPECT_TRUE(control.pixmap().isNull());
    EXPECT_EQ(scheduler_.activeTimerCount(), 0u);
    control.stopAnimation();
    EXPECT_FALSE(control.isAnimating());
}

TEST_F(widgetsTinyProgress, DestroyingItStopsTheTimer) {
    {
        TinyProgressControl control;
        control.startAnimation();  // no images: nothing to show, but it runs
        EXPECT_TRUE(control.pixmap().isNull());
        scheduler_.advanceBy(0.2);
    }
    EXPECT_EQ(scheduler_.activeTimerCount(), 0u);
}

// --- two-knob slider ---

TEST(widgetsDoubleSlider, KnobStateTable) {
    struct Case {
        const char* name;
        int main;
        int alt;
        bool swap;
        bool mouseDown;
        int t;
        int altAfter;
        bool swapAfter;
    };
    const Case cases[] = {
        {"keyboard onto the second knob at the last tick", 3, 4, false, false, 4, 3, true},
        {"keyboard onto the second knob at tick 0", 1, 0, false, false, 0, 1, true},
        {"keyboard pushes the second knob on", 1, 2, false, false, 2, 3, false},
        {"keyboard with the focus on the second knob", 3, 2, true, false, 2, 3, false},
        {"keyboard elsewhere keeps the focus", 0, 3, true, false, 1, 3, true},
        {"a press past the second knob trades places", 0, 2, false, true, 4, 0, false},
        {"a press onto the second knob trades places", 0, 2, true, true, 2, 0, false},
        {"a press short of it leaves it", 0, 3, false, true, 2, 3, false},
        {"a press in place ends the swapped focus", 2, 3, true, true, 2, 3, false},
    };
    for (const Case& c : cases) {
        DoubleSliderCell cell;
        cell.mainSliderLoc = c.main;
        cell.altSliderLoc = c.alt;
        cell.swapFocus = c.swap;
        if (c.mouseDown) {
            cell.noteMouseDown();
        }
        cell.drawKnob(c.t, 5);
        EXPECT_EQ(cell.altSliderLoc, c.altAfter) << c.name;
        EXPECT_EQ(cell.swapFocus, c.swapAfter) << c.name;
        EXPECT_EQ(cell.mainSliderLoc, c.t) << c.name;
        EXPECT_FALSE(cell.wasMouseDown) << c.name;
    }
}

TEST(widgetsDoubleSlider, KeyboardOntoTheSecondKnobMovesItAndItsFocusRing) {
    DoubleSlider slider;
    slider.setRange(0.0, 100.0, 5);
    slider.setValue(3);
    slider.setAltDoubleValue(100.0);
    EXPECT_EQ(slider.cell().altSliderLoc, 4);
    slider.resize(200, 40);
    slider.show();
    slider.setFocus();
    QTest::keyClick(&slider, Qt::Key_Right);
    EXPECT_EQ(slider.value(), 4);
    EXPECT_DOUBLE_EQ(slider.doubleValue(), 100.0);
    EXPECT_EQ(slider.cell().altSliderLoc, 3);
    EXPECT_DOUBLE_EQ(slider.altDoubleValue(), 75.0);
    EXPECT_TRUE(slider.cell().swapFocus);
    (void)slider.grab();  // both knobs drawn: their rectangles are a tick apart
    EXPECT_GT(slider.cell().mainRect.x(), slider.cell().altRect.x());
}

TEST(widgetsDoubleSlider, SecondKnobGoesToTheNearestTick) {
    const std::vector<double> quarters = {0, 0.25, 0.5, 0.75, 1};
    struct Case {
        double value;
        std::vector<double> ticks;
        int index;
    };
    const Case cases[] = {
        {0.7, quarters, 3}, {0.1, quarters, 0}, {0.13, quarters, 1},
        {1.4, quarters, 4}, {5, {5, 5, 5}, 0},  {2, {}, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DoubleSliderCell::closestTickIndex(c.value, c.ticks), c.index) << c.value;
    }
    DoubleSlider slider;
    slider.setRange(0.0, 1.0, 5);
    slider.setAltDoubleValue(0.7);
    EXPECT_DOUBLE_EQ(slider.altDoubleValue(), 0.75);
}

// --- appearance button ---

TEST(widgetsDVButton, TitleColourAndBackgroundFollowTheAppearance) {
    test::ScopedMemoryDomain domain(QStringLiteral("com.larkspindle.TalvorPro"));
    platform::UserDefaults defaults(domain.store());
    platform::UserDefaults::setStandard(&defaults);

    DVButton button(QStringLiteral("Show"));
    button.setTextColor(Qt::red);
    button.setBackgroundColor(Qt::red);
    (void)button.grab();
    EXPECT_EQ(button.TextColor(), QColor(Qt::black));
    EXPECT_FALSE(button.isFlat());
    EXPECT_EQ(button.backgroundColor(), QColor(Qt::red));

    defaults.setGlobalValue(QStringLiteral("AppleInterfaceStyle"), QStringLiteral("Dark"));
    const QImage dark = button.grab().toImage();
    EXPECT_EQ(button.TextColor(), QColor(Qt::white));
    EXPECT_TRUE(button.isFlat());
    EXPECT_EQ(button.backgroundColor().alpha(), 0);
    bool whiteInk = false;
    for (int y = 0; y < dark.height() && !whiteInk; ++y) {
        for (int x = 0; x < dark.width() / 2 && !whiteInk; ++x) {
            whiteInk = qGray(dark.pixel(x, y)) > 240 && qAlpha(dark.pixel(x, y)) > 200;
        }
    }
    EXPECT_TRUE(whiteInk);  // the title, drawn at the left

    DVButton grey(QStringLiteral("Keep"));
    grey.setBackgroundColor(NamedColors::lightGrayColor());
    (void)grey.grab();
    EXPECT_EQ(grey.backgroundColor(), NamedColors::lightGrayColor());
    platform::UserDefaults::setStandard(nullptr);
}

}  // namespace
}  // namespace talvor
