#pragma once

#include <QPainterPath>
#include <QRectF>

// Rounded-rectangle and event-bar outlines. Rectangles are in y-down widget coordinates and
// corners are named as they appear on screen (lower = larger y).
namespace talvor::BezierExtras {

// The radius a rounded rectangle of `rect` really gets: at most half its shorter side.
float clampedRadius(const QRectF& rect, float radius);

// A rectangle with all four corners rounded by `radius` (clamped to half the shorter side).
QPainterPath bezierPathWithRoundRectInRect(const QRectF& rect, float radius);

// The same with only the chosen corners rounded; the others are square.
QPainterPath bezierPathWithRoundRectInRect(const QRectF& rect, float radius, bool ll, bool ul,
                                           bool ur, bool lr);

// An event bar: each side rounded (both its corners) or square, radius not clamped. A chop
// length above 0 cuts the upper-right corner diagonally, `chopCornerLength` along each edge.
QPainterPath bezierPathWithEventInRect(const QRectF& rect, float radius, bool left, bool right,
                                       float chopCornerLength);

}  // namespace talvor::BezierExtras
