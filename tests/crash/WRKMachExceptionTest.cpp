#include "crash/WRKMachException.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

namespace crash = talvor::crash;

namespace {

std::string text(const char* name) {
    return name != nullptr ? name : "null";
}

TEST(WRKMachExceptionTest, NamesAndCodeNames) {
    struct Case {
        std::int32_t type;
        std::int64_t code;
        const char* name;
        const char* codeName;
    };
    for (const Case& c : {
             Case{1, 1, "EXC_BAD_ACCESS", "KERN_INVALID_ADDRESS"},
             Case{1, 2, "EXC_BAD_ACCESS", "KERN_PROTECTION_FAILURE"},
             Case{1, 0, "EXC_BAD_ACCESS", "null"},
             Case{2, 0, "EXC_BAD_INSTRUCTION", "EXC_I386_INVOP"},
             Case{2, 99, "EXC_BAD_INSTRUCTION", "EXC_I386_INVOP"},
             Case{3, 1, "EXC_ARITHMETIC", "EXC_I386_DIV"},
             Case{3, 8, "EXC_ARITHMETIC", "EXC_I386_SSEEXTERR"},
             Case{3, 9, "EXC_ARITHMETIC", "null"},
             Case{6, 0, "EXC_BREAKPOINT", "EXC_I386_DIVERR"},
             Case{6, 3, "EXC_BREAKPOINT", "EXC_I386_BPTFLT"},
             Case{6, 8, "EXC_BREAKPOINT", "null"},
             Case{6, 15, "EXC_BREAKPOINT", "null"},
             Case{6, 17, "EXC_BREAKPOINT", "EXC_I386_ALIGNFLT"},
             Case{6, 33, "EXC_BREAKPOINT", "EXC_I386_ENDPERR"},
             Case{12, 1, "EXC_GUARD", "null"},
             Case{5, 1, "null", "null"},
         }) {
        SCOPED_TRACE(std::to_string(c.type) + "/" + std::to_string(c.code));
        EXPECT_EQ(text(crash::WRKMachExceptionName(c.type)), c.name);
        EXPECT_EQ(text(crash::WRKMachExceptionCodeName(c.type, c.code)), c.codeName);
    }
}

TEST(WRKMachExceptionTest, MasksForSignalsAndSystems) {
    struct Case {
        int signal;
        std::uint32_t mask;
    };
    for (const Case& c : {Case{SIGILL, 0x4}, Case{SIGTRAP, 0x40}, Case{SIGABRT, 0x400},
                          Case{SIGFPE, 0x8}, Case{SIGBUS, 0x2}, Case{SIGSEGV, 0x2},
                          Case{SIGSYS, 0x400}, Case{SIGUSR1, 0}, Case{SIGTERM, 0}}) {
        EXPECT_EQ(crash::WRKMachExceptionMaskForSignal(c.signal), c.mask) << c.signal;
    }
    EXPECT_EQ(crash::WRKMachExceptionMask(1070, 0), 0x104Eu);
    EXPECT_EQ(crash::WRKMachExceptionMask(1069, 0), 0x4Eu);
    EXPECT_EQ(crash::WRKMachExceptionMask(0, 0), 0x4Eu);
    EXPECT_EQ(crash::WRKMachExceptionMask(1070, 0x40), 0x100Eu);
}

TEST(WRKMachExceptionTest, FaultSignalsStandForExceptions) {
    struct Case {
        int signal, code;
        const char* name;
        const char* codeName;
    };
    for (const Case& c : {
             Case{SIGSEGV, SEGV_MAPERR, "EXC_BAD_ACCESS", "KERN_INVALID_ADDRESS"},
             Case{SIGSEGV, SEGV_ACCERR, "EXC_BAD_ACCESS", "KERN_PROTECTION_FAILURE"},
             Case{SIGBUS, BUS_ADRERR, "EXC_BAD_ACCESS", "KERN_INVALID_ADDRESS"},
             Case{SIGILL, ILL_ILLOPN, "EXC_BAD_INSTRUCTION", "EXC_I386_INVOP"},
             Case{SIGFPE, FPE_INTDIV, "EXC_ARITHMETIC", "EXC_I386_DIV"},
             Case{SIGTRAP, TRAP_BRKPT, "EXC_BREAKPOINT", "EXC_I386_BPTFLT"},
             Case{SIGTRAP, TRAP_TRACE, "EXC_BREAKPOINT", "EXC_I386_SGLSTP"},
         }) {
        SCOPED_TRACE(std::to_string(c.signal) + "/" + std::to_string(c.code));
        const auto exception = crash::WRKMachExceptionFromSignal(c.signal, c.code);
        ASSERT_TRUE(exception.has_value());
        EXPECT_EQ(text(crash::WRKMachExceptionName(exception->type)), c.name);
        EXPECT_EQ(text(crash::WRKMachExceptionCodeName(exception->type, exception->code)),
                  c.codeName);
    }
    EXPECT_FALSE(crash::WRKMachExceptionFromSignal(SIGABRT, SI_USER));
    EXPECT_FALSE(crash::WRKMachExceptionFromSignal(SIGSEGV, SI_USER));  // kill -SEGV
    EXPECT_FALSE(crash::WRKMachExceptionFromSignal(SIGTERM, 1));
}

}  // namespace
