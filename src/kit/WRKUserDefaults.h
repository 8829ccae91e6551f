#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kit/PropertyList.h"

// The kit's own small key-value store, kept apart from the application's defaults so that
// the kit's values (the install identifier above all) neither mix with them nor depend on
// them. Values live in memory; `synchronize` writes them to an XML property list
// "WRKUserDefaults.plist" in the kit's folder under the user's data folder:
// $XDG_DATA_HOME/talvor/<bundle identifier, "/" as "_">/com.wreckord/.
//
// Nothing already stored is ever lost to a bad file: an unreadable file, or a folder where
// the file belongs, is moved aside ("<file>.corrupt-<time>", "<file>.conflict-<time>") and
// the store starts empty; a store that cannot be written keeps its values in memory and
// leaves the old file as it was. Each failure is logged once, not at every write.
// Any thread may call the store.
namespace talvor::kit {

class WRKUserDefaults {
  public:
    // A store in `directory`; reads its file at once.
    explicit WRKUserDefaults(std::filesystem::path directory);
    WRKUserDefaults(const WRKUserDefaults&) = delete;
    WRKUserDefaults& operator=(const WRKUserDefaults&) = delete;

    // The shared store in the kit's folder, made on first use.
    static WRKUserDefaults& standardUserDefaults();
    // Puts `store` in place of the shared one (nullptr: the next call makes the real one)
    // and returns the previous one. For tests.
    static std::unique_ptr<WRKUserDefaults> setStandardUserDefaults(
        std::unique_ptr<WRKUserDefaults> store);

    // The kit's folder for the main bundle.
    static std::filesystem::path generateDirectoryURL();
    // `base`, then the identifier when there is one, then "com.wreckord".
    static std::filesystem::path generateDirectoryURLForBaseURL(
        const std::filesystem::path& base,
        const std::optional<std::string>& hostAppBundleIdentifier);
    // The main bundle's identifier with every "/" as "_".
    static std::optional<std::string> getEscapedAppBundleIdentifier();
    // The user's application data folder: $XDG_DATA_HOME/talvor (~/.local/share/talvor).
    static std::filesystem::path applicationSupportDirectory();

    const std::filesystem::path& directoryURL() const { return directoryURL_; }
    const std::filesystem::path& fileURL() const { return fileURL_; }

    std::optional<PlistValue> objectForKey(const std::string& key) const;
    // The value when it is a text.
    std::optional<std::string> stringForKey(const std::string& key) const;
    // The value's truth when it is a number or a boolean; false otherwise.
    bool boolForKey(const std::string& key) const;
    // No value removes the key.
    void setObject(std::optional<PlistValue> value, const std::string& key);
    void setString(std::optional<std::string> value, const std::string& key);
    void setBool(bool value, const std::string& key);
    void removeObjectForKey(const std::string& key);
    void removeAllObjects();
    PlistDictionary dictionaryRepresentation() const;

    // Writes every value to the file; false when it could not (the values stay in memory).
    bool synchronize();
    // The file's dictionary; nothing when there is no readable file (see above for what
    // happens to an unreadable one).
    std::optional<PlistDictionary> loadDefaults();

    // Moves `keys` out of the application's standard defaults: each one that has a value
    // there is stored here; when at least one had a value this store is written, and only
    // once it is on disk are all `keys` removed from the application's defaults.
    void migrateFromNSUserDefaults(const std::vector<std::string>& keys);
    // The value of `key`; when this store has none, the application's value, moved here as
    // above. Nothing for no key.
    std::optional<PlistValue> objectForKeyByMigratingFromNSUserDefaults(
        const std::optional<std::string>& key);

  private:
    void logFailureOnce(const std::string& line);
    std::filesystem::path asideName(const char* tag) const;

    std::filesystem::path directoryURL_;
    std::filesystem::path fileURL_;
    mutable std::mutex accessMutex_;  // guards dataDictionary_ and changes_
    PlistDictionary dataDictionary_;
    std::uint64_t changes_ = 0;  // counts the changes of dataDictionary_
    std::mutex ioMutex_;         // carries every file operation; never takes accessMutex_
    // The count of changes the file holds: a snapshot older than that is not written.
    std::optional<std::uint64_t> writtenChanges_;
    bool failureLogged_ = false;
    // The file could neither be read nor moved aside: writing would destroy it.
    bool keepFileUntouched_ = false;
};

}  // namespace talvor::kit
