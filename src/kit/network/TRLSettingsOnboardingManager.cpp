#include "kit/network/TRLSettingsOnboardingManager.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <utility>

#include "kit/KitKeys.h"
#include "kit/KitLog.h"
#include "kit/KitPaths.h"
#include "kit/MainBundle.h"
#include "kit/NotificationCenter.h"
#include "kit/network/TRLServiceTrust.h"

namespace talvor::kit {
std::shared_ptr<TRLSettingsOnboardingManager>
TRLSettingsOnboardingManager::initWithApplicationIdentifierModel(
    std::optional<TRLApplicationIdentiferModel> model, std::filesystem::path settingsDirectory) {
    return std::shared_ptr<TRLSettingsOnboardingManager>(new TRLSettingsOnboardingManager(
        std::move(model),
        settingsDirectory.empty() ? settingsDirectoryPath() : std::move(settingsDirectory)));
}

TRLSettingsOnboardingManager::TRLSettingsOnboardingManager(
    std::optional<TRLApplicationIdentiferModel> model, std::filesystem::path settingsDirectory)
    : appIdentifierModel_(std::move(model)),
      settingsDirectory_(std::move(settingsDirectory)),
      settingsModel_(settingsDirectory_ / "settings.json") {}

TRLSettingsOnboardingManager::~TRLSettingsOnboardingManager() {
    if (networkClient_) {
        networkClient_->invalidateAndCancel();
    }
}

void TRLSettingsOnboardingManager::setNetworkClientFactory(NetworkClientFactory factory) {
    std::lock_guard lock(mutex_);
    networkClientFactory_ = std::move(factory);
}

void TRLSettingsOnboardingManager::setAdvertisingTokenSource(
    std::function<std::optional<std::string>()> source) {
    std::lock_guard lock(mutex_);
    advertisingTokenSource_ = std::move(source);
}

std::shared_ptr<TRLNetworkClient> TRLSettingsOnboardingManager::networkClient() {
    std::lock_guard lock(mutex_);
    if (sessionFinished_) {
        return nullptr;
    }
    if (!networkClient_) {
        if (networkClientFactory_) {
            networkClient_ = networkClientFactory_();
        } else {
            // The system's roots (or the configured ones) vouch for the service, unless its
            // roots are pinned.
            networkClient_ = TRLNetworkClient::initWithSessionConfiguration(
                TRLServiceSessionConfiguration(), nullptr, TRLServicePinnedCertificates());
        }
    }
    return networkClient_;
}

std::filesystem::path TRLSettingsOnboardingManager::settingsDirectoryPath() {
    std::filesystem::path folder = userCachesFolder() / keys::TRLCoreKitBundleIdentifier;
    folder += ".data";
    return folder / MainBundle::main()->bundleIdentifier().value_or("");
}

std::optional<PlistDictionary> TRLSettingsOnboardingManager::configuration() {
    const PlistValue* value = MainBundle::main()->objectForInfoDictionaryKey("Wreckord");
    if (value == nullptr || !value->dictionary()) {
        return std::nullopt;
    }
    return *value->dictionary();
}

std::optional<std::string> TRLSettingsOnboardingManager::valueForConfigurationKey(
    const std::string& key) {
    if (const char* value = std::getenv(key.c_str()); value != nullptr) {
        return std::string(value);
    }
    if (const auto config = configuration()) {
        if (const PlistValue* value = find(*config, key); value != nullptr && value->string()) {
            return *value->string();
        }
    }
    if (const PlistValue* value = find(defaultConfiguration(), key);
        value != nullptr && value->string()) {
        return *value->string();
    }
    return std::nullopt;
}

std::optional<std::string> TRLSettingsOnboardingManager::appIconHash() const {
    if (!appIdentifierModel_ || !appIdentifierModel_->icon()) {
        return std::nullopt;
    }
    return appIdentifierModel_->icon()->dataHash();
}

std::optional<std::string> TRLSettingsOnboardingManager::advertisingToken() const {
    // Asked under the lock, so that a host going away (which empties the source first)
    // waits until the answer is in.
    std::lock_guard lock(mutex_);
    return advertisingTokenSource_ ? advertisingTokenSource_() : std::nullopt;
}

bool TRLSettingsOnboardingManager::isHTTPS(std::string_view endpoint) {
    constexpr std::string_view kScheme = "https://";
    return endpoint.size() > kScheme.size() &&
           std::equal(kScheme.begin(), kScheme.end(), endpoint.begin(), [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           });
}

std::optional<std::string> TRLSettingsOnboardingManager::settingsURL() const {
    const auto endpoint = valueForConfigurationKey(keys::TRLSettingsEndpointKey);
    if (!endpoint || !isHTTPS(*endpoint)) {
        return std::nullopt;
    }
    return TRLSettings::settingsURLForEndpoint(
        *endpoint,
        appIdentifierModel_ ? std::optional<std::string>(appIdentifierModel_->instanceIdentifier())
                            : std::nullopt,
        appIconHash());
}

void TRLSettingsOnboardingManager::beginSettingsAndOnboardingOperationsWithAPIKey(
    std::string APIKey, std::map<std::string, std::string> kitVersionsByKitBundleIdentifier) {
    {
        std::lock_guard lock(mutex_);
        APIKey_ = std::move(APIKey);
        kitVersionsByKitBundleIdentifier_ = std::move(kitVersionsByKitBundleIdentifier);
    }
    beginSettingsDownload();
}

void TRLSettingsOnboardingManager::beginSettingsDownload() {
    const auto url = settingsURL();
    if (!url) {
        log("[Trellis] failed to download settings: the settings endpoint is not an https "
            "URL");
        finishNetworkingSession();
        return;
    }
    const auto client = networkClient();
    if (!client) {
        return;  // the flow has ended: nothing more is sent in this run
    }
    std::string key;
    {
        std::lock_guard lock(mutex_);
        key = APIKey_;
    }
    TRLDownloadAndSaveSettingsOperation::Parameters parameters;
    parameters.delegate = weak_from_this();
    parameters.settingsURL = *url;
    parameters.settingsDirectoryPath = settingsDirectory_;
    parameters.settingsFilePath = settingsPath();
    parameters.installIdentifier = appIdentifierModel_ ? appIdentifierModel_->installID() : "";
    parameters.advertisingToken = advertisingToken();
    parameters.networkClient = client;
    auto operation =
        TRLDownloadAndSaveSettingsOperation::initWithAPIKey(key, std::move(parameters));
    {
        std::lock_guard lock(mutex_);
        downloadOperation_ = operation;
    }
    operation->start();
}

void TRLSettingsOnboardingManager::beginOnboarding(bool create, const std::string& endpointString) {
    const auto client = networkClient();
    if (!client) {
        return;
    }
    TRLOnboardingOperation::Parameters parameters;
    parameters.delegate = weak_from_this();
    parameters.shouldCreate = create;
    parameters.appIdentifierModel = appIdentifierModel_;
    parameters.appEndpoint = endpointString;
    parameters.networkClient = client;
    std::shared_ptr<TRLOnboardingOperation> running;
    std::shared_ptr<TRLOnboardingOperation> operation;
    {
        std::lock_guard lock(mutex_);
        parameters.kitVersionsByKitBundleIdentifier = kitVersionsByKitBundleIdentifier_;
        operation = TRLOnboardingOperation::initWithAPIKey(APIKey_, std::move(parameters));
        running = std::exchange(onboardingOperation_, operation);
    }
    if (running) {
        running->cancel();
    }
    operation->start();
}

void TRLSettingsOnboardingManager::finishNetworkingSession() {
    std::shared_ptr<TRLNetworkClient> client;
    {
        std::lock_guard lock(mutex_);
        sessionFinished_ = true;
        client = networkClient_;
    }
    if (client) {
        client->invalidateAndCancel();
    }
}

bool TRLSettingsOnboardingManager::networkingSessionFinished() const {
    std::lock_guard lock(mutex_);
    return sessionFinished_;
}

bool TRLSettingsOnboardingManager::hasAttemptedAppConfigure() const {
    std::lock_guard lock(mutex_);
    return hasAttemptedAppConfigure_;
}

void TRLSettingsOnboardingManager::postSettingsDownloadCompletedNotification() {
    log(KitLogLevel::Debug, "[Trellis] Settings are available for consumption");
    NotificationCenter::defaultCenter().post(keys::TRLSettingsAvailableNotification);
}

void TRLSettingsOnboardingManager::startOnboardingIfNeeded(bool create) {
    const auto endpoint = valueForConfigurationKey(keys::TRLConfigureEndpointKey);
    if (!endpoint || !isHTTPS(*endpoint)) {
        // The form carries the key: it never travels in clear.
        log(std::string("[Trellis] ") +
            (create ? "unable to complete application configure: "
                    : "unable to complete application update: ") +
            (endpoint ? "the configure endpoint is not an https URL"
                      : "no configure endpoint is set"));
        finishNetworkingSession();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        hasAttemptedAppConfigure_ = true;
    }
    beginOnboarding(create, *endpoint);
}

void TRLSettingsOnboardingManager::operationDidDownloadAndSaveSettingsWithError(
    TRLDownloadAndSaveSettingsOperation&, const std::optional<KitError>& error) {
    if (error) {
        // The kits keep the document stored before (if any).
        log("[Trellis] failed to download settings " + describe(*error));
        finishNetworkingSession();
        return;
    }
    log(KitLogLevel::Debug, "[Trellis] settings downloaded successfully");
    settingsModel_.clearSettingsDictionary();
    if (hasAttemptedAppConfigure()) {
        log(KitLogLevel::Debug, "[Trellis] App already onboarded in this run of the app");
        postSettingsDownloadCompletedNotification();
        finishNetworkingSession();
        return;
    }
    if (settingsModel_.appNeedsOnboarding()) {
        // The kits hear of settings after the second download, once the record exists.
        log(KitLogLevel::Debug, "[Trellis] Starting onboarding with app create");
        startOnboardingIfNeeded(true);
        return;
    }
    postSettingsDownloadCompletedNotification();
    if (settingsModel_.appUpdateRequired()) {
        log(KitLogLevel::Debug, "[Trellis] Starting onboarding with app update");
        startOnboardingIfNeeded(false);
        return;
    }
    finishNetworkingSession();
}

void TRLSettingsOnboardingManager::onboardingOperationDidCompleteAppCreationWithError(
    TRLOnboardingOperation&, const std::optional<KitError>& error) {
    if (error) {
        log("[Trellis] unable to complete application configure: " + describe(*error));
        finishNetworkingSession();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        onboardingOperation_.reset();
    }
    log(KitLogLevel::Debug, "[Trellis] completed configure");
    beginSettingsDownload();
}

void TRLSettingsOnboardingManager::onboardingOperationDidCompleteAppUpdateWithError(
    TRLOnboardingOperation&, const std::optional<KitError>& error) {
    // The session ends last: once it has, the flow has said all it has to say.
    if (error) {
        log("[Trellis] unable to complete application update: " + describe(*error));
    } else {
        {
            std::lock_guard lock(mutex_);
            onboardingOperation_.reset();
        }
        log(KitLogLevel::Debug, "[Trellis] completed application update");
    }
    finishNetworkingSession();
}

}  // namespace talvor::kit
