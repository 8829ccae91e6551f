#pragma once

#include <ostream>

#include "kit/KitError.h"

namespace talvor::kit {

// Readable errors in test failures.
inline void PrintTo(const KitError& e, std::ostream* os) {
    *os << "{" << e.domain << " " << e.code;
    if (e.localizedDescription) {
        *os << " \"" << *e.localizedDescription << "\"";
    }
    for (const KitError& u : e.underlyingErrors) {
        *os << " ";
        PrintTo(u, os);
    }
    *os << "}";
}

}  // namespace talvor::kit
