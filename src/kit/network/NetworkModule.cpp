#include "kit/network/NetworkModule.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "kit/KitLog.h"

namespace talvor::kit::net {
namespace {

namespace fs = std::filesystem;

// Beside the program as installed (bin/ and lib/ side by side), then where the build put it
// (programs and tests run from the build tree), then the installed place itself.
std::vector<std::string> modulePlaces() {
    if (const char* chosen = std::getenv("TALVOR_NETWORK_MODULE");
        chosen != nullptr && *chosen != '\0') {
        return {chosen};
    }
    std::vector<std::string> places;
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        places.push_back((program.parent_path() / ".." / TALVOR_INSTALL_LIBDIR / "talvor" /
                          TALVOR_NETWORK_MODULE_NAME)
                             .lexically_normal()
                             .string());
    }
    places.emplace_back(TALVOR_NETWORK_MODULE_BUILD_PATH);
    places.emplace_back(TALVOR_INSTALL_FULL_LIBDIR "/talvor/" TALVOR_NETWORK_MODULE_NAME);
    return places;
}

const NetworkModule* load() {
    std::string failures;
    const std::vector<std::string> places = modulePlaces();
    for (const std::string& place : places) {
        std::error_code error;
        if (!fs::exists(place, error)) {
            continue;
        }
        // Never closed: transfers may still be ending while the process exits.
        void* module = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            const char* why = dlerror();
            failures += (failures.empty() ? "" : "; ") + std::string(why != nullptr ? why : place);
            continue;
        }
        if (auto entry = reinterpret_cast<NetworkModuleEntry>(dlsym(module, kNetworkModuleEntry))) {
            return entry();
        }
        failures += (failures.empty() ? "" : "; ") + place + " has no " + kNetworkModuleEntry;
    }
    if (failures.empty()) {
        failures = "none of";
        for (const std::string& place : places) {
            failures += " " + place;
        }
    }
    log(KitLogLevel::Error, "No network module (" + failures + "): the kit's network is off");
    return nullptr;
}

}  // namespace

std::string networkModulePath() {
    for (const std::string& place : modulePlaces()) {
        std::error_code error;
        if (fs::exists(place, error)) {
            return place;
        }
    }
    return {};
}

const NetworkModule* networkModule() {
    static const NetworkModule* const module = load();
    return module;
}

}  // namespace talvor::kit::net
