#include "TalvorException.h"

#include <execinfo.h>

#include <algorithm>

namespace talvor {

TalvorException::TalvorException(const std::string& what) : std::runtime_error(what) {
    captureThrowSite();
}

TalvorException::TalvorException(const char* what) : std::runtime_error(what) {
    captureThrowSite();
}

// Out of line, so that exactly one frame of ours sits above the constructor's caller.
[[gnu::noinline]] void TalvorException::captureThrowSite() {
    std::array<void*, kMaxFrames + 2> raw{};
    const int taken = ::backtrace(raw.data(), static_cast<int>(raw.size()));
    // Frame 0 is this function, frame 1 the constructor.
    constexpr int kOwn = 2;
    const int kept = std::clamp(taken - kOwn, 0, static_cast<int>(kMaxFrames));
    for (int i = 0; i < kept; ++i) {
        frames_[static_cast<std::size_t>(i)] = reinterpret_cast<std::uintptr_t>(raw[i + kOwn]);
    }
    count_ = static_cast<std::size_t>(kept);
}

}  // namespace talvor
