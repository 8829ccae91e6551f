#include "crash/WRKProcessReport.h"

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
#include "crash/WRKFile.h"

namespace talvor::crash::probe {
// Functions of this program for the stacks below: one with a C++ name, one with a C name.
[[gnu::noinline]] int cppProbe(int value) {
    asm volatile("" : "+r"(value));
    return value * 5 + 2;
}
}  // namespace talvor::crash::probe

extern "C" [[gnu::noinline]] int talvorProcessProbe(int value) {
    asm volatile("" : "+r"(value));
    return value * 7 + 3;
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

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

class Folder {
  public:
    Folder() {
        path_ = fs::temp_directory_path() /
                ("talvor-process-" + std::to_string(::getpid()) + "-" + std::to_string(next_++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~Folder() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ / name) << text;
    }
    std::vector<std::string> symbolicated() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path_)) {
            if (entry.path().extension() == ".symbolicated") {
                names.push_back(entry.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    static inline int next_ = 0;
    fs::path path_;
};

// The demangler gives what c++filt gives for every C++ name the C++ library exports, and
// nothing for a name c++filt leaves as it is.
TEST(crashDemangle, AgreesWithCxxFiltOnTheCxxLibrarysNames) {
    std::string library;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        if (const auto at = line.find('/');
            at != std::string::npos && line.find("libstdc++") != std::string::npos) {
            library = line.substr(at);
            break;
        }
    }
    ASSERT_FALSE(library.empty());
    Folder folder;
    std::vector<std::string> names;
    {
        std::ofstream list(folder.path() / "names");
        for (const std::string& line : lines(output("nm -D --defined-only '" + library + "'"))) {
            // nm adds the symbol's version ("@@GLIBCXX_3.4"), which is no part of its name.
            std::string name = line.substr(line.rfind(' ') + 1);
            name = name.substr(0, name.find('@'));
            if (name.rfind("_Z", 0) == 0) {
                names.push_back(name);
                list << name << '\n';
            }
        }
    }
    ASSERT_GT(names.size(), 1000u);
    // Without the long forms of the standard abbreviations ("std::string", not its template).
    const std::vector<std::string> expected =
        lines(output("c++filt --no-verbose < '" + (folder.path() / "names").string() + "'"));
    ASSERT_EQ(expected.size(), names.size());
    int differing = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::optional<std::string> ours =
            WRKDemangleOperation::demangleSymbol(names[i].c_str());
        const std::optional<std::string> theirs =
            expected[i] == names[i] ? std::nullopt : std::optional(expected[i]);
        if (ours != theirs && ++differing <= 10) {
            ADD_FAILURE() << names[i] << ": " << ours.value_or("(none)") << " vs "
                          << theirs.value_or("(none)");
        }
    }
    EXPECT_EQ(differing, 0);
}

TEST(crashDemangle, BlocksAndNamesThatAreNotMangled) {
    struct Case {
        const char* name;
        std::optional<std::string> demangled;
    };
    const Case cases[] = {
        {"_ZN6talvor5AlarmC2Ev", "talvor::Alarm::Alarm()"},
        {"_Zli3_kmy", "operator\"\" _km(unsigned long long)"},
        {"__ZN6talvor4Sync3runEv_block_invoke", "talvor::Sync::run()_block_invoke"},
        {"__ZN6talvor4Sync3runEv_block_invoke_2", "talvor::Sync::run()_block_invoke_2"},
        // Only the last block is split off: what is left before it is no C++ name.
        {"__Z3foov_block_invoke_block_invoke_3", std::nullopt},
        {"__Z3foov", std::nullopt},             // no block
        {"__Z_block_invoke", std::nullopt},     // nothing before the block
        {"__Z3fo_block_invoke", std::nullopt},  // no valid name before the block
        {"_Z", std::nullopt},
        {"_Zgarbage", std::nullopt},
        {"main", std::nullopt},
        {"talvorProcessProbe", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WRKDemangleOperation::demangleSymbol(c.name), c.demangled) << c.name;
    }
    EXPECT_EQ(WRKDemangleOperation::demangleSymbol(nullptr), std::nullopt);
}

TEST(crashSymbolicatedFile, KeysFollowWhatResolutionAndDemanglingFound) {
    Folder folder;
    WRKStackFrame plain = WRKStackFrame::withSymbol("main");
    plain.offset = 12;
    plain.library = "talvor";
    plain.imageOffset = 0x2040;
    WRKStackFrame demangled = WRKStackFrame::withSymbol("_Zli3_kmy");
    demangled.symbol = "operator\"\" _km(unsigned long long)";
    demangled.library = "libunits.so";
    const WRKStackFrame bare = WRKStackFrame::withAddress(0x10);
    auto threads = std::make_shared<WRKThreadArray>(WRKThreadArray{{plain, demangled, bare}, {}});
    const fs::path path = folder.path() / "signal.clsrecord.symbolicated";
    std::make_shared<WRKSerializeSymbolicatedFramesOperation>(threads, path)->start();

    const std::vector<std::string> written = lines(output("cat '" + path.string() + "'"));
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(
        written[0],
        R"({"threads":[[{"symbol":"main","offset":12,"library":"talvor","image_offset":8256},)"
        R"x({"symbol":"operator\"\" _km(unsigned long long)","raw_symbol":"_Zli3_kmy",)x"
        R"("offset":0,"library":"libunits.so"},)"
        R"({"symbol":null,"raw_symbol":null,"offset":0,"library":null}],[]]})");
    const std::optional<JSONValue> parsed = parseJSON(written[0]);
    ASSERT_TRUE(parsed) << "not valid JSON";
    const JSONValue& second = (*(*parsed->find("threads")->array())[0].array())[1];
    EXPECT_EQ(*second.find("symbol")->string(), "operator\"\" _km(unsigned long long)");

    // No threads at all still gives the line.
    std::make_shared<WRKSerializeSymbolicatedFramesOperation>(std::make_shared<WRKThreadArray>(),
                                                              path)
        ->start();
    EXPECT_EQ(lines(output("cat '" + path.string() + "'")),
              std::vector<std::string>{R"({"threads":[]})"});
}

std::string recordThisProcess(const Folder& folder) {
    const std::string path = (folder.path() / "binary_images.clsrecord").string();
    auto table = std::make_unique<WRKBinaryImageTable>();
    WRKBinaryImageTracker tracker(path, table.get());
    tracker.start();
    tracker.sync();
    return path;
}

const char kMetadata[] = R"({"identity":{"session_id":"0123456789abcdef0123456789abcdef"}})"
                         "\n";

// A report of this process: its signal file's stacks are resolved, demangled and written
// beside it; a crash file without threads and the absent ones get nothing.
TEST(crashProcessReport, TheSignalFilesStacksAreWrittenSymbolicatedBesideIt) {
    Folder folder;
    folder.write("metadata.clsrecord", kMetadata);
    recordThisProcess(folder);
    const auto cpp = reinterpret_cast<std::uintptr_t>(&probe::cppProbe) + 1;
    const auto c = reinterpret_cast<std::uintptr_t>(&talvorProcessProbe) + 1;
    folder.write("signal.clsrecord", R"({"signal":{"number":11}})"
                                     "\n"
                                     R"({"threads":[{"crashed":true,"stacktrace":[)" +
                                         std::to_string(cpp) + "," + std::to_string(c) +
                                         R"(,16]},{},{"stacktrace":[]}]})"
                                         "\n");
    folder.write("exception.clsrecord", R"({"exception":{"type":"c++"}})"
                                        "\n");
    const auto report = WRKInternalReport::reportWithPath(folder.path());
    ASSERT_TRUE(report);
    std::make_shared<WRKProcessReportOperation>(*report, std::make_shared<WRKSymbolResolver>())
        ->start();

    EXPECT_EQ(folder.symbolicated(), std::vector<std::string>{"signal.clsrecord.symbolicated"});
    const auto sections =
        WRKFileReadSections((folder.path() / "signal.clsrecord.symbolicated").string(), false);
    ASSERT_TRUE(sections && sections->size() == 1u);
    const JSONValue* threads = sections->front().find("threads");
    ASSERT_TRUE(threads && threads->array() && threads->array()->size() == 3u);
    const auto& crashed = *(*threads->array())[0].array();
    ASSERT_EQ(crashed.size(), 3u);
    const std::string program = fs::read_symlink("/proc/self/exe").filename().string();
    EXPECT_EQ(*crashed[0].find("symbol")->string(), "talvor::crash::probe::cppProbe(int)");
    EXPECT_EQ(*crashed[0].find("raw_symbol")->string(), "_ZN6talvor5crash5probe8cppProbeEi");
    EXPECT_EQ(*crashed[0].find("offset")->uint64(), 1u);
    EXPECT_EQ(*crashed[0].find("library")->string(), program);
    EXPECT_EQ(*crashed[1].find("symbol")->string(), "talvorProcessProbe");
    EXPECT_EQ(crashed[1].find("raw_symbol"), nullptr);
    // Each frame in an image keeps its place in it; an address in none has no place.
    const std::optional<WRKBinaryImageDetails> self = WRKBinaryImageMainExecutable();
    ASSERT_TRUE(self);
    EXPECT_EQ(*crashed[0].find("image_offset")->uint64(), cpp - self->range.loadAddress);
    EXPECT_EQ(*crashed[1].find("image_offset")->uint64(), c - self->range.loadAddress);
    for (const char* key : {"symbol", "raw_symbol", "library"}) {
        ASSERT_TRUE(crashed[2].find(key)) << key;
        EXPECT_TRUE(std::holds_alternative<std::nullptr_t>(crashed[2].find(key)->value)) << key;
    }
    EXPECT_EQ(crashed[2].find("image_offset"), nullptr);
    EXPECT_TRUE((*threads->array())[1].array()->empty());
    EXPECT_TRUE((*threads->array())[2].array()->empty());
}

TEST(crashProcessReport, AnUnreadableImageRecordLeavesNoSymbolicatedFile) {
    for (const char* images : {"", "not json\n"}) {
        Folder folder;
        folder.write("metadata.clsrecord", kMetadata);
        if (*images != '\0') {
            folder.write("binary_images.clsrecord", images);
        }
        folder.write("signal.clsrecord", R"({"signal":{}})"
                                         "\n"
                                         R"({"threads":[{"stacktrace":[4096]}]})"
                                         "\n");
        const auto report = WRKInternalReport::reportWithPath(folder.path());
        ASSERT_TRUE(report);
        std::make_shared<WRKProcessReportOperation>(*report, std::make_shared<WRKSymbolResolver>())
            ->start();
        EXPECT_TRUE(folder.symbolicated().empty()) << images;
    }
}

TEST(crashProcessReport, ThreadArraysOfCrashFiles) {
    Folder folder;
    struct Case {
        const char* what;
        const char* text;
        std::optional<std::vector<std::size_t>> frameCounts;
    };
    const Case cases[] = {
        {"threads after the first line",
         R"({"signal":{}})"
         "\n"
         R"({"threads":[{"stacktrace":[1,2,3]},{},{"stacktrace":[4]}]})"
         "\n",
         std::vector<std::size_t>{3, 0, 1}},
        {"the first threads line counts",
         R"({"threads":[{"stacktrace":[1]}]})"
         "\n"
         R"({"threads":[{"stacktrace":[1,2]}]})"
         "\n",
         std::vector<std::size_t>{1}},
        {"no threads",
         R"({"exception":{}})"
         "\n",
         std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const Case& c : cases) {
        folder.write("crash.clsrecord", c.text);
        const std::optional<WRKThreadArray> threads =
            WRKProcessReportOperation::threadArrayFromFile(folder.path() / "crash.clsrecord");
        std::optional<std::vector<std::size_t>> counts;
        if (threads) {
            counts.emplace();
            for (const auto& thread : *threads) {
                counts->push_back(thread.size());
            }
        }
        EXPECT_EQ(counts, c.frameCounts) << c.what;
    }
    EXPECT_FALSE(WRKProcessReportOperation::threadArrayFromFile(folder.path() / "missing"));
}

}  // namespace
}  // namespace talvor::crash
