#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "crash/WRKFileManager.h"
#include "kit/KitClock.h"
#include "kit/KitError.h"
#include "kit/Operation.h"
#include "kit/network/URLRequest.h"

// Sends packaged report files over the kit's HTTPS sessions. Each upload task is labelled
// with its file's path below the report root, so that a file already being sent is not sent
// twice and the file is found again when its task ends. An urgent upload is one blocking
// request on the calling thread. Retries follow the response rules with a growing wait (the
// server's "Retry-After" to the power of the attempt, at most an hour) and stop after
// `kRetryLimit` of them, reporting the failure, so the file waits for the next attempt of
// its owner instead of being hammered.
//
// A report counts as sent only when the service acknowledged it: a success by the response
// rules whose body, if any, is JSON. A reply cut off, past the session's cap, or anything
// else leaves the file for a later attempt.
//
// Background sessions (tasks that outlive the process) do not exist here. The server is
// trusted as the kit's service configuration says (the system's roots, or the configured
// "ServiceRootCertificates"); with "ServicePinnedCertificates" configured only a chain
// ending in one of those roots is, unless the kit host is in debug mode.
namespace talvor::crash {

inline constexpr char WRKNetworkErrorDomain[] = "WRKNetworkError";
inline constexpr std::int64_t WRKNetworkErrorUnreadableFile = -2;
inline constexpr std::int64_t WRKNetworkErrorRetryLimit = -6;

class WRKNetworkClientDelegate {
  public:
    virtual ~WRKNetworkClientDelegate() = default;
    virtual bool networkClientCanUseBackgroundSessions() = 0;
    // On the work queue; `error` none on success.
    virtual void networkClientDidFinishUpload(const std::filesystem::path& path,
                                              const std::optional<kit::KitError>& error) = 0;
};

struct WRKNetworkClientSeams {
    kit::Clock* clock = nullptr;  // the shared clock when none
    // Whether the kit host's debug flag is on; the host's own when empty.
    std::function<bool()> debug;
    // The trusted roots as PEM text; none: the kit's service configuration.
    std::optional<std::string> anchorsPEM;
};

class WRKNetworkClient {
  public:
    static constexpr int kRetryLimit = 5;

    using Seams = WRKNetworkClientSeams;

    // `delegate` must outlive the client; callbacks end with the client.
    WRKNetworkClient(std::shared_ptr<kit::OperationQueue> queue, WRKFileManager fileManager,
                     WRKNetworkClientDelegate* delegate, Seams seams = {});
    ~WRKNetworkClient();
    WRKNetworkClient(const WRKNetworkClient&) = delete;
    WRKNetworkClient& operator=(const WRKNetworkClient&) = delete;

    bool supportsBackgroundRequests() const;
    // Runs `block` at once: there is no background session to find again.
    void attemptToReconnectBackgroundSessionWithCompletionBlock(const std::function<void()>& block);
    // Immediately: one blocking request; only a success is reported (the file stays for a
    // later attempt otherwise). Else a task on the work queue, unless one for the same file
    // is still running.
    void startUploadRequest(const kit::URLRequest& request, const std::filesystem::path& filePath,
                            bool immediately);

    // The label of a file: its path below the root; none (said in the SDK log) outside it.
    std::optional<std::string> taskDescriptionForPath(const std::filesystem::path& path) const;
    // Seconds before retry `attempt` (1 for the first) for a reply asking `retryAfter`.
    static double retryDelay(double retryAfter, int attempt);

    struct Core;

  private:
    std::shared_ptr<Core> core_;
};

}  // namespace talvor::crash
