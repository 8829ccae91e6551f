#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "crash/WRKCrashReportingController.h"
#include "crash/WRKException.h"
#include "crash/WRKUserLogging.h"
#include "crash/WRKWebView.h"
#include "kit/PropertyList.h"
#include "kit/TLYAttributeDictionary.h"

// The crash-reporting kit. The application hands its class to the kit host at start-up:
// `Trellis::with({&KitClass::of<Wreckord>()})`. Started (the host starts it only with an API
// key), it makes the run's report folder and installs the crash capture. Its operations
// below add to the current run's record; before the kit started they record nothing. Log
// lines go through `WRKLog` / `WRKNSLog` (crash/WRKUserLogging.h).
namespace talvor::crash {

// Internal keys of the user's identity and the development platform.
inline constexpr char WRKUserIdentifierKey[] = "com.wreckord.user-id";
inline constexpr char WRKUserNameKey[] = "com.wreckord.user-name";
inline constexpr char WRKUserEmailKey[] = "com.wreckord.user-email";
inline constexpr char WRKDevelopmentPlatformNameKey[] = "com.wreckord.development-platform-name";
inline constexpr char WRKDevelopmentPlatformVersionKey[] =
    "com.wreckord.development-platform-version";

class WRKReport;

// Tells the analytics kit, on the main queue, that the run of `report` ended in a crash (at
// the report's creation date); false, and nothing told, when the report is not a crash.
bool WRKHandOffPreviousSessionCrash(const WRKInternalReport& report);

// The application's delegate: each member may be empty ("does not answer"). Calls come on
// the main queue, except `didDetectCrash` (the crashing thread, inside the signal handler:
// it must be async-signal-safe) and `ensureDeliveryOfUnixSignal` (during the start).
struct WreckordDelegate {
    // A report of an earlier run (read-only), for the application's information.
    std::function<void(std::shared_ptr<WRKReport>)> didDetectReportForLastExecution;
    // A report of an earlier run; the answer sends it (true) or deletes it (false).
    std::function<void(std::shared_ptr<WRKReport>, std::function<void(bool submit)>)>
        didDetectReportForLastExecutionWithCompletion;
    // Older forms of the above.
    std::function<void(std::shared_ptr<WRKReport>)> didDetectCrashDuringPreviousExecutionWithReport;
    std::function<void()> didDetectCrashDuringPreviousExecution;
    std::function<bool()> canUseBackgroundSessions;
    std::function<bool(int signal)> ensureDeliveryOfUnixSignal;
    std::function<void()> didDetectCrash;
};

class Wreckord final : public WRKCrashReportingControllerDelegate {
  public:
    // The one instance, made on first use.
    static Wreckord& sharedInstance();

    // The kit's identity, read by the kit host.
    static std::string bundleIdentifier();
    static std::string kitDisplayVersion();
    static std::string kitBuildVersion();
    // The kit host's initialisation of this kit: starts the shared instance.
    static void initializeIfNeeded();

    // Starting from code rather than from the host's configuration: sets the delegate when
    // one is given, marks the host as configured, stores `apiKey` on it and starts it with
    // this kit alone (`Trellis::with`, which starts a host's kits once; this kit itself
    // starts once per process). A host that a host analytics library configured keeps its
    // own key: then only a warning is logged. Answers the shared instance. A wrong host
    // configuration throws `kit::TRLException`, as `Trellis::with` does.
    static Wreckord& startWithAPIKey(const std::string& apiKey);
    static Wreckord& startWithAPIKey(const std::string& apiKey,
                                     std::shared_ptr<WreckordDelegate> delegate);
    // Deprecated: the delay is ignored (said in the log) and the kit starts at once.
    static Wreckord& startWithAPIKey(const std::string& apiKey, double afterDelay);
    static Wreckord& startWithAPIKey(const std::string& apiKey,
                                     std::shared_ptr<WreckordDelegate> delegate, double afterDelay);

    // Runs the start sequence once per process; later calls do nothing.
    void start();
    bool isWreckordStarted() const;
    // Set it before the start: reports found at the start are told to the delegate then.
    void setDelegate(std::shared_ptr<WreckordDelegate> delegate);
    std::shared_ptr<WreckordDelegate> delegate() const;
    // The kit host's install identifier.
    std::string installID() const;
    // The kit host's API key (none yet: the host says so in the log).
    std::optional<std::string> APIKey() const;
    // Whether the kit host made the install identifier in this run.
    bool isFirstInstall() const;
    // The kit's display version.
    std::string version() const;
    // Kept for callers of the older interface: nothing is kept, nothing answered.
    std::optional<kit::PlistDictionary> kitInfo() const;
    void setKitInfo(const std::optional<kit::PlistDictionary>& info);
    std::optional<kit::PlistDictionary> settingsDictionary() const;
    // Turns the host's debug flag on, whatever `debug` says.
    void setDebugMode(bool debug);
    bool debugMode() const;
    WRKCrashReportingController* crashReportingController() const {
        return started_ ? crashReportingController_.get() : nullptr;
    }
    // The current run's report folder, when crash capture started.
    std::optional<std::filesystem::path> currentReportPath() const;

    void setUserIdentifier(const std::optional<std::string>& identifier);
    void setUserName(const std::optional<std::string>& name);
    void setUserEmail(const std::optional<std::string>& email);
    // A custom key of the application; no value removes the key.
    void setObjectValue(const std::optional<std::string>& value, const std::string& key);
    void setIntValue(long long value, const std::string& key);
    void setBoolValue(bool value, const std::string& key);
    void setFloatValue(float value, const std::string& key);
    void setDevelopmentPlatformName(const std::optional<std::string>& name);
    void setDevelopmentPlatformVersion(const std::optional<std::string>& version);
    // Write-only: says so in the log and answers nothing.
    std::optional<std::string> developmentPlatformName() const;
    std::optional<std::string> developmentPlatformVersion() const;

    void recordError(const WRKError& error, const WRKInfoPairs& additionalUserInfo = {});
    // A non-fatal exception of the application, kept in the custom exception files.
    void recordCustomException(const std::string& name, const std::string& reason,
                               const std::vector<WRKStackFrame>& frames = {});

    // A custom event for the analytics kit (which records nothing before it started, or
    // while a host analytics library configured the host).
    void logEvent(const std::string& name);
    void logEvent(const std::string& name, const std::optional<kit::TLYAttributes>& attributes);

    // Script errors of a web view as non-fatal exceptions; false when the view refuses the
    // script (said in the log).
    bool monitorErrorsForWebViewConfiguration(WRKWebViewConfiguration* configuration);

    // Ends the process at once with a trap instruction.
    [[noreturn]] static void crash();
    // Throws the kit's test exception.
    [[noreturn]] static void throwException();

  private:
    Wreckord() = default;

    // WRKCrashReportingControllerDelegate
    bool reportingControllerMustInformDelegateOfReports() override;
    bool reportingControllerCanUseBackgroundSessions() override;
    bool reportingControllerEnsureDeliveryOfUnixSignal(int signal) override;
    void reportingControllerInternalDidDetectReportForLastExecution(
        const WRKInternalReport& report) override;
    void reportingControllerDidDetectReportForLastExecution(
        const WRKInternalReport& report, std::function<void(bool submit)> completion) override;
    bool shouldInstallCrashCallback() override;
    void detectedCrash() override;
    void warnDelegateAboutMethods();

    mutable std::mutex delegateMutex_;  // guards delegate_
    std::shared_ptr<WreckordDelegate> delegate_;
    // Read on the crashing thread without a lock: set once at the start.
    std::function<void()> crashCallback_;
    std::once_flag startOnce_;
    std::atomic<bool> started_{false};
    std::unique_ptr<WRKCrashReportingController> crashReportingController_;
};

}  // namespace talvor::crash
