#include "kit/network/TRLNetworkResponseHandler.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "kit/network/NetworkKeys.h"

namespace talvor::kit {
namespace {

constexpr double kMinimumRetryValue = 2.0;
constexpr char kBackgroundTaskCancelledReasonKey[] = "NSURLErrorBackgroundTaskCancelledReasonKey";

}  // namespace

TRLNetworkResponseHandler::ResponseType TRLNetworkResponseHandler::typeForStatus(long status) {
    switch (status) {
        case 200:
        case 201:
        case 202:
        case 204:
        case 304:
            return Success;
        case 400:
        case 401:
        case 403:
        case 404:
        case 406:
        case 410:
        case 411:
        case 413:
        case 419:
        case 422:
        case 431:
            return ClientError;
        case 408:
            return Retry;
        case 420:
        case 429:
            return Throttled;
        default:
            return status >= 500 && status <= 599 ? Retry : Failure;
    }
}

std::optional<std::string> TRLNetworkResponseHandler::headerForResponse(
    const std::optional<HTTPURLResponse>& response, const std::string& key) {
    if (!response || response->headers.empty()) {
        return std::nullopt;
    }
    return response->headers.value(key);
}

double TRLNetworkResponseHandler::retryValueForResponse(
    const std::optional<HTTPURLResponse>& response) {
    const auto header = headerForResponse(response, "Retry-After");
    if (!header) {
        return kMinimumRetryValue;
    }
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(header->c_str(), &end);
    // A date, garbage or a negative count: the default wait.
    if (end == header->c_str() || std::isnan(value) || value < 0) {
        return kMinimumRetryValue;
    }
    return std::clamp(value, kMinimumRetryValue, kMaxRetryAfter);
}

std::string TRLNetworkResponseHandler::requestIdForResponse(
    const std::optional<HTTPURLResponse>& response) {
    return headerForResponse(response, "X-Request-Id").value_or("");
}

bool TRLNetworkResponseHandler::contentTypeForResponse(
    const std::optional<HTTPURLResponse>& response, const URLRequest& request) {
    const auto accept = request.valueForHTTPHeaderField("Accept");
    if (!accept) {
        return true;
    }
    const auto contentType = headerForResponse(response, "Content-Type");
    if (!contentType) {
        return false;
    }
    static constexpr std::string_view kSeparator = "; charset=";
    const auto split = contentType->find(kSeparator);
    const std::string type = contentType->substr(0, split);
    if (!equalsIgnoringCase(type, *accept)) {
        return false;
    }
    const auto charset = request.valueForHTTPHeaderField("Accept-Charset");
    if (charset && split != std::string::npos) {
        return equalsIgnoringCase(contentType->substr(split + kSeparator.size()), *charset);
    }
    return true;
}

std::int64_t TRLNetworkResponseHandler::cancelReasonFromURLError(const KitError& error) {
    if (error.domain != keys::NSURLErrorDomain || error.code != keys::NSURLErrorCancelled) {
        return -1;
    }
    const auto reason = error.userInfo.find(kBackgroundTaskCancelledReasonKey);
    if (reason == error.userInfo.end()) {
        return -1;
    }
    return std::strtoll(reason->second.c_str(), nullptr, 10);
}

bool TRLNetworkResponseHandler::retryableURLError(const KitError& error) {
    if (error.domain != keys::NSURLErrorDomain) {
        return false;
    }
    const std::int64_t code = error.code;
    // A cancelled request was stopped here on purpose (or its session is gone): trying it
    // again would go against that.
    static constexpr std::int64_t kFinal[] = {-999,  -1022, -1013, -1012, -1010, -1007,
                                              -1002, -1000, -995,  -1100, -1101, -1103};
    if (std::find(std::begin(kFinal), std::end(kFinal), code) != std::end(kFinal)) {
        return false;
    }
    return !(code <= -1200 && code >= -1206);
}

KitError TRLNetworkResponseHandler::errorForCode(std::int64_t code,
                                                 std::map<std::string, std::string> userInfo) {
    KitError error{keys::TRLNetworkErrorDomain, code, {}, {}, {}};
    error.userInfo = std::move(userInfo);
    return error;
}

std::optional<KitError> TRLNetworkResponseHandler::errorForResponse(
    const std::optional<HTTPURLResponse>& response, ResponseType type, long status) {
    std::int64_t code = 0;
    switch (type) {
        case Success:
            return std::nullopt;
        case Failure:
            code = keys::TRLNetworkErrorFailed;
            break;
        case ClientError:
            code = keys::TRLNetworkErrorClient;
            break;
        case Retry:
        case Throttled:
            code = keys::TRLNetworkErrorRetry;
            break;
    }
    return errorForCode(
        code, {{"type", std::to_string(static_cast<std::int64_t>(type))},
               {"status_code", std::to_string(status)},
               {"request_id", requestIdForResponse(response)},
               {"content_type", headerForResponse(response, "Content-Type").value_or("")}});
}

void TRLNetworkResponseHandler::clientResponseType(
    const std::optional<HTTPURLResponse>& response,
    const std::function<void(ResponseType, long)>& handler) {
    const long status = response ? response->statusCode : 0;
    handler(response && status != 0 ? typeForStatus(status) : Failure, status);
}

void TRLNetworkResponseHandler::handleCompletedResponse(
    const std::optional<HTTPURLResponse>& response, const URLRequest& originalRequest,
    const std::optional<KitError>& error,
    const std::function<void(bool, const std::optional<KitError>&)>& block) {
    if (error) {
        block(retryableURLError(*error), error);
        return;
    }
    clientResponseType(response, [&](ResponseType type, long status) {
        switch (type) {
            case Success:
                // A "not modified" carries no body, so there is no type to check.
                if (status == 304 || contentTypeForResponse(response, originalRequest)) {
                    block(false, std::nullopt);
                } else {
                    block(false, errorForResponse(response, Failure, status));
                }
                return;
            case Failure:
            case ClientError:
                block(false, errorForResponse(response, type, status));
                return;
            case Retry:
            case Throttled:
                block(true, errorForResponse(response, type, status));
                return;
        }
    });
}

}  // namespace talvor::kit
