#pragma once

#include <cstddef>
#include <cstdint>

#include "crash/WRKPlatform.h"

// DWARF call-frame information as ELF images carry it (.eh_frame, found through the binary
// search table of .eh_frame_hdr): which rule restores each register of a function's caller
// at a given address, and the step that applies them to a thread's registers. The whole
// instruction set and expression language of the format are understood (the toolchain
// uses remember/restore state, expressions for PLT entries and signal trampolines, and
// more). Runs at crash time: nothing allocated, the stack read only through the validated
// read; the tables themselves are read in place, as they belong to loaded images.
namespace talvor::crash {

#if defined(__x86_64__)
// rax rdx rcx rbx rsi rdi rbp rsp r8-r15, then the return address.
inline constexpr std::size_t kWRKDwarfColumnCount = 17;
inline constexpr std::size_t kWRKDwarfSPColumn = 7;
#elif defined(__aarch64__)
// x0-x30, sp, pc (vector registers, 64 and above, are ignored).
inline constexpr std::size_t kWRKDwarfColumnCount = 33;
inline constexpr std::size_t kWRKDwarfSPColumn = 31;
#else
inline constexpr std::size_t kWRKDwarfColumnCount = 1;
inline constexpr std::size_t kWRKDwarfSPColumn = 0;
#endif

enum WRKDwarfRuleKind : std::uint8_t {
    WRKDwarfRuleUnspecified = 0,  // as the callee left it
    WRKDwarfRuleSameValue,
    WRKDwarfRuleUndefined,
    WRKDwarfRuleOffset,         // saved at CFA + value
    WRKDwarfRuleValOffset,      // is CFA + value
    WRKDwarfRuleRegister,       // in register number value
    WRKDwarfRuleExpression,     // saved at the address the expression computes
    WRKDwarfRuleValExpression,  // is what the expression computes
};

struct WRKDwarfRule {
    std::uint8_t kind = WRKDwarfRuleUnspecified;
    std::int64_t value = 0;
    const std::uint8_t* expression = nullptr;  // at its ULEB128 length
};

struct WRKDwarfRegisterState {
    std::uint64_t cfaRegister = 0;
    std::int64_t cfaOffset = 0;
    const std::uint8_t* cfaExpression = nullptr;  // set: the CFA is computed
    WRKDwarfRule rules[kWRKDwarfColumnCount];
};

struct WRKDwarfCIE {
    std::uint8_t version = 0;
    std::uint8_t pointerEncoding = 0;  // of the FDEs' addresses ("R")
    bool hasAugmentationData = false;  // "z"
    bool signalFrame = false;          // "S": the frame of a signal handler's trampoline
    std::uint64_t codeAlignment = 0;
    std::int64_t dataAlignment = 0;
    std::uint64_t returnAddressColumn = 0;
    const std::uint8_t* instructions = nullptr;
    const std::uint8_t* instructionsEnd = nullptr;
};

struct WRKDwarfFDE {
    std::uint64_t pcBegin = 0;
    std::uint64_t pcEnd = 0;
    const std::uint8_t* instructions = nullptr;
    const std::uint8_t* instructionsEnd = nullptr;
};

// The primitives of the format; each reads at `*cursor` and moves it on.
std::uint64_t WRKParseULEB128AndAdvance(const std::uint8_t** cursor);
std::int64_t WRKParseLEB128AndAdvance(const std::uint8_t** cursor);
// A pointer in one of the exception-table encodings; `dataBase` for the data-relative form.
// False for an encoding it does not know.
bool WRKParseAddressWithEncodingAndAdvance(const std::uint8_t** cursor, std::uint8_t encoding,
                                           std::uint64_t dataBase, std::uint64_t* out);

bool WRKDwarfParseCIE(const std::uint8_t* at, WRKDwarfCIE* cie);
// The FDE at `at` and its CIE; false for a CIE, a terminator or a damaged record.
bool WRKDwarfParseFDE(const std::uint8_t* at, WRKDwarfFDE* fde, WRKDwarfCIE* cie);
// The FDE covering `pc`, through the search table of the .eh_frame_hdr at `header`.
bool WRKDwarfFindFDE(std::uintptr_t header, std::uint64_t pc, WRKDwarfFDE* fde, WRKDwarfCIE* cie);
// The rules in force at `pc`: the CIE's initial instructions, then the FDE's up to and
// including the row that starts at `pc`.
bool WRKDwarfRowForPC(const WRKDwarfCIE& cie, const WRKDwarfFDE& fde, std::uint64_t pc,
                      WRKDwarfRegisterState* state);
// Evaluates the expression (at its ULEB128 length) against `registers`, with `initial`
// pushed first when `pushInitial`.
bool WRKDwarfEvaluateExpression(const std::uint8_t* expression, const WRKThreadState& registers,
                                std::uint64_t initial, bool pushInitial, std::uint64_t* out);

// The index in `WRKThreadState::registers` of a DWARF register; -1 when it has none.
int WRKDwarfStateIndex(std::uint64_t column);

enum class WRKDwarfStep {
    Failed,     // no information: the caller tries something else
    Stepped,    // `state` holds the caller's registers
    Outermost,  // the return address is undefined: this is the first frame of the thread
};
// One step from the frame at `lookupPC` (its PC, or the byte before a return address) to
// its caller. `signalFrame` tells whether the frame was a signal trampoline, so that the
// caller's PC is exact, not a return address.
WRKDwarfStep WRKDwarfUnwindComputeRegisters(std::uintptr_t ehFrameHeader, std::uint64_t lookupPC,
                                            WRKThreadState* state, bool* signalFrame);
// The same step with an FDE found some other way (a compact unwind entry names its offset).
WRKDwarfStep WRKDwarfUnwindComputeRegistersWithFDE(const WRKDwarfFDE& fde, const WRKDwarfCIE& cie,
                                                   std::uint64_t lookupPC, WRKThreadState* state,
                                                   bool* signalFrame);

}  // namespace talvor::crash
