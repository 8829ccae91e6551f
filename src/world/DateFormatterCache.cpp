#include "DateFormatterCache.h"

#include "foundation/CalendarFormat.h"
#include "foundation/IcuDates.h"

#include <unicode/smpdtfmt.h>

namespace talvor {

DateFormatterCache::DateFormatterCache() = default;
DateFormatterCache::~DateFormatterCache() = default;

void DateFormatterCache::clear() {
    formatters_.clear();
}

QString DateFormatterCache::format(const QString& pattern, const QTimeZone& zone, Date date) {
    ++formatted_;
    auto key = std::make_pair(pattern, zone.id());
    auto it = formatters_.find(key);
    if (it == formatters_.end()) {
        if (formatters_.size() >= kMaxFormatters) {
            formatters_.clear();
        }
        ++created_;
        it =
            formatters_.emplace(std::move(key), IcuDates::createPatternFormat(pattern, zone)).first;
    }
    return it->second ? IcuDates::format(*it->second, date) : QString();
}

QString patternWithWeekAndZone(const QString& pattern, int week, const QString& abbreviation) {
    if (!pattern.contains(QLatin1Char('%'))) {
        return pattern;
    }
    QString expanded = pattern;
    TalvorDateFormat::fixWeekNum(expanded, QString::number(week));
    QString quoted = abbreviation;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    // An empty quote ('') would be an apostrophe.
    TalvorDateFormat::fixTimeZone(
        expanded, quoted.isEmpty() ? QString() : QLatin1Char('\'') + quoted + QLatin1Char('\''));
    return expanded;
}

}  // namespace talvor
