#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>

#include <cstdint>

// The coloured event dots of the calendar cells, cut from one picture, "dots-big", that we
// draw in code. Colour index n (1 = first) has a 10-point band at y (n - 1) x 10:
//   x 0, 5 x 5      small dot for a day drawn on a filled swatch (white ring round the dot)
//   x 0, y + 5, 5 x 5  small dot for a plain day (solid dot, darker rim)
//   x 5, 10 x 10    big dot (white ring, darker rim)
// Colours 1-8: red #E53935, orange #FB8C00, yellow #FDD835, green #43A047, blue #1E88E5,
// purple #8E24AA, brown #795548, grey #757575. Other indexes draw nothing.
//
// The point given to the routines is the tile's lower-left corner (y down), truncated to
// whole points: pictures are placed that way in the flipped cell views that call these, so
// (x, y) = (mid-x - 2.5, mid-y + 2.5) centres a small dot.
namespace talvor {

inline constexpr int kDotColorCount = 8;

// The colour of dot index n (1...kDotColorCount); invalid outside.
QColor dotColor(std::int64_t n);

// The picture, made once and kept; its device pixel ratio gives crisp dots up to 4x.
const QImage& dotsBigImage();

// The number of dot kinds a sprite holds: its height in points over 10, truncated.
std::uint32_t numDots(const QImage& sprite);
// The kinds of "dots-big".
std::uint32_t numDots();

// The 5 x 5 small dot of index n; `filled` picks the variant for a filled day.
void renderDot(QPainter& painter, std::uint32_t n, bool filled, float x, float y);

// The 10 x 10 big dot of index n.
void renderBigDot(QPainter& painter, int n, float x, float y);

}  // namespace talvor
