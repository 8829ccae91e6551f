#pragma once

#include "platform/SystemServices.h"

namespace talvor::platform {

// The Linux adapters as the seams' factories: X11 (hot keys, window-manager hints, running
// applications), libxkbcommon (key layouts), netlink (interfaces, routes), logind, the
// desktop portal and timedated on D-Bus, GStreamer (sound files). Each factory copes with
// its service missing (no X server, no system bus) by saying so once in the log.
SystemServices linuxSystemServices();

}  // namespace talvor::platform
