#pragma once

#include "BackEndKind.h"
#include "CalSource.h"
#include "Gadget.h"
#include "foundation/Calendar.h"
#include "platform/Date.h"
#include "widgets/DayEventMark.h"

#include <QColor>
#include <QHash>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace talvor {

class CalEvent;

// One day an event appears on, in one calendar: the day's components, the moment the
// appearance starts, a start-time text on a timed event's first day, and first/last flags.
class CalEventDay {
  public:
    // The day of `date` in `calendar` (null: the current calendar); both flags off.
    CalEventDay(Date date, std::shared_ptr<CalEvent> event, const Calendar& calendar);

    void valueOfYear(int16_t* year, int16_t* month, int16_t* day, int16_t* era) const;
    double startTimeStamp() const { return startDate_; }
    Date date() const { return Date::fromReference(startDate_); }
    void setIsFirst(bool first, bool last) {
        isFirst_ = first;
        isLast_ = last;
    }
    bool isFirst() const { return isFirst_; }
    bool isLast() const { return isLast_; }
    const std::shared_ptr<CalEvent>& event() const { return event_; }
    const std::optional<QString>& startTime() const { return startTime_; }
    void setStartTime(std::optional<QString> text) { startTime_ = std::move(text); }

    // Forwarded to the event (and its source; an event without a source gives defaults).
    CalSourcePtr source() const;
    QColor displayColor() const;
    QString toolTip() const;
    int32_t highlightType() const;
    QString title() const;
    QString descrip() const;
    bool isValid() const;
    // What a month grid's day cell draws of this day.
    DayEventMark mark() const;

    // Earlier first; at the same moment a day without a start-time text (all-day) first;
    // then by source.
    int compare(const CalEventDay& other) const;
    int compareBySource(const CalEventDay& other) const;
    QString description() const;

    int16_t year() const { return year_; }
    int16_t month() const { return month_; }
    int16_t day() const { return day_; }
    int16_t era() const { return era_; }

  private:
    friend class CalEvent;
    CalEventDay() = default;

    int16_t year_ = 0, month_ = 0, day_ = 0, era_ = 0;
    double startDate_ = 0;
    std::optional<QString> startTime_;
    std::shared_ptr<CalEvent> event_;
    bool isFirst_ = false;
    bool isLast_ = false;
};

// One event as the month grids hold it, whatever back end delivered it.
class CalEvent : public std::enable_shared_from_this<CalEvent> {
  public:
    static std::shared_ptr<CalEvent> initWithStartTime(Date start, double duration,
                                                       const QString& title,
                                                       const QString& description,
                                                       CalSourcePtr source);

    Date startDate() const { return startDate_; }
    const QString& title() const { return title_; }
    const QString& descrip() const { return description_; }
    const CalSourcePtr& source() const { return source_; }
    double duration() const { return duration_; }
    bool isUTC() const { return isUTC_; }
    bool isAllDay() const { return isAllDay_; }
    bool isValid() const { return isValid_; }
    const QString& editLink_() const { return editLink_value_; }
    const QString& originalEditLink() const { return originalEditLink_; }
    void setEditLink_(const QString& v) { editLink_value_ = v; }
    void setOriginalEditLink(const QString& v) { originalEditLink_ = v; }
    void setIsUTC(bool v) { isUTC_ = v; }
    void setIsAllDay(bool v) { isAllDay_ = v; }
    void invalidate() { isValid_ = false; }
    // The web gadget the event carries, if any (the day view shows it as a button).
    const std::optional<Gadget>& gadget() const { return gadget_; }
    void setGadget(std::optional<Gadget> gadget) { gadget_ = std::move(gadget); }
    // The back end that delivered the event: its reloads replace it, and it is the one to
    // change or remove it. None for events of no back end.
    std::optional<CalendarBackEnds::Kind> origin() const { return origin_; }
    void setOrigin(CalendarBackEnds::Kind kind) { origin_ = kind; }

    QString toolTip() const;
    QColor displayColor() const;
    int32_t highlightType() const;
    // The start, moved from a UTC wall clock to the current zone for isUTC events.
    Date adjustedStartDate() const;
    // All-day when the adjusted start is at 00:00 and the event lasts at least 23 hours.
    void deduceAllDay();

    // The days the event covers in `calendar`, in order: the first flagged first, the last
    // flagged last (one day: both). A timed event gets a day for each calendar day it
    // touches, each from that day's first instant (which need not be midnight where daylight
    // saving starts at 00:00, and where a zone skipped a whole day there is no entry for it);
    // an all-day event gets as many days as its duration holds whole days (at least one), so
    // a 23- or 25-hour day of daylight saving counts once. Cached for the last calendar asked.
    std::vector<CalEventDay> adjustedDaysForCalendar(const Calendar& calendar);

    // By source, then start; compareDates: by start, then source.
    int compare(const CalEvent& other) const;
    int compareDates(const CalEvent& other) const;
    QString searchText() const { return title_ + QLatin1Char('\n') + description_; }
    QString description() const { return title_; }

    // Keyed archive: "token" (the source's), "title", "start", "duration" (a 32-bit float),
    // "isutc", "isallday", "editlink", "originaleditlink". The notes are not archived; the
    // source is found or made by token.
    static QString archiveClassName() { return QStringLiteral("CalEvent"); }
    void encodeWithCoder(platform::KeyedArchiver& coder) const;
    static std::shared_ptr<CalEvent> initWithCoder(const platform::KeyedUnarchiver& coder);

  private:
    CalEvent() = default;

    Date startDate_;
    QString title_;
    QString description_;
    CalSourcePtr source_;
    bool isUTC_ = false;
    bool isAllDay_ = false;
    double duration_ = 0;
    QString editLink_value_;
    QString originalEditLink_;
    bool isValid_ = true;
    std::optional<Gadget> gadget_;
    std::optional<CalendarBackEnds::Kind> origin_;
    QString cacheCalendar_;
    std::vector<CalEventDay> cache_;  // without the event pointer, which would make a cycle
};

using CalEventPtr = std::shared_ptr<CalEvent>;

// Sources compared with nulls: a missing source sorts after any source, two missing are equal.
int compareSources(const CalSourcePtr& a, const CalSourcePtr& b);

}  // namespace talvor
