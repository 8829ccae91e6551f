#pragma once

#include <cstdint>
#include <optional>

#include "crash/WRKFile.h"

// The exception types of the Mach kernel and their code names, as data: a crash report
// names a fault in these terms whatever system it came from. Here faults arrive as signals,
// so a signal and its code are translated into the exception they stand for.
namespace talvor::crash {

inline constexpr std::int32_t kWRKExceptionBadAccess = 1;
inline constexpr std::int32_t kWRKExceptionBadInstruction = 2;
inline constexpr std::int32_t kWRKExceptionArithmetic = 3;
inline constexpr std::int32_t kWRKExceptionBreakpoint = 6;
inline constexpr std::int32_t kWRKExceptionGuard = 12;

// "EXC_BAD_ACCESS", ...; none for a type that is not claimed.
const char* WRKMachExceptionName(std::int32_t type);
// The name of the first code ("KERN_INVALID_ADDRESS", "EXC_I386_DIV", ...); none when the
// type or the code has none. A message without codes counts as a first code of 0.
const char* WRKMachExceptionCodeName(std::int32_t type, std::int64_t firstCode);
// The mask bit of the exception a fatal signal comes from; 0 for other signals.
std::uint32_t WRKMachExceptionMaskForSignal(int signal);
// The types claimed: guard exceptions only on systems that have them (a normalized version
// above 1069), less the ones the caller leaves out.
std::uint32_t WRKMachExceptionMask(std::uint32_t normalizedOSVersion, std::uint32_t leaveOut);

struct WRKMachExceptionCodes {
    std::int32_t type = 0;
    std::int64_t code = 0;
};
// The exception a fatal signal with this `si_code` stands for; none for a signal no
// hardware exception raises (an abort, a signal sent by a process).
std::optional<WRKMachExceptionCodes> WRKMachExceptionFromSignal(int signal, int code);

// Names, inside an open hash of a crash record, the exception a fatal signal stands for:
// "mach_exception": {"exception", "codes" (the first code, then the faulting address for a
// bad access, else 0), "name", "code_name"}; writes nothing and answers false for a signal
// no hardware exception raises. Safe in a signal handler (no heap, no locks).
bool WRKMachExceptionWriteForSignal(WRKFile* file, int signal, int code,
                                    std::uintptr_t faultAddress);

}  // namespace talvor::crash
