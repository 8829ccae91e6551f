#pragma once

#include "platform/Date.h"

#include <QString>
#include <QTimeZone>

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

#include <memory>

// The only way the application makes ICU calendars and date formatters: each one gets the
// zone rules of the system database (SystemTimeZone), never ICU's own zone data.
namespace talvor::IcuDates {

icu::UnicodeString toUnicode(const QString& text);
QString fromUnicode(const icu::UnicodeString& text);

// The zone of calendars and formatters made without one: the platform clock's current zone.
QTimeZone currentZone();

// A calendar of the ICU type `identifier` ("gregorian", "buddhist", "hebrew", "islamic",
// "islamic-civil", "japanese", "chinese", "persian", ...) with the week rules of `locale`, in
// `zone`. An empty identifier gives the locale's own calendar. Null when ICU does not know
// the identifier (ICU alone would quietly give the locale's calendar instead).
std::unique_ptr<icu::Calendar> createCalendar(
    const QString& identifier, const QTimeZone& zone = currentZone(),
    const icu::Locale& locale = icu::Locale::getDefault());

// A formatter of a UTS #35 pattern ("hh:mm:ss a", "EEE dd MMM") in `zone`; the calendar is
// the locale's (a "@calendar=hebrew" locale gives Hebrew dates). Null for a pattern ICU
// refuses.
std::unique_ptr<icu::SimpleDateFormat> createPatternFormat(
    const QString& pattern, const QTimeZone& zone = currentZone(),
    const icu::Locale& locale = icu::Locale::getDefault());

// A formatter of the locale's time of day in a style (short: "HH:mm", "h:mm a", ...).
std::unique_ptr<icu::SimpleDateFormat> createTimeStyleFormat(
    icu::DateFormat::EStyle style = icu::DateFormat::kShort, const QTimeZone& zone = currentZone(),
    const icu::Locale& locale = icu::Locale::getDefault());

// Puts the rules of `zone` into an existing calendar or formatter (after a zone change).
void setZone(icu::Calendar& calendar, const QTimeZone& zone);
void setZone(icu::DateFormat& format, const QTimeZone& zone);

QString format(const icu::DateFormat& format, Date date);

}  // namespace talvor::IcuDates
