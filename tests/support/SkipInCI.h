#pragma once

// A skipped test counts as passed, so a machine that lacks what a test needs would stay
// green. On the CI machine (CI=true) the tests' main therefore fails every skip but those
// whose test said first why it may skip there: what the CI machine truly cannot offer (a
// sound input, a user service manager in a container), never a tool it can install.
#include <string>

namespace talvor::test {

// Why the running test may skip on the CI machine; empty when it has not said.
inline std::string& ciSkipReason() {
    static std::string reason;
    return reason;
}

// Said just before the skip: `why` the CI machine may lack what the test needs.
inline void maySkipInCI(const char* why) {
    ciSkipReason() = why;
}

}  // namespace talvor::test
