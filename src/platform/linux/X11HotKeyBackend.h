#pragma once

#include "XkbKeyboardLayout.h"
#include "platform/HotKeyBackend.h"

#include <QByteArray>
#include <QObject>

#include <map>
#include <memory>
#include <vector>

struct xcb_connection_t;
struct xkb_context;

namespace talvor::platform {

class XcbEventReader;

// Global hot keys on an X server: passive key grabs on the root window through a connection
// of our own, one grab for each state of Caps Lock and Num Lock. Key codes are mapped to the
// server's scan codes by key position (XKB key names); Command is Ctrl, Option is Alt and
// Control is Super. Auto-repeat is detectable (XKB), so a held key gives one press, repeats
// marked as such, and one release.
class X11HotKeyBackend : public QObject, public HotKeyBackend {
    Q_OBJECT
  public:
    // Connects to `display` (empty: $DISPLAY). nullptr, with the reason in `why`, when no X
    // server answers or it lacks the keyboard extension.
    static std::unique_ptr<X11HotKeyBackend> open(QString* why,
                                                  const QByteArray& display = QByteArray());
    ~X11HotKeyBackend() override;

    bool isAvailable() const override;
    HotKeyGrab registerHotKey(qint32 keyCode, ModifierFlags flags, Handler handler) override;
    void unregisterHotKey(quint32 handle) override;
    bool isHeldElsewhere(qint32 keyCode, ModifierFlags flags) override;
    std::shared_ptr<const KeyboardLayout> keyboardLayout() const override { return layout_; }

    // Whether the server sends no release between auto-repeated presses.
    bool hasDetectableAutoRepeat() const { return detectableAutoRepeat_; }

  private:
    X11HotKeyBackend(xcb_connection_t* connection, quint32 root, xkb_context* context,
                     qint32 deviceId, quint8 xkbFirstEvent);

    struct Grab {
        qint32 keyCode = -1;
        ModifierFlags flags = 0;
        quint32 scanCode = 0;  // 0: the key is missing from the current keymap
        quint16 xMods = 0;
        Handler handler;
        bool down = false;
    };

    bool loadKeymap();
    quint16 xModifiers(ModifierFlags flags) const;
    std::vector<quint16> lockVariants() const;
    // Grabs every lock variant; on a refusal releases the ones it got and answers false.
    bool grabAll(quint32 scanCode, quint16 mods);
    void ungrabAll(quint32 scanCode, quint16 mods);
    void regrabAfterKeymapChange();
    // `event`: an xcb_generic_event_t.
    void handleEvent(const void* event);
    void handleKey(quint32 scanCode, quint16 state, quint32 time, bool pressed);

    xcb_connection_t* connection_;
    quint32 root_;
    xkb_context* context_;
    qint32 deviceId_;
    quint8 xkbFirstEvent_;
    bool detectableAutoRepeat_ = false;
    std::shared_ptr<const XkbKeyboardLayout> layout_;
    quint16 altMask_ = 0;
    quint16 superMask_ = 0;
    quint16 numLockMask_ = 0;
    std::unique_ptr<XcbEventReader> reader_;
    quint32 nextHandle_ = 1;
    std::map<quint32, Grab> grabs_;
};

}  // namespace talvor::platform
