#include "MonthPager.h"

#include "MonthGridView.h"
#include "foundation/CalendarExtras.h"
#include "platform/Clock.h"

namespace talvor {

MonthPager::MonthPager(MonthGridView& view, platform::Clock& clock,
                       platform::UserDefaults& defaults)
    : QObject(&view), view_(view), clock_(clock), defaults_(defaults) {
    connect(&view, &MonthGridView::previousMonth, this, &MonthPager::prevMonth);
    connect(&view, &MonthGridView::nextMonth, this, &MonthPager::nextMonth);
    updateMonths();
}

void MonthPager::nextMonth() {
    ++currOffset_;
    updateMonths();
}

void MonthPager::prevMonth() {
    --currOffset_;
    updateMonths();
}

void MonthPager::showToday() {
    currOffset_ = 0;
    updateMonths();
}

void MonthPager::updateMonths() {
    view_.setGrid(makeMonthGrid(CalendarExtras::userCalendar(), clock_.now(), currOffset_,
                                userFirstWeekday(defaults_)));
}

}  // namespace talvor
