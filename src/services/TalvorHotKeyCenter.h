#pragma once

#include "TalvorKeyCombo.h"

#include "foundation/ObjectExtras.h"
#include "platform/HotKeyBackend.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>

namespace talvor {

// A second registry of system-wide hot keys, by name: each a key combination with an action
// sent on a press (releases send nothing). All its keys can be switched off and on together.
// Independent of HotKeyManager; nothing in the application creates it yet.
class TalvorHotKeyCenter {
  public:
    using Action = Invocation<TalvorHotKeyCenter&>;

    explicit TalvorHotKeyCenter(platform::HotKeyBackend* backend = nullptr);
    ~TalvorHotKeyCenter();
    TalvorHotKeyCenter(const TalvorHotKeyCenter&) = delete;
    TalvorHotKeyCenter& operator=(const TalvorHotKeyCenter&) = delete;

    static TalvorHotKeyCenter& sharedCenter();
    static void setSharedCenter(TalvorHotKeyCenter* center);

    // "hk%X%d" of a signature and an id.
    static QString makeSigKey(quint32 signature, quint32 id);
    static constexpr quint32 kSignature = 0x484B7943;  // 'HKyC'

    // Replaces an entry of that name (unregistering it first) and registers the new one.
    // True when registered, or when there is nothing to register (disabled, or a combination
    // that is not valid); false when the back end refused it.
    bool addHotKey(const QString& name, const TalvorKeyCombo& combo, Action action);
    void removeHotKey(const QString& name);
    QStringList allNames() const;
    std::optional<TalvorKeyCombo> keyComboForName(const QString& name) const;
    // Registers (enabling) or unregisters (disabling) every entry, keeping them all.
    void setEnabled(bool enabled);
    bool enabled() const { return mEnabled; }

    // Whether the entry's combination is registered now.
    bool isRegistered(const QString& name) const;

  private:
    // `_HotKeyData` (a leading underscore with a capital is reserved in C++).
    struct HotKeyData {
        bool mRegistered = false;
        quint32 mRef = 0;
        TalvorKeyCombo mCombo;
        Action mAction;
        quint32 id = 0;
    };

    bool _registerHotKeyIfNeeded(HotKeyData& data);
    void _unregisterHotKeyIfNeeded(HotKeyData& data);
    void _hotKeyDown(HotKeyData* data);
    void handleHotKeyEvent(const QString& sigKey, const platform::HotKeyEvent& event);
    platform::HotKeyBackend& backend() const;

    bool mEnabled = true;
    std::map<QString, std::shared_ptr<HotKeyData>> mHotKeys;
    std::map<QString, std::shared_ptr<HotKeyData>> mKeysLookup;
    platform::HotKeyBackend* backend_;
    quint32 nextId_ = 1;
    // Back-end handlers outlive neither the centre nor an event in progress.
    std::shared_ptr<TalvorHotKeyCenter*> self_;
};

}  // namespace talvor
