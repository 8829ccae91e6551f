#pragma once

#include "platform/KeyboardLayout.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

struct xkb_keymap;

namespace talvor::platform {

// A keyboard layout built by libxkbcommon from layout names or from an X server's keymap.
class XkbKeyboardLayout : public KeyboardLayout {
  public:
    // Takes over one reference to `keymap`.
    explicit XkbKeyboardLayout(xkb_keymap* keymap);
    ~XkbKeyboardLayout() override;
    XkbKeyboardLayout(const XkbKeyboardLayout&) = delete;
    XkbKeyboardLayout& operator=(const XkbKeyboardLayout&) = delete;

    // The layout of these XKB names ("us", "de", ...) on a PC keyboard with evdev scan codes;
    // empty names take libxkbcommon's defaults (XKB_DEFAULT_* or "us"). nullptr when the
    // names do not compile.
    static std::shared_ptr<const XkbKeyboardLayout> fromNames(const QString& layout,
                                                              const QString& variant = QString());

    std::optional<quint32> scanCodeForKeyCode(int keyCode) const override;
    std::optional<int> keyCodeForScanCode(quint32 scanCode) const override;
    std::optional<quint32> scanCodeForXkbName(const QByteArray& name) const;
    QString textForKeyCode(int keyCode) const override;

    xkb_keymap* keymap() const { return keymap_; }

  private:
    xkb_keymap* keymap_;
};

}  // namespace talvor::platform
