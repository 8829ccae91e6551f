#include "DateExtras.h"

#include "platform/Clock.h"

#include <unicode/calendar.h>

#include <cmath>

namespace talvor {
namespace DateExtras {
namespace {

std::optional<Date>& cached() {
    static std::optional<Date> date;
    return date;
}

}  // namespace

void cacheDate() {
    cached() = platform::Clock::shared().now();
}

std::optional<Date> cachedDate() {
    return cached();
}

void valueOfYear(Date date, int32_t* year, int32_t* month, int32_t* day, int32_t* hour,
                 int32_t* minute, const Calendar& calendar) {
    const std::unique_ptr<icu::Calendar> c = calendar.icuCalendar(date);
    UErrorCode status = U_ZERO_ERROR;
    const auto store = [&](int32_t* out, UCalendarDateFields field, int32_t base) {
        if (out != nullptr) {
            const int32_t value = c->get(field, status);
            if (U_SUCCESS(status)) {
                *out = value + base;
            }
        }
    };
    store(year, UCAL_YEAR, 0);
    store(month, UCAL_MONTH, 1);
    store(day, UCAL_DATE, 0);
    store(hour, UCAL_HOUR_OF_DAY, 0);
    store(minute, UCAL_MINUTE, 0);
}

Date roundedToHour(Date date, int32_t hour, int32_t minute, const Calendar& calendar) {
    const std::unique_ptr<icu::Calendar> c = calendar.icuCalendar(date);
    c->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
    c->set(UCAL_HOUR_OF_DAY, hour);
    c->set(UCAL_MINUTE, minute);
    c->set(UCAL_SECOND, 0);
    c->set(UCAL_MILLISECOND, 0);
    UErrorCode status = U_ZERO_ERROR;
    const UDate result = c->getTime(status);
    return U_SUCCESS(status) ? Date::fromUDate(result) : date;
}

bool isGreaterThan(Date date, Date other) {
    return date > other;
}

bool isLessThan(Date date, Date other) {
    return date < other;
}

bool isGreaterThanOrEqualTo(Date date, Date other) {
    return date >= other;
}

bool isLessThanOrEqualTo(Date date, Date other) {
    return date <= other;
}

void resetForTesting() {
    cached().reset();
}

}  // namespace DateExtras

namespace CalendarDateExtras {

Date calendarDateWithTimeInterval(double interval, Date sinceDate) {
    return sinceDate.addingTimeInterval(interval);
}

Date calendarDateRoundedTo5(Date date, const QTimeZone& zone) {
    // On the instant rather than through calendar fields, so that a repeated hour cannot
    // move the result to the other occurrence.
    const double offset = zone.isValid() ? zone.offsetFromUtc(date.toQDateTime()) : 0.0;
    const double localMinute = std::floor((date.timeIntervalSinceReferenceDate() + offset) / 60.0);
    const double r = localMinute - 5.0 * std::floor(localMinute / 5.0);
    const double roundedMinute = r <= 2.0 ? localMinute - r : localMinute + (5.0 - r);
    return Date::fromReference(roundedMinute * 60.0 - offset);
}

}  // namespace CalendarDateExtras

QString tformatTime(Date date) {
    // Making the formatter costs far more than using it, and month views ask for the time of
    // every event: one per thread, made again when the locale or the zone changes.
    struct Cached {
        std::string locale;
        QByteArray zone;
        std::unique_ptr<icu::SimpleDateFormat> format;
    };
    thread_local Cached cached;
    const std::string locale = icu::Locale::getDefault().getName();
    const QTimeZone zone = IcuDates::currentZone();
    const QByteArray zoneId = zone.id();
    if (!cached.format || cached.locale != locale || cached.zone != zoneId) {
        cached = {locale, zoneId, IcuDates::createTimeStyleFormat(icu::DateFormat::kShort, zone)};
    }
    return cached.format ? IcuDates::format(*cached.format, date) : QString();
}

}  // namespace talvor
