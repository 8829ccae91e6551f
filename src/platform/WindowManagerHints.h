#pragma once

#include <qwindowdefs.h>
#include <QRect>

namespace talvor::platform {

// What we ask of the window manager for our own top-level windows.
class WindowManagerHints {
  public:
    virtual ~WindowManagerHints();

    // True when a window manager hears the hints (on Linux: the application draws on an X
    // server). Without one every hint answers false.
    virtual bool isAvailable() const = 0;
    // Makes the window a dock on every desktop and reserves the strip it covers at the top
    // of the screen (`geometry` in the root window's device pixels), so that window managers
    // keep maximised windows below it. False, with a log line, when it cannot be done.
    virtual bool setTopDock(WId window, const QRect& geometry) = 0;
    // Keeps the window out of the taskbar and the pager (`skip`) or lets it back in. A
    // window not yet shown carries the state itself; a shown one asks the window manager.
    // False, with a log line, when it cannot be done.
    virtual bool setSkipTaskbar(WId window, bool skip, bool shown) = 0;

    // The installed system's hints, else ones that reach no window manager. Created on first
    // use; tests put a fake in its place (nullptr: the real one).
    static WindowManagerHints& shared();
    static void setShared(WindowManagerHints* hints);
};

}  // namespace talvor::platform
