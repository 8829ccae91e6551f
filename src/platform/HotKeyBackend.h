#pragma once

#include "EventModifiers.h"
#include "KeyboardLayout.h"

#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>

namespace talvor::platform {

// One press or release of a registered combination.
struct HotKeyEvent {
    bool pressed = true;
    // A press sent by auto-repeat while the key stays down.
    bool repeat = false;
    // Milliseconds on the event source's own clock; 0 when unknown. Only differences count.
    quint64 time = 0;
};

// Why a combination was not registered.
enum class HotKeyRefusal {
    None,
    // The key code names no key of this keyboard, or names a modifier key.
    NoKey,
    // Neither Command, Option nor Control: a system-wide grab would steal typing.
    NoModifier,
    // Another program (or another registration of ours) holds the combination.
    Taken,
    // No global hot keys here (no X11, a Wayland session, the connection lost).
    Unavailable,
};
QString describeRefusal(HotKeyRefusal refusal);

// The modifiers a registration looks at: Command, Option, Control and Shift.
inline constexpr ModifierFlags kHotKeyModifierMask =
    CommandKeyMask | AlternateKeyMask | ControlKeyMask | ShiftKeyMask;
// Whether the combination may be grabbed system-wide: a key code 0-127 that is not a
// modifier key, with Command, Option or Control among the flags (other bits are ignored).
HotKeyRefusal checkHotKeyCombination(qint32 keyCode, ModifierFlags flags);

struct HotKeyGrab {
    // 0 when refused.
    quint32 handle = 0;
    HotKeyRefusal refusal = HotKeyRefusal::None;
    explicit operator bool() const { return handle != 0; }
};

// System-wide hot keys: a key code (stored virtual key code) with modifier flags, delivered
// to the registration's handler on the main thread while any application is in front.
class HotKeyBackend {
  public:
    using Handler = std::function<void(const HotKeyEvent&)>;
    virtual ~HotKeyBackend();

    virtual bool isAvailable() const = 0;
    // Flags other than kHotKeyModifierMask are ignored. A refusal is final: nothing is held.
    virtual HotKeyGrab registerHotKey(qint32 keyCode, ModifierFlags flags, Handler handler) = 0;
    virtual void unregisterHotKey(quint32 handle) = 0;
    // True when another program holds the combination (tried by a grab released at once);
    // our own registrations do not count.
    virtual bool isHeldElsewhere(qint32 keyCode, ModifierFlags flags) = 0;
    // The keyboard layout in use, for key names.
    virtual std::shared_ptr<const KeyboardLayout> keyboardLayout() const = 0;

    // The installed system's back end (on Linux: X11 when the application runs on an X
    // server), else one that refuses every registration (saying why once in the log).
    // Created on first use, kept to exit.
    static HotKeyBackend& shared();
    // Replaces the shared back end (tests); nullptr restores the real one.
    static void setShared(HotKeyBackend* backend);
};

// The back end where there are no global hot keys: every registration is refused. Key names
// come from the system's default layout, when there is one.
class UnavailableHotKeyBackend : public HotKeyBackend {
  public:
    explicit UnavailableHotKeyBackend(QString reason);
    bool isAvailable() const override { return false; }
    HotKeyGrab registerHotKey(qint32 keyCode, ModifierFlags flags, Handler handler) override;
    void unregisterHotKey(quint32) override {}
    bool isHeldElsewhere(qint32, ModifierFlags) override { return false; }
    std::shared_ptr<const KeyboardLayout> keyboardLayout() const override;
    const QString& reason() const { return reason_; }

  private:
    QString reason_;
    std::shared_ptr<const KeyboardLayout> layout_;
};

// The combinations a back end holds, by handle: each checked and held once.
class HotKeyRegistrations {
  public:
    struct Registration {
        qint32 keyCode;
        ModifierFlags flags;
        HotKeyBackend::Handler handler;
    };
    // Refused as checkHotKeyCombination says, or as Taken when held here already.
    HotKeyGrab add(qint32 keyCode, ModifierFlags flags, HotKeyBackend::Handler handler);
    bool remove(quint32 handle);
    // The handler of the combination; empty when none holds it.
    HotKeyBackend::Handler find(qint32 keyCode, ModifierFlags flags) const;
    const std::map<quint32, Registration>& all() const { return held_; }

  private:
    std::map<quint32, Registration> held_;
    quint32 next_ = 1;
};

// Hot keys while a window of ours has the keyboard focus, where the desktop offers no global
// ones: key presses and releases reaching our windows are matched against the combinations
// `find` knows; a match goes to its handler and types nothing.
class FocusHotKeys : public QObject {
  public:
    using Find = std::function<HotKeyBackend::Handler(qint32 keyCode, ModifierFlags flags)>;
    // Watches the application's windows while alive.
    FocusHotKeys(std::shared_ptr<const KeyboardLayout> layout, Find find);
    ~FocusHotKeys() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::shared_ptr<const KeyboardLayout> layout_;
    Find find_;
};

// The back end where the desktop has no global hot keys (a Wayland desktop without the
// portal): `isAvailable` is false, so the hot-key fields say so, but registrations are kept
// and their keys work while a Talvor window has focus.
class FocusHotKeyBackend : public HotKeyBackend {
  public:
    explicit FocusHotKeyBackend(QString reason,
                                std::shared_ptr<const KeyboardLayout> layout = nullptr);
    bool isAvailable() const override { return false; }
    HotKeyGrab registerHotKey(qint32 keyCode, ModifierFlags flags, Handler handler) override {
        return registrations_.add(keyCode, flags, std::move(handler));
    }
    void unregisterHotKey(quint32 handle) override { registrations_.remove(handle); }
    bool isHeldElsewhere(qint32, ModifierFlags) override { return false; }
    std::shared_ptr<const KeyboardLayout> keyboardLayout() const override { return layout_; }
    const QString& reason() const { return reason_; }

  private:
    QString reason_;
    std::shared_ptr<const KeyboardLayout> layout_;
    HotKeyRegistrations registrations_;
    std::unique_ptr<FocusHotKeys> keys_;
};

}  // namespace talvor::platform
