#include "X11Dock.h"

#include "XcbReply.h"
#include "platform/Log.h"

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

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

// Several atoms for one round trip to the server: every request goes out before the first
// reply is awaited. An atom the server does not answer is XCB_ATOM_NONE.
template <size_t N>
std::array<xcb_atom_t, N> atoms(xcb_connection_t* c, const std::array<const char*, N>& names) {
    std::array<xcb_intern_atom_cookie_t, N> cookies{};
    for (size_t i = 0; i < N; ++i) {
        cookies[i] = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(names[i])), names[i]);
    }
    std::array<xcb_atom_t, N> result{};
    for (size_t i = 0; i < N; ++i) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookies[i], nullptr);
        result[i] = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
    }
    return result;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    return atoms<1>(c, {name})[0];
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
    // Asked for at once: the dock is made as the strip is first shown, and each round trip
    // delays that.
    const auto [dock, type, desktop, strutPartial, strutAtom] =
        atoms<5>(c, {"_NET_WM_WINDOW_TYPE_DOCK", "_NET_WM_WINDOW_TYPE", "_NET_WM_DESKTOP",
                     "_NET_WM_STRUT_PARTIAL", "_NET_WM_STRUT"});
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, type, XCB_ATOM_ATOM, 32, 1, &dock);
    const uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, desktop, XCB_ATOM_CARDINAL, 32, 1,
                        &allDesktops);
    // left, right, top, bottom, then start/end pairs for each side.
    std::array<uint32_t, 12> strut{};
    strut[2] = static_cast<uint32_t>(std::max(0, geometry.bottom() + 1));
    strut[8] = static_cast<uint32_t>(std::max(0, geometry.left()));
    strut[9] = static_cast<uint32_t>(std::max(0, geometry.right()));
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, strutPartial, XCB_ATOM_CARDINAL, 32, 12,
                        strut.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, strutAtom, XCB_ATOM_CARDINAL, 32, 4,
                        strut.data());
    xcb_flush(c);
    return true;
}

bool setSkipTaskbar(WId window, bool skip, bool shown) {
    xcb_connection_t* c = connection();
    if (c == nullptr) {
        log(QStringLiteral("Taskbar: no X11 connection; windows keep their taskbar entries"));
        return false;
    }
    const auto w = static_cast<xcb_window_t>(window);
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    const std::array<xcb_atom_t, 2> skips{atom(c, "_NET_WM_STATE_SKIP_TASKBAR"),
                                          atom(c, "_NET_WM_STATE_SKIP_PAGER")};
    if (shown) {
        // The window manager owns the state of a mapped window.
        XcbReply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr));
        if (!geometry) {
            return false;
        }
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = w;
        message.type = state;
        message.data.data32[0] = skip ? 1 : 0;  // add, remove
        message.data.data32[1] = skips[0];
        message.data.data32[2] = skips[1];
        message.data.data32[3] = 1;  // from the application itself
        xcb_send_event(c, 0, geometry->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
    } else {
        // Qt keeps the states it does not set itself when it maps the window.
        XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            c, xcb_get_property(c, 0, w, state, XCB_ATOM_ATOM, 0, 64), nullptr));
        std::vector<xcb_atom_t> states;
        if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
            const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
            states.assign(data, data + xcb_get_property_value_length(reply.get()) / 4);
        }
        std::erase_if(states, [&](xcb_atom_t a) { return a == skips[0] || a == skips[1]; });
        if (skip) {
            states.insert(states.end(), skips.begin(), skips.end());
        }
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, state, XCB_ATOM_ATOM, 32,
                            static_cast<uint32_t>(states.size()), states.data());
    }
    xcb_flush(c);
    return true;
}

}  // namespace talvor::platform::x11
