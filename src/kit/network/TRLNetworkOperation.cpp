#include "kit/network/TRLNetworkOperation.h"

#include <cstdlib>

#include "kit/KitKeys.h"
#include "kit/network/NetworkKeys.h"

namespace talvor::kit {

std::shared_ptr<TRLNetworkOperation> TRLNetworkOperation::initWithAPIKey(
    const std::optional<std::string>& APIKey) {
    if (!APIKey) {
        return nullptr;
    }
    return std::make_shared<TRLNetworkOperation>(*APIKey);
}

URLRequest TRLNetworkOperation::mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(
    const std::string& URL) const {
    return mutableRequestWithDefaultHTTPHeadersForURL(URL, 10.0);
}

URLRequest TRLNetworkOperation::mutableRequestWithDefaultHTTPHeadersForURL(const std::string& URL,
                                                                           double timeout) const {
    URLRequest request;
    request.URL = URL;
    request.timeoutInterval = timeout;
    const std::string locale = localeIdentifier();
    request.setValue(userAgentString(), "User-Agent");
    request.setValue("utf-8", "Accept-Charset");
    request.setValue(locale, "Accept-Language");
    request.setValue(locale, "Content-Language");
    request.setValue(keys::TRLDeveloperToken, "X-Wreckord-Developer-Token");
    request.setValue(keys::TRLCoreKitBundleIdentifier, "X-Wreckord-API-Client-Id");
    request.setValue(keys::TRLCoreKitDisplayVersion, "X-Wreckord-API-Client-Display-Version");
    request.setValue(keys::TRLCoreKitBuildVersion, "X-Wreckord-API-Client-Build-Version");
    request.setValue(APIKey_, "X-Wreckord-API-Key");
    return request;
}

std::string TRLNetworkOperation::userAgentString() {
    std::string agent = keys::TRLCoreKitBundleIdentifier;
    agent.append("/").append(keys::TRLCoreKitDisplayVersion);
    agent.append(" (").append(keys::TRLCoreKitBuildVersion).append(")");
    return agent;
}

std::string TRLNetworkOperation::localeIdentifier() {
    std::string name;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(variable); value != nullptr && *value != '\0') {
            name = value;
            break;
        }
    }
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") {
        return "en_US_POSIX";
    }
    return name;
}

}  // namespace talvor::kit
