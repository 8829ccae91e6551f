#include "TalvorDictBoolean.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace talvor::TalvorDictBoolean {
namespace {

// The number a string begins with, after leading white space; 0 when none.
double leadingNumber(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral(R"(^\s*([+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?))"));
    const QRegularExpressionMatch m = number.match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : 0.0;
}

double numberOf(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Bool:
            return v.toBool() ? 1.0 : 0.0;
        case QMetaType::LongLong:
        case QMetaType::Int:
        case QMetaType::Double:
            return v.toDouble();
        case QMetaType::QString:
            return leadingNumber(v.toString());
        default:
            return 0.0;
    }
}

}  // namespace

bool boolForKey(const QVariantMap& dict, const QString& key) {
    const QVariant v = dict.value(key);
    return v.typeId() == QMetaType::Bool && v.toBool();
}

qint64 integerForKey(const QVariantMap& dict, const QString& key) {
    const QVariant v = dict.value(key);
    if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int) {
        return v.toLongLong();
    }
    const double d = numberOf(v);
    if (std::isnan(d)) {
        return 0;
    }
    // Beyond 64 bits the original system's conversion saturates.
    if (d >= 9.2233720368547758e18) {
        return std::numeric_limits<qint64>::max();
    }
    if (d <= -9.2233720368547758e18) {
        return std::numeric_limits<qint64>::min();
    }
    return static_cast<qint64>(d);
}

float floatForKey(const QVariantMap& dict, const QString& key) {
    return static_cast<float>(numberOf(dict.value(key)));
}

double doubleForKey(const QVariantMap& dict, const QString& key) {
    return numberOf(dict.value(key));
}

void setBool(QVariantMap& dict, bool value, const QString& key) {
    dict.insert(key, QVariant(value));
}

void setInteger(QVariantMap& dict, qint64 value, const QString& key) {
    dict.insert(key, QVariant(static_cast<qint64>(static_cast<qint32>(value))));
}

}  // namespace talvor::TalvorDictBoolean
