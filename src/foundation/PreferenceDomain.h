#pragma once

#include "platform/PreferenceStore.h"
#include "platform/Preferences.h"

#include <QString>

#include <optional>

namespace talvor {

// The application's preference domain: every setting of the application lives here.
inline const QString& appTalvor4Prefs = platform::kMainBundleIdentifier;

// Reads and writes through the application-value operations of `appTalvor4Prefs`.
namespace PreferenceDomain {

platform::PreferenceStore& store();
// Synchronises the domain; on failure writes `failureLine` to the log. True on success.
bool synchronize(const QString& failureLine);
// Before reading settings: takes in what other writers saved, leaving our unsaved changes to
// the save timer (no write, so no wait for the disk); logs `failureLine` when unreadable.
bool refresh(const QString& failureLine);

// A flag: stored as a 32-bit integer 0 or 1. Absent or not an integer gives the default;
// otherwise the low 8 bits decide (non-zero = on).
bool readFlag(const QString& key, bool defaultValue);
void writeFlag(const QString& key, bool value);
// A 32-bit integer: absent or not an integer gives the default.
qint32 readInteger(const QString& key, qint32 defaultValue);
void writeInteger(const QString& key, qint32 value);
// Text: absent or not a string gives the default.
QString readText(const QString& key, const QString& defaultValue);
void writeText(const QString& key, const QString& value);

}  // namespace PreferenceDomain

// Synchronises the domain of `appId` and reads the key as a float: a string through the
// string-to-double conversion, a number as a single-precision float; absent, a boolean or
// any other type gives -1.0.
float myCFGetAppFloat(const QString& key, const QString& appId);
float myCFGetFloat(const QString& key);

// Synchronises the domain and returns the key's packed string: a string as stored, raw
// bytes decoded as UTF-8 (a leading byte-order mark dropped); nullopt when absent or of
// any other type.
std::optional<QString> CopyAppPrefString(const QString& key);
std::optional<QString> CopyAnnotateString(const QString& key);

// Kept for the callers that still name it; selecting happens elsewhere.
inline void SelectItemWithTag() {}

}  // namespace talvor
