#include "crash/WRKMachException.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "crash/WRKFile.h"

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

// The line a signal record gets: the exception inside the signal's own object, after the
// fields written before it; nothing for a signal no hardware fault raises.
std::string signalLineFor(int signal, int code, std::uintptr_t address) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("talvor-mach-line-" + std::to_string(::getpid()) + ".clsrecord");
    crash::WRKFile file;
    EXPECT_TRUE(crash::WRKFileInitWithPathMode(&file, path.c_str(), false, false));
    crash::WRKFileWriteSectionStart(&file, "signal");
    crash::WRKFileWriteHashStart(&file);
    crash::WRKFileWriteHashEntryUint64(&file, "number", static_cast<std::uint64_t>(signal));
    crash::WRKMachExceptionWriteForSignal(&file, signal, code, address);
    crash::WRKFileWriteHashEntryUint64(&file, "time", 7);
    crash::WRKFileWriteHashEnd(&file);
    crash::WRKFileWriteSectionEnd(&file);
    EXPECT_TRUE(crash::WRKFileClose(&file));
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::filesystem::remove(path);
    return text.str();
}

TEST(WRKMachExceptionTest, SignalRecordsNameTheExceptionTheFaultStandsFor) {
    struct Case {
        int signal, code;
        std::uintptr_t address;
        const char* rest;  // the line after the signal's number
    };
    for (const Case& c : {
             Case{SIGSEGV, SEGV_MAPERR, 0x1234,
                  R"("mach_exception":{"exception":1,"codes":[1,4660],)"
                  R"("name":"EXC_BAD_ACCESS","code_name":"KERN_INVALID_ADDRESS"},"time":7}})"},
             Case{SIGSEGV, SEGV_ACCERR, 0x10,
                  R"("mach_exception":{"exception":1,"codes":[2,16],)"
                  R"("name":"EXC_BAD_ACCESS","code_name":"KERN_PROTECTION_FAILURE"},"time":7}})"},
             Case{SIGBUS, BUS_ADRALN, 0x21,
                  R"("mach_exception":{"exception":1,"codes":[2,33],)"
                  R"("name":"EXC_BAD_ACCESS","code_name":"KERN_PROTECTION_FAILURE"},"time":7}})"},
             Case{SIGILL, ILL_PRVOPC, 0x4000,
                  R"("mach_exception":{"exception":2,"codes":[1,0],)"
                  R"("name":"EXC_BAD_INSTRUCTION","code_name":"EXC_I386_INVOP"},"time":7}})"},
             Case{SIGFPE, FPE_FLTDIV, 0x4000,
                  R"("mach_exception":{"exception":3,"codes":[8,0],)"
                  R"("name":"EXC_ARITHMETIC","code_name":"EXC_I386_SSEEXTERR"},"time":7}})"},
             Case{SIGTRAP, TRAP_BRKPT, 0,
                  R"("mach_exception":{"exception":6,"codes":[3,0],)"
                  R"("name":"EXC_BREAKPOINT","code_name":"EXC_I386_BPTFLT"},"time":7}})"},
             Case{SIGABRT, SI_TKILL, 0, R"("time":7}})"},
             Case{SIGSEGV, SI_USER, 0, R"("time":7}})"},
             Case{SIGSYS, 1, 0, R"("time":7}})"},
         }) {
        SCOPED_TRACE(std::to_string(c.signal) + "/" + std::to_string(c.code));
        EXPECT_EQ(signalLineFor(c.signal, c.code, c.address),
                  R"({"signal":{"number":)" + std::to_string(c.signal) + "," + c.rest + "\n");
    }
}

}  // namespace
