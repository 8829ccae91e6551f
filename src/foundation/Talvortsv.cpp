#include "Talvortsv.h"

namespace talvor::Talvortsv {
namespace {

bool isLineTerminator(QChar c) {
    const char16_t u = c.unicode();
    return u == u'\n' || u == u'\r' || u == 0x0085 || u == 0x2028 || u == 0x2029;
}

// The lines a comma reader looks at, each split at every comma.
QList<QStringList> dataLines(const QString& text) {
    QList<QStringList> lines;
    for (const QString& line : vltComponentsSeparatedByLineSeparators(text)) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        lines.append(line.split(QLatin1Char(',')));
    }
    return lines;
}

}  // namespace

QStringList vltComponentsSeparatedByLineSeparators(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (!isLineTerminator(text.at(i))) {
            continue;
        }
        lines.append(text.mid(start, i - start));
        if (text.at(i) == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n')) {
            ++i;
        }
        start = i + 1;
    }
    if (start < n) {
        lines.append(text.mid(start));
    }
    return lines;
}

QList<QVariantMap> arrayFromCSV(const QString& text) {
    const QList<QStringList> lines = dataLines(text);
    QList<QVariantMap> result;
    if (lines.isEmpty()) {
        return result;
    }
    const QStringList& keys = lines.first();
    for (qsizetype l = 1; l < lines.size(); ++l) {
        const QStringList& fields = lines.at(l);
        QVariantMap row;
        for (qsizetype i = 0; i < keys.size() && i < fields.size(); ++i) {
            if (!fields.at(i).isEmpty()) {
                row.insert(keys.at(i), fields.at(i));
            }
        }
        if (!row.isEmpty()) {
            result.append(row);
        }
    }
    return result;
}

QList<QVariantMap> vltarrayIndexFromCSV(const QString& text) {
    QList<QVariantMap> result;
    for (const QStringList& fields : dataLines(text)) {
        QVariantMap row;
        for (qsizetype i = 0; i < fields.size(); ++i) {
            QString field = fields.at(i);
            field.remove(QLatin1Char('"'));
            if (!field.isEmpty()) {
                row.insert(QString::number(i + 1), field);
            }
        }
        if (!row.isEmpty()) {
            result.append(row);
        }
    }
    return result;
}

QList<QVariantMap> arrayFromTSV(const QString&) {
    return {};
}

}  // namespace talvor::Talvortsv
