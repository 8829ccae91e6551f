#include "FloatingLayout.h"

#include <algorithm>
#include <cmath>

namespace talvor {
namespace {

// The layout arithmetic counts upwards from the bottom of the window; Qt counts downwards.
QRectF fromBottomUp(double x, double y, double width, double height, double windowHeight) {
    const double h = std::max(0.0, height);
    return QRectF(x, windowHeight - (y + height), std::max(0.0, width), h);
}

}  // namespace

FloatingGrid layoutFloatingClocks(const FloatingOptions& options, const FloatingExtents& extents) {
    FloatingGrid grid;
    const int n = extents.count;
    if (n <= 0) {
        return grid;
    }
    grid.columns = std::max(1, std::min(options.iFloaterColumns, n));
    grid.rows = (n + grid.columns - 1) / grid.columns;
    grid.spacing = std::max(0.0, static_cast<double>(options.fFloaterSpacing));
    grid.dialSize = options.aDigital != 0
                        ? 0.0
                        : std::max(16.0, static_cast<double>(options.fFloaterClockSize));
    grid.belowHeight = options.showsBelowText() ? extents.belowHeight : -1.0;
    const bool noDayOrDate = options.ShowDay == 0 && options.ShowDate == 0;
    grid.aboveHeight = (noDayOrDate || !options.showsAboveText()) ? -1.0 : extents.aboveHeight;

    const double S = grid.dialSize;
    const double L = grid.belowHeight;
    const double T = grid.aboveHeight;
    const double sp = grid.spacing;
    const double W = extents.textWidth;
    const double cw = S > W + 5.5 ? S : W + 5.5;
    grid.cellWidth = cw;
    const double width = grid.columns * (cw + sp) - sp;
    const double height = grid.rows * (S + L + 2 * T + sp) + 2.0;
    grid.contentSize = QSizeF(width, height);

    grid.cells.reserve(static_cast<std::size_t>(n));
    for (int m = 0; m < n; ++m) {
        const int column = m % grid.columns;
        const int row = m / grid.columns + 1;
        const double x = column * (cw + sp);
        const double yTop = height - row * (S + sp + L + T);
        FloatingCellFrames cell;
        const double dialWidth = S > cw ? S : cw + 0.5;
        cell.dial =
            fromBottomUp(x + (cw - std::max(S, cw)) / 2, yTop + L - T, dialWidth, S, height);
        cell.below = fromBottomUp(x, yTop - T, cw + 0.5, L + 0.5, height);
        cell.above = fromBottomUp(x, yTop + L + S - T, cw + 0.5, T + 0.5, height);
        grid.cells.push_back(cell);
    }
    return grid;
}

}  // namespace talvor
