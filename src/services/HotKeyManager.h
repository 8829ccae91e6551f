#pragma once

#include "HotKey.h"

#include "foundation/ObjectExtras.h"

#include <QString>

#include <map>
#include <memory>
#include <type_traits>

namespace talvor {

namespace platform {
class UserDefaults;
}

// The registry of named hot keys, and their store in the user defaults: an array of
// {"Name", "Code", "Flags"} (the application keeps it under "HotKeys").
class HotKeyManager {
  public:
    // Back end, clock and defaults default to the shared ones.
    explicit HotKeyManager(platform::HotKeyBackend* backend = nullptr,
                           platform::Clock* clock = nullptr,
                           platform::UserDefaults* defaults = nullptr);
    ~HotKeyManager();
    HotKeyManager(const HotKeyManager&) = delete;
    HotKeyManager& operator=(const HotKeyManager&) = delete;

    static HotKeyManager& sharedManager();
    // Replaces the shared manager (tests); nullptr restores the real one.
    static void setSharedManager(HotKeyManager* manager);

    HotKey* hotKeyNamed(const QString& name) const;
    HotKey& findOrMakeHotKeyNamed(const QString& name);

    // Stores every bound hot key under `key` (an empty array when none is bound).
    void saveToPrefs(const QString& key);
    // Binds, and so registers, every valid stored entry; entries that are damaged or name
    // a combination without Command, Option or Control are skipped with a log line.
    void loadFromPrefs(const QString& key);

    // addObserver:keyDown:keyUp:name: makes the named hot key if needed and adds an
    // invocation of each method given (nullptr: none) on the observer, held weakly. Adding
    // registers nothing.
    template <typename T>
    void addObserver(T* observer, std::type_identity_t<void (T::*)(HotKey&)> keyDown,
                     std::type_identity_t<void (T::*)(HotKey&)> keyUp, const QString& name) {
        addObservers(
            name, keyDown ? ObjectExtras::buildInvocation(observer, keyDown) : HotKey::Observer(),
            keyUp ? ObjectExtras::buildInvocation(observer, keyUp) : HotKey::Observer());
    }
    template <typename T>
    void addObserver(const std::shared_ptr<T>& observer,
                     std::type_identity_t<void (T::*)(HotKey&)> keyDown,
                     std::type_identity_t<void (T::*)(HotKey&)> keyUp, const QString& name) {
        addObservers(
            name, keyDown ? ObjectExtras::buildInvocation(observer, keyDown) : HotKey::Observer(),
            keyUp ? ObjectExtras::buildInvocation(observer, keyUp) : HotKey::Observer());
    }

    // Binds the named hot key; an unknown name does nothing (answers false). False too when
    // the combination was refused: the hot key's refusal() says why.
    bool bindHotKeyCode(qint32 keyCode, platform::ModifierFlags flags, const QString& name);
    void unbindHotKeyNamed(const QString& name);

  private:
    void addObservers(const QString& name, HotKey::Observer keyDown, HotKey::Observer keyUp);
    platform::UserDefaults& defaults() const;

    platform::HotKeyBackend* backend_;
    platform::Clock* clock_;
    platform::UserDefaults* defaults_;
    std::map<QString, std::unique_ptr<HotKey>> hotKeys_;
};

}  // namespace talvor
