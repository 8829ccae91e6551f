#pragma once

#include "AttributedString.h"
#include "StatusBar.h"

#include <QColor>
#include <QFont>
#include <QRectF>

#include <vector>

class QPainter;

namespace talvor::platform {

// The look of our own menu bar, shared by every presenter so that they draw the same pixels.
struct StatusBarStyle {
    QFont font;  // titles without a font of their own
    QColor text{Qt::black};
    QColor background{246, 246, 246};
    QColor border{196, 196, 196};
    QColor highlight{0, 0, 0, 46};
    double itemPadding = 6.0;  // each side of title and image in a variable-length item
    double imageGap = 3.0;     // between image and title
    double margin = 8.0;       // between the bar's ends and its outermost items
};

// The bar's default style: the application's font family at 14 points.
StatusBarStyle defaultStatusBarStyle();

// Width of an item: its length when fixed, the bar's thickness when square, its view's
// width when it has a view, else its title and image with padding. 0 for a hidden item.
double statusItemWidth(const StatusItem& item, const StatusBarStyle& style);

struct PlacedStatusItem {
    StatusItem* item;
    QRectF rect;
};
// Items right-aligned in `bar`, as on the original system's menu bar: the first created stands
// rightmost, each later one to the left of those before it. Hidden items are left out.
std::vector<PlacedStatusItem> layoutStatusBar(const StatusBar& statusBar, const QRectF& bar,
                                              const StatusBarStyle& style);
// The narrowest bar that holds every item with the margins.
double naturalStatusBarWidth(const StatusBar& statusBar, const StatusBarStyle& style);

void paintStatusBarBackground(QPainter& painter, const QRectF& bar, const StatusBarStyle& style);
// Draws one item in `rect`: its view, or highlight, image and title.
void paintStatusItem(QPainter& painter, const StatusItem& item, const QRectF& rect,
                     const StatusBarStyle& style);

// What a press on an item does, the same in every presenter.
enum class StatusItemPress {
    None,       // nothing to do
    View,       // delivered to the item's view (mouseUp follows on release)
    OpenMenu,   // the presenter opens the item's menu
    TrackClick  // the item's action runs if the release is on the item
};
StatusItemPress pressStatusItem(StatusItem& item, const StatusItemMouseEvent& event);
void releaseStatusItem(StatusItem& item, StatusItemPress press, const StatusItemMouseEvent& event,
                       bool inside);

}  // namespace talvor::platform
