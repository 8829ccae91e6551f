#include "kit/KitPaths.h"

#include <cstdlib>

namespace talvor::kit {

std::filesystem::path userCachesFolder() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && *cache == '/') {
        return std::filesystem::path(cache) / "talvor";
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr && *home != '\0' ? home : "/tmp") / ".cache" /
           "talvor";
}

}  // namespace talvor::kit
