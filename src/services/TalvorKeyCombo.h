#pragma once

#include "platform/EventModifiers.h"
#include "platform/KeyedArchiver.h"

#include <QString>
#include <QVariantMap>

#include <optional>

namespace talvor {

namespace platform {
class UserDefaults;
}

// The modifier masks of key combinations (values of the original system's hot-key service).
namespace CarbonModifiers {
inline constexpr qint64 cmdKey = 0x100;
inline constexpr qint64 shiftKey = 0x200;
inline constexpr qint64 optionKey = 0x800;
inline constexpr qint64 controlKey = 0x1000;
}  // namespace CarbonModifiers

// An immutable key code (stored virtual key code, 16 bits) with a modifier mask of
// CarbonModifiers; -1 in either means none. Valid when both are 0 or greater.
class TalvorKeyCombo {
  public:
    // The clear combination.
    TalvorKeyCombo() = default;
    // initWithKeyCode:andModifiers:; the key code keeps its low 16 bits.
    TalvorKeyCombo(qint32 keyCode, qint64 modifiers)
        : mKeyCode(static_cast<qint16>(keyCode)), mModifiers(modifiers) {}

    static TalvorKeyCombo keyCombo() { return TalvorKeyCombo(); }
    static TalvorKeyCombo clearKeyCombo() { return TalvorKeyCombo(); }
    static TalvorKeyCombo keyComboWithKeyCode(qint32 keyCode, qint64 modifiers) {
        return TalvorKeyCombo(keyCode, modifiers);
    }

    qint32 keyCode() const { return mKeyCode; }
    qint64 modifiers() const { return mModifiers; }
    bool isValid() const { return mKeyCode >= 0 && mModifiers >= 0; }
    bool isEqual(const TalvorKeyCombo& other) const { return *this == other; }
    bool operator==(const TalvorKeyCombo&) const = default;

    // Modifier symbols then the key's name; "(None)" unless valid.
    QString userDisplayRep() const;
    QString description() const { return userDisplayRep(); }

    // The modifier flags of a mask (other bits dropped).
    static platform::ModifierFlags NSModifierForModifiers(qint64 modifiers);
    // The mask of modifier flags: the inverse of NSModifierForModifiers.
    static qint64 modifiersForNSModifiers(platform::ModifierFlags flags);
    // The modifiers by the names of a Linux keyboard, each followed by "+" ("Ctrl+Shift+"):
    // the command flag is the Ctrl key here and the control flag the Super key. Empty for -1.
    static QString _stringForModifiers(qint64 modifiers);
    // The same names for the modifier flags of a key event.
    static QString namesOfModifierFlags(platform::ModifierFlags flags);
    // The key-name table's name of the key; its hexadecimal code when the table has none;
    // empty for -1.
    static QString _stringForKeyCode(qint16 keyCode);
    // The key-name table: key code in decimal -> display name. Empty when the resource is
    // missing or unreadable.
    static const QVariantMap& keyCodesDictionary();

    static QString archiveClassName() { return QStringLiteral("TalvorKeyCombo"); }
    void encodeWithCoder(platform::KeyedArchiver& coder) const;
    static std::optional<TalvorKeyCombo> initWithCoder(const platform::KeyedUnarchiver& coder);

  private:
    qint16 mKeyCode = -1;
    qint64 mModifiers = -1;
};

// keyComboForKey: on the user defaults.
namespace KeyComboAdditions {
// The combination archived under the key; the clear combination when there is none or it
// does not unarchive.
TalvorKeyCombo keyComboForKey(const platform::UserDefaults& defaults, const QString& key);
}  // namespace KeyComboAdditions

}  // namespace talvor
