#include "crash/WRKCompactUnwind.h"

#include "crash/WRKDwarf.h"
#include "crash/WRKSDKLog.h"

namespace talvor::crash {
namespace {

constexpr std::uint32_t kPageRegular = 2;
constexpr std::uint32_t kPageCompressed = 3;

const void* pointer(std::uint64_t address) {
    return WRKAddressPointer(address);
}

template <class T>
bool readAt(std::uint64_t address, T* out) {
    return address >= kWRKMinimumReadableAddress && WRKReadMemory(pointer(address), out, sizeof(T));
}

bool readCompressedEntry(std::uint64_t page, std::uint32_t entriesOffset, std::uint32_t index,
                         std::uint32_t* entry) {
    return readAt(page + entriesOffset + std::uint64_t{index} * 4, entry);
}

// The index of the saved register's slot in `WRKThreadState::registers`; -1 when the thread
// state has none.
int stateIndex(std::uint32_t compactRegister) {
#if defined(__x86_64__)
    // rbx r12 r13 r14 r15 rbp
    constexpr int kIndexes[] = {-1, 1, 12, 13, 14, 15, 6};
    return compactRegister <= 6 ? kIndexes[compactRegister] : -1;
#else
    return compactRegister == 6 ? static_cast<int>(WRKThreadState::kFP) : -1;
#endif
}

bool frameStep(std::uint32_t encoding, WRKThreadState* state) {
    (void)encoding;
    const std::uint64_t fp = state->registers[WRKThreadState::kFP];
    std::uint64_t words[2];
    if (!readAt(fp, &words)) {
        WRKSDKLogWarn("Error: failed to read memory at address %p\n", pointer(fp));
        return false;
    }
    state->registers[WRKThreadState::kPC] = words[1];
    state->registers[WRKThreadState::kFP] = words[0];
    state->registers[WRKThreadState::kSP] = fp + 16;
    return true;
}

bool framelessStep(std::uint32_t encoding, std::uint64_t functionStart, bool indirect,
                   WRKThreadState* state) {
    WRKSDKLogWarn("Frameless unwind encountered with encoding %x\n", encoding);
    std::uint64_t stackSize = ((encoding >> 16) & 0xFF) * 8;
    if (indirect) {
        std::uint32_t immediate = 0;
        if (!readAt(functionStart + ((encoding >> 16) & 0xFF), &immediate)) {
            WRKSDKLogWarn("Error: unable to read subl value\n");
            WRKSDKLogWarn("Error: unable to compute stack size for encoding %x\n", encoding);
            return false;
        }
        stackSize = immediate + ((encoding >> 13) & 0x7) * 8;
    }
    const std::uint32_t count = (encoding >> 10) & 0x7;
    std::uint32_t digits[6] = {};
    std::uint32_t registers[6] = {};
    if (!WRKCompactUnwindDecompressPermutation(count, encoding & 0x3FF, digits)) {
        WRKSDKLogWarn("Error: unable to decompress registers %x\n", encoding);
        return false;
    }
    if (!WRKCompactUnwindRemapRegisters(count, digits, registers)) {
        WRKSDKLogWarn("Error: unable to remap registers %x\n", encoding);
        return false;
    }
    const std::uint64_t sp = state->registers[WRKThreadState::kSP];
    if (stackSize < 8 + std::uint64_t{count} * 8) {
        WRKSDKLogWarn("Error: unable to compute stack size for encoding %x\n", encoding);
        return false;
    }
    WRKThreadState after = *state;
    std::uint64_t slot = sp + stackSize - 8 - std::uint64_t{count} * 8;
    for (std::uint32_t i = 0; i < count; ++i, slot += 8) {
        std::uint64_t value = 0;
        if (!readAt(slot, &value)) {
            WRKSDKLogWarn("Error: unable to read memory to set register\n");
            WRKSDKLogWarn("Error: unable to restore registers\n");
            return false;
        }
        // Every callee-saved register is put back, not only rbp: a later step that follows
        // the call-frame tables may need them.
        const int index = stateIndex(registers[i]);
        if (index < 0) {
            WRKSDKLogWarn("Error: skipping a restore of register %d at %p\n", registers[i],
                          pointer(slot));
            continue;
        }
        after.registers[index] = value;
    }
    WRKSDKLogWarn("SP is %p and we are reading %p\n", pointer(sp), pointer(slot));
    std::uint64_t pc = 0;
    if (!readAt(slot, &pc)) {
        WRKSDKLogWarn("Error: unable to read memory to set register\n");
        return false;
    }
    WRKSDKLogWarn("Read PC to be %p\n", pointer(pc));
    if (pc < kWRKMinimumReadableAddress) {
        WRKSDKLogWarn("Error: computed PC is invalid\n");
        return false;
    }
    after.registers[WRKThreadState::kPC] = pc;
    after.registers[WRKThreadState::kSP] = slot + 8;
    *state = after;
    return true;
}

// The CIE an FDE names (its second word counts back from itself) must lie whole inside a
// table of known size too.
bool cieInTable(const WRKCompactUnwindContext* context, std::uint32_t fdeOffset) {
    if (context->dwarfTableSize == 0) {
        return true;
    }
    std::uint32_t back = 0;
    std::uint32_t length = 0;
    if (!readAt(context->dwarfTable + fdeOffset + 4, &back) || back == 0 || back > fdeOffset + 4) {
        return false;
    }
    const std::uint64_t cie = std::uint64_t{fdeOffset} + 4 - back;
    return context->dwarfTableSize - cie >= 8 && readAt(context->dwarfTable + cie, &length) &&
           length != 0xFFFFFFFF && length <= context->dwarfTableSize - cie - 4;
}

bool dwarfStep(const WRKCompactUnwindContext* context, std::uint32_t fdeOffset,
               WRKThreadState* state) {
    WRKSDKLogInfo("Trying to read dwarf data with offset %lx\n",
                  static_cast<unsigned long>(fdeOffset));
    WRKDwarfFDE fde;
    WRKDwarfCIE cie;
    std::uint32_t length = 0;
    // The FDE must lie inside the table, and the parser reads it in place: check that its
    // bytes are there before handing it over.
    const std::uint64_t at = context->dwarfTable + fdeOffset;
    const bool inTable = context->dwarfTableSize == 0 || (fdeOffset < context->dwarfTableSize &&
                                                          context->dwarfTableSize - fdeOffset >= 8);
    std::uint8_t last = 0;
    if (context->dwarfTable == 0 || fdeOffset == 0 || !inTable || !readAt(at, &length) ||
        length == 0 || length == 0xFFFFFFFF ||
        (context->dwarfTableSize != 0 && length > context->dwarfTableSize - fdeOffset - 4) ||
        !readAt(at + 4 + length - 1, &last) || !cieInTable(context, fdeOffset) ||
        !WRKDwarfParseFDE(static_cast<const std::uint8_t*>(pointer(at)), &fde, &cie)) {
        WRKSDKLogError("Unable to init FDE\n");
        return false;
    }
    WRKThreadState after = *state;
    if (WRKDwarfUnwindComputeRegistersWithFDE(fde, cie, state->registers[WRKThreadState::kPC],
                                              &after, nullptr) != WRKDwarfStep::Stepped) {
        WRKSDKLogError("Failed to compute DWARF registers\n");
        return false;
    }
    *state = after;
    return true;
}

}  // namespace

bool WRKCompactUnwindInit(WRKCompactUnwindContext* context, std::uintptr_t unwindInfo,
                          std::uintptr_t dwarfTable, std::uint64_t dwarfTableSize,
                          std::uintptr_t loadAddress) {
    if (reinterpret_cast<std::uintptr_t>(context) < kWRKMinimumReadableAddress) {
        WRKSDKLogWarn("Error: invalid context passed to compact unwind init");
        return false;
    }
    if (unwindInfo < kWRKMinimumReadableAddress) {
        WRKSDKLogWarn("Error: invalid unwind info passed to compact unwind init");
        return false;
    }
    if (loadAddress < kWRKMinimumReadableAddress) {
        WRKSDKLogWarn("Error: invalid load address passed to compact unwind init");
        return false;
    }
    *context = WRKCompactUnwindContext{};
    if (!readAt(unwindInfo, &context->header)) {
        WRKSDKLogWarn("Error: could not read memory contents of unwindInfo\n");
        return false;
    }
    if (context->header.version != 1) {
        WRKSDKLogWarn("Error: bad unwind_info structure version (%d != %d)\n",
                      context->header.version, 1);
        return false;
    }
    context->unwindInfo = unwindInfo;
    context->dwarfTable = dwarfTable;
    context->dwarfTableSize = dwarfTableSize;
    context->loadAddress = loadAddress;
    return true;
}

bool WRKCompactUnwindLookupFirstLevel(WRKCompactUnwindContext* context, std::uint64_t pc) {
    if (context->header.indexCount < 2 || pc < context->loadAddress) {
        return false;
    }
    const std::uint64_t offset = pc - context->loadAddress;
    const std::uint64_t index = context->unwindInfo + context->header.indexOffset;
    std::uint32_t entry[3];
    std::uint32_t next[3];
    if (!readAt(index, &entry)) {
        return false;
    }
    for (std::uint32_t i = 0; i + 1 < context->header.indexCount; ++i) {
        if (!readAt(index + (std::uint64_t{i} + 1) * 12, &next)) {
            return false;
        }
        if (entry[0] <= offset && offset < next[0]) {
            context->functionOffset = entry[0];
            context->secondLevelOffset = entry[1];
            context->lsdaOffset = entry[2];
            context->nextFunctionOffset = next[0];
            WRKSDKLogDebug("Found first level (second => %u)\n", entry[1]);
            return true;
        }
        entry[0] = next[0];
        entry[1] = next[1];
        entry[2] = next[2];
    }
    WRKSDKLogWarn("Unable to find pc in first level\n");
    return false;
}

namespace {

bool lookupCompressed(const WRKCompactUnwindContext* context, std::uint64_t page, std::uint64_t pc,
                      WRKCompactUnwindResult* result) {
    std::uint16_t fields[4];  // entries offset, entries count, encodings offset, count
    if (!readAt(page + 4, &fields)) {
        return false;
    }
    const std::uint32_t entriesOffset = fields[0];
    const std::uint32_t count = fields[1];
    const std::uint64_t base = context->loadAddress + context->functionOffset;
    std::uint64_t target = 0;
    if (pc > base) {
        target = pc - base;
    } else {
        WRKSDKLogWarn("Error: PC is invalid\n");
    }
    // The last entry at or below the target.
    std::int64_t found = -1;
    if (target != 0) {
        std::uint32_t low = 0;
        std::uint32_t high = count;
        while (low < high) {
            const std::uint32_t middle = (low + high) / 2;
            std::uint32_t entry = 0;
            if (!readCompressedEntry(page, entriesOffset, middle, &entry)) {
                return false;
            }
            if ((entry & 0xFFFFFF) <= target) {
                std::uint32_t next = 0;
                if (middle + 1 == count) {
                    found = middle;
                    break;
                }
                if (!readCompressedEntry(page, entriesOffset, middle + 1, &next)) {
                    return false;
                }
                if ((next & 0xFFFFFF) > target) {
                    found = middle;
                    break;
                }
                low = middle + 1;
            } else {
                high = middle;
            }
        }
    }
    if (found < 0) {
        WRKSDKLogInfo("Unable to find PC in second level\n");
        return false;
    }
    const auto index = static_cast<std::uint32_t>(found);
    std::uint32_t entry = 0;
    if (!readCompressedEntry(page, entriesOffset, index, &entry)) {
        return false;
    }
    result->functionStart = base + (entry & 0xFFFFFF);
    if (index + 1 < count) {
        std::uint32_t next = 0;
        if (!readCompressedEntry(page, entriesOffset, index + 1, &next)) {
            return false;
        }
        result->functionEnd = base + (next & 0xFFFFFF);
    } else {
        result->functionEnd = context->loadAddress + context->nextFunctionOffset;
    }
    if (pc < result->functionStart || pc >= result->functionEnd) {
        WRKSDKLogWarn("PC does not match computed function range\n");
        return false;
    }
    const std::uint32_t encodingIndex = entry >> 24;
    std::uint32_t encoding = 0;
    const bool read =
        encodingIndex < context->header.commonEncodingsCount
            ? readAt(context->unwindInfo + context->header.commonEncodingsOffset +
                         std::uint64_t{encodingIndex} * 4,
                     &encoding)
            : encodingIndex - context->header.commonEncodingsCount < fields[3] &&
                  readAt(
                      page + fields[2] +
                          std::uint64_t{encodingIndex - context->header.commonEncodingsCount} * 4,
                      &encoding);
    if (!read) {
        return false;
    }
    if (encoding == 0) {
        WRKSDKLogInfo("Entry has has no unwind info\n");
        return false;
    }
    result->encoding = encoding;
    return true;
}

}  // namespace

bool WRKCompactUnwindLookupSecondLevel(const WRKCompactUnwindContext* context, std::uint64_t pc,
                                       WRKCompactUnwindResult* result) {
    const std::uint64_t page = context->unwindInfo + context->secondLevelOffset;
    std::uint32_t kind = 0;
    if (!readAt(page, &kind)) {
        return false;
    }
    if (kind == kPageCompressed) {
        WRKSDKLogInfo("Found a second level compressed header\n");
        return lookupCompressed(context, page, pc, result);
    }
    if (kind == kPageRegular) {
        // The linkers of the day write compressed pages only; regular ones are not read.
        WRKSDKLogInfo("Found a second level regular header\n");
        WRKSDKLogWarn("Encountered a regular second-level page\n");
        return false;
    }
    WRKSDKLogError("Unrecognized header kind - unable to continue\n");
    return false;
}

bool WRKCompactUnwindLookup(WRKCompactUnwindContext* context, std::uint64_t pc,
                            WRKCompactUnwindResult* result) {
    if (context == nullptr || result == nullptr) {
        return false;
    }
    *result = WRKCompactUnwindResult{};
    if (!WRKCompactUnwindLookupFirstLevel(context, pc)) {
        return false;
    }
    if (!WRKCompactUnwindLookupSecondLevel(context, pc, result)) {
        WRKSDKLogInfo("Second-level PC lookup failed\n");
        *result = WRKCompactUnwindResult{};
        return false;
    }
    return true;
}

bool WRKCompactUnwindComputeRegisters(const WRKCompactUnwindContext* context,
                                      const WRKCompactUnwindResult& result, WRKThreadState* state) {
    if (context == nullptr || state == nullptr) {
        WRKSDKLogError("invalid inputs\n");
        return false;
    }
    const std::uint32_t encoding = result.encoding;
    WRKSDKLogDebug("Computing registers for encoding %x\n", encoding);
    switch (encoding & kWRKCompactUnwindModeMask) {
        case kWRKCompactUnwindModeFrame:
            return frameStep(encoding, state);
        case kWRKCompactUnwindModeFramelessImmediate:
            return framelessStep(encoding, result.functionStart, false, state);
        case kWRKCompactUnwindModeFramelessIndirect:
            return framelessStep(encoding, result.functionStart, true, state);
        case kWRKCompactUnwindModeDwarf:
            return dwarfStep(context, encoding & 0x00FFFFFF, state);
        default:
            WRKSDKLogError("Invalid encoding %x\n", encoding);
            return false;
    }
}

bool WRKCompactUnwindLookupAndCompute(WRKCompactUnwindContext* context, WRKThreadState* state) {
    if (context == nullptr || state == nullptr) {
        return false;
    }
    const std::uint64_t pc = state->registers[WRKThreadState::kPC];
    if (pc < context->loadAddress) {
        return false;
    }
    WRKCompactUnwindResult result;
    if (!WRKCompactUnwindLookup(context, pc, &result)) {
        WRKSDKLogInfo("Unable to lookup compact unwind for pc %p\n", pointer(pc));
        return false;
    }
    if (!WRKCompactUnwindComputeRegisters(context, result, state)) {
        WRKSDKLogError("Failed to compute registers\n");
        return false;
    }
    return true;
}

bool WRKCompactUnwindDecompressPermutation(std::uint32_t count, std::uint32_t p,
                                           std::uint32_t digits[6]) {
    switch (count) {
        case 6:
        case 5:
            digits[0] = p / 120;
            p -= digits[0] * 120;
            digits[1] = p / 24;
            p -= digits[1] * 24;
            digits[2] = p / 6;
            p -= digits[2] * 6;
            digits[3] = p / 2;
            p -= digits[3] * 2;
            digits[4] = p;
            digits[5] = 0;
            return true;
        case 4:
            digits[0] = p / 60;
            p -= digits[0] * 60;
            digits[1] = p / 12;
            p -= digits[1] * 12;
            digits[2] = p / 3;
            p -= digits[2] * 3;
            digits[3] = p;
            return true;
        case 3:
            digits[0] = p / 20;
            p -= digits[0] * 20;
            digits[1] = p / 4;
            p -= digits[1] * 4;
            digits[2] = p;
            return true;
        case 2:
            digits[0] = p / 5;
            digits[1] = p - digits[0] * 5;
            return true;
        case 1:
            digits[0] = p;
            return true;
        case 0:
            return true;
        default:
            WRKSDKLogWarn("Error: unhandled number of register permutations for encoding %x\n", p);
            return false;
    }
}

bool WRKCompactUnwindRemapRegisters(std::uint32_t count, const std::uint32_t digits[6],
                                    std::uint32_t registers[6]) {
    if (count > 6) {
        WRKSDKLogWarn("Error: invalid register number count %d\n", count);
        return false;
    }
    bool used[7] = {};
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t seen = 0;
        bool placed = false;
        for (std::uint32_t number = 1; number <= 6; ++number) {
            if (used[number]) {
                continue;
            }
            if (seen == digits[i]) {
                registers[i] = number;
                used[number] = true;
                placed = true;
                break;
            }
            ++seen;
        }
        // A digit beyond the registers left is a damaged encoding.
        if (!placed) {
            return false;
        }
    }
    return true;
}

}  // namespace talvor::crash
