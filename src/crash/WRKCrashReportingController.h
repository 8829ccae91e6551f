#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "crash/WRKContext.h"
#include "crash/WRKFileManager.h"
#include "crash/WRKProfiling.h"
#include "kit/KitClock.h"

// Crash reporting for one process: at start it prepares the report folders, makes the
// current run's folder (active/<execution id>) and starts the capture into it. Folders
// that earlier runs left in "active" are kept for the reporting that sends them, and
// counted in one log line. Two seconds after a successful start it checks once that its
// handlers are still the ones in place, and says on standard error which are not.
namespace talvor::crash {

// What the capture needs to know of the kit host and the application.
struct WRKCaptureIdentity {
    std::string apiKey;
    std::string installID;
    std::string executionIdentifier;
    bool firstInstall = false;
    std::string bundleIdentifier;
    std::string bundleVersion;
    std::string shortBundleVersion;
};

class WRKCrashReportingController {
  public:
    // `clock` times the check after the start; it must outlive the check.
    explicit WRKCrashReportingController(WRKFileManager fileManager,
                                         kit::Clock& clock = kit::Clock::shared());

    // True when the current run has a report folder and its capture started. `mark` is when
    // the kit's start began; the time since then is kept with the run's record.
    bool start(const WRKCaptureIdentity& identity, WRKProfileMark mark);
    const WRKFileManager& fileManager() const { return fileManager_; }
    // The current run's report folder, once made.
    const std::optional<std::filesystem::path>& currentReportPath() const { return current_; }

  private:
    bool startCrashReporter(const WRKCaptureIdentity& identity,
                            const std::filesystem::path& folder);

    WRKFileManager fileManager_;
    kit::Clock& clock_;
    std::optional<std::filesystem::path> current_;
};

// The host facts of this machine (model, machine, processor, system versions, locale).
struct WRKHostFactsText {
    std::string model;
    std::string machine;
    std::string cpu;
    std::string osBuildVersion;
    std::string osDisplayVersion;
    std::string locale;
};
WRKHostFactsText WRKHostCurrentFacts();

// The delay between a start and the check of the handlers.
inline constexpr std::chrono::seconds kWRKHandlerCheckDelay{2};
// Internal key: seconds from the start of the kit to the end of the controller's start.
inline constexpr char WRKKitStartTimeKey[] = "com.wreckord.kit-start-time";
// A number as the record keeps it: the shortest text that reads back as the same value.
std::string WRKNumberText(double value);

}  // namespace talvor::crash
