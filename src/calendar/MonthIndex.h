#pragma once

#include "CalEvent.h"
#include "CalMonth.h"
#include "foundation/MonthReference.h"

#include <functional>
#include <memory>
#include <vector>

namespace talvor {

// -1: the node's month lies before (month, year, era); 0: it is that month; 1: after.
int monthRefRelation(const MonthReference& node, int32_t month, int32_t year, int32_t era);

// The months the user has visited, as a chain of MonthReference nodes around the current
// month, grown on demand, and the filing of events into the months they touch.
class MonthIndex {
  public:
    // One node: today's month in `calendar`.
    explicit MonthIndex(const Calendar& calendar);
    ~MonthIndex();
    MonthIndex(const MonthIndex&) = delete;
    MonthIndex& operator=(const MonthIndex&) = delete;

    const std::shared_ptr<MonthReference>& firstMonthRef() const { return first_; }
    std::shared_ptr<MonthReference> lastMonthRef() const { return last_.lock(); }
    const std::shared_ptr<MonthReference>& currentMonthRef() const { return current_; }

    void updateCurrentMonth();
    // The day's events of the month holding the date; null when the chain does not hold it.
    const std::vector<CalEventDay>* eventsForDate(Date date) const;
    // Months current + start ... current + end, grown as needed; then every month drops the
    // events of disabled sources.
    std::vector<CalMonthPtr> monthsInRange(int32_t start, int32_t end);
    // Every month of the chain, first to last.
    void makeMonthsPerform(const std::function<void(CalMonth&)>& action) const;
    void newCalEventsReady() {}
    void removeAllEvents();
    void removeEventsFromSource(const CalSource& source);
    void removeEventsFromDisabledSources();
    void removeEventsFromSource(const CalSource& source, Date from, Date to);
    void addEvents(const std::vector<CalEventPtr>& events);
    // From `from` up to (not including) `end` (null: the end of the chain).
    void addEvents(const std::vector<CalEventPtr>& events, std::shared_ptr<MonthReference> from,
                   const std::shared_ptr<MonthReference>& end);
    Date earliestDate() const;
    Date latestDate() const;
    std::shared_ptr<MonthReference> prevMonthRef(const std::shared_ptr<MonthReference>& node);
    std::shared_ptr<MonthReference> nextMonthRef(const std::shared_ptr<MonthReference>& node);
    std::shared_ptr<MonthReference> addPrevMonth();
    std::shared_ptr<MonthReference> addNextMonth();
    void untouchMonths();
    void finalizeTouchedMonths();
    QString debug() const;

  private:
    template <typename F>
    void forEachMonth(F f) const;

    Calendar refCalendar_;
    std::shared_ptr<MonthReference> first_;
    std::weak_ptr<MonthReference> last_;
    std::shared_ptr<MonthReference> current_;
};

}  // namespace talvor
