#include "CalendarPlacement.h"

#include <algorithm>

namespace talvor::CalendarPlacement {

QRectF keptOnScreen(const QRectF& frame, const QRectF& area) {
    if (area.isEmpty()) {
        return frame;
    }
    QRectF kept = frame;
    // Right and bottom first, then left and top, so that the top-left corner wins when the
    // window cannot fit.
    if (kept.right() > area.right()) {
        kept.moveRight(area.right());
    }
    if (kept.bottom() > area.bottom()) {
        kept.moveBottom(area.bottom());
    }
    kept.moveLeft(std::max(kept.left(), area.left()));
    kept.moveTop(std::max(kept.top(), area.top()));
    return kept;
}

QRectF anchoredFrame(const QRectF& anchor, const QSizeF& size, const QRectF& area) {
    if (anchor.isEmpty()) {
        return keptOnScreen(QRectF(QPointF(area.right() - size.width(), area.top()), size), area);
    }
    const double room = area.isEmpty() ? size.width() + 1 : area.right() - anchor.left();
    const double x = room > size.width() ? anchor.left() : anchor.right() - size.width();
    return keptOnScreen(QRectF(QPointF(x, anchor.bottom()), size), area);
}

}  // namespace talvor::CalendarPlacement
