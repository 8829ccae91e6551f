#pragma once

#include <cstdint>
#include <functional>

// How long a stretch of the kit's work took, on the monotonic clock.
namespace talvor::crash {

using WRKProfileMark = std::uint64_t;

// The clock's counter now.
WRKProfileMark WRKProfilingStart();
// Milliseconds since `mark`.
double WRKProfileEnd(WRKProfileMark mark);
// The same with an explicit counter reading and timebase (numerator / denominator turns
// counter units into nanoseconds); 0 for a zero denominator.
double WRKProfileElapsed(WRKProfileMark mark, WRKProfileMark now, std::uint32_t numerator,
                         std::uint32_t denominator);
// Runs `block` and writes "[Profile] <name>: <ms> ms" to standard error.
void WRKProfileBlock(const char* name, const std::function<void()>& block);

}  // namespace talvor::crash
