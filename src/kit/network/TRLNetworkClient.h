#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "kit/DispatchQueue.h"
#include "kit/KitClock.h"
#include "kit/Operation.h"
#include "kit/RandomSource.h"
#include "kit/network/TRLCertificatePinner.h"
#include "kit/network/WRKURLSession.h"

// Runs the kit's requests on a session and tries them again with growing, jittered waits
// while the response rules ask for it.
namespace talvor::kit {

class TRLNetworkClient {
  public:
    using DataCompletion = WRKURLSessionTask::DataCompletion;
    using DownloadCompletion = WRKURLSessionTask::DownloadCompletion;
    static constexpr std::uint64_t kDefaultRetryLimit = 10;
    // The longest wait before a retry (an hour), whatever the server asks for.
    static constexpr double kMaxRetryDelay = 3600.0;

    struct Seams {
        Clock* clock = nullptr;          // the shared clock when none
        RandomSource* random = nullptr;  // the shared source when none
        // Whether the host's debug flag is on (pinning is then skipped); the host's own
        // flag when empty.
        std::function<bool()> debug;
    };

    // None when no session could be made. With pinned certificates (even none) only those
    // roots are trusted; without, the configuration's.
    static std::unique_ptr<TRLNetworkClient> initWithSessionConfiguration(
        const std::optional<WRKURLSessionConfiguration>& configuration,
        std::shared_ptr<OperationQueue> queue = nullptr,
        std::optional<std::vector<TRLCertificate>> pinnedCertificates = std::nullopt);
    static std::unique_ptr<TRLNetworkClient> initWithSessionConfiguration(
        const std::optional<WRKURLSessionConfiguration>& configuration,
        std::shared_ptr<OperationQueue> queue,
        std::optional<std::vector<TRLCertificate>> pinnedCertificates, Seams seams);
    static std::unique_ptr<TRLNetworkClient> initWithQueue(
        std::shared_ptr<OperationQueue> queue = nullptr,
        std::optional<std::vector<TRLCertificate>> pinnedCertificates = std::nullopt);
    // The session finishes its tasks and is let go; retries not yet started are dropped.
    ~TRLNetworkClient();
    TRLNetworkClient(const TRLNetworkClient&) = delete;
    TRLNetworkClient& operator=(const TRLNetworkClient&) = delete;

    void startDataTaskWithRequest(const URLRequest& request, DataCompletion completion);
    void startDataTaskWithRequest(const URLRequest& request, std::uint64_t retryLimit,
                                  DataCompletion completion);
    void startDataTaskWithRequest(const URLRequest& request, std::uint64_t retryLimit,
                                  std::uint64_t tries, DataCompletion completion);
    void startDownloadTaskWithRequest(const URLRequest& request, DownloadCompletion completion);
    void startDownloadTaskWithRequest(const URLRequest& request, std::uint64_t retryLimit,
                                      DownloadCompletion completion);
    void startDownloadTaskWithRequest(const URLRequest& request, std::uint64_t retryLimit,
                                      std::uint64_t tries, DownloadCompletion completion);

    // Seconds to wait before retry `retryCount` + 1: the server's wait (2 at least) raised
    // to the count (1 for 0), spread by ±10 %, at most an hour.
    double computeDelayForResponse(const std::optional<HTTPURLResponse>& response,
                                   std::uint64_t retryCount) const;
    double generateRandomJitter() const;
    double randomDoubleWithMin(double min, double max) const;
    void runAfterRetryValueFromResponse(const std::optional<HTTPURLResponse>& response,
                                        std::uint64_t attempts, DispatchQueue& queue,
                                        DispatchQueue::Work block) const;
    void runAfterRetryValueFromResponse(const std::optional<HTTPURLResponse>& response,
                                        std::uint64_t attempts, DispatchQueue::Work block) const;

    void invalidateAndCancel();
    const std::shared_ptr<WRKURLSession>& session() const;
    const std::optional<TRLCertificatePinner>& certPinner() const;

    struct Core;

  private:
    explicit TRLNetworkClient(std::shared_ptr<Core> core);
    std::shared_ptr<Core> core_;
};

}  // namespace talvor::kit
