#pragma once

#include <QString>

#include <unicode/locid.h>

namespace talvor {

// The name a built-in public calendar shows for its key ("af", "usa", "judaism", "#daynum"):
// a country's name in `locale` from ICU (the keys are region codes or the provider's own
// words for a country), else a name of our own for the religious and special calendars, else
// the key itself.
QString publicCalendarName(const QString& key, const icu::Locale& locale);

}  // namespace talvor
