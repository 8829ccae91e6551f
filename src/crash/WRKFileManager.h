#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The folder tree in which each run keeps its crash record files:
//   <Caches>/com.wreckord.data/<bundle id>/v3/{active,pending,processing,prepared}
// Caches is $XDG_CACHE_HOME/talvor (~/.cache/talvor when unset). A run's folder is
// active/<execution id>. Entries whose names start with "." are never listed, moved or
// removed. Every failure is logged and answered with false or nullopt.
namespace talvor::crash {

class WRKFileManager {
  public:
    // A tree under `cachesFolder` for `pathNamespace` (the application's bundle identifier).
    WRKFileManager(const std::filesystem::path& cachesFolder, std::string pathNamespace);
    // The tree of the running application: the Caches folder above and the kit host's
    // bundle identifier.
    static WRKFileManager standard();
    // $XDG_CACHE_HOME/talvor, else $HOME/.cache/talvor.
    static std::filesystem::path cachesFolder();

    bool createDirectoryAtPath(const std::filesystem::path& path) const;
    bool removeItemAtPath(const std::filesystem::path& path) const;
    // Removes `path` so that no one ever finds it half removed: it is first renamed to a
    // hidden name beside it, then removed. `removeDiscardedItemsInDirectory` clears what an
    // interrupted removal left.
    bool discardItemAtPath(const std::filesystem::path& path) const;
    void removeDiscardedItemsInDirectory(const std::filesystem::path& folder) const;
    // Removes every visible entry; true only when all went.
    bool removeContentsOfDirectoryAtPath(const std::filesystem::path& path) const;
    // Moves `path` into `folder` under its own name; refuses to replace an existing item.
    bool moveItemAtPath(const std::filesystem::path& path,
                        const std::filesystem::path& folder) const;
    void enumerateFilesInDirectory(
        const std::filesystem::path& folder,
        const std::function<void(const std::filesystem::path& path, const std::string& extension)>&
            block) const;
    // Moves the visible entries one by one and stops at the first failure.
    bool moveItemsFromDirectory(const std::filesystem::path& source,
                                const std::filesystem::path& target) const;
    std::optional<std::uint64_t> fileSizeAtPath(const std::filesystem::path& path) const;
    // The full paths of the visible entries, sorted by name.
    std::vector<std::filesystem::path> contentsOfDirectory(
        const std::filesystem::path& folder) const;

    const std::string& pathNamespace() const { return pathNamespace_; }
    const std::filesystem::path& rootPath() const { return rootPath_; }
    std::filesystem::path structurePath() const { return rootPath_ / "v3"; }
    std::filesystem::path activePath() const { return structurePath() / "active"; }
    std::filesystem::path pendingPath() const { return structurePath() / "pending"; }
    std::filesystem::path processingPath() const { return structurePath() / "processing"; }
    std::filesystem::path preparedPath() const { return structurePath() / "prepared"; }
    std::vector<std::filesystem::path> activePathContents() const;
    std::vector<std::filesystem::path> processingPathContents() const;
    std::vector<std::filesystem::path> preparedPathContents() const;

    // Creates "active", "processing" and "prepared", in this order; stops at the first failure.
    bool prepareForNewLaunch() const;
    // Creates active/<identifier>; nullopt when it cannot be made.
    std::optional<std::filesystem::path> setupNewPathForExecutionIdentifier(
        const std::string& identifier) const;
    // Removes the whole root when an earlier layout's "sendable" marker is in it.
    void removeLegacyDirectories() const;
    bool moveProcessingContentsToPrepared() const;
    bool movePendingToProcessing() const;
    bool removeContentsOfProcessingPath() const;
    bool removeContentsOfPendingPath() const;
    // Empties processing, pending, prepared and active (all attempted).
    bool removeContentsOfAllPaths() const;

  private:
    std::string pathNamespace_;
    std::filesystem::path rootPath_;
};

}  // namespace talvor::crash
