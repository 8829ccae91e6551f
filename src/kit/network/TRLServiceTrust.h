#pragma once

#include <optional>
#include <string>

#include "kit/network/WRKURLSession.h"

// Which roots vouch for the kit's service. A service run with a private certificate
// authority names its roots in "ServiceRootCertificates" (a PEM file; the environment
// first, then the Info.plist "Wreckord" dictionary, as the endpoints); without one the
// system's roots do.
namespace talvor::kit {

// The configured roots as PEM text; none when not configured or not readable (then said
// once in the log).
std::optional<std::string> TRLServiceRootCertificatesPEM();

// The default configuration, trusting the configured roots when there are any.
WRKURLSessionConfiguration TRLServiceSessionConfiguration();

}  // namespace talvor::kit
