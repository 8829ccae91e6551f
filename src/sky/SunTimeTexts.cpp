#include "SunTimeTexts.h"

#include "foundation/IcuDates.h"

#include <QDateTime>

#include <cmath>

namespace talvor::SunTimeTexts {
namespace {

QDate localDay(Date date, const QTimeZone& zone) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(date.toUDate())), zone)
        .date();
}

QString noEventText(EDSunriseSet::Status status, bool sunRow) {
    const bool above = status == EDSunriseSet::Status::AlwaysAbove;
    if (sunRow) {
        return above ? QStringLiteral("none (polar day)") : QStringLiteral("none (polar night)");
    }
    return above ? QStringLiteral("none (never this dark)")
                 : QStringLiteral("none (never this light)");
}

}  // namespace

QStringList resultsLabels() {
    return {
        QStringLiteral("Sunrise:"),
        QStringLiteral("Sunset:"),
        QStringLiteral("Civil Twilight Start:"),
        QStringLiteral("Civil Twilight End:"),
        QStringLiteral("Nautical Twilight Start:"),
        QStringLiteral("Nautical Twilight End:"),
        QStringLiteral("Astronomical Twilight Start:"),
        QStringLiteral("Astronomical Twilight End:"),
    };
}

QStringList unknownTexts() {
    return QStringList(kRowCount, kUnknown);
}

QStringList timeTexts(const EDSunriseSet& sunriset, const icu::Locale& locale) {
    const QTimeZone& zone = sunriset.timezone();
    const std::unique_ptr<icu::SimpleDateFormat> format =
        IcuDates::createTimeStyleFormat(icu::DateFormat::kMedium, zone, locale);
    const QDate day = localDay(sunriset.date(), zone);
    const EDSunriseSet::Event* events[] = {&sunriset.sunriseSet(), &sunriset.civilTwilight(),
                                           &sunriset.nauticalTwilight(),
                                           &sunriset.astronomicalTwilight()};
    QStringList texts;
    for (const EDSunriseSet::Event* event : events) {
        const bool sunRow = event == events[0];
        for (const std::optional<Date>& time : {event->start, event->end}) {
            // On the edge of the midnight sun one of the pair can happen without the other.
            if (!time) {
                texts.append(noEventText(event->status, sunRow));
                continue;
            }
            const QString text = format ? IcuDates::format(*format, *time) : QString();
            if (text.isEmpty()) {
                texts.append(kUnknown);
                continue;
            }
            // Far north in summer the evening twilight ends after midnight.
            const qint64 offset = day.daysTo(localDay(*time, zone));
            if (offset > 0) {
                texts.append(text + QStringLiteral(" (next day)"));
            } else if (offset < 0) {
                texts.append(text + QStringLiteral(" (day before)"));
            } else {
                texts.append(text);
            }
        }
    }
    return texts;
}

}  // namespace talvor::SunTimeTexts
