#pragma once

#include <cstdint>

#include "crash/WRKBinaryImage.h"
#include "crash/WRKPlatform.h"

// Walks a thread's stack from its registers, one frame at a time, inside a crashed process:
// nothing allocated, no lock, every stack word read through the validated read. A frame's
// caller is found through the call-frame tables of the image that holds its code; without
// them, through the frame-pointer chain (on x86_64 the step out of the interrupted frame
// first scans the stack for a return address, as a leaf may not have set up its frame; on
// aarch64 the first caller is the link register).
namespace talvor::crash {

inline constexpr std::uint32_t kWRKUnwindMaximumFrames = 600000;

struct WRKUnwindContext {
    WRKThreadState registers;
    std::uint32_t frameCount = 0;
    std::uint64_t lastPC = 0;
    std::uint32_t repeatCount = 0;
    // The current frame's PC is exact even after the first frame: its callee was a signal
    // trampoline.
    bool pcIsExact = false;
    // The first frame's PC is a return address too (a thread that recorded itself).
    bool firstPCIsReturnAddress = false;
    // The images whose code counts as code; null: the crash context's table.
    const WRKBinaryImageTable* images = nullptr;
};

bool WRKUnwindInit(WRKUnwindContext* context, const WRKThreadState& state,
                   const WRKBinaryImageTable* images = nullptr);
// The next frame: true when there is one. The first call hands out the thread's own frame.
bool WRKUnwindNextFrame(WRKUnwindContext* context);
std::uint64_t WRKUnwindGetPC(const WRKUnwindContext* context);
std::uint64_t WRKUnwindGetStackPointer(const WRKUnwindContext* context);
std::uint32_t WRKUnwindGetFrameRepeatCount(const WRKUnwindContext* context);
bool WRKUnwindContextHasValidPCAndSP(const WRKUnwindContext* context);
bool WRKUnwindIsAddressExecutable(const WRKUnwindContext* context, std::uint64_t address);
// The first word from `start` upwards (the word at `start` always, then while below `end`)
// whose value is a code address.
bool WRKUnwindFirstExecutableAddress(const WRKUnwindContext* context, std::uint64_t start,
                                     std::uint64_t end, std::uint64_t* out);
// The address a lookup of the current frame should use: the PC itself for the interrupted
// frame, the byte before it for a return address (which may lie past its function's end).
std::uint64_t WRKUnwindLookupPC(const WRKUnwindContext* context);

}  // namespace talvor::crash
