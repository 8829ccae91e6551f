#include "kit/network/TRLCertificatePinner.h"

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

namespace talvor::kit {
namespace {

struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

X509Ptr parse(const std::string& der) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    X509Ptr certificate(d2i_X509(nullptr, &bytes, static_cast<long>(der.size())));
    // Trailing bytes mean it was not one certificate.
    if (certificate && bytes != reinterpret_cast<const unsigned char*>(der.data()) + der.size()) {
        return nullptr;
    }
    return certificate;
}

}  // namespace

std::optional<TRLCertificate> TRLCertificate::withData(const std::string& der) {
    if (!parse(der)) {
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
    std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> anchors(X509_STORE_new(),
                                                                    X509_STORE_free);
    if (!anchors) {
        return {false, TrustResult::FatalTrustFailure};
    }
    for (const auto& pinned : certificates_) {
        X509Ptr root = parse(pinned.data());
        if (!root || X509_STORE_add_cert(anchors.get(), root.get()) != 1) {
            return {false, TrustResult::FatalTrustFailure};
        }
    }
    if (trust.chainDER.empty()) {
        return {true, TrustResult::Invalid};
    }
    X509Ptr leaf = parse(trust.chainDER.front());
    std::unique_ptr<STACK_OF(X509), void (*)(STACK_OF(X509)*)> chain(
        sk_X509_new_null(), [](STACK_OF(X509) * stack) { sk_X509_pop_free(stack, X509_free); });
    if (!leaf || !chain) {
        return {true, TrustResult::Invalid};
    }
    for (std::size_t i = 1; i < trust.chainDER.size(); ++i) {
        if (X509Ptr intermediate = parse(trust.chainDER[i])) {
            sk_X509_push(chain.get(), intermediate.release());
        }
    }
    std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)> context(X509_STORE_CTX_new(),
                                                                            X509_STORE_CTX_free);
    if (!context ||
        X509_STORE_CTX_init(context.get(), anchors.get(), leaf.get(), chain.get()) != 1) {
        return {false, TrustResult::FatalTrustFailure};
    }
    if (!trust.host.empty()) {
        X509_VERIFY_PARAM* parameters = X509_STORE_CTX_get0_param(context.get());
        if (X509_VERIFY_PARAM_set1_ip_asc(parameters, trust.host.c_str()) != 1) {
            X509_VERIFY_PARAM_set1_host(parameters, trust.host.c_str(), trust.host.size());
        }
    }
    const bool trusted = X509_verify_cert(context.get()) == 1;
    return {true, trusted ? TrustResult::Unspecified : TrustResult::Invalid};
}

bool TRLCertificatePinner::handleChallenge(const ServerTrust& trust) const {
    const Evaluation evaluation = evaluateTrust(trust);
    return evaluation.statusSuccess && (evaluation.result == TrustResult::Proceed ||
                                        evaluation.result == TrustResult::Unspecified);
}

}  // namespace talvor::kit
