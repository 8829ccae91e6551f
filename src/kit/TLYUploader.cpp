#include "kit/TLYUploader.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "kit/KitConsent.h"
#include "kit/TLYApplication.h"
#include "kit/TLYFileUtils.h"
#include "kit/TLYLogger.h"
#include "kit/TRLMultipartMimeStreamEncoder.h"
#include "kit/Trellis.h"
#include "kit/network/NetworkKeys.h"
#include "kit/network/TRLNetworkResponseHandler.h"
#include "kit/network/TRLServiceTrust.h"

namespace talvor::kit {
namespace {

constexpr double kDefaultJitter = static_cast<double>(0.1f);

Clock::Duration saturatingSeconds(double seconds) {
    const double limit =
        std::chrono::duration<double>(Clock::Duration::max()).count() / 2;  // room to add
    if (!(seconds > 0)) {
        return Clock::Duration::zero();
    }
    return std::chrono::duration_cast<Clock::Duration>(
        std::chrono::duration<double>(std::min(seconds, limit)));
}

}  // namespace

// Back-off

TLYBackoffTimer::TLYBackoffTimer(double initialValue, Clock* clock, RandomSource* random)
    : TLYBackoffTimer(initialValue, kDefaultJitter, clock, random) {}

TLYBackoffTimer::TLYBackoffTimer(double initialValue, double jitterCoefficient, Clock* clock,
                                 RandomSource* random)
    : initialValue_(initialValue),
      jitter_(jitterCoefficientIsValid(jitterCoefficient) ? jitterCoefficient : kDefaultJitter),
      clock_(clock != nullptr ? clock : &Clock::shared()),
      random_(random != nullptr ? random : &RandomSource::shared()) {}

double TLYBackoffTimer::generateRandomJitter() const {
    const double j = jitterCoefficientIsValid(jitter_) ? jitter_ : kDefaultJitter;
    const double min = 1 - j;
    const double max = 1 + j;
    return min + (max - min) * random_->nextUniform();
}

double TLYBackoffTimer::computeDelay(double initialValue, std::uint64_t retryCount) const {
    const double factor = generateRandomJitter();
    const double exponent = retryCount == 0 ? 1.0 : static_cast<double>(retryCount);
    const double base = std::max(2.0, std::isfinite(initialValue) ? initialValue : 2.0);
    // The server's wait grows by its own power; past an hour it would only strand the file.
    return std::min(std::pow(base, exponent) * factor, kMaxDelay);
}

void TLYBackoffTimer::executeBlockAfterNextInterval(std::function<void()> block) {
    ++retryCount_;
    const double delay = computeDelay(initialValue_, retryCount_);
    clock_->schedule(saturatingSeconds(delay), std::move(block));
}

// Retry decision

TLYNetworkRetryHandler::TLYNetworkRetryHandler(std::optional<TRLCertificatePinner> pinner,
                                               Clock* clock, RandomSource* random)
    : pinner_(std::move(pinner)), clock_(clock), random_(random) {}

std::optional<bool> TLYNetworkRetryHandler::handleChallenge(const ServerTrust& trust) const {
    if (Trellis::sharedSDK().debug() || !pinner_) {
        return std::nullopt;
    }
    return pinner_->handleChallenge(trust);
}

std::shared_ptr<TLYBackoffTimer> TLYNetworkRetryHandler::timerForIdentifier(
    const std::string& identifier, double initialRetryValue) {
    if (identifier.empty()) {
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    auto& timer = retryTimerMap_[identifier];
    if (!timer) {
        timer = std::make_shared<TLYBackoffTimer>(initialRetryValue, clock_, random_);
    }
    return timer;
}

KitError TLYNetworkRetryHandler::errorWithCode(std::int64_t code, const std::string& identifier,
                                               const URLRequest& request) {
    std::map<std::string, std::string> info{
        {TLYNetworkRetryHandlerIdentifierKey, identifier.empty() ? "(null)" : identifier}};
    if (!request.URL.empty()) {
        info.emplace(keys::NSURLErrorFailingURLStringErrorKey, request.URL);
    }
    return KitError(keys::TRLNetworkErrorDomain, code, std::nullopt, {}, std::move(info));
}

void TLYNetworkRetryHandler::handleCompletedRequest(const URLRequest& request,
                                                    const std::optional<HTTPURLResponse>& response,
                                                    const std::string& identifier,
                                                    const std::optional<KitError>& error,
                                                    Completion completion,
                                                    std::uint64_t maxRetries) {
    TRLNetworkResponseHandler::handleCompletedResponse(
        response, request, error, [&](bool retry, const std::optional<KitError>& handlerError) {
            if (!retry) {
                completion(false, handlerError);
                return;
            }
            const double initial = TRLNetworkResponseHandler::retryValueForResponse(response);
            const auto timer = timerForIdentifier(identifier, initial);
            if (!timer) {
                completion(false, handlerError
                                      ? *handlerError
                                      : errorWithCode(TLYRetryErrorNoTimer, identifier, request));
                return;
            }
            if (timer->retryCount() <= maxRetries) {
                timer->executeBlockAfterNextInterval(
                    [completion, handlerError] { completion(true, handlerError); });
                return;
            }
            completion(false, handlerError
                                  ? *handlerError
                                  : errorWithCode(TLYRetryErrorExhausted, identifier, request));
        });
}

// Uploader

std::shared_ptr<TLYUploader> TLYUploader::make(
    const std::shared_ptr<OperationQueue>& queue, std::weak_ptr<TLYUploaderDelegate> delegate,
    std::optional<WRKURLSessionConfiguration> configuration) {
    std::shared_ptr<TLYUploader> uploader(new TLYUploader());
    uploader->queue_ = queue;
    uploader->delegate_ = std::move(delegate);
    uploader->configuration_ =
        configuration ? std::move(*configuration) : TRLServiceSessionConfiguration();
    return uploader;
}

TLYUploader::~TLYUploader() = default;

std::shared_ptr<WRKURLSession> TLYUploader::session() {
    if (!session_) {
        WRKURLSessionConfiguration configuration = configuration_;
        configuration.timeoutIntervalForResource =
            lowPowerMode() ? lowPowerUploadTimeout_ : defaultUploadTimeout_;
        auto delegate = std::make_shared<WRKURLSessionDelegate>();
        std::weak_ptr<TLYUploaderDelegate> weakDelegate = delegate_;
        delegate->didReceiveChallenge = [weakDelegate](const ServerTrust& trust) {
            const auto target = weakDelegate.lock();
            return target ? target->uploaderDidReceiveChallenge(trust) : std::nullopt;
        };
        session_ = WRKURLSession::sessionWithConfiguration(configuration, std::move(delegate),
                                                           queue_.lock());
    }
    return session_;
}

void TLYUploader::dropSession() {
    // A session ends its transfers when it goes, so a dropped one is kept until they are done.
    std::erase_if(retiredSessions_, [](const auto& old) {
        const auto tasks = old->tasks();
        return tasks.uploadTasks.empty() && tasks.dataTasks.empty() && tasks.downloadTasks.empty();
    });
    if (session_) {
        retiredSessions_.push_back(std::move(session_));
        session_.reset();
    }
}

void TLYUploader::setDefaultUploadTimeout(double seconds) {
    std::weak_ptr<TLYUploader> weak = weak_from_this();
    if (auto queue = queue_.lock()) {
        queue->addOperation([weak, seconds] {
            if (auto self = weak.lock()) {
                self->defaultUploadTimeout_ = seconds;
                self->dropSession();
            }
        });
    }
}

void TLYUploader::setLowPowerUploadTimeout(double seconds) {
    std::weak_ptr<TLYUploader> weak = weak_from_this();
    if (auto queue = queue_.lock()) {
        queue->addOperation([weak, seconds] {
            if (auto self = weak.lock()) {
                self->lowPowerUploadTimeout_ = seconds;
                self->dropSession();
            }
        });
    }
}

std::set<std::string> TLYUploader::uploadsInFlight() const {
    std::lock_guard lock(mutex_);
    return inFlight_;
}

void TLYUploader::startUploadRequest(const URLRequest& request, const std::string& filePath,
                                     const std::string& uniqueName) {
    bool running = false;
    {
        std::lock_guard lock(mutex_);
        running = !uniqueName.empty() && inFlight_.count(uniqueName) > 0;
    }
    // The sessions' own lists as well.
    const auto hasTask = [&](const std::shared_ptr<WRKURLSession>& session) {
        return session && session->taskWithDescription(uniqueName) != nullptr;
    };
    if (running || (!uniqueName.empty() &&
                    (hasTask(session_) ||
                     std::any_of(retiredSessions_.begin(), retiredSessions_.end(), hasTask)))) {
        TLYLogger::sharedLogger().logWithLabel(
            "TLYUploader", "A task currently exists for '" + uniqueName + "', skipping");
        return;
    }
    if (!uniqueName.empty()) {
        std::lock_guard lock(mutex_);
        inFlight_.insert(uniqueName);
    }
    startNewUploadRequest(request, filePath, uniqueName);
}

void TLYUploader::startNewUploadRequest(const URLRequest& request, const std::string& filePath,
                                        const std::string& uniqueName) {
    const auto end = [&](const KitError& error) {
        std::weak_ptr<TLYUploader> weak = weak_from_this();
        if (auto queue = queue_.lock()) {
            queue->addOperation([weak, uniqueName, error] {
                if (auto self = weak.lock()) {
                    self->finish(uniqueName, error);
                }
            });
        }
    };
    const auto fail = [&](std::int64_t code) {
        end(KitError(keys::TRLNetworkErrorDomain, code, std::nullopt, {},
                     {{"NSFilePath", filePath.empty() ? "(null)" : filePath},
                      {TLYUploaderUniqueNameKey, uniqueName.empty() ? "(null)" : uniqueName}}));
    };
    if (request.URL.empty() || filePath.empty() || uniqueName.empty()) {
        fail(TLYUploaderErrorMissingArgument);
        return;
    }
    if (::access(filePath.c_str(), R_OK) != 0) {
        fail(TLYUploaderErrorUnreadable);
        return;
    }
    const auto current = session();
    if (!current) {
        // The transport's failure, not the file's: the file waits for a run that can send it.
        end(WRKURLSession::unavailableError(request.URL));
        return;
    }
    std::weak_ptr<TLYUploader> weak = weak_from_this();
    auto task = current->uploadTaskWithRequest(
        request, filePath,
        [weak, request, uniqueName](const std::string&,
                                    const std::optional<HTTPURLResponse>& response,
                                    const std::optional<KitError>& error) {
            if (auto self = weak.lock()) {
                self->taskCompleted(request, uniqueName, response, error);
            }
        });
    task->setTaskDescription(uniqueName);
    task->resume();
}

void TLYUploader::taskCompleted(const URLRequest& request, const std::string& name,
                                const std::optional<HTTPURLResponse>& response,
                                const std::optional<KitError>& error) {
    const auto delegate = delegate_.lock();
    if (!delegate) {
        std::lock_guard lock(mutex_);
        inFlight_.erase(name);
        return;
    }
    std::weak_ptr<TLYUploader> weak = weak_from_this();
    delegate->uploaderCompletedRequest(
        *this, request, response, name, error,
        [weak, request, name](bool retry, const std::optional<KitError>& finalError) {
            const auto self = weak.lock();
            if (!self) {
                return;
            }
            if (retry) {
                TLYLogger::sharedLogger().log("Retrying task with name " + name);
                self->restartTask(request, name);
            } else {
                // The completion may come from a timer's thread: the end is told on the queue.
                if (auto queue = self->queue_.lock()) {
                    queue->addOperation([weak, name, finalError] {
                        if (auto again = weak.lock()) {
                            again->finish(name, finalError);
                        }
                    });
                }
            }
        });
}

void TLYUploader::restartTask(const URLRequest& request, const std::string& name) {
    std::weak_ptr<TLYUploader> weak = weak_from_this();
    if (auto queue = queue_.lock()) {
        queue->addOperation([weak, request, name] {
            const auto self = weak.lock();
            const auto delegate = self ? self->delegate_.lock() : nullptr;
            if (!delegate) {
                return;
            }
            const auto path = delegate->uploaderFilePathForUniqueName(*self, name);
            // The same request: its header values (the packaged time too) are the first try's.
            self->startNewUploadRequest(request, path.string(), name);
        });
    }
}

void TLYUploader::finish(const std::string& name, const std::optional<KitError>& error) {
    {
        std::lock_guard lock(mutex_);
        inFlight_.erase(name);
    }
    if (const auto delegate = delegate_.lock()) {
        delegate->uploaderDidFinishUpload(*this, name, error);
    }
}

bool TLYUploader::supportsBackgroundRequests() {
    if (TLYApplication::hostApplication().isExtension()) {
        return false;
    }
    return WRKURLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(
               "io.tally.background-session")
        .has_value();
}

void TLYUploader::attemptToReconnectBackgroundSessionWithCompletionBlock(
    std::function<void()> block) {
    if (auto queue = queue_.lock()) {
        queue->addOperation(std::move(block));
    }
}

// Upload operation

TLYUploadOperation::TLYUploadOperation(std::shared_ptr<TLYUploader> uploader,
                                       std::optional<std::string> tallyURL,
                                       std::optional<std::string> apiKey,
                                       std::filesystem::path multipartURL, std::string boundary)
    : uploader_(std::move(uploader)),
      tallyURL_(std::move(tallyURL)),
      apiKey_(std::move(apiKey)),
      multipartURL_(std::move(multipartURL)),
      boundary_(std::move(boundary)) {}

URLRequest TLYUploadOperation::requestForTime(double now) const {
    URLRequest request;
    request.URL = tallyURL_.value_or("");
    request.HTTPMethod = "POST";
    request.setValue(
        TRLMultipartMimeStreamEncoder::contentTypeHTTPHeaderValueWithBoundary(boundary_),
        "Content-Type");
    request.setValue(std::to_string(TLYFileUtils::fileSizeAtURL(multipartURL_)), "Content-Length");
    request.setValue(kUserAgent, "User-Agent");
    request.setValue(keys::TRLDeveloperToken, "X-WRECKORD-DEVELOPER-TOKEN");
    request.setValue("Tally Mac SDK", "X-WRECKORD-API-CLIENT-TYPE");
    request.setValue("30", "X-WRECKORD-API-CLIENT-VERSION");
    request.setValue("1.3.7", "X-WRECKORD-API-CLIENT-DISPLAY-VERSION");
    request.setValue("30", "X-WRECKORD-API-CLIENT-BUILD-VERSION");
    request.setValue(apiKey_.value_or(""), "X-WRECKORD-API-KEY");
    const double seconds = std::max(0.0, std::floor(now));
    request.setValue(std::to_string(static_cast<std::uint64_t>(seconds)),
                     "X-Wreckord-Api-Client-Packaged-Timestamp");
    return request;
}

void TLYUploadOperation::main() {
    if (isCancelled() || !uploader_) {
        return;
    }
    // Nothing leaves the machine without an endpoint (the file stays for a run that has one)
    // or against the user's choice: what was gathered while sharing was off is dropped, so
    // that switching it on later never sends it.
    if (!tallyURL_) {
        return;
    }
    if (!TRLDataSharingAllowed()) {
        std::error_code ignored;
        std::filesystem::remove(multipartURL_, ignored);
        TLYLogger::sharedLogger().log("Sharing is off: packaged events for '" +
                                      multipartURL_.stem().string() + "' dropped.");
        return;
    }
    const URLRequest request = requestForTime(Clock::shared().wallSeconds());
    const std::string uniqueName = multipartURL_.stem().string();
    TLYLogger::sharedLogger().log("Transmitting packaged events for '" + uniqueName + "'.");
    uploader_->startUploadRequest(request, multipartURL_.string(), uniqueName);
}

}  // namespace talvor::kit
