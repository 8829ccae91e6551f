#include "kit/network/TRLServiceTrust.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <memory>
#include <mutex>
#include <set>
#include <string>

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

std::vector<TRLCertificate> TRLCertificatesFromPEM(const std::string& pem) {
    std::vector<TRLCertificate> certificates;
    std::unique_ptr<BIO, decltype(&BIO_free)> input(
        BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
    if (!input) {
        return certificates;
    }
    while (X509* certificate = PEM_read_bio_X509(input.get(), nullptr, nullptr, nullptr)) {
        unsigned char* bytes = nullptr;
        const int length = i2d_X509(certificate, &bytes);
        X509_free(certificate);
        if (length > 0) {
            std::string der(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
            OPENSSL_free(bytes);
            if (auto made = TRLCertificate::withData(der)) {
                certificates.push_back(std::move(*made));
            }
        }
    }
    // The end of the text is queued as an error; it must not be taken for a later one's.
    ERR_clear_error();
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
