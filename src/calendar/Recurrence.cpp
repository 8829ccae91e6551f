#include "Recurrence.h"

#include <QDateTime>
#include <QRegularExpression>

namespace talvor {

const QStringList& Recurrence::byTimeKeys() {
    static const QStringList keys = {QStringLiteral("BYMONTH"),   QStringLiteral("BYWEEKNO"),
                                     QStringLiteral("BYYEARDAY"), QStringLiteral("BYMONTHDAY"),
                                     QStringLiteral("BYDAY"),     QStringLiteral("BYHOUR"),
                                     QStringLiteral("BYMINUTE"),  QStringLiteral("BYSECOND")};
    return keys;
}

namespace {

std::optional<QString> takeFirst(QString& text, const QRegularExpression& re) {
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    QString value = m.captured(1);
    text.remove(m.capturedStart(0), m.capturedLength(0));
    return value;
}

std::optional<QString> firstCapture(const QString& text, const QRegularExpression& re) {
    const QRegularExpressionMatch m = re.match(text);
    return m.hasMatch() ? std::optional<QString>(m.captured(1)) : std::nullopt;
}

QRegularExpression linePattern(const QString& pattern) {
    // A line ends at LF or at the end of the text; a CR before the LF is not part of it.
    return QRegularExpression(pattern + QStringLiteral("\\r?(?:\\n|$)"),
                              QRegularExpression::DotMatchesEverythingOption);
}

QRegularExpression partPattern(const QString& part) {
    return QRegularExpression(QRegularExpression::escape(part) + QStringLiteral("=([^;]+)"));
}

}  // namespace

std::optional<QString> Recurrence::splitChunk(QString& text, const QString& pattern) {
    return takeFirst(text,
                     QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption));
}

std::optional<QString> Recurrence::findKV(const QString& rule, const QString& part) {
    return firstCapture(rule, partPattern(part));
}

Recurrence::Recurrence(const QString& text) {
    // Each pattern is compiled once: compiling (and JIT-compiling) some fifteen for every text
    // took longer than the reading.
    static const QRegularExpression kStart = linePattern(QStringLiteral("DTSTART;([^\\r\\n]*)"));
    static const QRegularExpression kEnd = linePattern(QStringLiteral("DTEND;([^\\r\\n]*)"));
    static const QRegularExpression kRule = linePattern(QStringLiteral("RRULE:([^\\r\\n]*)"));
    static const QRegularExpression kFreq = partPattern(QStringLiteral("FREQ"));
    static const QRegularExpression kUntil = partPattern(QStringLiteral("UNTIL"));
    static const QRegularExpression kInterval = partPattern(QStringLiteral("INTERVAL"));
    static const QRegularExpression kCount = partPattern(QStringLiteral("COUNT"));
    static const QRegularExpression kWeekStart = partPattern(QStringLiteral("WKST"));
    static const QList<QRegularExpression> kByParts = [] {
        QList<QRegularExpression> out;
        for (const QString& key : byTimeKeys()) {
            // "BYMONTH" must not be found inside "BYMONTHDAY=": a part starts the rule or
            // follows ";".
            out << QRegularExpression(QStringLiteral("(?:^|;)") + key + QStringLiteral("=([^;]+)"));
        }
        return out;
    }();
    QString rest = text;
    dtstart = takeFirst(rest, kStart);
    dtend = takeFirst(rest, kEnd);
    const std::optional<QString> rule = takeFirst(rest, kRule);
    unparsed = rest;
    if (!rule) {
        return;
    }
    freq_ = firstCapture(*rule, kFreq);
    until = firstCapture(*rule, kUntil);
    interval = firstCapture(*rule, kInterval);
    count = firstCapture(*rule, kCount);
    weekStart = firstCapture(*rule, kWeekStart);
    for (qsizetype i = 0; i < kByParts.size(); ++i) {
        if (const auto value = firstCapture(*rule, kByParts[i])) {
            byTimeValues.insert(byTimeKeys()[i], *value);
        }
    }
}

void Recurrence::setByTime(const QString& part, const QStringList& values) {
    byTimeValues.insert(part, values.join(QLatin1Char(',')));
}

void Recurrence::setStart(Date start, Date end, const QTimeZone& zone, bool allDay) {
    timezone = zone;
    const QString format =
        allDay ? QStringLiteral("yyyyMMdd") : QStringLiteral("yyyyMMdd'T'HHmmss");
    auto text = [&](Date d) {
        return QStringLiteral("TZID=") + QString::fromUtf8(zone.id()) + QLatin1Char(':') +
               d.toQDateTime().toTimeZone(zone).toString(format);
    };
    dtstart = text(start);
    dtend = text(end);
}

void Recurrence::setCount(int value) {
    count = QString::number(value);
    until.reset();
}

void Recurrence::setInterval(int value) {
    interval = QString::number(value);
}

void Recurrence::setUntil(Date value) {
    until = value.toQDateTime().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    count.reset();
}

QString Recurrence::description() const {
    QString out;
    if (dtstart) {
        out += QStringLiteral("DTSTART;") + *dtstart + QLatin1Char('\n');
    }
    if (dtend) {
        out += QStringLiteral("DTEND;") + *dtend + QLatin1Char('\n');
    }
    if (freq_) {
        QString rule = QStringLiteral("RRULE:FREQ=") + *freq_ + QLatin1Char(';');
        if (interval) {
            rule += QStringLiteral("INTERVAL=") + *interval + QLatin1Char(';');
        }
        for (const QString& key : byTimeKeys()) {
            if (byTimeValues.contains(key)) {
                rule += key + QLatin1Char('=') + byTimeValues.value(key) + QLatin1Char(';');
            }
        }
        const std::pair<const char*, const std::optional<QString>*> tail[] = {
            {"COUNT", &count}, {"UNTIL", &until}, {"WKST", &weekStart}};
        for (const auto& [name, value] : tail) {
            if (*value) {
                rule += QLatin1String(name) + QLatin1Char('=') + **value + QLatin1Char(';');
            }
        }
        rule.back() = QLatin1Char('\n');
        out += rule;
    }
    if (unparsed) {
        out += *unparsed;
    }
    return out;
}

}  // namespace talvor
