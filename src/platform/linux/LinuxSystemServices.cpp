#include "LinuxSystemServices.h"

#include "LibsecretStore.h"
#include "LogindSessionEvents.h"
#include "NetlinkInterfaceWatcher.h"
#include "PortalAppearance.h"
#include "PortalHotKeyBackend.h"
#include "StatusNotifierItems.h"
#include "SystemReachabilityProbe.h"
#include "TimedateZoneSetter.h"
#include "X11Dock.h"
#include "X11HotKeyBackend.h"
#include "XdgWorkspace.h"
#include "XkbKeyboardLayout.h"
#include "platform/Log.h"
#include "platform/MediaBackend.h"
#include "platform/SessionBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QGuiApplication>

#include <cerrno>

namespace talvor::platform {
namespace {

bool isWaylandSession() {
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        app != nullptr && QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        return true;
    }
    return qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

std::unique_ptr<HotKeyBackend> makeHotKeyBackend() {
    if (isWaylandSession()) {
        // No program may grab keys on Wayland; the desktop's portal binds them where it can.
        QDBusConnection bus = SessionBus::connection();
        if (bus.isConnected() && bus.interface() != nullptr &&
            bus.interface()->isServiceRegistered(
                QStringLiteral("org.freedesktop.portal.Desktop"))) {
            return std::make_unique<PortalHotKeyBackend>(bus, XkbKeyboardLayout::fromNames({}));
        }
        return std::make_unique<FocusHotKeyBackend>(
            QStringLiteral("Hot keys: this Wayland desktop has no portal for global hot keys; "
                           "they work while a Talvor window has focus"),
            XkbKeyboardLayout::fromNames({}));
    }
    QString why;
    if (std::unique_ptr<X11HotKeyBackend> x11 = X11HotKeyBackend::open(&why)) {
        return x11;
    }
    return std::make_unique<UnavailableHotKeyBackend>(
        QStringLiteral("Hot keys: global hot keys need X11; ") + why +
        QStringLiteral(", so none are set"));
}

std::unique_ptr<InterfaceChangeSource> makeInterfaceWatcher() {
    auto watcher = std::make_unique<NetlinkInterfaceWatcher>();
    if (!watcher->isWatching()) {
        return nullptr;
    }
    return watcher;
}

std::unique_ptr<SessionEventSource> makeSessionEvents() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        log(QStringLiteral("No system bus: sleep, wake and session changes will not be noticed"));
        return nullptr;
    }
    return std::make_unique<LogindSessionEvents>(bus);
}

std::unique_ptr<AppearanceSource> makeAppearanceSource() {
    QDBusConnection bus = SessionBus::connection();
    if (!bus.isConnected()) {
        log(
            QStringLiteral("No session bus: the desktop's light/dark setting is not known; "
                           "taken as light"));
        return nullptr;
    }
    return std::make_unique<PortalAppearanceSource>(bus);
}

}  // namespace

SystemServices linuxSystemServices() {
    SystemServices s;
    s.hotKeyBackend = makeHotKeyBackend;
    s.keyboardLayout = [](const QString& layout) -> std::shared_ptr<const KeyboardLayout> {
        return XkbKeyboardLayout::fromNames(layout);
    };
    s.windowManagerHints = [] { return std::make_unique<x11::X11WindowManagerHints>(); };
    s.workspace = []() -> std::unique_ptr<Workspace> { return XdgWorkspace::create(); };
    s.interfaceChanges = makeInterfaceWatcher;
    s.reachability = createSystemReachabilityProbe;
    s.sessionEvents = makeSessionEvents;
    s.appearanceSource = makeAppearanceSource;
    s.appearanceSetter = [] { return std::make_unique<DesktopAppearanceSetter>(); };
    s.timeZoneSetter = [] { return std::make_unique<TimedateZoneSetter>(); };
    // GStreamer's, in the media module.
    s.audioFileFormat = [] {
        MediaBackend* media = mediaBackend();
        return media != nullptr ? media->audioFileFormat() : AudioFileFormat::PcmWav;
    };
    s.audioFileWriter = [](const QString& path, double fileRate, int fileChannels,
                           int* status) -> std::unique_ptr<AudioFileWriter> {
        if (MediaBackend* media = mediaBackend()) {
            return media->createAudioFileWriter(path, fileRate, fileChannels, status);
        }
        *status = ENOSYS;
        return nullptr;
    };
    s.secretStore = [] { return std::make_unique<LibsecretStore>(); };
    s.desktopPanel = [] { return std::make_unique<StatusNotifierPanel>(SessionBus::connection()); };
    return s;
}

}  // namespace talvor::platform
