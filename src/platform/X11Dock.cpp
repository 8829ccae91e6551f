#include "X11Dock.h"

#include "Log.h"

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace talvor::platform::x11 {
namespace {

xcb_connection_t* connection() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app == nullptr) {
        return nullptr;
    }
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    if (reply == nullptr) {
        return XCB_ATOM_NONE;
    }
    const xcb_atom_t a = reply->atom;
    std::free(reply);
    return a;
}

}  // namespace

bool isX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb") && connection() != nullptr;
}

bool setTopDock(WId window, const QRect& geometry) {
    xcb_connection_t* c = connection();
    if (c == nullptr) {
        log(QStringLiteral("Status bar: no X11 connection; the panel is not a dock"));
        return false;
    }
    const auto w = static_cast<xcb_window_t>(window);
    const xcb_atom_t dock = atom(c, "_NET_WM_WINDOW_TYPE_DOCK");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM,
                        32, 1, &dock);
    const uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL,
                        32, 1, &allDesktops);
    // left, right, top, bottom, then start/end pairs for each side.
    std::array<uint32_t, 12> strut{};
    strut[2] = static_cast<uint32_t>(std::max(0, geometry.bottom() + 1));
    strut[8] = static_cast<uint32_t>(std::max(0, geometry.left()));
    strut[9] = static_cast<uint32_t>(std::max(0, geometry.right()));
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "_NET_WM_STRUT_PARTIAL"),
                        XCB_ATOM_CARDINAL, 32, 12, strut.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "_NET_WM_STRUT"), XCB_ATOM_CARDINAL,
                        32, 4, strut.data());
    xcb_flush(c);
    return true;
}

}  // namespace talvor::platform::x11
