#include "HotKeyManager.h"

#include "HotKeyKeys.h"

#include "platform/Log.h"
#include "platform/UserDefaults.h"

namespace talvor {
namespace {

HotKeyManager*& replacement() {
    static HotKeyManager* manager = nullptr;
    return manager;
}

// The stored entry's combination, when it has a name and integer code and flags that may be
// grabbed: a damaged entry must not become a grab of a plain key.
std::optional<std::pair<qint32, platform::ModifierFlags>> validEntry(const QVariant& entry) {
    if (entry.typeId() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    const QVariantMap map = entry.toMap();
    const QVariant name = map.value(keys::HotKeyName);
    const QVariant code = map.value(keys::HotKeyCode);
    const QVariant flags = map.value(keys::HotKeyFlags);
    if (name.typeId() != QMetaType::QString || name.toString().isEmpty() ||
        code.typeId() != QMetaType::LongLong || flags.typeId() != QMetaType::LongLong) {
        return std::nullopt;
    }
    const qint64 c = code.toLongLong();
    const qint64 f = flags.toLongLong();
    if (c < 0 || c > 0x7FFFFFFF || f < 0 || f > 0xFFFFFFFF) {
        return std::nullopt;
    }
    const auto keyCode = static_cast<qint32>(c);
    const auto modifierFlags = static_cast<platform::ModifierFlags>(f);
    if (platform::checkHotKeyCombination(keyCode, modifierFlags & platform::kHotKeyModifierMask) !=
        platform::HotKeyRefusal::None) {
        return std::nullopt;
    }
    return std::make_pair(keyCode, modifierFlags);
}

}  // namespace

HotKeyManager::HotKeyManager(platform::HotKeyBackend* backend, platform::Clock* clock,
                             platform::UserDefaults* defaults)
    : backend_(backend), clock_(clock), defaults_(defaults) {}

HotKeyManager::~HotKeyManager() = default;

HotKeyManager& HotKeyManager::sharedManager() {
    if (replacement() != nullptr) {
        return *replacement();
    }
    // Never destroyed: its keys' bookkeeping is a static of its own that may go first.
    static auto* manager = new HotKeyManager;
    return *manager;
}

void HotKeyManager::setSharedManager(HotKeyManager* manager) {
    replacement() = manager;
}

platform::UserDefaults& HotKeyManager::defaults() const {
    return defaults_ != nullptr ? *defaults_ : platform::UserDefaults::standard();
}

HotKey* HotKeyManager::hotKeyNamed(const QString& name) const {
    const auto it = hotKeys_.find(name);
    return it == hotKeys_.end() ? nullptr : it->second.get();
}

HotKey& HotKeyManager::findOrMakeHotKeyNamed(const QString& name) {
    std::unique_ptr<HotKey>& slot = hotKeys_[name];
    if (!slot) {
        slot = std::make_unique<HotKey>(name, backend_, clock_);
    }
    return *slot;
}

void HotKeyManager::saveToPrefs(const QString& key) {
    QVariantList list;
    for (const auto& [name, hotKey] : hotKeys_) {
        if (hotKey->keyCode() != -1) {
            list.append(QVariant(hotKey->dictionaryRepresentation()));
        }
    }
    defaults().setObject(QVariant(list), key);
}

void HotKeyManager::loadFromPrefs(const QString& key) {
    const QVariant stored = defaults().objectForKey(key);
    if (stored.typeId() != QMetaType::QVariantList) {
        return;
    }
    for (const QVariant& entry : stored.toList()) {
        const std::optional<std::pair<qint32, platform::ModifierFlags>> combination =
            validEntry(entry);
        if (!combination) {
            platform::log(QStringLiteral("Hot keys: a stored hot key under \"%1\" is damaged or "
                                         "has no Ctrl, Alt or Super; it is skipped")
                              .arg(key));
            continue;
        }
        const QString name = entry.toMap().value(keys::HotKeyName).toString();
        HotKey& hotKey = findOrMakeHotKeyNamed(name);
        if (!hotKey.bindToKeyCode(combination->first, combination->second)) {
            platform::log(QStringLiteral("Hot keys: \"%1\" is not set: %2")
                              .arg(name, platform::describeRefusal(hotKey.refusal())));
        }
    }
}

void HotKeyManager::addObservers(const QString& name, HotKey::Observer keyDown,
                                 HotKey::Observer keyUp) {
    HotKey& hotKey = findOrMakeHotKeyNamed(name);
    if (keyDown) {
        hotKey.addKeyDownObserver(std::move(keyDown));
    }
    if (keyUp) {
        hotKey.addKeyUpObserver(std::move(keyUp));
    }
}

bool HotKeyManager::bindHotKeyCode(qint32 keyCode, platform::ModifierFlags flags,
                                   const QString& name) {
    HotKey* hotKey = hotKeyNamed(name);
    return hotKey != nullptr && hotKey->bindToKeyCode(keyCode, flags);
}

void HotKeyManager::unbindHotKeyNamed(const QString& name) {
    if (HotKey* hotKey = hotKeyNamed(name)) {
        hotKey->unbind();
    }
}

}  // namespace talvor
