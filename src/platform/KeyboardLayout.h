#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace talvor::platform {

// A keyboard layout: which key position (stored key code) has which scan code, and what a
// key types.
class KeyboardLayout {
  public:
    virtual ~KeyboardLayout();

    // The scan code (an X key code) of a key position; nullopt for a position this keyboard
    // lacks or a modifier key.
    virtual std::optional<quint32> scanCodeForKeyCode(int keyCode) const = 0;
    // The stored key code of the key with this scan code.
    virtual std::optional<int> keyCodeForScanCode(quint32 scanCode) const = 0;
    // What the key types without modifiers, keypad keys with Num Lock on; empty for keys
    // that type no printable character (function keys, modifiers, control characters).
    virtual QString textForKeyCode(int keyCode) const = 0;

    // The installed system's layout of these names ("us", "de"; empty: the system's
    // default); nullptr when the names are unknown or no system layouts are installed.
    static std::shared_ptr<const KeyboardLayout> named(const QString& layout);
};

}  // namespace talvor::platform
