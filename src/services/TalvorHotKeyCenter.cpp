#include "TalvorHotKeyCenter.h"

#include "platform/Log.h"

namespace talvor {
namespace {

TalvorHotKeyCenter*& replacement() {
    static TalvorHotKeyCenter* center = nullptr;
    return center;
}

}  // namespace

TalvorHotKeyCenter::TalvorHotKeyCenter(platform::HotKeyBackend* backend)
    : backend_(backend), self_(std::make_shared<TalvorHotKeyCenter*>(this)) {}

TalvorHotKeyCenter::~TalvorHotKeyCenter() {
    for (auto& [name, data] : mHotKeys) {
        _unregisterHotKeyIfNeeded(*data);
    }
    *self_ = nullptr;
}

TalvorHotKeyCenter& TalvorHotKeyCenter::sharedCenter() {
    if (replacement() != nullptr) {
        return *replacement();
    }
    static TalvorHotKeyCenter center;
    return center;
}

void TalvorHotKeyCenter::setSharedCenter(TalvorHotKeyCenter* center) {
    replacement() = center;
}

platform::HotKeyBackend& TalvorHotKeyCenter::backend() const {
    return backend_ != nullptr ? *backend_ : platform::HotKeyBackend::shared();
}

QString TalvorHotKeyCenter::makeSigKey(quint32 signature, quint32 id) {
    return QStringLiteral("hk%1%2").arg(QString::number(signature, 16).toUpper()).arg(id);
}

bool TalvorHotKeyCenter::addHotKey(const QString& name, const TalvorKeyCombo& combo,
                                   Action action) {
    removeHotKey(name);
    auto data = std::make_shared<HotKeyData>();
    data->mCombo = combo;
    data->mAction = std::move(action);
    data->id = nextId_++;
    mHotKeys[name] = data;
    return _registerHotKeyIfNeeded(*data);
}

void TalvorHotKeyCenter::removeHotKey(const QString& name) {
    const auto it = mHotKeys.find(name);
    if (it == mHotKeys.end()) {
        return;
    }
    _unregisterHotKeyIfNeeded(*it->second);
    mHotKeys.erase(it);
}

QStringList TalvorHotKeyCenter::allNames() const {
    QStringList names;
    for (const auto& [name, data] : mHotKeys) {
        names.append(name);
    }
    return names;
}

std::optional<TalvorKeyCombo> TalvorHotKeyCenter::keyComboForName(const QString& name) const {
    const auto it = mHotKeys.find(name);
    if (it == mHotKeys.end()) {
        return std::nullopt;
    }
    return it->second->mCombo;
}

bool TalvorHotKeyCenter::isRegistered(const QString& name) const {
    const auto it = mHotKeys.find(name);
    return it != mHotKeys.end() && it->second->mRegistered;
}

void TalvorHotKeyCenter::setEnabled(bool enabled) {
    mEnabled = enabled;
    for (auto& [name, data] : mHotKeys) {
        if (enabled) {
            _registerHotKeyIfNeeded(*data);
        } else {
            _unregisterHotKeyIfNeeded(*data);
        }
    }
}

bool TalvorHotKeyCenter::_registerHotKeyIfNeeded(HotKeyData& data) {
    if (!mEnabled || data.mRegistered || !data.mCombo.isValid()) {
        return true;
    }
    const QString sigKey = makeSigKey(kSignature, data.id);
    std::weak_ptr<TalvorHotKeyCenter*> self = self_;
    const platform::HotKeyGrab grab = backend().registerHotKey(
        data.mCombo.keyCode(),
        TalvorKeyCombo::NSModifierForModifiers(data.mCombo.modifiers() & 0xFFFFFFFF),
        [self, sigKey](const platform::HotKeyEvent& event) {
            if (const auto center = self.lock(); center && *center != nullptr) {
                (*center)->handleHotKeyEvent(sigKey, event);
            }
        });
    if (!grab) {
        platform::debugLog(
            QStringLiteral("TalvorHotKeyCenter: %1 refused: %2")
                .arg(data.mCombo.userDisplayRep(), platform::describeRefusal(grab.refusal)));
        return false;
    }
    for (auto& [name, entry] : mHotKeys) {
        if (entry.get() == &data) {
            mKeysLookup[sigKey] = entry;
        }
    }
    data.mRef = grab.handle;
    data.mRegistered = true;
    return true;
}

void TalvorHotKeyCenter::_unregisterHotKeyIfNeeded(HotKeyData& data) {
    if (!data.mRegistered || data.mRef == 0) {
        return;
    }
    mKeysLookup.erase(makeSigKey(kSignature, data.id));
    backend().unregisterHotKey(data.mRef);
    data.mRegistered = false;
    data.mRef = 0;
}

void TalvorHotKeyCenter::handleHotKeyEvent(const QString& sigKey,
                                           const platform::HotKeyEvent& event) {
    platform::debugLog(QStringLiteral("keyEventHandler called"));
    const auto it = mKeysLookup.find(sigKey);
    // Holding the record keeps it alive if its action removes it.
    const std::shared_ptr<HotKeyData> data = it == mKeysLookup.end() ? nullptr : it->second;
    if (event.pressed && !event.repeat) {
        _hotKeyDown(data.get());
    }
}

void TalvorHotKeyCenter::_hotKeyDown(HotKeyData* data) {
    if (data != nullptr) {
        const Action action = data->mAction;
        action(*this);
    }
}

}  // namespace talvor
