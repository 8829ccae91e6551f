#include "CalendarExtras.h"

#include "IcuDates.h"
#include "platform/Clock.h"

#include <unicode/calendar.h>
#include <unicode/dtfmtsym.h>
#include <unicode/smpdtfmt.h>

#include <map>

namespace talvor::CalendarExtras {
namespace {

struct State {
    Calendar user;
    Calendar aux;
    std::map<QString, Calendar> cache;
};

State& state() {
    static State s;
    return s;
}

QStringList monthSymbols(const Calendar& calendar, icu::DateFormatSymbols::DtWidthType width) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale(icu::Locale::getDefault());
    const QByteArray type =
        (calendar ? calendar : Calendar::current()).calendarIdentifier().toLatin1();
    if (!type.isEmpty()) {
        locale.setKeywordValue("calendar", type.constData(), status);
    }
    // A formatter takes the symbols of the locale's calendar; the symbols' own constructor
    // would give the Gregorian ones.
    const icu::SimpleDateFormat format(icu::UnicodeString(u"MMMM"), locale, status);
    const icu::DateFormatSymbols* symbols = format.getDateFormatSymbols();
    if (U_FAILURE(status) || symbols == nullptr) {
        return {};
    }
    int32_t count = 0;
    const icu::UnicodeString* names =
        symbols->getMonths(count, icu::DateFormatSymbols::FORMAT, width);
    QStringList result;
    for (int32_t i = 0; i < count; ++i) {
        result.append(IcuDates::fromUnicode(names[i]));
    }
    return result;
}

// Moves the calendar to the first instant of its day: midnight, or where midnight is
// skipped the moment the clocks jump, or where it is repeated its first occurrence.
void toStartOfDay(icu::Calendar& calendar) {
    calendar.setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
    calendar.set(UCAL_HOUR_OF_DAY, 0);
    calendar.set(UCAL_MINUTE, 0);
    calendar.set(UCAL_SECOND, 0);
    calendar.set(UCAL_MILLISECOND, 0);
    UErrorCode status = U_ZERO_ERROR;
    calendar.setTime(calendar.getTime(status), status);
}

std::optional<UCalendarDateFields> fieldOfUnit(CalendarUnit unit) {
    switch (unit) {
        case CalendarUnit::Year:
            return UCAL_YEAR;
        case CalendarUnit::Month:
            return UCAL_MONTH;
        case CalendarUnit::Day:
            return UCAL_DATE;
        case CalendarUnit::Hour:
            return UCAL_HOUR_OF_DAY;
        case CalendarUnit::Minute:
            return UCAL_MINUTE;
        case CalendarUnit::Second:
            return UCAL_SECOND;
        case CalendarUnit::Week:
        case CalendarUnit::WeekOfYear:
            return UCAL_WEEK_OF_YEAR;
        case CalendarUnit::Weekday:
            return UCAL_DAY_OF_WEEK;
        case CalendarUnit::WeekdayOrdinal:
            return UCAL_DAY_OF_WEEK_IN_MONTH;
        case CalendarUnit::WeekOfMonth:
            return UCAL_WEEK_OF_MONTH;
        case CalendarUnit::YearForWeekOfYear:
            return UCAL_YEAR_WOY;
        case CalendarUnit::Era:
        case CalendarUnit::Quarter:
            break;
    }
    return std::nullopt;
}

}  // namespace

Calendar userCalendar() {
    return state().user;
}

Calendar auxCalendar() {
    return state().aux;
}

void setUserCalendarIdentifier(const std::optional<QString>& identifier) {
    State& s = state();
    // No identifier never equals the user calendar's, as a message to nil answers no.
    if (identifier && s.user && *identifier == s.user.calendarIdentifier()) {
        return;
    }
    s.user = calendarWithIdentifier(identifier);
}

void setAuxCalendarIdentifier(const std::optional<QString>& identifier) {
    State& s = state();
    if (!identifier) {
        s.aux = Calendar();
        return;
    }
    if (s.aux && *identifier == s.aux.calendarIdentifier()) {
        return;
    }
    s.aux = calendarWithIdentifier(identifier);
}

Calendar calendarWithIdentifier(const std::optional<QString>& identifier) {
    const QString id = identifier ? *identifier : Calendar::current().calendarIdentifier();
    auto& cache = state().cache;
    if (const auto it = cache.find(id); it != cache.end()) {
        return it->second;
    }
    // ICU knows every identifier that the lookup by name would try next (gregorian, buddhist,
    // hebrew, islamic, islamic-civil, japanese), so what ICU does not know matches none.
    Calendar created = Calendar::create(id);
    if (!created) {
        return Calendar::current();
    }
    cache.emplace(id, created);
    return created;
}

QStringList monthNames(const Calendar& calendar) {
    return monthSymbols(calendar, icu::DateFormatSymbols::WIDE);
}

QStringList shortMonthNames(const Calendar& calendar) {
    return monthSymbols(calendar, icu::DateFormatSymbols::ABBREVIATED);
}

int32_t daysInYear(const Calendar& calendar, Date date) {
    // The days from the first day of the year to that of the next, by the calendar's own day
    // numbers. Not from month numbers, which skip in common Hebrew years, and not ICU's actual
    // maximum of the day of the year, which for the sighted-moon Islamic calendar changes with
    // the zone (354 for 1446 AH east of UTC, whose last day is day 355).
    const std::unique_ptr<icu::Calendar> c = calendar.icuCalendar(date);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t year = c->get(UCAL_EXTENDED_YEAR, status);
    const auto firstDay = [&](int32_t extendedYear) {
        c->clear();
        c->set(UCAL_EXTENDED_YEAR, extendedYear);
        c->set(UCAL_DAY_OF_YEAR, 1);
        return c->get(UCAL_JULIAN_DAY, status);
    };
    const int32_t first = firstDay(year);
    const int32_t next = firstDay(year + 1);
    return U_SUCCESS(status) ? next - first : 0;
}

int32_t ISO8601weekNumForDate(const Calendar& calendar, Date date, int32_t firstDay) {
    // ICU's week rule: a count of weeks from the day of the year is wrong on a third of days.
    const std::unique_ptr<icu::Calendar> c = calendar.icuCalendar(date);
    if (firstDay >= UCAL_SUNDAY && firstDay <= UCAL_SATURDAY) {
        c->setFirstDayOfWeek(static_cast<UCalendarDaysOfWeek>(firstDay));
    }
    c->setMinimalDaysInFirstWeek(4);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t week = c->get(UCAL_WEEK_OF_YEAR, status);
    return U_SUCCESS(status) ? week : 0;
}

int32_t units(const Calendar& calendar, CalendarUnit unit, std::optional<Date> date) {
    if (!date) {
        return 0;
    }
    const std::unique_ptr<icu::Calendar> c = calendar.icuCalendar(platform::Clock::shared().now());
    toStartOfDay(*c);
    UErrorCode status = U_ZERO_ERROR;
    const UDate target = date->toUDate();
    int32_t count = 0;
    if (unit == CalendarUnit::Era) {
        const int32_t from = c->get(UCAL_ERA, status);
        c->setTime(target, status);
        count = c->get(UCAL_ERA, status) - from;
    } else if (unit == CalendarUnit::Quarter) {
        count = c->fieldDifference(target, UCAL_MONTH, status) / 3;
    } else if (const auto field = fieldOfUnit(unit)) {
        count = c->fieldDifference(target, *field, status);
    }
    return U_SUCCESS(status) ? count : 0;
}

DateComponents components(const Calendar& calendar, Date date) {
    const std::unique_ptr<icu::Calendar> c = calendar.icuCalendar(date);
    UErrorCode status = U_ZERO_ERROR;
    DateComponents result;
    result.era = c->get(UCAL_ERA, status);
    result.year = c->get(UCAL_YEAR, status);
    result.month = c->get(UCAL_MONTH, status) + 1;
    result.day = c->get(UCAL_DATE, status);
    result.hour = c->get(UCAL_HOUR_OF_DAY, status);
    result.minute = c->get(UCAL_MINUTE, status);
    result.second = c->get(UCAL_SECOND, status);
    return U_SUCCESS(status) ? result : DateComponents{};
}

void resetForTesting() {
    state() = State{};
}

}  // namespace talvor::CalendarExtras
