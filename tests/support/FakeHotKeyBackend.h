#pragma once

#include "FakeKeyboardLayout.h"
#include "platform/HotKeyBackend.h"

#include <map>
#include <set>
#include <utility>

namespace talvor::test {

// Hot keys without a display: registrations are kept in a table, combinations can be marked
// as held by another program, and press/release deliver events as the system would.
class FakeHotKeyBackend : public platform::HotKeyBackend {
  public:
    struct Registration {
        qint32 keyCode;
        platform::ModifierFlags flags;
        Handler handler;
    };

    // Key names come from the "us" layout unless another is given.
    explicit FakeHotKeyBackend(std::shared_ptr<const platform::KeyboardLayout> layout =
                                   std::make_shared<FakeUsKeyboardLayout>())
        : layout_(std::move(layout)) {}

    bool isAvailable() const override { return available_; }

    platform::HotKeyGrab registerHotKey(qint32 keyCode, platform::ModifierFlags flags,
                                        Handler handler) override {
        ++registerCalls_;
        if (!available_) {
            return {0, platform::HotKeyRefusal::Unavailable};
        }
        flags &= platform::kHotKeyModifierMask;
        if (const auto r = platform::checkHotKeyCombination(keyCode, flags);
            r != platform::HotKeyRefusal::None) {
            return {0, r};
        }
        if (heldElsewhere_.count({keyCode, flags}) != 0 || find(keyCode, flags) != 0) {
            return {0, platform::HotKeyRefusal::Taken};
        }
        const quint32 handle = next_++;
        registrations_[handle] = Registration{keyCode, flags, std::move(handler)};
        return {handle, platform::HotKeyRefusal::None};
    }

    void unregisterHotKey(quint32 handle) override { registrations_.erase(handle); }

    bool isHeldElsewhere(qint32 keyCode, platform::ModifierFlags flags) override {
        return heldElsewhere_.count({keyCode, flags & platform::kHotKeyModifierMask}) != 0;
    }

    std::shared_ptr<const platform::KeyboardLayout> keyboardLayout() const override {
        return layout_;
    }

    // Test controls.
    void setAvailable(bool available) { available_ = available; }
    void holdElsewhere(qint32 keyCode, platform::ModifierFlags flags) {
        heldElsewhere_.insert({keyCode, flags});
    }
    void releaseElsewhere(qint32 keyCode, platform::ModifierFlags flags) {
        heldElsewhere_.erase({keyCode, flags});
    }
    void setLayout(std::shared_ptr<const platform::KeyboardLayout> layout) {
        layout_ = std::move(layout);
    }
    // The handle holding the combination; 0 when none.
    quint32 find(qint32 keyCode, platform::ModifierFlags flags) const {
        for (const auto& [handle, r] : registrations_) {
            if (r.keyCode == keyCode && r.flags == (flags & platform::kHotKeyModifierMask)) {
                return handle;
            }
        }
        return 0;
    }
    bool isRegistered(qint32 keyCode, platform::ModifierFlags flags) const {
        return find(keyCode, flags) != 0;
    }
    std::size_t registrationCount() const { return registrations_.size(); }
    int registerCalls() const { return registerCalls_; }

    // Delivers an event for the combination; false when nothing holds it.
    bool send(qint32 keyCode, platform::ModifierFlags flags, platform::HotKeyEvent event) {
        const quint32 handle = find(keyCode, flags);
        if (handle == 0) {
            return false;
        }
        const Handler handler = registrations_.at(handle).handler;
        handler(event);
        return true;
    }
    bool press(qint32 keyCode, platform::ModifierFlags flags, quint64 time = 0) {
        return send(keyCode, flags, {true, false, time});
    }
    bool release(qint32 keyCode, platform::ModifierFlags flags, quint64 time = 0) {
        return send(keyCode, flags, {false, false, time});
    }

  private:
    std::shared_ptr<const platform::KeyboardLayout> layout_;
    bool available_ = true;
    std::set<std::pair<qint32, platform::ModifierFlags>> heldElsewhere_;
    std::map<quint32, Registration> registrations_;
    quint32 next_ = 1;
    int registerCalls_ = 0;
};

}  // namespace talvor::test
