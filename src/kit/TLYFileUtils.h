#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>

// The analytics kit's folder helpers.
namespace talvor::kit {

struct TLYFileUtils {
    // Every entry of `directory` (not recursive; sub-folders included); empty, with a log
    // line, when it cannot be listed.
    static std::set<std::filesystem::path> allFilesInDirectory(
        const std::filesystem::path& directory);
    // The entries whose extension (without the dot) is `extension`.
    static std::set<std::filesystem::path> filesWithExtension(
        std::string_view extension, const std::filesystem::path& directory);
    // 0 when the attributes cannot be read.
    static std::uint64_t fileSizeAtURL(const std::filesystem::path& file);
    // Seconds since 1970 at which the file came to be: the earlier of its birth time (where
    // the file system keeps one) and its modification time. The kit stamps the files it
    // packages with its own clock, and a file restored from a backup keeps its older
    // modification time; tmpfs and some overlays keep no birth time at all.
    static double fileCreatedDateAtURL(const std::filesystem::path& file, double fallback);
    // Sets the modification time (seconds since 1970); false when it cannot.
    static bool setModificationDate(const std::filesystem::path& file, double seconds);
    // Writes `bytes` to a temporary file beside `file`, flushes it to disk and renames it over
    // `file`, so a crash leaves the old or the new content, never a mix.
    static bool writeAtomically(const std::filesystem::path& file, std::string_view bytes);
    // The extension without its dot ("" for none).
    static std::string extensionOf(const std::filesystem::path& file);
};

}  // namespace talvor::kit
