#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kit/InfoDictionary.h"
#include "kit/TRLKit.h"

namespace talvor::kit {

// The kit host: one process-wide object into which the crash-reporting and analytics kits
// plug. The application calls `with` once at start-up with its kit classes.
class Trellis {
  public:
    // `infoDictionary` is the application's Info.plist; its "Trellis" dictionary is the
    // host's configuration.
    explicit Trellis(std::optional<InfoDictionary> infoDictionary);
    Trellis(const Trellis&) = delete;
    Trellis& operator=(const Trellis&) = delete;

    // The process-wide instance, made on first use from `mainBundleInfoDictionary()`.
    static Trellis& sharedSDK();
    // Puts `sdk` in place of the shared instance (nullptr: the next `sharedSDK` makes a fresh
    // one) and returns the previous one. For tests.
    static std::unique_ptr<Trellis> setSharedSDK(std::unique_ptr<Trellis> sdk);

    // Starts the kits on the first call only; every later call only logs. Without an API key
    // nothing is started, and later calls still start nothing. Returns `sharedSDK()`.
    static Trellis& with(const std::vector<const KitClass*>& kits);

    // Sends `initializeIfNeeded` to the kit class when it answers it.
    static void initializeKit(const KitClass& kit);

    // Info.plist "Trellis" / "APIKey"; logs each time it is asked while there is none.
    std::optional<std::string> APIKey();
    // The kits started by `with`, in the order they were initialised.
    std::vector<const KitClass*> kitClasses() const;

    // The kit has no default service endpoints and none can be configured yet, so this
    // says once that the kit's network is off in place of fetching settings and
    // registering the application.
    void onboardAppAndDownloadSettings();

  private:
    void startKits(const std::vector<const KitClass*>& kits);

    std::optional<InfoDictionary> trellisConfig_;
    mutable std::mutex mutex_;
    std::optional<std::string> apiKey_;
    std::vector<const KitClass*> kitClasses_;
    std::once_flag startOnce_;
    std::once_flag networkOffOnce_;
};

}  // namespace talvor::kit
