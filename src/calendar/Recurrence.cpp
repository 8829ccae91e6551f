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

std::optional<QString> Recurrence::splitChunk(QString& text, const QString& pattern) {
    const QRegularExpression re(pattern, QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    QString value = m.captured(1);
    text.remove(m.capturedStart(0), m.capturedLength(0));
    return value;
}

std::optional<QString> Recurrence::findKV(const QString& rule, const QString& part) {
    const QRegularExpression re(QRegularExpression::escape(part) + QStringLiteral("=([^;]+)"));
    const QRegularExpressionMatch m = re.match(rule);
    return m.hasMatch() ? std::optional<QString>(m.captured(1)) : std::nullopt;
}

Recurrence::Recurrence(const QString& text) {
    QString rest = text;
    // A line ends at LF or at the end of the text; a CR before the LF is not part of it.
    const QString lineEnd = QStringLiteral("\\r?(?:\\n|$)");
    dtstart = splitChunk(rest, QStringLiteral("DTSTART;([^\\r\\n]*)") + lineEnd);
    dtend = splitChunk(rest, QStringLiteral("DTEND;([^\\r\\n]*)") + lineEnd);
    const std::optional<QString> rule =
        splitChunk(rest, QStringLiteral("RRULE:([^\\r\\n]*)") + lineEnd);
    unparsed = rest;
    if (!rule) {
        return;
    }
    freq_ = findKV(*rule, QStringLiteral("FREQ"));
    until = findKV(*rule, QStringLiteral("UNTIL"));
    interval = findKV(*rule, QStringLiteral("INTERVAL"));
    count = findKV(*rule, QStringLiteral("COUNT"));
    weekStart = findKV(*rule, QStringLiteral("WKST"));
    for (const QString& key : byTimeKeys()) {
        // "BYMONTH" must not be found inside "BYMONTHDAY=": a part starts the rule or follows ";".
        const QRegularExpression re(QStringLiteral("(?:^|;)") + key + QStringLiteral("=([^;]+)"));
        const QRegularExpressionMatch m = re.match(*rule);
        if (m.hasMatch()) {
            byTimeValues.insert(key, m.captured(1));
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
