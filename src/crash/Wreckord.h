#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "crash/WRKCrashReportingController.h"
#include "crash/WRKException.h"
#include "crash/WRKUserLogging.h"
#include "crash/WRKWebView.h"

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

class Wreckord {
  public:
    // The one instance, made on first use.
    static Wreckord& sharedInstance();

    // The kit's identity, read by the kit host.
    static std::string bundleIdentifier();
    static std::string kitDisplayVersion();
    static std::string kitBuildVersion();
    // The kit host's initialisation of this kit: starts the shared instance.
    static void initializeIfNeeded();

    // Runs the start sequence once per process; later calls do nothing.
    void start();
    bool isWreckordStarted() const;
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

    // Script errors of a web view as non-fatal exceptions; false when the view refuses the
    // script (said in the log).
    bool monitorErrorsForWebViewConfiguration(WRKWebViewConfiguration* configuration);

    // Ends the process at once with a trap instruction.
    [[noreturn]] static void crash();
    // Throws the kit's test exception.
    [[noreturn]] static void throwException();

  private:
    Wreckord() = default;

    std::once_flag startOnce_;
    std::atomic<bool> started_{false};
    std::unique_ptr<WRKCrashReportingController> crashReportingController_;
};

}  // namespace talvor::crash
