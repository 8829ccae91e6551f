#pragma once

#include "EDSunriseSet.h"

#include <QString>
#include <QStringList>

#include <unicode/locid.h>

namespace talvor {

// The sun window's eight rows as text: a caption and the time, in the zone of the computed
// day and the locale's own time format.
namespace SunTimeTexts {

inline constexpr int kRowCount = 8;

// "Sunrise:", "Sunset:", then the start and end of civil, nautical and astronomical
// twilight.
QStringList resultsLabels();

// A time that cannot be shown: no place known, or a formatter that gives nothing.
inline const QString kUnknown = QStringLiteral("?");

// The eight times of `sunriset`, in the rows' order. A day on which the Sun never crosses
// a row's altitude says so instead of giving a time; a time that falls on the day before
// or after the computed one says which.
QStringList timeTexts(const EDSunriseSet& sunriset,
                      const icu::Locale& locale = icu::Locale::getDefault());

// The eight rows when nothing is known: "?" each.
QStringList unknownTexts();

}  // namespace SunTimeTexts
}  // namespace talvor
