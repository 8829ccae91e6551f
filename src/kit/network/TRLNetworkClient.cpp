#include "kit/network/TRLNetworkClient.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <utility>

#include "kit/KitLog.h"
#include "kit/Trellis.h"
#include "kit/network/NetworkKeys.h"
#include "kit/network/TRLNetworkResponseHandler.h"

namespace talvor::kit {

struct TRLNetworkClient::Core {
    std::shared_ptr<WRKURLSession> session;
    std::optional<TRLCertificatePinner> pinner;
    Clock* clock = nullptr;
    RandomSource* random = nullptr;
    std::function<bool()> debug;
    std::once_flag noEndpointOnce;

    Clock& clockInUse() const { return clock != nullptr ? *clock : Clock::shared(); }
    RandomSource& randomInUse() const {
        return random != nullptr ? *random : RandomSource::shared();
    }
    double randomDouble(double min, double max) const {
        return min + (max - min) * randomInUse().nextUniform();
    }
    double delayFor(const std::optional<HTTPURLResponse>& response, std::uint64_t retryCount) const;
    void runAfter(const std::optional<HTTPURLResponse>& response, std::uint64_t attempts,
                  DispatchQueue& queue, DispatchQueue::Work block) const;
};

namespace {

constexpr float kJitterMin = 0.9f;
constexpr float kJitterMax = 1.1f;

using Core = TRLNetworkClient::Core;

KitError noTaskError() {
    return TRLNetworkResponseHandler::errorForCode(keys::TRLNetworkErrorNoTask, {});
}

// Starts one attempt of `request`; `Kind` picks a data or a download task.
template <WRKURLSessionTask::Kind Kind, typename Completion>
void attempt(const std::weak_ptr<Core>& weakCore, const URLRequest& request,
             std::uint64_t retryLimit, std::uint64_t tries, Completion completion) {
    const auto core = weakCore.lock();
    if (!core) {
        return;
    }
    if (request.URL.empty()) {
        // No default service: a request without an endpoint is never sent.
        std::call_once(core->noEndpointOnce, [] {
            log(KitLogLevel::Info,
                "[Trellis] No service endpoint is configured: the kit sends nothing");
        });
        completion({}, std::nullopt, noTaskError());
        return;
    }
    auto sent = std::make_shared<std::weak_ptr<WRKURLSessionTask>>();
    auto finished = [weakCore, request, retryLimit, tries, completion, sent](
                        auto result, const std::optional<HTTPURLResponse>& response,
                        const std::optional<KitError>& error) {
        const auto task = sent->lock();
        const URLRequest& asSent = task ? task->originalRequest() : request;
        TRLNetworkResponseHandler::handleCompletedResponse(
            response, asSent, error, [&](bool retry, const std::optional<KitError>& outcome) {
                if (!retry) {
                    completion(result, response, outcome);
                    return;
                }
                if (tries >= retryLimit) {
                    auto limitError = TRLNetworkResponseHandler::errorForCode(
                        keys::TRLNetworkErrorRetryLimit,
                        {{"retryLimit", std::to_string(retryLimit)},
                         {keys::NSURLErrorFailingURLStringErrorKey, request.URL}});
                    completion({}, std::nullopt, limitError);
                    return;
                }
                const auto alive = weakCore.lock();
                if (!alive) {
                    completion(result, response, outcome);
                    return;
                }
                alive->runAfter(response, tries, DispatchQueue::global(),
                                [weakCore, request, retryLimit, tries, completion] {
                                    attempt<Kind>(weakCore, request, retryLimit, tries + 1,
                                                  completion);
                                });
            });
    };
    WRKURLSessionTaskRef task;
    if constexpr (Kind == WRKURLSessionTask::Kind::Download) {
        task = core->session->downloadTaskWithRequest(
            request, [finished](const std::optional<std::string>& location,
                                const std::optional<HTTPURLResponse>& response,
                                const std::optional<KitError>& error) {
                finished(location, response, error);
            });
    } else {
        task = core->session->dataTaskWithRequest(
            request,
            [finished](const std::string& data, const std::optional<HTTPURLResponse>& response,
                       const std::optional<KitError>& error) { finished(data, response, error); });
    }
    if (!task) {
        completion({}, std::nullopt, noTaskError());
        return;
    }
    *sent = task;
    task->resume();
}

}  // namespace

TRLNetworkClient::TRLNetworkClient(std::shared_ptr<Core> core) : core_(std::move(core)) {}

std::unique_ptr<TRLNetworkClient> TRLNetworkClient::initWithSessionConfiguration(
    const std::optional<WRKURLSessionConfiguration>& configuration,
    std::shared_ptr<OperationQueue> queue,
    std::optional<std::vector<TRLCertificate>> pinnedCertificates, Seams seams) {
    auto core = std::make_shared<Core>();
    if (pinnedCertificates) {
        core->pinner.emplace(std::move(*pinnedCertificates));
    }
    core->clock = seams.clock;
    core->random = seams.random;
    core->debug = seams.debug ? std::move(seams.debug)
                              : std::function<bool()>([] { return Trellis::sharedSDK().debug(); });
    auto delegate = std::make_shared<WRKURLSessionDelegate>();
    std::weak_ptr<Core> weak = core;
    delegate->didReceiveChallenge = [weak](const ServerTrust& trust) -> std::optional<bool> {
        const auto owner = weak.lock();
        if (!owner) {
            return false;
        }
        if (owner->debug() || !owner->pinner) {
            return std::nullopt;
        }
        return owner->pinner->handleChallenge(trust);
    };
    core->session =
        WRKURLSession::sessionWithConfiguration(configuration, delegate, std::move(queue));
    if (!core->session) {
        return nullptr;
    }
    return std::unique_ptr<TRLNetworkClient>(new TRLNetworkClient(std::move(core)));
}

std::unique_ptr<TRLNetworkClient> TRLNetworkClient::initWithSessionConfiguration(
    const std::optional<WRKURLSessionConfiguration>& configuration,
    std::shared_ptr<OperationQueue> queue,
    std::optional<std::vector<TRLCertificate>> pinnedCertificates) {
    return initWithSessionConfiguration(configuration, std::move(queue),
                                        std::move(pinnedCertificates), Seams());
}

std::unique_ptr<TRLNetworkClient> TRLNetworkClient::initWithQueue(
    std::shared_ptr<OperationQueue> queue,
    std::optional<std::vector<TRLCertificate>> pinnedCertificates) {
    return initWithSessionConfiguration(WRKURLSessionConfiguration::defaultSessionConfiguration(),
                                        std::move(queue), std::move(pinnedCertificates));
}

TRLNetworkClient::~TRLNetworkClient() {
    core_->session->finishTasksAndInvalidate();
}

void TRLNetworkClient::startDataTaskWithRequest(const URLRequest& request,
                                                DataCompletion completion) {
    startDataTaskWithRequest(request, kDefaultRetryLimit, std::move(completion));
}

void TRLNetworkClient::startDataTaskWithRequest(const URLRequest& request, std::uint64_t retryLimit,
                                                DataCompletion completion) {
    startDataTaskWithRequest(request, retryLimit, 0, std::move(completion));
}

void TRLNetworkClient::startDataTaskWithRequest(const URLRequest& request, std::uint64_t retryLimit,
                                                std::uint64_t tries, DataCompletion completion) {
    attempt<WRKURLSessionTask::Kind::Data>(core_, request, retryLimit, tries,
                                           std::move(completion));
}

void TRLNetworkClient::startDownloadTaskWithRequest(const URLRequest& request,
                                                    DownloadCompletion completion) {
    startDownloadTaskWithRequest(request, kDefaultRetryLimit, std::move(completion));
}

void TRLNetworkClient::startDownloadTaskWithRequest(const URLRequest& request,
                                                    std::uint64_t retryLimit,
                                                    DownloadCompletion completion) {
    startDownloadTaskWithRequest(request, retryLimit, 0, std::move(completion));
}

void TRLNetworkClient::startDownloadTaskWithRequest(const URLRequest& request,
                                                    std::uint64_t retryLimit, std::uint64_t tries,
                                                    DownloadCompletion completion) {
    attempt<WRKURLSessionTask::Kind::Download>(core_, request, retryLimit, tries,
                                               std::move(completion));
}

double Core::delayFor(const std::optional<HTTPURLResponse>& response,
                      std::uint64_t retryCount) const {
    const double base = std::max(TRLNetworkResponseHandler::retryValueForResponse(response), 2.0);
    const double exponent = retryCount == 0 ? 1.0 : static_cast<double>(retryCount);
    const double delay = std::pow(base, exponent) * randomDouble(kJitterMin, kJitterMax);
    return std::isfinite(delay) ? std::min(delay, TRLNetworkClient::kMaxRetryDelay)
                                : TRLNetworkClient::kMaxRetryDelay;
}

void Core::runAfter(const std::optional<HTTPURLResponse>& response, std::uint64_t attempts,
                    DispatchQueue& queue, DispatchQueue::Work block) const {
    const auto delay = std::chrono::duration_cast<Clock::Duration>(
        std::chrono::duration<double>(delayFor(response, attempts)));
    queue.after(clockInUse(), delay, std::move(block));
}

double TRLNetworkClient::computeDelayForResponse(const std::optional<HTTPURLResponse>& response,
                                                 std::uint64_t retryCount) const {
    return core_->delayFor(response, retryCount);
}

double TRLNetworkClient::generateRandomJitter() const {
    return randomDoubleWithMin(kJitterMin, kJitterMax);
}

double TRLNetworkClient::randomDoubleWithMin(double min, double max) const {
    return core_->randomDouble(min, max);
}

void TRLNetworkClient::runAfterRetryValueFromResponse(
    const std::optional<HTTPURLResponse>& response, std::uint64_t attempts, DispatchQueue& queue,
    DispatchQueue::Work block) const {
    core_->runAfter(response, attempts, queue, std::move(block));
}

void TRLNetworkClient::runAfterRetryValueFromResponse(
    const std::optional<HTTPURLResponse>& response, std::uint64_t attempts,
    DispatchQueue::Work block) const {
    runAfterRetryValueFromResponse(response, attempts, DispatchQueue::global(), std::move(block));
}

void TRLNetworkClient::invalidateAndCancel() {
    core_->session->invalidateAndCancel();
}

const std::shared_ptr<WRKURLSession>& TRLNetworkClient::session() const {
    return core_->session;
}

const std::optional<TRLCertificatePinner>& TRLNetworkClient::certPinner() const {
    return core_->pinner;
}

}  // namespace talvor::kit
