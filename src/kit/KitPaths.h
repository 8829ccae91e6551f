#pragma once

#include <filesystem>

// Folders the kit keeps its files in.
namespace talvor::kit {

// The user's cache folder for this program: $XDG_CACHE_HOME/talvor (an absolute value only),
// else ~/.cache/talvor.
std::filesystem::path userCachesFolder();

}  // namespace talvor::kit
