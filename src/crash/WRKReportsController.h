#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "crash/WRKFileManager.h"
#include "crash/WRKInternalReport.h"
#include "crash/WRKNetworkClient.h"
#include "crash/WRKSettings.h"
#include "kit/KitError.h"
#include "kit/Operation.h"
#include "kit/network/URLRequest.h"

// Carries a report from its folder to the reports endpoint: symbolication (in the
// "processing" folder), packaging into "prepared", the upload request, and the clean-up
// after a successful upload. Nothing is sent without a configured endpoint, while the user
// has switched sharing data with the service off, or with "SubmitReports" off: packaged
// reports then stay in "prepared" for a later run.
namespace talvor::crash {

class WRKReportsControllerDelegate {
  public:
    virtual ~WRKReportsControllerDelegate() = default;
    virtual const WRKSettings& settingsForReportsController() = 0;
    virtual std::string APIKeyForReportsController() = 0;
    virtual std::string bundleIdentifierForReportsController() = 0;
    // After every finished upload (on the work queue); `error` none on success.
    virtual void reportsControllerDidCompletePackageSubmission(
        const std::filesystem::path& path, const std::optional<kit::KitError>& error) = 0;
};

inline constexpr char WRKReportsUserAgent[] = "Wreckord Mac SDK/3.9.3";
// In a report folder left in "processing": its symbolication was stopped by a quit, not by
// a crash, so the next start symbolicates it again before packaging it.
inline constexpr char WRKReportSymbolicateAgainFile[] = ".symbolicate-again";
inline constexpr double kWRKUploadTimeout = 10.0;
inline constexpr double kWRKUrgentUploadTimeout = 2.0;

// Tells the host analytics library of a crash whose report was handed to the network, at
// `crashTime` (seconds since 1970): only when such a library configured the kit host and
// the program registered one; true when it was told. Nothing here sends anything itself.
bool WRKFCRAnalyticsLogCrashWithTimeStamp(double crashTime, bool debugging);

class WRKReportsController {
  public:
    WRKReportsController(std::shared_ptr<kit::OperationQueue> queue,
                         WRKReportsControllerDelegate* delegate, WRKNetworkClient* networkClient,
                         WRKFileManager fileManager, std::function<bool()> debug = {});

    // On the calling thread. True when the upload was handed to the network. With
    // processing, a report is moved into "processing" first (unless it is there already).
    bool prepareAndSubmitReport(WRKInternalReport report, bool urgent, bool withProcessing);
    bool uploadPackagedReportAtPath(const std::filesystem::path& path, bool urgent);
    // The program quits: the symbolication or packaging under way stops at its next step and
    // nothing more starts. A report is never left cut off: one stopped while symbolicated
    // stays in "processing", marked to be symbolicated again at the next start; one stopped
    // while packaged stays there whole, to be packaged then. Safe from any thread.
    void stop();
    // From the network client: a success removes the packaged file; the delegate hears of
    // every outcome.
    void reportUploadAtPathCompletedWithError(const std::filesystem::path& path,
                                              const std::optional<kit::KitError>& error);

    // ".../sdk-api/v1/platforms/mac/apps/<bundle id>/reports"; none without an endpoint.
    std::optional<std::string> uploadURL();
    // The whole upload request of a packaged file (its body is the file); none without an
    // endpoint or when the file's size cannot be read.
    std::optional<kit::URLRequest> uploadRequestForPackagedReport(const std::filesystem::path& path,
                                                                  bool urgent);
    // The request without its body's headers ("Content-Type", "Content-Length").
    static kit::URLRequest mutableRequestWithURL(const std::string& url, double timeout,
                                                 const std::string& apiKey);

  private:
    bool debugging() const;
    // Whether anything may be sent now; says once per controller why not.
    bool mayUpload(const WRKSettings& settings);

    std::shared_ptr<kit::OperationQueue> queue_;
    WRKReportsControllerDelegate* delegate_;
    WRKNetworkClient* networkClient_;
    WRKFileManager fileManager_;
    // Whether the kit host's debug flag is on; the host's own when empty.
    std::function<bool()> debug_;
    // Runs `operation` on the calling thread where `stop` can cancel it; false when it was
    // cancelled. `symbolicating`: the folder of the report whose stacks it names.
    bool runStoppable(const std::shared_ptr<kit::Operation>& operation,
                      const std::optional<std::filesystem::path>& symbolicating = {});

    std::atomic<bool> saidNoEndpoint_{false};
    std::atomic<bool> saidNoConsent_{false};
    std::mutex runningMutex_;  // guards the three below
    bool stopped_ = false;
    std::shared_ptr<kit::Operation> running_;
    std::optional<std::filesystem::path> symbolicating_;
};

}  // namespace talvor::crash
