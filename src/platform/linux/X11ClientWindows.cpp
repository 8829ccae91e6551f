#include "X11ClientWindows.h"

#include "XcbEventReader.h"
#include "XcbReply.h"
#include "platform/Log.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace talvor::platform {
namespace {

using PropertyReply = XcbReply<xcb_get_property_reply_t>;

// Large icon sets come to a few hundred kilobytes; anything beyond a megabyte is not read.
constexpr uint32_t kMaxIconWords = 1u << 18;
constexpr uint32_t kMaxTextWords = 1024;

template <typename T>
std::vector<T> propertyValues(const PropertyReply& reply) {
    if (!reply || reply->type == XCB_ATOM_NONE ||
        reply->format != static_cast<uint8_t>(sizeof(T) * 8)) {
        return {};
    }
    const auto* data = static_cast<const T*>(xcb_get_property_value(reply.get()));
    return std::vector<T>(data, data + xcb_get_property_value_length(reply.get()) / sizeof(T));
}

QByteArray propertyBytes(const PropertyReply& reply) {
    if (!reply || reply->type == XCB_ATOM_NONE || reply->format != 8) {
        return {};
    }
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

}  // namespace

struct X11ClientWindows::Atoms {
    xcb_atom_t clientList = XCB_ATOM_NONE;
    xcb_atom_t activeWindow = XCB_ATOM_NONE;
    xcb_atom_t pid = XCB_ATOM_NONE;
    xcb_atom_t name = XCB_ATOM_NONE;
    xcb_atom_t utf8 = XCB_ATOM_NONE;
    xcb_atom_t windowType = XCB_ATOM_NONE;
    xcb_atom_t typeNormal = XCB_ATOM_NONE;
    xcb_atom_t state = XCB_ATOM_NONE;
    xcb_atom_t skipTaskbar = XCB_ATOM_NONE;
    xcb_atom_t icon = XCB_ATOM_NONE;
};

std::unique_ptr<X11ClientWindows> X11ClientWindows::open(QString* why, const QByteArray& display) {
    const QByteArray name = display.isEmpty() ? qgetenv("DISPLAY") : display;
    if (name.isEmpty()) {
        *why = QStringLiteral("there is no X display");
        return nullptr;
    }
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(name.constData(), &screenNumber);
    if (xcb_connection_has_error(c) != 0) {
        xcb_disconnect(c);
        *why = QStringLiteral("the X display %1 does not answer").arg(QString::fromLocal8Bit(name));
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0 || screens.data == nullptr) {
        xcb_disconnect(c);
        *why = QStringLiteral("the X display has no screen");
        return nullptr;
    }
    return std::unique_ptr<X11ClientWindows>(new X11ClientWindows(c, screens.data->root));
}

X11ClientWindows::X11ClientWindows(xcb_connection_t* connection, quint32 root)
    : connection_(connection), root_(root), atoms_(std::make_unique<Atoms>()) {
    struct Name {
        const char* text;
        xcb_atom_t Atoms::*slot;
    };
    static const Name names[] = {
        {"_NET_CLIENT_LIST", &Atoms::clientList},
        {"_NET_ACTIVE_WINDOW", &Atoms::activeWindow},
        {"_NET_WM_PID", &Atoms::pid},
        {"_NET_WM_NAME", &Atoms::name},
        {"UTF8_STRING", &Atoms::utf8},
        {"_NET_WM_WINDOW_TYPE", &Atoms::windowType},
        {"_NET_WM_WINDOW_TYPE_NORMAL", &Atoms::typeNormal},
        {"_NET_WM_STATE", &Atoms::state},
        {"_NET_WM_STATE_SKIP_TASKBAR", &Atoms::skipTaskbar},
        {"_NET_WM_ICON", &Atoms::icon},
    };
    std::vector<xcb_intern_atom_cookie_t> cookies;
    for (const Name& n : names) {
        cookies.push_back(
            xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(n.text)), n.text));
    }
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        XcbReply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(connection_, cookies[i], nullptr));
        (*atoms_).*(names[i].slot) = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    // Property changes on the root carry the window manager's list and active window;
    // children coming and going stand in for the list when there is no window manager.
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection_);

    reader_ = std::make_unique<XcbEventReader>(
        connection_,
        QStringLiteral("Workspace: the connection to the X server was lost; running applications "
                       "are no longer listed"),
        [this](const void* event) { takeEvent(event); }, [this] { announceChanges(); });
}

X11ClientWindows::~X11ClientWindows() {
    reader_.reset();
    xcb_disconnect(connection_);
}

bool X11ClientWindows::hasWindowManagerList() {
    PropertyReply reply(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, root_, atoms_->clientList, XCB_ATOM_WINDOW, 0, 0),
        nullptr));
    return reply && reply->type != XCB_ATOM_NONE;
}

std::vector<quint32> X11ClientWindows::clientWindowIds() {
    PropertyReply list(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, root_, atoms_->clientList, XCB_ATOM_WINDOW, 0,
                         std::numeric_limits<uint32_t>::max() / 4),
        nullptr));
    if (list && list->type != XCB_ATOM_NONE) {
        const std::vector<uint32_t> ids = propertyValues<uint32_t>(list);
        return {ids.begin(), ids.end()};
    }
    // No window manager: the viewable top-level windows, bottom to top, which is close to
    // the order they appeared in.
    XcbReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr));
    if (!tree) {
        return {};
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    std::vector<xcb_get_window_attributes_cookie_t> cookies;
    cookies.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        cookies.push_back(xcb_get_window_attributes(connection_, children[i]));
    }
    std::vector<quint32> ids;
    for (int i = 0; i < count; ++i) {
        XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(connection_, cookies[i], nullptr));
        // Menus and tool tips bypass the window manager and are no one's windows.
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
            attributes->override_redirect == 0) {
            ids.push_back(children[i]);
        }
    }
    return ids;
}

std::vector<ClientWindow> X11ClientWindows::describeAll(const std::vector<quint32>& windows) {
    struct Cookies {
        xcb_get_property_cookie_t pid, wmClass, netName, wmName, type, state, transientFor;
    };
    const auto get = [this](quint32 w, xcb_atom_t property, xcb_atom_t type, uint32_t words) {
        return xcb_get_property(connection_, 0, w, property, type, 0, words);
    };
    std::vector<Cookies> cookies;
    cookies.reserve(windows.size());
    for (const quint32 w : windows) {
        cookies.push_back({get(w, atoms_->pid, XCB_ATOM_CARDINAL, 1),
                           get(w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, kMaxTextWords),
                           get(w, atoms_->name, atoms_->utf8, kMaxTextWords),
                           get(w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, kMaxTextWords),
                           get(w, atoms_->windowType, XCB_ATOM_ATOM, 32),
                           get(w, atoms_->state, XCB_ATOM_ATOM, 32),
                           get(w, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 1)});
    }
    const auto reply = [this](xcb_get_property_cookie_t cookie) {
        return PropertyReply(xcb_get_property_reply(connection_, cookie, nullptr));
    };
    std::vector<ClientWindow> described;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const Cookies& c = cookies[i];
        const PropertyReply pid = reply(c.pid);
        const PropertyReply wmClass = reply(c.wmClass);
        const PropertyReply netName = reply(c.netName);
        const PropertyReply wmName = reply(c.wmName);
        const PropertyReply type = reply(c.type);
        const PropertyReply state = reply(c.state);
        const PropertyReply transientFor = reply(c.transientFor);
        // A window that went away meanwhile answers with errors only.
        if (!pid || !wmClass || !type) {
            continue;
        }
        ClientWindow window;
        window.window = windows[i];
        if (const std::vector<uint32_t> p = propertyValues<uint32_t>(pid); !p.empty()) {
            window.pid = static_cast<qint64>(p.front());
        }
        const QList<QByteArray> classParts = propertyBytes(wmClass).split('\0');
        window.wmInstance = QString::fromLocal8Bit(classParts.value(0));
        window.wmClass = QString::fromLocal8Bit(classParts.value(1));
        window.title = QString::fromUtf8(propertyBytes(netName));
        if (window.title.isEmpty()) {
            window.title = QString::fromLocal8Bit(propertyBytes(wmName));
        }
        // The first type is the one the client prefers; without one, a window that belongs
        // to another is a dialog.
        const std::vector<uint32_t> types = propertyValues<uint32_t>(type);
        const bool normal = types.empty() ? propertyValues<uint32_t>(transientFor).empty()
                                          : types.front() == atoms_->typeNormal;
        bool skips = false;
        for (const uint32_t s : propertyValues<uint32_t>(state)) {
            skips = skips || s == atoms_->skipTaskbar;
        }
        window.inTaskbar = normal && !skips;
        described.push_back(std::move(window));
    }
    return described;
}

std::vector<ClientWindow> X11ClientWindows::clients() {
    if (!reader_->checkConnection()) {
        return {};
    }
    std::vector<ClientWindow> windows = describeAll(clientWindowIds());
    reader_->scheduleRead();
    return windows;
}

std::optional<ClientWindow> X11ClientWindows::describe(quint32 window) {
    if (!reader_->checkConnection()) {
        return std::nullopt;
    }
    std::vector<ClientWindow> one = describeAll({window});
    reader_->scheduleRead();
    return one.empty() ? std::nullopt : std::optional<ClientWindow>(std::move(one.front()));
}

std::optional<quint32> X11ClientWindows::activeWindow() {
    if (!reader_->checkConnection()) {
        return std::nullopt;
    }
    reader_->scheduleRead();
    PropertyReply active(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, root_, atoms_->activeWindow, XCB_ATOM_WINDOW, 0, 1),
        nullptr));
    if (active && active->type != XCB_ATOM_NONE) {
        const std::vector<uint32_t> ids = propertyValues<uint32_t>(active);
        if (ids.empty() || ids.front() == XCB_WINDOW_NONE) {
            return std::nullopt;
        }
        return ids.front();
    }
    // No window manager: the top-level window holding the input focus.
    XcbReply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    if (!focus || focus->focus == XCB_WINDOW_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT ||
        focus->focus == root_) {
        return std::nullopt;
    }
    xcb_window_t window = focus->focus;
    for (int depth = 0; depth < 64; ++depth) {
        XcbReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr));
        if (!tree) {
            return std::nullopt;
        }
        if (tree->parent == root_) {
            return window;
        }
        window = tree->parent;
    }
    return std::nullopt;
}

QImage X11ClientWindows::icon(quint32 window, int size) {
    if (!reader_->checkConnection()) {
        return QImage();
    }
    reader_->scheduleRead();
    PropertyReply reply(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, window, atoms_->icon, XCB_ATOM_CARDINAL, 0, kMaxIconWords),
        nullptr));
    const std::vector<uint32_t> data = propertyValues<uint32_t>(reply);
    // Width, height, then width x height ARGB pixels, for each size the client offers.
    std::size_t best = data.size();
    auto area = [&](std::size_t at) { return quint64(data[at]) * data[at + 1]; };
    for (std::size_t at = 0; at + 2 <= data.size();) {
        const quint64 pixels = area(at);
        if (data[at] == 0 || data[at + 1] == 0 || pixels > data.size() - at - 2) {
            break;
        }
        const bool bigEnough = data[at] >= uint32_t(size) && data[at + 1] >= uint32_t(size);
        if (best == data.size()) {
            best = at;
        } else {
            const bool bestBigEnough =
                data[best] >= uint32_t(size) && data[best + 1] >= uint32_t(size);
            if ((bigEnough && (!bestBigEnough || pixels < area(best))) ||
                (!bigEnough && !bestBigEnough && pixels > area(best))) {
                best = at;
            }
        }
        at += 2 + pixels;
    }
    if (best == data.size()) {
        return QImage();
    }
    const int w = static_cast<int>(data[best]);
    const int h = static_cast<int>(data[best + 1]);
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        std::memcpy(image.scanLine(y), &data[best + 2 + std::size_t(y) * w], std::size_t(w) * 4);
    }
    return image;
}

void X11ClientWindows::activate(quint32 window) {
    if (!reader_->checkConnection()) {
        return;
    }
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = atoms_->activeWindow;
    message.data.data32[0] = 2;  // the request comes from a pager, not the application
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection_, 0, root_,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    // Without a window manager nobody answers the message.
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(connection_, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_flush(connection_);
}

void X11ClientWindows::takeEvent(const void* raw) {
    const auto* event = static_cast<const xcb_generic_event_t*>(raw);
    switch (event->response_type & 0x7F) {
        case XCB_PROPERTY_NOTIFY: {
            const auto* e = static_cast<const xcb_property_notify_event_t*>(raw);
            if (e->window == root_) {
                activeChanged_ = activeChanged_ || e->atom == atoms_->activeWindow;
                listChanged_ = listChanged_ || e->atom == atoms_->clientList;
            }
            break;
        }
        case XCB_MAP_NOTIFY:
        case XCB_UNMAP_NOTIFY:
        case XCB_DESTROY_NOTIFY:
            childrenChanged_ = true;
            break;
        default:
            break;
    }
}

void X11ClientWindows::announceChanges() {
    const bool active = std::exchange(activeChanged_, false);
    const bool list = std::exchange(listChanged_, false);
    const bool children = std::exchange(childrenChanged_, false);
    // With a window manager its own list says what changed, and frames coming and going
    // would only repeat it.
    const bool bare = children && !hasWindowManagerList();
    if (list || bare) {
        emit clientListChanged();
    }
    // Without a window manager nothing announces focus changes; windows coming and going
    // are when it moves.
    if (active || bare) {
        emit activeWindowChanged();
    }
}

}  // namespace talvor::platform
