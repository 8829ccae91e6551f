#pragma once

#include "CalEvent.h"
#include "foundation/Calendar.h"
#include "platform/Date.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace talvor {

// One month of one calendar: its grid of 7 columns and 4-6 rows, week numbers, names, span,
// and the days of events filed by day number.
class CalMonth : public std::enable_shared_from_this<CalMonth> {
  public:
    // The class-wide first weekday, 1 = Sunday ... 7 = Saturday (the current calendar's at
    // first); out-of-range values are ignored.
    static void setFirstWeekDay(int32_t day);
    static int32_t firstWeekDay();

    // The month holding `date` in `calendar` (null: the current calendar).
    static std::shared_ptr<CalMonth> initWithDate(Date date, const Calendar& calendar);

    // The calendar's short stand-alone weekday names from the first weekday on; `initials`
    // keeps each one's first character, upper-cased.
    QStringList weekDays(bool initials) const;

    std::shared_ptr<CalMonth> nextMonth() const { return fromNowMonth(1, 0); }
    std::shared_ptr<CalMonth> lastMonth() const { return fromNowMonth(-1, 0); }
    std::shared_ptr<CalMonth> fromNowMonth(int32_t months, int32_t years) const;
    void resetFirstWeekDay();
    void calculateWeekNumbers();

    int32_t month() const { return thisMonth_; }
    int32_t year() const { return thisYear_; }
    int32_t era() const { return thisEra_; }
    const QString& name() const { return name_; }
    const QString& shortName() const { return shortName_; }
    const Calendar& calendar() const { return refCalendar_; }
    QString description() const;
    std::optional<QString> descriptionForDay(int32_t day) const;
    std::optional<QString> shortDescriptionForDay(int32_t day) const;
    // The day in the full date style of `calendar`; none without a calendar.
    std::optional<QString> descriptionForDay(int32_t day, const Calendar& calendar) const;
    // The days of this month on which a month of another calendar (hebrew, islamic, chinese...)
    // starts, in order; none without a calendar.
    std::optional<std::vector<int32_t>> firstDaysOfCalendar(const Calendar& calendar) const;
    QString longNameForCell(int32_t, int32_t) const { return QString(); }

    int32_t maxDay() const { return maxDay_; }
    int32_t lastMaxDay() const { return lastMaxDay_; }
    int32_t firstDayOffset() const { return firstDayOffset_; }
    int32_t weekNumForRow(int32_t row) const;
    // The day shown in a cell, and whether it belongs to this month.
    int32_t dateForRow(int32_t row, int32_t col, bool* inMonth) const;
    void cellForDate(int32_t day, int32_t* row, int32_t* col) const;
    int32_t numRows() const { return (firstDayOffset_ + maxDay_ + 6) / 7; }
    int32_t numCols() const { return 7; }

    int32_t dayOfToday() const;
    int32_t dayOfDate(Date date) const;
    // Day 1 at 00:00, and the first instant of the next month (exclusive), so that the
    // month's last minute belongs to it.
    Date earliestDate() const { return Date::fromUnix(startTime_); }
    Date latestDate() const { return Date::fromUnix(endTime_); }
    // 1: the month starts after the date; -1: the date is at or after the month's end; 0: in.
    int compareToDate(Date date) const;
    // The date of a day number (none: day 1); day 0 is the previous month's last day.
    Date dateOfDay(std::optional<int32_t> day) const;
    int32_t numOfDate(Date date, int32_t delta) const;
    QString debug() const;

    // Asks the shown back ends for this month's events (CalendarBackEnds::loadMonth).
    void loadEvents();
    void addEvent(const CalEventDay& event, int32_t day);
    void finalizeEventAdd();
    const std::vector<CalEventDay>* eventsForDay(int32_t day) const;
    std::vector<int32_t> allEventDays() const;
    void removeEventsforDay(int32_t day);
    void removeEventsForDay(int32_t day, const CalSource& source);
    void removeEventsFromSource(const CalSource& source);
    void removeInvalidEvents();
    void removeEventsFromDisabledSources();
    void removeAllEvents() { events_.clear(); }
    // The events one back end delivered (see CalEvent::origin).
    void removeEventsOf(CalendarBackEnds::Kind origin);

  private:
    CalMonth() = default;
    template <typename Keep>
    void keepEvents(Keep keep);

    int32_t maxDay_ = 0;
    int32_t firstDayOffset_ = 0;
    int32_t lastMaxDay_ = 0;
    int32_t thisMonth_ = 0, thisYear_ = 0, thisEra_ = 0;
    std::vector<int32_t> weekNums_;
    double startTime_ = 0;
    double endTime_ = 0;
    Calendar refCalendar_;
    QString name_, shortName_;
    std::map<int32_t, std::vector<CalEventDay>> events_;
};

using CalMonthPtr = std::shared_ptr<CalMonth>;

}  // namespace talvor
