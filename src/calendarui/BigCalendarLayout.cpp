#include "BigCalendarLayout.h"

#include "myCalProView.h"

#include <algorithm>

namespace talvor {

BigCalendarLayout::BigCalendarLayout(int showNoOfCalendar)
    : months_(Counts::monthsOfChoice(showNoOfCalendar)) {}

bool BigCalendarLayout::choose(int showNoOfCalendar) {
    const int months = Counts::monthsOfChoice(showNoOfCalendar);
    if (months == months_) {
        return false;
    }
    months_ = months;
    return true;
}

BigCalendarLayout::Counts BigCalendarLayout::showChoice(myCalProView& view) const {
    myCalSettings& settings = view.calSettings();
    // Without a count, as many as the window holds: those shown now, at most a year, until
    // a resize fits more or fewer.
    const Counts counts = months_ > 0
                              ? Counts::forMonths(months_)
                              : Counts::toFit(QSizeF(settings.cntH() * Counts::cell().width(),
                                                     settings.cntV() * Counts::cell().height()));
    if (settings.cntH() != counts.across || settings.cntV() != counts.down) {
        settings.SetCntH(counts.across);
        settings.SetCntV(counts.down);
        view.scaleDayFontForMonths();
        view.update();
    }
    return counts;
}

void BigCalendarLayout::fitToView(myCalProView& view) {
    // A hidden view has no size of its own yet: the months of the choice stay until it shows.
    if (fitting_ || !view.isVisible()) {
        return;
    }
    fitting_ = true;
    myCalSettings& settings = view.calSettings();
    const QSize cell = Counts::cell();
    const Counts fits{view.width() / cell.width(), view.height() / cell.height()};
    const Counts now = shown(view);
    const Counts next = Counts::forResize(months_, now, fits);
    if (next.across != now.across) {
        settings.SetCntH(next.across);
    }
    if (next.down != now.down) {
        settings.SetCntV(next.down);
    }
    if (!(next == now)) {
        view.scaleDayFontForMonths();
        view.update();
    }
    fitting_ = false;
}

void BigCalendarLayout::keepShown(const myCalProView& view) {
    kept_ = shown(view);
}

void BigCalendarLayout::restoreKept(myCalProView& view) const {
    view.calSettings().SetCntH(kept_.across);
    view.calSettings().SetCntV(kept_.down);
    view.scaleDayFontForMonths();
}

BigCalendarLayout::Counts BigCalendarLayout::shown(const myCalProView& view) {
    return {view.calSettings().cntH(), view.calSettings().cntV()};
}

QList<QDate> BigCalendarLayout::shownMonths(const myCalProView& view) {
    const QDate shownFirst = view.oCurDate().addMonths(view.calSettings().startMonthOffset());
    const QDate first(shownFirst.year(), shownFirst.month(), 1);
    const Counts counts = shown(view);
    QList<QDate> months;
    for (int i = 0; i < counts.across * counts.down; ++i) {
        months << first.addMonths(i);
    }
    return months;
}

QSize BigCalendarLayout::windowSize(Counts counts, int otherRoom) {
    return {std::max(360, counts.across * Counts::cell().width() + 16),
            counts.down * Counts::cell().height() + otherRoom};
}

}  // namespace talvor
