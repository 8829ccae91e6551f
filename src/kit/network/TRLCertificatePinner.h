#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kit/network/WRKURLSession.h"

// Accepts a server only when its certificate chain ends, by standard path validation, in
// one of a fixed set of root certificates; the system's roots do not count.
namespace talvor::kit {

// A certificate made from DER bytes.
class TRLCertificate {
  public:
    // None when the bytes are not a DER certificate.
    static std::optional<TRLCertificate> withData(const std::string& der);
    const std::string& data() const { return der_; }

  private:
    explicit TRLCertificate(std::string der) : der_(std::move(der)) {}
    std::string der_;
};

class TRLCertificatePinner {
  public:
    enum class TrustResult {
        Invalid,
        Proceed,
        Unspecified,
        RecoverableTrustFailure,
        FatalTrustFailure
    };
    struct Evaluation {
        bool statusSuccess = false;
        TrustResult result = TrustResult::Invalid;
    };

    explicit TRLCertificatePinner(std::vector<TRLCertificate> certificates);
    static std::optional<TRLCertificate> createCertificationWithData(const std::string& der) {
        return TRLCertificate::withData(der);
    }

    const std::vector<TRLCertificate>& certificates() const { return certificates_; }
    // With no pinned certificates: success with an invalid result (so refused).
    Evaluation evaluateTrust(const ServerTrust& trust) const;
    // Whether the server is accepted.
    bool handleChallenge(const ServerTrust& trust) const;

  private:
    std::vector<TRLCertificate> certificates_;
};

}  // namespace talvor::kit
