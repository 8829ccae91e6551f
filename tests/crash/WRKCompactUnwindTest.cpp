// The compact unwind reader on the fixture images of tools/make-macho-fixtures (mapped files
// stand in for loaded images) and on small hand-made tables.
#include "crash/WRKCompactUnwind.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "crash/WRKMachO.h"

namespace crash = talvor::crash;

namespace {

const std::string kFixtures = MACHO_FIXTURES;

// A fixture file mapped, with its compact unwind and call-frame tables.
class MappedImage {
  public:
    // `architecture`: the slice of a universal file; none for a thin file.
    explicit MappedImage(const std::string& name, const char* architecture = nullptr) {
        ok_ = crash::WRKMachOFileInitWithPath(&file_, (kFixtures + "/" + name).c_str());
        if (!ok_) {
            return;
        }
        if (architecture != nullptr) {
            const auto slice = crash::WRKMachOFileSliceWithArchitectureName(file_, architecture);
            ok_ = slice.has_value();
            if (!ok_) {
                return;
            }
            slice_ = *slice;
        } else {
            slice_ = crash::WRKMachOSliceWithHeader(file_.mappedFile, file_.mappedSize);
        }
        const std::uint8_t* dwarf = nullptr;
        const std::uint8_t* unwind = nullptr;
        ok_ =
            crash::WRKMachOSliceGetUnwindInformation(slice_, &dwarf, &unwind) && unwind != nullptr;
        const auto ehFrame = crash::WRKMachOSliceInitSectionByName(slice_, "__TEXT", "__eh_frame");
        ok_ =
            ok_ && crash::WRKCompactUnwindInit(&context_, reinterpret_cast<std::uintptr_t>(unwind),
                                               reinterpret_cast<std::uintptr_t>(dwarf),
                                               ehFrame ? ehFrame->size : 0, load());
    }
    ~MappedImage() { crash::WRKMachOFileDestroy(&file_); }
    bool ok() const { return ok_; }
    // The image's header: the tables' function offsets count from it.
    std::uintptr_t load() const { return reinterpret_cast<std::uintptr_t>(slice_.startAddress); }
    crash::WRKCompactUnwindContext* context() { return &context_; }

  private:
    crash::WRKMachOFile file_;
    crash::WRKMachOSlice slice_;
    crash::WRKCompactUnwindContext context_;
    bool ok_ = false;
};

struct Entry {
    std::uint32_t start;
    std::uint32_t end;
    std::uint32_t encoding;
};

// The functions, their ends and encodings as llvm-objdump --unwind-info printed them.
std::vector<Entry> goldenEntries(const std::string& name) {
    std::ifstream in(kFixtures + "/" + name + ".unwind");
    const std::regex index(R"(\[\d+\]: function offset=(0x[0-9a-f]+), 2nd level)");
    const std::regex entry(
        R"(\[\d+\]: function offset=(0x[0-9a-f]+), encoding\[\d+\]=(0x[0-9a-f]+))");
    std::vector<std::uint32_t> indexStarts;
    std::vector<Entry> entries;
    std::smatch match;
    for (std::string line; std::getline(in, line);) {
        if (std::regex_search(line, match, index)) {
            indexStarts.push_back(static_cast<std::uint32_t>(std::stoul(match[1], nullptr, 16)));
        } else if (std::regex_search(line, match, entry)) {
            entries.push_back({static_cast<std::uint32_t>(std::stoul(match[1], nullptr, 16)), 0,
                               static_cast<std::uint32_t>(std::stoul(match[2], nullptr, 16))});
        }
    }
    // One page in every fixture: a first-level entry, then the sentinel.
    EXPECT_EQ(indexStarts.size(), 2u) << name;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        // One page here: the last function ends at the sentinel index entry.
        entries[i].end = i + 1 < entries.size() ? entries[i + 1].start : indexStarts.back();
    }
    return entries;
}

// Every fixture with compact unwind tables, and the universal file's slices (copies of the
// thin files, so compared with their outputs).
TEST(WRKCompactUnwindTest, EveryFunctionMatchesObjdump) {
    struct Fixture {
        const char* file;
        const char* architecture;  // the slice of a universal file
        const char* golden;
        std::size_t functions;
    };
    for (const Fixture& f : {
             Fixture{"unwind_x86_64", nullptr, "unwind_x86_64", 6},
             Fixture{"dwarf_x86_64", nullptr, "dwarf_x86_64", 6},
             Fixture{"unwind_arm64", nullptr, "unwind_arm64", 3},
             Fixture{"old_x86_64", nullptr, "old_x86_64", 1},
             Fixture{"encrypted_x86_64", nullptr, "encrypted_x86_64", 1},
             Fixture{"Dylib", nullptr, "Dylib", 1},
             Fixture{"fat", "x86_64", "unwind_x86_64", 6},
             Fixture{"fat", "arm64", "unwind_arm64", 3},
         }) {
        SCOPED_TRACE(std::string(f.file) +
                     (f.architecture ? std::string(" ") + f.architecture : std::string()));
        MappedImage image(f.file, f.architecture);
        ASSERT_TRUE(image.ok());
        const auto entries = goldenEntries(f.golden);
        ASSERT_EQ(entries.size(), f.functions);
        for (const Entry& e : entries) {
            SCOPED_TRACE(e.start);
            for (const std::uint32_t pc : {e.start + 1, e.end - 1}) {
                crash::WRKCompactUnwindResult result;
                const bool found =
                    crash::WRKCompactUnwindLookup(image.context(), image.load() + pc, &result);
                // An entry without information is not found.
                EXPECT_EQ(found, e.encoding != 0);
                if (found) {
                    EXPECT_EQ(result.encoding, e.encoding);
                    EXPECT_EQ(result.functionStart, image.load() + e.start);
                    EXPECT_EQ(result.functionEnd, image.load() + e.end);
                }
            }
        }
        // Outside the covered range, and exactly at the page's base, nothing is found.
        crash::WRKCompactUnwindResult result;
        EXPECT_FALSE(crash::WRKCompactUnwindLookup(image.context(),
                                                   image.load() + entries.back().end, &result));
        EXPECT_FALSE(crash::WRKCompactUnwindLookup(image.context(),
                                                   image.load() + entries.front().start, &result));
        EXPECT_FALSE(crash::WRKCompactUnwindLookup(image.context(), image.load() + 0x10, &result));
    }
}

#if defined(__x86_64__)

constexpr std::size_t kRBX = 1, kRBP = 6, kR12 = 12, kR13 = 13, kR14 = 14, kR15 = 15;
constexpr std::size_t kPC = crash::WRKThreadState::kPC;
constexpr std::size_t kSP = crash::WRKThreadState::kSP;

// A stack through every kind of encoding, as if each function had called the one before:
// six (frameless, immediate size, 6 saved registers) <- odd (call-frame tables, CFA in rbx)
// <- big (frameless, size read from its subq) <- framed (frame pointer) <- main (frameless,
// 4 saved registers) <- a return address outside the image.
TEST(WRKCompactUnwindTest, SyntheticStackUnwindsThroughEveryEncodingKind) {
    MappedImage image("dwarf_x86_64");
    ASSERT_TRUE(image.ok());
    const std::uint64_t L = image.load();
    std::vector<std::uint64_t> stack(1200, 0);
    const auto base = reinterpret_cast<std::uint64_t>(stack.data());
    auto put = [&](std::uint64_t address, std::uint64_t value) {
        stack.at((address - base) / 8) = value;
    };

    const std::uint64_t sp0 = base + 64;
    // six: rbx r12 r13 r14 r15 rbp above one pad word, then the return address into odd.
    const std::uint64_t oddFrame = sp0 + 64 + 32;  // where odd's rbx points (it aligned rsp)
    put(sp0 + 8, oddFrame);
    put(sp0 + 16, 0x1200);
    put(sp0 + 24, 0x1300);
    put(sp0 + 32, 0x1400);
    put(sp0 + 40, 0x1500);
    put(sp0 + 48, 0x1600);
    put(sp0 + 56, L + 0x6e0 + 6);
    // odd: CFA = rbx + 16; rbx saved at CFA - 16, return address at CFA - 8.
    put(oddFrame, 0xB0B);
    put(oddFrame + 8, L + 0x630 + 0x20);
    const std::uint64_t sp2 = oddFrame + 16;
    // big: 4864 bytes of locals, rbx, return address.
    put(sp2 + 4864, 0xB16);
    put(sp2 + 4872, L + 0x6b0 + 8);
    const std::uint64_t sp3 = sp2 + 4880;
    // framed: its frame pointer a little above.
    const std::uint64_t fp = sp3 + 16;
    put(fp, 0xF00D);
    put(fp + 8, L + 0x670 + 0x10);
    const std::uint64_t sp4 = fp + 16;
    // main: pad, rbx, r14, r15, rbp, then a return address outside the image.
    put(sp4 + 8, 0x2001);
    put(sp4 + 16, 0x2014);
    put(sp4 + 24, 0x2015);
    put(sp4 + 32, 0x2006);
    put(sp4 + 40, 0x2000);

    crash::WRKThreadState state;
    state.registers[kPC] = L + 0x6f0 + 0x10;
    state.registers[kSP] = sp0;
    state.registers[kRBP] = fp;

    struct Step {
        const char* from;
        std::uint64_t pc, sp;
        std::vector<std::pair<std::size_t, std::uint64_t>> registers;
    };
    const std::vector<Step> steps = {
        {"six",
         L + 0x6e6,
         sp0 + 64,
         {{kRBX, oddFrame},
          {kR12, 0x1200},
          {kR13, 0x1300},
          {kR14, 0x1400},
          {kR15, 0x1500},
          {kRBP, 0x1600}}},
        {"odd", L + 0x650, sp2, {{kRBX, 0xB0B}, {kR12, 0x1200}}},
        {"big", L + 0x6b8, sp3, {{kRBX, 0xB16}}},
        {"framed", L + 0x680, sp4, {{kRBP, 0xF00D}, {kRBX, 0xB16}}},
        {"main",
         0x2000,
         sp4 + 48,
         {{kRBX, 0x2001}, {kR14, 0x2014}, {kR15, 0x2015}, {kRBP, 0x2006}}},
    };
    state.registers[kRBP] = 0x1600;  // six keeps its caller's rbp until it returns
    for (const Step& step : steps) {
        SCOPED_TRACE(step.from);
        if (std::string(step.from) == "framed") {
            state.registers[kRBP] = fp;  // framed's own frame pointer
        }
        crash::WRKCompactUnwindContext context = *image.context();
        ASSERT_TRUE(crash::WRKCompactUnwindLookupAndCompute(&context, &state));
        EXPECT_EQ(state.registers[kPC], step.pc);
        EXPECT_EQ(state.registers[kSP], step.sp);
        for (const auto& [index, value] : step.registers) {
            EXPECT_EQ(state.registers[index], value) << crash::WRKThreadStateRegisterName(index);
        }
    }
    // Outside the image: nothing, and the registers stay.
    const crash::WRKThreadState last = state;
    EXPECT_FALSE(crash::WRKCompactUnwindLookupAndCompute(image.context(), &state));
    EXPECT_EQ(std::memcmp(&last, &state, sizeof state), 0);
}

TEST(WRKCompactUnwindTest, FramelessWithoutSavedRegistersReadsItsReturnAddressAtTheTop) {
    crash::WRKCompactUnwindContext context;
    std::vector<std::uint64_t> stack(8, 0);
    stack[2] = 0x7000;
    crash::WRKThreadState state;
    state.registers[kSP] = reinterpret_cast<std::uint64_t>(stack.data());
    state.registers[kRBX] = 0x42;
    crash::WRKCompactUnwindResult result{0x02030000, 0x5000, 0x5100};  // 24 bytes, no registers
    ASSERT_TRUE(crash::WRKCompactUnwindComputeRegisters(&context, result, &state));
    EXPECT_EQ(state.registers[kPC], 0x7000u);
    EXPECT_EQ(state.registers[kSP], reinterpret_cast<std::uint64_t>(stack.data()) + 24);
    EXPECT_EQ(state.registers[kRBX], 0x42u);
}

TEST(WRKCompactUnwindTest, BadEncodingsLeaveTheRegistersAlone) {
    MappedImage image("dwarf_x86_64");
    ASSERT_TRUE(image.ok());
    std::vector<std::uint64_t> stack(8, 0);  // a return address of 0 is no address
    crash::WRKThreadState state;
    state.registers[kSP] = reinterpret_cast<std::uint64_t>(stack.data());
    state.registers[kRBP] = 8;  // unreadable
    state.registers[kPC] = image.load() + 0x6e6;
    for (const std::uint32_t encoding : {0u, 0x05000000u, 0x01000000u, 0x02030000u, 0x02021c00u,
                                         0x04000000u, 0x04ffffffu, 0x04000001u}) {
        SCOPED_TRACE(encoding);
        const crash::WRKThreadState before = state;
        crash::WRKCompactUnwindResult result{encoding, image.load() + 0x6e0, image.load() + 0x6f0};
        EXPECT_FALSE(crash::WRKCompactUnwindComputeRegisters(image.context(), result, &state));
        EXPECT_EQ(std::memcmp(&before, &state, sizeof state), 0);
    }
}

#endif

TEST(WRKCompactUnwindTest, PermutationsDecodeToRegisterNumbers) {
    struct Case {
        std::uint32_t count, permutation;
        std::vector<std::uint32_t> registers;
    };
    for (const Case& c : {Case{0, 0, {}}, Case{1, 3, {4}}, Case{2, 4, {1, 6}},
                          Case{4, 32, {1, 4, 5, 6}}, Case{6, 0, {1, 2, 3, 4, 5, 6}},
                          Case{6, 719, {6, 5, 4, 3, 2, 1}}, Case{3, 59, {3, 6, 5}}}) {
        SCOPED_TRACE(c.permutation);
        std::uint32_t digits[6] = {};
        std::uint32_t registers[6] = {};
        ASSERT_TRUE(crash::WRKCompactUnwindDecompressPermutation(c.count, c.permutation, digits));
        ASSERT_TRUE(crash::WRKCompactUnwindRemapRegisters(c.count, digits, registers));
        EXPECT_EQ(std::vector<std::uint32_t>(registers, registers + c.count), c.registers);
    }
    std::uint32_t digits[6] = {};
    EXPECT_FALSE(crash::WRKCompactUnwindDecompressPermutation(7, 0, digits));
    const std::uint32_t tooLarge[6] = {6, 0, 0, 0, 0, 0};
    std::uint32_t registers[6] = {};
    EXPECT_FALSE(crash::WRKCompactUnwindRemapRegisters(1, tooLarge, registers));
    EXPECT_FALSE(crash::WRKCompactUnwindRemapRegisters(7, digits, registers));
}

// A hand-made table: header, two common encodings, the index, one second-level page.
struct Table {
    std::vector<std::uint32_t> words;
    std::uintptr_t address() const { return reinterpret_cast<std::uintptr_t>(words.data()); }
};

Table makeTable(std::uint32_t version, std::uint32_t indexCount, std::uint32_t pageKind) {
    Table t;
    t.words = {version, 28, 2, 36, 0, 36, indexCount,
               // common encodings
               0x01000000, 0x02010000,
               // index: [0x100, page at 60], sentinel [0x400]
               0x100, 60, 0, 0x400, 0, 0,
               // page (at byte 60): kind, entries at 12, 3 entries, encodings at 24, 1
               pageKind, (3u << 16) | 12, (1u << 16) | 24,
               // entries: +0 common[0], +0x80 common[1], +0x200 page encoding [2]
               (0u << 24) | 0, (1u << 24) | 0x80, (2u << 24) | 0x200,
               // the page's own encoding
               0x02020000};
    return t;
}

TEST(WRKCompactUnwindTest, HandMadeTables) {
    const std::uintptr_t load = 0x100000;
    struct Case {
        const char* what;
        std::uint32_t version, indexCount, pageKind;
        std::uint64_t pc;
        bool initOk, found;
        std::uint32_t encoding;
        std::uint64_t start, end;
    };
    for (const Case& c : {
             Case{"common encoding", 1, 2, 3, load + 0x110, true, true, 0x01000000, load + 0x100,
                  load + 0x180},
             Case{"second common encoding", 1, 2, 3, load + 0x1ff, true, true, 0x02010000,
                  load + 0x180, load + 0x300},
             Case{"the page's own encoding, ending at the sentinel", 1, 2, 3, load + 0x3ff, true,
                  true, 0x02020000, load + 0x300, load + 0x400},
             Case{"at the page's base", 1, 2, 3, load + 0x100, true, false, 0, 0, 0},
             Case{"past the sentinel", 1, 2, 3, load + 0x400, true, false, 0, 0, 0},
             Case{"below the first function", 1, 2, 3, load + 0x50, true, false, 0, 0, 0},
             Case{"version 2", 2, 2, 3, load + 0x110, false, false, 0, 0, 0},
             Case{"sentinel only", 1, 1, 3, load + 0x110, true, false, 0, 0, 0},
             Case{"regular page", 1, 2, 2, load + 0x110, true, false, 0, 0, 0},
             Case{"unknown page kind", 1, 2, 9, load + 0x110, true, false, 0, 0, 0},
         }) {
        SCOPED_TRACE(c.what);
        const Table table = makeTable(c.version, c.indexCount, c.pageKind);
        crash::WRKCompactUnwindContext context;
        ASSERT_EQ(crash::WRKCompactUnwindInit(&context, table.address(), 0, 0, load), c.initOk);
        if (!c.initOk) {
            continue;
        }
        crash::WRKCompactUnwindResult result;
        ASSERT_EQ(crash::WRKCompactUnwindLookup(&context, c.pc, &result), c.found);
        EXPECT_EQ(result.encoding, c.encoding);
        EXPECT_EQ(result.functionStart, c.start);
        EXPECT_EQ(result.functionEnd, c.end);
    }
    crash::WRKCompactUnwindContext context;
    EXPECT_FALSE(crash::WRKCompactUnwindInit(&context, 0x10, 0, 0, load));
    EXPECT_FALSE(crash::WRKCompactUnwindInit(&context, makeTable(1, 2, 3).address(), 0, 0, 0x10));
}

// Offsets far outside the table: every read is validated, so the lookup fails instead of
// faulting.
TEST(WRKCompactUnwindTest, DamagedOffsetsFailWithoutFaulting) {
    const std::uintptr_t load = 0x100000;
    // the common encodings, the index, the page
    for (const std::size_t field : {1u, 5u, 10u}) {
        SCOPED_TRACE(field);
        Table table = makeTable(1, 2, 3);
        table.words[field] = 0x7FFFFFF0u;
        crash::WRKCompactUnwindContext context;
        ASSERT_TRUE(crash::WRKCompactUnwindInit(&context, table.address(), 0, 0, load));
        crash::WRKCompactUnwindResult result;
        EXPECT_FALSE(crash::WRKCompactUnwindLookup(&context, load + 0x110, &result));
    }
}

}  // namespace
