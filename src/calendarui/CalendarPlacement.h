#pragma once

#include <QRectF>
#include <QSizeF>

// Where the calendar windows go on the screen. Global screen coordinates, y down.
namespace talvor::CalendarPlacement {

// `frame` moved as little as possible to lie inside `area`. A frame larger than the area
// keeps its top-left corner in it (the title and first days stay visible). An empty area (no
// screen) leaves the frame as it is.
QRectF keptOnScreen(const QRectF& frame, const QRectF& area);

// A window of `size` hanging under `anchor` (the date item's frame): its top at the anchor's
// bottom, its left edge at the anchor's when the window fits between there and the area's
// right edge, else its right edge at the anchor's; then kept on screen. Without an anchor
// (empty) the window goes to the area's top-right corner.
QRectF anchoredFrame(const QRectF& anchor, const QSizeF& size, const QRectF& area);

}  // namespace talvor::CalendarPlacement
