#include "KeyedArchiver.h"

#include "PropertyList.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <limits>

namespace talvor::platform {
namespace {

const QString& classKey() {
    static const QString key = QStringLiteral("$class");
    return key;
}

}  // namespace

KeyedArchiver::KeyedArchiver(const QString& className) {
    values_.insert(classKey(), className);
}

bool KeyedArchiver::put(const QString& key, const QVariant& value) {
    if (key == classKey()) {
        return false;
    }
    QVariant stored = PropertyList::normalized(value);
    if (!stored.isValid()) {
        return false;
    }
    values_[key] = std::move(stored);
    return true;
}

void KeyedArchiver::putEncoded(const QString& key, QVariant value) {
    if (key != classKey()) {
        values_[key] = std::move(value);
    }
}

void KeyedArchiver::encodeBool(const QString& key, bool value) {
    put(key, QVariant(value));
}

void KeyedArchiver::encodeInt32(const QString& key, qint32 value) {
    put(key, QVariant(static_cast<qint64>(value)));
}

void KeyedArchiver::encodeInt64(const QString& key, qint64 value) {
    put(key, QVariant(value));
}

void KeyedArchiver::encodeFloat(const QString& key, float value) {
    put(key, QVariant(static_cast<double>(value)));
}

void KeyedArchiver::encodeDouble(const QString& key, double value) {
    put(key, QVariant(value));
}

void KeyedArchiver::encodeString(const QString& key, const QString& value) {
    put(key, QVariant(value));
}

void KeyedArchiver::encodeData(const QString& key, const QByteArray& value) {
    put(key, QVariant(value));
}

void KeyedArchiver::encodeDate(const QString& key, Date value) {
    const double s = value.timeIntervalSinceReferenceDate();
    if (std::isnan(s)) {
        return;
    }
    // Keeps Date::toQDateTime's millisecond count representable; the property list clamps
    // to its own range.
    put(key, QVariant(Date::fromReference(std::clamp(s, -1e15, 1e15)).toQDateTime()));
}

bool KeyedArchiver::encodeValue(const QString& key, const QVariant& value) {
    return put(key, value);
}

QByteArray KeyedArchiver::archivedData() const {
    return PropertyList::serialize(QVariant(values_), PropertyList::Format::Binary)
        .value_or(QByteArray());
}

std::optional<KeyedUnarchiver> KeyedUnarchiver::fromData(const QByteArray& data, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<KeyedUnarchiver> {
        if (error != nullptr) {
            *error = QStringLiteral("not a keyed archive: %1").arg(why);
        }
        return std::nullopt;
    };
    // Archives are ours and always binary; refusing XML keeps one format to trust.
    if (!data.startsWith("bplist00")) {
        return fail(QStringLiteral("not a binary property list"));
    }
    QString why;
    const std::optional<QVariant> root = PropertyList::parse(data, &why);
    if (!root) {
        return fail(why);
    }
    if (root->typeId() != QMetaType::QVariantMap) {
        return fail(QStringLiteral("the root is not a dictionary"));
    }
    std::optional<KeyedUnarchiver> coder = objectCoder(*root, QString());
    if (!coder) {
        return fail(QStringLiteral("the root names no class"));
    }
    return coder;
}

std::optional<KeyedUnarchiver> KeyedUnarchiver::objectCoder(const QVariant& value,
                                                            const QString& className) {
    if (value.typeId() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    QVariantMap values = value.toMap();
    const QVariant name = values.value(classKey());
    if (name.typeId() != QMetaType::QString || name.toString().isEmpty()) {
        return std::nullopt;
    }
    // An empty `className` accepts any class.
    if (!className.isEmpty() && name.toString() != className) {
        return std::nullopt;
    }
    return KeyedUnarchiver(name.toString(), std::move(values));
}

QList<KeyedUnarchiver> KeyedUnarchiver::objectCoders(const QString& key,
                                                     const QString& className) const {
    QList<KeyedUnarchiver> coders;
    const QVariant value = values_.value(key);
    if (value.typeId() != QMetaType::QVariantList) {
        return coders;
    }
    for (const QVariant& element : value.toList()) {
        if (std::optional<KeyedUnarchiver> coder = objectCoder(element, className)) {
            coders.append(std::move(*coder));
        }
    }
    return coders;
}

bool KeyedUnarchiver::decodeBool(const QString& key) const {
    const QVariant v = values_.value(key);
    return v.typeId() == QMetaType::Bool && v.toBool();
}

qint32 KeyedUnarchiver::decodeInt32(const QString& key) const {
    const qint64 v = decodeInt64(key);
    // Out of range is treated as unreadable rather than saturated: 0 is the value a
    // missing key gives, which the caller already handles.
    if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max()) {
        return 0;
    }
    return static_cast<qint32>(v);
}

qint64 KeyedUnarchiver::decodeInt64(const QString& key) const {
    const QVariant v = values_.value(key);
    return v.typeId() == QMetaType::LongLong ? v.toLongLong() : 0;
}

float KeyedUnarchiver::decodeFloat(const QString& key) const {
    const double d = decodeDouble(key);
    // Converting a finite double beyond float's range is undefined; IEEE gives infinity.
    if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) {
        const float inf = std::numeric_limits<float>::infinity();
        return d > 0 ? inf : -inf;
    }
    return static_cast<float>(d);
}

double KeyedUnarchiver::decodeDouble(const QString& key) const {
    const QVariant v = values_.value(key);
    switch (v.typeId()) {
        case QMetaType::Double:
            return v.toDouble();
        case QMetaType::LongLong:
            return static_cast<double>(v.toLongLong());
        default:
            return 0.0;
    }
}

QString KeyedUnarchiver::decodeString(const QString& key) const {
    const QVariant v = values_.value(key);
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

QByteArray KeyedUnarchiver::decodeData(const QString& key) const {
    const QVariant v = values_.value(key);
    return v.typeId() == QMetaType::QByteArray ? v.toByteArray() : QByteArray();
}

std::optional<Date> KeyedUnarchiver::decodeDate(const QString& key) const {
    const QVariant v = values_.value(key);
    if (v.typeId() != QMetaType::QDateTime) {
        return std::nullopt;
    }
    return Date::fromQDateTime(v.toDateTime());
}

QVariant KeyedUnarchiver::decodeValue(const QString& key) const {
    return values_.value(key);
}

}  // namespace talvor::platform
