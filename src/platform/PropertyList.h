#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

namespace talvor::platform::PropertyList {

enum class Format { Xml, Binary };

// The canonical in-memory form of a property-list value: bool, qint64, double, QString,
// QByteArray, QDateTime (UTC), QVariantList, QVariantMap. Other integer and float widths,
// string lists and hashes are converted; anything else gives an invalid QVariant.
QVariant normalized(const QVariant& value);

// True when `value` (in any accepted width) can be stored in a property list.
bool isPropertyListValue(const QVariant& value);

// Encodes a value as a property list; nullopt when it holds something a property list cannot.
std::optional<QByteArray> serialize(const QVariant& value, Format format, QString* error = nullptr);

// Decodes an XML or binary property list; nullopt for anything else, never a crash.
std::optional<QVariant> parse(const QByteArray& data, QString* error = nullptr);

}  // namespace talvor::platform::PropertyList
