#pragma once

#include <QByteArray>

#include <optional>

namespace talvor::platform::VirtualKeyCodes {

// Stored key codes are the virtual key codes of the ANSI keyboard (0 is the A key); each
// names a key position, and the layout decides what that key types. These functions relate
// them to the XKB names of the same positions ("AC01" for the A key).

// Key codes run from 0 to 127.
inline constexpr int kCount = 128;

// The XKB name of the key at the position of `keyCode`; nullopt for modifier keys, codes
// without a PC counterpart and codes out of range.
std::optional<QByteArray> xkbKeyName(int keyCode);
// The key code whose position has the XKB name `name`.
std::optional<int> keyCodeForXkbName(const QByteArray& name);

// Shift, Control, Option, Command, Caps Lock and Fn: never the key of a hot key.
bool isModifierKey(int keyCode);

// The key code of a Qt key as a US keyboard produces it (shifted symbols included), for key
// events that carry no native scan code; `keypad` for keys of the numeric keypad.
std::optional<int> keyCodeForQtKey(int qtKey, bool keypad);

}  // namespace talvor::platform::VirtualKeyCodes
