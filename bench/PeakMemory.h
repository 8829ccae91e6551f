#pragma once

#include <cstring>
#include <fstream>
#include <string>

// The process's memory figures, for benchmarks that report a peak.
namespace talvor::bench {

// A kibibyte field of /proc/self/status ("VmRSS:", "VmHWM:") in MiB; 0 when absent.
inline double statusMiB(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stod(line.substr(std::strlen(field))) / 1024.0;
        }
    }
    return 0.0;
}

// Sets the peak (VmHWM) back to the resident size now, where the kernel allows it; else
// run one benchmark per process.
inline void resetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace talvor::bench
