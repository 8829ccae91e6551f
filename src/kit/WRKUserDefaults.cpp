#include "kit/WRKUserDefaults.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <system_error>
#include <utility>

#include "kit/ApplicationDefaults.h"
#include "kit/FileBytes.h"
#include "kit/KitLog.h"
#include "kit/MainBundle.h"

namespace talvor::kit {
namespace {

namespace fs = std::filesystem;

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::unique_ptr<WRKUserDefaults>& sharedSlot() {
    static std::unique_ptr<WRKUserDefaults> store;
    return store;
}

std::string timeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &utc);
    return text;
}

}  // namespace

WRKUserDefaults::WRKUserDefaults(fs::path directory)
    : directoryURL_(std::move(directory)), fileURL_(directoryURL_ / "WRKUserDefaults.plist") {
    auto loaded = loadDefaults();
    std::lock_guard lock(accessMutex_);
    dataDictionary_ = loaded ? std::move(*loaded) : PlistDictionary();
}

WRKUserDefaults& WRKUserDefaults::standardUserDefaults() {
    std::lock_guard lock(sharedMutex());
    auto& store = sharedSlot();
    if (!store) {
        store = std::make_unique<WRKUserDefaults>(generateDirectoryURL());
    }
    return *store;
}

std::unique_ptr<WRKUserDefaults> WRKUserDefaults::setStandardUserDefaults(
    std::unique_ptr<WRKUserDefaults> store) {
    std::lock_guard lock(sharedMutex());
    return std::exchange(sharedSlot(), std::move(store));
}

fs::path WRKUserDefaults::applicationSupportDirectory() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
        return fs::path(data) / "talvor";
    }
    const char* home = std::getenv("HOME");
    std::string homeDir = home != nullptr && *home != '\0' ? home : "";
    if (homeDir.empty()) {
        if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir) {
            homeDir = user->pw_dir;
        }
    }
    return fs::path(homeDir) / ".local/share/talvor";
}

fs::path WRKUserDefaults::generateDirectoryURL() {
    return generateDirectoryURLForBaseURL(applicationSupportDirectory(),
                                          getEscapedAppBundleIdentifier());
}

fs::path WRKUserDefaults::generateDirectoryURLForBaseURL(
    const fs::path& base, const std::optional<std::string>& hostAppBundleIdentifier) {
    fs::path directory = base;
    if (hostAppBundleIdentifier) {
        directory /= *hostAppBundleIdentifier;
    }
    return directory / "com.wreckord";
}

std::optional<std::string> WRKUserDefaults::getEscapedAppBundleIdentifier() {
    auto identifier = MainBundle::main()->bundleIdentifier();
    if (!identifier) {
        return std::nullopt;
    }
    std::replace(identifier->begin(), identifier->end(), '/', '_');
    return identifier;
}

std::optional<PlistValue> WRKUserDefaults::objectForKey(const std::string& key) const {
    std::lock_guard lock(accessMutex_);
    if (const PlistValue* value = find(dataDictionary_, key)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<std::string> WRKUserDefaults::stringForKey(const std::string& key) const {
    const auto value = objectForKey(key);
    if (!value || value->string() == nullptr) {
        return std::nullopt;
    }
    return *value->string();
}

bool WRKUserDefaults::boolForKey(const std::string& key) const {
    const auto value = objectForKey(key);
    return value && value->isNumber() && value->boolValue().value_or(false);
}

void WRKUserDefaults::setObject(std::optional<PlistValue> value, const std::string& key) {
    std::lock_guard lock(accessMutex_);
    ++changes_;
    if (value) {
        dataDictionary_.insert_or_assign(key, std::move(*value));
    } else {
        dataDictionary_.erase(key);
    }
}

void WRKUserDefaults::setString(std::optional<std::string> value, const std::string& key) {
    setObject(value ? std::optional<PlistValue>(std::move(*value)) : std::nullopt, key);
}

void WRKUserDefaults::setBool(bool value, const std::string& key) {
    setObject(PlistValue(value), key);
}

void WRKUserDefaults::removeObjectForKey(const std::string& key) {
    setObject(std::nullopt, key);
}

void WRKUserDefaults::removeAllObjects() {
    std::lock_guard lock(accessMutex_);
    ++changes_;
    dataDictionary_.clear();
}

PlistDictionary WRKUserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(accessMutex_);
    return dataDictionary_;
}

void WRKUserDefaults::logFailureOnce(const std::string& line) {
    if (!failureLogged_) {
        failureLogged_ = true;
        log(line);
    }
}

fs::path WRKUserDefaults::asideName(const char* tag) const {
    const std::string stem = fileURL_.string() + "." + tag + "-" + timeStamp();
    fs::path aside = stem;
    std::error_code error;
    for (int n = 2; fs::symlink_status(aside, error).type() != fs::file_type::not_found; ++n) {
        aside = stem + "-" + std::to_string(n);
    }
    return aside;
}

bool WRKUserDefaults::synchronize() {
    // The snapshot is taken before the file lock, so the two locks never nest.
    PlistDictionary snapshot;
    std::uint64_t changes = 0;
    {
        std::lock_guard lock(accessMutex_);
        snapshot = dataDictionary_;
        changes = changes_;
    }
    std::lock_guard io(ioMutex_);
    // Another thread has written a newer snapshot meanwhile: ours would undo its changes.
    if (writtenChanges_ && *writtenChanges_ > changes) {
        return true;
    }
    if (keepFileUntouched_) {
        logFailureOnce("[Trellis:UserDefaults] Unable to open file for writing at path " +
                       fileURL_.string());
        return false;
    }
    std::error_code error;
    if (!fs::exists(directoryURL_, error)) {
        fs::create_directories(directoryURL_, error);
        if (error) {
            // Writing cannot succeed either: one line says why.
            logFailureOnce("[Trellis:UserDefaults] failed to create directory with error:" +
                           error.message());
            return false;
        }
    }
    const auto xml = PropertyList::toXml(PlistValue(snapshot));
    std::string why;
    if (!xml || !PropertyList::writeFileAtomically(fileURL_, *xml, &why)) {
        logFailureOnce("[Trellis:UserDefaults] Unable to open file for writing at path " +
                       fileURL_.string());
        return false;
    }
    writtenChanges_ = changes;
    failureLogged_ = false;
    return true;
}

std::optional<PlistDictionary> WRKUserDefaults::loadDefaults() {
    std::lock_guard io(ioMutex_);
    std::error_code error;
    const fs::file_status status = fs::status(fileURL_, error);
    if (status.type() == fs::file_type::directory) {
        // Whatever that folder holds is kept: it is moved aside, not removed.
        const fs::path aside = asideName("conflict");
        fs::rename(fileURL_, aside, error);
        if (error) {
            log("[Trellis:UserDefaults] error moving conflicting directory aside: {error = " +
                error.message() + "}");
            keepFileUntouched_ = true;
        } else {
            log("[Trellis:UserDefaults] found directory where file expected. Moved it aside to " +
                aside.string());
        }
        return std::nullopt;
    }
    if (status.type() == fs::file_type::not_found) {
        return std::nullopt;
    }
    std::optional<PlistDictionary> values;
    if (const auto bytes = readRegularFile(fileURL_)) {
        if (auto root = PropertyList::parseXml(*bytes); root && root->dictionary()) {
            values = *root->dictionary();
        }
    }
    if (values) {
        return values;
    }
    // Moved aside, so that the next write cannot overwrite what may still be recovered.
    const fs::path aside = asideName("corrupt");
    fs::rename(fileURL_, aside, error);
    if (error) {
        keepFileUntouched_ = true;
        log("[Trellis:UserDefaults] failed to read existing UserDefaults file; it is left as it "
            "is and nothing is written over it: " +
            error.message());
    } else {
        log("[Trellis:UserDefaults] failed to read existing UserDefaults file; moved it aside to " +
            aside.string());
    }
    return std::nullopt;
}

void WRKUserDefaults::migrateFromNSUserDefaults(const std::vector<std::string>& keys) {
    const auto appDefaults = ApplicationDefaults::standard();
    bool found = false;
    for (const std::string& key : keys) {
        if (auto value = appDefaults->objectForKey(key)) {
            setObject(std::move(value), key);
            found = true;
        }
    }
    // The application's copies go only once ours are on disk.
    if (found && synchronize()) {
        for (const std::string& key : keys) {
            appDefaults->removeObjectForKey(key);
        }
        appDefaults->synchronize();
    }
}

std::optional<PlistValue> WRKUserDefaults::objectForKeyByMigratingFromNSUserDefaults(
    const std::optional<std::string>& key) {
    if (!key) {
        return std::nullopt;
    }
    if (auto value = objectForKey(*key)) {
        return value;
    }
    const auto appDefaults = ApplicationDefaults::standard();
    auto value = appDefaults->objectForKey(*key);
    if (!value) {
        return std::nullopt;
    }
    setObject(value, *key);
    if (synchronize()) {
        appDefaults->removeObjectForKey(*key);
        appDefaults->synchronize();
    }
    return value;
}

}  // namespace talvor::kit
