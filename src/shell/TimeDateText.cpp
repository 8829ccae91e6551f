#include "TimeDateText.h"

#include "foundation/FormatList.h"
#include "foundation/IcuDates.h"
#include "platform/Log.h"

#include <unicode/smpdtfmt.h>

#include <cmath>

namespace talvor {
namespace {

const QString kPieceSeparator = QStringLiteral("$*&");
const QString kDefaultTimePattern = QStringLiteral("hh:mm:ss a");
const QString kDefaultDatePattern = QStringLiteral("EEE dd MMM");

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

QString TimeDateText::shownOrDefault(QString text, const QString& pattern, const char* what,
                                     const QString& fallback, Date now, const QTimeZone& zone) {
    if (!text.trimmed().isEmpty()) {
        return text;
    }
    // An item with no text has no width: it would vanish from the bar, and with the time
    // item the way to the settings and to Quit.
    if (reportedBlank_.insert(QLatin1String(what) + QLatin1Char(':') + pattern).second) {
        platform::log(QStringLiteral("The %1 format \"%2\" shows nothing; \"%3\" is used instead")
                          .arg(QLatin1String(what), pattern, fallback));
    }
    return withLowerCaseMarks(format(fallback, now, zone));
}

QString TimeDateText::timeText(const QString& pattern, Date now, const QTimeZone& zone,
                               bool flashSeparator, const QString& separator) {
    QString text =
        shownOrDefault(withLowerCaseMarks(format(repairedTimePattern(pattern), now, zone)), pattern,
                       "time", kDefaultTimePattern, now, zone);
    const QString shown = separator.isEmpty() ? QStringLiteral(":") : separator;
    const auto second = static_cast<long long>(std::floor(now.timeIntervalSince1970()));
    // The blanks take the separator's width, so the text does not jump while it flashes.
    const bool blank = flashSeparator && (second % 2) != 0;
    text.replace(QLatin1Char(':'), blank ? QString(shown.size(), QLatin1Char(' ')) : shown);
    return text;
}

QString TimeDateText::dateText(const QString& dateFormat, Date now, const QTimeZone& zone) {
    const QString pattern = repairedDatePattern(dateFormat);
    if (!pattern.contains(kPieceSeparator)) {
        return shownOrDefault(withLowerCaseMarks(format(pattern, now, zone)), dateFormat, "date",
                              kDefaultDatePattern, now, zone);
    }
    QString text;
    for (const QString& piece : pattern.split(kPieceSeparator)) {
        text += dateFormatTokens().contains(piece) ? withLowerCaseMarks(format(piece, now, zone))
                                                   : piece;
    }
    return shownOrDefault(text, dateFormat, "date", kDefaultDatePattern, now, zone);
}

bool minuteChanged(Date previousTick, Date now) {
    const auto minute = [](Date d) {
        return std::floor(d.timeIntervalSinceReferenceDate() / 60.0);
    };
    return minute(previousTick) != minute(now);
}

}  // namespace talvor
