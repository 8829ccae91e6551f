#include "kit/TLYLogger.h"

#include <string>

#include "kit/KitLog.h"

namespace talvor::kit {

TLYLogger& TLYLogger::sharedLogger() {
    static TLYLogger logger;
    return logger;
}

void TLYLogger::log(std::string_view line) const {
    if (debugMode()) {
        kit::log("[Tally] " + std::string(line));
    }
}

void TLYLogger::logWithLabel(std::string_view label, std::string_view line) const {
    if (debugMode()) {
        kit::log("[Tally:" + std::string(label) + "] " + std::string(line));
    }
}

}  // namespace talvor::kit
