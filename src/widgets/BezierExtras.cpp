#include "BezierExtras.h"

#include <algorithm>

namespace talvor::BezierExtras {
namespace {

// A quarter arc of radius r around `centre`; angles count counter-clockwise on screen.
void arc(QPainterPath& path, QPointF centre, float r, double startAngle) {
    const QRectF box(centre.x() - r, centre.y() - r, 2.0 * r, 2.0 * r);
    if (path.elementCount() == 0) {
        path.arcMoveTo(box, startAngle);  // else arcTo draws a line from (0, 0)
    }
    path.arcTo(box, startAngle, 90.0);
}

void cornerOrArc(QPainterPath& path, bool round, QPointF centre, float r, double startAngle,
                 QPointF corner) {
    if (round) {
        arc(path, centre, r, startAngle);
    } else if (path.elementCount() == 0) {
        path.moveTo(corner);
    } else {
        path.lineTo(corner);
    }
}

}  // namespace

float clampedRadius(const QRectF& rect, float radius) {
    const double half = std::min(rect.width(), rect.height()) / 2.0;
    return std::max(0.0f, std::min(radius, static_cast<float>(half)));
}

QPainterPath bezierPathWithRoundRectInRect(const QRectF& rect, float radius) {
    return bezierPathWithRoundRectInRect(rect, radius, true, true, true, true);
}

QPainterPath bezierPathWithRoundRectInRect(const QRectF& rect, float radius, bool ll, bool ul,
                                           bool ur, bool lr) {
    const float r = clampedRadius(rect, radius);
    const QRectF inner = rect.adjusted(r, r, -r, -r);
    QPainterPath path;
    // Counter-clockwise on screen from the lower-left corner.
    cornerOrArc(path, ll, QPointF(inner.left(), inner.bottom()), r, 180, rect.bottomLeft());
    cornerOrArc(path, lr, QPointF(inner.right(), inner.bottom()), r, 270, rect.bottomRight());
    cornerOrArc(path, ur, QPointF(inner.right(), inner.top()), r, 0, rect.topRight());
    cornerOrArc(path, ul, QPointF(inner.left(), inner.top()), r, 90, rect.topLeft());
    path.closeSubpath();
    return path;
}

QPainterPath bezierPathWithEventInRect(const QRectF& rect, float radius, bool left, bool right,
                                       float chopCornerLength) {
    const QRectF inner = rect.adjusted(radius, radius, -radius, -radius);
    const float c = chopCornerLength;
    QPainterPath path;
    cornerOrArc(path, left, QPointF(inner.left(), inner.bottom()), radius, 180, rect.bottomLeft());
    cornerOrArc(path, right, QPointF(inner.right(), inner.bottom()), radius, 270,
                rect.bottomRight());
    if (c > 0) {
        path.lineTo(rect.right(), rect.top() + c);
        path.lineTo(rect.right() - c, rect.top());
    } else {
        cornerOrArc(path, right, QPointF(inner.right(), inner.top()), radius, 0, rect.topRight());
    }
    cornerOrArc(path, left, QPointF(inner.left(), inner.top()), radius, 90, rect.topLeft());
    path.closeSubpath();
    return path;
}

}  // namespace talvor::BezierExtras
