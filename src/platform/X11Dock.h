#pragma once

#include <QRect>
#include <qwindowdefs.h>

namespace talvor::platform::x11 {

// True when the application draws on an X server.
bool isX11();

// Makes an X window a dock on every desktop and reserves the strip it covers at the top of
// the screen (`geometry` in the root window's device pixels), so that window managers keep
// maximised windows below it. False, with a log line, when there is no X connection.
bool setTopDock(WId window, const QRect& geometry);

}  // namespace talvor::platform::x11
