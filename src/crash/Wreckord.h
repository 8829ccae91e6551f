#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "crash/WRKCrashReportingController.h"

// The crash-reporting kit. The application hands its class to the kit host at start-up:
// `Trellis::with({&KitClass::of<Wreckord>()})`. Started (the host starts it only with an API
// key), it makes the run's report folder and installs the crash capture.
namespace talvor::crash {

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

  private:
    Wreckord() = default;

    std::once_flag startOnce_;
    std::atomic<bool> started_{false};
    std::unique_ptr<WRKCrashReportingController> crashReportingController_;
};

}  // namespace talvor::crash
