// The Mach-O reader and the compact unwind lookup on arbitrary bytes never read outside
// them or loop: every slice, load command and section handed out lies inside the input.
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crash/WRKCompactUnwind.h"
#include "crash/WRKMachO.h"
#include "crash/WRKSDKLog.h"

namespace crash = talvor::crash;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool inside(const std::uint8_t* at, std::uint64_t length, const std::uint8_t* data,
            std::size_t size) {
    return at >= data && at <= data + size &&
           length <= static_cast<std::uint64_t>(data + size - at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    static const bool quiet = [] {
        crash::WRKSDKLogSetMinimumLevel(5);
        return true;
    }();
    (void)quiet;
    // A copy of exactly the input's size, so that a read past it is seen by the sanitizer.
    std::vector<std::uint8_t> bytes(input, input + size);
    const std::uint8_t* data = bytes.data();
    crash::WRKMachOEnumerateSlicesAtAddress(data, size, [&](const crash::WRKMachOSlice& s) {
        check(inside(s.startAddress, s.size, data, size));
        crash::WRKMachOSlice slice = s;
        std::size_t commands = 0;
        crash::WRKMachOSliceEnumerateLoadCommands(&slice, [&](const auto& command) {
            check(command.size >= 8 && inside(command.at, command.size, data, size));
            ++commands;
            (void)crash::WRKMachOGetUUID(command);
            (void)crash::WRKMachOGetDylibPath(command);
            (void)crash::WRKMachOGetMinimumOSVersion(command);
            (void)crash::WRKMachOGetSegmentCommand(command);
            (void)crash::WRKMachOGetEncrypted(command);
        });
        check(commands <= size / 8);
        const crash::WRKMachOSliceObject object(s);
        (void)object;
        const std::uint8_t* dwarf = nullptr;
        const std::uint8_t* unwind = nullptr;
        if (!crash::WRKMachOSliceGetUnwindInformation(s, &dwarf, &unwind) || unwind == nullptr ||
            reinterpret_cast<std::uintptr_t>(s.startAddress) < 0x1000) {
            return;
        }
        const auto ehFrame = crash::WRKMachOSliceInitSectionByName(s, "__TEXT", "__eh_frame");
        check(dwarf == nullptr || inside(dwarf, ehFrame->size, data, size));
        crash::WRKCompactUnwindContext context;
        if (!crash::WRKCompactUnwindInit(&context, reinterpret_cast<std::uintptr_t>(unwind),
                                         reinterpret_cast<std::uintptr_t>(dwarf),
                                         dwarf != nullptr ? ehFrame->size : 0,
                                         reinterpret_cast<std::uintptr_t>(s.startAddress))) {
            return;
        }
        // A few PCs across the slice, each stepped on a zeroed stack.
        std::vector<std::uint64_t> stack(1024, 0);
        for (std::uint64_t offset = 0; offset < s.size; offset += s.size / 7 + 1) {
            crash::WRKThreadState state;
#if defined(__x86_64__) || defined(__aarch64__)
            state.registers[crash::WRKThreadState::kPC] =
                reinterpret_cast<std::uintptr_t>(s.startAddress) + offset;
            state.registers[crash::WRKThreadState::kSP] =
                reinterpret_cast<std::uintptr_t>(stack.data());
            state.registers[crash::WRKThreadState::kFP] =
                reinterpret_cast<std::uintptr_t>(stack.data() + 512);
#endif
            crash::WRKCompactUnwindContext copy = context;
            (void)crash::WRKCompactUnwindLookupAndCompute(&copy, &state);
        }
    });
    return 0;
}
