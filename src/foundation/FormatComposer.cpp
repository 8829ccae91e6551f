#include "FormatComposer.h"

#include "FormatList.h"

#include <QCoreApplication>

#include <initializer_list>

namespace talvor {
namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("talvor::FormatComposer", text);
}

// Alternatives whose titles are `now` through their own patterns.
std::vector<FormatAlternative> samples(std::initializer_list<const char*> patterns, Date now,
                                       const QTimeZone& zone) {
    std::vector<FormatAlternative> alternatives;
    for (const char* p : patterns) {
        const QString pattern = QString::fromLatin1(p);
        alternatives.push_back({formatWithPattern(pattern, now, zone), pattern});
    }
    return alternatives;
}

FormatTokenSource source(const char* id, const char* label, const char* pattern, qint32 menuType,
                         std::vector<FormatAlternative> alternatives) {
    return {QString::fromLatin1(id), tr(label), QString::fromLatin1(pattern), menuType,
            std::move(alternatives)};
}

QString withoutPercent(QString text) {
    return text.remove(QLatin1Char('%'));
}

}  // namespace

std::vector<FormatTokenSource> timeTokenSources(Date now, const QTimeZone& zone) {
    std::vector<FormatAlternative> hours;
    for (const auto& [range, pattern] : {std::pair{"1-12", "h"},
                                         {"01-12", "hh"},
                                         {"0-23", "H"},
                                         {"00-23", "HH"},
                                         {"0-11", "K"},
                                         {"00-11", "KK"},
                                         {"1-24", "k"},
                                         {"01-24", "kk"}}) {
        hours.push_back({QString::fromLatin1(range), QString::fromLatin1(pattern)});
    }
    return {
        source("hour", QT_TRANSLATE_NOOP("talvor::FormatComposer", "Hour"), "h", 8,
               std::move(hours)),
        source("ampm", QT_TRANSLATE_NOOP("talvor::FormatComposer", "AM/PM"), "a", -1, {}),
        source("minute", QT_TRANSLATE_NOOP("talvor::FormatComposer", "Minute"), "m", 9,
               samples({"mm", "m"}, now, zone)),
        source("timezone", QT_TRANSLATE_NOOP("talvor::FormatComposer", "Time zone"), "z", 10,
               samples({"z", "zzzz", "VVVV", "V", "VV", "Z", "ZZZZZ", "ZZZZ"}, now, zone)),
        source("second", QT_TRANSLATE_NOOP("talvor::FormatComposer", "Second"), "s", 11,
               samples({"ss", "s"}, now, zone)),
        source("miliseconds", QT_TRANSLATE_NOOP("talvor::FormatComposer", "Fraction"), "SSSSS", 12,
               samples({"SSSSS", "SSSS", "SSS", "SS", "S"}, now, zone)),
    };
}

std::vector<FormatTokenSource> dateTokenSources(Date now, const QTimeZone& zone) {
    return {
        source("dayOfWeek", QT_TRANSLATE_NOOP("talvor::FormatComposer", "Weekday"), "EEEE", 0,
               samples({"EEEE", "E", "EEEEEE", "EEEEE", "FF", "F"}, now, zone)),
        source("dayOfYear", QT_TRANSLATE_NOOP("talvor::FormatComposer", "Day of year"), "D", 1,
               samples({"D", "DD", "DDD"}, now, zone)),
        source("month", QT_TRANSLATE_NOOP("talvor::FormatComposer", "Month"), "MMMM", 2,
               samples({"MMMM", "MMM", "MMMMM", "MM", "M"}, now, zone)),
        source("weekOfYear", QT_TRANSLATE_NOOP("talvor::FormatComposer", "Week"), "w", 3,
               samples({"w", "ww"}, now, zone)),
        source("dayOfMonth", QT_TRANSLATE_NOOP("talvor::FormatComposer", "Day"), "d", 4,
               samples({"dd", "d"}, now, zone)),
        source("weekOfMonth", QT_TRANSLATE_NOOP("talvor::FormatComposer", "Week of month"), "W", -1,
               {}),
        source("year", QT_TRANSLATE_NOOP("talvor::FormatComposer", "Year"), "yyyy", 5,
               samples({"yyyy", "yy"}, now, zone)),
        source("dayOfWeekInMonth", QT_TRANSLATE_NOOP("talvor::FormatComposer", "Weekday in month"),
               "F", -1, {}),
        source("era", QT_TRANSLATE_NOOP("talvor::FormatComposer", "Era"), "G", 6,
               samples({"GGGG", "G", "GGGGG"}, now, zone)),
        source("quarter", QT_TRANSLATE_NOOP("talvor::FormatComposer", "Quarter"), "Q", 7,
               samples({"QQQQ", "QQQ", "QQ", "Q"}, now, zone)),
    };
}

QString composeTimePattern(const QList<FormatObject>& objects) {
    QString pattern;
    for (const FormatObject& object : objects) {
        if (const auto* token = std::get_if<TokenString>(&object)) {
            pattern += token->pattern;
        } else {
            QString text = std::get<QString>(object);
            text.remove(QLatin1Char(','));
            text.remove(QLatin1Char('\''));
            pattern += text;
        }
    }
    return pattern;
}

QString composeDatePattern(const QList<FormatObject>& objects) {
    QString composite;
    for (const FormatObject& object : objects) {
        if (const auto* token = std::get_if<TokenString>(&object)) {
            if (!token->pattern.isEmpty()) {
                composite += token->pattern + kFormatPieceMarker;
            }
        } else {
            composite += std::get<QString>(object) + kFormatPieceMarker;
        }
    }
    return composite;
}

QString previewTimePattern(const QString& pattern, Date now, const QTimeZone& zone) {
    return withoutPercent(formatWithPattern(pattern, now, zone));
}

QString previewDatePattern(const QString& composite, Date now, const QTimeZone& zone) {
    QString text;
    for (const QString& piece : composite.split(kFormatPieceMarker)) {
        text += formatArr().contains(piece) ? withoutPercent(formatWithPattern(piece, now, zone))
                                            : piece;
    }
    text.replace(QLatin1String("[ "), QLatin1String("["));
    text.replace(QLatin1String(" ]"), QLatin1String("]"));
    return text;
}

}  // namespace talvor
