#pragma once

#include "foundation/ObjectExtras.h"
#include "platform/Date.h"
#include "platform/EventModifiers.h"
#include "platform/HotKeyBackend.h"

#include <QString>
#include <QVariantMap>

#include <map>
#include <vector>

namespace talvor {

namespace platform {
class Clock;
}

// A named system-wide hot key: bound to one key code with modifier flags, registered with
// the hot-key back end while bound; a press or release calls its observers in the order
// they were added, each given this hot key.
class HotKey {
  public:
    using Observer = Invocation<HotKey&>;

    // Unbound. The back end and clock default to the shared ones (looked up when used).
    explicit HotKey(QString name, platform::HotKeyBackend* backend = nullptr,
                    platform::Clock* clock = nullptr);
    // Unregisters.
    ~HotKey();
    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;

    // Unregisters, keeping the binding.
    void suspend();
    // Registers the binding under a new registration number unless registered already.
    // False, with refusal() saying why, when the back end refuses: then nothing is registered.
    bool resume();
    void unbind();
    // Unregisters, stores the binding, registers it; answers as resume().
    bool bindToKeyCode(qint32 keyCode, platform::ModifierFlags flags);

    // {"Name", "Code", "Flags"}, as the hot-key store keeps it.
    QVariantMap dictionaryRepresentation() const;

    const QString& name() const { return name_; }
    // -1 when unbound.
    qint32 keyCode() const { return keyCode_; }
    platform::ModifierFlags flags() const { return flags_; }
    // 0 while not registered.
    quint32 hotKeyID() const { return hotKeyID_; }
    bool isRegistered() const { return hotKeyID_ != 0; }
    // Why the last registration failed; None after a success.
    platform::HotKeyRefusal refusal() const { return refusal_; }
    Date keyDownTime() const { return keyDownTime_; }
    // Seconds the key was held, meaningful in key-up observers; 0 from a press to its release.
    double duration() const { return keyDownDuration_; }

    void doKeyDown();
    void doKeyUp();

    void addKeyDownObserver(Observer observer);
    void addKeyUpObserver(Observer observer);

    // The registered hot key of a registration number; nullptr when none.
    static HotKey* hotKeyForID(quint32 id);

  private:
    static std::map<quint32, HotKey*>& hotKeyIDs();
    static void dispatch(quint32 id, const platform::HotKeyEvent& event);
    platform::HotKeyBackend& backend() const;
    platform::Clock& clock() const;
    void keyUpAfter(double seconds);

    QString name_;
    qint32 keyCode_ = -1;
    platform::ModifierFlags flags_ = 0;
    quint32 hotKeyID_ = 0;
    quint32 hotKeyRef_ = 0;
    platform::HotKeyRefusal refusal_ = platform::HotKeyRefusal::None;
    Date keyDownTime_;
    double keyDownDuration_ = 0;
    quint64 keyDownEventTime_ = 0;
    std::vector<Observer> keyDownObservers_;
    std::vector<Observer> keyUpObservers_;
    platform::HotKeyBackend* backend_;
    platform::Clock* clock_;
};

}  // namespace talvor
