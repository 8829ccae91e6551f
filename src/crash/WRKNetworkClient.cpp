#include "crash/WRKNetworkClient.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "crash/WRKSDKLog.h"
#include "kit/DispatchQueue.h"
#include "kit/KitJson.h"
#include "kit/KitLog.h"
#include "kit/Trellis.h"
#include "kit/network/TRLNetworkResponseHandler.h"
#include "kit/network/TRLServiceTrust.h"
#include "kit/network/WRKURLSession.h"

namespace talvor::crash {
namespace fs = std::filesystem;
using kit::KitError;
using kit::URLRequest;

struct WRKNetworkClient::Core : std::enable_shared_from_this<Core> {
    std::shared_ptr<kit::OperationQueue> queue;
    WRKFileManager fileManager;
    WRKNetworkClientDelegate* delegate = nullptr;
    Seams seams;
    bool canUseBackgroundSession = false;
    kit::WRKURLSessionConfiguration configuration;
    std::optional<kit::TRLCertificatePinner> pinner;

    std::mutex mutex;  // guards session and ended
    std::shared_ptr<kit::WRKURLSession> session;
    bool ended = false;

    Core(std::shared_ptr<kit::OperationQueue> q, WRKFileManager fm) : fileManager(std::move(fm)) {
        queue = std::move(q);
    }

    kit::Clock& clock() const { return seams.clock ? *seams.clock : kit::Clock::shared(); }
    bool debug() const { return seams.debug ? seams.debug() : kit::Trellis::sharedSDK().debug(); }

    // In debug mode, or with nothing pinned, the default handling; else the pinned roots.
    std::optional<bool> trusts(const kit::ServerTrust& trust) const {
        if (!pinner || debug()) {
            return std::nullopt;
        }
        return pinner->handleChallenge(trust);
    }

    std::shared_ptr<kit::WRKURLSession> currentSession() {
        std::lock_guard lock(mutex);
        if (ended) {
            return nullptr;
        }
        if (!session) {
            auto trust = std::make_shared<kit::WRKURLSessionDelegate>();
            std::weak_ptr<Core> weak = weak_from_this();
            trust->didReceiveChallenge = [weak](const kit::ServerTrust& chain) {
                const auto core = weak.lock();
                return core ? core->trusts(chain) : std::optional<bool>(false);
            };
            session = kit::WRKURLSession::sessionWithConfiguration(configuration, std::move(trust),
                                                                   queue);
            if (!session) {
                kit::log("[Wreckord:Crash:Client] Failed to initialize");
            }
        }
        return session;
    }

    bool isEnded() {
        std::lock_guard lock(mutex);
        return ended;
    }

    void finish(const fs::path& path, const std::optional<KitError>& error) {
        if (!isEnded() && delegate != nullptr) {
            delegate->networkClientDidFinishUpload(path, error);
        }
    }

    void startTask(const URLRequest& request, const fs::path& path, const std::string& label,
                   int attempt);
    void completed(const URLRequest& request, const std::string& label, int attempt,
                   const std::string& body, const std::optional<kit::HTTPURLResponse>& response,
                   const std::optional<KitError>& error);
};

namespace {

bool readable(const fs::path& path) {
    return ::access(path.c_str(), R_OK) == 0 && fs::is_regular_file(path);
}

// The response rules, and one more for a report: the service took it only when its reply
// is the JSON its type announces (or empty). A body that is not JSON came from something
// else on the way (a portal, a proxy's page), so the report stays for a later try. A reply
// cut off or past the session's cap never gets here as a success.
void judgeUpload(const std::string& body, const std::optional<kit::HTTPURLResponse>& response,
                 const URLRequest& request, const std::optional<KitError>& error,
                 const std::function<void(bool, const std::optional<KitError>&)>& block) {
    kit::TRLNetworkResponseHandler::handleCompletedResponse(
        response, request, error, [&](bool retry, const std::optional<KitError>& outcome) {
            if (!retry && !outcome && !body.empty() && !kit::json::parse(body)) {
                block(false, kit::TRLNetworkResponseHandler::errorForResponse(
                                 response, kit::TRLNetworkResponseHandler::Failure,
                                 response ? response->statusCode : 0));
                return;
            }
            block(retry, outcome);
        });
}

}  // namespace

double WRKNetworkClient::retryDelay(double retryAfter, int attempt) {
    const double base = std::max(retryAfter, 2.0);
    return std::min(std::pow(base, std::max(attempt, 1)), 3600.0);
}

WRKNetworkClient::WRKNetworkClient(std::shared_ptr<kit::OperationQueue> queue,
                                   WRKFileManager fileManager, WRKNetworkClientDelegate* delegate,
                                   Seams seams)
    : core_(std::make_shared<Core>(std::move(queue), std::move(fileManager))) {
    core_->delegate = delegate;
    core_->seams = std::move(seams);
    core_->canUseBackgroundSession =
        delegate != nullptr && delegate->networkClientCanUseBackgroundSessions();
    core_->configuration = kit::TRLServiceSessionConfiguration();
    if (core_->seams.anchorsPEM) {
        core_->configuration.defaultAnchorsPEM = core_->seams.anchorsPEM;
    }
    core_->pinner = kit::TRLServicePinner();
    if (!supportsBackgroundRequests() && core_->debug()) {
        kit::log(
            "[Wreckord:Crash:Client] Background session uploading not supported, asynchronous "
            "uploading will be used");
    }
}

WRKNetworkClient::~WRKNetworkClient() {
    std::shared_ptr<kit::WRKURLSession> session;
    {
        std::lock_guard lock(core_->mutex);
        core_->ended = true;
        session = std::move(core_->session);
    }
    if (session) {
        session->invalidateAndCancel();
    }
}

bool WRKNetworkClient::supportsBackgroundRequests() const {
    // No session here outlives the process.
    return core_->canUseBackgroundSession &&
           kit::WRKURLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(
               "com.quillon.wreckord.mac.crash.background-session")
               .has_value();
}

void WRKNetworkClient::attemptToReconnectBackgroundSessionWithCompletionBlock(
    const std::function<void()>& block) {
    if (block) {
        block();
    }
}

std::optional<std::string> WRKNetworkClient::taskDescriptionForPath(const fs::path& path) const {
    const std::string root = core_->fileManager.rootPath().string();
    const std::string full = path.string();
    if (full.size() <= root.size() + 1 || full.compare(0, root.size(), root) != 0 ||
        full[root.size()] != '/') {
        WRKSDKLogWarn("Error: path '%s' is not at the root '%s'", full.c_str(), root.c_str());
        return std::nullopt;
    }
    return full.substr(root.size() + 1);
}

void WRKNetworkClient::startUploadRequest(const URLRequest& request, const fs::path& filePath,
                                          bool immediately) {
    const std::optional<std::string> label = taskDescriptionForPath(filePath);
    if (!label) {
        return;
    }
    if (immediately && !supportsBackgroundRequests()) {
        if (!readable(filePath)) {
            WRKSDKLogWarn("Error: file unreadable\n");
            return;
        }
        const Core& core = *core_;
        const kit::WRKURLSession::Result result = kit::WRKURLSession::sendSynchronousRequest(
            request, core_->configuration, filePath.string(),
            [&core](const kit::ServerTrust& trust) { return core.trusts(trust); });
        judgeUpload(result.data, result.response, request, result.error,
                    [&](bool retry, const std::optional<KitError>& error) {
                        if (!retry && !error) {
                            core_->finish(filePath, std::nullopt);
                        }
                    });
        return;
    }
    std::weak_ptr<Core> weak = core_;
    core_->queue->addOperation([weak, request, filePath, label = *label, immediately] {
        const std::shared_ptr<Core> core = weak.lock();
        if (!core) {
            return;
        }
        const auto session = core->currentSession();
        if (!immediately && session && session->taskWithDescription(label)) {
            if (core->debug()) {
                kit::log(
                    "[Wreckord:Crash:Client] A task currently exists for this upload, skipping");
            }
            return;
        }
        core->startTask(request, filePath, label, 0);
    });
}

void WRKNetworkClient::Core::startTask(const URLRequest& request, const fs::path& path,
                                       const std::string& label, int attempt) {
    if (!readable(path)) {
        std::weak_ptr<Core> weak = shared_from_this();
        queue->addOperation([weak, path] {
            if (const auto core = weak.lock()) {
                core->finish(path, KitError(WRKNetworkErrorDomain, WRKNetworkErrorUnreadableFile,
                                            std::nullopt, {}, {{"path", path.string()}}));
            }
        });
        return;
    }
    const auto current = currentSession();
    if (!current) {
        return;
    }
    std::weak_ptr<Core> weak = shared_from_this();
    const kit::WRKURLSessionTaskRef task = current->uploadTaskWithRequest(
        request, path.string(),
        [weak, request, path, label, attempt](const std::string& body,
                                              const std::optional<kit::HTTPURLResponse>& response,
                                              const std::optional<KitError>& error) {
            if (const auto core = weak.lock()) {
                core->completed(request, label, attempt, body, response, error);
            }
        });
    task->setTaskDescription(label);
    task->resume();
}

void WRKNetworkClient::Core::completed(const URLRequest& request, const std::string& label,
                                       int attempt, const std::string& body,
                                       const std::optional<kit::HTTPURLResponse>& response,
                                       const std::optional<KitError>& error) {
    if (isEnded()) {
        return;
    }
    const fs::path file = fileManager.rootPath() / label;
    judgeUpload(
        body, response, request, error, [&](bool retry, const std::optional<KitError>& outcome) {
            if (!retry) {
                finish(file, outcome);
                return;
            }
            if (attempt + 1 > kRetryLimit) {
                finish(file, KitError(WRKNetworkErrorDomain, WRKNetworkErrorRetryLimit,
                                      "gave up after the last retry",
                                      outcome ? std::vector<KitError>{*outcome}
                                              : std::vector<KitError>{}));
                return;
            }
            const double seconds = retryDelay(
                kit::TRLNetworkResponseHandler::retryValueForResponse(response), attempt + 1);
            std::weak_ptr<Core> weak = shared_from_this();
            kit::DispatchQueue::global().after(
                clock(),
                std::chrono::duration_cast<kit::Clock::Duration>(
                    std::chrono::duration<double>(seconds)),
                [weak, request, file, label, attempt] {
                    if (const auto core = weak.lock()) {
                        core->queue->addOperation([weak, request, file, label, attempt] {
                            if (const auto again = weak.lock(); again && !again->isEnded()) {
                                again->startTask(request, file, label, attempt + 1);
                            }
                        });
                    }
                });
        });
}

}  // namespace talvor::crash
