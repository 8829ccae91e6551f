#include "kit/network/WRKURLSession.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
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

namespace talvor::kit {

struct WRKURLSessionTask::Transfer {
    WRKURLSessionTaskRef task;  // none for a synchronous request
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::FILE* body = nullptr;
    std::FILE* download = nullptr;
    std::string downloadPath;
    std::string data;
    HTTPURLResponse response;
    std::function<std::optional<bool>(const ServerTrust&)> challenge;
    std::function<void(std::string)> onData;
    std::string host;
    bool pinRefused = false;
    bool cancelled = false;
    bool writeFailed = false;
    std::uint64_t maxBytes = 0;  // the cap on the body received
    std::uint64_t received = 0;
    bool tooLarge = false;
    char errorText[CURL_ERROR_SIZE] = {};

    ~Transfer() {
        if (easy != nullptr) {
            curl_easy_cleanup(easy);
        }
        curl_slist_free_all(headers);
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

    CURLM* multi = nullptr;
    std::thread worker;  // the only user of `multi` and `running` once started
    std::map<WRKURLSessionTask*, std::unique_ptr<Transfer>> running;

    ~WRKURLSessionState();
    void start();
    void nudge();
    void run();
    void begin(const WRKURLSessionTaskRef& task);
    void finish(std::unique_ptr<Transfer> transfer, CURLcode result);
    void deliver(std::unique_ptr<Transfer> transfer, std::optional<HTTPURLResponse> response,
                 std::optional<KitError> error);
    void removeTask(const WRKURLSessionTask* task);
    WRKURLSession::TaskLists lists() const;
};

namespace {

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::size_t onHeader(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    std::string line(buffer, size * count);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.pop_back();
    }
    if (line.rfind("HTTP/", 0) == 0) {
        // A new response (after a redirect or an interim answer) replaces the fields.
        transfer.response.headers = {};
    } else if (const auto colon = line.find(':'); colon != std::string::npos) {
        std::string value = line.substr(colon + 1);
        const auto first = value.find_first_not_of(" \t");
        value = first == std::string::npos ? std::string() : value.substr(first);
        transfer.response.headers.addValue(line.substr(0, colon), value);
    }
    return size * count;
}

std::size_t onBody(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    if (transfer.received + length > transfer.maxBytes) {
        transfer.tooLarge = true;
        return 0;
    }
    transfer.received += length;
    if (transfer.download != nullptr) {
        if (std::fwrite(buffer, 1, length, transfer.download) != length) {
            transfer.writeFailed = true;
            return 0;
        }
        return length;
    }
    transfer.data.append(buffer, length);
    if (transfer.onData) {
        transfer.onData(std::string(buffer, length));
    }
    return length;
}

std::size_t onReadBody(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t read = std::fread(buffer, 1, size * count, transfer.body);
    return read == 0 && std::ferror(transfer.body) ? CURL_READFUNC_ABORT : read;
}

std::string derOf(X509* certificate) {
    unsigned char* bytes = nullptr;
    const int length = i2d_X509(certificate, &bytes);
    if (length <= 0) {
        return {};
    }
    std::string der(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    OPENSSL_free(bytes);
    return der;
}

// Replaces OpenSSL's chain check so that the delegate's challenge decides, as the
// platform's trust challenge does; without one the configured roots decide.
int verifyServer(X509_STORE_CTX* context, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    if (!transfer.challenge) {
        return X509_verify_cert(context);
    }
    ServerTrust trust{transfer.host, {}};
    X509* leaf = X509_STORE_CTX_get0_cert(context);
    if (leaf != nullptr) {
        trust.chainDER.push_back(derOf(leaf));
    }
    if (STACK_OF(X509)* chain = X509_STORE_CTX_get0_untrusted(context); chain != nullptr) {
        for (int i = 0; i < sk_X509_num(chain); ++i) {
            X509* certificate = sk_X509_value(chain, i);
            if (leaf == nullptr || X509_cmp(certificate, leaf) != 0) {
                trust.chainDER.push_back(derOf(certificate));
            }
        }
    }
    const std::optional<bool> accepted = transfer.challenge(trust);
    if (!accepted) {
        return X509_verify_cert(context);
    }
    if (*accepted) {
        return 1;
    }
    transfer.pinRefused = true;
    X509_STORE_CTX_set_error(context, X509_V_ERR_CERT_UNTRUSTED);
    return 0;
}

CURLcode onSslContext(CURL*, void* sslContext, void* user) {
    SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(sslContext), verifyServer, user);
    return CURLE_OK;
}

std::string hostOf(const std::string& url) {
    std::string host;
    if (CURLU* parsed = curl_url(); parsed != nullptr) {
        char* part = nullptr;
        if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
            curl_url_get(parsed, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
            host = part;
            curl_free(part);
        }
        curl_url_cleanup(parsed);
    }
    return host;
}

KitError urlError(std::int64_t code, const std::string& url, std::string description) {
    KitError error{keys::NSURLErrorDomain, code, std::move(description), {}, {}};
    error.userInfo[keys::NSURLErrorFailingURLStringErrorKey] = url;
    return error;
}

// Sets `transfer` up for `request`; answers the failure when that is not possible.
std::optional<KitError> configure(Transfer& transfer, const URLRequest& request,
                                  const std::optional<std::string>& bodyFile,
                                  const WRKURLSessionConfiguration& configuration) {
    initialiseCurlOnce();
    transfer.maxBytes = request.maximumResponseBytes.value_or(configuration.maximumResponseBytes);
    transfer.easy = curl_easy_init();
    if (transfer.easy == nullptr) {
        return urlError(keys::NSURLErrorUnknown, request.URL, "no transfer could be made");
    }
    CURL* easy = transfer.easy;
    transfer.host = hostOf(request.URL);
    HTTPHeaderFields headers = request.headers;
    bool hasBody = false;
    curl_easy_setopt(easy, CURLOPT_URL, request.URL.c_str());
    if (bodyFile) {
        transfer.body = std::fopen(bodyFile->c_str(), "rb");
        struct stat status {};
        if (transfer.body == nullptr || fstat(fileno(transfer.body), &status) != 0) {
            return urlError(keys::NSURLErrorUnknown, request.URL,
                            "the body file " + *bodyFile + " cannot be read");
        }
        // The file's size is the length sent, whatever the request said.
        headers.remove("Content-Length");
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, onReadBody);
        curl_easy_setopt(easy, CURLOPT_READDATA, &transfer);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(status.st_size));
        hasBody = true;
    } else if (!request.HTTPBody.empty() || request.HTTPMethod == "POST" ||
               request.HTTPMethod == "PUT") {
        headers.remove("Content-Length");
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.HTTPBody.size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, request.HTTPBody.c_str());
        hasBody = true;
    }
    if (request.HTTPMethod == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if ((hasBody && request.HTTPMethod != "POST") ||
               (!hasBody && request.HTTPMethod != "GET")) {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.HTTPMethod.c_str());
    }
    for (const auto& [name, value] : headers.all()) {
        std::string line = name;
        if (value.empty()) {
            line += ';';
        } else {
            line += ": ";
            line += value;
        }
        transfer.headers = curl_slist_append(transfer.headers, line.c_str());
    }
    if (hasBody && !headers.value("Expect")) {
        // No pause waiting for "100 Continue".
        transfer.headers = curl_slist_append(transfer.headers, "Expect:");
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer.headers);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https,http");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 16L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    // Every connection is judged afresh: a resumed TLS session would skip the check.
    curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    if (configuration.defaultAnchorsPEM) {
        curl_blob blob{const_cast<char*>(configuration.defaultAnchorsPEM->data()),
                       configuration.defaultAnchorsPEM->size(), CURL_BLOB_COPY};
        curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
        curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
        curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
    }
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, onSslContext);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &transfer);
    const double timeout = request.timeoutInterval > 0 ? request.timeoutInterval
                                                       : configuration.timeoutIntervalForRequest;
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout * 1000.0));
    // Idle for the timeout: fewer than one byte a second over that many seconds.
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, std::max(1L, std::lround(std::ceil(timeout))));
    curl_easy_setopt(
        easy, CURLOPT_TIMEOUT_MS,
        static_cast<long>(std::min(configuration.timeoutIntervalForResource * 1000.0, 2.0e9)));
    // A reply announcing more than the cap is refused at its headers.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(std::min<std::uint64_t>(
                         transfer.maxBytes, std::numeric_limits<curl_off_t>::max())));
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.errorText);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &transfer);
    return std::nullopt;
}

// The response and the failure a finished transfer gives.
std::pair<std::optional<HTTPURLResponse>, std::optional<KitError>> outcome(Transfer& transfer,
                                                                           CURLcode result) {
    const std::string url = transfer.task ? transfer.task->originalRequest().URL : std::string();
    if (transfer.cancelled) {
        return {std::nullopt, urlError(keys::NSURLErrorCancelled, url, "cancelled")};
    }
    if (transfer.pinRefused) {
        // Refused by the trust decision: reported as an untrusted server, never retried.
        return {std::nullopt, urlError(keys::NSURLErrorServerCertificateUntrusted, url,
                                       "the server's certificate is not trusted")};
    }
    if (transfer.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
        return {std::nullopt, urlError(keys::NSURLErrorDataLengthExceedsMaximum, url,
                                       "the reply is larger than the request takes")};
    }
    if (transfer.writeFailed) {
        return {std::nullopt, KitError{keys::WRKURLSessionDownloadTaskError, -1, {}, {}, {}}};
    }
    if (result != CURLE_OK) {
        const std::string text =
            transfer.errorText[0] != '\0' ? transfer.errorText : curl_easy_strerror(result);
        return {std::nullopt, urlError(urlErrorCodeForCurlCode(result), url, text)};
    }
    long status = 0;
    curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
    char* effective = nullptr;
    curl_easy_getinfo(transfer.easy, CURLINFO_EFFECTIVE_URL, &effective);
    transfer.response.statusCode = status;
    transfer.response.URL = effective != nullptr ? effective : url;
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
        curl_multi_remove_handle(multi, transfer->easy);
        transfer->closeDownload();
        if (!transfer->downloadPath.empty()) {
            std::filesystem::remove(transfer->downloadPath);
        }
    }
    running.clear();
    if (multi != nullptr) {
        curl_multi_cleanup(multi);
    }
}

void WRKURLSessionState::start() {
    initialiseCurlOnce();
    multi = curl_multi_init();
    worker = std::thread([this] { run(); });
}

// Called holding `mutex`.
void WRKURLSessionState::nudge() {
    wake.notify_all();
    if (multi != nullptr) {
        curl_multi_wakeup(multi);
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
                curl_multi_remove_handle(multi, transfer->easy);
                transfer->cancelled = true;
                finish(std::move(transfer), CURLE_ABORTED_BY_CALLBACK);
            }
        }
        int active = 0;
        curl_multi_perform(multi, &active);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            Transfer* done = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &done);
            const CURLcode result = message->data.result;
            if (done != nullptr) {
                auto found = running.find(done->task.get());
                auto transfer = std::move(found->second);
                running.erase(found);
                curl_multi_remove_handle(multi, transfer->easy);
                finish(std::move(transfer), result);
            }
        }
        if (!running.empty()) {
            curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
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
    CURL* easy = transfer->easy;
    running.emplace(task.get(), std::move(transfer));
    curl_multi_add_handle(multi, easy);
}

void WRKURLSessionState::finish(std::unique_ptr<Transfer> transfer, CURLcode result) {
    transfer->closeDownload();
    auto [response, error] = outcome(*transfer, result);
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
    curl_easy_cleanup(transfer->easy);
    transfer->easy = nullptr;
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
    if (session->state_->multi == nullptr) {
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
    const CURLcode result = curl_easy_perform(transfer.easy);
    auto [response, error] = outcome(transfer, result);
    if (error && error->userInfo.count(keys::NSURLErrorFailingURLStringErrorKey) != 0) {
        error->userInfo[keys::NSURLErrorFailingURLStringErrorKey] = request.URL;
    }
    return {std::move(transfer.data), std::move(response), std::move(error)};
}

}  // namespace talvor::kit
