#include "kit/network/TRLCertificatePinner.h"

#include "kit/network/NetworkModule.h"

namespace talvor::kit {

std::optional<TRLCertificate> TRLCertificate::withData(const std::string& der) {
    const net::NetworkModule* module = net::networkModule();
    if (module == nullptr || !module->isCertificate(der)) {
        return std::nullopt;
    }
    return TRLCertificate(der);
}

TRLCertificatePinner::TRLCertificatePinner(std::vector<TRLCertificate> certificates)
    : certificates_(std::move(certificates)) {}

TRLCertificatePinner::Evaluation TRLCertificatePinner::evaluateTrust(
    const ServerTrust& trust) const {
    if (certificates_.empty()) {
        return {true, TrustResult::Invalid};
    }
    const net::NetworkModule* module = net::networkModule();
    if (module == nullptr) {
        return {false, TrustResult::FatalTrustFailure};
    }
    std::vector<std::string> anchors;
    anchors.reserve(certificates_.size());
    for (const auto& pinned : certificates_) {
        anchors.push_back(pinned.data());
    }
    switch (module->checkChain(trust, anchors)) {
        case net::ChainCheck::Trusted:
            return {true, TrustResult::Unspecified};
        case net::ChainCheck::Untrusted:
            return {true, TrustResult::Invalid};
        case net::ChainCheck::Failed:
            break;
    }
    return {false, TrustResult::FatalTrustFailure};
}

bool TRLCertificatePinner::handleChallenge(const ServerTrust& trust) const {
    const Evaluation evaluation = evaluateTrust(trust);
    return evaluation.statusSuccess && (evaluation.result == TrustResult::Proceed ||
                                        evaluation.result == TrustResult::Unspecified);
}

}  // namespace talvor::kit
