#include "HotKey.h"

#include "HotKeyKeys.h"

#include "platform/Clock.h"

namespace talvor {
namespace {

// Registration numbers are never reused, across all hot keys of the process.
quint32 maxHotKeyID = 1;

}  // namespace

HotKey::HotKey(QString name, platform::HotKeyBackend* backend, platform::Clock* clock)
    : name_(std::move(name)), backend_(backend), clock_(clock) {}

HotKey::~HotKey() {
    suspend();
}

std::map<quint32, HotKey*>& HotKey::hotKeyIDs() {
    static std::map<quint32, HotKey*> ids;
    return ids;
}

HotKey* HotKey::hotKeyForID(quint32 id) {
    const auto it = hotKeyIDs().find(id);
    return it == hotKeyIDs().end() ? nullptr : it->second;
}

platform::HotKeyBackend& HotKey::backend() const {
    return backend_ != nullptr ? *backend_ : platform::HotKeyBackend::shared();
}

platform::Clock& HotKey::clock() const {
    return clock_ != nullptr ? *clock_ : platform::Clock::shared();
}

bool HotKey::resume() {
    if (hotKeyID_ != 0) {
        return true;
    }
    const quint32 id = maxHotKeyID++;
    const platform::HotKeyGrab grab = backend().registerHotKey(
        keyCode_, flags_, [id](const platform::HotKeyEvent& event) { dispatch(id, event); });
    refusal_ = grab.refusal;
    if (!grab) {
        return false;
    }
    hotKeyID_ = id;
    hotKeyRef_ = grab.handle;
    hotKeyIDs()[id] = this;
    return true;
}

void HotKey::suspend() {
    if (hotKeyID_ == 0) {
        return;
    }
    backend().unregisterHotKey(hotKeyRef_);
    hotKeyIDs().erase(hotKeyID_);
    hotKeyID_ = 0;
    hotKeyRef_ = 0;
}

void HotKey::unbind() {
    suspend();
    keyCode_ = -1;
    flags_ = 0;
    refusal_ = platform::HotKeyRefusal::None;
}

bool HotKey::bindToKeyCode(qint32 keyCode, platform::ModifierFlags flags) {
    suspend();
    keyCode_ = keyCode;
    flags_ = flags;
    return resume();
}

QVariantMap HotKey::dictionaryRepresentation() const {
    return {
        {keys::HotKeyName, QVariant(name_)},
        {keys::HotKeyCode, QVariant(static_cast<qint64>(keyCode_))},
        {keys::HotKeyFlags, QVariant(static_cast<qint64>(flags_))},
    };
}

void HotKey::dispatch(quint32 id, const platform::HotKeyEvent& event) {
    HotKey* key = hotKeyForID(id);
    if (key == nullptr) {
        return;
    }
    if (event.pressed) {
        // A key held down is one press, however often it repeats.
        if (event.repeat) {
            return;
        }
        key->keyDownEventTime_ = event.time;
        key->doKeyDown();
        return;
    }
    // The events' own times, when known, are not delayed by a busy main loop.
    if (event.time != 0 && key->keyDownEventTime_ != 0 && event.time >= key->keyDownEventTime_) {
        key->keyUpAfter(static_cast<double>(event.time - key->keyDownEventTime_) / 1000.0);
    } else {
        key->doKeyUp();
    }
}

void HotKey::doKeyDown() {
    keyDownDuration_ = 0;
    keyDownTime_ = clock().now();
    // Observers may add observers while being called.
    const std::vector<Observer> observers = keyDownObservers_;
    for (const Observer& o : observers) {
        o(*this);
    }
}

void HotKey::doKeyUp() {
    keyUpAfter(clock().now().timeIntervalSince(keyDownTime_));
}

void HotKey::keyUpAfter(double seconds) {
    keyDownDuration_ = seconds;
    keyDownEventTime_ = 0;
    const std::vector<Observer> observers = keyUpObservers_;
    for (const Observer& o : observers) {
        o(*this);
    }
}

void HotKey::addKeyDownObserver(Observer observer) {
    keyDownObservers_.push_back(std::move(observer));
}

void HotKey::addKeyUpObserver(Observer observer) {
    keyUpObservers_.push_back(std::move(observer));
}

}  // namespace talvor
