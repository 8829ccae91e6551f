#include "crash/WRKReportsController.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>

#include "crash/WRKPackageReport.h"
#include "crash/WRKProcessReport.h"
#include "kit/KitConsent.h"
#include "kit/KitLog.h"
#include "kit/TLYNimbusAnalyticsBridge.h"
#include "kit/TRLMultipartMimeStreamEncoder.h"
#include "kit/Trellis.h"
#include "kit/network/NetworkKeys.h"
#include "kit/network/TRLNetworkOperation.h"
#include "kit/network/TRLURLBuilder.h"

namespace talvor::crash {
namespace fs = std::filesystem;

bool WRKFCRAnalyticsLogCrashWithTimeStamp(double crashTime, bool debugging) {
    if (!kit::Trellis::sharedSDK().nimbusMode()) {
        return false;
    }
    const std::shared_ptr<kit::TLYHostAnalytics> library =
        kit::TLYNimbusAnalyticsBridge::registeredNimbusAnalytics();
    if (!library) {
        return false;
    }
    if (debugging) {
        kit::log("[Wreckord:Crash:Reports:Event] Sending event.");
    }
    kit::JsonObject parameters;
    parameters.set("timestamp", static_cast<std::int64_t>(std::llround(crashTime * 1000.0)));
    parameters.set("_r", 1);
    parameters.set("fatal", 1);
    library->logInternalEventWithOrigin("clx", "_ae", parameters);
    return true;
}

WRKReportsController::WRKReportsController(std::shared_ptr<kit::OperationQueue> queue,
                                           WRKReportsControllerDelegate* delegate,
                                           WRKNetworkClient* networkClient,
                                           WRKFileManager fileManager, std::function<bool()> debug)
    : queue_(std::move(queue)),
      delegate_(delegate),
      networkClient_(networkClient),
      fileManager_(std::move(fileManager)),
      debug_(std::move(debug)) {}

bool WRKReportsController::debugging() const {
    return debug_ ? debug_() : kit::Trellis::sharedSDK().debug();
}

namespace {

// A quit, not a crash, stopped the report's symbolication: nothing stands against doing it
// again at the next start.
void markToSymbolicateAgain(const fs::path& folder) {
    std::ofstream(folder / WRKReportSymbolicateAgainFile).flush();
}

}  // namespace

void WRKReportsController::stop() {
    std::lock_guard lock(runningMutex_);
    stopped_ = true;
    if (running_) {
        running_->cancel();
    }
    // Marked here as well: a step that does not stop in time ends with the process.
    if (symbolicating_) {
        markToSymbolicateAgain(*symbolicating_);
    }
}

bool WRKReportsController::runStoppable(const std::shared_ptr<kit::Operation>& operation,
                                        const std::optional<fs::path>& symbolicating) {
    {
        std::lock_guard lock(runningMutex_);
        if (stopped_) {
            return false;
        }
        running_ = operation;
        symbolicating_ = symbolicating;
    }
    operation->start();
    std::lock_guard lock(runningMutex_);
    running_.reset();
    symbolicating_.reset();
    return !operation->isCancelled();
}

bool WRKReportsController::prepareAndSubmitReport(WRKInternalReport report, bool urgent,
                                                  bool withProcessing) {
    const WRKSettings& settings = delegate_->settingsForReportsController();
    if (withProcessing) {
        const fs::path processing = fileManager_.processingPath() / report.directoryName();
        if (report.path() != processing) {
            if (!fileManager_.moveItemAtPath(report.path(), fileManager_.processingPath())) {
                kit::log("[Wreckord:Crash:Reports] Unable to move report for processing");
                return false;
            }
            report.setPath(processing);
        }
        if (!runStoppable(std::make_shared<WRKProcessReportOperation>(
                              report, std::make_shared<WRKSymbolResolver>()),
                          processing)) {
            markToSymbolicateAgain(processing);
            kit::log("[Wreckord:Crash:Reports] Quitting: the report at " + processing.string() +
                     " is processed at the next start");
            return false;
        }
    }
    if (!settings.shouldPackageReports()) {
        kit::log("[Wreckord:Crash:Reports] Report packaging disabled");
        return false;
    }
    auto packaging = std::make_shared<WRKPackageReportOperation>(report, fileManager_);
    const bool packagedWhole = runStoppable(packaging);
    const std::optional<fs::path> packaged = packaging->finalPath();
    if (!packagedWhole || !packaged) {
        kit::log(packagedWhole ? "[Wreckord:Crash:Reports] Unable to package report"
                               : "[Wreckord:Crash:Reports] Quitting: the report at " +
                                     report.path().string() + " is packaged at the next start");
        return false;
    }
    // Read before the folder goes: the crash's time, else (a crash recorded only as an
    // exception has none) the run's start.
    const bool isCrash = report.isCrash();
    const double crashTime =
        isCrash ? std::chrono::duration<double>(
                      report.crashedOnDate()
                          .value_or(report.dateCreated().value_or(WRKInternalReport::Date()))
                          .time_since_epoch())
                      .count()
                : 0.0;
    // Never left half removed: the next start would package what is left and send it again.
    if (!fileManager_.discardItemAtPath(report.path())) {
        kit::log("[Wreckord:Crash:Reports] Unable to remove a processing item");
    }
    kit::log("[Wreckord:Crash:Reports] Packaged report with id '" + report.identifier() +
             "' for submission");
    const bool started = uploadPackagedReportAtPath(*packaged, urgent);
    if (started && isCrash) {
        WRKFCRAnalyticsLogCrashWithTimeStamp(crashTime, debugging());
    }
    return started;
}

bool WRKReportsController::mayUpload(const WRKSettings& settings) {
    if (!settings.shouldSubmitReports()) {
        kit::log("[Wreckord:Crash:Reports] Submission disabled");
        return false;
    }
    if (!kit::TRLDataSharingAllowed()) {
        return false;
    }
    if (!settings.reportsEndpoint()) {
        if (!saidNoEndpoint_.exchange(true)) {
            kit::log(
                "[Wreckord:Crash:Reports] No reports endpoint is configured; reports stay in " +
                fileManager_.preparedPath().string());
        }
        return false;
    }
    return true;
}

std::optional<std::string> WRKReportsController::uploadURL() {
    const auto endpoint = delegate_->settingsForReportsController().reportsEndpoint();
    if (!endpoint) {
        return std::nullopt;
    }
    std::string base = *endpoint;
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    kit::TRLURLBuilder builder = kit::TRLURLBuilder::URLWithBase(base);
    builder.appendComponent("/sdk-api/v1/platforms/");
    builder.appendComponent("mac");
    builder.appendComponent("/apps/");
    builder.appendComponent(delegate_->bundleIdentifierForReportsController());
    builder.appendComponent("/reports");
    return builder.URL();
}

kit::URLRequest WRKReportsController::mutableRequestWithURL(const std::string& url, double timeout,
                                                            const std::string& apiKey) {
    kit::URLRequest request;
    request.URL = url;
    request.timeoutInterval = timeout;
    const std::string locale = kit::TRLNetworkOperation::localeIdentifier();
    request.setValue(WRKReportsUserAgent, "User-Agent");
    request.setValue("application/json", "Accept");
    request.setValue("utf-8", "Accept-Charset");
    request.setValue(locale, "Accept-Language");
    request.setValue(locale, "Content-Language");
    request.setValue(keys::TRLDeveloperToken, "X-Wreckord-Developer-Token");
    request.setValue("com.quillon.wreckord.mac", "X-Wreckord-API-Client-Id");
    request.setValue("3.9.3", "X-Wreckord-API-Client-Display-Version");
    request.setValue("128", "X-Wreckord-API-Client-Build-Version");
    request.setValue(apiKey, "X-Wreckord-API-Key");
    return request;
}

bool WRKReportsController::uploadPackagedReportAtPath(const fs::path& path, bool urgent) {
    const WRKSettings& settings = delegate_->settingsForReportsController();
    if (settings.shouldSubmitReports() && !kit::TRLDataSharingAllowed()) {
        // Kept, it would go out once the user switched sharing on again: what is gathered
        // while sharing is off is never sent.
        if (!saidNoConsent_.exchange(true)) {
            kit::log(
                "[Wreckord:Crash:Reports] Sharing data with the service is switched off; "
                "crash reports are deleted, not sent");
        }
        if (!fileManager_.removeItemAtPath(path)) {
            kit::log("[Wreckord:Crash:Reports] Unable to remove a report not to be sent");
        }
        return false;
    }
    if (!mayUpload(settings)) {
        return false;
    }
    {
        std::lock_guard lock(runningMutex_);
        if (stopped_) {
            return false;  // the packaged file waits in "prepared" for the next start
        }
    }
    if (debugging()) {
        kit::log(std::string("[Wreckord:Crash:Reports] Submitting report") +
                 (urgent ? " as urgent" : ""));
        kit::log(std::string("[Wreckord:Crash:Reports] Submitting ") + (urgent ? "sync" : "async") +
                 " " + path.string());
    }
    const std::optional<std::uint64_t> size = fileManager_.fileSizeAtPath(path);
    if (!size || *size == 0) {
        if (debugging()) {
            kit::log("[Wreckord:Crash:Reports] Already-submitted report being ignored");
        }
        return false;
    }
    const std::optional<kit::URLRequest> request = uploadRequestForPackagedReport(path, urgent);
    if (!request) {
        return false;
    }
    networkClient_->startUploadRequest(*request, path, urgent);
    return true;
}

std::optional<kit::URLRequest> WRKReportsController::uploadRequestForPackagedReport(
    const fs::path& path, bool urgent) {
    const auto url = uploadURL();
    if (!url) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> size = fileManager_.fileSizeAtPath(path);
    if (!size) {
        kit::log("[Wreckord:Crash:Reports] Could not determine size of multipart mime file");
        return std::nullopt;
    }
    const double timeout = urgent && !networkClient_->supportsBackgroundRequests()
                               ? kWRKUrgentUploadTimeout
                               : kWRKUploadTimeout;
    kit::URLRequest request =
        mutableRequestWithURL(*url, timeout, delegate_->APIKeyForReportsController());
    request.HTTPMethod = "POST";
    request.setValue(kit::TRLMultipartMimeStreamEncoder::contentTypeHTTPHeaderValueWithBoundary(
                         path.stem().string()),
                     "Content-Type");
    request.setValue(std::to_string(*size), "Content-Length");
    return request;
}

void WRKReportsController::reportUploadAtPathCompletedWithError(
    const fs::path& path, const std::optional<kit::KitError>& error) {
    if (debugging()) {
        kit::log("[Wreckord:Crash:Reports] completed submission of " + path.string());
    }
    if (!error && !fileManager_.removeItemAtPath(path)) {
        kit::log("[Wreckord:Crash:Reports] Unable to remove packaged submission");
    }
    delegate_->reportsControllerDidCompletePackageSubmission(path, error);
}

}  // namespace talvor::crash
