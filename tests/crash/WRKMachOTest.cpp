// The Mach-O reader against the fixtures of tools/make-macho-fixtures and what llvm-otool
// said about them, and against damaged copies of them.
#include "crash/WRKMachO.h"

#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace crash = talvor::crash;
namespace fs = std::filesystem;

namespace {

const std::string kFixtures = MACHO_FIXTURES;

std::vector<std::uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One load command as llvm-otool -l prints it: its fields, and its sections' fields.
struct OtoolCommand {
    std::map<std::string, std::string> fields;
    std::vector<std::map<std::string, std::string>> sections;
};

std::vector<OtoolCommand> readOtool(const std::string& path) {
    std::ifstream in(path);
    std::vector<OtoolCommand> commands;
    std::map<std::string, std::string>* current = nullptr;
    for (std::string line; std::getline(in, line);) {
        const auto start = line.find_first_not_of(' ');
        if (start == std::string::npos) {
            continue;
        }
        line = line.substr(start);
        if (line.rfind("Load command ", 0) == 0) {
            commands.emplace_back();
            current = &commands.back().fields;
        } else if (line == "Section" && !commands.empty()) {
            commands.back().sections.emplace_back();
            current = &commands.back().sections.back();
        } else if (current != nullptr) {
            const auto space = line.find(' ');
            if (space == std::string::npos) {
                (*current)[line] = "";  // an empty name, as in an object file's segment
            } else {
                const std::string key = line.substr(0, space);
                const auto value = line.find_first_not_of(' ', space);
                if (!current->contains(key)) {
                    (*current)[key] = value == std::string::npos ? "" : line.substr(value);
                }
            }
        }
    }
    return commands;
}

const std::map<std::string, std::uint32_t> kCommandCodes = {
    {"LC_SEGMENT", 0x1},
    {"LC_SYMTAB", 0x2},
    {"LC_DYSYMTAB", 0xB},
    {"LC_LOAD_DYLIB", 0xC},
    {"LC_ID_DYLIB", 0xD},
    {"LC_LOAD_DYLINKER", 0xE},
    {"LC_SEGMENT_64", 0x19},
    {"LC_UUID", 0x1B},
    {"LC_CODE_SIGNATURE", 0x1D},
    {"LC_VERSION_MIN_MACOSX", 0x24},
    {"LC_FUNCTION_STARTS", 0x26},
    {"LC_DATA_IN_CODE", 0x29},
    {"LC_ENCRYPTION_INFO_64", 0x2C},
    {"LC_BUILD_VERSION", 0x32},
    {"LC_DYLD_INFO_ONLY", 0x80000022},
    {"LC_MAIN", 0x80000028},
};

std::uint64_t number(const std::string& text) {
    return std::stoull(text, nullptr, 0);
}

// otool leaves out a bugfix of 0, and says "n/a" for no SDK.
std::string otoolVersion(const std::optional<crash::WRKMachOVersion>& version) {
    if (!version) {
        return "none";
    }
    if (*version == crash::WRKMachOVersion{}) {
        return "n/a";
    }
    std::string text = std::to_string(version->major) + "." + std::to_string(version->minor);
    if (version->bugfix != 0) {
        text += "." + std::to_string(version->bugfix);
    }
    return text;
}

std::string withoutDashes(std::string uuid) {
    std::erase(uuid, '-');
    for (char& c : uuid) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return uuid;
}

struct Golden {
    const char* file;
    const char* arch;  // the slice of a universal file; empty for a thin one
    const char* otool;
};

class MachOGolden : public ::testing::TestWithParam<Golden> {};

TEST_P(MachOGolden, LoadCommandsAndSectionsAgreeWithOtool) {
    const Golden golden = GetParam();
    crash::WRKMachOFile file;
    ASSERT_TRUE(crash::WRKMachOFileInitWithPath(&file, (kFixtures + "/" + golden.file).c_str()));
    std::optional<crash::WRKMachOSlice> slice;
    if (*golden.arch != '\0') {
        slice = crash::WRKMachOFileSliceWithArchitectureName(file, golden.arch);
    } else {
        crash::WRKMachOFileEnumerateSlices(file, [&](const auto& s) { slice = s; });
    }
    ASSERT_TRUE(slice.has_value());
    std::vector<crash::WRKMachOLoadCommand> commands;
    EXPECT_TRUE(crash::WRKMachOSliceEnumerateLoadCommands(
        &*slice, [&](const auto& command) { commands.push_back(command); }));
    const auto expected = readOtool(kFixtures + "/" + golden.otool);
    ASSERT_EQ(commands.size(), expected.size());
    for (std::size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE("load command " + std::to_string(i));
        const auto& fields = expected[i].fields;
        const auto& command = commands[i];
        const std::string name = fields.at("cmd");
        ASSERT_TRUE(kCommandCodes.contains(name)) << name;
        EXPECT_EQ(command.command, kCommandCodes.at(name)) << name;
        EXPECT_EQ(command.size, number(fields.at("cmdsize")));
        if (name == "LC_SEGMENT_64" || name == "LC_SEGMENT") {
            const auto segment = crash::WRKMachOGetSegmentCommand(command);
            EXPECT_EQ(segment.name, fields.at("segname"));
            EXPECT_EQ(segment.address, number(fields.at("vmaddr")));
            EXPECT_EQ(segment.size, number(fields.at("vmsize")));
            for (const auto& section : expected[i].sections) {
                const auto found = crash::WRKMachOSliceInitSectionByName(
                    *slice, section.at("segname"), section.at("sectname"));
                ASSERT_TRUE(found.has_value()) << section.at("sectname");
                EXPECT_EQ(found->address, number(section.at("addr")));
                EXPECT_EQ(found->size, number(section.at("size")));
                EXPECT_EQ(found->offset, number(section.at("offset")));
            }
        } else if (name == "LC_UUID") {
            const auto uuid = crash::WRKMachOGetUUID(command);
            ASSERT_TRUE(uuid.has_value());
            EXPECT_EQ(crash::WRKMachONormalizeUUID(*uuid), withoutDashes(fields.at("uuid")));
        } else if (name == "LC_BUILD_VERSION") {
            EXPECT_EQ(otoolVersion(crash::WRKMachOGetMinimumOSVersion(command)),
                      fields.at("minos"));
            EXPECT_EQ(otoolVersion(crash::WRKMachOGetLinkedSDKVersion(command)), fields.at("sdk"));
        } else if (name == "LC_VERSION_MIN_MACOSX") {
            EXPECT_EQ(otoolVersion(crash::WRKMachOGetMinimumOSVersion(command)),
                      fields.at("version"));
            EXPECT_EQ(otoolVersion(crash::WRKMachOGetLinkedSDKVersion(command)), fields.at("sdk"));
        } else if (name == "LC_LOAD_DYLIB" || name == "LC_ID_DYLIB") {
            const std::string path = fields.at("name");
            EXPECT_EQ(crash::WRKMachOGetDylibPath(command), path.substr(0, path.find(" (offset")));
        } else if (name == "LC_ENCRYPTION_INFO_64") {
            EXPECT_EQ(crash::WRKMachOGetEncrypted(command), number(fields.at("cryptid")) != 0);
        }
    }
    crash::WRKMachOFileDestroy(&file);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MachOGolden,
                         ::testing::Values(Golden{"unwind_x86_64", "", "unwind_x86_64.otool"},
                                           Golden{"unwind_arm64", "", "unwind_arm64.otool"},
                                           Golden{"dwarf_x86_64", "", "dwarf_x86_64.otool"},
                                           Golden{"old_x86_64", "", "old_x86_64.otool"},
                                           Golden{"encrypted_x86_64", "", "encrypted_x86_64.otool"},
                                           Golden{"Dylib", "", "Dylib.otool"},
                                           Golden{"i386.o", "", "i386.o.otool"},
                                           Golden{"fat", "x86_64", "fat.x86_64.otool"},
                                           Golden{"fat", "arm64", "fat.arm64.otool"},
                                           Golden{"Fixture.dSYM/Contents/Resources/DWARF/fat",
                                                  "x86_64", "Fixture.dSYM.x86_64.otool"},
                                           Golden{"Fixture.dSYM/Contents/Resources/DWARF/fat",
                                                  "arm64", "Fixture.dSYM.arm64.otool"}));

TEST(WRKMachOTest, UniversalFileGivesItsSlicesInHeaderOrder) {
    crash::WRKMachOFile file;
    ASSERT_TRUE(crash::WRKMachOFileInitWithPath(&file, (kFixtures + "/fat").c_str()));
    std::vector<crash::WRKMachOSlice> slices;
    EXPECT_TRUE(
        crash::WRKMachOFileEnumerateSlices(file, [&](const auto& s) { slices.push_back(s); }));
    ASSERT_EQ(slices.size(), 2u);
    // As llvm-otool -f printed them (fat.fat): the x86_64 entry carries a capability bit.
    EXPECT_EQ(slices[0].startAddress, file.mappedFile + 4096);
    EXPECT_EQ(static_cast<std::uint32_t>(slices[0].cpusubtype), 0x80000003u);
    EXPECT_STREQ(crash::WRKMachOSliceGetArchitectureName(slices[0]), "x86_64");
    EXPECT_EQ(slices[1].startAddress, file.mappedFile + 32768);
    EXPECT_STREQ(crash::WRKMachOSliceGetArchitectureName(slices[1]), "arm64");
    EXPECT_TRUE(crash::WRKMachOSliceIs64Bit(slices[1]));
    EXPECT_FALSE(crash::WRKMachOFileSliceWithArchitectureName(file, "armv7").has_value());
    crash::WRKMachOFileDestroy(&file);
}

TEST(WRKMachOTest, ArchitectureNames) {
    struct Case {
        std::uint32_t cputype, cpusubtype;
        const char* name;
    };
    for (const Case& c :
         {Case{0x0100000C, 0, "arm64"}, Case{0x0100000C, 2, "arm64e"}, Case{12, 9, "armv7"},
          Case{12, 11, "armv7s"}, Case{12, 12, "armv7k"}, Case{7, 3, "i386"},
          Case{0x01000007, 3, "x86_64"}, Case{0x01000007, 0x80000003, "x86_64"},
          Case{0x01000007, 8, "x86_64h"}, Case{99, 0, "unknown"}}) {
        EXPECT_STREQ(crash::WRKMachOArchitectureName(static_cast<std::int32_t>(c.cputype),
                                                     static_cast<std::int32_t>(c.cpusubtype)),
                     c.name)
            << std::hex << c.cputype << " " << c.cpusubtype;
    }
}

TEST(WRKMachOTest, SliceObjectsReadUUIDVersionsDylibsAndEncryption) {
    struct Case {
        const char* file;
        const char* minimum;
        const char* sdk;
        bool encrypted;
    };
    for (const Case& c : {Case{"unwind_x86_64", "11.0.0", "12.3.0", false},
                          Case{"old_x86_64", "10.12.0", "10.13.0", false},
                          Case{"encrypted_x86_64", "10.12.0", "10.13.0", true}}) {
        SCOPED_TRACE(c.file);
        const auto binary = crash::WRKMachOBinary::MachOBinaryWithPath(kFixtures + "/" + c.file);
        ASSERT_TRUE(binary);
        ASSERT_EQ(binary->slices().size(), 1u);
        const auto& slice = binary->slices()[0];
        EXPECT_TRUE(slice.complete());
        EXPECT_EQ(slice.uuid().size(), 32u);
        EXPECT_EQ(crash::WRKMachOFormatVersion(slice.minimumOSVersion()), c.minimum);
        EXPECT_EQ(crash::WRKMachOFormatVersion(slice.linkedSDKVersion()), c.sdk);
        EXPECT_EQ(slice.linkedDylibs(), std::vector<std::string>{"/usr/lib/libSystem.B.dylib"});
        EXPECT_EQ(slice.encrypted(), c.encrypted);
    }
}

TEST(WRKMachOTest, DSYMBundleMatchesItsBinary) {
    const auto dsym = crash::CLSdSYM::dSYMWithPath(kFixtures + "/Fixture.dSYM");
    ASSERT_TRUE(dsym);
    EXPECT_EQ(dsym->bundleIdentifier(), "Fixture");
    const auto binary = crash::WRKMachOBinary::MachOBinaryWithPath(kFixtures + "/fat");
    ASSERT_TRUE(binary);
    std::vector<std::pair<std::string, std::string>> mine, theirs;
    binary->enumerateUUIDs(
        [&](const auto& uuid, const auto& arch) { mine.emplace_back(uuid, arch); });
    dsym->binary().enumerateUUIDs(
        [&](const auto& uuid, const auto& arch) { theirs.emplace_back(uuid, arch); });
    EXPECT_EQ(mine, theirs);
    EXPECT_EQ(mine.size(), 2u);
    EXPECT_EQ(binary->instanceIdentifier(), dsym->binary().instanceIdentifier());
    // Sorted by architecture name: arm64 before x86_64.
    EXPECT_EQ(binary->instanceIdentifier(),
              crash::WRKHashNSString(binary->sliceForArchitecture("arm64")->uuid() +
                                     binary->sliceForArchitecture("x86_64")->uuid()));
}

class WRKMachOFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("macho-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const fs::path path = dir_ / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    fs::path dir_;
};

std::size_t openDescriptors() {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

TEST_F(WRKMachOFilesTest, FilesThatCannotBeOpenedLeaveNothingOpen) {
    const std::size_t before = openDescriptors();
    const std::string shortFile = write("short", std::vector<std::uint8_t>(15, 0xCF));
    for (const std::string& path : {shortFile, dir_.string(), (dir_ / "missing").string()}) {
        crash::WRKMachOFile file;
        EXPECT_FALSE(crash::WRKMachOFileInitWithPath(&file, path.c_str())) << path;
        EXPECT_EQ(file.fd, -1);
    }
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_FALSE(crash::WRKMachOBinary::MachOBinaryWithPath(shortFile));
}

TEST_F(WRKMachOFilesTest, DSYMWithoutDWARFFileIsNone) {
    fs::create_directories(dir_ / "Empty.dSYM" / "Contents" / "Resources" / "DWARF");
    EXPECT_FALSE(crash::CLSdSYM::dSYMWithPath((dir_ / "Empty.dSYM").string()));
    EXPECT_FALSE(crash::CLSdSYM::dSYMWithPath((dir_ / "Missing.dSYM").string()));
}

TEST_F(WRKMachOFilesTest, InstanceIdentifierDoesNotDependOnSliceOrder) {
    auto bytes = bytesOf(kFixtures + "/fat");
    // Swap the two 20-byte architecture entries of the fat header.
    std::swap_ranges(bytes.begin() + 8, bytes.begin() + 28, bytes.begin() + 28);
    const auto swapped = crash::WRKMachOBinary::MachOBinaryWithPath(write("swapped", bytes));
    const auto original = crash::WRKMachOBinary::MachOBinaryWithPath(kFixtures + "/fat");
    ASSERT_TRUE(swapped && original);
    EXPECT_EQ(swapped->slices()[0].architectureName(), "arm64");
    EXPECT_EQ(swapped->instanceIdentifier(), original->instanceIdentifier());
}

void put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    std::memcpy(bytes.data() + at, &value, 4);
}

void putBig32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    put32(bytes, at, __builtin_bswap32(value));
}

// Damaged files: the reader says so, hands out nothing past the damage, and never reads
// outside the bytes (the address sanitizer run would see it).
TEST(WRKMachOTest, DamagedFilesFailCleanly) {
    const auto thin = bytesOf(kFixtures + "/unwind_x86_64");
    const auto fat = bytesOf(kFixtures + "/fat");
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool slicesOk;
        bool commandsOk;
    };
    auto edited = [](std::vector<std::uint8_t> bytes, auto edit) {
        edit(bytes);
        return bytes;
    };
    const std::vector<Case> cases = {
        {"header cut short", std::vector<std::uint8_t>(thin.begin(), thin.begin() + 20), true,
         false},
        {"commands cut short", std::vector<std::uint8_t>(thin.begin(), thin.begin() + 600), true,
         false},
        {"command count too large", edited(thin, [](auto& b) { put32(b, 16, 0x7FFFFFFF); }), true,
         false},
        {"cmdsize 0", edited(thin, [](auto& b) { put32(b, 32 + 4, 0); }), true, false},
        {"cmdsize 4", edited(thin, [](auto& b) { put32(b, 32 + 4, 4); }), true, false},
        {"cmdsize past the commands", edited(thin, [](auto& b) { put32(b, 32 + 4, 0xFFFFFFF0); }),
         true, false},
        {"commands area past the file",
         edited(thin,
                [](auto& b) {
                    put32(b, 16, 1000);
                    put32(b, 20, 0xFFFFFF00);
                }),
         true, false},
        {"unknown magic", edited(thin, [](auto& b) { put32(b, 0, 0x12345678); }), true, false},
        {"fat count too large", edited(fat, [](auto& b) { putBig32(b, 4, 0x10000000); }), false,
         false},
        {"fat slice offset past the file",
         edited(fat, [](auto& b) { putBig32(b, 8 + 20 + 8, 0xFFFFF000); }), false, false},
        {"fat slice size past the file",
         edited(fat, [](auto& b) { putBig32(b, 8 + 12, 0x7FFFFFFF); }), false, false},
        {"fat header cut short", std::vector<std::uint8_t>(fat.begin(), fat.begin() + 30), false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<crash::WRKMachOSlice> slices;
        const bool slicesOk = crash::WRKMachOEnumerateSlicesAtAddress(
            c.bytes.data(), c.bytes.size(), [&](const auto& s) { slices.push_back(s); });
        EXPECT_EQ(slicesOk, c.slicesOk);
        EXPECT_EQ(slices.size(), c.slicesOk ? 1u : 0u);
        if (slices.empty()) {
            continue;
        }
        std::size_t seen = 0;
        EXPECT_EQ(crash::WRKMachOSliceEnumerateLoadCommands(
                      &slices[0],
                      [&](const auto& command) {
                          ++seen;
                          EXPECT_GE(command.size, 8u);
                          EXPECT_LE(command.at + command.size, c.bytes.data() + c.bytes.size());
                      }),
                  c.commandsOk);
        EXPECT_LT(seen, 1000u);
        const crash::WRKMachOSliceObject object(slices[0]);
        EXPECT_FALSE(object.complete());
    }
}

// A header written in the other byte order: its words and the commands' headers are swapped
// as they are read.
TEST(WRKMachOTest, ByteSwappedHeaderIsWalked) {
    const auto original = bytesOf(kFixtures + "/i386.o");
    auto swapped = original;
    auto swap32 = [&](std::size_t at) {
        std::uint32_t value;
        std::memcpy(&value, swapped.data() + at, 4);
        value = __builtin_bswap32(value);
        std::memcpy(swapped.data() + at, &value, 4);
    };
    std::vector<crash::WRKMachOLoadCommand> expected;
    auto slice = crash::WRKMachOSliceWithHeader(original.data(), original.size());
    ASSERT_TRUE(crash::WRKMachOSliceEnumerateLoadCommands(
        &slice, [&](const auto& command) { expected.push_back(command); }));
    for (std::size_t at = 0; at < 28; at += 4) {
        swap32(at);
    }
    for (const auto& command : expected) {
        const auto at = static_cast<std::size_t>(command.at - original.data());
        swap32(at);
        swap32(at + 4);
    }
    auto other = crash::WRKMachOSliceWithHeader(swapped.data(), swapped.size());
    EXPECT_STREQ(crash::WRKMachOSliceGetArchitectureName(other), "i386");
    std::vector<std::pair<std::uint32_t, std::uint32_t>> seen;
    ASSERT_TRUE(crash::WRKMachOSliceEnumerateLoadCommands(
        &other, [&](const auto& command) { seen.emplace_back(command.command, command.size); }));
    ASSERT_EQ(seen.size(), expected.size());
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i], std::make_pair(expected[i].command, expected[i].size));
    }
}

TEST(WRKMachOTest, SectionsOutsideATruncatedFileAreNotHandedOut) {
    auto bytes = bytesOf(kFixtures + "/unwind_x86_64");
    bytes.resize(2000);  // the commands are whole; __unwind_info lies further on
    const auto slice = crash::WRKMachOSliceWithHeader(bytes.data(), bytes.size());
    EXPECT_TRUE(crash::WRKMachOSliceInitSectionByName(slice, "__TEXT", "__unwind_info"));
    EXPECT_EQ(crash::WRKMachOSliceGetSectionByName(slice, "__TEXT", "__unwind_info"), nullptr);
    const std::uint8_t* dwarf = nullptr;
    const std::uint8_t* unwind = nullptr;
    EXPECT_FALSE(crash::WRKMachOSliceGetUnwindInformation(slice, &dwarf, &unwind));
}

// The running program is ELF: its slice stands for the executable the loader loaded (its
// header, this build's CPU) and holds nothing a Mach-O reader could read.
TEST(WRKMachOTest, TheCurrentSliceIsTheRunningExecutable) {
    const crash::WRKMachOSlice current = crash::WRKMachOSliceGetCurrent();
#if defined(__x86_64__)
    EXPECT_STREQ(crash::WRKMachOSliceGetArchitectureName(current), "x86_64");
#elif defined(__aarch64__)
    EXPECT_STREQ(crash::WRKMachOSliceGetArchitectureName(current), "arm64");
#endif
    EXPECT_EQ(crash::WRKMachOSliceIs64Bit(current), sizeof(void*) == 8);
    Dl_info self{};
    ASSERT_NE(::dladdr(reinterpret_cast<void*>(&openDescriptors), &self), 0);
    EXPECT_EQ(current.startAddress, self.dli_fbase) << "the executable's own header";
    EXPECT_EQ(current.size, 0u);
    crash::WRKMachOSlice walked = current;
    EXPECT_FALSE(crash::WRKMachOSliceEnumerateLoadCommands(
        &walked, [](const auto&) { ADD_FAILURE() << "an ELF header has no load commands"; }));

    // Of a universal file, the slice this machine runs is found by the current one's name.
    crash::WRKMachOFile file;
    ASSERT_TRUE(crash::WRKMachOFileInitWithPath(&file, (kFixtures + "/fat").c_str()));
    const std::map<std::string, std::size_t> offsets = {{"x86_64", 4096}, {"arm64", 32768}};
    const std::string arch = crash::WRKMachOSliceGetArchitectureName(current);
    const auto mine = crash::WRKMachOFileSliceWithArchitectureName(file, arch);
    if (offsets.contains(arch)) {
        ASSERT_TRUE(mine);
        EXPECT_EQ(mine->startAddress, file.mappedFile + offsets.at(arch));
    } else {
        EXPECT_FALSE(mine);
    }
    crash::WRKMachOFileDestroy(&file);
}

// Only an image the loader loaded has a path, asked for at its header.
TEST(WRKMachOTest, ExecutablePathsAreTheLoadersFiles) {
    const crash::WRKMachOSlice current = crash::WRKMachOSliceGetCurrent();
    EXPECT_EQ(crash::WRKMachOSliceGetExecutablePath(&current),
              fs::read_symlink("/proc/self/exe").string());

    void* library = ::dlopen(TEST_IMAGE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    Dl_info info{};
    ASSERT_NE(::dladdr(::dlsym(library, "talvorTestImageAnswer"), &info), 0);
    const auto* header = static_cast<const std::uint8_t*>(info.dli_fbase);
    const crash::WRKMachOSlice atLibrary = crash::WRKMachOSliceWithHeader(header, 0);
    EXPECT_EQ(crash::WRKMachOSliceGetExecutablePath(&atLibrary), std::string(TEST_IMAGE));
    ::dlclose(library);

    const auto fixture = bytesOf(kFixtures + "/unwind_x86_64");
    struct Case {
        const char* what;
        crash::WRKMachOSlice slice;
    };
    for (const Case& c : {Case{"a Mach-O file's slice",
                               crash::WRKMachOSliceWithHeader(fixture.data(), fixture.size())},
                          Case{"inside the executable, past its header",
                               crash::WRKMachOSliceWithHeader(current.startAddress + 64, 0)},
                          Case{"no header", crash::WRKMachOSlice{}}}) {
        EXPECT_EQ(crash::WRKMachOSliceGetExecutablePath(&c.slice), std::nullopt) << c.what;
    }
    EXPECT_EQ(crash::WRKMachOSliceGetExecutablePath(nullptr), std::nullopt);
}

TEST(WRKMachOTest, ACodeMappingKeepsACopyOfItsURL) {
    std::string url = "file:///opt/talvor/lib/libcalendar.so";
    crash::WRKCodeMapping mapping = crash::WRKCodeMapping::mappingWithURL(url);
    url = "changed";
    EXPECT_EQ(mapping.URL(), "file:///opt/talvor/lib/libcalendar.so");
    EXPECT_EQ(mapping.source(), 0);
    EXPECT_EQ(mapping.sourceName(), "");
    mapping.setSource(-3);
    mapping.setSourceName("calendar");
    EXPECT_EQ(mapping.source(), -3);
    EXPECT_EQ(mapping.sourceName(), "calendar");
}

TEST(WRKMachOTest, TextForms) {
    std::array<std::uint8_t, 16> uuid;
    for (std::size_t i = 0; i < uuid.size(); ++i) {
        uuid[i] = static_cast<std::uint8_t>(i * 0x11);
    }
    EXPECT_EQ(crash::WRKMachONormalizeUUID(uuid), "00112233445566778899aabbccddeeff");
    EXPECT_EQ(crash::WRKMachOFormatVersion(crash::WRKMachOUnpackVersion(0x000A0C01)), "10.12.1");
    EXPECT_EQ(crash::WRKMachOFormatVersion(std::nullopt), std::nullopt);
    EXPECT_EQ(crash::WRKHashNSString("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

}  // namespace
