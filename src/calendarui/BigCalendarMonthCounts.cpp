#include "BigCalendarMonthCounts.h"

#include <algorithm>
#include <cmath>

namespace talvor {

int BigCalendarMonthCounts::monthsOfChoice(int showNoOfCalendar) {
    switch (showNoOfCalendar) {
        case 1:
        case 6:
        case 12:
            return showNoOfCalendar;
        default:
            return 0;
    }
}

BigCalendarMonthCounts BigCalendarMonthCounts::forMonths(int months) {
    switch (months) {
        case 3:
            return {3, 1};
        case 6:
            return {3, 2};
        case 12:
            return {4, 3};
        default:
            return {1, 1};
    }
}

BigCalendarMonthCounts BigCalendarMonthCounts::toFit(const QSizeF& area) {
    const QSize room = cell();
    const BigCalendarMonthCounts fits{std::max(1, static_cast<int>(area.width() / room.width())),
                                      std::max(1, static_cast<int>(area.height() / room.height()))};
    if (fits.across * fits.down <= 12) {
        return fits;
    }
    // The most months up to a year; of equal counts, the months nearest their own shape.
    BigCalendarMonthCounts best{1, 1};
    double bestSkew = 0;
    for (int across = std::min(fits.across, 12); across >= 1; --across) {
        const BigCalendarMonthCounts counts{across, std::min(fits.down, 12 / across)};
        const double skew = std::abs(std::log((area.width() / counts.across / room.width()) /
                                              (area.height() / counts.down / room.height())));
        const int months = counts.across * counts.down;
        if (months > best.across * best.down ||
            (months == best.across * best.down && skew < bestSkew)) {
            best = counts;
            bestSkew = skew;
        }
    }
    return best;
}

BigCalendarMonthCounts BigCalendarMonthCounts::forResize(int noOfCal,
                                                         BigCalendarMonthCounts current,
                                                         BigCalendarMonthCounts fits) {
    const int H = current.across;
    const int V = current.down;
    fits.across = std::max(1, fits.across);
    fits.down = std::max(1, fits.down);
    switch (noOfCal) {
        case 1:
            return {1, 1};
        case 3:
            if (H * V > 3) {
                static constexpr BigCalendarMonthCounts three[] = {{1, 3}, {3, 1}, {3, 1}};
                return H <= 3 ? three[H - 1] : BigCalendarMonthCounts{3, 1};
            }
            return fits.across * fits.down < 4 ? fits : current;
        case 6:
            if (H * V >= 7) {
                static constexpr int down[] = {6, 3, 2, 1, 1, 1};
                return H <= 6 ? BigCalendarMonthCounts{H, down[H - 1]}
                              : BigCalendarMonthCounts{6, 1};
            }
            return fits.across * fits.down < 7 ? fits : current;
        case 12:
            if (H * V > 12) {
                static constexpr int down[] = {12, 6, 4, 3, 2, 2, 1, 1, 1, 1, 1, 1};
                return H <= 12 ? BigCalendarMonthCounts{H, down[H - 1]}
                               : BigCalendarMonthCounts{12, 1};
            }
            return fits.across * fits.down < 13 ? fits : current;
        default:
            return toFit(QSizeF(fits.across * cell().width(), fits.down * cell().height()));
    }
}

}  // namespace talvor
