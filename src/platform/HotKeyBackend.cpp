#include "HotKeyBackend.h"

#include "Log.h"
#include "VirtualKeyCodes.h"
#include "X11HotKeyBackend.h"

#include <QGuiApplication>

namespace talvor::platform {
namespace {

HotKeyBackend*& replacement() {
    static HotKeyBackend* backend = nullptr;
    return backend;
}

bool isWaylandSession() {
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        app != nullptr && QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        return true;
    }
    return qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

HotKeyBackend* makeShared() {
    if (isWaylandSession()) {
        return new UnavailableHotKeyBackend(QStringLiteral(
            "Hot keys: global hot keys need X11; this is a Wayland session, so none are set"));
    }
    QString why;
    if (std::unique_ptr<X11HotKeyBackend> x11 = X11HotKeyBackend::open(&why)) {
        return x11.release();
    }
    return new UnavailableHotKeyBackend(QStringLiteral("Hot keys: global hot keys need X11; ") +
                                        why + QStringLiteral(", so none are set"));
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
    : reason_(std::move(reason)), layout_(KeyboardLayout::fromNames(QString())) {
    log(reason_);
}

HotKeyGrab UnavailableHotKeyBackend::registerHotKey(qint32, ModifierFlags, Handler) {
    return {0, HotKeyRefusal::Unavailable};
}

std::shared_ptr<const KeyboardLayout> UnavailableHotKeyBackend::keyboardLayout() const {
    return layout_;
}

}  // namespace talvor::platform
