#pragma once

#include "platform/WindowManagerHints.h"

#include <qwindowdefs.h>
#include <QRect>

namespace talvor::platform::x11 {

// Our own windows on an X server, through Qt's connection so that requests keep their order
// with Qt's.

// True when the application draws on an X server.
bool isX11();

// Makes an X window a dock on every desktop and reserves the strip it covers at the top of
// the screen (`geometry` in the root window's device pixels), so that window managers keep
// maximised windows below it. False, with a log line, when there is no X connection.
bool setTopDock(WId window, const QRect& geometry);

// Keeps one of our top-level windows out of the taskbar and the pager (`skip`) or lets it
// back in. A window not yet shown carries the state itself; a shown one asks the window
// manager. False, with a log line, when there is no X connection.
bool setSkipTaskbar(WId window, bool skip, bool shown);

// The hints above as the window-manager seam.
class X11WindowManagerHints : public WindowManagerHints {
  public:
    bool isAvailable() const override { return isX11(); }
    bool setTopDock(WId window, const QRect& geometry) override {
        return x11::setTopDock(window, geometry);
    }
    bool setSkipTaskbar(WId window, bool skip, bool shown) override {
        return x11::setSkipTaskbar(window, skip, shown);
    }
};

}  // namespace talvor::platform::x11
