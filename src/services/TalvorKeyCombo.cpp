#include "TalvorKeyCombo.h"

#include "platform/Log.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QFile>

namespace talvor {
namespace {

// Read from the application's resources, once.
QVariantMap loadKeyCodes() {
    QFile file(QStringLiteral(":/talvor/KeyCodes.plist"));
    if (!file.open(QIODevice::ReadOnly)) {
        platform::log(QStringLiteral("Hot keys: the key-name table KeyCodes is missing"));
        return {};
    }
    const std::optional<QVariant> plist = platform::PropertyList::parse(file.readAll());
    if (!plist || plist->typeId() != QMetaType::QVariantMap) {
        platform::log(QStringLiteral("Hot keys: the key-name table KeyCodes cannot be read"));
        return {};
    }
    return plist->toMap();
}

}  // namespace

QString TalvorKeyCombo::userDisplayRep() const {
    if (!isValid()) {
        return QCoreApplication::translate("TalvorKeyCombo", "(None)");
    }
    return _stringForModifiers(mModifiers) + _stringForKeyCode(mKeyCode);
}

platform::ModifierFlags TalvorKeyCombo::NSModifierForModifiers(qint64 modifiers) {
    platform::ModifierFlags flags = 0;
    if ((modifiers & CarbonModifiers::cmdKey) != 0) {
        flags |= platform::CommandKeyMask;
    }
    if ((modifiers & CarbonModifiers::shiftKey) != 0) {
        flags |= platform::ShiftKeyMask;
    }
    if ((modifiers & CarbonModifiers::optionKey) != 0) {
        flags |= platform::AlternateKeyMask;
    }
    if ((modifiers & CarbonModifiers::controlKey) != 0) {
        flags |= platform::ControlKeyMask;
    }
    return flags;
}

qint64 TalvorKeyCombo::modifiersForNSModifiers(platform::ModifierFlags flags) {
    qint64 modifiers = 0;
    if ((flags & platform::CommandKeyMask) != 0) {
        modifiers += CarbonModifiers::cmdKey;
    }
    if ((flags & platform::AlternateKeyMask) != 0) {
        modifiers += CarbonModifiers::optionKey;
    }
    if ((flags & platform::ControlKeyMask) != 0) {
        modifiers += CarbonModifiers::controlKey;
    }
    if ((flags & platform::ShiftKeyMask) != 0) {
        modifiers += CarbonModifiers::shiftKey;
    }
    return modifiers;
}

QString TalvorKeyCombo::_stringForModifiers(qint64 modifiers) {
    if (modifiers == -1) {
        return QString();
    }
    return namesOfModifierFlags(NSModifierForModifiers(modifiers));
}

QString TalvorKeyCombo::namesOfModifierFlags(platform::ModifierFlags flags) {
    // The order desktops write them in: Ctrl+Alt+Shift+Super+key.
    QString text;
    if ((flags & platform::CommandKeyMask) != 0) {
        text += QStringLiteral("Ctrl+");
    }
    if ((flags & platform::AlternateKeyMask) != 0) {
        text += QStringLiteral("Alt+");
    }
    if ((flags & platform::ShiftKeyMask) != 0) {
        text += QStringLiteral("Shift+");
    }
    if ((flags & platform::ControlKeyMask) != 0) {
        text += QStringLiteral("Super+");
    }
    return text;
}

QString TalvorKeyCombo::_stringForKeyCode(qint16 keyCode) {
    if (static_cast<quint16>(keyCode) == 0xFFFF) {
        return QString();
    }
    const QVariant name = keyCodesDictionary().value(QString::number(keyCode));
    if (name.typeId() == QMetaType::QString) {
        return name.toString();
    }
    return QString::number(static_cast<quint32>(static_cast<qint32>(keyCode)), 16).toUpper();
}

const QVariantMap& TalvorKeyCombo::keyCodesDictionary() {
    static const QVariantMap table = loadKeyCodes();
    return table;
}

void TalvorKeyCombo::encodeWithCoder(platform::KeyedArchiver& coder) const {
    coder.encodeInt32(QStringLiteral("mKeyCode"), mKeyCode);
    coder.encodeInt64(QStringLiteral("mModifiers"), mModifiers);
}

std::optional<TalvorKeyCombo> TalvorKeyCombo::initWithCoder(
    const platform::KeyedUnarchiver& coder) {
    if (!coder.containsValueForKey(QStringLiteral("mKeyCode")) ||
        !coder.containsValueForKey(QStringLiteral("mModifiers"))) {
        return std::nullopt;
    }
    return TalvorKeyCombo(coder.decodeInt32(QStringLiteral("mKeyCode")),
                          coder.decodeInt64(QStringLiteral("mModifiers")));
}

namespace KeyComboAdditions {

TalvorKeyCombo keyComboForKey(const platform::UserDefaults& defaults, const QString& key) {
    const QByteArray data = defaults.dataForKey(key);
    if (data.isEmpty()) {
        return TalvorKeyCombo::clearKeyCombo();
    }
    return platform::KeyedUnarchiver::unarchiveObjectWithData<TalvorKeyCombo>(data).value_or(
        TalvorKeyCombo::clearKeyCombo());
}

}  // namespace KeyComboAdditions
}  // namespace talvor
