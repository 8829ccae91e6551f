#include "UserDefaults.h"

#include "Preferences.h"
#include "PropertyList.h"

#include <atomic>

namespace talvor::platform {
namespace {

std::atomic<UserDefaults*> gStandardOverride{nullptr};

std::optional<qint64> integerFromText(const QString& text) {
    bool ok = false;
    const qint64 n = text.trimmed().toLongLong(&ok);
    if (ok) {
        return n;
    }
    const double d = text.trimmed().toDouble(&ok);
    if (ok && std::abs(d) < 9.2e18) {
        return static_cast<qint64>(d);
    }
    return std::nullopt;
}

}  // namespace

UserDefaults::UserDefaults(PreferenceStore& appDomain) : fixedStore_(&appDomain) {}

UserDefaults::UserDefaults(QString appId) : appId_(std::move(appId)) {}

PreferenceStore& UserDefaults::appDomain() const {
    return fixedStore_ != nullptr ? *fixedStore_ : Preferences::domain(appId_);
}

UserDefaults& UserDefaults::standard() {
    if (UserDefaults* overridden = gStandardOverride.load()) {
        return *overridden;
    }
    // Lives for the process; never destroyed, so it outlasts every static that uses it.
    static UserDefaults* real = new UserDefaults(kMainBundleIdentifier);
    return *real;
}

void UserDefaults::setStandard(UserDefaults* defaults) {
    gStandardOverride.store(defaults);
}

QVariant UserDefaults::objectForKey(const QString& key) const {
    QVariant v = appDomain().value(key);
    if (v.isValid()) {
        return v;
    }
    std::lock_guard lock(mutex_);
    v = global_.value(key);
    return v.isValid() ? v : registration_.value(key);
}

QString UserDefaults::stringForKey(const QString& key) const {
    const QVariant v = objectForKey(key);
    switch (v.typeId()) {
        case QMetaType::QString:
        case QMetaType::LongLong:
        case QMetaType::Double:
            return v.toString();
        case QMetaType::Bool:
            return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        default:
            return QString();
    }
}

qint64 UserDefaults::integerForKey(const QString& key) const {
    const QVariant v = objectForKey(key);
    switch (v.typeId()) {
        case QMetaType::LongLong:
        case QMetaType::Bool:
            return v.toLongLong();
        case QMetaType::Double: {
            const double d = v.toDouble();
            return std::isfinite(d) && std::abs(d) < 9.2e18 ? static_cast<qint64>(d) : 0;
        }
        case QMetaType::QString:
            return integerFromText(v.toString()).value_or(0);
        default:
            return 0;
    }
}

double UserDefaults::doubleForKey(const QString& key) const {
    const QVariant v = objectForKey(key);
    switch (v.typeId()) {
        case QMetaType::LongLong:
        case QMetaType::Bool:
        case QMetaType::Double:
            return v.toDouble();
        case QMetaType::QString: {
            bool ok = false;
            const double d = v.toString().trimmed().toDouble(&ok);
            return ok ? d : 0.0;
        }
        default:
            return 0.0;
    }
}

bool UserDefaults::boolForKey(const QString& key) const {
    const QVariant v = objectForKey(key);
    switch (v.typeId()) {
        case QMetaType::Bool:
            return v.toBool();
        case QMetaType::LongLong:
            return v.toLongLong() != 0;
        case QMetaType::Double:
            return v.toDouble() != 0.0;
        case QMetaType::QString: {
            const QString s = v.toString().trimmed();
            if (s.isEmpty()) {
                return false;
            }
            const QChar c = s.at(0).toLower();
            if (c == QLatin1Char('y') || c == QLatin1Char('t')) {
                return true;
            }
            return integerFromText(s).value_or(0) != 0;
        }
        default:
            return false;
    }
}

QByteArray UserDefaults::dataForKey(const QString& key) const {
    const QVariant v = objectForKey(key);
    return v.typeId() == QMetaType::QByteArray ? v.toByteArray() : QByteArray();
}

QVariantList UserDefaults::arrayForKey(const QString& key) const {
    const QVariant v = objectForKey(key);
    return v.typeId() == QMetaType::QVariantList ? v.toList() : QVariantList();
}

QVariantMap UserDefaults::dictionaryForKey(const QString& key) const {
    const QVariant v = objectForKey(key);
    return v.typeId() == QMetaType::QVariantMap ? v.toMap() : QVariantMap();
}

bool UserDefaults::setObject(const QVariant& value, const QString& key) {
    return appDomain().setValue(key, value);
}

void UserDefaults::removeObjectForKey(const QString& key) {
    appDomain().removeValue(key);
}

bool UserDefaults::synchronize() {
    return appDomain().synchronize();
}

void UserDefaults::registerDefaults(const QVariantMap& defaults) {
    std::lock_guard lock(mutex_);
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        const QVariant v = PropertyList::normalized(it.value());
        if (v.isValid()) {
            registration_.insert(it.key(), v);
        }
    }
}

void UserDefaults::setGlobalValue(const QString& key, const QVariant& value) {
    std::lock_guard lock(mutex_);
    const QVariant v = value.isValid() ? PropertyList::normalized(value) : QVariant();
    if (v.isValid()) {
        global_.insert(key, v);
    } else {
        global_.remove(key);
    }
}

QVariantMap UserDefaults::dictionaryRepresentation() const {
    QVariantMap all;
    {
        std::lock_guard lock(mutex_);
        all = registration_;
        all.insert(global_);
    }
    all.insert(appDomain().dictionaryRepresentation());
    return all;
}

}  // namespace talvor::platform
