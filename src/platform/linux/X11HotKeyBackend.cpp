#include "X11HotKeyBackend.h"

#include "XcbEventReader.h"
#include "XcbReply.h"
#include "platform/Log.h"

#include <xcb/xcb.h>
// xkb.h names a member `explicit`, a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>

namespace talvor::platform {
namespace {

constexpr quint8 kBadAccess = 10;

}  // namespace

std::unique_ptr<X11HotKeyBackend> X11HotKeyBackend::open(QString* why, const QByteArray& display) {
    const QByteArray name = display.isEmpty() ? qgetenv("DISPLAY") : display;
    if (name.isEmpty()) {
        *why = QStringLiteral("there is no X display");
        return nullptr;
    }
    xcb_connection_t* c = xcb_connect(name.constData(), nullptr);
    if (xcb_connection_has_error(c) != 0) {
        xcb_disconnect(c);
        *why = QStringLiteral("the X display %1 does not answer").arg(QString::fromLocal8Bit(name));
        return nullptr;
    }
    quint8 firstEvent = 0;
    if (xkb_x11_setup_xkb_extension(c, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                    XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
                                    &firstEvent, nullptr) == 0) {
        xcb_disconnect(c);
        *why = QStringLiteral("the X server has no keyboard extension (XKB)");
        return nullptr;
    }
    const qint32 device = xkb_x11_get_core_keyboard_device_id(c);
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (device < 0 || context == nullptr || screen == nullptr) {
        if (context != nullptr) {
            xkb_context_unref(context);
        }
        xcb_disconnect(c);
        *why = QStringLiteral("the X server's keyboard cannot be read");
        return nullptr;
    }
    std::unique_ptr<X11HotKeyBackend> backend(
        new X11HotKeyBackend(c, screen->root, context, device, firstEvent));
    if (!backend->loadKeymap()) {
        *why = QStringLiteral("the X server's keymap cannot be read");
        return nullptr;
    }
    return backend;
}

X11HotKeyBackend::X11HotKeyBackend(xcb_connection_t* connection, quint32 root, xkb_context* context,
                                   qint32 deviceId, quint8 xkbFirstEvent)
    : connection_(connection),
      root_(root),
      context_(context),
      deviceId_(deviceId),
      xkbFirstEvent_(xkbFirstEvent) {
    const auto device = static_cast<xcb_xkb_device_spec_t>(deviceId_);
    const uint32_t repeat = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    XcbReply<xcb_xkb_per_client_flags_reply_t> flags(xcb_xkb_per_client_flags_reply(
        connection_, xcb_xkb_per_client_flags(connection_, device, repeat, repeat, 0, 0, 0),
        nullptr));
    detectableAutoRepeat_ = flags && (flags->value & repeat) != 0;

    // Keymap changes (another layout chosen, a keyboard plugged in) move keys and modifiers.
    const uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    const uint16_t parts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS |
                           XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_VIRTUAL_MODS;
    xcb_xkb_select_events(connection_, device, events, 0, events, parts, parts, nullptr);
    xcb_flush(connection_);

    reader_ = std::make_unique<XcbEventReader>(
        connection_,
        QStringLiteral("Hot keys: the connection to the X server was lost; hot keys are off"),
        [this](const void* event) { handleEvent(event); });
}

X11HotKeyBackend::~X11HotKeyBackend() {
    reader_.reset();
    xcb_disconnect(connection_);
    xkb_context_unref(context_);
}

bool X11HotKeyBackend::isAvailable() const {
    return !reader_->isLost();
}

bool X11HotKeyBackend::loadKeymap() {
    xkb_keymap* keymap = xkb_x11_keymap_new_from_device(context_, connection_, deviceId_,
                                                        XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (keymap == nullptr) {
        return false;
    }
    layout_ = std::make_shared<const XkbKeyboardLayout>(keymap);

    // Which of Mod1-Mod5 carry Alt, Super and Num Lock on this server.
    altMask_ = XCB_MOD_MASK_1;
    superMask_ = XCB_MOD_MASK_4;
    numLockMask_ = XCB_MOD_MASK_2;
    XcbReply<xcb_get_modifier_mapping_reply_t> map(xcb_get_modifier_mapping_reply(
        connection_, xcb_get_modifier_mapping(connection_), nullptr));
    if (map) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map.get());
        const int perModifier = map->keycodes_per_modifier;
        bool alt = false, super = false, numLock = false;
        for (int mod = 3; mod < 8; ++mod) {
            const auto mask = static_cast<quint16>(1u << mod);
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = codes[mod * perModifier + i];
                const xkb_keysym_t* syms = nullptr;
                const int n =
                    code == 0 ? 0 : xkb_keymap_key_get_syms_by_level(keymap, code, 0, 0, &syms);
                for (int s = 0; s < n; ++s) {
                    if (!alt && (syms[s] == XKB_KEY_Alt_L || syms[s] == XKB_KEY_Alt_R)) {
                        altMask_ = mask;
                        alt = true;
                    } else if (!super &&
                               (syms[s] == XKB_KEY_Super_L || syms[s] == XKB_KEY_Super_R)) {
                        superMask_ = mask;
                        super = true;
                    } else if (!numLock && syms[s] == XKB_KEY_Num_Lock) {
                        numLockMask_ = mask;
                        numLock = true;
                    }
                }
            }
        }
    }
    return true;
}

quint16 X11HotKeyBackend::xModifiers(ModifierFlags flags) const {
    quint16 mods = 0;
    if ((flags & CommandKeyMask) != 0) {
        mods |= XCB_MOD_MASK_CONTROL;
    }
    if ((flags & AlternateKeyMask) != 0) {
        mods |= altMask_;
    }
    if ((flags & ControlKeyMask) != 0) {
        mods |= superMask_;
    }
    if ((flags & ShiftKeyMask) != 0) {
        mods |= XCB_MOD_MASK_SHIFT;
    }
    return mods;
}

std::vector<quint16> X11HotKeyBackend::lockVariants() const {
    std::vector<quint16> variants{0, XCB_MOD_MASK_LOCK};
    if (numLockMask_ != 0) {
        variants.push_back(numLockMask_);
        variants.push_back(static_cast<quint16>(numLockMask_ | XCB_MOD_MASK_LOCK));
    }
    return variants;
}

bool X11HotKeyBackend::grabAll(quint32 scanCode, quint16 mods) {
    const std::vector<quint16> variants = lockVariants();
    std::vector<xcb_void_cookie_t> cookies;
    cookies.reserve(variants.size());
    for (const quint16 lock : variants) {
        cookies.push_back(xcb_grab_key_checked(
            connection_, 1, root_, static_cast<uint16_t>(mods | lock),
            static_cast<xcb_keycode_t>(scanCode), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    std::vector<bool> granted(variants.size(), true);
    bool all = true;
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        if (xcb_generic_error_t* error = xcb_request_check(connection_, cookies[i])) {
            granted[i] = false;
            all = false;
            if (error->error_code != kBadAccess) {
                log(QStringLiteral("Hot keys: the X server refused a key grab (error %1)")
                        .arg(error->error_code));
            }
            std::free(error);
        }
    }
    if (!all) {
        for (std::size_t i = 0; i < variants.size(); ++i) {
            if (granted[i]) {
                xcb_ungrab_key(connection_, static_cast<xcb_keycode_t>(scanCode), root_,
                               static_cast<uint16_t>(mods | variants[i]));
            }
        }
        xcb_flush(connection_);
    }
    reader_->scheduleRead();
    return all;
}

void X11HotKeyBackend::ungrabAll(quint32 scanCode, quint16 mods) {
    for (const quint16 lock : lockVariants()) {
        xcb_ungrab_key(connection_, static_cast<xcb_keycode_t>(scanCode), root_,
                       static_cast<uint16_t>(mods | lock));
    }
    xcb_flush(connection_);
}

HotKeyGrab X11HotKeyBackend::registerHotKey(qint32 keyCode, ModifierFlags flags, Handler handler) {
    if (!reader_->checkConnection()) {
        return {0, HotKeyRefusal::Unavailable};
    }
    flags &= kHotKeyModifierMask;
    if (const HotKeyRefusal r = checkHotKeyCombination(keyCode, flags); r != HotKeyRefusal::None) {
        return {0, r};
    }
    const std::optional<quint32> scanCode = layout_->scanCodeForKeyCode(keyCode);
    if (!scanCode) {
        return {0, HotKeyRefusal::NoKey};
    }
    const quint16 mods = xModifiers(flags);
    // A second grab of ours would silently replace the first at the server.
    for (const auto& [handle, grab] : grabs_) {
        if (grab.scanCode == *scanCode && grab.xMods == mods) {
            return {0, HotKeyRefusal::Taken};
        }
    }
    if (!grabAll(*scanCode, mods)) {
        return {0, reader_->checkConnection() ? HotKeyRefusal::Taken : HotKeyRefusal::Unavailable};
    }
    const quint32 handle = nextHandle_++;
    grabs_[handle] = Grab{keyCode, flags, *scanCode, mods, std::move(handler), false};
    return {handle, HotKeyRefusal::None};
}

void X11HotKeyBackend::unregisterHotKey(quint32 handle) {
    const auto it = grabs_.find(handle);
    if (it == grabs_.end()) {
        return;
    }
    if (!reader_->isLost() && it->second.scanCode != 0) {
        ungrabAll(it->second.scanCode, it->second.xMods);
    }
    grabs_.erase(it);
}

bool X11HotKeyBackend::isHeldElsewhere(qint32 keyCode, ModifierFlags flags) {
    flags &= kHotKeyModifierMask;
    if (!reader_->checkConnection() ||
        checkHotKeyCombination(keyCode, flags) != HotKeyRefusal::None) {
        return false;
    }
    const std::optional<quint32> scanCode = layout_->scanCodeForKeyCode(keyCode);
    if (!scanCode) {
        return false;
    }
    const quint16 mods = xModifiers(flags);
    for (const auto& [handle, grab] : grabs_) {
        if (grab.scanCode == *scanCode && grab.xMods == mods) {
            return false;
        }
    }
    if (!grabAll(*scanCode, mods)) {
        return reader_->checkConnection();
    }
    ungrabAll(*scanCode, mods);
    return false;
}

void X11HotKeyBackend::regrabAfterKeymapChange() {
    for (auto& [handle, grab] : grabs_) {
        if (grab.scanCode != 0) {
            ungrabAll(grab.scanCode, grab.xMods);
        }
    }
    if (!loadKeymap()) {
        log(QStringLiteral("Hot keys: the changed X keymap cannot be read; hot keys are off"));
        for (auto& [handle, grab] : grabs_) {
            grab.scanCode = 0;
        }
        return;
    }
    for (auto& [handle, grab] : grabs_) {
        const std::optional<quint32> scanCode = layout_->scanCodeForKeyCode(grab.keyCode);
        grab.xMods = xModifiers(grab.flags);
        grab.scanCode = scanCode.value_or(0);
        grab.down = false;
        if (grab.scanCode != 0 && !grabAll(grab.scanCode, grab.xMods)) {
            grab.scanCode = 0;
        }
        if (grab.scanCode == 0) {
            log(QStringLiteral("Hot keys: after the keymap change, key code %1 cannot be grabbed")
                    .arg(grab.keyCode));
        }
    }
}

void X11HotKeyBackend::handleEvent(const void* raw) {
    const auto* event = static_cast<const xcb_generic_event_t*>(raw);
    const quint8 type = event->response_type & 0x7F;
    if (type == XCB_KEY_PRESS) {
        const auto* key = static_cast<const xcb_key_press_event_t*>(raw);
        handleKey(key->detail, key->state, key->time, true);
    } else if (type == XCB_KEY_RELEASE) {
        const auto* key = static_cast<const xcb_key_release_event_t*>(raw);
        // Without detectable auto-repeat, a repeat is a release and a press at the same time.
        if (!detectableAutoRepeat_) {
            if (xcb_generic_event_t* next = xcb_poll_for_queued_event(connection_)) {
                const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(next);
                const bool repeat = (next->response_type & 0x7F) == XCB_KEY_PRESS &&
                                    press->detail == key->detail && press->time == key->time;
                if (!repeat) {
                    handleKey(key->detail, key->state, key->time, false);
                }
                handleEvent(next);
                std::free(next);
                return;
            }
        }
        handleKey(key->detail, key->state, key->time, false);
    } else if (type == XCB_MAPPING_NOTIFY ||
               (type == xkbFirstEvent_ && (event->pad0 == XCB_XKB_NEW_KEYBOARD_NOTIFY ||
                                           event->pad0 == XCB_XKB_MAP_NOTIFY))) {
        regrabAfterKeymapChange();
    }
}

void X11HotKeyBackend::handleKey(quint32 scanCode, quint16 state, quint32 time, bool pressed) {
    const quint16 relevant =
        static_cast<quint16>(XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | altMask_ | superMask_);
    for (auto& [handle, grab] : grabs_) {
        if (grab.scanCode != scanCode) {
            continue;
        }
        HotKeyEvent e;
        e.pressed = pressed;
        e.time = time;
        if (pressed) {
            if ((state & relevant) != grab.xMods) {
                continue;
            }
            e.repeat = grab.down;
            grab.down = true;
        } else {
            // The modifiers may be let go first: a release ends the press whatever they are.
            if (!grab.down) {
                continue;
            }
            grab.down = false;
        }
        // The handler may unregister (and so erase) this grab.
        const Handler handler = grab.handler;
        handler(e);
        return;
    }
}

}  // namespace talvor::platform
