#include "crash/WRKDwarf.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>
#include <unwind.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "crash/WRKBinaryImage.h"
#include "crash/WRKUnwind.h"

namespace talvor::crash {
namespace {

namespace fs = std::filesystem;

#if defined(__x86_64__)

// readelf's names of the DWARF columns; the last is the return address.
const char* const kColumnNames[] = {"rax", "rdx", "rcx", "rbx", "rsi", "rdi", "rbp", "rsp", "r8",
                                    "r9",  "r10", "r11", "r12", "r13", "r14", "r15", "ra"};

std::string withSign(std::int64_t offset) {
    return (offset < 0 ? "-" : "+") + std::to_string(offset < 0
                                                         ? 0 - static_cast<std::uint64_t>(offset)
                                                         : static_cast<std::uint64_t>(offset));
}

// One cell of a row as `readelf --debug-dump=frames-interp` writes it.
std::string cell(const WRKDwarfRule& rule) {
    switch (rule.kind) {
        case WRKDwarfRuleUnspecified:
        case WRKDwarfRuleUndefined:
            return "u";
        case WRKDwarfRuleSameValue:
            return "s";
        case WRKDwarfRuleOffset:
            return "c" + withSign(rule.value);
        case WRKDwarfRuleValOffset:
            return "v" + withSign(rule.value);
        case WRKDwarfRuleRegister:
            return "r" + std::to_string(rule.value) + " (" +
                   (rule.value < 17 ? kColumnNames[rule.value] : "?") + ")";
        case WRKDwarfRuleExpression:
            return "exp";
        case WRKDwarfRuleValExpression:
            return "vexp";
        default:
            return "?";
    }
}

std::string cfaCell(const WRKDwarfRegisterState& state) {
    if (state.cfaExpression != nullptr) {
        return "exp";
    }
    return std::string(state.cfaRegister < 17 ? kColumnNames[state.cfaRegister] : "?") +
           withSign(state.cfaOffset);
}

struct Row {
    std::uint64_t address;
    std::vector<std::string> cells;  // CFA, then one per column of the frame's header
};
struct Frame {
    std::uint64_t pcBegin;
    std::vector<int> columns;  // DWARF column of each cell after the CFA
    std::vector<Row> rows;
};

// A row's cells; a register rule is written "r3 (rbx)", one cell with a space in it.
std::vector<std::string> cellsOf(const std::string& text) {
    std::vector<std::string> cells;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && text[at] == ' ') {
            ++at;
        }
        if (at == text.size()) {
            break;
        }
        std::size_t end = text.find(' ', at);
        end = end == std::string::npos ? text.size() : end;
        if (end + 1 < text.size() && text[end + 1] == '(') {
            end = text.find(')', end);
            end = end == std::string::npos ? text.size() : end + 1;
        }
        cells.push_back(text.substr(at, end - at));
        at = end;
    }
    return cells;
}

std::vector<Frame> readelfFrames(const std::string& path) {
    std::vector<Frame> frames;
    FILE* pipe =
        ::popen(("readelf --debug-dump=frames-interp '" + path + "' 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        return frames;
    }
    char buffer[8192];
    bool inFDE = false;
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        if (const std::size_t at = line.find(" FDE cie="); at != std::string::npos) {
            const std::size_t pc = line.find("pc=", at);
            frames.push_back({std::stoull(line.substr(pc + 3), nullptr, 16), {}, {}});
            inFDE = true;
        } else if (line.find(" CIE") != std::string::npos &&
                   line.find("FDE") == std::string::npos) {
            inFDE = false;
        } else if (inFDE && line.rfind("   LOC", 0) == 0) {
            const std::vector<std::string> names = cellsOf(line);
            for (std::size_t i = 2; i < names.size(); ++i) {
                int column = -1;
                for (int c = 0; c < 17; ++c) {
                    if (names[i] == kColumnNames[c]) {
                        column = c;
                    }
                }
                frames.back().columns.push_back(column);
            }
        } else if (inFDE && line.size() > 17 && line[16] == ' ' &&
                   line.find_first_not_of("0123456789abcdef") == 16) {
            Row row{std::stoull(line.substr(0, 16), nullptr, 16), cellsOf(line.substr(17))};
            frames.back().rows.push_back(row);
        }
    }
    ::pclose(pipe);
    return frames;
}

struct Loaded {
    std::uintptr_t base = 0;  // what file addresses are relative to
    std::uintptr_t ehFrameHeader = 0;
    std::string path;
};

int findLoaded(dl_phdr_info* info, std::size_t, void* data) {
    auto* loaded = static_cast<Loaded*>(data);
    if (info->dlpi_name == nullptr ||
        fs::path(info->dlpi_name).filename() != fs::path(loaded->path).filename()) {
        return 0;
    }
    loaded->base = info->dlpi_addr;
    loaded->ehFrameHeader = WRKBinaryImageDetailsFromHeaders(*info).range.ehFrameHeader;
    loaded->path = info->dlpi_name;
    return 1;
}

class CallFrameOracleTest : public ::testing::TestWithParam<const char*> {};

// Every row of every FDE of a loaded library agrees with readelf's reading of its file.
// (llvm-dwarfdump 14 is no oracle here: it does not bring the CFA back on restore_state,
// which the compiler's epilogues rely on.)
TEST_P(CallFrameOracleTest, EveryRowAgreesWithReadelf) {
    void* handle = ::dlopen(GetParam(), RTLD_LAZY);
    if (handle == nullptr) {
        GTEST_SKIP() << ::dlerror();
    }
    Loaded loaded;
    loaded.path = GetParam();
    ::dl_iterate_phdr(findLoaded, &loaded);
    ASSERT_NE(loaded.ehFrameHeader, 0u);
    const std::vector<Frame> frames = readelfFrames(loaded.path);
    ASSERT_GT(frames.size(), 1000u);
    std::size_t rows = 0;
    std::size_t missing = 0;
    std::size_t differing = 0;
    std::string example;
    for (const Frame& frame : frames) {
        WRKDwarfFDE fde;
        WRKDwarfCIE cie;
        const std::uint64_t begin = loaded.base + frame.pcBegin;
        if (!WRKDwarfFindFDE(loaded.ehFrameHeader, begin, &fde, &cie) || fde.pcBegin != begin) {
            ++missing;
            continue;
        }
        for (const Row& row : frame.rows) {
            ++rows;
            WRKDwarfRegisterState state;
            std::vector<std::string> ours;
            if (WRKDwarfRowForPC(cie, fde, loaded.base + row.address, &state)) {
                ours.push_back(cfaCell(state));
                for (int column : frame.columns) {
                    ours.push_back(column >= 0 ? cell(state.rules[column]) : "?");
                }
            }
            if (ours != row.cells) {
                if (differing++ == 0) {
                    std::ostringstream text;
                    text << std::hex << row.address << ":";
                    for (const std::string& c : ours) {
                        text << " " << c;
                    }
                    text << " | readelf:";
                    for (const std::string& c : row.cells) {
                        text << " " << c;
                    }
                    example = text.str();
                }
            }
        }
    }
    EXPECT_EQ(missing, 0u) << "FDEs the search table did not find";
    EXPECT_GT(rows, frames.size());
    RecordProperty("rows", std::to_string(rows));
    EXPECT_EQ(differing, 0u) << "of " << rows << " rows, e.g. " << example;
    // Kept loaded: a library unloaded again leaves its start-up allocations orphaned.
}

INSTANTIATE_TEST_SUITE_P(crashDwarf, CallFrameOracleTest,
                         ::testing::Values("libc.so.6", "libstdc++.so.6", "libQt6Core.so.6"),
                         [](const ::testing::TestParamInfo<const char*>& row) {
                             std::string name = row.param;
                             name = name.substr(3, name.find('.') - 3);
                             return name == "stdc++" ? std::string("stdcxx") : name;
                         });

#endif  // __x86_64__

// Expressions as the toolchain writes them (the PLT's CFA among them), and broken ones.
TEST(crashDwarfExpression, ExpressionsEvaluateOrFailCleanly) {
    WRKThreadState registers;
    registers.registers[WRKDwarfStateIndex(7)] = 0x7000;   // rsp
    registers.registers[WRKDwarfStateIndex(16)] = 0x201c;  // rip
    std::uint64_t word = 0x1122334455667788;
    const auto wordAddress = reinterpret_cast<std::uintptr_t>(&word);
    std::vector<std::uint8_t> deref = {0x0e};  // const8u <address>, deref
    for (int i = 0; i < 8; ++i) {
        deref.push_back(static_cast<std::uint8_t>(wordAddress >> (8 * i)));
    }
    deref.push_back(0x06);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> code;
        bool pushInitial;
        std::optional<std::uint64_t> result;
    };
    const Case rows[] = {
        // breg7 +8, breg16 +0, lit15, and, lit11, ge, lit3, shl, plus
        {"PLT entry past its push",
         {0x77, 0x08, 0x80, 0x00, 0x3f, 0x1a, 0x3b, 0x2a, 0x33, 0x24, 0x22},
         false,
         0x7010},
        {"initial value plus a constant", {0x23, 0x10}, true, 0x110},
        {"bra taken over a lit", {0x31, 0x28, 0x01, 0x00, 0x3f, 0x35}, false, 5},
        {"skip", {0x2f, 0x01, 0x00, 0x3f, 0x36}, false, 6},
        {"signed compare", {0x11, 0x7f, 0x30, 0x2d}, false, 1},  // -1 < 0
        {"memory read", deref, false, 0x1122334455667788},
        {"deref_size 2", {0x0e, 0, 0, 0, 0, 0, 0, 0, 0, 0x94, 0x02}, false, std::nullopt},
        {"pops more than it pushed", {0x22}, true, std::nullopt},
        {"unknown opcode", {0xe0}, false, std::nullopt},
        {"division by zero", {0x35, 0x30, 0x1b}, false, std::nullopt},
    };
    for (const Case& row : rows) {
        std::vector<std::uint8_t> expression = {static_cast<std::uint8_t>(row.code.size())};
        expression.insert(expression.end(), row.code.begin(), row.code.end());
        std::uint64_t out = 0;
        const bool ok =
            WRKDwarfEvaluateExpression(expression.data(), registers, 0x100, row.pushInitial, &out);
        EXPECT_EQ(ok, row.result.has_value()) << row.what;
        if (ok && row.result) {
            EXPECT_EQ(out, *row.result) << row.what;
        }
    }
}

// CIEs and FDEs made by hand for what real tables rarely show.
TEST(crashDwarfRecords, AugmentationsLengthsAndRowBoundaries) {
    // CIE: version 1, augmentation, code align 1, data align -8, RA column 16, data, then
    // def_cfa rsp+8, offset ra at cfa-8.
    const auto cie = [](const std::string& augmentation, std::vector<std::uint8_t> data,
                        bool longLength) {
        std::vector<std::uint8_t> body = {0, 0, 0, 0, 1};
        body.insert(body.end(), augmentation.begin(), augmentation.end());
        body.push_back(0);
        body.insert(body.end(), {0x01, 0x78, 0x10});
        if (!augmentation.empty()) {
            body.push_back(static_cast<std::uint8_t>(data.size()));
            body.insert(body.end(), data.begin(), data.end());
        }
        body.insert(body.end(), {0x0c, 0x07, 0x08, 0x90, 0x01});
        std::vector<std::uint8_t> record;
        if (longLength) {
            record = {0xff, 0xff, 0xff, 0xff};
            const std::uint64_t length = body.size();
            for (int i = 0; i < 8; ++i) {
                record.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
            }
        } else {
            record = {static_cast<std::uint8_t>(body.size()), 0, 0, 0};
        }
        record.insert(record.end(), body.begin(), body.end());
        return record;
    };
    struct Augmentation {
        const char* augmentation;
        std::vector<std::uint8_t> data;
        bool longLength;
        bool parses;
    };
    const Augmentation rows[] = {
        {"", {}, false, true},
        {"zR", {0x1b}, false, true},
        {"zLR", {0x1b, 0x1b}, false, true},
        {"zPLR", {0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0x1b, 0x1b}, false, true},
        {"zR", {0x1b}, true, true},
        {"zRS", {0x1b}, false, true},
        {"eh", {}, false, false},
        {"zM", {0x00}, false, false},
    };
    for (const Augmentation& row : rows) {
        const std::vector<std::uint8_t> record = cie(row.augmentation, row.data, row.longLength);
        WRKDwarfCIE parsed;
        EXPECT_EQ(WRKDwarfParseCIE(record.data(), &parsed), row.parses) << row.augmentation;
        if (row.parses) {
            EXPECT_EQ(parsed.returnAddressColumn, 16u) << row.augmentation;
            EXPECT_EQ(parsed.dataAlignment, -8) << row.augmentation;
            EXPECT_EQ(parsed.signalFrame, std::string(row.augmentation) == "zRS");
            EXPECT_EQ(parsed.instructionsEnd - parsed.instructions, 5) << row.augmentation;
        }
    }

    // Rows: at +1 the CFA becomes rsp+16, at +4 the state is remembered and the CFA becomes
    // rsp+8, at +5 it is restored.
    WRKDwarfCIE parsed;
    const std::vector<std::uint8_t> record = cie("", {}, false);
    ASSERT_TRUE(WRKDwarfParseCIE(record.data(), &parsed));
    const std::uint8_t program[] = {0x41, 0x0e, 0x10, 0x86, 0x02, 0x43,
                                    0x0a, 0x0e, 0x08, 0x41, 0x0b};
    WRKDwarfFDE fde;
    fde.pcBegin = 0x1000;
    fde.pcEnd = 0x1010;
    fde.instructions = program;
    fde.instructionsEnd = program + sizeof program;
    const std::pair<std::uint64_t, std::int64_t> cfaAt[] = {
        {0x1000, 8}, {0x1001, 16}, {0x1003, 16}, {0x1004, 8}, {0x1005, 16}, {0x100f, 16}};
    for (const auto& [pc, offset] : cfaAt) {
        WRKDwarfRegisterState state;
        ASSERT_TRUE(WRKDwarfRowForPC(parsed, fde, pc, &state));
        EXPECT_EQ(state.cfaOffset, offset) << std::hex << pc;
        EXPECT_EQ(state.rules[6].kind, pc >= 0x1001 ? WRKDwarfRuleOffset : WRKDwarfRuleUnspecified)
            << std::hex << pc;
    }
}

// A library unloaded after the image list last looked: its tables are gone, and the look-up
// says so instead of faulting.
TEST(crashDwarfRecords, TheTablesOfAnUnloadedLibraryAreNotRead) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    void* gone = ::mmap(nullptr, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(gone, MAP_FAILED);
    ::munmap(gone, page);
    WRKDwarfFDE fde;
    WRKDwarfCIE cie;
    EXPECT_FALSE(WRKDwarfFindFDE(reinterpret_cast<std::uintptr_t>(gone), 0x1234, &fde, &cie));
    WRKThreadState state;
    bool signalFrame = false;
    EXPECT_EQ(WRKDwarfUnwindComputeRegisters(reinterpret_cast<std::uintptr_t>(gone), 0x1234, &state,
                                             &signalFrame),
              WRKDwarfStep::Failed);
}

// The walk from a captured context against the toolchain's own unwinder, from the same place.
struct Walks {
    std::vector<std::uint64_t> ours;
    std::vector<std::uint64_t> theirs;
};

_Unwind_Reason_Code collect(_Unwind_Context* context, void* data) {
    static_cast<std::vector<std::uint64_t>*>(data)->push_back(_Unwind_GetIP(context));
    return _URC_NO_REASON;
}

const WRKBinaryImageTable* liveImages() {
    static const auto* table = [] {
        auto* images = new WRKBinaryImageTable;
        const fs::path file =
            fs::temp_directory_path() / ("talvor-live-images-" + std::to_string(::getpid()));
        {
            WRKBinaryImageTracker tracker(file.string(), images);
            tracker.start();
        }
        fs::remove(file);
        return images;
    }();
    return table;
}

__attribute__((noinline)) void capture(Walks* walks) {
    ucontext_t context;
    ::getcontext(&context);
    _Unwind_Backtrace(collect, &walks->theirs);
    WRKThreadState state;
    ASSERT_TRUE(WRKThreadStateFromContext(&context, &state));
    WRKUnwindContext unwind;
    WRKUnwindInit(&unwind, state, liveImages());
    while (WRKUnwindNextFrame(&unwind) && walks->ours.size() < 200) {
        walks->ours.push_back(WRKUnwindGetPC(&unwind));
    }
    asm volatile("" ::: "memory");
}

__attribute__((noinline)) void nested(Walks* walks, int depth) {
    if (depth == 0) {
        capture(walks);
    } else {
        nested(walks, depth - 1);
    }
    asm volatile("" ::: "memory");
}

Walks* sortWalks = nullptr;
extern "C" int compareAndCapture(const void* a, const void* b) {
    if (sortWalks != nullptr && sortWalks->ours.empty()) {
        capture(sortWalks);
    }
    return *static_cast<const int*>(a) - *static_cast<const int*>(b);
}

void expectSameWalks(const Walks& walks) {
    // The first frames differ (each records its own call site in `capture`); the callers
    // from there on must match.
    ASSERT_GE(walks.ours.size(), 3u);
    ASSERT_GE(walks.theirs.size(), 3u);
    const std::vector<std::uint64_t> ours(walks.ours.begin() + 1, walks.ours.end());
    std::vector<std::uint64_t> theirs(walks.theirs.begin() + 1, walks.theirs.end());
    // The toolchain's walk ends with the outermost frame's empty return address.
    while (!theirs.empty() && theirs.back() == 0) {
        theirs.pop_back();
    }
    EXPECT_EQ(ours, theirs);
}

extern "C" __attribute__((noinline)) int tripleIt(int value) {
    asm volatile("" ::: "memory");
    return value * 3;
}

#if defined(__x86_64__)
// A fault on a function's very first instruction (a stack overflow on its first push): the
// interrupted PC is no return address, so its own entry is looked up, not the byte before
// it, which belongs to whatever precedes the function.
TEST(crashDwarfLive, AFaultOnTheFirstInstructionUnwindsToTheCaller) {
    std::uint64_t stack[4] = {};
    const auto caller = reinterpret_cast<std::uintptr_t>(&nested) + 4;
    stack[0] = caller;  // as the call left it
    WRKThreadState state;
    state.registers[WRKThreadState::kPC] = reinterpret_cast<std::uintptr_t>(&tripleIt);
    state.registers[WRKThreadState::kSP] = reinterpret_cast<std::uintptr_t>(stack);
    state.registers[WRKThreadState::kFP] = 0;
    WRKUnwindContext unwind;
    WRKUnwindInit(&unwind, state, liveImages());
    ASSERT_TRUE(WRKUnwindNextFrame(&unwind));
    EXPECT_EQ(WRKUnwindLookupPC(&unwind), reinterpret_cast<std::uintptr_t>(&tripleIt));
    ASSERT_TRUE(WRKUnwindNextFrame(&unwind));
    EXPECT_EQ(WRKUnwindGetPC(&unwind), caller);
    EXPECT_EQ(WRKUnwindGetStackPointer(&unwind), reinterpret_cast<std::uintptr_t>(stack + 1));
    // From here on the PCs are return addresses: the byte before is looked up.
    EXPECT_EQ(WRKUnwindLookupPC(&unwind), caller - 1);
    // A thread that records itself starts from a return address as well.
    WRKUnwindContext own;
    WRKUnwindInit(&own, state, liveImages());
    own.firstPCIsReturnAddress = true;
    ASSERT_TRUE(WRKUnwindNextFrame(&own));
    EXPECT_EQ(WRKUnwindLookupPC(&own), reinterpret_cast<std::uintptr_t>(&tripleIt) - 1);
}
#endif

TEST(crashDwarfLive, NestedCallsUnwindAsTheToolchainDoes) {
    Walks walks;
    nested(&walks, 6);
    expectSameWalks(walks);
}

TEST(crashDwarfLive, ACallbackFromTheCLibraryUnwindsThroughIt) {
    Walks walks;
    sortWalks = &walks;
    int values[] = {5, 3, 9, 1, 7};
    std::qsort(values, std::size(values), sizeof values[0], compareAndCapture);
    sortWalks = nullptr;
    expectSameWalks(walks);
}

TEST(crashDwarfLive, AThreadUnwindsToItsStart) {
    Walks walks;
    std::thread([&] { nested(&walks, 3); }).join();
    expectSameWalks(walks);
}

}  // namespace
}  // namespace talvor::crash
