#include "kit/Trellis.h"

#include <utility>

#include "kit/KitLog.h"

namespace talvor::kit {
namespace {

constexpr std::string_view kCalledMultipleTimes =
    "[Trellis] [Trellis +with] called multiple times. Only the first call is honored, please "
    "pass all kits you wish to initialize";
constexpr std::string_view kAPIKeyNil =
    "[Trellis] Trellis API Key is nil! Trellis won't work unless there is a valid API Key setup "
    "in Info.plist";
constexpr std::string_view kNetworkOff =
    "[Trellis] No service endpoints are configured: the kit's network is off (no settings "
    "download, no application registration)";

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::unique_ptr<Trellis>& sharedSlot() {
    static std::unique_ptr<Trellis> sdk;
    return sdk;
}

}  // namespace

Trellis::Trellis(std::optional<InfoDictionary> infoDictionary) {
    if (infoDictionary) {
        trellisConfig_ = infoDictionary->dictionary("Trellis");
    }
}

Trellis& Trellis::sharedSDK() {
    std::lock_guard lock(sharedMutex());
    auto& sdk = sharedSlot();
    if (!sdk) {
        sdk = std::make_unique<Trellis>(mainBundleInfoDictionary());
    }
    return *sdk;
}

std::unique_ptr<Trellis> Trellis::setSharedSDK(std::unique_ptr<Trellis> sdk) {
    std::lock_guard lock(sharedMutex());
    return std::exchange(sharedSlot(), std::move(sdk));
}

Trellis& Trellis::with(const std::vector<const KitClass*>& kits) {
    Trellis& sdk = sharedSDK();
    bool firstCall = false;
    std::call_once(sdk.startOnce_, [&] {
        firstCall = true;
        sdk.startKits(kits);
    });
    if (!firstCall) {
        log(kCalledMultipleTimes);
    }
    return sdk;
}

void Trellis::startKits(const std::vector<const KitClass*>& kits) {
    // A missing key spends the one-time start: a later call cannot start the kits either.
    if (!APIKey()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        for (const KitClass* kit : kits) {
            if (kit != nullptr) {
                kitClasses_.push_back(kit);
            }
        }
    }
    for (const KitClass* kit : kitClasses()) {
        initializeKit(*kit);
    }
    onboardAppAndDownloadSettings();
}

void Trellis::initializeKit(const KitClass& kit) {
    if (kit.initializeIfNeeded) {
        kit.initializeIfNeeded();
    }
}

std::optional<std::string> Trellis::APIKey() {
    {
        std::lock_guard lock(mutex_);
        if (!apiKey_ && trellisConfig_) {
            apiKey_ = trellisConfig_->string("APIKey");
        }
        if (apiKey_) {
            return apiKey_;
        }
    }
    log(kAPIKeyNil);
    return std::nullopt;
}

std::vector<const KitClass*> Trellis::kitClasses() const {
    std::lock_guard lock(mutex_);
    return kitClasses_;
}

void Trellis::onboardAppAndDownloadSettings() {
    std::call_once(networkOffOnce_, [] { log(kNetworkOff); });
}

}  // namespace talvor::kit
