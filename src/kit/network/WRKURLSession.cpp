#include "kit/network/WRKURLSession.h"

// libcurl's header for its result codes only: the library itself is the network module's.
#include <curl/curl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <thread>
#include <utility>

#include "kit/network/NetworkKeys.h"
#include "kit/network/NetworkModule.h"

namespace talvor::kit {

struct WRKURLSessionTask::Transfer final : net::TransferSink {
    WRKURLSessionTaskRef task;  // none for a synchronous request
    net::TransferRequest request;
    std::FILE* body = nullptr;
    std::FILE* download = nullptr;
    std::string downloadPath;
    std::string data;
    HTTPURLResponse response;
    std::function<std::optional<bool>(const ServerTrust&)> challenge;
    std::function<void(std::string)> onData;
    bool pinRefused = false;
    bool cancelled = false;
    bool writeFailed = false;
    std::uint64_t maxBytes = 0;  // the cap on the body received
    std::uint64_t received = 0;
    bool tooLarge = false;

    Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    ~Transfer() override {
        if (body != nullptr) {
            std::fclose(body);
        }
        closeDownload();
    }
    void closeDownload() {
        if (download != nullptr) {
            std::fclose(download);
            download = nullptr;
        }
    }

    void headerLine(const std::string& line) override {
        if (line.rfind("HTTP/", 0) == 0) {
            // A new response (after a redirect or an interim answer) replaces the fields.
            response.headers = {};
        } else if (const auto colon = line.find(':'); colon != std::string::npos) {
            std::string value = line.substr(colon + 1);
            const auto first = value.find_first_not_of(" \t");
            value = first == std::string::npos ? std::string() : value.substr(first);
            response.headers.addValue(line.substr(0, colon), value);
        }
    }

    bool bodyBytes(const char* bytes, std::size_t length) override {
        if (received + length > maxBytes) {
            tooLarge = true;
            return false;
        }
        received += length;
        if (download != nullptr) {
            if (std::fwrite(bytes, 1, length, download) != length) {
                writeFailed = true;
                return false;
            }
            return true;
        }
        data.append(bytes, length);
        if (onData) {
            onData(std::string(bytes, length));
        }
        return true;
    }

    std::optional<std::size_t> readBody(char* into, std::size_t capacity) override {
        const std::size_t read = std::fread(into, 1, capacity, body);
        if (read == 0 && std::ferror(body)) {
            return std::nullopt;
        }
        return read;
    }

    std::optional<bool> trust(const ServerTrust& chain) override {
        if (!challenge) {
            return std::nullopt;
        }
        const std::optional<bool> accepted = challenge(chain);
        if (accepted && !*accepted) {
            pinRefused = true;
        }
        return accepted;
    }
};

using Transfer = WRKURLSessionTask::Transfer;

struct WRKURLSessionState {
    WRKURLSessionConfiguration configuration;
    std::shared_ptr<OperationQueue> delegateQueue;
    std::atomic<std::uint64_t> nextIdentifier{1};

    mutable std::mutex mutex;  // guards the members below
    std::condition_variable wake;
    std::shared_ptr<WRKURLSessionDelegate> delegate;
    std::string description;
    std::vector<WRKURLSessionTaskRef> taskSet;
    std::vector<WRKURLSessionTaskRef> toStart;
    std::vector<std::uint64_t> toCancel;  // task identifiers
    bool stopping = false;

    std::unique_ptr<net::TransferGroup> group;
    std::thread worker;  // the only user of `group` and `running` once started
    std::map<WRKURLSessionTask*, std::unique_ptr<Transfer>> running;

    ~WRKURLSessionState();
    void start();
    void nudge();
    void run();
    void begin(const WRKURLSessionTaskRef& task);
    void finish(std::unique_ptr<Transfer> transfer, const net::TransferEnd& end);
    void deliver(std::unique_ptr<Transfer> transfer, std::optional<HTTPURLResponse> response,
                 std::optional<KitError> error);
    void removeTask(const WRKURLSessionTask* task);
    WRKURLSession::TaskLists lists() const;
};

namespace {

KitError urlError(std::int64_t code, const std::string& url, std::string description) {
    KitError error{keys::NSURLErrorDomain, code, std::move(description), {}, {}};
    error.userInfo[keys::NSURLErrorFailingURLStringErrorKey] = url;
    return error;
}

// Sets `transfer` up for `request`; answers the failure when that is not possible.
std::optional<KitError> configure(Transfer& transfer, const URLRequest& request,
                                  const std::optional<std::string>& bodyFile,
                                  const WRKURLSessionConfiguration& configuration) {
    transfer.maxBytes = request.maximumResponseBytes.value_or(configuration.maximumResponseBytes);
    net::TransferRequest& out = transfer.request;
    out.url = request.URL;
    out.method = request.HTTPMethod;
    HTTPHeaderFields headers = request.headers;
    if (bodyFile) {
        transfer.body = std::fopen(bodyFile->c_str(), "rb");
        struct stat status {};
        if (transfer.body == nullptr || fstat(fileno(transfer.body), &status) != 0) {
            return urlError(keys::NSURLErrorUnknown, request.URL,
                            "the body file " + *bodyFile + " cannot be read");
        }
        // The file's size is the length sent, whatever the request said.
        headers.remove("Content-Length");
        out.bodyFileSize = static_cast<std::uint64_t>(status.st_size);
    } else if (!request.HTTPBody.empty() || request.HTTPMethod == "POST" ||
               request.HTTPMethod == "PUT") {
        headers.remove("Content-Length");
        out.body = request.HTTPBody;
    }
    const bool hasBody = out.body.has_value() || out.bodyFileSize.has_value();
    for (const auto& [name, value] : headers.all()) {
        std::string line = name;
        if (value.empty()) {
            line += ';';
        } else {
            line += ": ";
            line += value;
        }
        out.headerLines.push_back(std::move(line));
    }
    if (hasBody && !headers.value("Expect")) {
        // No pause waiting for "100 Continue".
        out.headerLines.emplace_back("Expect:");
    }
    out.anchorsPEM = configuration.defaultAnchorsPEM;
    out.timeout = request.timeoutInterval > 0 ? request.timeoutInterval
                                              : configuration.timeoutIntervalForRequest;
    out.resourceTimeout = configuration.timeoutIntervalForResource;
    out.maximumResponseBytes = transfer.maxBytes;
    return std::nullopt;
}

KitError noNetwork(const std::string& url) {
    return urlError(keys::NSURLErrorUnknown, url, "no transfer could be made");
}

// The module's absence is in the log once; each request says it in its own error.
KitError noModule(const std::string& url) {
    return urlError(keys::NSURLErrorUnknown, url, "no network module: the kit's network is off");
}

// The response and the failure a finished transfer gives.
std::pair<std::optional<HTTPURLResponse>, std::optional<KitError>> outcome(
    Transfer& transfer, const net::TransferEnd& end) {
    const std::string url = transfer.task ? transfer.task->originalRequest().URL : std::string();
    if (transfer.cancelled) {
        return {std::nullopt, urlError(keys::NSURLErrorCancelled, url, "cancelled")};
    }
    if (transfer.pinRefused) {
        // Refused by the trust decision: reported as an untrusted server, never retried.
        return {std::nullopt, urlError(keys::NSURLErrorServerCertificateUntrusted, url,
                                       "the server's certificate is not trusted")};
    }
    if (transfer.tooLarge || end.resultCode == CURLE_FILESIZE_EXCEEDED) {
        return {std::nullopt, urlError(keys::NSURLErrorDataLengthExceedsMaximum, url,
                                       "the reply is larger than the request takes")};
    }
    if (transfer.writeFailed) {
        return {std::nullopt, KitError{keys::WRKURLSessionDownloadTaskError, -1, {}, {}, {}}};
    }
    if (end.resultCode != CURLE_OK) {
        return {std::nullopt, urlError(urlErrorCodeForCurlCode(end.resultCode), url, end.reason)};
    }
    transfer.response.statusCode = end.statusCode;
    transfer.response.URL = !end.effectiveURL.empty() ? end.effectiveURL : url;
    return {transfer.response, std::nullopt};
}

}  // namespace

std::int64_t urlErrorCodeForCurlCode(int curlCode) {
    switch (static_cast<CURLcode>(curlCode)) {
        case CURLE_OK:
            return 0;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return keys::NSURLErrorCannotFindHost;
        case CURLE_COULDNT_CONNECT:
            return keys::NSURLErrorCannotConnectToHost;
        case CURLE_OPERATION_TIMEDOUT:
            return keys::NSURLErrorTimedOut;
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
            return keys::NSURLErrorNetworkConnectionLost;
        case CURLE_URL_MALFORMAT:
            return keys::NSURLErrorBadURL;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return keys::NSURLErrorUnsupportedURL;
        case CURLE_TOO_MANY_REDIRECTS:
            return keys::NSURLErrorHTTPTooManyRedirects;
        case CURLE_SSL_CONNECT_ERROR:
            return keys::NSURLErrorSecureConnectionFailed;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
            return keys::NSURLErrorServerCertificateUntrusted;
        case CURLE_ABORTED_BY_CALLBACK:
            return keys::NSURLErrorCancelled;
        case CURLE_WRITE_ERROR:
            return keys::NSURLErrorCannotWriteToFile;
        case CURLE_FILESIZE_EXCEEDED:
            return keys::NSURLErrorDataLengthExceedsMaximum;
        default:
            return keys::NSURLErrorUnknown;
    }
}

std::optional<WRKURLSessionConfiguration>
WRKURLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(const std::string&) {
    return std::nullopt;
}

// Task

WRKURLSessionTask::WRKURLSessionTask(Kind kind, std::uint64_t identifier, URLRequest request,
                                     std::optional<std::string> bodyFile)
    : kind_(kind),
      identifier_(identifier),
      request_(std::move(request)),
      bodyFile_(std::move(bodyFile)) {}

WRKURLSessionTask::~WRKURLSessionTask() = default;

std::string WRKURLSessionTask::taskDescription() const {
    std::lock_guard lock(mutex_);
    return description_;
}

void WRKURLSessionTask::setTaskDescription(std::string description) {
    std::lock_guard lock(mutex_);
    description_ = std::move(description);
}

void WRKURLSessionTask::resume() {
    if (resumed_.exchange(true)) {
        return;
    }
    if (const auto session = session_.lock()) {
        std::lock_guard lock(session->mutex);
        for (const auto& task : session->taskSet) {
            if (task.get() == this) {
                session->toStart.push_back(task);
            }
        }
        session->nudge();
    }
}

void WRKURLSessionTask::cancel() {
    resume();  // a task never started still completes, as cancelled
    if (const auto session = session_.lock()) {
        std::lock_guard lock(session->mutex);
        session->toCancel.push_back(identifier_);
        session->nudge();
    }
}

// Session state and its transfer thread

WRKURLSessionState::~WRKURLSessionState() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
        nudge();
    }
    if (worker.joinable()) {
        worker.join();
    }
    for (auto& [task, transfer] : running) {
        if (group) {
            group->remove(task->taskIdentifier());
        }
        transfer->closeDownload();
        if (!transfer->downloadPath.empty()) {
            std::filesystem::remove(transfer->downloadPath);
        }
    }
    running.clear();
    group.reset();
}

void WRKURLSessionState::start() {
    if (const net::NetworkModule* module = net::networkModule()) {
        group = module->makeGroup();
    }
    if (group) {
        worker = std::thread([this] { run(); });
    }
}

// Called holding `mutex`.
void WRKURLSessionState::nudge() {
    wake.notify_all();
    if (group) {
        group->wakeUp();
    }
}

void WRKURLSessionState::run() {
    for (;;) {
        std::vector<WRKURLSessionTaskRef> starting;
        std::vector<std::uint64_t> cancelling;
        {
            std::unique_lock lock(mutex);
            if (running.empty()) {
                wake.wait(lock, [this] { return stopping || !toStart.empty(); });
            }
            if (stopping) {
                return;
            }
            starting.swap(toStart);
            cancelling.swap(toCancel);
        }
        for (const auto& task : starting) {
            begin(task);
        }
        // The transfers hold what they need; a finished task must not outlive it here.
        starting.clear();
        for (const std::uint64_t identifier : cancelling) {
            const auto found = std::find_if(running.begin(), running.end(), [&](const auto& entry) {
                return entry.first->taskIdentifier() == identifier;
            });
            if (found != running.end()) {
                auto transfer = std::move(found->second);
                running.erase(found);
                group->remove(identifier);
                transfer->cancelled = true;
                finish(std::move(transfer), net::TransferEnd{CURLE_ABORTED_BY_CALLBACK, {}, 0, {}});
            }
        }
        for (const auto& ended : group->perform()) {
            const std::uint64_t identifier = ended.first;
            const auto found = std::find_if(running.begin(), running.end(), [&](const auto& entry) {
                return entry.first->taskIdentifier() == identifier;
            });
            if (found != running.end()) {
                auto transfer = std::move(found->second);
                running.erase(found);
                finish(std::move(transfer), ended.second);
            }
        }
        if (!running.empty()) {
            group->wait(1000);
        }
    }
}

void WRKURLSessionState::begin(const WRKURLSessionTaskRef& task) {
    auto transfer = std::make_unique<Transfer>();
    transfer->task = task;
    std::shared_ptr<WRKURLSessionDelegate> current;
    {
        std::lock_guard lock(mutex);
        current = delegate;
    }
    if (current) {
        transfer->challenge = current->didReceiveChallenge;
    }
    if (auto error = configure(*transfer, task->request_, task->bodyFile_, configuration)) {
        deliver(std::move(transfer), std::nullopt, std::move(error));
        return;
    }
    if (task->kind_ == WRKURLSessionTask::Kind::Download) {
        std::string path =
            (std::filesystem::temp_directory_path() / "talvor-download-XXXXXX").string();
        const int descriptor = mkstemp(path.data());
        transfer->download = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
        if (transfer->download == nullptr) {
            if (descriptor >= 0) {
                ::close(descriptor);
            }
            deliver(std::move(transfer), std::nullopt,
                    KitError{keys::WRKURLSessionDownloadTaskError, -1, {}, {}, {}});
            return;
        }
        transfer->downloadPath = path;
    } else if (task->invokesDelegate_ && current && current->didReceiveData) {
        std::weak_ptr<WRKURLSessionDelegate> weakDelegate = current;
        std::shared_ptr<OperationQueue> queue = delegateQueue;
        transfer->onData = [task, weakDelegate, queue](std::string chunk) {
            queue->addOperation([task, weakDelegate, chunk = std::move(chunk)] {
                if (auto target = weakDelegate.lock(); target && target->didReceiveData) {
                    target->didReceiveData(task, chunk);
                }
            });
        };
    }
    if (!group->add(task->taskIdentifier(), transfer->request, *transfer)) {
        deliver(std::move(transfer), std::nullopt, noNetwork(task->request_.URL));
        return;
    }
    running.emplace(task.get(), std::move(transfer));
}

void WRKURLSessionState::finish(std::unique_ptr<Transfer> transfer, const net::TransferEnd& end) {
    transfer->closeDownload();
    auto [response, error] = outcome(*transfer, end);
    if (response && transfer->task->invokesDelegate_) {
        std::shared_ptr<WRKURLSessionDelegate> current;
        {
            std::lock_guard lock(mutex);
            current = delegate;
        }
        if (current && current->didReceiveResponse) {
            delegateQueue->addOperation([current, task = transfer->task, response = *response] {
                current->didReceiveResponse(task, response);
            });
        }
    }
    deliver(std::move(transfer), std::move(response), std::move(error));
}

void WRKURLSessionState::deliver(std::unique_ptr<Transfer> transfer,
                                 std::optional<HTTPURLResponse> response,
                                 std::optional<KitError> error) {
    std::shared_ptr<Transfer> done(std::move(transfer));
    // The task leaves the live list only once its completion has run, so a caller asking
    // for the live tasks from there still sees it.
    std::weak_ptr<WRKURLSessionState> self = done->task->session_;
    delegateQueue->addOperation(
        [self, done, response = std::move(response), error = std::move(error)] {
            const WRKURLSessionTaskRef& task = done->task;
            std::shared_ptr<WRKURLSessionDelegate> current;
            if (const auto state = self.lock()) {
                std::lock_guard lock(state->mutex);
                current = state->delegate;
            }
            if (task->kind_ == WRKURLSessionTask::Kind::Download) {
                std::optional<std::string> location;
                if (!done->downloadPath.empty() && !error) {
                    location = done->downloadPath;
                }
                if (task->downloadCompletionHandler_) {
                    task->downloadCompletionHandler_(location, response, error);
                }
                if (location && task->invokesDelegate_ && current &&
                    current->didFinishDownloadingToURL) {
                    current->didFinishDownloadingToURL(task, *location);
                }
                if (!done->downloadPath.empty()) {
                    std::error_code ignored;
                    std::filesystem::remove(done->downloadPath, ignored);
                }
            } else if (task->completionHandler_) {
                task->completionHandler_(done->data, response, error);
            }
            if (task->invokesDelegate_ && current && current->didCompleteWithError) {
                current->didCompleteWithError(task, error);
            }
            if (const auto state = self.lock()) {
                state->removeTask(task.get());
            }
        });
}

void WRKURLSessionState::removeTask(const WRKURLSessionTask* task) {
    std::lock_guard lock(mutex);
    std::erase_if(taskSet, [task](const auto& entry) { return entry.get() == task; });
}

// Session

std::shared_ptr<WRKURLSession> WRKURLSession::sessionWithConfiguration(
    const std::optional<WRKURLSessionConfiguration>& configuration,
    std::shared_ptr<WRKURLSessionDelegate> delegate,
    std::shared_ptr<OperationQueue> delegateQueue) {
    if (!configuration) {
        return nullptr;
    }
    std::shared_ptr<WRKURLSession> session(new WRKURLSession());
    session->state_ = std::make_shared<WRKURLSessionState>();
    session->state_->configuration = *configuration;
    session->state_->delegate = std::move(delegate);
    session->state_->delegateQueue =
        delegateQueue ? std::move(delegateQueue) : newDefaultDelegateQueue();
    session->state_->start();
    if (!session->state_->group) {
        return nullptr;
    }
    return session;
}

std::shared_ptr<OperationQueue> WRKURLSession::newDefaultDelegateQueue() {
    auto queue = std::make_shared<OperationQueue>("WRKURLSession delegate queue");
    queue->setMaxConcurrentOperationCount(1);
    return queue;
}

WRKURLSession::~WRKURLSession() = default;

WRKURLSessionTaskRef WRKURLSession::makeTask(WRKURLSessionTask::Kind kind,
                                             const URLRequest& request,
                                             std::optional<std::string> bodyFile) {
    URLRequest merged = request;
    for (const auto& [name, value] : state_->configuration.HTTPAdditionalHeaders.all()) {
        merged.headers.addValue(name, value);
    }
    WRKURLSessionTaskRef task(new WRKURLSessionTask(kind, state_->nextIdentifier.fetch_add(1),
                                                    std::move(merged), std::move(bodyFile)));
    task->session_ = state_;
    std::lock_guard lock(state_->mutex);
    state_->taskSet.push_back(task);
    return task;
}

WRKURLSessionTaskRef WRKURLSession::dataTaskWithRequest(const URLRequest& request,
                                                        WRKURLSessionTask::DataCompletion handler) {
    auto task = makeTask(WRKURLSessionTask::Kind::Data, request, std::nullopt);
    if (handler) {
        task->completionHandler_ = std::move(handler);
        task->invokesDelegate_ = false;
    }
    return task;
}

WRKURLSessionTaskRef WRKURLSession::uploadTaskWithRequest(
    const URLRequest& request, const std::string& fromFile,
    WRKURLSessionTask::DataCompletion handler) {
    URLRequest withoutBody = request;
    withoutBody.HTTPBody.clear();
    auto task = makeTask(WRKURLSessionTask::Kind::Upload, withoutBody, fromFile);
    if (handler) {
        task->completionHandler_ = std::move(handler);
        task->invokesDelegate_ = false;
    }
    return task;
}

WRKURLSessionTaskRef WRKURLSession::downloadTaskWithRequest(
    const URLRequest& request, WRKURLSessionTask::DownloadCompletion handler) {
    auto task = makeTask(WRKURLSessionTask::Kind::Download, request, std::nullopt);
    if (handler) {
        task->downloadCompletionHandler_ = std::move(handler);
        task->invokesDelegate_ = false;
    }
    return task;
}

WRKURLSession::TaskLists WRKURLSession::tasks() const {
    return state_->lists();
}

WRKURLSession::TaskLists WRKURLSessionState::lists() const {
    WRKURLSession::TaskLists lists;
    std::lock_guard lock(mutex);
    for (const auto& task : taskSet) {
        switch (task->kind()) {
            case WRKURLSessionTask::Kind::Data:
                lists.dataTasks.push_back(task);
                break;
            case WRKURLSessionTask::Kind::Upload:
                lists.uploadTasks.push_back(task);
                break;
            case WRKURLSessionTask::Kind::Download:
                lists.downloadTasks.push_back(task);
                break;
        }
    }
    return lists;
}

WRKURLSessionTaskRef WRKURLSession::taskWithDescription(const std::string& description) const {
    const TaskLists lists = tasks();
    for (const auto* list : {&lists.uploadTasks, &lists.dataTasks, &lists.downloadTasks}) {
        for (const auto& task : *list) {
            if (task->taskDescription() == description) {
                return task;
            }
        }
    }
    return nullptr;
}

void WRKURLSession::getTasksWithCompletionHandler(std::function<void(const TaskLists&)> handler) {
    std::weak_ptr<WRKURLSessionState> weak = state_;
    state_->delegateQueue->addOperation([weak, handler = std::move(handler)] {
        const auto state = weak.lock();
        handler(state ? state->lists() : TaskLists{});
    });
}

void WRKURLSession::invalidateAndCancel() {
    std::vector<WRKURLSessionTaskRef> live;
    {
        std::lock_guard lock(state_->mutex);
        live = state_->taskSet;
    }
    for (const auto& task : live) {
        task->cancel();
    }
    std::lock_guard lock(state_->mutex);
    state_->delegate.reset();
}

void WRKURLSession::finishTasksAndInvalidate() {
    std::lock_guard lock(state_->mutex);
    state_->delegate.reset();
}

const WRKURLSessionConfiguration& WRKURLSession::configuration() const {
    return state_->configuration;
}

std::shared_ptr<OperationQueue> WRKURLSession::delegateQueue() const {
    return state_->delegateQueue;
}

std::string WRKURLSession::sessionDescription() const {
    std::lock_guard lock(state_->mutex);
    return state_->description;
}

void WRKURLSession::setSessionDescription(std::string description) {
    std::lock_guard lock(state_->mutex);
    state_->description = std::move(description);
}

KitError WRKURLSession::unavailableError(const std::string& url) {
    return net::networkModule() == nullptr ? noModule(url) : noNetwork(url);
}

WRKURLSession::Result WRKURLSession::sendSynchronousRequest(
    const URLRequest& request, const WRKURLSessionConfiguration& configuration,
    const std::optional<std::string>& bodyFile,
    std::function<std::optional<bool>(const ServerTrust&)> challenge) {
    URLRequest merged = request;
    for (const auto& [name, value] : configuration.HTTPAdditionalHeaders.all()) {
        merged.headers.addValue(name, value);
    }
    Transfer transfer;
    transfer.challenge = std::move(challenge);
    if (auto error = configure(transfer, merged, bodyFile, configuration)) {
        return {{}, std::nullopt, std::move(error)};
    }
    const net::NetworkModule* module = net::networkModule();
    if (module == nullptr) {
        return {{}, std::nullopt, noModule(request.URL)};
    }
    const std::optional<net::TransferEnd> end = module->performOne(transfer.request, transfer);
    if (!end) {
        return {{}, std::nullopt, noNetwork(request.URL)};
    }
    auto [response, error] = outcome(transfer, *end);
    if (error && error->userInfo.count(keys::NSURLErrorFailingURLStringErrorKey) != 0) {
        error->userInfo[keys::NSURLErrorFailingURLStringErrorKey] = request.URL;
    }
    return {std::move(transfer.data), std::move(response), std::move(error)};
}

}  // namespace talvor::kit
