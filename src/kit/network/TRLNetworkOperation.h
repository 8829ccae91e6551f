#pragma once

#include <memory>
#include <optional>
#include <string>

#include "kit/TRLAsyncOperation.h"
#include "kit/network/URLRequest.h"

// An operation that talks to the service: every request it makes carries the kit's
// identifying headers and the application's key.
namespace talvor::kit {

class TRLNetworkOperation : public TRLAsyncOperation {
  public:
    explicit TRLNetworkOperation(std::string APIKey) : APIKey_(std::move(APIKey)) {}
    // None without a key.
    static std::shared_ptr<TRLNetworkOperation> initWithAPIKey(
        const std::optional<std::string>& APIKey);

    const std::string& APIKey() const { return APIKey_; }
    // With a 10-second timeout.
    URLRequest mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(
        const std::string& URL) const;
    URLRequest mutableRequestWithDefaultHTTPHeadersForURL(const std::string& URL,
                                                          double timeout) const;

    // "<kit identifier>/<display version> (<build version>)".
    static std::string userAgentString();
    // The user's locale as "language_REGION" (from LC_ALL, LC_MESSAGES or LANG).
    static std::string localeIdentifier();

    std::string className() const override { return "TRLNetworkOperation"; }

  private:
    std::string APIKey_;
};

}  // namespace talvor::kit
