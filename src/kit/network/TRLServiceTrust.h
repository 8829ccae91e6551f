#pragma once

#include <optional>
#include <string>
#include <vector>

#include "kit/network/TRLCertificatePinner.h"
#include "kit/network/WRKURLSession.h"

// Which roots vouch for the kit's service. A service run with a private certificate
// authority names its roots in "ServiceRootCertificates" (a PEM file; the environment
// first, then the Info.plist "Wreckord" dictionary, as the endpoints); without one the
// system's roots do.
//
// "ServicePinnedCertificates" (a PEM file, looked up the same way) pins every upload of
// the kits (events, crash reports, settings) to its roots: a server whose chain ends in no
// other root is refused before a byte of the request is sent, whatever the system trusts.
// Without it nothing is pinned.
namespace talvor::kit {

// The configured roots as PEM text; none when not configured or not readable (then said
// once in the log).
std::optional<std::string> TRLServiceRootCertificatesPEM();

// The default configuration, trusting the configured roots when there are any.
WRKURLSessionConfiguration TRLServiceSessionConfiguration();

// The pinned roots; none when not configured. A file that cannot be read or holds no
// certificate pins to nothing, so every server is refused (said once in the log): a pin
// that silently fell away would trust whatever the system trusts.
std::optional<std::vector<TRLCertificate>> TRLServicePinnedCertificates();

// A pinner over the pinned roots; none when nothing is pinned.
std::optional<TRLCertificatePinner> TRLServicePinner();

// The certificates of PEM text, in order; what is not a certificate is skipped.
std::vector<TRLCertificate> TRLCertificatesFromPEM(const std::string& pem);

}  // namespace talvor::kit
