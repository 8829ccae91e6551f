#include "LocationRecord.h"

#include <QLocale>

#include <cmath>

namespace talvor::LocationRecord {
namespace {

constexpr int kIdentityOrder[] = {kZone, kCountry, kState, kCity, kNote};

}  // namespace

QVariantList fields(const QVariant& entry) {
    if (entry.typeId() != QMetaType::QVariantList) {
        return {};
    }
    return entry.toList();
}

QString text(const QVariantList& record, int index) {
    if (index < 0 || index >= record.size()) {
        return QString();
    }
    const QVariant& v = record.at(index);
    switch (v.typeId()) {
        case QMetaType::QString:
            return v.toString();
        case QMetaType::Bool:
            return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        case QMetaType::Double:
            // QString::number ignores the user's locale.
            return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
        case QMetaType::LongLong:
            return QString::number(v.toLongLong());
        default:
            return v.toString();
    }
}

std::optional<double> number(const QVariantList& record, int index) {
    if (index < 0 || index >= record.size()) {
        return std::nullopt;
    }
    const QVariant& v = record.at(index);
    switch (v.typeId()) {
        case QMetaType::Double:
        case QMetaType::LongLong:
            return v.toDouble();
        case QMetaType::QString: {
            bool ok = false;
            // QString::toDouble reads C-locale digits whatever the user's locale.
            const double d = v.toString().trimmed().toDouble(&ok);
            if (ok) {
                return d;
            }
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

std::optional<double> hoursFromGMT(const QVariantList& record) {
    const std::optional<double> hours = number(record, kHoursFromGMT);
    if (!hours || !std::isfinite(*hours) || std::trunc(*hours) == kNoZoneHours) {
        return std::nullopt;
    }
    return hours;
}

bool flag(const QVariantList& record, int index) {
    if (index < 0 || index >= record.size()) {
        return false;
    }
    const QVariant& v = record.at(index);
    return v.typeId() == QMetaType::Bool && v.toBool();
}

void setFlag(QVariantList& record, int index, bool on) {
    while (record.size() <= index) {
        record.append(QString());
    }
    record[index] = QVariant(on);
}

bool isNetRecord(const QVariantList& record) {
    return record.size() >= kNetRecordFields;
}

bool sameIdentity(const QVariantList& a, const QVariantList& b) {
    for (int index : kIdentityOrder) {
        if (text(a, index) != text(b, index)) {
            return false;
        }
    }
    return true;
}

QString identityKey(const QVariantList& record) {
    // Length-prefixed, so no field content can imitate a field boundary.
    QString key;
    for (int index : kIdentityOrder) {
        const QString field = text(record, index);
        key += QString::number(field.size());
        key += QLatin1Char(':');
        key += field;
    }
    return key;
}

QVariantList asNetRecord(QVariantList record) {
    while (record.size() < kNetMarker) {
        record.append(QString());
    }
    if (record.size() == kNetMarker) {
        record.append(QVariant(true));
    } else {
        record[kNetMarker] = QVariant(true);
    }
    return record;
}

}  // namespace talvor::LocationRecord
