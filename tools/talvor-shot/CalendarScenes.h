#pragma once

#include <QImage>

namespace talvor::shot {

// The calendar windows on Monday 12 May 2025, the day of the demo bar, weeks from Monday.
QImage renderMiniCalendar(double scale);
QImage renderBigCalendar(double scale);
// Twelve months under the calendar's picture, and the moon of the 20th in its window.
QImage renderBigCalendarYear(double scale);
// The big calendar with the Hebrew calendar's month starts marked and named.
QImage renderBigCalendarSecondCalendar(double scale);
// The date item's calendar leaf (no moon, no date text) for the 1st, 9th, 10th and 28th, on
// a strip 22 points high.
QImage renderCalendarLeaves(double scale);
// The single month grid in one of its layouts (0-8): two months of May and June 2025 with a
// drawn landscape as their picture (one month in the corner of the picture for layout 8).
QImage renderMonthGridLayout(int layout, double scale);

}  // namespace talvor::shot
