#include "HotKeyBackend.h"

#include "Log.h"
#include "SystemServices.h"
#include "VirtualKeyCodes.h"

namespace talvor::platform {
namespace {

HotKeyBackend*& replacement() {
    static HotKeyBackend* backend = nullptr;
    return backend;
}

HotKeyBackend* makeShared() {
    if (const auto& make = systemServices().hotKeyBackend) {
        if (std::unique_ptr<HotKeyBackend> backend = make()) {
            return backend.release();
        }
    }
    return new UnavailableHotKeyBackend(
        QStringLiteral("Hot keys: no system hot-key service, so none are set"));
}

}  // namespace

QString describeRefusal(HotKeyRefusal refusal) {
    switch (refusal) {
        case HotKeyRefusal::None:
            return QString();
        case HotKeyRefusal::NoKey:
            return QStringLiteral("this key cannot be a hot key on this keyboard");
        case HotKeyRefusal::NoModifier:
            return QStringLiteral("a hot key needs Ctrl, Alt or Super");
        case HotKeyRefusal::Taken:
            return QStringLiteral("another program already uses this combination");
        case HotKeyRefusal::Unavailable:
            return QStringLiteral("global hot keys need X11");
    }
    return QString();
}

HotKeyRefusal checkHotKeyCombination(qint32 keyCode, ModifierFlags flags) {
    if (keyCode < 0 || keyCode >= VirtualKeyCodes::kCount ||
        VirtualKeyCodes::isModifierKey(keyCode)) {
        return HotKeyRefusal::NoKey;
    }
    if ((flags & (CommandKeyMask | AlternateKeyMask | ControlKeyMask)) == 0) {
        return HotKeyRefusal::NoModifier;
    }
    return HotKeyRefusal::None;
}

HotKeyBackend::~HotKeyBackend() = default;

HotKeyBackend& HotKeyBackend::shared() {
    if (replacement() != nullptr) {
        return *replacement();
    }
    // Never destroyed: registries that outlive main's scope still unregister through it.
    static HotKeyBackend* real = makeShared();
    return *real;
}

void HotKeyBackend::setShared(HotKeyBackend* backend) {
    replacement() = backend;
}

UnavailableHotKeyBackend::UnavailableHotKeyBackend(QString reason)
    : reason_(std::move(reason)), layout_(KeyboardLayout::named(QString())) {
    log(reason_);
}

HotKeyGrab UnavailableHotKeyBackend::registerHotKey(qint32, ModifierFlags, Handler) {
    return {0, HotKeyRefusal::Unavailable};
}

std::shared_ptr<const KeyboardLayout> UnavailableHotKeyBackend::keyboardLayout() const {
    return layout_;
}

}  // namespace talvor::platform
