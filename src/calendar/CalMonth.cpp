#include "CalMonth.h"

#include "CalendarBackEnd.h"
#include "foundation/CalendarExtras.h"
#include "foundation/IcuDates.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"

#include <unicode/calendar.h>
#include <unicode/dtfmtsym.h>

#include <algorithm>

namespace talvor {

namespace {

int32_t& classFirstWeekDay() {
    static int32_t day = [] {
        std::unique_ptr<icu::Calendar> c = Calendar::current().icuCalendar(Date());
        return static_cast<int32_t>(c->getFirstDayOfWeek());
    }();
    return day;
}

Calendar orCurrent(const Calendar& calendar) {
    return calendar.isNull() ? Calendar::current() : calendar;
}

int32_t dayOfMonth(const Calendar& calendar, Date date) {
    UErrorCode status = U_ZERO_ERROR;
    return calendar.icuCalendar(date)->get(UCAL_DATE, status);
}

Date movedByDays(const Calendar& calendar, Date date, int32_t days) {
    std::unique_ptr<icu::Calendar> c = calendar.icuCalendar(date);
    UErrorCode status = U_ZERO_ERROR;
    c->add(UCAL_DATE, days, status);
    return Date::fromUDate(c->getTime(status));
}

void toStartOfDay(icu::Calendar& c) {
    c.set(UCAL_HOUR_OF_DAY, 0);
    c.set(UCAL_MINUTE, 0);
    c.set(UCAL_SECOND, 0);
    c.set(UCAL_MILLISECOND, 0);
}

}  // namespace

void CalMonth::setFirstWeekDay(int32_t day) {
    if (day >= 1 && day <= 7) {
        classFirstWeekDay() = day;
    }
}

int32_t CalMonth::firstWeekDay() {
    return classFirstWeekDay();
}

std::shared_ptr<CalMonth> CalMonth::initWithDate(Date date, const Calendar& given) {
    std::shared_ptr<CalMonth> m(new CalMonth());
    m->refCalendar_ = orCurrent(given);
    const Calendar& k = m->refCalendar_;
    std::unique_ptr<icu::Calendar> c = k.icuCalendar(date);
    UErrorCode status = U_ZERO_ERROR;
    m->thisEra_ = c->get(UCAL_ERA, status);
    m->thisYear_ = c->get(UCAL_YEAR, status);
    m->thisMonth_ = c->get(UCAL_MONTH, status) + 1;
    const int32_t d = c->get(UCAL_DATE, status);
    // Day 40 - d after the date is day (40 - days of the month) of the next month.
    m->maxDay_ = 40 - dayOfMonth(k, movedByDays(k, date, 40 - d));
    m->lastMaxDay_ = dayOfMonth(k, movedByDays(k, date, -d));
    c->set(UCAL_DATE, 1);
    toStartOfDay(*c);
    m->startTime_ = c->getTime(status) / 1000.0;
    c->add(UCAL_MONTH, 1, status);
    c->set(UCAL_DATE, 1);
    toStartOfDay(*c);
    m->endTime_ = c->getTime(status) / 1000.0;
    m->resetFirstWeekDay();
    const QStringList names = CalendarExtras::monthNames(k);
    const QStringList shortNames = CalendarExtras::shortMonthNames(k);
    m->name_ = m->thisMonth_ <= names.size() ? names[m->thisMonth_ - 1] : QStringLiteral("Month");
    m->shortName_ = m->thisMonth_ <= shortNames.size() ? shortNames[m->thisMonth_ - 1] : m->name_;
    return m;
}

QStringList CalMonth::weekDays(bool initials) const {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale = icu::Locale::getDefault();
    icu::DateFormatSymbols symbols(locale, refCalendar_.calendarIdentifier().toLatin1().constData(),
                                   status);
    int32_t count = 0;
    const icu::UnicodeString* names = symbols.getWeekdays(count, icu::DateFormatSymbols::STANDALONE,
                                                          icu::DateFormatSymbols::ABBREVIATED);
    QStringList out;
    for (int32_t i = 1; i < count && i <= 7; ++i) {  // ICU's first entry is empty
        QString name = IcuDates::fromUnicode(names[i]);
        out << (initials ? name.left(1).toUpper() : name);
    }
    for (int32_t i = 1; i < firstWeekDay() && !out.isEmpty(); ++i) {
        out.append(out.takeFirst());
    }
    return out;
}

std::shared_ptr<CalMonth> CalMonth::fromNowMonth(int32_t months, int32_t years) const {
    std::unique_ptr<icu::Calendar> c = refCalendar_.icuCalendar(earliestDate());
    UErrorCode status = U_ZERO_ERROR;
    c->add(UCAL_MONTH, months, status);
    c->add(UCAL_YEAR, years, status);
    return initWithDate(Date::fromUDate(c->getTime(status)), refCalendar_);
}

void CalMonth::resetFirstWeekDay() {
    std::unique_ptr<icu::Calendar> c = refCalendar_.icuCalendar(earliestDate());
    UErrorCode status = U_ZERO_ERROR;
    const int32_t weekday = c->get(UCAL_DAY_OF_WEEK, status);
    firstDayOffset_ = ((weekday - firstWeekDay()) % 7 + 7) % 7;
    calculateWeekNumbers();
}

void CalMonth::calculateWeekNumbers() {
    const int32_t rows = numRows();
    weekNums_.assign(static_cast<size_t>(rows), 0);
    const bool gregorian = refCalendar_.calendarIdentifier() == QLatin1String("gregorian");
    int32_t w = 0;
    if (gregorian) {
        w = CalendarExtras::ISO8601weekNumForDate(refCalendar_, earliestDate(), firstWeekDay());
    } else {
        std::unique_ptr<icu::Calendar> c = refCalendar_.icuCalendar(earliestDate());
        UErrorCode status = U_ZERO_ERROR;
        w = c->get(UCAL_WEEK_OF_YEAR, status);
    }
    for (int32_t i = 0; i < rows; ++i) {
        weekNums_[static_cast<size_t>(i)] = w + i;
    }
    if (!gregorian) {
        return;
    }
    if (thisMonth_ == 12 && rows > 0) {
        weekNums_.back() = CalendarExtras::ISO8601weekNumForDate(
            refCalendar_, latestDate().addingTimeInterval(-1), firstWeekDay());
    } else if (thisMonth_ == 1 && rows >= 2 && weekNums_[0] >= 51) {
        for (int32_t i = 1; i < rows; ++i) {
            weekNums_[static_cast<size_t>(i)] = i;
        }
    }
}

QString CalMonth::description() const {
    return name_ + QLatin1Char(' ') + QString::number(thisYear_);
}

std::optional<QString> CalMonth::descriptionForDay(int32_t day) const {
    std::unique_ptr<icu::DateFormat> full(
        icu::DateFormat::createDateInstance(icu::DateFormat::kFull, icu::Locale::getDefault()));
    if (!full) {
        return std::nullopt;
    }
    full->adoptCalendar(refCalendar_.icuCalendar(Date()).release());
    return IcuDates::format(*full, dateOfDay(day));
}

std::optional<QString> CalMonth::descriptionForDay(int32_t day, const Calendar& calendar) const {
    if (calendar.isNull()) {
        return std::nullopt;
    }
    std::unique_ptr<icu::DateFormat> full(
        icu::DateFormat::createDateInstance(icu::DateFormat::kFull, icu::Locale::getDefault()));
    if (!full) {
        return std::nullopt;
    }
    full->adoptCalendar(
        calendar.withTimeZone(refCalendar_.timeZone()).icuCalendar(Date()).release());
    return IcuDates::format(*full, dateOfDay(day));
}

std::optional<std::vector<int32_t>> CalMonth::firstDaysOfCalendar(const Calendar& calendar) const {
    if (calendar.isNull()) {
        return std::nullopt;
    }
    // Each day is asked at its noon in this month's zone: a day of the other calendar is the
    // same civil day, whatever daylight saving does to its midnight.
    const Calendar other = calendar.withTimeZone(refCalendar_.timeZone());
    std::vector<int32_t> out;
    for (int32_t day = 1; day <= maxDay_; ++day) {
        if (dayOfMonth(other, dateOfDay(day).addingTimeInterval(12 * 3600.0)) == 1) {
            out.push_back(day);
        }
    }
    return out;
}

std::optional<QString> CalMonth::shortDescriptionForDay(int32_t day) const {
    std::unique_ptr<icu::DateFormat> medium(
        icu::DateFormat::createDateInstance(icu::DateFormat::kMedium, icu::Locale::getDefault()));
    if (!medium) {
        return std::nullopt;
    }
    medium->adoptCalendar(refCalendar_.icuCalendar(Date()).release());
    return IcuDates::format(*medium, dateOfDay(day));
}

int32_t CalMonth::weekNumForRow(int32_t row) const {
    return row >= 0 && row < static_cast<int32_t>(weekNums_.size())
               ? weekNums_[static_cast<size_t>(row)]
               : 0;
}

int32_t CalMonth::dateForRow(int32_t row, int32_t col, bool* inMonth) const {
    const int32_t i = 7 * row + col - firstDayOffset_;
    bool in = false;
    int32_t day = 0;
    if (i < 0) {
        day = i + 1 + lastMaxDay_;
    } else if (i >= maxDay_) {
        day = i + 1 - maxDay_;
    } else {
        day = i + 1;
        in = true;
    }
    if (inMonth) {
        *inMonth = in;
    }
    return day;
}

void CalMonth::cellForDate(int32_t day, int32_t* row, int32_t* col) const {
    const int32_t index = day + firstDayOffset_ - 1;
    if (row) {
        *row = index / 7;
    }
    if (col) {
        *col = index % 7;
    }
}

int32_t CalMonth::dayOfToday() const {
    return dayOfDate(platform::Clock::shared().now());
}

int32_t CalMonth::dayOfDate(Date date) const {
    return compareToDate(date) == 0 ? dayOfMonth(refCalendar_, date) : -1;
}

int CalMonth::compareToDate(Date date) const {
    const double t = date.timeIntervalSince1970();
    if (startTime_ > t) {
        return 1;
    }
    if (t >= endTime_) {
        return -1;
    }
    return 0;
}

Date CalMonth::dateOfDay(std::optional<int32_t> day) const {
    return movedByDays(refCalendar_, earliestDate(), day.value_or(1) - 1);
}

int32_t CalMonth::numOfDate(Date date, int32_t delta) const {
    return dayOfMonth(refCalendar_, delta == 0 ? date : movedByDays(refCalendar_, date, delta));
}

QString CalMonth::debug() const {
    QString out;
    for (int32_t r = 0; r < numRows(); ++r) {
        for (int32_t c = 0; c < 7; ++c) {
            out += QStringLiteral("%1 ").arg(dateForRow(r, c, nullptr), 2);
        }
        out += QLatin1Char('\n');
    }
    return out;
}

void CalMonth::loadEvents() {
    CalendarBackEnds::loadMonth(shared_from_this(), platform::UserDefaults::standard());
}

void CalMonth::addEvent(const CalEventDay& event, int32_t day) {
    events_[day].push_back(event);
}

void CalMonth::finalizeEventAdd() {
    for (auto& [day, list] : events_) {
        std::stable_sort(list.begin(), list.end(), [](const CalEventDay& a, const CalEventDay& b) {
            return a.compare(b) < 0;
        });
    }
}

const std::vector<CalEventDay>* CalMonth::eventsForDay(int32_t day) const {
    const auto it = events_.find(day);
    return it == events_.end() ? nullptr : &it->second;
}

std::vector<int32_t> CalMonth::allEventDays() const {
    std::vector<int32_t> out;
    for (const auto& entry : events_) {
        out.push_back(entry.first);
    }
    return out;
}

void CalMonth::removeEventsforDay(int32_t day) {
    events_.erase(day);
}

template <typename Keep>
void CalMonth::keepEvents(Keep keep) {
    for (auto it = events_.begin(); it != events_.end();) {
        auto& list = it->second;
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](const CalEventDay& d) { return !keep(d); }),
                   list.end());
        it = list.empty() ? events_.erase(it) : std::next(it);
    }
}

void CalMonth::removeEventsForDay(int32_t day, const CalSource& source) {
    const auto it = events_.find(day);
    if (it == events_.end()) {
        return;
    }
    auto& list = it->second;
    list.erase(std::remove_if(
                   list.begin(), list.end(),
                   [&](const CalEventDay& d) { return d.source() && d.source()->isEqual(source); }),
               list.end());
    if (list.empty()) {
        events_.erase(it);
    }
}

void CalMonth::removeEventsFromSource(const CalSource& source) {
    keepEvents([&](const CalEventDay& d) { return !(d.source() && d.source()->isEqual(source)); });
}

void CalMonth::removeEventsOf(CalendarBackEnds::Kind origin) {
    keepEvents(
        [origin](const CalEventDay& d) { return !d.event() || d.event()->origin() != origin; });
}

void CalMonth::removeInvalidEvents() {
    keepEvents([](const CalEventDay& d) { return d.isValid(); });
}

void CalMonth::removeEventsFromDisabledSources() {
    keepEvents([](const CalEventDay& d) { return !d.source() || d.source()->enabled(); });
}

}  // namespace talvor
