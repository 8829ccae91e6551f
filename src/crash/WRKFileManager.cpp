#include "crash/WRKFileManager.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "kit/KitLog.h"
#include "kit/MainBundle.h"

namespace talvor::crash {
namespace fs = std::filesystem;
namespace {

constexpr fs::perms kFolderPermissions = fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec;

bool isHidden(const fs::path& path) {
    const std::string name = path.filename().string();
    return name.empty() || name.front() == '.';
}

// Renames without ever replacing what is at `to`.
bool renameNoReplace(const fs::path& from, const fs::path& to, std::string& error) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno == EINVAL || errno == ENOSYS) {  // a file system without the flag
        std::error_code ec;
        if (fs::exists(fs::symlink_status(to, ec))) {
            error = std::strerror(EEXIST);
            return false;
        }
        if (std::rename(from.c_str(), to.c_str()) == 0) {
            return true;
        }
    }
    error = std::strerror(errno);
    return false;
}

}  // namespace

WRKFileManager::WRKFileManager(const fs::path& cachesFolder, std::string pathNamespace)
    : pathNamespace_(std::move(pathNamespace)),
      rootPath_(cachesFolder / "com.wreckord.data" / pathNamespace_) {}

fs::path WRKFileManager::cachesFolder() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && *cache == '/') {
        return fs::path(cache) / "talvor";
    }
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr && *home != '\0' ? home : "/tmp") / ".cache" / "talvor";
}

WRKFileManager WRKFileManager::standard() {
    return WRKFileManager(cachesFolder(), kit::MainBundle::main()->bundleIdentifier().value_or(""));
}

bool WRKFileManager::createDirectoryAtPath(const fs::path& path) const {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        return true;
    }
    // Each new folder, intermediate ones included, gets rwxr-xr-x.
    fs::path partial;
    for (const fs::path& part : path) {
        partial /= part;
        if (fs::is_directory(partial, ec)) {
            continue;
        }
        if (!fs::create_directory(partial, ec) && !fs::is_directory(partial)) {
            kit::log("[FileManager] Unable to create directory " + path.string() + ": " +
                     (ec ? ec.message() : std::string("not a folder")));
            return false;
        }
        fs::permissions(partial, kFolderPermissions, ec);
    }
    return true;
}

bool WRKFileManager::removeItemAtPath(const fs::path& path) const {
    std::error_code ec;
    if (fs::remove_all(path, ec) == static_cast<std::uintmax_t>(-1) || ec) {
        kit::log("[FileManager] Failed to remove file '" + path.string() + "' : " + ec.message());
        return false;
    }
    return true;
}

namespace {

constexpr std::string_view kDiscardedSuffix = ".discarded";

}  // namespace

bool WRKFileManager::discardItemAtPath(const fs::path& path) const {
    const fs::path hidden =
        path.parent_path() / ("." + path.filename().string() + std::string(kDiscardedSuffix));
    std::error_code ec;
    fs::remove_all(hidden, ec);  // an earlier removal of the same name that was cut short
    fs::rename(path, hidden, ec);
    if (ec) {
        kit::log("[FileManager] Failed to remove file '" + path.string() + "' : " + ec.message());
        return false;
    }
    return removeItemAtPath(hidden);
}

void WRKFileManager::removeDiscardedItemsInDirectory(const fs::path& folder) const {
    std::vector<fs::path> left;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (isHidden(it->path()) && it->path().filename().string().ends_with(kDiscardedSuffix)) {
            left.push_back(it->path());
        }
    }
    for (const fs::path& path : left) {
        removeItemAtPath(path);
    }
}

bool WRKFileManager::removeContentsOfDirectoryAtPath(const fs::path& path) const {
    bool all = true;
    enumerateFilesInDirectory(path, [&](const fs::path& entry, const std::string&) {
        all = removeItemAtPath(entry) && all;
    });
    return all;
}

bool WRKFileManager::moveItemAtPath(const fs::path& path, const fs::path& folder) const {
    if (path.empty() || folder.empty()) {
        kit::log("[FileManager] Failed to move file, inputs invalid");
        return false;
    }
    std::string error;
    if (!renameNoReplace(path, folder / path.filename(), error)) {
        kit::log("[FileManager] Failed to move file: " + path.string() + ": " + error);
        return false;
    }
    return true;
}

void WRKFileManager::enumerateFilesInDirectory(
    const fs::path& folder,
    const std::function<void(const fs::path&, const std::string&)>& block) const {
    for (const fs::path& entry : contentsOfDirectory(folder)) {
        std::string extension = entry.extension().string();
        if (!extension.empty()) {
            extension.erase(0, 1);
        }
        block(entry, extension);
    }
}

bool WRKFileManager::moveItemsFromDirectory(const fs::path& source, const fs::path& target) const {
    bool all = true;
    enumerateFilesInDirectory(source, [&](const fs::path& entry, const std::string&) {
        if (all) {
            all = moveItemAtPath(entry, target);
        }
    });
    return all;
}

std::optional<std::uint64_t> WRKFileManager::fileSizeAtPath(const fs::path& path) const {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        kit::log("[Client] Unable to read file size: " + ec.message());
        return std::nullopt;
    }
    return size;
}

std::vector<fs::path> WRKFileManager::contentsOfDirectory(const fs::path& folder) const {
    std::vector<fs::path> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!isHidden(it->path())) {
            entries.push_back(it->path());
        }
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::vector<fs::path> WRKFileManager::activePathContents() const {
    return contentsOfDirectory(activePath());
}

std::vector<fs::path> WRKFileManager::processingPathContents() const {
    return contentsOfDirectory(processingPath());
}

std::vector<fs::path> WRKFileManager::preparedPathContents() const {
    return contentsOfDirectory(preparedPath());
}

bool WRKFileManager::prepareForNewLaunch() const {
    return createDirectoryAtPath(activePath()) && createDirectoryAtPath(processingPath()) &&
           createDirectoryAtPath(preparedPath());
}

std::optional<fs::path> WRKFileManager::setupNewPathForExecutionIdentifier(
    const std::string& identifier) const {
    if (identifier.empty() || identifier.find('/') != std::string::npos || identifier[0] == '.') {
        kit::log("[FileManager] Unable to create directory for execution identifier \"" +
                 identifier + "\"");
        return std::nullopt;
    }
    fs::path path = activePath() / identifier;
    if (!createDirectoryAtPath(path)) {
        return std::nullopt;
    }
    return path;
}

void WRKFileManager::removeLegacyDirectories() const {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(rootPath_ / "sendable", ec))) {
        return;
    }
    if (!removeItemAtPath(rootPath_)) {
        kit::log("[Wreckord:FileManager] Unable to remove legacy directory structure " +
                 rootPath_.string());
        return;
    }
    kit::log("[Wreckord:FileManager] Removed legacy structure at " + rootPath_.string());
}

bool WRKFileManager::moveProcessingContentsToPrepared() const {
    return moveItemsFromDirectory(processingPath(), preparedPath());
}

bool WRKFileManager::movePendingToProcessing() const {
    return moveItemsFromDirectory(pendingPath(), processingPath());
}

bool WRKFileManager::removeContentsOfProcessingPath() const {
    return removeContentsOfDirectoryAtPath(processingPath());
}

bool WRKFileManager::removeContentsOfPendingPath() const {
    return removeContentsOfDirectoryAtPath(pendingPath());
}

bool WRKFileManager::removeContentsOfAllPaths() const {
    bool all = removeContentsOfDirectoryAtPath(processingPath());
    all = removeContentsOfDirectoryAtPath(pendingPath()) && all;
    all = removeContentsOfDirectoryAtPath(preparedPath()) && all;
    all = removeContentsOfDirectoryAtPath(activePath()) && all;
    return all;
}

}  // namespace talvor::crash
