#pragma once

// What the kernel says of this process's threads: for tests that must know that a thread
// has ended, or is blocked in a wait, before they go on.
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace talvor::test {

// The kernel's id of the calling thread.
inline pid_t currentThreadId() {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

// The state letter of thread `tid` of this process ('R' running, 'S' sleeping in a wait,
// ...); '\0' once it has ended.
inline char threadState(pid_t tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    if (tid <= 0 || !std::getline(stat, line)) {
        return '\0';
    }
    // "tid (name) S ...": the name may hold spaces and parentheses; the state follows the last.
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() ? line[close + 2] : '\0';
}

inline bool threadHasEnded(pid_t tid) {
    return threadState(tid) == '\0';
}

// Blocked in the kernel, as a thread waiting for a lock, a condition or another thread is.
inline bool threadIsBlocked(pid_t tid) {
    return threadState(tid) == 'S';
}

}  // namespace talvor::test
