#include "HotKeyBackend.h"

#include "Log.h"
#include "SystemServices.h"
#include "VirtualKeyCodes.h"

#include <QCoreApplication>
#include <QKeyEvent>

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
            return QStringLiteral("global hot keys are not available on this desktop");
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

HotKeyGrab HotKeyRegistrations::add(qint32 keyCode, ModifierFlags flags,
                                    HotKeyBackend::Handler handler) {
    flags &= kHotKeyModifierMask;
    if (const HotKeyRefusal r = checkHotKeyCombination(keyCode, flags); r != HotKeyRefusal::None) {
        return {0, r};
    }
    if (find(keyCode, flags)) {
        return {0, HotKeyRefusal::Taken};
    }
    const quint32 handle = next_++;
    held_[handle] = Registration{keyCode, flags, std::move(handler)};
    return {handle, HotKeyRefusal::None};
}

bool HotKeyRegistrations::remove(quint32 handle) {
    return held_.erase(handle) != 0;
}

HotKeyBackend::Handler HotKeyRegistrations::find(qint32 keyCode, ModifierFlags flags) const {
    for (const auto& [handle, held] : held_) {
        if (held.keyCode == keyCode && held.flags == (flags & kHotKeyModifierMask)) {
            return held.handler;
        }
    }
    return {};
}

FocusHotKeys::FocusHotKeys(std::shared_ptr<const KeyboardLayout> layout, Find find)
    : layout_(std::move(layout)), find_(std::move(find)) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->installEventFilter(this);
    }
}

FocusHotKeys::~FocusHotKeys() = default;

bool FocusHotKeys::eventFilter(QObject* watched, QEvent* event) {
    // Key events reach the window first, then each widget on the way to the focus: one look.
    if ((event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) ||
        !watched->isWindowType()) {
        return false;
    }
    const auto& key = static_cast<const QKeyEvent&>(*event);
    std::optional<int> code;
    if (layout_ && key.nativeScanCode() != 0) {
        code = layout_->keyCodeForScanCode(key.nativeScanCode());
    }
    if (!code) {
        code = VirtualKeyCodes::keyCodeForQtKey(key.key(),
                                                (key.modifiers() & Qt::KeypadModifier) != 0);
    }
    if (!code) {
        return false;
    }
    const ModifierFlags flags = modifierFlagsFromQt(key.modifiers()) & kHotKeyModifierMask;
    const HotKeyBackend::Handler handler = find_(*code, flags);
    if (!handler) {
        return false;
    }
    HotKeyEvent hotKey;
    hotKey.pressed = event->type() == QEvent::KeyPress;
    hotKey.repeat = key.isAutoRepeat();
    hotKey.time = key.timestamp();
    handler(hotKey);
    return true;
}

FocusHotKeyBackend::FocusHotKeyBackend(QString reason, std::shared_ptr<const KeyboardLayout> layout)
    : reason_(std::move(reason)),
      layout_(layout ? std::move(layout) : KeyboardLayout::named(QString())) {
    log(reason_);
    keys_ = std::make_unique<FocusHotKeys>(layout_, [this](qint32 keyCode, ModifierFlags flags) {
        return registrations_.find(keyCode, flags);
    });
}

}  // namespace talvor::platform
