#include "PreferenceDomain.h"

#include "ScanFormat.h"
#include "platform/Log.h"
#include "platform/Preferences.h"

#include <QStringDecoder>

namespace talvor {

namespace PreferenceDomain {

platform::PreferenceStore& store() {
    return platform::Preferences::domain(appTalvor4Prefs);
}

bool synchronize(const QString& failureLine) {
    if (store().synchronize()) {
        return true;
    }
    platform::log(failureLine);
    return false;
}

bool refresh(const QString& failureLine) {
    if (store().refresh()) {
        return true;
    }
    platform::log(failureLine);
    return false;
}

bool readFlag(const QString& key, bool defaultValue) {
    const std::optional<qint64> v = store().integerValue(key);
    if (!v) {
        return defaultValue;
    }
    return (static_cast<quint64>(*v) & 0xFFu) != 0;
}

void writeFlag(const QString& key, bool value) {
    store().setValue(key, QVariant(static_cast<qint64>(value ? 1 : 0)));
}

qint32 readInteger(const QString& key, qint32 defaultValue) {
    const std::optional<qint64> v = store().integerValue(key);
    return v ? static_cast<qint32>(*v) : defaultValue;
}

void writeInteger(const QString& key, qint32 value) {
    store().setValue(key, QVariant(static_cast<qint64>(value)));
}

QString readText(const QString& key, const QString& defaultValue) {
    return store().stringValue(key).value_or(defaultValue);
}

void writeText(const QString& key, const QString& value) {
    store().setValue(key, QVariant(value));
}

}  // namespace PreferenceDomain

float myCFGetAppFloat(const QString& key, const QString& appId) {
    platform::PreferenceStore& domain = platform::Preferences::domain(appId);
    domain.synchronize();
    const QVariant v = domain.value(key);
    switch (v.typeId()) {
        case QMetaType::QString: {
            // The leading number, read with a decimal point whatever the locale; else 0.
            const std::vector<ScanValue> read = scanFormat(v.toString(), "%lf");
            const auto f = static_cast<float>(read.empty() ? 0.0 : scanValueAsDouble(read.front()));
            platform::debugLog(QString::asprintf("myCFGetAppFloat 1=%f", static_cast<double>(f)));
            return f;
        }
        case QMetaType::LongLong:
        case QMetaType::Double: {
            const auto f = static_cast<float>(v.toDouble());
            platform::debugLog(QString::asprintf("myCFGetAppFloat 2=%f", static_cast<double>(f)));
            return f;
        }
        default:
            return -1.0f;
    }
}

float myCFGetFloat(const QString& key) {
    return myCFGetAppFloat(key, appTalvor4Prefs);
}

std::optional<QString> CopyAppPrefString(const QString& key) {
    platform::PreferenceStore& domain = PreferenceDomain::store();
    domain.synchronize();
    const QVariant v = domain.value(key);
    std::optional<QString> result;
    if (v.typeId() == QMetaType::QString) {
        result = v.toString();
    } else if (v.typeId() == QMetaType::QByteArray) {
        QByteArray bytes = v.toByteArray();
        if (bytes.startsWith("\xEF\xBB\xBF")) {
            bytes.remove(0, 3);
        }
        // Bytes that are not UTF-8 are no text at all.
        QStringDecoder decoder(QStringDecoder::Utf8);
        QString text = decoder.decode(bytes);
        if (!decoder.hasError()) {
            result = std::move(text);
        }
    }
    if (result) {
        platform::debugLog(QStringLiteral("CopyAnnotateString key=%1 = %2").arg(key, *result));
    } else {
        platform::debugLog(QStringLiteral("CopyAnnotateString: no value for key:%1 ").arg(key));
    }
    return result;
}

std::optional<QString> CopyAnnotateString(const QString& key) {
    return CopyAppPrefString(key);
}

}  // namespace talvor
