#pragma once

#include <cstddef>
#include <cstdint>

#include "crash/WRKPlatform.h"

// The x86_64 compact unwind table of a Mach-O image (__TEXT,__unwind_info): a two-level
// index from function offsets to 32-bit encodings, and the step that carries an encoding
// out on a thread's registers. The images here are Mach-O files mapped into memory (their
// file offsets inside __TEXT are their addresses relative to the header), so every read of
// the table and of the stack goes through the validated read. Nothing is allocated.
namespace talvor::crash {

inline constexpr std::uint32_t kWRKCompactUnwindModeMask = 0x0F000000;
inline constexpr std::uint32_t kWRKCompactUnwindModeFrame = 0x01000000;
inline constexpr std::uint32_t kWRKCompactUnwindModeFramelessImmediate = 0x02000000;
inline constexpr std::uint32_t kWRKCompactUnwindModeFramelessIndirect = 0x03000000;
inline constexpr std::uint32_t kWRKCompactUnwindModeDwarf = 0x04000000;

struct WRKCompactUnwindHeader {
    std::uint32_t version = 0;
    std::uint32_t commonEncodingsOffset = 0;
    std::uint32_t commonEncodingsCount = 0;
    std::uint32_t personalityOffset = 0;
    std::uint32_t personalityCount = 0;
    std::uint32_t indexOffset = 0;
    std::uint32_t indexCount = 0;
};

struct WRKCompactUnwindContext {
    std::uintptr_t unwindInfo = 0;
    std::uintptr_t dwarfTable = 0;
    std::uint64_t dwarfTableSize = 0;  // 0: not known
    std::uintptr_t loadAddress = 0;
    WRKCompactUnwindHeader header;
    // Set by the first-level lookup.
    std::uint32_t functionOffset = 0;
    std::uint32_t secondLevelOffset = 0;
    std::uint32_t lsdaOffset = 0;
    std::uint32_t nextFunctionOffset = 0;
};

struct WRKCompactUnwindResult {
    std::uint32_t encoding = 0;
    std::uint64_t functionStart = 0;
    std::uint64_t functionEnd = 0;  // exclusive
};

// False for addresses below the readable bound, an unreadable table or a version other
// than 1.
bool WRKCompactUnwindInit(WRKCompactUnwindContext* context, std::uintptr_t unwindInfo,
                          std::uintptr_t dwarfTable, std::uint64_t dwarfTableSize,
                          std::uintptr_t loadAddress);
bool WRKCompactUnwindLookup(WRKCompactUnwindContext* context, std::uint64_t pc,
                            WRKCompactUnwindResult* result);
bool WRKCompactUnwindLookupFirstLevel(WRKCompactUnwindContext* context, std::uint64_t pc);
bool WRKCompactUnwindLookupSecondLevel(const WRKCompactUnwindContext* context, std::uint64_t pc,
                                       WRKCompactUnwindResult* result);
// Replaces `state` with the caller's registers; on failure `state` is as it was.
bool WRKCompactUnwindComputeRegisters(const WRKCompactUnwindContext* context,
                                      const WRKCompactUnwindResult& result, WRKThreadState* state);
// Looks up the PC of `state` and steps to the caller.
bool WRKCompactUnwindLookupAndCompute(WRKCompactUnwindContext* context, WRKThreadState* state);

// The frameless encodings' saved registers: their numbers (1 rbx, 2 r12, 3 r13, 4 r14,
// 5 r15, 6 rbp) in the order of their slots; false for a count above 6.
bool WRKCompactUnwindDecompressPermutation(std::uint32_t count, std::uint32_t permutation,
                                           std::uint32_t digits[6]);
bool WRKCompactUnwindRemapRegisters(std::uint32_t count, const std::uint32_t digits[6],
                                    std::uint32_t registers[6]);

}  // namespace talvor::crash
