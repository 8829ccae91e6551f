#include "IcuDates.h"

#include "SystemTimeZone.h"
#include "platform/Clock.h"

#include <unicode/datefmt.h>

namespace talvor::IcuDates {

icu::UnicodeString toUnicode(const QString& text) {
    return icu::UnicodeString(reinterpret_cast<const char16_t*>(text.utf16()),
                              static_cast<int32_t>(text.size()));
}

QString fromUnicode(const icu::UnicodeString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

QTimeZone currentZone() {
    return platform::Clock::shared().currentZone();
}

std::unique_ptr<icu::Calendar> createCalendar(const QString& identifier, const QTimeZone& zone,
                                              const icu::Locale& locale) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale withCalendar(locale);
    const QByteArray type = identifier.toLatin1();
    if (!identifier.isEmpty()) {
        withCalendar.setKeywordValue("calendar", type.constData(), status);
        if (U_FAILURE(status)) {
            return nullptr;
        }
    }
    std::unique_ptr<icu::Calendar> calendar(
        icu::Calendar::createInstance(new SystemTimeZone(zone), withCalendar, status));
    if (U_FAILURE(status) || !calendar) {
        return nullptr;
    }
    if (!identifier.isEmpty() && type != calendar->getType()) {
        return nullptr;
    }
    return calendar;
}

std::unique_ptr<icu::SimpleDateFormat> createPatternFormat(const QString& pattern,
                                                           const QTimeZone& zone,
                                                           const icu::Locale& locale) {
    UErrorCode status = U_ZERO_ERROR;
    auto format = std::make_unique<icu::SimpleDateFormat>(toUnicode(pattern), locale, status);
    if (U_FAILURE(status)) {
        return nullptr;
    }
    setZone(*format, zone);
    return format;
}

std::unique_ptr<icu::SimpleDateFormat> createTimeStyleFormat(icu::DateFormat::EStyle style,
                                                             const QTimeZone& zone,
                                                             const icu::Locale& locale) {
    std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createTimeInstance(style, locale));
    auto* simple = dynamic_cast<icu::SimpleDateFormat*>(format.get());
    if (simple == nullptr) {
        return nullptr;
    }
    std::unique_ptr<icu::SimpleDateFormat> owned(
        static_cast<icu::SimpleDateFormat*>(format.release()));
    setZone(*owned, zone);
    return owned;
}

void setZone(icu::Calendar& calendar, const QTimeZone& zone) {
    calendar.adoptTimeZone(new SystemTimeZone(zone));
}

void setZone(icu::DateFormat& format, const QTimeZone& zone) {
    format.adoptTimeZone(new SystemTimeZone(zone));
}

QString format(const icu::DateFormat& format, Date date) {
    icu::UnicodeString text;
    format.format(date.toUDate(), text);
    return fromUnicode(text);
}

}  // namespace talvor::IcuDates
