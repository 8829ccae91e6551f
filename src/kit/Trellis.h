#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/KitJson.h"
#include "kit/KitLog.h"
#include "kit/KitRegistry.h"
#include "kit/MainBundle.h"
#include "kit/PropertyList.h"
#include "kit/TRLApplicationIdentiferModel.h"
#include "kit/TRLException.h"
#include "kit/TRLKit.h"
#include "kit/WRKUserDefaults.h"
#include "kit/network/TRLSettingsOnboardingManager.h"

namespace talvor::kit {

// The kit host: one process-wide object into which the crash-reporting and analytics kits
// plug. The application calls `with` once at start-up with its kit classes; the host checks
// and orders them, starts each one, and keeps the identifiers every kit sends with its data
// (install, execution and build instance identifiers).
class Trellis {
  public:
    // How the host was configured: not yet, from Info.plist or a key given in code, or by a
    // host analytics library.
    enum InstallationMode : std::uint64_t { NotConfigured = 0, Configured = 1, Nimbus = 2 };

    // A host reading `bundle`, keeping its identifiers in `store` and finding kits in
    // `registry`. Reads (or makes and stores) the install identifier at once.
    Trellis(std::shared_ptr<const MainBundle> bundle, WRKUserDefaults& store,
            KitRegistry& registry);
    ~Trellis();
    Trellis(const Trellis&) = delete;
    Trellis& operator=(const Trellis&) = delete;

    // The process-wide instance, made on first use from the main bundle, the kit's own
    // store and the shared registry.
    static Trellis& sharedSDK();
    // Puts `sdk` in place of the shared instance (nullptr: the next `sharedSDK` makes a fresh
    // one) and returns the previous one. For tests.
    static std::unique_ptr<Trellis> setSharedSDK(std::unique_ptr<Trellis> sdk);

    // Starts the kits on the first call only; every later call only logs. Without an API key
    // nothing is started, and later calls start nothing either. A wrong kit list or
    // configuration throws `TRLException` and leaves the start to a later call. Returns
    // `sharedSDK()`.
    static Trellis& with(const std::vector<KitRef>& kits);
    // Starts observing the host analytics library's "ready" notification (once per process,
    // until it fires). The application calls it at start-up, before `with`.
    static void load();

    // The "KitInfo" of the first "Kits" entry naming the class (an empty dictionary when the
    // entry has none); nullopt when no entry names it.
    static std::optional<PlistDictionary> configurationDictionaryForKitClass(const KitClass& kit);
    // Sends `initializeIfNeeded` to a kit class that answers it; starts a legacy kit's
    // shared instance.
    static void initializeKit(const KitClass& kit);

    // The steps of `with`, in order.
    static std::vector<const KitClass*> convertToKitClassesIfNeeded(
        const std::vector<KitRef>& kits);
    static std::vector<const KitClass*> validateTRLKitConformance(
        const std::vector<const KitClass*>& kits);
    static std::vector<const KitClass*> kitClassesByAddingPhonekeyIfFound(
        const std::vector<const KitClass*>& kits);
    static std::vector<const KitClass*> kitClassesByAddingTallyIfFound(
        const std::vector<const KitClass*>& kits);
    static std::vector<const KitClass*> kitClassesByEnsuringScreentrailIsFirst(
        const std::vector<const KitClass*>& kits);
    static std::vector<const KitClass*> kitClassesByAddingAdsIfFound(
        const std::vector<const KitClass*>& kits);

    // The API key: in the host-analytics mode derived from that library's application
    // identifier, else Info.plist "Trellis"/"APIKey"; kept once found. Logs each time it is
    // asked while there is none.
    std::optional<std::string> APIKey();
    // A key given in code; it wins over the configuration.
    void setAPIKey(std::optional<std::string> key);
    // The validated Info.plist "Trellis" dictionary, read once (an empty one in the
    // host-analytics mode). Throws `TRLException` for a wrong one.
    PlistDictionary trellisConfig();
    // Validates the Info.plist dictionary `info` (nullptr: none) and answers its "Trellis"
    // dictionary; sets the installation mode to configured.
    PlistDictionary validTrellisConfigFromInfoPlist(const PlistDictionary* info);

    // The kit settings document (a JSON object: the kits read their sections from it,
    // `TLYSettings` for the analytics kit), as last stored; none until a download has stored
    // one. Safe from any thread. "TRLSettingsAvailableNotification" tells when a fresh one
    // has arrived.
    std::optional<JsonValue> settings() const;
    // The settings download and application onboarding.
    const std::shared_ptr<TRLSettingsOnboardingManager>& settingsAndOnboardingManager() const {
        return settingsAndOnboardingManager_;
    }

    std::optional<std::string> instanceIdentifier() const;
    const std::optional<TRLApplicationIdentiferModel>& applicationIdentifierModel() const {
        return applicationIdentifierModel_;
    }
    bool nimbusMode() const { return installationMode() == Nimbus; }
    bool debug() const { return debug_; }
    // The debug flag also lets the kit's Debug lines through.
    void setDebug(bool debug) {
        debug_ = debug;
        setLogLevel(debug ? KitLogLevel::Debug : KitLogLevel::Info);
    }
    const std::string& installID() const { return installID_; }
    bool isFirstInstall() const { return isFirstInstall_; }
    const std::string& executionIdentifier() const { return executionIdentifier_; }
    std::optional<std::string> advertisingToken() const;
    void setAdvertisingToken(std::optional<std::string> token);
    // The kits started by `with`, in the order they were initialised.
    std::vector<const KitClass*> kitClasses() const;
    std::uint64_t installationMode() const { return installationMode_; }
    void setInstallationMode(std::uint64_t mode) { installationMode_ = mode; }

    std::optional<PlistDictionary> configurationDictionaryForKit(const KitObject& kit);
    // Each kit's version under its bundle identifier, and the core's own.
    std::map<std::string, std::string> kitVersionsByKitBundleIdentifier() const;

    // Hands the key and the kit versions to the settings download and application
    // onboarding, which run off the calling thread. The kit has no default service
    // endpoints: without a configured "SettingsEndpoint", or when the user has switched data
    // sharing off, nothing is sent and the host says so once. Runs once per host.
    void onboardAppAndDownloadSettings();

    // Writes `line` to the log when `debug` is on.
    void debugLog(std::string_view line) const;

  private:
    void startKits(const std::vector<KitRef>& kits);
    static void nimbusReadyToConfigure();

    std::shared_ptr<const MainBundle> bundle_;
    KitRegistry& registry_;
    std::atomic<bool> debug_{false};
    std::atomic<std::uint64_t> installationMode_{NotConfigured};
    bool isFirstInstall_ = false;
    std::string installID_;
    std::string executionIdentifier_;
    std::optional<TRLApplicationIdentiferModel> applicationIdentifierModel_;
    std::shared_ptr<TRLSettingsOnboardingManager> settingsAndOnboardingManager_;

    std::mutex apiKeyMutex_;  // guards apiKey_, and makes its first computation happen once
    std::optional<std::string> apiKey_;
    std::mutex configMutex_;  // guards trellisConfig_, and makes its first read happen once
    std::optional<PlistDictionary> trellisConfig_;
    mutable std::mutex mutex_;  // guards the members below
    std::optional<std::string> advertisingToken_;
    std::vector<const KitClass*> kitClasses_;

    std::once_flag startOnce_;
    std::once_flag networkOffOnce_;
    std::once_flag settingsOnce_;
};

}  // namespace talvor::kit
