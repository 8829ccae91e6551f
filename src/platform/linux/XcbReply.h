#pragma once

#include <cstdlib>
#include <memory>

namespace talvor::platform {

// An xcb reply or error, freed with free() as xcb asks.
template <typename T>
struct XcbFreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, XcbFreeDeleter<T>>;

}  // namespace talvor::platform
