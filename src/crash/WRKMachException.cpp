#include "crash/WRKMachException.h"

#include <csignal>
#include <iterator>

namespace talvor::crash {
namespace {

struct CodeName {
    std::int64_t code;
    const char* name;
};

constexpr CodeName kBadAccess[] = {{1, "KERN_INVALID_ADDRESS"}, {2, "KERN_PROTECTION_FAILURE"}};

constexpr CodeName kArithmetic[] = {
    {1, "EXC_I386_DIV"},    {2, "EXC_I386_INTO"},  {3, "EXC_I386_NOEXT"}, {4, "EXC_I386_EXTOVR"},
    {5, "EXC_I386_EXTERR"}, {6, "EXC_I386_EMERR"}, {7, "EXC_I386_BOUND"}, {8, "EXC_I386_SSEEXTERR"},
};

// By x86 trap number; 8 and 15 have no name.
constexpr CodeName kBreakpoint[] = {
    {0, "EXC_I386_DIVERR"},     {1, "EXC_I386_SGLSTP"},     {2, "EXC_I386_NMIFLT"},
    {3, "EXC_I386_BPTFLT"},     {4, "EXC_I386_INTOFLT"},    {5, "EXC_I386_BOUNDFLT"},
    {6, "EXC_I386_INVOPFLT"},   {7, "EXC_I386_NOEXTFLT"},   {9, "EXC_I386_EXTOVRFLT"},
    {10, "EXC_I386_INVTSSFLT"}, {11, "EXC_I386_SEGNPFLT"},  {12, "EXC_I386_STKFLT"},
    {13, "EXC_I386_GPFLT"},     {14, "EXC_I386_PGFLT"},     {16, "EXC_I386_EXTERRFLT"},
    {17, "EXC_I386_ALIGNFLT"},  {32, "EXC_I386_ENOEXTFLT"}, {33, "EXC_I386_ENDPERR"},
};

template <std::size_t N>
const char* lookup(const CodeName (&table)[N], std::int64_t code) {
    for (const CodeName& entry : table) {
        if (entry.code == code) {
            return entry.name;
        }
    }
    return nullptr;
}

}  // namespace

const char* WRKMachExceptionName(std::int32_t type) {
    switch (type) {
        case kWRKExceptionBadAccess:
            return "EXC_BAD_ACCESS";
        case kWRKExceptionBadInstruction:
            return "EXC_BAD_INSTRUCTION";
        case kWRKExceptionArithmetic:
            return "EXC_ARITHMETIC";
        case kWRKExceptionBreakpoint:
            return "EXC_BREAKPOINT";
        case kWRKExceptionGuard:
            return "EXC_GUARD";
        default:
            return nullptr;
    }
}

const char* WRKMachExceptionCodeName(std::int32_t type, std::int64_t firstCode) {
    switch (type) {
        case kWRKExceptionBadAccess:
            return lookup(kBadAccess, firstCode);
        case kWRKExceptionBadInstruction:
            return "EXC_I386_INVOP";
        case kWRKExceptionArithmetic:
            return lookup(kArithmetic, firstCode);
        case kWRKExceptionBreakpoint:
            return lookup(kBreakpoint, firstCode);
        default:
            return nullptr;
    }
}

std::uint32_t WRKMachExceptionMaskForSignal(int signal) {
    // From the named constants: the numbers differ between systems.
    switch (signal) {
        case SIGILL:
            return 0x4;
        case SIGTRAP:
            return 0x40;
        case SIGABRT:
        case SIGSYS:
            return 0x400;
        case SIGFPE:
            return 0x8;
        case SIGBUS:
        case SIGSEGV:
            return 0x2;
        default:
            return 0;
    }
}

std::uint32_t WRKMachExceptionMask(std::uint32_t normalizedOSVersion, std::uint32_t leaveOut) {
    const std::uint32_t mask = normalizedOSVersion > 1069 ? 0x104E : 0x4E;
    return mask & ~leaveOut;
}

std::optional<WRKMachExceptionCodes> WRKMachExceptionFromSignal(int signal, int code) {
    if (code <= 0) {
        return std::nullopt;  // sent by a process, not raised by a fault
    }
    switch (signal) {
        case SIGSEGV:
            return WRKMachExceptionCodes{kWRKExceptionBadAccess, code == SEGV_ACCERR ? 2 : 1};
        case SIGBUS:
            return WRKMachExceptionCodes{kWRKExceptionBadAccess, code == BUS_ADRERR ? 1 : 2};
        case SIGILL:
            return WRKMachExceptionCodes{kWRKExceptionBadInstruction, 1};
        case SIGFPE:
            switch (code) {
                case FPE_INTDIV:
                    return WRKMachExceptionCodes{kWRKExceptionArithmetic, 1};
                case FPE_INTOVF:
                    return WRKMachExceptionCodes{kWRKExceptionArithmetic, 2};
                case FPE_FLTSUB:
                    return WRKMachExceptionCodes{kWRKExceptionArithmetic, 7};
                default:
                    return WRKMachExceptionCodes{kWRKExceptionArithmetic, 8};
            }
        case SIGTRAP:
            return WRKMachExceptionCodes{kWRKExceptionBreakpoint, code == TRAP_TRACE ? 1 : 3};
        default:
            return std::nullopt;
    }
}

bool WRKMachExceptionWriteForSignal(WRKFile* file, int signal, int code,
                                    std::uintptr_t faultAddress) {
    const std::optional<WRKMachExceptionCodes> exception = WRKMachExceptionFromSignal(signal, code);
    if (!exception) {
        return false;
    }
    WRKFileWriteHashKey(file, "mach_exception");
    WRKFileWriteHashStart(file);
    WRKFileWriteHashEntryUint64(file, "exception", static_cast<std::uint32_t>(exception->type));
    WRKFileWriteHashKey(file, "codes");
    WRKFileWriteArrayStart(file);
    WRKFileWriteArrayEntryUint64(file, static_cast<std::uint64_t>(exception->code));
    WRKFileWriteArrayEntryUint64(
        file, exception->type == kWRKExceptionBadAccess ? std::uint64_t{faultAddress} : 0);
    WRKFileWriteArrayEnd(file);
    WRKFileWriteHashEntryString(file, "name", WRKMachExceptionName(exception->type));
    WRKFileWriteHashEntryString(file, "code_name",
                                WRKMachExceptionCodeName(exception->type, exception->code));
    WRKFileWriteHashEnd(file);
    return true;
}

}  // namespace talvor::crash
