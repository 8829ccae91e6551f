#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "kit/PropertyList.h"
#include "kit/TRLApplicationIdentiferModel.h"
#include "kit/TRLSettings.h"
#include "kit/network/TRLDownloadAndSaveSettingsOperation.h"
#include "kit/network/TRLNetworkClient.h"
#include "kit/network/TRLOnboardingOperation.h"

// Runs the start-up exchange with the service: download the settings document; when the
// service does not know the application, register it and download again; when it asks for
// it, update the application's record. Then tells the kits that settings can be read
// ("TRLSettingsAvailableNotification").
namespace talvor::kit {

class TRLSettingsOnboardingManager final
    : public TRLDownloadAndSaveSettingsOperationDelegate,
      public TRLOnboardingOperationDelegate,
      public std::enable_shared_from_this<TRLSettingsOnboardingManager> {
  public:
    // Makes the client the exchange runs on; called once, when the first request is due.
    using NetworkClientFactory = std::function<std::shared_ptr<TRLNetworkClient>()>;

    // Keeps the model; the settings live in `settingsDirectory` (empty: the kit's folder
    // in the user's caches). No network session is opened before a download begins.
    static std::shared_ptr<TRLSettingsOnboardingManager> initWithApplicationIdentifierModel(
        std::optional<TRLApplicationIdentiferModel> model,
        std::filesystem::path settingsDirectory = {});
    ~TRLSettingsOnboardingManager() override;

    // In place of the default client (the system's roots). For tests.
    void setNetworkClientFactory(NetworkClientFactory factory);
    // Where the host's advertising token is read when a request is made.
    void setAdvertisingTokenSource(std::function<std::optional<std::string>()> source);

    void beginSettingsAndOnboardingOperationsWithAPIKey(
        std::string APIKey, std::map<std::string, std::string> kitVersionsByKitBundleIdentifier);
    void beginSettingsDownload();
    // Replaces a running onboarding with a new one (create or update).
    void beginOnboarding(bool create, const std::string& endpointString);

    // The stored document's reader; readable from any thread.
    TRLSettings& settingsModel() { return settingsModel_; }
    std::optional<std::string> settingsURL() const;
    std::filesystem::path settingsPath() const { return settingsDirectory_ / "settings.json"; }
    const std::filesystem::path& settingsDirectory() const { return settingsDirectory_; }
    // <caches>/io.trellis.sdk.mac.data/<bundle identifier>.
    static std::filesystem::path settingsDirectoryPath();
    std::optional<std::string> appIconHash() const;
    std::optional<std::string> advertisingToken() const;

    // The process environment's variable `key`, else Info.plist "Wreckord"/`key` (a text),
    // else the built-in default (there is none: without configuration the kit sends
    // nothing).
    static std::optional<std::string> valueForConfigurationKey(const std::string& key);
    static std::optional<PlistDictionary> configuration();
    static PlistDictionary defaultConfiguration() { return {}; }
    // Only https endpoints are used: every request carries the application's key.
    static bool isHTTPS(std::string_view endpoint);

    // Cancels what runs and lets the session go; nothing more is sent in this run.
    void finishNetworkingSession();
    bool networkingSessionFinished() const;
    bool hasAttemptedAppConfigure() const;
    void postSettingsDownloadCompletedNotification();

    void operationDidDownloadAndSaveSettingsWithError(
        TRLDownloadAndSaveSettingsOperation& operation,
        const std::optional<KitError>& error) override;
    void onboardingOperationDidCompleteAppCreationWithError(
        TRLOnboardingOperation& operation, const std::optional<KitError>& error) override;
    void onboardingOperationDidCompleteAppUpdateWithError(
        TRLOnboardingOperation& operation, const std::optional<KitError>& error) override;

  private:
    TRLSettingsOnboardingManager(std::optional<TRLApplicationIdentiferModel> model,
                                 std::filesystem::path settingsDirectory);
    // The client, made on first use; none once the session is finished.
    std::shared_ptr<TRLNetworkClient> networkClient();
    void startOnboardingIfNeeded(bool create);

    const std::optional<TRLApplicationIdentiferModel> appIdentifierModel_;
    const std::filesystem::path settingsDirectory_;
    TRLSettings settingsModel_;

    mutable std::mutex mutex_;  // guards the members below
    bool hasAttemptedAppConfigure_ = false;
    bool sessionFinished_ = false;
    std::string APIKey_;
    std::map<std::string, std::string> kitVersionsByKitBundleIdentifier_;
    std::shared_ptr<TRLNetworkClient> networkClient_;
    NetworkClientFactory networkClientFactory_;
    std::function<std::optional<std::string>()> advertisingTokenSource_;
    std::shared_ptr<TRLOnboardingOperation> onboardingOperation_;
    std::shared_ptr<TRLDownloadAndSaveSettingsOperation> downloadOperation_;
};

}  // namespace talvor::kit
