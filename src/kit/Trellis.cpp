#include "kit/Trellis.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <utility>

#include "kit/AdsKit.h"
#include "kit/DispatchQueue.h"
#include "kit/InfoDictionary.h"
#include "kit/KitConsent.h"
#include "kit/KitKeys.h"
#include "kit/KitLog.h"
#include "kit/NotificationCenter.h"
#include "kit/TRLEncoding.h"

namespace talvor::kit {
namespace {

constexpr std::string_view kHostClassName = "Trellis";

constexpr std::string_view kCalledMultipleTimes =
    "[Trellis] [Trellis +with] called multiple times. Only the first call is honored, please "
    "pass all kits you wish to initialize";
constexpr std::string_view kAPIKeyNil =
    "[Trellis] Trellis API Key is nil! Trellis won't work unless there is a valid API Key setup "
    "in Info.plist";
constexpr std::string_view kNetworkOff =
    "[Trellis] No service endpoints are configured: the kit's network is off (no settings "
    "download, no application registration)";

constexpr std::string_view kSharingOff =
    "[Trellis] Sharing data with the service is switched off: the kit sends nothing";

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::unique_ptr<Trellis>& sharedSlot() {
    static std::unique_ptr<Trellis> sdk;
    return sdk;
}

std::mutex& observerMutex() {
    static std::mutex mutex;
    return mutex;
}

std::optional<NotificationCenter::Token>& nimbusObserver() {
    static std::optional<NotificationCenter::Token> token;
    return token;
}

std::string inQuotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

bool contains(const std::vector<const KitClass*>& kits, const KitClass* kit) {
    return std::find(kits.begin(), kits.end(), kit) != kits.end();
}

std::string describe(const std::map<std::string, std::string>& versions) {
    std::string text = "{";
    for (const auto& [identifier, version] : versions) {
        text += (text.size() > 1 ? ", " : "") + inQuotes(identifier) + ": " + inQuotes(version);
    }
    return text + "}";
}

std::string executionIdentifierFrom(std::string uuid) {
    std::erase(uuid, '-');
    std::transform(uuid.begin(), uuid.end(), uuid.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return uuid;
}

}  // namespace

Trellis::Trellis(std::shared_ptr<const MainBundle> bundle, WRKUserDefaults& store,
                 KitRegistry& registry)
    : bundle_(std::move(bundle)), registry_(registry) {
    const auto stored = store.objectForKeyByMigratingFromNSUserDefaults(keys::TRLInstallIDKey);
    if (stored && stored->string() != nullptr && !stored->string()->empty()) {
        installID_ = *stored->string();
    } else {
        isFirstInstall_ = true;
        installID_ = TRLGenerateUUID();
        store.setObject(PlistValue(installID_), keys::TRLInstallIDKey);
        store.synchronize();
    }
    executionIdentifier_ = executionIdentifierFrom(TRLGenerateUUID());
    applicationIdentifierModel_ = TRLApplicationIdentiferModel::initWithInstallID(installID_);
    if (!applicationIdentifierModel_) {
        log("[Trellis] The executable carries no build-id: this build has no instance "
            "identifier");
    }
    settingsAndOnboardingManager_ =
        TRLSettingsOnboardingManager::initWithApplicationIdentifierModel(
            applicationIdentifierModel_);
    settingsAndOnboardingManager_->setAdvertisingTokenSource([this] { return advertisingToken(); });
}

Trellis::~Trellis() {
    // A download under way may outlive the host; it must not ask it for the token then.
    settingsAndOnboardingManager_->setAdvertisingTokenSource({});
}

Trellis& Trellis::sharedSDK() {
    std::lock_guard lock(sharedMutex());
    auto& sdk = sharedSlot();
    if (!sdk) {
        sdk = std::make_unique<Trellis>(MainBundle::main(), WRKUserDefaults::standardUserDefaults(),
                                        KitRegistry::shared());
    }
    return *sdk;
}

std::unique_ptr<Trellis> Trellis::setSharedSDK(std::unique_ptr<Trellis> sdk) {
    std::lock_guard lock(sharedMutex());
    return std::exchange(sharedSlot(), std::move(sdk));
}

Trellis& Trellis::with(const std::vector<KitRef>& kits) {
    Trellis& sdk = sharedSDK();
    bool firstCall = false;
    // An exception leaves the guard unspent: a corrected call may start the kits later.
    std::call_once(sdk.startOnce_, [&] {
        firstCall = true;
        sdk.startKits(kits);
    });
    if (!firstCall) {
        log(kCalledMultipleTimes);
    }
    return sdk;
}

void Trellis::startKits(const std::vector<KitRef>& kits) {
    // A missing key spends the one-time start: a later call cannot start the kits either.
    if (!APIKey()) {
        return;
    }
    std::vector<const KitClass*> list = convertToKitClassesIfNeeded(kits);
    list = validateTRLKitConformance(list);
    list = kitClassesByAddingPhonekeyIfFound(list);
    list = kitClassesByAddingTallyIfFound(list);
    list = kitClassesByEnsuringScreentrailIsFirst(list);
    list = kitClassesByAddingAdsIfFound(list);
    {
        std::lock_guard lock(mutex_);
        kitClasses_ = list;
    }
    for (const KitClass* kit : list) {
        initializeKit(*kit);
    }
    onboardAppAndDownloadSettings();
}

void Trellis::load() {
    std::lock_guard lock(observerMutex());
    if (nimbusObserver()) {
        return;
    }
    nimbusObserver() = NotificationCenter::defaultCenter().addObserver(
        keys::NMBAppReadyToConfigureSDKNotification, [] { nimbusReadyToConfigure(); });
}

void Trellis::nimbusReadyToConfigure() {
    {
        std::lock_guard lock(observerMutex());
        if (!nimbusObserver()) {
            return;
        }
        NotificationCenter::defaultCenter().removeObserver(*nimbusObserver());
        nimbusObserver().reset();
    }
    Trellis& sdk = sharedSDK();
    if (sdk.bundle_->objectForInfoDictionaryKey("Trellis") != nullptr ||
        sdk.installationMode() == Configured) {
        return;
    }
    sdk.setInstallationMode(Nimbus);
    const PlistValue* enabled =
        sdk.bundle_->objectForInfoDictionaryKey(keys::NimbusWreckordCollectionEnabled);
    if (enabled != nullptr && (enabled->string() != nullptr || enabled->isNumber()) &&
        enabled->boolValue() == false) {
        std::string line = "[Trellis] Wreckord initialization disabled via Info.plist key ";
        line.append(keys::NimbusWreckordCollectionEnabled);
        sdk.debugLog(line);
        return;
    }
    const KitClass* wreckord = sdk.registry_.find("Wreckord");
    if (wreckord == nullptr) {
        log("[Trellis] [" + std::string(kHostClassName) +
            "] Attempting to initialize Wreckord via Nimbus but could not find Wreckord.");
        return;
    }
    // The poster is the other library: a refusal stops here, in the log.
    try {
        with({wreckord});
    } catch (const TRLException& e) {
        log(e.reason());
    }
}

std::optional<PlistDictionary> Trellis::configurationDictionaryForKitClass(const KitClass& kit) {
    const PlistDictionary config = sharedSDK().trellisConfig();
    const PlistValue* kits = find(config, "Kits");
    if (kits == nullptr || kits->array() == nullptr) {
        return std::nullopt;
    }
    for (const PlistValue& entry : *kits->array()) {
        const PlistDictionary* fields = entry.dictionary();
        if (fields == nullptr) {
            continue;
        }
        const PlistValue* name = find(*fields, "KitName");
        if (name == nullptr || name->string() == nullptr || *name->string() != kit.name) {
            continue;
        }
        const PlistValue* info = find(*fields, "KitInfo");
        return info != nullptr && info->dictionary() != nullptr ? *info->dictionary()
                                                                : PlistDictionary();
    }
    return std::nullopt;
}

std::optional<PlistDictionary> Trellis::configurationDictionaryForKit(const KitObject& kit) {
    return configurationDictionaryForKitClass(kit.kitClass());
}

void Trellis::initializeKit(const KitClass& kit) {
    if (kit.adoptsTRLKit) {
        if (kit.initializeIfNeeded) {
            kit.initializeIfNeeded();
        }
        return;
    }
    if (kit.sharedInstance) {
        if (LegacyKitInstance* instance = kit.sharedInstance(); instance && instance->start) {
            instance->start();
        }
    }
}

std::vector<const KitClass*> Trellis::convertToKitClassesIfNeeded(const std::vector<KitRef>& kits) {
    std::vector<const KitClass*> classes;
    classes.reserve(kits.size());
    for (const KitRef& kit : kits) {
        classes.push_back(kit.kitClass());
    }
    return classes;
}

std::vector<const KitClass*> Trellis::validateTRLKitConformance(
    const std::vector<const KitClass*>& kits) {
    for (const KitClass* kit : kits) {
        const std::string name = kit != nullptr ? kit->name : "(null)";
        if (kit != nullptr && kit->adoptsTRLKit) {
            continue;
        }
        if (kit != nullptr && kit->sharedInstance) {
            log("[" + std::string(kHostClassName) + "] Please upgrade to the latest version of " +
                inQuotes(name));
            const LegacyKitInstance* instance = kit->sharedInstance();
            if (instance != nullptr && instance->start && instance->bundleIdentifier &&
                instance->version) {
                continue;
            }
        }
        throw TRLException("[" + std::string(kHostClassName) + "] It appears that " +
                           inQuotes(name) +
                           " is not a valid Trellis Kit. Please make sure you only pass Trellis "
                           "Kits to [Trellis with:].");
    }
    return kits;
}

std::vector<const KitClass*> Trellis::kitClassesByAddingPhonekeyIfFound(
    const std::vector<const KitClass*>& kits) {
    std::vector<const KitClass*> result = kits;
    const KitClass* phonekey = sharedSDK().registry_.find("Phonekey");
    if (phonekey != nullptr && !contains(result, phonekey)) {
        result.push_back(phonekey);
    }
    return result;
}

std::vector<const KitClass*> Trellis::kitClassesByAddingTallyIfFound(
    const std::vector<const KitClass*>& kits) {
    std::vector<const KitClass*> result = kits;
    const KitRegistry& registry = sharedSDK().registry_;
    const KitClass* wreckord = registry.find("Wreckord");
    const KitClass* tally = registry.find("Tally");
    if (wreckord != nullptr && tally != nullptr && contains(result, wreckord) &&
        tally->adoptsTRLKit && !contains(result, tally)) {
        result.push_back(tally);
    }
    return result;
}

std::vector<const KitClass*> Trellis::kitClassesByEnsuringScreentrailIsFirst(
    const std::vector<const KitClass*>& kits) {
    std::vector<const KitClass*> result = kits;
    const KitClass* screentrail = sharedSDK().registry_.find("Screentrail");
    if (const auto it = std::find(result.begin(), result.end(), screentrail);
        screentrail != nullptr && it != result.end()) {
        std::rotate(result.begin(), it, it + 1);
    }
    return result;
}

std::vector<const KitClass*> Trellis::kitClassesByAddingAdsIfFound(
    const std::vector<const KitClass*>& kits) {
    std::vector<const KitClass*> result = kits;
    if (sharedSDK().registry_.find("NMBMobileAds") != nullptr) {
        result.push_back(&KitClass::of<AdsKit>());
    }
    return result;
}

std::optional<std::string> Trellis::APIKey() {
    std::lock_guard lock(apiKeyMutex_);
    if (apiKey_) {
        return apiKey_;
    }
    if (nimbusMode()) {
        const auto path = bundle_->pathForResource("NimbusService-Info", "plist");
        if (!path) {
            log("[Trellis] NimbusService-Info.plist path unavailable");
            return std::nullopt;
        }
        const auto info = InfoDictionary::fromFile(*path);
        const auto appID = info ? info->string("NIMBUS_APP_ID") : std::nullopt;
        if (!appID || appID->empty()) {
            log("[Trellis] NimbusService-Info.plist key NIMBUS_APP_ID unavailable");
            return std::nullopt;
        }
        apiKey_ = FAB256HashNSData(*appID).substr(0, 40);
        return apiKey_;
    }
    const PlistDictionary config = trellisConfig();
    if (const PlistValue* key = find(config, "APIKey"); key != nullptr && key->string()) {
        apiKey_ = *key->string();
        return apiKey_;
    }
    log(kAPIKeyNil);
    return std::nullopt;
}

void Trellis::setAPIKey(std::optional<std::string> key) {
    std::lock_guard lock(apiKeyMutex_);
    apiKey_ = std::move(key);
}

PlistDictionary Trellis::trellisConfig() {
    std::lock_guard lock(configMutex_);
    if (!trellisConfig_) {
        trellisConfig_ = nimbusMode() ? PlistDictionary()
                                      : validTrellisConfigFromInfoPlist(bundle_->infoDictionary());
    }
    return *trellisConfig_;
}

PlistDictionary Trellis::validTrellisConfigFromInfoPlist(const PlistDictionary* info) {
    const std::string host(kHostClassName);
    if (info == nullptr) {
        throw TRLException("[" + host + "] Cannot find Info.plist.");
    }
    const PlistValue* trellis = find(*info, "Trellis");
    if (trellis == nullptr || trellis->dictionary() == nullptr) {
        throw TRLException("[" + host + "] Value of Info.plist key " + inQuotes("Trellis") +
                           " must be a NSDictionary.");
    }
    const PlistDictionary& config = *trellis->dictionary();
    if (const PlistValue* kits = find(config, "Kits"); kits == nullptr || !kits->array()) {
        log("[Trellis] [" + host + "] Value of Info.plist[" + host +
            "][Kits] should be a NSArray.");
    }
    if (const PlistValue* key = find(config, "APIKey"); key == nullptr || !key->string()) {
        throw TRLException("[" + host + "] Value of Info.plist[" + host +
                           "][APIKey] must contain your " + host + " API Key.");
    }
    setInstallationMode(Configured);
    return config;
}

std::optional<JsonValue> Trellis::settings() const {
    return settingsAndOnboardingManager_->settingsModel().settingsDictionary();
}

std::optional<std::string> Trellis::instanceIdentifier() const {
    if (!applicationIdentifierModel_) {
        return std::nullopt;
    }
    return applicationIdentifierModel_->instanceIdentifier();
}

std::optional<std::string> Trellis::advertisingToken() const {
    std::lock_guard lock(mutex_);
    return advertisingToken_;
}

void Trellis::setAdvertisingToken(std::optional<std::string> token) {
    std::lock_guard lock(mutex_);
    advertisingToken_ = std::move(token);
}

std::vector<const KitClass*> Trellis::kitClasses() const {
    std::lock_guard lock(mutex_);
    return kitClasses_;
}

std::map<std::string, std::string> Trellis::kitVersionsByKitBundleIdentifier() const {
    std::map<std::string, std::string> versions;
    for (const KitClass* kit : kitClasses()) {
        if (kit->adoptsTRLKit) {
            versions.insert_or_assign(kit->bundleIdentifier(), kit->kitDisplayVersion());
        } else if (LegacyKitInstance* instance =
                       kit->sharedInstance ? kit->sharedInstance() : nullptr;
                   instance && instance->bundleIdentifier && instance->version) {
            versions.insert_or_assign(instance->bundleIdentifier(), instance->version());
        }
    }
    versions.insert_or_assign(keys::TRLCoreKitBundleIdentifier, keys::TRLCoreKitDisplayVersion);
    debugLog("[Trellis] Initialized with kit versions: " + describe(versions));
    return versions;
}

void Trellis::onboardAppAndDownloadSettings() {
    auto versions = kitVersionsByKitBundleIdentifier();
    const auto endpoint =
        TRLSettingsOnboardingManager::valueForConfigurationKey(keys::TRLSettingsEndpointKey);
    if (!endpoint || endpoint->empty()) {
        std::call_once(networkOffOnce_, [] { log(kNetworkOff); });
        return;
    }
    if (!TRLDataSharingAllowed()) {
        std::call_once(networkOffOnce_, [] { log(kSharingOff); });
        return;
    }
    auto key = APIKey();
    if (!key) {
        return;
    }
    bool first = false;
    std::call_once(settingsOnce_, [&first] { first = true; });
    if (!first) {
        return;  // one exchange per run
    }
    // Off the caller's thread (the application's start-up): the requests and file work
    // never hold it up.
    std::weak_ptr<TRLSettingsOnboardingManager> manager = settingsAndOnboardingManager_;
    DispatchQueue::global().async(
        [manager, key = std::move(*key), versions = std::move(versions)]() mutable {
            if (const auto alive = manager.lock()) {
                alive->beginSettingsAndOnboardingOperationsWithAPIKey(std::move(key),
                                                                      std::move(versions));
            }
        });
}

void Trellis::debugLog(std::string_view line) const {
    if (debug()) {
        log(line);
    }
}

}  // namespace talvor::kit
