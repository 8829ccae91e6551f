#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace talvor::kit {

// Far above any file the kit reads (its store, Info.plist, /proc and /sys entries).
inline constexpr std::size_t kKitFileCap = 4 * 1024 * 1024;

// The bytes of the regular file at `path` (links followed) when it holds at most
// `maxBytes`; nullopt otherwise. Opened without blocking and checked on the descriptor, so
// a FIFO or a device in a file's place is refused at once, never read or waited on.
std::optional<std::string> readRegularFile(const std::filesystem::path& path,
                                           std::size_t maxBytes = kKitFileCap);

}  // namespace talvor::kit
