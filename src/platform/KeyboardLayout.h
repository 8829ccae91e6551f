#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

struct xkb_keymap;

namespace talvor::platform {

// A keyboard layout: which key position (stored key code) has which scan code, and what a
// key types. Built by libxkbcommon from layout names or from an X server's keymap.
class KeyboardLayout {
  public:
    // Takes over one reference to `keymap`.
    explicit KeyboardLayout(xkb_keymap* keymap);
    ~KeyboardLayout();
    KeyboardLayout(const KeyboardLayout&) = delete;
    KeyboardLayout& operator=(const KeyboardLayout&) = delete;

    // The layout of these XKB names ("us", "de", ...) on a PC keyboard with evdev scan codes;
    // empty names take libxkbcommon's defaults (XKB_DEFAULT_* or "us"). nullptr when the
    // names do not compile.
    static std::shared_ptr<const KeyboardLayout> fromNames(const QString& layout,
                                                           const QString& variant = QString());

    // The scan code (an X key code) of a key position; nullopt for a position this keyboard
    // lacks or a modifier key.
    std::optional<quint32> scanCodeForKeyCode(int keyCode) const;
    // The stored key code of the key with this scan code.
    std::optional<int> keyCodeForScanCode(quint32 scanCode) const;
    std::optional<quint32> scanCodeForXkbName(const QByteArray& name) const;

    // What the key types without modifiers, keypad keys with Num Lock on; empty for keys
    // that type no printable character (function keys, modifiers, control characters).
    QString textForKeyCode(int keyCode) const;

    xkb_keymap* keymap() const { return keymap_; }

  private:
    xkb_keymap* keymap_;
};

}  // namespace talvor::platform
