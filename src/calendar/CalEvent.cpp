#include "CalEvent.h"

#include "foundation/CalendarExtras.h"
#include "foundation/DateExtras.h"
#include "foundation/IcuDates.h"
#include "platform/KeyedArchiver.h"

#include <unicode/calendar.h>

#include <cmath>

namespace talvor {

namespace {

Calendar orCurrent(const Calendar& calendar) {
    return calendar.isNull() ? Calendar::current() : calendar;
}

// The first instant of the calendar day after the one holding `date`.
Date nextDayStart(const Calendar& calendar, Date date) {
    std::unique_ptr<icu::Calendar> cal = calendar.icuCalendar(date);
    UErrorCode status = U_ZERO_ERROR;
    cal->add(UCAL_DATE, 1, status);
    cal->set(UCAL_HOUR_OF_DAY, 0);
    cal->set(UCAL_MINUTE, 0);
    cal->set(UCAL_SECOND, 0);
    cal->set(UCAL_MILLISECOND, 0);
    const UDate t = cal->getTime(status);
    if (U_FAILURE(status) || t <= date.toUDate()) {
        return date.addingTimeInterval(86400);
    }
    return Date::fromUDate(t);
}

}  // namespace

int compareSources(const CalSourcePtr& a, const CalSourcePtr& b) {
    if (!a || !b) {
        return (a ? -1 : 0) + (b ? 1 : 0);
    }
    return a->compare(*b);
}

CalEventDay::CalEventDay(Date date, std::shared_ptr<CalEvent> event, const Calendar& calendar)
    : startDate_(date.timeIntervalSinceReferenceDate()), event_(std::move(event)) {
    std::unique_ptr<icu::Calendar> cal = orCurrent(calendar).icuCalendar(date);
    UErrorCode status = U_ZERO_ERROR;
    era_ = static_cast<int16_t>(cal->get(UCAL_ERA, status));
    year_ = static_cast<int16_t>(cal->get(UCAL_YEAR, status));
    month_ = static_cast<int16_t>(cal->get(UCAL_MONTH, status) + 1);
    day_ = static_cast<int16_t>(cal->get(UCAL_DATE, status));
}

void CalEventDay::valueOfYear(int16_t* year, int16_t* month, int16_t* day, int16_t* era) const {
    if (year) {
        *year = year_;
    }
    if (month) {
        *month = month_;
    }
    if (day) {
        *day = day_;
    }
    if (era) {
        *era = era_;
    }
}

CalSourcePtr CalEventDay::source() const {
    return event_ ? event_->source() : nullptr;
}
QColor CalEventDay::displayColor() const {
    return event_ ? event_->displayColor() : CalSource::defaultColor();
}
QString CalEventDay::toolTip() const {
    return event_ ? event_->toolTip() : QString();
}
int32_t CalEventDay::highlightType() const {
    return event_ ? event_->highlightType() : 0;
}
QString CalEventDay::title() const {
    return event_ ? event_->title() : QString();
}
QString CalEventDay::descrip() const {
    return event_ ? event_->descrip() : QString();
}
bool CalEventDay::isValid() const {
    return event_ && event_->isValid();
}

DayEventMark CalEventDay::mark() const {
    DayEventMark m;
    m.highlightType = highlightType();
    m.displayColor = displayColor();
    m.isFirst = isFirst_;
    m.isLast = isLast_;
    m.hasGadget = event_ && event_->gadget().has_value();
    return m;
}

int CalEventDay::compare(const CalEventDay& other) const {
    if (startDate_ != other.startDate_) {
        return startDate_ < other.startDate_ ? -1 : 1;
    }
    if (!startTime_ && other.startTime_) {
        return -1;
    }
    if (startTime_ && !other.startTime_) {
        return 1;
    }
    return compareBySource(other);
}

int CalEventDay::compareBySource(const CalEventDay& other) const {
    return compareSources(source(), other.source());
}

QString CalEventDay::description() const {
    return QStringLiteral("%1/%2/%3 %4").arg(month_).arg(day_).arg(year_).arg(title());
}

std::shared_ptr<CalEvent> CalEvent::initWithStartTime(Date start, double duration,
                                                      const QString& title,
                                                      const QString& description,
                                                      CalSourcePtr source) {
    std::shared_ptr<CalEvent> e(new CalEvent());
    e->startDate_ = start;
    e->duration_ = duration;
    e->title_ = title;
    e->description_ = description;
    e->source_ = std::move(source);
    return e;
}

QString CalEvent::toolTip() const {
    if (!source_ || source_->name().isEmpty()) {
        return title_;
    }
    return title_ + QStringLiteral(" (") + source_->name() + QLatin1Char(')');
}

QColor CalEvent::displayColor() const {
    return source_ ? source_->displayColor() : CalSource::defaultColor();
}

int32_t CalEvent::highlightType() const {
    return source_ ? source_->highlightType() : 0;
}

Date CalEvent::adjustedStartDate() const {
    if (!isUTC_) {
        return startDate_;
    }
    const int offset = IcuDates::currentZone().offsetFromUtc(startDate_.toQDateTime());
    return startDate_.addingTimeInterval(-offset);
}

void CalEvent::deduceAllDay() {
    const DateComponents c = CalendarExtras::components(Calendar::current(), adjustedStartDate());
    isAllDay_ = c.hour == 0 && c.minute == 0 && duration_ >= 82800;
}

std::vector<CalEventDay> CalEvent::adjustedDaysForCalendar(const Calendar& given) {
    const Calendar calendar = orCurrent(given);
    const QString id = calendar.calendarIdentifier();
    auto withEvent = [&](std::vector<CalEventDay> days) {
        for (CalEventDay& d : days) {
            d.event_ = shared_from_this();
        }
        return days;
    };
    if (!cache_.empty() && cacheCalendar_ == id) {
        return withEvent(cache_);
    }
    const Date start = adjustedStartDate();
    std::vector<CalEventDay> days;
    days.emplace_back(start, nullptr, calendar);
    if (isAllDay_) {
        const long whole = std::max(1L, std::lround(duration_ / 86400.0));
        Date at = start;
        for (long i = 1; i < whole; ++i) {
            at = nextDayStart(calendar, at);
            days.emplace_back(at, nullptr, calendar);
        }
    } else {
        const Date end = start.addingTimeInterval(std::max(0.0, std::trunc(duration_)));
        // A guard against absurd durations: no event spans more than a few years of days.
        for (Date at = nextDayStart(calendar, start); at < end && days.size() < 5000;
             at = nextDayStart(calendar, at)) {
            days.emplace_back(at, nullptr, calendar);
        }
    }
    for (CalEventDay& d : days) {
        d.setIsFirst(false, false);
    }
    days.front().isFirst_ = true;
    days.back().isLast_ = true;
    if (!isAllDay_) {
        days.front().setStartTime(tformatTime(start));
    }
    cacheCalendar_ = id;
    cache_ = days;
    return withEvent(std::move(days));
}

void CalEvent::encodeWithCoder(platform::KeyedArchiver& coder) const {
    coder.encodeString(QStringLiteral("token"), source_ ? source_->token() : QString());
    coder.encodeString(QStringLiteral("title"), title_);
    coder.encodeDate(QStringLiteral("start"), startDate_);
    coder.encodeFloat(QStringLiteral("duration"), static_cast<float>(duration_));
    coder.encodeBool(QStringLiteral("isutc"), isUTC_);
    coder.encodeBool(QStringLiteral("isallday"), isAllDay_);
    coder.encodeString(QStringLiteral("editlink"), editLink_value_);
    coder.encodeString(QStringLiteral("originaleditlink"), originalEditLink_);
}

std::shared_ptr<CalEvent> CalEvent::initWithCoder(const platform::KeyedUnarchiver& coder) {
    const QString token = coder.decodeString(QStringLiteral("token"));
    auto e = initWithStartTime(
        coder.decodeDate(QStringLiteral("start")).value_or(Date()),
        coder.decodeFloat(QStringLiteral("duration")), coder.decodeString(QStringLiteral("title")),
        QString(), token.isEmpty() ? nullptr : CalSource::findOrCreateSourceWithToken(token));
    e->isUTC_ = coder.decodeBool(QStringLiteral("isutc"));
    e->isAllDay_ = coder.decodeBool(QStringLiteral("isallday"));
    e->editLink_value_ = coder.decodeString(QStringLiteral("editlink"));
    e->originalEditLink_ = coder.decodeString(QStringLiteral("originaleditlink"));
    return e;
}

int CalEvent::compare(const CalEvent& other) const {
    if (const int c = compareSources(source_, other.source_); c != 0) {
        return c;
    }
    return startDate_ == other.startDate_ ? 0 : (startDate_ < other.startDate_ ? -1 : 1);
}

int CalEvent::compareDates(const CalEvent& other) const {
    if (startDate_ != other.startDate_) {
        return startDate_ < other.startDate_ ? -1 : 1;
    }
    return compareSources(source_, other.source_);
}

}  // namespace talvor
