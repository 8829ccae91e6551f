#include "XkbKeyboardLayout.h"

#include "platform/VirtualKeyCodes.h"

#include <xkbcommon/xkbcommon.h>

namespace talvor::platform {

XkbKeyboardLayout::XkbKeyboardLayout(xkb_keymap* keymap) : keymap_(keymap) {}

XkbKeyboardLayout::~XkbKeyboardLayout() {
    xkb_keymap_unref(keymap_);
}

std::shared_ptr<const XkbKeyboardLayout> XkbKeyboardLayout::fromNames(const QString& layout,
                                                                      const QString& variant) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (context == nullptr) {
        return nullptr;
    }
    const QByteArray l = layout.toUtf8();
    const QByteArray v = variant.toUtf8();
    xkb_rule_names names{};
    if (!layout.isEmpty()) {
        names.rules = "evdev";
        names.model = "pc105";
        names.layout = l.constData();
        names.variant = v.constData();
    }
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    xkb_context_unref(context);
    if (keymap == nullptr) {
        return nullptr;
    }
    return std::make_shared<const XkbKeyboardLayout>(keymap);
}

std::optional<quint32> XkbKeyboardLayout::scanCodeForXkbName(const QByteArray& name) const {
    const xkb_keycode_t code = xkb_keymap_key_by_name(keymap_, name.constData());
    if (code == XKB_KEYCODE_INVALID) {
        return std::nullopt;
    }
    return code;
}

std::optional<quint32> XkbKeyboardLayout::scanCodeForKeyCode(int keyCode) const {
    const std::optional<QByteArray> name = VirtualKeyCodes::xkbKeyName(keyCode);
    if (!name) {
        return std::nullopt;
    }
    return scanCodeForXkbName(*name);
}

std::optional<int> XkbKeyboardLayout::keyCodeForScanCode(quint32 scanCode) const {
    const char* name = xkb_keymap_key_get_name(keymap_, scanCode);
    if (name == nullptr) {
        return std::nullopt;
    }
    return VirtualKeyCodes::keyCodeForXkbName(QByteArray(name));
}

QString XkbKeyboardLayout::textForKeyCode(int keyCode) const {
    const std::optional<quint32> scanCode = scanCodeForKeyCode(keyCode);
    if (!scanCode) {
        return QString();
    }
    xkb_state* state = xkb_state_new(keymap_);
    if (state == nullptr) {
        return QString();
    }
    // Keypad keys type digits only with Num Lock on; no other key looks at it.
    const xkb_mod_index_t numLock = xkb_keymap_mod_get_index(keymap_, XKB_MOD_NAME_NUM);
    if (numLock != XKB_MOD_INVALID) {
        xkb_state_update_mask(state, 0, 0, 1u << numLock, 0, 0, 0);
    }
    char buffer[16] = {};
    xkb_state_key_get_utf8(state, *scanCode, buffer, sizeof buffer);
    xkb_state_unref(state);
    QString text = QString::fromUtf8(buffer);
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control) {
            return QString();
        }
    }
    return text;
}

}  // namespace talvor::platform
