#pragma once

#include <QSize>
#include <QSizeF>

namespace talvor {

// How many months the big calendar shows across and down, and the rules that pick them for a
// chosen number of months and a size.
struct BigCalendarMonthCounts {
    int across = 1;
    int down = 1;
    bool operator==(const BigCalendarMonthCounts&) const = default;

    // The smallest room of one month.
    static QSize cell() { return {230, 190}; }
    // Months to show for the months-shown choice ("NoOfCalendarToShow", the number the
    // calendar pane stores): 1, 6 or 12; 0 for any other value (the pane's unlimited choice),
    // as many as the window holds (at most a year).
    static int monthsOfChoice(int showNoOfCalendar);
    // The layout the window opens with for a number of months (0: one month).
    static BigCalendarMonthCounts forMonths(int months);
    // As many months as fit `area`, at most a year, each as near the shape of cell().
    static BigCalendarMonthCounts toFit(const QSizeF& area);
    // The months across and down after a resize: the current counts, the counts that fit the
    // new size (each at least 1), and the chosen number of months (0: as many as fit, at most
    // a year).
    static BigCalendarMonthCounts forResize(int noOfCal, BigCalendarMonthCounts current,
                                            BigCalendarMonthCounts fits);
};

}  // namespace talvor
