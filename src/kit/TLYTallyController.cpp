#include "kit/TLYTallyController.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>

#include "kit/KitConsent.h"
#include "kit/KitKeys.h"
#include "kit/KitPaths.h"
#include "kit/MainBundle.h"
#include "kit/TLYActivity.h"
#include "kit/TLYCurrentLogFile.h"
#include "kit/TLYEvent.h"
#include "kit/TLYFileUtils.h"
#include "kit/TLYLogFileOperations.h"
#include "kit/TLYLogger.h"
#include "kit/TLYWriteEventOperation.h"
#include "kit/TRLMultipartMimeStreamEncoder.h"
#include "kit/Trellis.h"
#include "kit/network/NetworkKeys.h"
#include "kit/network/TRLServiceTrust.h"

namespace talvor::kit {
namespace {

namespace fs = std::filesystem;

constexpr char kLogExtension[] = "log";
constexpr char kCompressedExtension[] = "gz";
constexpr char kPackagedExtension[] = "multipartmime";
constexpr char kTerminatedNotification[] = "NSApplicationWillTerminateNotification";

const char* const kLifecycleNotifications[] = {kTerminatedNotification,
                                               "NSApplicationWillResignActiveNotification",
                                               "NSApplicationDidBecomeActiveNotification"};

TLYLogger& logger() {
    return TLYLogger::sharedLogger();
}

std::string describeError(const KitError& error) {
    return describe(error);
}

}  // namespace

// Folders

fs::path TLYTallyController::rootDirectory() {
    return userCachesFolder() / "com.wreckord.data" /
           MainBundle::main()->bundleIdentifier().value_or("") / "analytics" / "v2";
}

fs::path TLYTallyController::eventDirectoryForRootDirectory(const fs::path& root) {
    return root / "events";
}

fs::path TLYTallyController::crashMetadataPathForRootDirectory(const fs::path& root) {
    return root / "crash_metadata";
}

std::optional<std::string> TLYTallyController::boundaryFromURL(const fs::path& file) {
    if (TLYFileUtils::extensionOf(file) != kPackagedExtension) {
        return std::nullopt;
    }
    return file.stem().string();
}

fs::path TLYTallyController::generateNewLogPath() const {
    return TLYCurrentLogFile::generateNewLogPath(rootEventDirectory_);
}

fs::path TLYTallyController::multipartMimeURLWithBoundary(const std::string& boundary) const {
    return rootEventDirectory_ / (boundary + "." + kPackagedExtension);
}

// Start

TLYTallyController::TLYTallyController(fs::path root, Seams seams)
    : root_(std::move(root)), seams_(std::move(seams)) {}

std::shared_ptr<TLYTallyController> TLYTallyController::make(
    const std::optional<std::string>& betaToken) {
    return make(betaToken, rootDirectory(), {});
}

std::shared_ptr<TLYTallyController> TLYTallyController::make(
    const std::optional<std::string>& betaToken, fs::path rootDirectory, Seams seams) {
    std::shared_ptr<TLYTallyController> controller(
        new TLYTallyController(std::move(rootDirectory), std::move(seams)));
    controller->start(betaToken);
    return controller;
}

void TLYTallyController::installAsTallyController() {
    Tally::setControllerFactory([](const std::optional<std::string>& token) {
        return std::shared_ptr<TLYEventRecorder>(make(token));
    });
}

TLYTallyController::~TLYTallyController() {
    for (const auto token : observers_) {
        NotificationCenter::defaultCenter().removeObserver(token);
    }
}

void TLYTallyController::start(const std::optional<std::string>& betaToken) {
    eventQueue_ = std::make_shared<OperationQueue>("io.tally.EventQueue");
    eventQueue_->setMaxConcurrentOperationCount(1);
    std::weak_ptr<TLYTallyController> weak = weak_from_this();
    eventQueue_->addOperation([weak, betaToken] {
        if (auto self = weak.lock()) {
            self->setUp(betaToken);
        }
    });
    auto& center = NotificationCenter::defaultCenter();
    for (const char* name : kLifecycleNotifications) {
        observers_.push_back(center.addObserver(name, nullptr, [weak](const Notification& n) {
            if (auto self = weak.lock()) {
                self->applicationLifecycleEvent(n.name);
            }
        }));
    }
    observers_.push_back(center.addObserver(keys::TRLSettingsAvailableNotification, [weak] {
        if (auto self = weak.lock()) {
            self->initializeSettingsIfNeededWithTrellisSettings(Trellis::sharedSDK().settings());
        }
    }));
    Trellis& host = Trellis::sharedSDK();
    if (host.isFirstInstall()) {
        enqueueEvent(TLYLifecycleEvent::installEvent(), false);
    }
    enqueueEvent(TLYLifecycleEvent::appLaunchedEvent(), false);
    initializeSettingsIfNeededWithTrellisSettings(host.settings());
    host.setAdvertisingToken(std::nullopt);
}

void TLYTallyController::setUp(const std::optional<std::string>& betaToken) {
    rootEventDirectory_ = eventDirectoryForRootDirectory(root_);
    std::error_code ignored;
    fs::create_directories(rootEventDirectory_, ignored);
    currentLogURL_ = generateNewLogPath();
    settings_ = TLYSettings();
    auto metadata = std::make_shared<TLYMetadata>(
        TLYMetadata::initWithTrellis(Trellis::sharedSDK(), betaToken));
    metadata_ = metadata;
    TLYRotateCrashMetadataOperation rotation(crashMetadataPathForRootDirectory(root_), *metadata);
    rotation.start();
    previousExecutionMetadata_ = rotation.crashMetadata();
    if (!previousExecutionMetadata_) {
        previousExecutionMetadata_ = std::make_shared<TLYCrashMetadata>();
    }
    networkRetryHandler_ =
        std::make_unique<TLYNetworkRetryHandler>(TRLServicePinner(), seams_.clock, seams_.random);
    uploader_ = TLYUploader::make(eventQueue_, weak_from_this(), seams_.uploadConfiguration);
    nimbusAnalyticsBridge_ = std::make_unique<TLYNimbusAnalyticsBridge>();
    cleanupAndProcessExistingFiles();
}

// Settings

void TLYTallyController::initializeSettingsIfNeededWithTrellisSettings(
    const std::optional<JsonValue>& dictionary) {
    std::weak_ptr<TLYTallyController> weak = weak_from_this();
    eventQueue_->addOperation([weak, dictionary] {
        const auto self = weak.lock();
        if (!self || !dictionary || self->settings_.valid()) {
            return;  // the first valid settings hold for the life of the process
        }
        self->settings_ = TLYSettings(dictionary);
        if (self->settings_.shouldCollectAnalytics()) {
            const JsonValue* analytics =
                dictionary->object() ? dictionary->object()->find("analytics") : nullptr;
            logger().log("Tally enabled with settings: " +
                         (analytics ? json::serialize(*analytics).value_or("(null)") : "(null)"));
            logger().log("Logging events to " + self->rootEventDirectory_.string());
            self->setupFlushTimer();
            self->uploader_->setDefaultUploadTimeout(self->settings_.defaultUploadTimeout());
            self->uploader_->setLowPowerUploadTimeout(self->settings_.lowPowerUploadTimeout());
            self->uploadAllMultipartFiles();
        } else {
            logger().log("Tally is disabled. Cleaning up.");
            self->removeAllLogs();
        }
    });
}

bool TLYTallyController::shouldLogEvent() const {
    // Nothing is kept while the user has sharing off: what is never written can never be
    // sent once sharing is switched on again.
    if (!TRLDataSharingAllowed()) {
        if (!saidSharingOff_) {
            saidSharingOff_ = true;
            logger().log("Sharing is off: usage events are not recorded.");
        }
        return false;
    }
    saidSharingOff_ = false;
    return !settings_.valid() || settings_.shouldCollectAnalytics();
}

bool TLYTallyController::sampledOut(const TLYEvent& event) const {
    if (!eventFilter_.shouldDiscardEvent(&event, metadata_->betaToken, metadata_->installationId,
                                         settings_.samplingRate())) {
        return false;
    }
    logger().log("Application is enabled for sampling, skipping " + event.description());
    return true;
}

// Events

void TLYTallyController::logEvent(std::shared_ptr<const TLYEvent> event) {
    logger().log("Logging Tally event: " + event->description());
    enqueueEvent(event, false);
}

void TLYTallyController::logCrashEvent(std::shared_ptr<const TLYCrashEvent> event) {
    enqueueEvent(std::move(event), true);
}

void TLYTallyController::applicationLifecycleEvent(const std::string& notificationName) {
    enqueueEvent(TLYLifecycleEvent::eventWithNotification(notificationName), false);
}

void TLYTallyController::enqueueEvent(const std::shared_ptr<const TLYEvent>& event, bool crash) {
    const auto activity = TLYActivityOperation::operationByStartingActivityName(
        crash ? "io.tally.RecordCrashEvent" : "io.tally.RecordEvent",
        TLYActivityTerminationDisabled);
    std::weak_ptr<TLYTallyController> weak = weak_from_this();
    std::weak_ptr<Operation> weakActivity = activity;
    auto record = BlockOperation::make([weak, event, crash, weakActivity] {
        const auto self = weak.lock();
        const auto protecting = weakActivity.lock();
        if (!self || !protecting) {
            return;
        }
        if (crash) {
            self->recordCrashEvent(event, protecting);
        } else {
            self->recordEvent(event, protecting);
        }
    });
    activity->addDependency(record);
    eventQueue_->addOperation(record);
    eventQueue_->addOperation(activity);
}

void TLYTallyController::recordEvent(const std::shared_ptr<const TLYEvent>& event,
                                     const std::shared_ptr<Operation>& activity) {
    if (!shouldLogEvent() || sampledOut(*event)) {
        return;
    }
    logEventToNimbus(*event);
    auto write = std::make_shared<TLYWriteEventOperation>(event, metadata_, currentLogURL_);
    activity->addDependency(write);
    eventQueue_->addOperation(write);
    // The quit's event closes the run's file as well, so a run's events leave with it.
    const bool quitting = event->name() == "app_terminated";
    if (shouldSubmitLogAtURL(currentLogURL_) || event->triggersFlush() || quitting) {
        rotateAndSubmitCurrentLog();
    }
}

void TLYTallyController::recordCrashEvent(const std::shared_ptr<const TLYEvent>& event,
                                          const std::shared_ptr<Operation>& activity) {
    logger().log("Attempting to log " + event->name());
    if (!shouldLogEvent() || sampledOut(*event)) {
        return;
    }
    std::error_code error;
    if (fs::is_regular_file(currentLogURL_, error)) {
        rotateAndSubmitCurrentLog();
    }
    auto write =
        std::make_shared<TLYWriteEventOperation>(event, previousExecutionMetadata_, currentLogURL_);
    activity->addDependency(write);
    eventQueue_->addOperation(write);
    rotateAndSubmitCurrentLog();
}

void TLYTallyController::logEventToNimbus(const TLYEvent& event) {
    if (!settings_.shouldForwardToNimbusAnalytics()) {
        return;
    }
    if (const auto* predefined = dynamic_cast<const TLYPredefinedEvent*>(&event);
        predefined != nullptr && predefined->predefinedEventName() == "purchase" &&
        !settings_.shouldIncludePurchaseEventsInForwardedNimbusEvents()) {
        return;
    }
    nimbusAnalyticsBridge_->logEvent(event);
}

bool TLYTallyController::shouldSubmitLogAtURL(const fs::path& file) const {
    return TLYCurrentLogFile::shouldSubmitLogAtURL(file, settings_.maximumPayloadSize());
}

// Rotation

void TLYTallyController::rotateAndSubmitCurrentLog() {
    const auto activity = TLYActivityOperation::operationByStartingActivityName(
        "io.tally.RotateAndSubmit", TLYActivityTerminationDisabled | TLYActivityBackground);
    const fs::path old = currentLogURL_;
    currentLogURL_ = generateNewLogPath();
    const auto operations = operationsForUncompressedLog(old);
    for (const auto& operation : operations) {
        activity->addDependency(operation);
    }
    eventQueue_->addOperations(operations, false);
    eventQueue_->addOperation(activity);
}

std::vector<std::shared_ptr<Operation>> TLYTallyController::operationsForUncompressedLog(
    const fs::path& file) {
    if (TLYFileUtils::extensionOf(file) != kLogExtension) {
        logger().log("Error: attempted to submit file with invalid extension " +
                     TLYFileUtils::extensionOf(file) + ", should be " + kLogExtension);
    }
    fs::path compressed = file;
    compressed.replace_extension(kCompressedExtension);
    auto compress = std::make_shared<TLYCompressLogOperation>(file, compressed);
    std::weak_ptr<TLYCompressLogOperation> weakCompress = compress;
    compress->setCompletionBlock([weakCompress, file] {
        // Only once the compressed copy is whole; otherwise the next start tries again.
        if (auto done = weakCompress.lock(); done && done->success()) {
            std::error_code ignored;
            fs::remove(file, ignored);
        }
    });
    auto rest = operationsForCompressedLog(compressed);
    rest.front()->addDependency(compress);
    rest.insert(rest.begin(), compress);
    return rest;
}

std::vector<std::shared_ptr<Operation>> TLYTallyController::operationsForCompressedLog(
    const fs::path& file) {
    if (TLYFileUtils::extensionOf(file) != kCompressedExtension) {
        logger().log("Error: attempted to submit file with invalid extension " +
                     TLYFileUtils::extensionOf(file) + ", should be " + kCompressedExtension);
    }
    const std::string boundary = TRLMultipartMimeStreamEncoder::generateBoundary();
    const fs::path packaged = multipartMimeURLWithBoundary(boundary);
    auto package = std::make_shared<TLYPackageLogOperation>(file, packaged, boundary);
    std::weak_ptr<TLYPackageLogOperation> weakPackage = package;
    package->setCompletionBlock([weakPackage, file] {
        if (auto done = weakPackage.lock(); done && done->success()) {
            std::error_code ignored;
            fs::remove(file, ignored);
        }
    });
    auto prune = pruneOperation();
    prune->addDependency(package);
    auto upload = uploadOperationForFileAtURL(packaged, boundary);
    upload->addDependency(prune);
    return {package, prune, upload};
}

// A run that cannot send (offline, no settings yet) packages a file on every activation:
// the folder keeps only the newest ones, as a new start does.
std::shared_ptr<Operation> TLYTallyController::pruneOperation() {
    std::weak_ptr<TLYTallyController> weak = weak_from_this();
    return BlockOperation::make([weak] {
        const auto self = weak.lock();
        if (!self) {
            return;
        }
        const auto limit = static_cast<std::size_t>(
            std::max<std::int64_t>(self->settings_.maxPendingSendFiles(), 0));
        std::vector<std::pair<double, fs::path>> byDate;
        for (const auto& file :
             TLYFileUtils::filesWithExtension(kPackagedExtension, self->rootEventDirectory_)) {
            byDate.emplace_back(TLYFileUtils::fileCreatedDateAtURL(file, 0), file);
        }
        if (byDate.size() <= limit) {
            return;
        }
        std::sort(byDate.begin(), byDate.end(), std::greater<>());
        for (std::size_t i = limit; i < byDate.size(); ++i) {
            std::error_code ignored;
            fs::remove(byDate[i].second, ignored);
        }
    });
}

std::shared_ptr<Operation> TLYTallyController::uploadOperationForFileAtURL(
    const fs::path& file, const std::string& boundary) {
    // The settings are asked when the upload's turn comes, not when it is queued: a file
    // packaged while the first settings were on their way is sent with them, not left for
    // the next start.
    std::weak_ptr<TLYTallyController> weak = weak_from_this();
    auto upload = BlockOperation::make([weak, file, boundary] {
        const auto self = weak.lock();
        if (!self || !self->settings_.valid()) {
            return;  // the file stays for the settings' arrival or a later run
        }
        TLYUploadOperation(self->uploader_, self->settings_.tallyURL(), self->metadata_->APIKey,
                           file, boundary)
            .start();
    });
    upload->setName("io.tally.Upload");
    return upload;
}

void TLYTallyController::cleanupAndProcessExistingFiles() {
    if (!TRLDataSharingAllowed()) {
        // Left by a run that had sharing on: switching it off withdraws them too.
        logger().log("Sharing is off: stored usage events dropped.");
        removeAllLogs();
        return;
    }
    auto cleanup = std::make_shared<TLYCleanupFilesOperation>(
        rootEventDirectory_,
        static_cast<std::uint64_t>(std::max<std::int64_t>(settings_.maxPendingSendFiles(), 0)));
    std::weak_ptr<TLYTallyController> weak = weak_from_this();
    cleanup->setSuccessBlock([weak](const std::set<fs::path>& eventFiles,
                                    const std::set<fs::path>& compressedFiles,
                                    const std::set<fs::path>& packagedFiles) {
        const auto self = weak.lock();
        if (!self) {
            return;
        }
        for (const auto& file : eventFiles) {
            if (file != self->currentLogURL_) {
                self->eventQueue_->addOperations(self->operationsForUncompressedLog(file), false);
            }
        }
        for (const auto& file : compressedFiles) {
            self->eventQueue_->addOperations(self->operationsForCompressedLog(file), false);
        }
        self->uploader_->attemptToReconnectBackgroundSessionWithCompletionBlock(
            [weak, packagedFiles] {
                if (auto again = weak.lock()) {
                    again->uploadMultipartFiles(packagedFiles);
                }
            });
    });
    eventQueue_->addOperation(cleanup);
}

void TLYTallyController::uploadAllMultipartFiles() {
    uploadMultipartFiles(TLYFileUtils::filesWithExtension(kPackagedExtension, rootEventDirectory_));
}

void TLYTallyController::uploadMultipartFiles(const std::set<fs::path>& files) {
    for (const auto& file : files) {
        if (const auto boundary = boundaryFromURL(file)) {
            eventQueue_->addOperation(uploadOperationForFileAtURL(file, *boundary));
        }
    }
}

void TLYTallyController::removeAllLogs() {
    for (const auto& file : TLYFileUtils::allFilesInDirectory(rootEventDirectory_)) {
        std::error_code ignored;
        fs::remove_all(file, ignored);
    }
}

// Flush timer

void TLYTallyController::setupFlushTimer() {
    const double interval = settings_.flushInterval();
    if (!(interval > 0)) {
        flushTimer_.reset();
        return;
    }
    std::weak_ptr<TLYTallyController> weak = weak_from_this();
    flushTimer_ = std::make_unique<TLYTimer>(
        interval, eventQueue_, "io.tally.TimedEventsFlush",
        [weak] {
            if (auto self = weak.lock()) {
                self->flushTimerFired();
            }
        },
        seams_.clock);
}

void TLYTallyController::flushTimerFired() {
    if (!(settings_.flushInterval() > 0)) {
        flushTimer_.reset();
        return;
    }
    if (shouldSubmitLogAtURL(currentLogURL_)) {
        rotateAndSubmitCurrentLog();
    }
}

// Uploader delegate

fs::path TLYTallyController::uploaderFilePathForUniqueName(TLYUploader&, const std::string& name) {
    return rootEventDirectory_ / (name + "." + kPackagedExtension);
}

bool TLYTallyController::uploadEndIsFinal(const std::optional<KitError>& error) {
    if (!error) {
        return true;
    }
    if (error->domain != keys::TRLNetworkErrorDomain) {
        return false;  // the transport failed: the file waits for a later run
    }
    return error->code == keys::TRLNetworkErrorClient ||
           error->code == TLYUploaderErrorMissingArgument ||
           error->code == TLYUploaderErrorUnreadable;
}

void TLYTallyController::uploaderDidFinishUpload(TLYUploader&, const std::string& name,
                                                 const std::optional<KitError>& error) {
    if (error) {
        logger().log("Failed to upload '" + name + "': " + describeError(*error));
    }
    logger().log("Finished transmission of '" + name + "'.");
    if (uploadEndIsFinal(error)) {
        std::error_code ignored;
        fs::remove(rootEventDirectory_ / (name + "." + kPackagedExtension), ignored);
    }
}

std::optional<bool> TLYTallyController::uploaderDidReceiveChallenge(const ServerTrust& trust) {
    return networkRetryHandler_ ? networkRetryHandler_->handleChallenge(trust) : std::nullopt;
}

void TLYTallyController::uploaderCompletedRequest(TLYUploader&, const URLRequest& request,
                                                  const std::optional<HTTPURLResponse>& response,
                                                  const std::string& name,
                                                  const std::optional<KitError>& error,
                                                  TLYNetworkRetryHandler::Completion handler) {
    networkRetryHandler_->handleCompletedRequest(
        request, response, name, error,
        [name, error, handler](bool retry, const std::optional<KitError>& handlerError) {
            if (error) {
                logger().log("Error transmitting '" + name + "': " + describeError(*error));
            }
            if (retry) {
                logger().log("Scheduling retry for '" + name + "'.");
            }
            handler(retry, handlerError);
        });
}

// Waiting

bool TLYTallyController::waitUntilIdle(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (eventQueue_->operationCount() == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return eventQueue_->operationCount() == 0;
}

bool TLYTallyController::drain(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const bool idle = eventQueue_->operationCount() == 0 &&
                          (!uploader_ || uploader_->uploadsInFlight().empty());
        if (idle) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace talvor::kit
