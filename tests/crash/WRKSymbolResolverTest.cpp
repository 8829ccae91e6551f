#include "crash/WRKSymbolResolver.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "crash/WRKBinaryImage.h"

// A function of this program with a plain name, whose address and nm entry give the
// program's slide independently of the code under test.
extern "C" [[gnu::noinline]] int talvorResolverProbe(int value) {
    asm volatile("" : "+r"(value));
    return value * 3 + 1;
}

namespace talvor::crash {
namespace {

namespace fs = std::filesystem;

std::string output(const std::string& command) {
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return text;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        text.append(buffer, n);
    }
    ::pclose(pipe);
    return text;
}

struct NmSymbol {
    std::uint64_t start = 0;
    std::uint64_t size = 0;
    char type = 0;
    std::string name;
};

// The program's functions with a size, as nm lists them (weak ones are the inline functions
// an unoptimised build keeps).
std::vector<NmSymbol> nmFunctions(const std::string& path) {
    std::vector<NmSymbol> symbols;
    std::istringstream lines(output("nm --defined-only -S '" + path + "'"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        NmSymbol symbol;
        std::string start;
        std::string size;
        std::string type;
        if (!(fields >> start >> size >> type >> symbol.name) || type.size() != 1 ||
            (type != "t" && type != "T" && type != "W" && type != "i")) {
            continue;
        }
        symbol.start = std::stoull(start, nullptr, 16);
        symbol.size = std::stoull(size, nullptr, 16);
        symbol.type = type[0];
        if (symbol.size > 0) {
            symbols.push_back(symbol);
        }
    }
    return symbols;
}

// The names nm gives the function covering `address`: one or several aliases, or none.
std::vector<std::string> namesCovering(const std::vector<NmSymbol>& symbols,
                                       std::uint64_t address) {
    std::vector<std::string> names;
    for (const NmSymbol& symbol : symbols) {
        if (address >= symbol.start && address - symbol.start < symbol.size) {
            names.push_back(symbol.name);
        }
    }
    return names;
}

class Folder {
  public:
    Folder() {
        path_ = fs::temp_directory_path() /
                ("talvor-symbols-" + std::to_string(::getpid()) + "-" + std::to_string(next_++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~Folder() { fs::remove_all(path_); }
    std::string file(const char* name) const { return (path_ / name).string(); }

  private:
    static inline int next_ = 0;
    fs::path path_;
};

// This process's image record, as the capture writes it for a run.
std::string recordThisProcess(const Folder& folder) {
    const std::string path = folder.file("binary_images.clsrecord");
    auto table = std::make_unique<WRKBinaryImageTable>();
    WRKBinaryImageTracker tracker(path, table.get());
    tracker.start();
    tracker.sync();
    return path;
}

class SymbolResolverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        program_ = fs::read_symlink("/proc/self/exe").string();
        symbols_ = nmFunctions(program_);
        ASSERT_FALSE(symbols_.empty()) << "nm listed no functions of " << program_;
        for (const NmSymbol& symbol : symbols_) {
            if (symbol.name == "talvorResolverProbe") {
                slide_ = reinterpret_cast<std::uintptr_t>(&talvorResolverProbe) - symbol.start;
            }
        }
        ASSERT_NE(slide_, 0u);
        const std::optional<WRKBinaryImageDetails> self = WRKBinaryImageMainExecutable();
        ASSERT_TRUE(self);
        base_ = self->range.loadAddress;
        ASSERT_TRUE(resolver_.loadBinaryImagesFromFile(recordThisProcess(folder_)));
    }

    Folder folder_;
    std::string program_;
    std::vector<NmSymbol> symbols_;
    std::uint64_t slide_ = 0;
    std::uint64_t base_ = 0;  // the program's load address
    WRKSymbolResolver resolver_;
};

// Addresses inside functions of this program, global and file-local alike, get nm's name,
// the distance from its start and the program's file name.
TEST_F(SymbolResolverTest, NamesAreThoseNmGives) {
    int global = 0;
    int local = 0;
    const std::size_t step = std::max<std::size_t>(1, symbols_.size() / 60);
    for (std::size_t i = 0; i < symbols_.size(); i += step) {
        const NmSymbol& symbol = symbols_[i];
        const std::uint64_t inside = symbol.start + symbol.size / 2;
        if (symbol.size < 2) {
            continue;
        }
        (symbol.type == 't' ? local : global) += 1;
        const std::optional<WRKStackFrame> frame = resolver_.frameForAddress(slide_ + inside);
        ASSERT_TRUE(frame) << symbol.name;
        const std::vector<std::string> names = namesCovering(symbols_, inside);
        ASSERT_TRUE(frame->symbol) << symbol.name;
        EXPECT_NE(std::find(names.begin(), names.end(), *frame->symbol), names.end())
            << *frame->symbol << " is not nm's name of " << symbol.name;
        EXPECT_EQ(frame->rawSymbol, frame->symbol);
        EXPECT_EQ(frame->offset, symbol.size / 2) << symbol.name;
        EXPECT_EQ(frame->library, fs::path(program_).filename().string());
        EXPECT_EQ(frame->imageOffset, slide_ + inside - base_) << symbol.name;
    }
    EXPECT_GT(global, 5);
    EXPECT_GT(local, 5) << "file-local functions must be named as well";
}

// An address at a function's very start is a return address after a call ending the
// function before it: it resolves two bytes earlier, to that function or to no symbol (the
// frame still names the program and its place in it).
TEST_F(SymbolResolverTest, AnAddressAtAFunctionsStartBelongsToTheBytesBefore) {
    int before = 0;
    int gap = 0;
    for (const NmSymbol& symbol : symbols_) {
        if (before >= 5 && gap >= 5) {
            break;
        }
        const std::vector<std::string> names = namesCovering(symbols_, symbol.start - 2);
        if ((names.empty() && gap >= 5) || (!names.empty() && before >= 5)) {
            continue;
        }
        WRKStackFrame frame = WRKStackFrame::withAddress(slide_ + symbol.start);
        const bool resolved = resolver_.updateStackFrame(frame);
        if (names.empty()) {
            ++gap;
            EXPECT_FALSE(resolved) << symbol.name << " resolved to " << frame.symbol.value_or("");
            EXPECT_EQ(frame.symbol, std::nullopt);
            EXPECT_EQ(frame.library, fs::path(program_).filename().string()) << symbol.name;
            EXPECT_EQ(frame.imageOffset, slide_ + symbol.start - base_) << symbol.name;
        } else {
            ++before;
            ASSERT_TRUE(resolved && frame.symbol) << symbol.name;
            EXPECT_NE(std::find(names.begin(), names.end(), *frame.symbol), names.end())
                << *frame.symbol;
        }
    }
    EXPECT_GT(before, 0);
    EXPECT_GT(gap, 0);
}

TEST(crashSymbolResolver, TheImageListKeepsLoadedImagesWithARangeByBase) {
    Folder folder;
    const std::string path = folder.file("binary_images.clsrecord");
    std::ofstream(path)
        << R"({"load":{"path":"/opt/high.so","uuid":"bb","base":98304,"size":65536}})"
           "\n"
        << R"({"load":{"path":"/opt/low.so","uuid":"aa","base":65536,"size":65536}})"
           "\n"
        << R"({"load":{"path":"/opt/nosize.so","uuid":"cc","base":4096,"size":null}})"
           "\n"
        << R"({"load":{"path":"/opt/nobase.so","uuid":"dd","size":4096}})"
           "\n"
        << R"({"unload":{"path":"/opt/low.so","uuid":"aa","base":65536,"size":65536}})"
           "\n";
    WRKSymbolResolver resolver;
    ASSERT_TRUE(resolver.loadBinaryImagesFromFile(path));
    std::vector<std::string> paths;
    for (const JSONValue& image : resolver.binaryImages()) {
        paths.push_back(*image.find("path")->string());
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"/opt/low.so", "/opt/high.so"}));
    struct Case {
        std::uint64_t pc;
        const char* image;
    };
    for (const Case& c : {Case{65536, "/opt/low.so"}, Case{100000, "/opt/low.so"},
                          Case{131072, "/opt/high.so"}, Case{163839, "/opt/high.so"},
                          Case{163840, nullptr}, Case{4096, nullptr}, Case{0, nullptr}}) {
        const JSONValue* image = resolver.loadedBinaryImageForPC(c.pc);
        const std::optional<std::string> found =
            image != nullptr ? std::optional(*image->find("path")->string()) : std::nullopt;
        EXPECT_EQ(found, c.image != nullptr ? std::optional<std::string>(c.image) : std::nullopt)
            << c.pc;
    }

    // Neither image is loaded here: no symbol, but the image and the place in it stay, for
    // a later symbolisation; an address outside every image gets nothing.
    WRKStackFrame frame = WRKStackFrame::withAddress(100000);
    EXPECT_FALSE(resolver.updateStackFrame(frame));
    EXPECT_EQ(frame.symbol, std::nullopt);
    EXPECT_EQ(frame.library, "low.so");
    EXPECT_EQ(frame.imageOffset, 100000u - 65536u);
    WRKStackFrame outside = WRKStackFrame::withAddress(163840);
    EXPECT_FALSE(resolver.updateStackFrame(outside));
    EXPECT_EQ(outside.library, std::nullopt);
    EXPECT_EQ(outside.imageOffset, std::nullopt);
    EXPECT_FALSE(resolver.frameForAddress(100000));
    EXPECT_FALSE(resolver.frameForAddress(0));
}

TEST(crashSymbolResolver, AnUnreadableImageRecordGivesNoList) {
    Folder folder;
    WRKSymbolResolver resolver;
    EXPECT_FALSE(resolver.loadBinaryImagesFromFile(""));
    EXPECT_FALSE(resolver.loadBinaryImagesFromFile(folder.file("missing.clsrecord")));
    std::ofstream(folder.file("garbage.clsrecord")) << "no json here\n";
    EXPECT_FALSE(resolver.loadBinaryImagesFromFile(folder.file("garbage.clsrecord")));
    EXPECT_TRUE(resolver.binaryImages().empty());
}

TEST(crashStackFrame, Description) {
    WRKStackFrame bare = WRKStackFrame::withSymbol("main");
    bare.address = 0x1f;
    bare.lineNumber = 12;
    EXPECT_EQ(bare.description(), "{[0x1f + 12] main}");
    WRKStackFrame withFile = bare;
    withFile.fileName = "main.cpp";
    EXPECT_EQ(withFile.description(), "{[0x1f] main.cpp - main:12}");
    EXPECT_EQ(WRKStackFrame::withAddress(0xabc).description(), "{[0xabc + 0] (null)}");
}

}  // namespace
}  // namespace talvor::crash
