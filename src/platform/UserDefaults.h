#pragma once

#include "PreferenceStore.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <mutex>

namespace talvor::platform {

// The standard user defaults: a second face of the application's own preference domain.
// Reads look in the application domain, then the global domain (system-wide settings such
// as "AppleInterfaceStyle", fed by the platform services), then the registration domain
// (defaults registered at launch, never written to disk). Writes go to the application domain.
class UserDefaults {
  public:
    // Defaults over a given store (tests, other domains).
    explicit UserDefaults(PreferenceStore& appDomain);
    // Defaults over the registry's store of `appId`, whichever store it holds at each call.
    explicit UserDefaults(QString appId);

    // The defaults of the main bundle's domain.
    static UserDefaults& standard();
    // Replaces the standard defaults (tests); nullptr restores the real ones.
    static void setStandard(UserDefaults* defaults);

    QVariant objectForKey(const QString& key) const;
    // Text, or a number's text; a null string otherwise.
    QString stringForKey(const QString& key) const;
    // A number, a boolean or a string that reads as an integer; 0 otherwise.
    qint64 integerForKey(const QString& key) const;
    double doubleForKey(const QString& key) const;
    float floatForKey(const QString& key) const { return static_cast<float>(doubleForKey(key)); }
    // Non-zero numbers, and strings starting with Y, y, T, t or a non-zero integer.
    bool boolForKey(const QString& key) const;
    QByteArray dataForKey(const QString& key) const;
    QVariantList arrayForKey(const QString& key) const;
    QVariantMap dictionaryForKey(const QString& key) const;

    // False when the value cannot be kept in a property list (the key is left alone).
    bool setObject(const QVariant& value, const QString& key);
    void setInteger(qint64 value, const QString& key) { setObject(QVariant(value), key); }
    void setBool(bool value, const QString& key) { setObject(QVariant(value), key); }
    void setDouble(double value, const QString& key) { setObject(QVariant(value), key); }
    void removeObjectForKey(const QString& key);
    bool synchronize();

    void registerDefaults(const QVariantMap& defaults);
    void setGlobalValue(const QString& key, const QVariant& value);
    // Everything the three domains answer, the application's values winning.
    QVariantMap dictionaryRepresentation() const;

    PreferenceStore& appDomain() const;

  private:
    PreferenceStore* fixedStore_ = nullptr;
    QString appId_;
    mutable std::mutex mutex_;
    QVariantMap global_;
    QVariantMap registration_;
};

}  // namespace talvor::platform
