#include "crash/WRKSignal.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

namespace talvor::crash {
namespace {

// Names go by this system's signal numbers (SIGBUS is 7 and SIGSYS 31 here; 10 and 12 are
// the user signals).
TEST(crashWRKSignal, NamesTheHandledSignalsByTheirConstants) {
    struct Row {
        int signal;
        const char* name;
        const char* codeName;
    };
    const Row rows[] = {
        {SIGILL, "SIGILL", nullptr}, {SIGTRAP, "SIGTRAP", nullptr}, {SIGABRT, "SIGABRT", "ABORT"},
        {SIGFPE, "SIGFPE", nullptr}, {SIGBUS, "SIGBUS", nullptr},   {SIGSEGV, "SIGSEGV", nullptr},
        {SIGSYS, "SIGSYS", nullptr}, {SIGUSR1, "UNKNOWN", nullptr}, {SIGUSR2, "UNKNOWN", nullptr},
        {0, "UNKNOWN", nullptr},     {99, "UNKNOWN", nullptr},
    };
    for (const Row& row : rows) {
        const char* name = nullptr;
        const char* codeName = "unset";
        WRKSignalNameLookup(row.signal, 0, &name, &codeName);
        EXPECT_STREQ(name, row.name) << row.signal;
        EXPECT_STREQ(codeName, row.codeName) << row.signal;
    }
    std::vector<int> order;
    WRKSignalEnumerateHandledSignals([&](std::size_t index, int signal) {
        EXPECT_EQ(index, order.size());
        order.push_back(signal);
    });
    EXPECT_EQ(order, (std::vector<int>{SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS, SIGTRAP}));
}

}  // namespace
}  // namespace talvor::crash
