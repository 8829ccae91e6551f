#pragma once

#include <QString>
#include <QVariantMap>

// Typed accessors on property-list dictionaries, as the settings readers use them.
namespace talvor::TalvorDictBoolean {

// True only for a stored boolean true: the number 1 does not count.
bool boolForKey(const QVariantMap& dict, const QString& key);
// The stored value as a number: integers, reals (truncated), booleans (0/1) and strings
// that begin with a number; 0 when missing or anything else.
qint64 integerForKey(const QVariantMap& dict, const QString& key);
float floatForKey(const QVariantMap& dict, const QString& key);
double doubleForKey(const QVariantMap& dict, const QString& key);

void setBool(QVariantMap& dict, bool value, const QString& key);
// Keeps the value as a signed 32-bit integer (its low 32 bits).
void setInteger(QVariantMap& dict, qint64 value, const QString& key);

}  // namespace talvor::TalvorDictBoolean
