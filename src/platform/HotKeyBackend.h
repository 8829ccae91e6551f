#pragma once

#include "EventModifiers.h"
#include "KeyboardLayout.h"

#include <QString>

#include <functional>
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

}  // namespace talvor::platform
