#pragma once

#include "BigCalendarMonthCounts.h"

#include <QDate>
#include <QList>
#include <QSize>

namespace talvor {

class myCalProView;

// The months the big calendar shows: the chosen number, and the counts across and down that
// the view's size holds. The view is handed to each call, so the layout stays a plain value.
class BigCalendarLayout {
  public:
    using Counts = BigCalendarMonthCounts;

    // `showNoOfCalendar` is the stored months-shown choice.
    explicit BigCalendarLayout(int showNoOfCalendar);

    // The months of the choice (0: as many as the view holds, at most a year).
    int months() const { return months_; }
    // Takes the months-shown choice again; true when it is a new one.
    bool choose(int showNoOfCalendar);
    // Shows the months of the choice in `view`; the counts it shows.
    Counts showChoice(myCalProView& view) const;
    // Fits the months to the view's present size; a hidden view keeps its months.
    void fitToView(myCalProView& view);
    // The counts shown before a zoom, shown again after it.
    void keepShown(const myCalProView& view);
    void restoreKept(myCalProView& view) const;

    // The counts `view` shows.
    static Counts shown(const myCalProView& view);
    // The first day of each month `view` shows, in reading order.
    static QList<QDate> shownMonths(const myCalProView& view);
    // The window's size for `counts`, with `otherRoom` of height for what is not the months.
    static QSize windowSize(Counts counts, int otherRoom);

  private:
    int months_ = 1;
    bool fitting_ = false;
    Counts kept_;
};

}  // namespace talvor
