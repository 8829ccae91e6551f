#include "WidgetsTestSupport.h"
#include "support/QtPrinters.h"
#include "widgets/BezierExtras.h"
#include "widgets/ColoredView.h"
#include "widgets/Grid.h"
#include "widgets/NamedColors.h"
#include "widgets/ShadowView.h"
#include "widgets/TalvorTintedImage.h"
#include "widgets/ViewExtras.h"
#include "widgets/WindowExtras.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <cmath>

namespace talvor {
namespace {

using test::near;
using test::pixel;

// --- paths ---

TEST(widgetsPaths, RadiusIsClampedToHalfTheShorterSide) {
    // 12 x 40 with radius 10 gets radius 6: a stadium, full width from y = 6 to 34.
    const QRectF rect(0, 0, 12, 40);
    const QPainterPath path = BezierExtras::bezierPathWithRoundRectInRect(rect, 10);
    EXPECT_FLOAT_EQ(BezierExtras::clampedRadius(rect, 10), 6.0f);
    for (const double y : {6.5, 20.0, 33.5}) {
        EXPECT_TRUE(path.contains(QPointF(0.2, y))) << y;
        EXPECT_TRUE(path.contains(QPointF(11.8, y))) << y;
    }
    // Three points in from the top (and bottom) the half-chord of a radius-6 arc is 5.196.
    for (const double y : {3.0, 37.0}) {
        EXPECT_TRUE(path.contains(QPointF(6 - 5.0, y))) << y;
        EXPECT_TRUE(path.contains(QPointF(6 + 5.0, y))) << y;
        EXPECT_FALSE(path.contains(QPointF(6 - 5.5, y))) << y;
        EXPECT_FALSE(path.contains(QPointF(6 + 5.5, y))) << y;
    }
    EXPECT_EQ(path.boundingRect(), rect);
}

TEST(widgetsPaths, OnlyTheChosenCornersAreRounded) {
    const QRectF rect(10, 10, 40, 30);
    struct Corner {
        const char* name;
        QPointF point;  // just inside the corner, outside any rounding
    };
    const Corner corners[] = {
        {"ll", {10.4, 39.6}}, {"ul", {10.4, 10.4}}, {"ur", {49.6, 10.4}}, {"lr", {49.6, 39.6}}};
    for (int square = 0; square < 4; ++square) {
        bool round[4] = {true, true, true, true};
        round[square] = false;
        const QPainterPath path = BezierExtras::bezierPathWithRoundRectInRect(
            rect, 8, round[0], round[1], round[2], round[3]);
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(path.contains(corners[c].point), c == square)
                << "square " << corners[square].name << ", probing " << corners[c].name;
        }
        EXPECT_TRUE(path.contains(rect.center()));
    }
}

TEST(widgetsPaths, EventShapeChopsTheUpperRightCorner) {
    const QRectF rect(0, 0, 40, 20);
    struct Case {
        bool left;
        bool right;
        float chop;
        QPointF probe;
        bool inside;
    };
    const Case cases[] = {
        // The cut runs from (40, 4) to (36, 0).
        {true, true, 4, {39, 1}, false},
        {true, true, 4, {37, 3}, true},
        {true, true, 4, {38, 18}, true},       // inside the lower-right arc
        {true, true, 4, {39.6, 19.6}, false},  // outside it
        {false, true, 4, {0.3, 0.3}, true},    // a square left side
        {true, true, 4, {0.3, 0.3}, false},
        {true, false, 0, {39.7, 0.3}, true},  // no chop, square right side
        {true, true, 0, {39.7, 0.3}, false},
    };
    for (const Case& c : cases) {
        const QPainterPath path =
            BezierExtras::bezierPathWithEventInRect(rect, 3, c.left, c.right, c.chop);
        EXPECT_EQ(path.contains(c.probe), c.inside) << c.left << c.right << " chop " << c.chop
                                                    << " at " << c.probe.x() << "," << c.probe.y();
    }
}

TEST(widgetsPaths, PathsStartAtTheirFirstCornerNotAtTheOrigin) {
    // An empty path's arcTo would add a line from (0, 0).
    const QRectF rect(100, 100, 20, 20);
    for (const QPainterPath& path :
         {BezierExtras::bezierPathWithRoundRectInRect(rect, 4),
          BezierExtras::bezierPathWithEventInRect(rect, 4, true, true, 3)}) {
        EXPECT_EQ(path.boundingRect(), rect);
    }
}

// --- tinting ---

TEST(widgetsTint, WashesOnlyTheOpaquePixels) {
    QImage image(4, 2, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < 2; ++y) {
        image.setPixelColor(0, y, Qt::white);
        image.setPixelColor(1, y, Qt::white);
    }
    struct Case {
        const char* name;
        QColor colour;
        QColor opaquePixel;
    };
    const Case cases[] = {
        {"opaque red at 25 %", Qt::red, QColor(255, 191, 191)},
        {"translucent blue as given", QColor(0, 0, 255, 128), QColor(127, 127, 255)},
    };
    for (const Case& c : cases) {
        const QImage tinted = TalvorTintedImage::tintedImageWithColor(image, c.colour);
        EXPECT_EQ(tinted.size(), image.size()) << c.name;
        EXPECT_TRUE(near(pixel(tinted, 0, 0), c.opaquePixel))
            << c.name << pixel(tinted, 0, 0).name().toStdString();
        EXPECT_EQ(pixel(tinted, 3, 1).alpha(), 0) << c.name;
    }
    const QImage over = TalvorTintedImage::tintedImageWithColor(
        image, Qt::red, QPainter::CompositionMode_SourceOver);
    EXPECT_EQ(pixel(over, 3, 1), QColor(Qt::red));
}

// --- grid ---

using IntGrid = Grid<int>;

TEST(widgetsGrid, BestSquareIsTheSquarestFactoring) {
    for (int n = 1; n <= 20; ++n) {
        int smaller = 1;
        for (int d = 1; d * d <= n; ++d) {
            if (n % d == 0) {
                smaller = d;
            }
        }
        const auto wide = IntGrid::initWithBestSquare(n, true);
        const auto tall = IntGrid::initWithBestSquare(n, false);
        ASSERT_TRUE(wide && tall) << n;
        EXPECT_EQ(wide->numRows(), n / smaller) << n;
        EXPECT_EQ(wide->numCols(), smaller) << n;
        EXPECT_EQ(tall->numRows(), smaller) << n;
        EXPECT_EQ(tall->numCols(), n / smaller) << n;
    }
    EXPECT_FALSE(IntGrid::initWithBestSquare(0, true));
    EXPECT_FALSE(IntGrid::initWithBestSquare(21, false));
}

TEST(widgetsGrid, FillOrders) {
    struct Case {
        bool fromTop;
        bool fromRight;
        std::vector<std::pair<int, int>> places;  // where 1, 2, 3, 4, 5 land
    };
    const Case cases[] = {
        {true, false, {{2, 0}, {2, 1}, {1, 0}, {1, 1}, {0, 0}}},
        {true, true, {{2, 1}, {2, 0}, {1, 1}, {1, 0}, {0, 1}}},
        {false, false, {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}}},
        {false, true, {{0, 1}, {0, 0}, {1, 1}, {1, 0}, {2, 1}}},
    };
    for (const Case& c : cases) {
        IntGrid grid(3, 2);
        grid.fillWithArray({1, 2, 3, 4, 5}, c.fromTop, c.fromRight);
        int filled = 0;
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(grid.objectAtRow(c.places[i].first, c.places[i].second), i + 1)
                << "top " << c.fromTop << " right " << c.fromRight << " object " << i + 1;
        }
        for (int r = 0; r < 3; ++r) {
            for (int col = 0; col < 2; ++col) {
                filled += grid.objectAtRow(r, col) != 0;
            }
        }
        EXPECT_EQ(filled, 5);
    }

    IntGrid rowMajor(2, 2);
    rowMajor.fillWithArray({1, 2, 3, 4, 5, 6});
    EXPECT_EQ(rowMajor.objectAtRow(0, 1), 2);
    EXPECT_EQ(rowMajor.objectAtRow(1, 1), 4);

    IntGrid untouched(2, 2);
    untouched.fillWithArray({}, true, true);
    IntGrid noRows(0, 3);
    noRows.fillWithArray({1, 2}, true, false);
    EXPECT_EQ(untouched.objectAtRow(0, 0), 0);
}

TEST(widgetsGrid, IndexesOutOfRangeThrowOutOfBounds) {
    IntGrid grid(3, 2);
    struct Case {
        int row;
        int col;
        const char* reason;
    };
    const Case cases[] = {{3, 0, "Index 3, 0 out of bounds"},
                          {0, 2, "Index 0, 2 out of bounds"},
                          {-1, 1, "Index -1, 1 out of bounds"},
                          {0, -1, "Index 0, -1 out of bounds"}};
    for (const Case& c : cases) {
        try {
            (void)grid.objectAtRow(c.row, c.col);
            ADD_FAILURE() << c.reason;
        } catch (const NamedError& e) {
            EXPECT_EQ(e.name(), QStringLiteral("OutOfBounds"));
            EXPECT_STREQ(e.what(), c.reason);
        }
        EXPECT_THROW(grid.setObject(1, c.row, c.col), NamedError) << c.reason;
    }
}

TEST(widgetsGrid, JoiningGrids) {
    IntGrid a(2, 2);
    a.fillWithArray({1, 2, 3, 4});
    IntGrid b(2, 1);
    b.fillWithArray({5, 6});

    const auto after = a.gridByAddingGrid(b, 1);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->numCols(), 3);
    EXPECT_EQ(after->objectAtRow(0, 2), 5);
    EXPECT_EQ(after->objectAtRow(1, 0), 3);

    const auto before = a.gridByAddingGrid(b, 2);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->objectAtRow(1, 0), 6);
    EXPECT_EQ(before->objectAtRow(0, 1), 1);

    IntGrid c(1, 2);
    c.fillWithArray({7, 8});
    const auto below = a.gridByAddingGrid(c, 4);
    const auto above = a.gridByAddingGrid(c, 3);
    ASSERT_TRUE(below && above);
    EXPECT_EQ(below->numRows(), 3);
    EXPECT_EQ(below->objectAtRow(2, 1), 8);
    EXPECT_EQ(above->objectAtRow(0, 0), 7);
    EXPECT_EQ(above->objectAtRow(2, 1), 4);

    EXPECT_FALSE(a.gridByAddingGrid(b, 5));
    EXPECT_FALSE(a.gridByAddingGrid(b, 0));

    try {
        (void)a.gridByAddingGrid(b, 4);
        ADD_FAILURE();
    } catch (const NamedError& e) {
        EXPECT_EQ(e.name(), QStringLiteral("InvalidSizes"));
        EXPECT_EQ(e.reason(), QStringLiteral("Sizes of grids don't match: 2 != 1"));
    }
    EXPECT_THROW((void)c.gridByAddingGrid(b, 1), NamedError);
    EXPECT_FALSE(a.objectsInRow(0));
    EXPECT_FALSE(a.objectsInCol(0));
}

// --- views ---

// The widget's own drawing on a transparent canvas (no window background).
QImage grabbed(QWidget& widget) {
    widget.ensurePolished();
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

TEST(widgetsViews, ShadowViewSitsBehindItsViewWithASoftEdge) {
    QWidget parent;
    parent.resize(200, 200);
    auto* other = new QWidget(&parent);
    auto* view = new QWidget(&parent);
    view->setGeometry(50, 50, 40, 30);
    auto* shadow = new ShadowView(view);
    (void)other;

    EXPECT_EQ(shadow->parentWidget(), &parent);
    EXPECT_EQ(shadow->geometry(), QRect(45, 45, 50, 40));
    EXPECT_EQ(shadow->fillRect(), QRectF(5, 5, 40, 30));
    const QObjectList& stack = parent.children();
    EXPECT_EQ(stack.indexOf(shadow) + 1, stack.indexOf(view));

    const QImage image = grabbed(*shadow);
    EXPECT_EQ(pixel(image, 25, 20), QColor(Qt::white));
    const int nearEdge = pixel(image, 3, 20).alpha();
    const int farEdge = pixel(image, 0, 20).alpha();
    EXPECT_GT(nearEdge, 20);
    EXPECT_LT(farEdge, nearEdge);
    EXPECT_LT(pixel(image, 0, 0).alpha(), 20);
}

TEST(widgetsViews, ColoredViewFillsRightOfItsMarginAndDrawsBorders) {
    ColoredView view;
    view.resize(100, 80);
    view.setBackgroundColor(Qt::red);
    view.setLeftMargin(10);
    QImage image = grabbed(view);
    EXPECT_EQ(pixel(image, 5, 40).alpha(), 0);
    EXPECT_EQ(pixel(image, 15, 40), QColor(Qt::red));

    view.setCornerRadius(8);
    image = grabbed(view);
    EXPECT_EQ(pixel(image, 10, 0).alpha(), 0);
    EXPECT_EQ(pixel(image, 99, 79).alpha(), 0);
    EXPECT_EQ(pixel(image, 50, 40), QColor(Qt::red));

    view.setBackgroundColor(Qt::white);
    view.setCornerRadius(0);
    view.addBorderPoint(QPointF(30, 60), QPointF(60, 20), true, true);
    ASSERT_EQ(view.borderLines().size(), 1u);
    image = grabbed(view);
    const auto darkestIn = [&](int x, int y0, int y1) {
        int darkest = 255;
        for (int y = y0; y <= y1; ++y) {
            darkest = std::min(darkest, qGray(image.pixel(x, y)));
        }
        return darkest;
    };
    EXPECT_LT(darkestIn(20, 57, 61), 225);  // along the lower height
    EXPECT_LT(darkestIn(90, 17, 21), 225);  // on to the right edge at the upper height
    EXPECT_EQ(darkestIn(20, 15, 25), 255);
    view.removeBorderLines();
    EXPECT_TRUE(view.borderLines().empty());
}

TEST(widgetsViews, CloneCopiesRegisteredViews) {
    ColoredView view;
    view.setGeometry(3, 4, 50, 60);
    view.setBackgroundColor(QColor(10, 20, 30));
    view.setCornerRadius(4.5f);
    view.setLeftMargin(7);
    view.setToolTip(QStringLiteral("tip"));
    const std::unique_ptr<QWidget> copy = ViewExtras::clone(view);
    auto* coloured = qobject_cast<ColoredView*>(copy.get());
    ASSERT_NE(coloured, nullptr);
    EXPECT_EQ(coloured->geometry(), view.geometry());
    EXPECT_EQ(coloured->backgroundColor().rgb(), view.backgroundColor().rgb());
    EXPECT_FLOAT_EQ(coloured->cornerRadius(), 4.5f);
    EXPECT_FLOAT_EQ(coloured->leftMargin(), 7);
    EXPECT_EQ(coloured->toolTip(), QStringLiteral("tip"));

    QLabel label;
    EXPECT_TRUE(ViewExtras::cloneData(label).isEmpty());
    EXPECT_EQ(ViewExtras::clonedView(QByteArray("not an archive")), nullptr);
}

TEST(widgetsViews, SnapshotsAreThePixelsOfTheView) {
    ColoredView view;
    view.resize(30, 20);
    view.setBackgroundColor(Qt::blue);
    const QImage whole = snapshot::snapshot(view);
    EXPECT_EQ(whole.size(), QSize(30, 20));
    EXPECT_EQ(pixel(whole, 29, 19), QColor(Qt::blue));
    EXPECT_EQ(snapshot::snapshotFromRect(view, QRect(10, 0, 5, 6)).size(), QSize(5, 6));
}

TEST(widgetsViews, DragHighlightRingInsideOrAroundAndCleared) {
    QWidget parent;
    parent.resize(100, 100);
    auto* view = new ColoredView(&parent);
    view->setGeometry(20, 20, 40, 40);
    parent.show();

    DragHighlight::drawDragHighlightOutside(*view, false);
    QWidget* ring = DragHighlight::dragHighlightOf(*view);
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(ring->parentWidget(), view);
    EXPECT_EQ(ring->geometry(), view->rect());
    QImage image = grabbed(*view);
    EXPECT_TRUE(near(pixel(image, 1, 20), NamedColors::selectedControlColor()));
    EXPECT_EQ(pixel(image, 20, 20), QColor(Qt::white));

    DragHighlight::drawDragHighlightOutside(*view, true);
    ring = DragHighlight::dragHighlightOf(*view);
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(ring->parentWidget(), &parent);
    EXPECT_EQ(ring->geometry(), QRect(17, 17, 46, 46));

    DragHighlight::clearDragHighlightOutside(*view);
    EXPECT_EQ(DragHighlight::dragHighlightOf(*view), nullptr);
    image = grabbed(*view);
    EXPECT_EQ(pixel(image, 1, 20), QColor(Qt::white));

    ColoredView alone;
    DragHighlight::drawDragHighlightOutside(alone, true);
    EXPECT_EQ(DragHighlight::dragHighlightOf(alone), nullptr);
}

// --- windows and controls ---

TEST(widgetsWindows, CentresOnTheScreen) {
    QWidget window;
    window.resize(200, 100);
    WindowExtras::makeKeyAndOrderFrontandCenter(window);
    EXPECT_TRUE(window.isVisible());
    const QPointF centre = QRectF(window.frameGeometry()).center();
    const QPointF screenCentre = QRectF(window.screen()->geometry()).center();
    EXPECT_LE((centre - screenCentre).manhattanLength(), 1.0)
        << centre.x() << "," << centre.y() << " on " << screenCentre.x() << "," << screenCentre.y();
}

TEST(widgetsWindows, FocusedControlSeesThroughFieldEditors) {
    QWidget window;
    auto* spin = new QSpinBox(&window);
    auto* field = new QLineEdit(&window);
    EXPECT_EQ(WindowExtras::focusedControl(window), nullptr);
    field->setFocus();
    EXPECT_EQ(WindowExtras::focusedControl(window), field);
    spin->findChild<QLineEdit*>()->setFocus();
    EXPECT_EQ(WindowExtras::focusedControl(window), spin);
}

TEST(widgetsWindows, ProxyIconIsTheProgram) {
    QWidget window;
    WindowExtras::useAppProxyIcon(window);
    EXPECT_EQ(window.windowFilePath(), QCoreApplication::applicationFilePath());
}

TEST(widgetsWindows, SizeToFitOnlyInTheChosenDirections) {
    struct Case {
        bool height;
        bool width;
    };
    for (const Case c :
         {Case{false, false}, Case{true, false}, Case{false, true}, Case{true, true}}) {
        QPushButton button(QStringLiteral("A rather long button title"));
        button.setGeometry(5, 5, 10, 10);
        const QSize fit = button.sizeHint();
        const QSizeF change = ControlExtras::sizeToFitHeight(button, c.height, c.width);
        const QSize expected(c.width ? fit.width() : 10, c.height ? fit.height() : 10);
        EXPECT_EQ(button.size(), expected) << c.height << c.width;
        EXPECT_EQ(change, QSizeF(expected.width() - 10, expected.height() - 10))
            << c.height << c.width;
        EXPECT_EQ(button.pos(), QPoint(5, 5));
    }
}

}  // namespace
}  // namespace talvor
