#include "TimeDateText.h"

#include "foundation/FormatList.h"
#include "foundation/IcuDates.h"

#include <unicode/smpdtfmt.h>

#include <cmath>

namespace talvor {
namespace {

const QString kPieceSeparator = QStringLiteral("$*&");

QString withLowerCaseMarks(QString text) {
    text.replace(QLatin1String("AM."), QLatin1String("a.m."));
    text.replace(QLatin1String("PM."), QLatin1String("p.m."));
    return text;
}

}  // namespace

const QStringList& dateFormatTokens() {
    return formatArr();
}

QString TimeDateText::repairedTimePattern(const QString& pattern) {
    return pattern.startsWith(QLatin1Char('%')) ? QStringLiteral("hh:mm:ss a") : pattern;
}

QString TimeDateText::repairedDatePattern(const QString& pattern) {
    return pattern.startsWith(QLatin1Char('%')) ? QStringLiteral("dd MMM yyyy") : pattern;
}

QString TimeDateText::format(const QString& pattern, Date now, const QTimeZone& zone) {
    auto key = std::make_pair(pattern, zone.id());
    auto it = formatters_.find(key);
    if (it == formatters_.end()) {
        // Patterns change only when the user edits them; a bound keeps edits from piling up,
        // and leaves room for a world-clock line per zone of the location table.
        if (formatters_.size() >= 512) {
            formatters_.clear();
        }
        std::shared_ptr<icu::SimpleDateFormat> f = IcuDates::createPatternFormat(pattern, zone);
        it = formatters_.emplace(std::move(key), std::move(f)).first;
    }
    return it->second ? IcuDates::format(*it->second, now) : QString();
}

QString TimeDateText::timeText(const QString& pattern, Date now, const QTimeZone& zone,
                               bool flashSeparator) {
    QString text = withLowerCaseMarks(format(repairedTimePattern(pattern), now, zone));
    const auto second = static_cast<long long>(std::floor(now.timeIntervalSince1970()));
    if (flashSeparator && (second % 2) != 0) {
        text.replace(QLatin1Char(':'), QLatin1Char(' '));
    }
    return text;
}

QString TimeDateText::dateText(const QString& dateFormat, Date now, const QTimeZone& zone) {
    const QString pattern = repairedDatePattern(dateFormat);
    if (!pattern.contains(kPieceSeparator)) {
        return withLowerCaseMarks(format(pattern, now, zone));
    }
    QString text;
    for (const QString& piece : pattern.split(kPieceSeparator)) {
        text += dateFormatTokens().contains(piece) ? withLowerCaseMarks(format(piece, now, zone))
                                                   : piece;
    }
    return text;
}

bool minuteChanged(Date previousTick, Date now) {
    const auto minute = [](Date d) {
        return std::floor(d.timeIntervalSinceReferenceDate() / 60.0);
    };
    return minute(previousTick) != minute(now);
}

}  // namespace talvor
