#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kit/KitClock.h"
#include "kit/KitJson.h"
#include "kit/NotificationCenter.h"
#include "kit/Operation.h"
#include "kit/RandomSource.h"
#include "kit/TLYEventFilter.h"
#include "kit/TLYMetadata.h"
#include "kit/TLYNimbusAnalyticsBridge.h"
#include "kit/TLYSettings.h"
#include "kit/TLYTimer.h"
#include "kit/TLYUploader.h"
#include "kit/Tally.h"

// The analytics engine: decides per event whether it is recorded, appends it to the current
// event file, and rotates files into packages that the uploader sends. All its work runs on
// one serial queue; the log operations only queue work.
namespace talvor::kit {

class TLYTallyController final : public TLYEventRecorder,
                                 public TLYUploaderDelegate,
                                 public std::enable_shared_from_this<TLYTallyController> {
  public:
    struct Seams {
        Clock* clock = nullptr;          // the shared clock when none
        RandomSource* random = nullptr;  // the shared source when none
        // The upload session's base configuration; the service's when none.
        std::optional<WRKURLSessionConfiguration> uploadConfiguration;
    };

    static std::shared_ptr<TLYTallyController> make(const std::optional<std::string>& betaToken);
    static std::shared_ptr<TLYTallyController> make(const std::optional<std::string>& betaToken,
                                                    std::filesystem::path rootDirectory,
                                                    Seams seams);
    // Stops observing; queued work is not waited for (see `waitUntilIdle`).
    ~TLYTallyController() override;

    // Makes every start of the analytics kit use this controller.
    static void installAsTallyController();

    // The user's caches + "com.wreckord.data" + the bundle identifier + "analytics/v2".
    static std::filesystem::path rootDirectory();
    static std::filesystem::path eventDirectoryForRootDirectory(const std::filesystem::path& root);
    static std::filesystem::path crashMetadataPathForRootDirectory(
        const std::filesystem::path& root);
    static std::optional<std::string> boundaryFromURL(const std::filesystem::path& file);

    void logEvent(std::shared_ptr<const TLYEvent> event) override;
    void logCrashEvent(std::shared_ptr<const TLYCrashEvent> event) override;
    // Waits (at most `limit`) until the queued work is done and no upload runs.
    bool drain(std::chrono::milliseconds limit) override;

    void applicationLifecycleEvent(const std::string& notificationName);
    void initializeSettingsIfNeededWithTrellisSettings(const std::optional<JsonValue>& settings);

    // For tests: waits (bounded) until the queue is empty.
    bool waitUntilIdle(std::chrono::milliseconds limit = std::chrono::seconds(20));
    const std::shared_ptr<OperationQueue>& eventQueue() const { return eventQueue_; }
    // Read on the queue (or once it is idle).
    const std::filesystem::path& currentLogURL() const { return currentLogURL_; }
    const std::filesystem::path& eventDirectory() const { return rootEventDirectory_; }
    const TLYSettings& settings() const { return settings_; }
    bool hasFlushTimer() const { return flushTimer_ != nullptr; }
    const std::shared_ptr<TLYUploader>& uploader() const { return uploader_; }

    // Uploader delegate.
    std::filesystem::path uploaderFilePathForUniqueName(TLYUploader& uploader,
                                                        const std::string& name) override;
    void uploaderDidFinishUpload(TLYUploader& uploader, const std::string& name,
                                 const std::optional<KitError>& error) override;
    std::optional<bool> uploaderDidReceiveChallenge(const ServerTrust& trust) override;
    void uploaderCompletedRequest(TLYUploader& uploader, const URLRequest& request,
                                  const std::optional<HTTPURLResponse>& response,
                                  const std::string& name, const std::optional<KitError>& error,
                                  TLYNetworkRetryHandler::Completion handler) override;

    // Whether a finished upload's file is done with: sent, refused for good by the service,
    // or not sendable at all. A file whose retries ran out is kept for a later run.
    static bool uploadEndIsFinal(const std::optional<KitError>& error);

  private:
    TLYTallyController(std::filesystem::path root, Seams seams);
    void start(const std::optional<std::string>& betaToken);
    void setUp(const std::optional<std::string>& betaToken);
    void enqueueEvent(const std::shared_ptr<const TLYEvent>& event, bool crash);
    void recordEvent(const std::shared_ptr<const TLYEvent>& event,
                     const std::shared_ptr<Operation>& activity);
    void recordCrashEvent(const std::shared_ptr<const TLYEvent>& event,
                          const std::shared_ptr<Operation>& activity);
    bool shouldLogEvent() const;
    bool sampledOut(const TLYEvent& event) const;
    void logEventToNimbus(const TLYEvent& event);
    bool shouldSubmitLogAtURL(const std::filesystem::path& file) const;
    void rotateAndSubmitCurrentLog();
    std::vector<std::shared_ptr<Operation>> operationsForUncompressedLog(
        const std::filesystem::path& file);
    std::vector<std::shared_ptr<Operation>> operationsForCompressedLog(
        const std::filesystem::path& file);
    std::shared_ptr<Operation> uploadOperationForFileAtURL(const std::filesystem::path& file,
                                                           const std::string& boundary);
    std::shared_ptr<Operation> pruneOperation();
    void cleanupAndProcessExistingFiles();
    void uploadAllMultipartFiles();
    void uploadMultipartFiles(const std::set<std::filesystem::path>& files);
    void removeAllLogs();
    void setupFlushTimer();
    void flushTimerFired();
    std::filesystem::path generateNewLogPath() const;
    std::filesystem::path multipartMimeURLWithBoundary(const std::string& boundary) const;

    std::filesystem::path root_;
    Seams seams_;
    std::shared_ptr<OperationQueue> eventQueue_;
    std::vector<NotificationCenter::Token> observers_;
    // The members below are touched on the event queue only.
    std::filesystem::path rootEventDirectory_;
    std::shared_ptr<const TLYMetadata> metadata_;
    std::shared_ptr<const TLYCrashMetadata> previousExecutionMetadata_;
    std::shared_ptr<TLYUploader> uploader_;
    std::unique_ptr<TLYNetworkRetryHandler> networkRetryHandler_;
    std::filesystem::path currentLogURL_;
    TLYEventFilter eventFilter_;
    TLYSettings settings_;
    std::unique_ptr<TLYTimer> flushTimer_;
    std::unique_ptr<TLYNimbusAnalyticsBridge> nimbusAnalyticsBridge_;
    mutable bool saidSharingOff_ = false;  // one line per stretch of sharing off
};

}  // namespace talvor::kit
