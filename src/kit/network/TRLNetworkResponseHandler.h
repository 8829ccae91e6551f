#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "kit/KitError.h"
#include "kit/network/URLRequest.h"

// Decides from a finished request whether it succeeded, failed for good or should be tried
// again, and turns failures into errors of the network client's domain.
namespace talvor::kit {

class TRLNetworkResponseHandler {
  public:
    enum ResponseType : std::int64_t {
        Success = 0,
        Failure = 1,
        ClientError = 2,
        Retry = 3,
        Throttled = 4,
    };
    // The longest "Retry-After" taken from a server (a day); larger values are cut to it.
    static constexpr double kMaxRetryAfter = 86400.0;

    // None when the response has no header fields.
    static std::optional<std::string> headerForResponse(
        const std::optional<HTTPURLResponse>& response, const std::string& key);
    // "Retry-After" in seconds: 2 when absent, not a number or negative; at most a day.
    static double retryValueForResponse(const std::optional<HTTPURLResponse>& response);
    // "X-Request-Id", empty when absent.
    static std::string requestIdForResponse(const std::optional<HTTPURLResponse>& response);
    static bool contentTypeForResponse(const std::optional<HTTPURLResponse>& response,
                                       const URLRequest& request);
    static std::int64_t cancelReasonFromURLError(const KitError& error);
    static bool retryableURLError(const KitError& error);
    static KitError errorForCode(std::int64_t code, std::map<std::string, std::string> userInfo);
    static std::optional<KitError> errorForResponse(const std::optional<HTTPURLResponse>& response,
                                                    ResponseType type, long status);
    // Calls `handler` with the response's type and status (0 without a response).
    static void clientResponseType(const std::optional<HTTPURLResponse>& response,
                                   const std::function<void(ResponseType, long)>& handler);
    // Calls `block(retry, error)` once.
    static void handleCompletedResponse(
        const std::optional<HTTPURLResponse>& response, const URLRequest& originalRequest,
        const std::optional<KitError>& error,
        const std::function<void(bool retry, const std::optional<KitError>& error)>& block);

    static ResponseType typeForStatus(long status);
};

}  // namespace talvor::kit
