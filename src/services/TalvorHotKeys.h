#pragma once

#include "platform/KeyedArchiver.h"

#include <QVariantMap>

#include <optional>

namespace talvor {

// The per-feature shortcut values: one dictionary under "TalvorHotKeyPrefStrKey" in the
// application's preference domain (key codes and modifier masks as integers, and the flag
// "FloaterHotKeyEnabled").
class TalvorHotKeys {
  public:
    // Loads the stored values.
    TalvorHotKeys();

    static TalvorHotKeys& sharedInstance();
    // Replaces the shared instance (tests); nullptr restores the real one.
    static void setSharedInstance(TalvorHotKeys* instance);

    // The twelve numeric defaults.
    static QVariantMap setDetaults();

    // Synchronises the domain and takes the stored dictionary, else the defaults.
    void loadPrefs();
    // Stores the dictionary and synchronises; a failure is only logged.
    void writePrefs();

    const QVariantMap& hotKeyValues() const { return hotKeyValues_; }
    void setHotKeyValues(const QVariantMap& values);

    static QString archiveClassName() { return QStringLiteral("TalvorHotKeys"); }
    void encodeWithCoder(platform::KeyedArchiver& coder) const;
    static std::optional<TalvorHotKeys> initWithCoder(const platform::KeyedUnarchiver& coder);

  private:
    struct NoLoad {};
    explicit TalvorHotKeys(NoLoad) {}

    QVariantMap hotKeyValues_;
};

}  // namespace talvor
