#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kit/KitClock.h"
#include "kit/KitError.h"
#include "kit/Operation.h"
#include "kit/RandomSource.h"
#include "kit/network/TRLCertificatePinner.h"
#include "kit/network/URLRequest.h"
#include "kit/network/WRKURLSession.h"

// Sending packaged event files: one POST per file, its body streamed from the file, tried
// again with growing, jittered waits while the response rules ask for it.
namespace talvor::kit {

inline constexpr char TLYUploaderUniqueNameKey[] = "TLYUploaderUniqueName";
inline constexpr char TLYNetworkRetryHandlerIdentifierKey[] = "TLYNetworkRetryHandlerIdentifier";
inline constexpr std::int64_t TLYUploaderErrorMissingArgument = -2;
inline constexpr std::int64_t TLYRetryErrorExhausted = -6;
inline constexpr std::int64_t TLYRetryErrorNoTimer = -7;
inline constexpr std::int64_t TLYUploaderErrorUnreadable = -8;

// Waits that double (or grow by the server's wait) with every retry.
class TLYBackoffTimer {
  public:
    // The longest wait, whatever the server asks for: an hour.
    static constexpr double kMaxDelay = 3600.0;

    explicit TLYBackoffTimer(double initialValue = 0, Clock* clock = nullptr,
                             RandomSource* random = nullptr);
    TLYBackoffTimer(double initialValue, double jitterCoefficient, Clock* clock = nullptr,
                    RandomSource* random = nullptr);

    static bool jitterCoefficientIsValid(double coefficient) {
        return coefficient >= 0 && coefficient < 1;
    }
    // Counts one more retry and runs `block` on the clock's thread after its wait.
    void executeBlockAfterNextInterval(std::function<void()> block);
    // (the larger of 2 and `initialValue`) to the power of the count (1 for 0), spread by
    // the jitter, at most kMaxDelay.
    double computeDelay(double initialValue, std::uint64_t retryCount) const;
    double generateRandomJitter() const;

    std::uint64_t retryCount() const { return retryCount_; }
    double initialValue() const { return initialValue_; }
    double jitterCoefficient() const { return jitter_; }

  private:
    std::uint64_t retryCount_ = 0;
    double initialValue_;
    double jitter_;
    Clock* clock_;
    RandomSource* random_;
};

// Whether a finished upload is tried again, and when.
class TLYNetworkRetryHandler {
  public:
    using Completion = std::function<void(bool retry, const std::optional<KitError>& error)>;
    static constexpr std::uint64_t kDefaultMaxRetries = 10;

    // `pinner`: the only roots trusted (none: the session's default handling).
    explicit TLYNetworkRetryHandler(std::optional<TRLCertificatePinner> pinner = std::nullopt,
                                    Clock* clock = nullptr, RandomSource* random = nullptr);

    // None: the default handling.
    std::optional<bool> handleChallenge(const ServerTrust& trust) const;
    void handleCompletedRequest(const URLRequest& request,
                                const std::optional<HTTPURLResponse>& response,
                                const std::string& identifier, const std::optional<KitError>& error,
                                Completion completion,
                                std::uint64_t maxRetries = kDefaultMaxRetries);
    // The identifier's timer (made with `initialRetryValue` on first use); none for an empty
    // identifier.
    std::shared_ptr<TLYBackoffTimer> timerForIdentifier(const std::string& identifier,
                                                        double initialRetryValue);
    static KitError errorWithCode(std::int64_t code, const std::string& identifier,
                                  const URLRequest& request);

  private:
    std::optional<TRLCertificatePinner> pinner_;
    Clock* clock_;
    RandomSource* random_;
    std::mutex mutex_;  // guards retryTimerMap_
    std::map<std::string, std::shared_ptr<TLYBackoffTimer>> retryTimerMap_;
};

class TLYUploader;

class TLYUploaderDelegate {
  public:
    virtual ~TLYUploaderDelegate() = default;
    virtual std::filesystem::path uploaderFilePathForUniqueName(TLYUploader& uploader,
                                                                const std::string& name) = 0;
    virtual void uploaderDidFinishUpload(TLYUploader& uploader, const std::string& name,
                                         const std::optional<KitError>& error) = 0;
    // Runs on the transfer thread while the connection waits; none: the default handling.
    virtual std::optional<bool> uploaderDidReceiveChallenge(const ServerTrust&) {
        return std::nullopt;
    }
    virtual void uploaderCompletedRequest(TLYUploader& uploader, const URLRequest& request,
                                          const std::optional<HTTPURLResponse>& response,
                                          const std::string& name,
                                          const std::optional<KitError>& error,
                                          TLYNetworkRetryHandler::Completion handler) = 0;
};

// Runs the uploads on the operation queue it is given; every delegate call comes there.
class TLYUploader : public std::enable_shared_from_this<TLYUploader> {
  public:
    // `configuration`: the session's base (its roots); the service's configuration when none.
    static std::shared_ptr<TLYUploader> make(
        const std::shared_ptr<OperationQueue>& queue, std::weak_ptr<TLYUploaderDelegate> delegate,
        std::optional<WRKURLSessionConfiguration> configuration = std::nullopt);
    ~TLYUploader();

    double defaultUploadTimeout() const { return defaultUploadTimeout_; }
    double lowPowerUploadTimeout() const { return lowPowerUploadTimeout_; }
    // Each stores the value and drops the session (on the queue); running uploads go on.
    void setDefaultUploadTimeout(double seconds);
    void setLowPowerUploadTimeout(double seconds);
    static bool lowPowerMode() { return false; }
    // Never inside an application extension; elsewhere only where background sessions exist,
    // which they do not here.
    static bool supportsBackgroundRequests();

    // On the queue. A name already being sent (or waiting for its retry) is skipped.
    void startUploadRequest(const URLRequest& request, const std::string& filePath,
                            const std::string& uniqueName);
    // No background session exists here: runs `block` on the queue.
    void attemptToReconnectBackgroundSessionWithCompletionBlock(std::function<void()> block);
    // The names whose upload has not ended.
    std::set<std::string> uploadsInFlight() const;

  private:
    TLYUploader() = default;
    std::shared_ptr<WRKURLSession> session();
    void startNewUploadRequest(const URLRequest& request, const std::string& filePath,
                               const std::string& uniqueName);
    void taskCompleted(const URLRequest& request, const std::string& name,
                       const std::optional<HTTPURLResponse>& response,
                       const std::optional<KitError>& error);
    void restartTask(const URLRequest& request, const std::string& name);
    void finish(const std::string& name, const std::optional<KitError>& error);
    void dropSession();

    std::weak_ptr<OperationQueue> queue_;
    std::weak_ptr<TLYUploaderDelegate> delegate_;
    WRKURLSessionConfiguration configuration_;
    double defaultUploadTimeout_ = 3600;
    double lowPowerUploadTimeout_ = 21600;
    std::shared_ptr<WRKURLSession> session_;
    std::vector<std::shared_ptr<WRKURLSession>> retiredSessions_;
    mutable std::mutex mutex_;  // guards inFlight_
    std::set<std::string> inFlight_;
};

// One upload of a packaged file: the request's header fields, then the uploader. It ends
// when the upload has started, not when it ends.
class TLYUploadOperation final : public Operation {
  public:
    TLYUploadOperation(std::shared_ptr<TLYUploader> uploader, std::optional<std::string> tallyURL,
                       std::optional<std::string> apiKey, std::filesystem::path multipartURL,
                       std::string boundary);
    void main() override;
    // The request as it is sent (for the time `now`, seconds since 1970).
    URLRequest requestForTime(double now) const;
    static constexpr char kUserAgent[] = "Tally Mac SDK/1.3.7";

  private:
    std::shared_ptr<TLYUploader> uploader_;
    std::optional<std::string> tallyURL_;
    std::optional<std::string> apiKey_;
    std::filesystem::path multipartURL_;
    std::string boundary_;
};

}  // namespace talvor::kit
