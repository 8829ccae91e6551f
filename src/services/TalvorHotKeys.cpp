#include "TalvorHotKeys.h"

#include "HotKeyKeys.h"

#include "foundation/PreferenceDomain.h"
#include "platform/Log.h"

#include <QDebug>

namespace talvor {
namespace {

TalvorHotKeys*& replacement() {
    static TalvorHotKeys* instance = nullptr;
    return instance;
}

QString describe(const QVariantMap& values) {
    QString text;
    QDebug(&text).nospace() << values;
    return text;
}

}  // namespace

TalvorHotKeys::TalvorHotKeys() {
    loadPrefs();
}

TalvorHotKeys& TalvorHotKeys::sharedInstance() {
    if (replacement() != nullptr) {
        return *replacement();
    }
    static TalvorHotKeys instance;
    return instance;
}

void TalvorHotKeys::setSharedInstance(TalvorHotKeys* instance) {
    replacement() = instance;
}

QVariantMap TalvorHotKeys::setDetaults() {
    platform::debugLog(QStringLiteral("hotkey defaults returned"));
    const auto n = [](qint64 v) { return QVariant(v); };
    return {
        {keys::hotKeyCodeCalculator, n(24)}, {keys::HotKeyModifiersCalculator, n(768)},
        {keys::hotKeyCodeTodoList, n(17)},   {keys::hotKeyModifiersTodoList, n(768)},
        {keys::hotKeyCodeStopWatch, n(13)},  {keys::hotKeyModifiersStopWatch, n(2816)},
        {keys::hotKeyCodeFloater, n(3)},     {keys::hotKeyModifiersFloater, n(4864)},
        {keys::hotKeyCodeCal, n(8)},         {keys::hotKeyModifiersCal, n(4864)},
        {keys::hotKeyCodeSetAlarm, n(18)},   {keys::hotKeyModifiersSetAlarm, n(2816)},
    };
}

void TalvorHotKeys::loadPrefs() {
    PreferenceDomain::store().synchronize();
    const QVariant stored = PreferenceDomain::store().value(keys::TalvorHotKeyPrefStrKey);
    if (stored.typeId() == QMetaType::QVariantMap) {
        hotKeyValues_ = stored.toMap();
        platform::debugLog(
            QStringLiteral("loaded newHotKeyValues %1").arg(describe(hotKeyValues_)));
    } else {
        hotKeyValues_ = setDetaults();
    }
    platform::debugLog(QStringLiteral("hotkeys loaded: %1").arg(describe(hotKeyValues_)));
}

void TalvorHotKeys::writePrefs() {
    PreferenceDomain::store().setValue(keys::TalvorHotKeyPrefStrKey, QVariant(hotKeyValues_));
    if (PreferenceDomain::synchronize(QStringLiteral("hot keys failed to save"))) {
        platform::debugLog(QStringLiteral("hot key saved success %1").arg(describe(hotKeyValues_)));
    }
}

void TalvorHotKeys::setHotKeyValues(const QVariantMap& values) {
    hotKeyValues_ = values;
    platform::debugLog(QStringLiteral("setHotKeyValues: %1").arg(describe(hotKeyValues_)));
}

void TalvorHotKeys::encodeWithCoder(platform::KeyedArchiver& coder) const {
    coder.encodeValue(keys::TalvorHotKeyPrefStrKey, QVariant(hotKeyValues_));
}

std::optional<TalvorHotKeys> TalvorHotKeys::initWithCoder(const platform::KeyedUnarchiver& coder) {
    TalvorHotKeys hotKeys{NoLoad{}};
    const QVariant stored = coder.decodeValue(keys::TalvorHotKeyPrefStrKey);
    hotKeys.hotKeyValues_ =
        stored.typeId() == QMetaType::QVariantMap ? stored.toMap() : setDetaults();
    return hotKeys;
}

}  // namespace talvor
