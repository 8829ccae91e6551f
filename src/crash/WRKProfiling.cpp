#include "crash/WRKProfiling.h"

#include <time.h>

#include <cstdio>

namespace talvor::crash {

WRKProfileMark WRKProfilingStart() {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000ULL +
           static_cast<std::uint64_t>(now.tv_nsec);
}

double WRKProfileElapsed(WRKProfileMark mark, WRKProfileMark now, std::uint32_t numerator,
                         std::uint32_t denominator) {
    if (denominator == 0) {
        return 0.0;
    }
    // A mark from later than `now` (a mark of another clock) counts as no time at all
    // rather than wrapping to centuries.
    const std::uint64_t elapsed = now >= mark ? now - mark : 0;
    const std::uint64_t nanoseconds = elapsed * numerator / denominator;
    return static_cast<double>(nanoseconds) / 1000000.0;
}

double WRKProfileEnd(WRKProfileMark mark) {
    // The counter counts nanoseconds: a timebase of 1/1.
    return WRKProfileElapsed(mark, WRKProfilingStart(), 1, 1);
}

void WRKProfileBlock(const char* name, const std::function<void()>& block) {
    const WRKProfileMark mark = WRKProfilingStart();
    if (block) {
        block();
    }
    std::fprintf(stderr, "[Profile] %s: %f ms\n", name != nullptr ? name : "", WRKProfileEnd(mark));
}

}  // namespace talvor::crash
