#pragma once

#include "FloatingOptions.h"

#include <QRectF>
#include <QSizeF>

#include <vector>

namespace talvor {

// What the measuring pass found over the floating locations' label texts.
struct FloatingExtents {
    double textWidth = 0;    // the widest text + 3
    double belowHeight = 0;  // the tallest text below a dial + 1
    double aboveHeight = 0;  // the tallest text above a dial + 1
    int count = 0;           // floating locations
};

// Where one location's dial and labels go, in window coordinates (y grows downwards). A
// label of no height is not shown.
struct FloatingCellFrames {
    QRectF dial;
    QRectF above;
    QRectF below;
};

struct FloatingGrid {
    int columns = 0;
    int rows = 0;
    double dialSize = 0;  // 0 in digital mode
    double cellWidth = 0;
    double belowHeight = 0;  // -1 when no text goes below the dials
    double aboveHeight = 0;  // -1 when no text goes above them
    double spacing = 0;
    QSizeF contentSize;
    // In the order of the location list: the first location top left, then left to right,
    // top to bottom.
    std::vector<FloatingCellFrames> cells;
};

// The grid of `extents.count` clocks; no cells for no locations.
FloatingGrid layoutFloatingClocks(const FloatingOptions& options, const FloatingExtents& extents);

}  // namespace talvor
