#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "crash/WRKContext.h"
#include "crash/WRKFileManager.h"

// Crash reporting for one process: at start it prepares the report folders, makes the
// current run's folder (active/<execution id>) and starts the capture into it. Folders
// that earlier runs left in "active" are kept for the reporting that sends them, and
// counted in one log line.
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
    explicit WRKCrashReportingController(WRKFileManager fileManager);

    // True when the current run has a report folder and its capture started.
    bool start(const WRKCaptureIdentity& identity);
    const WRKFileManager& fileManager() const { return fileManager_; }
    // The current run's report folder, once made.
    const std::optional<std::filesystem::path>& currentReportPath() const { return current_; }

  private:
    bool startCrashReporter(const WRKCaptureIdentity& identity,
                            const std::filesystem::path& folder);

    WRKFileManager fileManager_;
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

}  // namespace talvor::crash
