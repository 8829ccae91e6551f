#include "platform/Menu.h"
#include "platform/MenuMirror.h"
#include "platform/OffscreenStatusBar.h"
#include "platform/PreferenceStore.h"
#include "platform/StatusBar.h"
#include "platform/StatusBarPainter.h"
#include "platform/StatusBarPanel.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QTest>
#include <QToolTip>

#include <cmath>

using namespace talvor::platform;

namespace {

QFont barFont() {
    return QFont(QStringLiteral("DejaVu Sans"), 14);
}

AttributedString styled(const QString& text, QColor color = Qt::black) {
    TextAttributes a;
    a.font = barFont();
    a.foregroundColor = color;
    return AttributedString(text, a);
}

QImage normalized(const QImage& image) {
    return image.convertToFormat(QImage::Format_ARGB32);
}

// Pixels of `rect` that differ from `background`.
int inkIn(const QImage& image, const QRect& rect, QColor background) {
    const QImage img = normalized(image);
    int ink = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (img.pixelColor(x, y) != background) {
                ++ink;
            }
        }
    }
    return ink;
}

// The bounding box of pixels darker than mid-grey.
QRect darkBox(const QImage& image) {
    const QImage img = normalized(image);
    QRect box;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (qGray(img.pixel(x, y)) < 128) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

QRect bodyOf(const QRectF& r) {
    // The bar's bottom row holds the border line.
    return r.toRect().adjusted(0, 0, 0, -2);
}

TEST(platformOffscreenStatusBar, DrawsTimeAndDateItemsAtTheirWidths) {
    StatusBar bar;
    // Created as the start-up creates them: date item first, so it stands rightmost.
    auto date = bar.statusItemWithLength(VariableStatusItemLength);
    auto time = bar.statusItemWithLength(VariableStatusItemLength);
    const QString dateText = QStringLiteral("Mon 12 May");
    date->setAttributedTitle(styled(dateText));
    date->setLength(widthOfString(dateText, barFont()) + 13.0);
    time->setHighlightMode(true);
    time->setAttributedTitle(styled(QStringLiteral("12:00:01 PM")));

    OffscreenStatusBar offscreen(bar, QSize(800, 600));
    const StatusBarStyle& style = offscreen.style();
    const double timeWidth =
        std::ceil(widthOfString(QStringLiteral("12:00:01 PM"), barFont()) + 2 * style.itemPadding);
    const QRectF dateRect = offscreen.itemRect(date.get());
    const QRectF timeRect = offscreen.itemRect(time.get());
    EXPECT_DOUBLE_EQ(dateRect.width(), widthOfString(dateText, barFont()) + 13.0);
    EXPECT_DOUBLE_EQ(timeRect.width(), timeWidth);
    EXPECT_DOUBLE_EQ(dateRect.right(), 800 - style.margin);
    EXPECT_DOUBLE_EQ(timeRect.right(), dateRect.left());
    EXPECT_EQ(date->windowFrame(), dateRect);
    EXPECT_EQ(time->windowFrame(), timeRect);

    const QImage image = offscreen.render();
    ASSERT_EQ(image.size(), QSize(800, static_cast<int>(bar.thickness())));
    EXPECT_GT(inkIn(image, bodyOf(timeRect), style.background), 40);
    EXPECT_GT(inkIn(image, bodyOf(dateRect), style.background), 40);
    EXPECT_EQ(
        inkIn(image, bodyOf(QRectF(0, 0, timeRect.left() - 1, bar.thickness())), style.background),
        0);

    // The next second retitles the item and moves its neighbours, nothing else.
    time->setAttributedTitle(styled(QStringLiteral("12:00:02 PM")));
    EXPECT_DOUBLE_EQ(offscreen.itemRect(date.get()).left(), dateRect.left());
    EXPECT_NE(normalized(offscreen.render()), normalized(image));
}

TEST(platformOffscreenStatusBar, SizesItemsByWhatTheyShow) {
    const StatusBarStyle style = defaultStatusBarStyle();
    const double text = widthOfString(QStringLiteral("Time"), style.font);
    const QImage icon16(16, 16, QImage::Format_ARGB32);
    const QImage icon48(48, 48, QImage::Format_ARGB32);
    struct Case {
        const char* what;
        double length;
        QString title;
        QImage image;
        double viewWidth;  // < 0: no view
        double expected;
    };
    const Case cases[] = {
        {"variable, text", VariableStatusItemLength, "Time", {}, -1, std::ceil(text + 12)},
        {"variable, image and text", VariableStatusItemLength, "Time", icon16, -1,
         std::ceil(16 + 3 + text + 12)},
        {"variable, image", VariableStatusItemLength, {}, icon16, -1, 28},
        {"variable, tall image fits the bar",
         VariableStatusItemLength,
         {},
         icon48,
         -1,
         StatusBarThickness + 12},
        {"variable, nothing", VariableStatusItemLength, {}, {}, -1, 0},
        {"variable, view", VariableStatusItemLength, "ignored", {}, 30, 30},
        {"fixed", 40, "Time", {}, -1, 40},
        {"fixed zero hides", 0, "Time", {}, -1, 0},
        {"square", SquareStatusItemLength, "Time", {}, -1, StatusBarThickness},
    };
    class Blank : public StatusItemView {
        void drawRect(QPainter&, const QRectF&) override {}
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StatusBar bar;
        auto item = bar.statusItemWithLength(c.length);
        item->setTitle(c.title);
        item->setImage(c.image);
        if (c.viewWidth >= 0) {
            auto view = std::make_shared<Blank>();
            view->setWidth(c.viewWidth);
            item->setView(view);
        }
        EXPECT_DOUBLE_EQ(statusItemWidth(*item, style), c.expected);
        OffscreenStatusBar offscreen(bar);
        EXPECT_EQ(offscreen.itemRect(item.get()).isEmpty(), c.expected == 0);
    }
}

TEST(platformOffscreenStatusBar, PlacesItemsRightToLeftInCreationOrderWithoutGaps) {
    StatusBar bar;
    std::vector<std::shared_ptr<StatusItem>> items;
    for (double w : {30.0, 0.0, 50.0, 20.0}) {
        items.push_back(bar.statusItemWithLength(w));
    }
    OffscreenStatusBar offscreen(bar, QSize(400, 300));
    const double right = 400 - offscreen.style().margin;
    EXPECT_EQ(offscreen.itemRect(items[0].get()), QRectF(right - 30, 0, 30, StatusBarThickness));
    EXPECT_TRUE(offscreen.itemRect(items[1].get()).isEmpty());
    EXPECT_EQ(offscreen.itemRect(items[2].get()), QRectF(right - 80, 0, 50, StatusBarThickness));
    EXPECT_EQ(offscreen.itemRect(items[3].get()), QRectF(right - 100, 0, 20, StatusBarThickness));
    EXPECT_TRUE(items[1]->windowFrame().isEmpty());

    bar.removeStatusItem(items[0].get());
    EXPECT_EQ(offscreen.itemRect(items[2].get()), QRectF(right - 50, 0, 50, StatusBarThickness));
    EXPECT_TRUE(items[0]->windowFrame().isEmpty());
    EXPECT_DOUBLE_EQ(naturalStatusBarWidth(bar, offscreen.style()),
                     70 + 2 * offscreen.style().margin);
}

// One item painted in a plain white strip, as dark ink on white.
QImage paintAlone(const StatusItem& item, double width) {
    StatusBarStyle style = defaultStatusBarStyle();
    style.background = Qt::white;
    QImage image(static_cast<int>(width), static_cast<int>(StatusBarThickness),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    paintStatusItem(p, item, QRectF(0, 0, width, StatusBarThickness), style);
    return image;
}

TEST(platformStatusItemPainting, DrawsShadowAlignmentButtonOffsetAndHighlight) {
    StatusBar bar;
    auto item = bar.statusItemWithLength(120);
    item->setAttributedTitle(styled(QStringLiteral("12:00"), Qt::black));
    const QRect plain = darkBox(paintAlone(*item, 120));
    ASSERT_FALSE(plain.isEmpty());

    // White text with a black shadow: the only dark pixels are the shadow's, offset right
    // and down by (2, -2) in y-up terms.
    TextAttributes shadowOnly;
    shadowOnly.font = barFont();
    shadowOnly.foregroundColor = QColor(Qt::white);
    shadowOnly.shadow = TextShadow{{2.0, -2.0}, 0.0, QColor(Qt::black)};
    item->setAttributedTitle(AttributedString(QStringLiteral("12:00"), shadowOnly));
    EXPECT_EQ(darkBox(paintAlone(*item, 120)), plain.translated(2, 2));
    shadowOnly.shadow.reset();
    item->setAttributedTitle(AttributedString(QStringLiteral("12:00"), shadowOnly));
    EXPECT_TRUE(darkBox(paintAlone(*item, 120)).isEmpty());

    item->setAttributedTitle(styled(QStringLiteral("12:00")));
    item->setAlignment(Qt::AlignLeft);
    const QRect left = darkBox(paintAlone(*item, 120));
    item->setAlignment(Qt::AlignRight);
    const QRect right = darkBox(paintAlone(*item, 120));
    const double slack = 120 - 2 * defaultStatusBarStyle().itemPadding -
                         widthOfString(QStringLiteral("12:00"), barFont());
    EXPECT_NEAR(right.left() - left.left(), slack, 1.0);
    item->setButtonFrame(item->buttonFrame().translated(4, 0));
    EXPECT_EQ(darkBox(paintAlone(*item, 120)), right.translated(4, 0));

    // Highlighted only in highlight mode.
    auto blank = bar.statusItemWithLength(40);
    blank->setHighlighted(true);
    EXPECT_EQ(inkIn(paintAlone(*blank, 40), QRect(0, 0, 40, 24), Qt::white), 0);
    blank->setHighlightMode(true);
    EXPECT_GT(inkIn(paintAlone(*blank, 40), QRect(0, 0, 40, 24), Qt::white), 200);
}

class RecordingView : public StatusItemView {
  public:
    void drawRect(QPainter& p, const QRectF& bounds) override {
        drawn.push_back(bounds);
        // Draws past its bounds on purpose: the item must clip it.
        p.fillRect(bounds.adjusted(-20, 0, 20, 0), Qt::blue);
    }
    void mouseDown(const StatusItemMouseEvent& e) override {
        events.push_back("down " + QString::number(e.position.x()));
    }
    void mouseUp(const StatusItemMouseEvent& e) override {
        events.push_back("up " + QString::number(e.position.x()));
    }
    std::vector<QRectF> drawn;
    QStringList events;
};

TEST(platformStatusItemPainting, CustomViewDrawsInsideItsItemOnly) {
    StatusBar bar;
    auto left = bar.statusItemWithLength(VariableStatusItemLength);
    auto view = std::make_shared<RecordingView>();
    view->setWidth(30);
    auto item = bar.statusItemWithLength(VariableStatusItemLength);
    left->setLength(10);
    item->setView(view);
    item->setTitle(QStringLiteral("not drawn"));
    OffscreenStatusBar offscreen(bar, QSize(200, 100));
    const QImage image = normalized(offscreen.render());
    ASSERT_FALSE(view->drawn.empty());
    EXPECT_EQ(view->drawn.back(), QRectF(0, 0, 30, StatusBarThickness));
    const QRectF r = offscreen.itemRect(item.get());
    EXPECT_EQ(image.pixelColor(static_cast<int>(r.center().x()), 5), QColor(Qt::blue));
    EXPECT_NE(image.pixelColor(static_cast<int>(r.left()) - 3, 5), QColor(Qt::blue));
    EXPECT_NE(image.pixelColor(static_cast<int>(r.right()) + 3, 5), QColor(Qt::blue));
}

TEST(platformOffscreenStatusBar, PressesDoWhatThePanelDoes) {
    StatusBar bar;
    auto withMenu = bar.statusItemWithLength(40);
    auto withAction = bar.statusItemWithLength(40);
    auto withView = bar.statusItemWithLength(VariableStatusItemLength);
    auto menu = Menu::create();
    QStringList heard;
    menu->setDelegate({.menuWillOpen = [&](Menu&) { heard << "open"; },
                       .menuDidClose = [&](Menu&) { heard << "close"; }});
    menu->addItemWithTitle(QStringLiteral("Quit"), [&](MenuItem&) { heard << "quit"; });
    withMenu->setMenu(menu);
    withMenu->setHighlightMode(true);
    int clicks = 0;
    withAction->setAction([&](StatusItem&) { ++clicks; });
    auto view = std::make_shared<RecordingView>();
    view->setWidth(30);
    withView->setView(view);
    OffscreenStatusBar offscreen(bar);

    offscreen.click(*withMenu);
    EXPECT_EQ(offscreen.openMenu(), menu);
    EXPECT_TRUE(withMenu->isHighlighted());
    EXPECT_TRUE(menu->isOpen());
    EXPECT_TRUE(offscreen.chooseMenuItem(0));
    EXPECT_FALSE(withMenu->isHighlighted());
    EXPECT_EQ(heard, QStringList({"open", "close", "quit"}));

    offscreen.click(*withAction);
    offscreen.mouseDown(*withAction);
    offscreen.mouseUp(*withAction, Qt::LeftButton, 0, 0, /*inside=*/false);
    EXPECT_EQ(clicks, 1);

    offscreen.click(*withView);
    EXPECT_EQ(view->events, QStringList({"down 15", "up 15"}));

    // A view opens a menu of its own choosing under its item.
    withView->popUpStatusItemMenu(menu);
    EXPECT_EQ(offscreen.openMenuItem(), withView.get());
    offscreen.click(*withAction);  // a press elsewhere only closes the menu
    EXPECT_EQ(offscreen.openMenu(), nullptr);
    EXPECT_EQ(clicks, 1);
}

TEST(platformOffscreenStatusBar, ScreenShowsTheOpenMenuUnderItsItem) {
    StatusBar bar;
    auto time = bar.statusItemWithLength(VariableStatusItemLength);
    time->setTitle(QStringLiteral("12:00:01 PM"));
    auto menu = Menu::create();
    menu->addItemWithTitle(QStringLiteral("Alarms..."), [](MenuItem&) {});
    menu->addItemWithTitle(QStringLiteral("Quit Talvor"), [](MenuItem&) {});
    time->setMenu(menu);
    OffscreenStatusBar offscreen(bar, QSize(600, 400));
    const QImage closed = normalized(offscreen.renderScreen());
    offscreen.click(*time);
    const QImage open = normalized(offscreen.renderScreen());
    const QImage menuImage = OffscreenStatusBar::renderMenu(menu);
    ASSERT_EQ(open.height(), static_cast<int>(StatusBarThickness) + menuImage.height() + 24);
    // Under the item, pulled left as far as it must to stay on the screen.
    const int x =
        std::min(static_cast<int>(offscreen.itemRect(time.get()).left()), 600 - menuImage.width());
    const QRect under(x, static_cast<int>(StatusBarThickness), menuImage.width(),
                      menuImage.height());
    EXPECT_EQ(open.copy(under), normalized(menuImage));
    EXPECT_EQ(open.copy(0, 0, 600, 24), normalized(offscreen.render()));
    EXPECT_EQ(closed.height(), static_cast<int>(StatusBarThickness) + 24);
}

TEST(platformStatusBarPanel, PaintsExactlyWhatTheOffscreenPresenterPaints) {
    StatusBar bar;
    auto date = bar.statusItemWithLength(VariableStatusItemLength);
    auto time = bar.statusItemWithLength(VariableStatusItemLength);
    date->setAttributedTitle(styled(QStringLiteral("Mon 12 May")));
    TextAttributes shadowed;
    shadowed.font = barFont();
    shadowed.shadow = TextShadow{{2.0, -2.0}, 1.0, QColor(0, 0, 0, 85)};
    time->setAttributedTitle(AttributedString(QStringLiteral("12:00:01 PM"), shadowed));
    time->setImage(QImage(16, 16, QImage::Format_ARGB32_Premultiplied));

    MemoryPreferenceStore store;
    StatusBarPanel panel(bar, {StatusBarPanel::Mode::Floating, &store});
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    OffscreenStatusBar offscreen(bar);
    const QImage shown = normalized(panel.grab().toImage());
    const QImage rendered = normalized(offscreen.renderNatural(shown.devicePixelRatio()));
    ASSERT_EQ(shown.size(), rendered.size());
    EXPECT_TRUE(shown == rendered);
}

// Records the texts of the tool tips that come up.
class TipWatcher : public QObject {
  public:
    TipWatcher() { qApp->installEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Show && o->objectName() == QLatin1String("qtooltip_label")) {
            if (auto* label = qobject_cast<QLabel*>(o)) {
                shown << label->text();
            }
        }
        return false;
    }
    QStringList shown;
};

// The strip never takes the focus, so it is never the active window; its items' tool tips
// (the moon's phase, the date) must show all the same when the pointer rests on them.
TEST(platformStatusBarPanel, ToolTipsShowWhileAnotherWindowIsActive) {
    StatusBar bar;
    auto date = bar.statusItemWithLength(VariableStatusItemLength);
    date->setAttributedTitle(styled(QStringLiteral("Mon 12 May")));
    date->setToolTip(QStringLiteral("Waxing Gibbous"));
    MemoryPreferenceStore store;
    StatusBarPanel panel(bar, {StatusBarPanel::Mode::Floating, &store});
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));

    QWidget other;
    other.setGeometry(300, 300, 120, 80);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    ASSERT_FALSE(panel.isActiveWindow());

    QToolTip::hideText();
    // Tool tips come only while no button is held; an earlier test may have left one down.
    for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        QTest::mouseRelease(&other, b, {}, QPoint(5, 5));
    }
    TipWatcher tips;
    // A move from elsewhere: the pointer may rest where an earlier test left it.
    QTest::mouseMove(&panel, QPoint(1, 1));
    QTest::mouseMove(&panel, panel.rect().center());
    for (int waited = 0; waited < 3000 && tips.shown.isEmpty(); waited += 20) {
        QTest::qWait(20);
    }
    EXPECT_EQ(tips.shown, QStringList{QStringLiteral("Waxing Gibbous")});
    QToolTip::hideText();
}

// Records the regions the panel repaints.
class PaintRecorder : public QObject {
  public:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(e)->region();
        }
        return false;
    }
    QRegion painted;
};

// A floating panel on the screen, with what it repaints after a change.
class WatchedPanel {
  public:
    explicit WatchedPanel(StatusBar& bar)
        : bar_(bar), panel_(bar, {StatusBarPanel::Mode::Floating, &store_}) {
        panel_.show();
        exposed_ = QTest::qWaitForWindowExposed(&panel_);
        panel_.installEventFilter(&recorder_);
    }
    bool exposed() const { return exposed_; }
    StatusBarPanel& panel() { return panel_; }

    QRegion repaintAfter(const std::function<void()>& change) {
        recorder_.painted = QRegion();
        change();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !recorder_.painted.isEmpty(); }, 2000));
        return recorder_.painted;
    }
    // What was repainted piecemeal is still exactly what the offscreen presenter paints.
    bool showsAWholeRepaint() {
        OffscreenStatusBar offscreen(bar_);
        const QImage shown = normalized(panel_.grab().toImage());
        return shown == normalized(offscreen.renderNatural(shown.devicePixelRatio()));
    }

  private:
    StatusBar& bar_;
    MemoryPreferenceStore store_;
    StatusBarPanel panel_;
    PaintRecorder recorder_;
    bool exposed_ = false;
};

// The tick retitles an item every second: a text of the same width repaints that item
// alone, while a wider one moves its neighbours and repaints the strip.
TEST(platformStatusBarPanel, ANewTextOfTheSameWidthRepaintsOnlyItsItem) {
    StatusBar bar;
    auto date = bar.statusItemWithLength(VariableStatusItemLength);
    auto time = bar.statusItemWithLength(VariableStatusItemLength);
    date->setAttributedTitle(styled(QStringLiteral("Mon 12 May")));
    time->setAttributedTitle(styled(QStringLiteral("12:00:01 PM")));
    WatchedPanel watched(bar);
    ASSERT_TRUE(watched.exposed());
    const auto retitle = [&](const QString& title) {
        return watched.repaintAfter([&] { time->setAttributedTitle(styled(title)); });
    };

    ASSERT_EQ(widthOfString(QStringLiteral("12:00:02 PM"), barFont()),
              widthOfString(QStringLiteral("12:00:01 PM"), barFont()));
    EXPECT_EQ(retitle(QStringLiteral("12:00:02 PM")),
              QRegion(watched.panel().itemRect(time.get()).toAlignedRect()));
    const QRegion widened = retitle(QStringLiteral("12:00:02 PM and more"));
    EXPECT_EQ(widened, QRegion(watched.panel().rect()));
    retitle(QStringLiteral("12:00:03 PM and more"));
    EXPECT_TRUE(watched.showsAWholeRepaint());
}

// Items of fractional widths share a pixel column with their neighbours: the tick's repaint
// keeps to the changed item's whole pixels, so a neighbour is neither laid out nor drawn
// again, and the strip still shows what a whole repaint would. A highlight coming or going
// reaches into the shared columns and repaints the strip.
TEST(platformStatusBarPanel, ATickDrawsNoNeighbourOfTheChangedItem) {
    StatusBar bar;
    auto left = bar.statusItemWithLength(40.5);
    auto time = bar.statusItemWithLength(VariableStatusItemLength);
    auto right = bar.statusItemWithLength(30.25);
    auto leftView = std::make_shared<RecordingView>();
    auto rightView = std::make_shared<RecordingView>();
    left->setView(leftView);
    right->setView(rightView);
    time->setAttributedTitle(styled(QStringLiteral("12:00:01 PM")));
    WatchedPanel watched(bar);
    ASSERT_TRUE(watched.exposed());
    StatusBarPanel& panel = watched.panel();
    ASSERT_NE(panel.itemRect(time.get()).left(), std::floor(panel.itemRect(time.get()).left()))
        << "the time item should start inside a pixel";

    leftView->drawn.clear();
    rightView->drawn.clear();
    const QRegion ticked = watched.repaintAfter(
        [&] { time->setAttributedTitle(styled(QStringLiteral("12:00:02 PM"))); });
    EXPECT_FALSE(
        ticked.intersects(panel.itemRect(left.get()).toAlignedRect().adjusted(0, 0, -1, 0)));
    EXPECT_TRUE(leftView->drawn.empty());
    EXPECT_TRUE(rightView->drawn.empty());
    EXPECT_TRUE(watched.showsAWholeRepaint());

    time->setHighlightMode(true);
    EXPECT_EQ(watched.repaintAfter([&] { time->setHighlighted(true); }), QRegion(panel.rect()));
    EXPECT_EQ(watched.repaintAfter([&] { time->setHighlighted(false); }), QRegion(panel.rect()));
}

TEST(platformStatusBarPanel, PressesOpenMenusRunActionsAndReachViews) {
    StatusBar bar;
    auto withMenu = bar.statusItemWithLength(VariableStatusItemLength);
    auto withAction = bar.statusItemWithLength(VariableStatusItemLength);
    auto withView = bar.statusItemWithLength(VariableStatusItemLength);
    withMenu->setTitle(QStringLiteral("Time"));
    withMenu->setHighlightMode(true);
    withAction->setTitle(QStringLiteral("Date"));
    auto menu = Menu::create();
    bool willOpen = false;
    menu->setDelegate({.menuWillOpen = [&](Menu&) { willOpen = true; }});
    menu->addItemWithTitle(QStringLiteral("Quit"), [](MenuItem&) {});
    withMenu->setMenu(menu);
    int clicks = 0;
    withAction->setAction([&](StatusItem&) { ++clicks; });
    auto view = std::make_shared<RecordingView>();
    view->setWidth(30);
    withView->setView(view);

    MemoryPreferenceStore store;
    StatusBarPanel panel(bar, {StatusBarPanel::Mode::Floating, &store});
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    const QRectF menuRect = panel.itemRect(withMenu.get());
    EXPECT_EQ(withMenu->windowFrame(),
              QRectF(QPointF(panel.mapToGlobal(menuRect.topLeft())), menuRect.size()));

    QTest::mouseClick(&panel, Qt::LeftButton, {},
                      panel.itemRect(withAction.get()).center().toPoint());
    EXPECT_EQ(clicks, 1);
    QTest::mouseClick(&panel, Qt::LeftButton, {},
                      panel.itemRect(withView.get()).center().toPoint());
    EXPECT_EQ(view->events, QStringList({"down 15", "up 15"}));

    QTest::mousePress(&panel, Qt::LeftButton, {}, menuRect.center().toPoint());
    ASSERT_NE(panel.openMenuMirror(), nullptr);
    QMenu* shown = panel.openMenuMirror()->menu();
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(QApplication::activePopupWidget(), shown);
    EXPECT_TRUE(willOpen);
    EXPECT_TRUE(withMenu->isHighlighted());
    // Under the item, moved left only as far as the screen's edge asks.
    EXPECT_EQ(shown->pos().y(), panel.mapToGlobal(menuRect.bottomLeft().toPoint()).y());
    EXPECT_LE(shown->pos().x(), panel.mapToGlobal(menuRect.bottomLeft().toPoint()).x());
    EXPECT_LE(shown->geometry().right(), panel.screen()->geometry().right());
    shown->hide();
    EXPECT_FALSE(withMenu->isHighlighted());
    EXPECT_FALSE(menu->isOpen());
    EXPECT_EQ(panel.openMenuMirror(), nullptr);

    // Removing the item while its menu is open closes the menu.
    withMenu->popUpStatusItemMenu(menu);
    ASSERT_NE(panel.openMenuMirror(), nullptr);
    bar.removeStatusItem(withMenu.get());
    EXPECT_FALSE(menu->isOpen());
    EXPECT_TRUE(panel.itemRect(withMenu.get()).isEmpty());
}

TEST(platformStatusBarPanel, FloatingPanelRemembersWhereTheUserPutIt) {
    StatusBar bar;
    auto item = bar.statusItemWithLength(VariableStatusItemLength);
    item->setTitle(QStringLiteral("12:00:01 PM"));
    MemoryPreferenceStore store;
    QRect moved;
    {
        StatusBarPanel panel(bar, {StatusBarPanel::Mode::Floating, &store});
        EXPECT_EQ(panel.mode(), StatusBarPanel::Mode::Floating);
        panel.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
        const QRect screen = panel.screen()->availableGeometry();
        EXPECT_EQ(panel.geometry().topRight(), screen.topRight());
        panel.move(100, 200);
        moved = panel.geometry();
    }
    const QVariantMap saved = store.value(StatusBarPanel::PositionKey).toMap();
    EXPECT_EQ(saved.value("Right").toInt(), moved.right());
    EXPECT_EQ(saved.value("Top").toInt(), moved.top());

    StatusBarPanel again(bar, {StatusBarPanel::Mode::Floating, &store});
    EXPECT_EQ(again.geometry(), moved);
    // A longer title widens it leftwards: the right edge stays.
    item->setTitle(QStringLiteral("12:00:01 PM and more"));
    EXPECT_EQ(again.geometry().right(), moved.right());
    EXPECT_GT(again.geometry().width(), moved.width());
}

}  // namespace
