#pragma once

#include <stdexcept>
#include <string>

#include "kit/KitKeys.h"

namespace talvor::kit {

// Raised by the kit host for a wrong kit list or a wrong Info.plist "Trellis" entry only;
// `what()` is the reason.
class TRLException : public std::runtime_error {
  public:
    explicit TRLException(const std::string& reason) : std::runtime_error(reason) {}
    static const char* name() { return keys::TRLExceptionName; }
    std::string reason() const { return what(); }
};

}  // namespace talvor::kit
