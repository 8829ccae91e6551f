#include "kit/network/TRLServiceTrust.h"

#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "kit/FileBytes.h"
#include "kit/KitLog.h"
#include "kit/network/NetworkModule.h"
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

std::vector<TRLCertificate> TRLCertificatesFromPEM(const std::string& pem) {
    std::vector<TRLCertificate> certificates;
    const net::NetworkModule* module = net::networkModule();
    if (module == nullptr) {
        return certificates;
    }
    for (const std::string& der : module->certificatesOfPEM(pem)) {
        if (auto made = TRLCertificate::withData(der)) {
            certificates.push_back(std::move(*made));
        }
    }
    return certificates;
}

std::optional<std::vector<TRLCertificate>> TRLServicePinnedCertificates() {
    const auto file =
        TRLSettingsOnboardingManager::valueForConfigurationKey("ServicePinnedCertificates");
    if (!file || file->empty()) {
        return std::nullopt;
    }
    constexpr std::size_t kLimit = 1 << 20;
    const std::optional<std::string> pem = readRegularFile(*file, kLimit);
    std::vector<TRLCertificate> pins =
        pem ? TRLCertificatesFromPEM(*pem) : std::vector<TRLCertificate>{};
    if (pins.empty()) {
        // Once per file, not per process: every upload asks, and a file named later (or a
        // test's own) is still said.
        static std::mutex mutex;
        static std::set<std::string> said;
        bool first = false;
        {
            std::lock_guard lock(mutex);
            first = said.insert(*file).second;
        }
        if (first) {
            std::string line = "[Trellis] ServicePinnedCertificates ";
            line.append(*file).append(
                " holds no PEM certificate: every server is refused until it does");
            log(line);
        }
    }
    return pins;
}

std::optional<TRLCertificatePinner> TRLServicePinner() {
    std::optional<std::vector<TRLCertificate>> pins = TRLServicePinnedCertificates();
    if (!pins) {
        return std::nullopt;
    }
    return TRLCertificatePinner(std::move(*pins));
}

}  // namespace talvor::kit
