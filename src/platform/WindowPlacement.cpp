#include "WindowPlacement.h"

#include "Screens.h"

#include <QWidget>

#include <algorithm>
#include <cmath>

namespace talvor::platform {
namespace {

// The whole pixels inside `area`.
QRect innerPixels(const QRectF& area) {
    const QPoint topLeft(static_cast<int>(std::ceil(area.left())),
                         static_cast<int>(std::ceil(area.top())));
    const QPoint bottomRight(static_cast<int>(std::floor(area.right())) - 1,
                             static_cast<int>(std::floor(area.bottom())) - 1);
    return QRect(topLeft, bottomRight);
}

int clampedStart(int start, int length, int areaStart, int areaLength) {
    return std::clamp(start, areaStart, std::max(areaStart, areaStart + areaLength - length));
}

}  // namespace

void placeInFreeArea(QWidget& window, const QWidget* over) {
    const QWidget* anchorWindow = over != nullptr ? over->window() : nullptr;
    const QPointF anchor = anchorWindow != nullptr ? QRectF(anchorWindow->frameGeometry()).center()
                           : window.isVisible()    ? QRectF(window.frameGeometry()).center()
                                                   : Screens::shared().mouseLocation();
    const QRect free = innerPixels(Screens::shared().freeArea(anchor));
    if (free.isEmpty()) {
        return;
    }
    if (!window.isVisible() && !window.testAttribute(Qt::WA_Resized)) {
        window.adjustSize();  // what showing it would do first
    }
    // Known once the window manager framed the window; none without one.
    const QSize decorations = window.frameGeometry().size() - window.size();
    const QSize room = free.size() - decorations;
    if (window.width() > room.width() || window.height() > room.height()) {
        window.resize(window.size().boundedTo(room).expandedTo(window.minimumSize()));
    }
    QRect frame(QPoint(), window.size() + decorations);
    frame.moveCenter(anchorWindow != nullptr ? anchorWindow->frameGeometry().center()
                                             : free.center());
    frame.moveTo(clampedStart(frame.left(), frame.width(), free.left(), free.width()),
                 clampedStart(frame.top(), frame.height(), free.top(), free.height()));
    window.move(frame.topLeft());
}

}  // namespace talvor::platform
