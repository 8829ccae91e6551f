#include "kit/MainBundle.h"

#include <mutex>
#include <system_error>
#include <utility>

#include "kit/InfoDictionary.h"

namespace talvor::kit {
namespace {

std::mutex& bundleMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<const MainBundle>& bundleSlot() {
    static std::shared_ptr<const MainBundle> bundle;
    return bundle;
}

PlistDictionary& baseInfo() {
    static PlistDictionary info;
    return info;
}

std::shared_ptr<const MainBundle> loadMainBundle(const PlistDictionary& base) {
    const auto path = mainBundleInfoPlistPath();
    std::optional<PlistDictionary> info;
    if (!base.empty()) {
        info = base;
    }
    if (path) {
        if (auto file = InfoDictionary::fromFile(*path)) {
            if (!info) {
                info.emplace();
            }
            for (const auto& [key, value] : file->values()) {
                info->insert_or_assign(key, value);
            }
        }
    }
    return std::make_shared<const MainBundle>(std::move(info),
                                              path ? path->parent_path() : std::filesystem::path());
}

}  // namespace

MainBundle::MainBundle(std::optional<PlistDictionary> info, std::filesystem::path resourceFolder)
    : info_(std::move(info)), resourceFolder_(std::move(resourceFolder)) {}

std::shared_ptr<const MainBundle> MainBundle::main() {
    std::lock_guard lock(bundleMutex());
    auto& bundle = bundleSlot();
    if (!bundle) {
        bundle = loadMainBundle(baseInfo());
    }
    return bundle;
}

std::shared_ptr<const MainBundle> MainBundle::setMain(std::shared_ptr<const MainBundle> bundle) {
    std::lock_guard lock(bundleMutex());
    return std::exchange(bundleSlot(), std::move(bundle));
}

void MainBundle::setBaseInfo(PlistDictionary info) {
    std::lock_guard lock(bundleMutex());
    baseInfo() = std::move(info);
}

const PlistValue* MainBundle::objectForInfoDictionaryKey(const std::string& key) const {
    return info_ ? find(*info_, key) : nullptr;
}

std::optional<std::string> MainBundle::bundleIdentifier() const {
    const PlistValue* value = objectForInfoDictionaryKey("CFBundleIdentifier");
    if (value == nullptr || value->string() == nullptr) {
        return std::nullopt;
    }
    return *value->string();
}

std::optional<std::filesystem::path> MainBundle::pathForResource(const std::string& name,
                                                                 const std::string& type) const {
    if (resourceFolder_.empty()) {
        return std::nullopt;
    }
    const std::filesystem::path path = resourceFolder_ / (type.empty() ? name : name + "." + type);
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::nullopt;
    }
    return path;
}

}  // namespace talvor::kit
