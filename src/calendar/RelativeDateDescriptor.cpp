#include "RelativeDateDescriptor.h"

#include "foundation/CalendarExtras.h"
#include "platform/Clock.h"

#include <unicode/calendar.h>

#include <algorithm>
#include <cmath>

namespace talvor {

namespace {

constexpr RelativeDateDescriptor::Unit kUnits[] = {
    RelativeDateDescriptor::Millisecond, RelativeDateDescriptor::Second,
    RelativeDateDescriptor::Minute,      RelativeDateDescriptor::Hour,
    RelativeDateDescriptor::Day,         RelativeDateDescriptor::Week,
    RelativeDateDescriptor::Month,       RelativeDateDescriptor::Year,
};

}  // namespace

RelativeDateDescriptor::RelativeDateDescriptor()
    : RelativeDateDescriptor(QStringLiteral("%@ ago"), QStringLiteral("in %@")) {}

RelativeDateDescriptor::RelativeDateDescriptor(QString priorFormat, QString postFormat)
    : prior_(std::move(priorFormat)), post_(std::move(postFormat)) {}

std::vector<RelativeDateDescriptor::Unit> RelativeDateDescriptor::expressedTimeUnits() const {
    std::vector<Unit> out;
    for (Unit u : kUnits) {
        if (isExpressedUnit(u)) {
            out.push_back(u);
        }
    }
    return out;
}

int64_t RelativeDateDescriptor::millisecondsInTimeUnit(uint32_t unit) {
    switch (unit) {
        case Millisecond:
            return 1;
        case Second:
            return 1000;
        case Minute:
            return 60'000;
        case Hour:
            return 3'600'000;
        case Day:
            return 86'400'000;
        case Week:
            return 604'800'000;
        case Month:
            return 2'629'152'000;
        case Year:
            return 31'556'952'000;
        default:
            return 0;
    }
}

std::optional<QString> RelativeDateDescriptor::quantifierForTimeUnit(uint32_t unit) {
    switch (unit) {
        case Millisecond:
            return QStringLiteral("millisecond");
        case Second:
            return QStringLiteral("second");
        case Minute:
            return QStringLiteral("minute");
        case Hour:
            return QStringLiteral("hour");
        case Day:
            return QStringLiteral("day");
        case Week:
            return QStringLiteral("week");
        case Month:
            return QStringLiteral("month");
        case Year:
            return QStringLiteral("year");
        default:
            return std::nullopt;
    }
}

RelativeDateDescriptor::Unit RelativeDateDescriptor::mostSignificantUnitForTimeDifference(
    double seconds) {
    const double s = std::fabs(seconds);
    for (Unit u : {Second, Minute, Hour, Day, Week, Month, Year}) {
        if (s < secondsInTimeUnit(u)) {
            return static_cast<Unit>(u == Second ? Millisecond : u >> 1);
        }
    }
    return Year;
}

QString RelativeDateDescriptor::formOfDateQuantifier(const QString& word, int64_t count) {
    return count >= 2 ? word + QLatin1Char('s') : word;
}

QString RelativeDateDescriptor::describeInterval(double seconds, std::vector<Unit> units) {
    std::sort(units.begin(), units.end(), [](Unit a, Unit b) { return a > b; });
    // Whole milliseconds in 64 bits: exact, and no overflow for any span of years.
    int64_t remaining = std::llround(std::fabs(seconds) * 1000.0);
    QStringList parts;
    for (Unit u : units) {
        const int64_t length = millisecondsInTimeUnit(u);
        if (length == 0) {
            continue;
        }
        const int64_t count = remaining / length;
        remaining -= count * length;
        parts << QString::number(count) + QLatin1Char(' ') +
                     formOfDateQuantifier(quantifierForTimeUnit(u).value_or(QString()), count);
    }
    return parts.join(QLatin1Char(' '));
}

QString RelativeDateDescriptor::applyFormat(const QString& format, const QString& difference) {
    QString out = format;
    const qsizetype at = out.indexOf(QLatin1String("%@"));
    return at < 0 ? out : out.replace(at, 2, difference);
}

std::optional<QString> RelativeDateDescriptor::describeDate(std::optional<Date> date,
                                                            std::optional<Date> reference) const {
    if (!date || !reference) {
        return std::nullopt;
    }
    const double interval = date->timeIntervalSince(*reference);
    std::vector<Unit> units = expressedTimeUnits();
    if (isExpressedUnit(MostSignificantOnly) || units.empty()) {
        units = {mostSignificantUnitForTimeDifference(interval)};
    }
    return applyFormat(interval < 0 ? prior_ : post_, describeInterval(interval, units));
}

DateDiffCalculator::DateDiffCalculator() {
    date1 = date2 = platform::Clock::shared().now();
    computeDateDiff();
}

void DateDiffCalculator::computeDateDiff() {
    const Calendar calendar = CalendarExtras::userCalendar().isNull()
                                  ? Calendar::current()
                                  : CalendarExtras::userCalendar();
    std::unique_ptr<icu::Calendar> c = calendar.icuCalendar(date1);
    UErrorCode status = U_ZERO_ERROR;
    const UDate target = date2.toUDate();
    diff = {};
    if (doesEra) {
        std::unique_ptr<icu::Calendar> other = calendar.icuCalendar(date2);
        diff.era = other->get(UCAL_ERA, status) - c->get(UCAL_ERA, status);
    }
    // Largest unit first: each difference moves the calendar on, so the next one counts what
    // is left.
    const std::pair<bool, std::pair<std::optional<int32_t>*, UCalendarDateFields>> fields[] = {
        {doesYear, {&diff.year, UCAL_YEAR}},
        {doesMonth, {&diff.month, UCAL_MONTH}},
        {doesWeek, {&diff.week, UCAL_WEEK_OF_YEAR}},
        {doesDay, {&diff.day, UCAL_DATE}},
    };
    for (const auto& [on, field] : fields) {
        if (on) {
            *field.first = c->fieldDifference(target, field.second, status);
        }
    }
    if (U_FAILURE(status)) {
        diff = {};
    }
    RelativeDateDescriptor describer(QStringLiteral("%@ ago"), QStringLiteral("in %@"));
    describer.expressMostSignificantUnitOnly();
    LaterData = describer.describeDate(date1, date2).value_or(QString());
    earlierData = describer.describeDate(date2, date1).value_or(QString());
}

}  // namespace talvor
