#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <limits>
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

// What parse takes beyond its own bounds (containers nested at most 256 deep, and shared
// objects of a binary list expanding to at most one object per byte of the file).
struct Limits {
    // Entries of any one array or dictionary (a dictionary's entry: a key and its value).
    qint64 maxEntries = std::numeric_limits<qint64>::max();
};

// Why parse refused a document.
struct Refusal {
    QString message;
    // When an array or dictionary held more entries than the limits allow: how many.
    std::optional<qint64> entries;
};

// Decodes an XML or binary property list; nullopt for anything else, never a crash.
std::optional<QVariant> parse(const QByteArray& data, QString* error = nullptr);
// The same within `limits`, checked while reading: a document beyond them is refused before
// any of its values is built.
std::optional<QVariant> parse(const QByteArray& data, const Limits& limits, Refusal* refusal);

}  // namespace talvor::platform::PropertyList
