#pragma once

#include <QDBusConnection>
#include <QString>

#include <optional>

namespace talvor::platform {

// The user's session bus, found without ever starting one. Asked with no address set,
// libdbus (and so Qt, and every program we start) would launch a dbus-daemon of its own on
// the X display, which outlives us.
namespace SessionBus {

// DBUS_SESSION_BUS_ADDRESS when set (nullopt for "disabled:"), else the user's bus socket
// $XDG_RUNTIME_DIR/bus when it exists; nullopt when there is no bus.
std::optional<QString> address();

// Called once at start-up, before anything talks D-Bus: puts the address found into
// DBUS_SESSION_BUS_ADDRESS, or "disabled:" when there is none, so that nothing in this process
// or its children launches a bus. An address already set is left alone.
void pinAddress();

// The session bus, or a connection that is not connected when there is none.
QDBusConnection connection();

}  // namespace SessionBus
}  // namespace talvor::platform
