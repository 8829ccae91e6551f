#include "NumberOrdinals.h"

namespace talvor {

QString substituteNumber(const QString& format, std::int64_t n) {
    const QString number = QString::number(n);
    QString out;
    out.reserve(format.size() + number.size());
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != u'%') {
            out += c;
            continue;
        }
        const QStringView rest = QStringView(format).mid(i + 1);
        if (rest.startsWith(u'%')) {
            out += u'%';
            i += 1;
        } else if (rest.startsWith(u'd') || rest.startsWith(u'i')) {
            out += number;
            i += 1;
        } else if (rest.startsWith(u"ld")) {
            out += number;
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<QString> numLoc(const StringsBundle& bundle, const QString& keyFormat, std::int64_t n,
                              const QString& table) {
    return bundle.localizedString(substituteNumber(keyFormat, n), table);
}

std::optional<QString> numberStringFormat(std::int64_t n, const QString& table,
                                          const StringsBundle& bundle) {
    if (auto text = numLoc(bundle, QStringLiteral("%d"), n, table)) {
        return text;
    }
    if (auto text = numLoc(bundle, QStringLiteral("ends in %d"), n % 10, table)) {
        return text;
    }
    return bundle.localizedString(QStringLiteral("default"), table);
}

QString numberString(std::int64_t n, const QString& table, const StringsBundle& bundle) {
    return substituteNumber(numberStringFormat(n, table, bundle).value_or(QStringLiteral("%d")), n);
}

}  // namespace talvor
