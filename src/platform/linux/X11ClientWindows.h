#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

struct xcb_connection_t;

namespace talvor::platform {

class XcbEventReader;

// What the X server tells about one top-level window of another client.
struct ClientWindow {
    quint32 window = 0;
    std::optional<qint64> pid = {};  // _NET_WM_PID
    QString wmInstance = {};         // WM_CLASS, first part
    QString wmClass = {};            // WM_CLASS, second part
    QString title = {};              // _NET_WM_NAME, else WM_NAME
    // A normal window (not a dock, dialog, menu or utility window) that does not skip the
    // taskbar: what makes its application a regular one.
    bool inTaskbar = true;
};

// The windows the user works with on an X server, through a connection of our own: the
// window manager's client list (_NET_CLIENT_LIST) and active window (_NET_ACTIVE_WINDOW).
// Without a window manager there is no such list, so the mapped top-level windows stand in
// for it and the window with the input focus for the active one. Changes arrive as events
// through the Qt event loop.
class X11ClientWindows : public QObject {
    Q_OBJECT
  public:
    // Connects to `display` (empty: $DISPLAY). nullptr, with the reason in `why`, when no X
    // server answers.
    static std::unique_ptr<X11ClientWindows> open(QString* why,
                                                  const QByteArray& display = QByteArray());
    ~X11ClientWindows() override;

    // In the order the windows were first mapped (without a window manager: bottom to top).
    std::vector<ClientWindow> clients();
    std::optional<ClientWindow> describe(quint32 window);
    std::optional<quint32> activeWindow();
    // The window's own icon (_NET_WM_ICON) in the size nearest to `size` from above; a null
    // image when it has none.
    QImage icon(quint32 window, int size);
    // Asks the window manager to bring the window to the front, and raises it.
    void activate(quint32 window);

  signals:
    void activeWindowChanged();
    void clientListChanged();

  private:
    X11ClientWindows(xcb_connection_t* connection, quint32 root);
    bool hasWindowManagerList();
    std::vector<quint32> clientWindowIds();
    std::vector<ClientWindow> describeAll(const std::vector<quint32>& windows);
    // `event`: an xcb_generic_event_t.
    void takeEvent(const void* event);
    void announceChanges();

    xcb_connection_t* connection_;
    quint32 root_;
    std::unique_ptr<XcbEventReader> reader_;
    bool activeChanged_ = false;
    bool listChanged_ = false;
    bool childrenChanged_ = false;
    struct Atoms;
    std::unique_ptr<Atoms> atoms_;
};

}  // namespace talvor::platform
