#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kit/KitError.h"
#include "kit/Operation.h"
#include "kit/network/NetworkModule.h"
#include "kit/network/URLRequest.h"

// The kit's URL sessions, on the network module's transfers (libcurl): each session runs its
// transfers on one thread of its own (a curl multi handle) and hands every callback to its delegate
// queue.
namespace talvor::kit {

struct WRKURLSessionState;

struct WRKURLSessionConfiguration {
    // Added to every request of the session, beside a value the request has already.
    HTTPHeaderFields HTTPAdditionalHeaders;
    double timeoutIntervalForRequest = 60.0;
    // The longest a whole transfer may take.
    double timeoutIntervalForResource = 7 * 24 * 3600.0;
    // The roots the "default handling" of a server's certificate trusts, as PEM text; none:
    // the system's bundle.
    std::optional<std::string> defaultAnchorsPEM;
    // The kit's replies are small JSON documents; the largest, the settings, is a MiB at most.
    static constexpr std::uint64_t kDefaultMaximumResponseBytes = 1024 * 1024;
    // The longest reply body any request of the session reads, whatever its framing (a
    // request may set its own): a server answering without end must not fill the memory.
    // Past it the transfer stops with a URL error -1103, never tried again.
    std::uint64_t maximumResponseBytes = kDefaultMaximumResponseBytes;

    static WRKURLSessionConfiguration defaultSessionConfiguration() { return {}; }
    // Background sessions do not exist here: always none, and callers take the default.
    static std::optional<WRKURLSessionConfiguration> backgroundSessionConfigurationWithIdentifier(
        const std::string& identifier);
};

class WRKURLSession;

class WRKURLSessionTask {
  public:
    enum class Kind { Data, Upload, Download };
    using DataCompletion =
        std::function<void(const std::string& data, const std::optional<HTTPURLResponse>& response,
                           const std::optional<KitError>& error)>;
    // The file is deleted when the handler returns: move or read it before.
    using DownloadCompletion = std::function<void(const std::optional<std::string>& location,
                                                  const std::optional<HTTPURLResponse>& response,
                                                  const std::optional<KitError>& error)>;

    ~WRKURLSessionTask();
    WRKURLSessionTask(const WRKURLSessionTask&) = delete;
    WRKURLSessionTask& operator=(const WRKURLSessionTask&) = delete;

    Kind kind() const { return kind_; }
    std::uint64_t taskIdentifier() const { return identifier_; }
    // The request as sent (the session's headers merged in).
    const URLRequest& originalRequest() const { return request_; }
    std::string taskDescription() const;
    void setTaskDescription(std::string description);
    // Starts the transfer; a second call does nothing.
    void resume();
    // Stops the transfer; it completes with a cancelled error (-999).
    void cancel();

    struct Transfer;

  private:
    friend class WRKURLSession;
    friend struct WRKURLSessionState;
    WRKURLSessionTask(Kind kind, std::uint64_t identifier, URLRequest request,
                      std::optional<std::string> bodyFile);

    const Kind kind_;
    const std::uint64_t identifier_;
    URLRequest request_;
    std::optional<std::string> bodyFile_;
    DataCompletion completionHandler_;
    DownloadCompletion downloadCompletionHandler_;
    bool invokesDelegate_ = true;
    std::weak_ptr<WRKURLSessionState> session_;
    std::atomic<bool> resumed_{false};
    mutable std::mutex mutex_;  // guards description_
    std::string description_;
};

using WRKURLSessionTaskRef = std::shared_ptr<WRKURLSessionTask>;

// The session's delegate: each member may be empty ("does not answer").
struct WRKURLSessionDelegate {
    std::function<void(const WRKURLSessionTaskRef&, const std::optional<KitError>&)>
        didCompleteWithError;
    std::function<void(const WRKURLSessionTaskRef&, const HTTPURLResponse&)> didReceiveResponse;
    std::function<void(const WRKURLSessionTaskRef&, const std::string& data)> didReceiveData;
    std::function<void(const WRKURLSessionTaskRef&, const std::string& location)>
        didFinishDownloadingToURL;
    // Decides whether a server's certificate chain is trusted: none is the default
    // handling (the configuration's roots), as is an empty member. It runs on the
    // session's transfer thread while the connection waits, so it must not wait for the
    // delegate queue.
    std::function<std::optional<bool>(const ServerTrust&)> didReceiveChallenge;
};

class WRKURLSession {
  public:
    // None without a configuration, or without the network module (NetworkModule.h). Without
    // a delegate queue the session makes its own, running one callback at a time.
    static std::shared_ptr<WRKURLSession> sessionWithConfiguration(
        const std::optional<WRKURLSessionConfiguration>& configuration,
        std::shared_ptr<WRKURLSessionDelegate> delegate = nullptr,
        std::shared_ptr<OperationQueue> delegateQueue = nullptr);
    static std::shared_ptr<OperationQueue> newDefaultDelegateQueue();
    // Cancels what still runs, silently, and ends the transfer thread.
    ~WRKURLSession();
    WRKURLSession(const WRKURLSession&) = delete;
    WRKURLSession& operator=(const WRKURLSession&) = delete;

    WRKURLSessionTaskRef dataTaskWithRequest(const URLRequest& request,
                                             WRKURLSessionTask::DataCompletion handler = {});
    // Sends the file as the body, read piece by piece (a "Content-Length" of the request is
    // replaced by the file's size).
    WRKURLSessionTaskRef uploadTaskWithRequest(const URLRequest& request,
                                               const std::string& fromFile,
                                               WRKURLSessionTask::DataCompletion handler = {});
    // Writes the body to a temporary file, deleted after the completion.
    WRKURLSessionTaskRef downloadTaskWithRequest(
        const URLRequest& request, WRKURLSessionTask::DownloadCompletion handler = {});

    struct TaskLists {
        std::vector<WRKURLSessionTaskRef> dataTasks, uploadTasks, downloadTasks;
    };
    // The tasks made and not yet completed, on the delegate queue.
    void getTasksWithCompletionHandler(std::function<void(const TaskLists&)> handler);
    // The same, at once.
    TaskLists tasks() const;
    // The live task labelled `description` (upload tasks first, then data, then download),
    // so that a caller does not start a second transfer of the same thing.
    WRKURLSessionTaskRef taskWithDescription(const std::string& description) const;

    // Cancels every task not yet completed and drops the delegate.
    void invalidateAndCancel();
    // Drops the delegate; running tasks go on.
    void finishTasksAndInvalidate();

    const WRKURLSessionConfiguration& configuration() const;
    std::shared_ptr<OperationQueue> delegateQueue() const;
    std::string sessionDescription() const;
    void setSessionDescription(std::string description);

    struct Result {
        std::string data;
        std::optional<HTTPURLResponse> response;
        std::optional<KitError> error;
    };
    // One blocking request on the calling thread (at most the request's timeout).
    // `bodyFile` is sent as the body when given; `challenge` decides trust as the delegate's.
    static Result sendSynchronousRequest(
        const URLRequest& request, const WRKURLSessionConfiguration& configuration,
        const std::optional<std::string>& bodyFile = {},
        std::function<std::optional<bool>(const ServerTrust&)> challenge = {});

    // Why no session could be made: no network module (or none that can move transfers).
    static KitError unavailableError(const std::string& url);

  private:
    WRKURLSession() = default;
    WRKURLSessionTaskRef makeTask(WRKURLSessionTask::Kind kind, const URLRequest& request,
                                  std::optional<std::string> bodyFile);
    std::shared_ptr<WRKURLSessionState> state_;
};

// The platform's URL-error code for a libcurl result.
std::int64_t urlErrorCodeForCurlCode(int curlCode);

}  // namespace talvor::kit
