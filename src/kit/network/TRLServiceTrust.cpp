#include "kit/network/TRLServiceTrust.h"

#include <atomic>

#include "kit/FileBytes.h"
#include "kit/KitLog.h"
#include "kit/network/TRLSettingsOnboardingManager.h"

namespace talvor::kit {

std::optional<std::string> TRLServiceRootCertificatesPEM() {
    const auto file =
        TRLSettingsOnboardingManager::valueForConfigurationKey("ServiceRootCertificates");
    if (!file || file->empty()) {
        return std::nullopt;
    }
    constexpr std::size_t kLimit = 1 << 20;
    std::optional<std::string> pem = readRegularFile(*file, kLimit);
    static const std::string kMarker = "-----BEGIN CERTIFICATE-----";
    if (!pem || pem->find(kMarker) == std::string::npos) {
        static std::atomic<bool> said{false};
        if (!said.exchange(true)) {
            std::string line = "[Trellis] ServiceRootCertificates ";
            line.append(*file).append(" holds no PEM certificate; the system's roots are used");
            log(line);
        }
        return std::nullopt;
    }
    return pem;
}

WRKURLSessionConfiguration TRLServiceSessionConfiguration() {
    WRKURLSessionConfiguration configuration =
        WRKURLSessionConfiguration::defaultSessionConfiguration();
    configuration.defaultAnchorsPEM = TRLServiceRootCertificatesPEM();
    return configuration;
}

}  // namespace talvor::kit
