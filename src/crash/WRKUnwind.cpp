#include "crash/WRKUnwind.h"

#include "crash/WRKDwarf.h"
#include "crash/WRKPlatform.h"
#include "crash/WRKSDKLog.h"

namespace talvor::crash {
namespace {

constexpr std::uint64_t kMinimumValid = 0x1000;

std::uint64_t& pcOf(WRKUnwindContext* c) {
    return c->registers.registers[WRKThreadState::kPC];
}
std::uint64_t& spOf(WRKUnwindContext* c) {
    return c->registers.registers[WRKThreadState::kSP];
}
std::uint64_t& fpOf(WRKUnwindContext* c) {
    return c->registers.registers[WRKThreadState::kFP];
}

#if defined(__aarch64__)
constexpr std::size_t kLR = 30;
#endif

bool findImage(const WRKUnwindContext* c, std::uint64_t address, WRKBinaryImageRange* out) {
    if (c->images != nullptr) {
        return WRKBinaryImageTableFind(c->images, address, out);
    }
    return WRKBinaryImageSafeFindImageForAddress(address, out);
}

bool stackScan(WRKUnwindContext* c) {
    std::uint64_t found = 0;
    if (!WRKUnwindFirstExecutableAddress(c, spOf(c), fpOf(c), &found)) {
        return false;
    }
    pcOf(c) = found;
    return true;
}

// The frame record at FP: the caller's FP, then the return address.
bool framePointerStep(WRKUnwindContext* c) {
    std::uint64_t record[2] = {};
    const std::uint64_t fp = fpOf(c);
    if (fp < kMinimumValid || !WRKReadMemory(WRKAddressPointer(fp), record, sizeof record)) {
        return false;
    }
    // The stack grows down: a caller's frame record lies above this one.
    if (record[0] != 0 && record[0] <= fp) {
        record[0] = 0;
    }
    pcOf(c) = record[1];
    fpOf(c) = record[0];
    spOf(c) = fp + 16;
    return true;
}

bool withFramePointer(WRKUnwindContext* c, bool tryStackScan) {
    if (tryStackScan) {
        WRKSDKLogInfo("Attempting stack scan\n");
        if (stackScan(c)) {
            WRKSDKLogInfo("Stack scan successful\n");
            return true;
        }
    }
    return framePointerStep(c);
}

bool handOut(WRKUnwindContext* c) {
    const std::uint64_t pc = pcOf(c);
    const std::uint64_t sp = spOf(c);
    if (pc < kMinimumValid) {
        return false;
    }
    if (sp < kMinimumValid) {
        WRKSDKLogWarn("Error: SP (%p) isn't a valid pointer\n", WRKAddressPointer(sp));
        return false;
    }
    c->repeatCount = c->frameCount > 0 && pc == c->lastPC ? c->repeatCount + 1 : 0;
    ++c->frameCount;
    c->lastPC = pc;
    return true;
}

}  // namespace

bool WRKUnwindInit(WRKUnwindContext* context, const WRKThreadState& state,
                   const WRKBinaryImageTable* images) {
    if (context == nullptr) {
        return false;
    }
    *context = WRKUnwindContext{};
    context->registers = state;
    context->images = images;
    return true;
}

bool WRKUnwindNextFrame(WRKUnwindContext* c) {
    if (reinterpret_cast<std::uintptr_t>(c) < kMinimumValid) {
        WRKSDKLogWarn("Error: invalid inputs\n");
        return false;
    }
    if (!WRKUnwindContextHasValidPCAndSP(c)) {
        if (c->frameCount == 0) {
            WRKSDKLogWarn("Cancelling unwind for thread with invalid PC/SP\n");
        } else {
            WRKSDKLogWarn("Error: thread PC/SP invalid before unwind\n");
        }
        return false;
    }
    if (c->frameCount >= kWRKUnwindMaximumFrames) {
        WRKSDKLogWarn("Exceeded maximum number of frames\n");
        WRKSDKLogError("Failed to advance to the next frame\n");
        return false;
    }
    if (c->frameCount == 0) {
        return handOut(c);
    }
    const std::uint64_t lookup = WRKUnwindLookupPC(c);
    WRKBinaryImageRange image;
    if (!findImage(c, lookup, &image)) {
        WRKSDKLogWarn("Unable to find binary for %p\n", WRKAddressPointer(lookup));
    } else if (image.ehFrameHeader >= kMinimumValid) {
        bool signalFrame = false;
        switch (WRKDwarfUnwindComputeRegisters(image.ehFrameHeader, lookup, &c->registers,
                                               &signalFrame)) {
            case WRKDwarfStep::Stepped:
                c->pcIsExact = signalFrame;
                return handOut(c);
            case WRKDwarfStep::Outermost:
                return false;
            case WRKDwarfStep::Failed:
                WRKSDKLogInfo("No call-frame information for %p\n", WRKAddressPointer(lookup));
                break;
        }
    }
    c->pcIsExact = false;
#if defined(__aarch64__)
    // The interrupted frame's caller is in the link register: a leaf never saves it.
    if (c->frameCount == 1 && WRKUnwindIsAddressExecutable(c, c->registers.registers[kLR])) {
        pcOf(c) = c->registers.registers[kLR];
        c->registers.registers[kLR] = 0;
        return handOut(c);
    }
#endif
    if (fpOf(c) == 0) {
        WRKSDKLogWarn("FP is zero, aborting unwind\n");
        pcOf(c) = 0;
        return handOut(c);
    }
#if defined(__x86_64__)
    const bool tryStackScan = c->frameCount == 1;
#else
    const bool tryStackScan = false;
#endif
    if (!withFramePointer(c, tryStackScan)) {
        WRKSDKLogError("Unable to use frame pointer\n");
        WRKSDKLogError("Failed to advance to the next frame\n");
        return false;
    }
    return handOut(c);
}

std::uint64_t WRKUnwindGetPC(const WRKUnwindContext* context) {
    return reinterpret_cast<std::uintptr_t>(context) < kMinimumValid
               ? 0
               : context->registers.registers[WRKThreadState::kPC];
}

std::uint64_t WRKUnwindGetStackPointer(const WRKUnwindContext* context) {
    return reinterpret_cast<std::uintptr_t>(context) < kMinimumValid
               ? 0
               : context->registers.registers[WRKThreadState::kSP];
}

std::uint32_t WRKUnwindGetFrameRepeatCount(const WRKUnwindContext* context) {
    return reinterpret_cast<std::uintptr_t>(context) < kMinimumValid ? 0 : context->repeatCount;
}

bool WRKUnwindContextHasValidPCAndSP(const WRKUnwindContext* context) {
    return reinterpret_cast<std::uintptr_t>(context) >= kMinimumValid &&
           context->registers.registers[WRKThreadState::kPC] >= kMinimumValid &&
           context->registers.registers[WRKThreadState::kSP] >= kMinimumValid;
}

bool WRKUnwindIsAddressExecutable(const WRKUnwindContext* context, std::uint64_t address) {
    WRKBinaryImageRange range;
    if (context != nullptr && context->images != nullptr) {
        return WRKBinaryImageTableFind(context->images, address, &range);
    }
    return WRKBinaryImageSafeFindImageForAddress(address, &range);
}

bool WRKUnwindFirstExecutableAddress(const WRKUnwindContext* context, std::uint64_t start,
                                     std::uint64_t end, std::uint64_t* out) {
    for (std::uint64_t at = start; at == start || at < end; at += 8) {
        if (at < kMinimumValid) {
            continue;
        }
        std::uint64_t word = 0;
        if (!WRKReadMemory(WRKAddressPointer(at), &word, sizeof word)) {
            return false;
        }
        WRKSDKLogDebug("Checking for executable %p\n", WRKAddressPointer(word));
        if (WRKUnwindIsAddressExecutable(context, word)) {
            *out = word;
            return true;
        }
    }
    return false;
}

std::uint64_t WRKUnwindLookupPC(const WRKUnwindContext* context) {
    const std::uint64_t pc = context->registers.registers[WRKThreadState::kPC];
    const bool returnAddress =
        context->frameCount >= 2 ? !context->pcIsExact : context->firstPCIsReturnAddress;
    return context->frameCount >= 1 && returnAddress ? pc - 1 : pc;
}

}  // namespace talvor::crash
