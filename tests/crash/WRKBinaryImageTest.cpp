#include "crash/WRKBinaryImage.h"

#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "crash/WRKJSON.h"

namespace talvor::crash {
namespace {

namespace fs = std::filesystem;

std::string commandOutput(const std::string& command) {
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

// The build-id `readelf -n` shows for a file; empty when it shows none.
std::string readelfBuildID(const std::string& path) {
    const std::string notes = commandOutput("readelf -n '" + path + "' 2>/dev/null");
    std::smatch match;
    static const std::regex buildID("Build ID: ([0-9a-f]+)");
    return std::regex_search(notes, match, buildID) ? match[1].str() : std::string();
}

// A section's address as `readelf -S` shows it.
std::optional<std::uintptr_t> readelfSectionAddress(const std::string& path,
                                                    const std::string& section) {
    const std::string sections = commandOutput("readelf -SW '" + path + "' 2>/dev/null");
    std::smatch match;
    const std::regex row("\\s" + std::regex_replace(section, std::regex("\\."), "\\.") +
                         "\\s+\\S+\\s+([0-9a-f]+)");
    if (!std::regex_search(sections, match, row)) {
        return std::nullopt;
    }
    return static_cast<std::uintptr_t>(std::stoull(match[1].str(), nullptr, 16));
}

struct Line {
    std::string kind;
    std::string path;
    std::string uuid;
    std::uint64_t base = 0;
    std::uint64_t size = 0;
};

std::vector<Line> linesOf(const fs::path& file) {
    std::vector<Line> lines;
    const auto sections = WRKFileReadSections(file.string(), false);
    if (!sections) {
        return lines;
    }
    for (const JSONValue& section : *sections) {
        const auto* object = section.object();
        if (object == nullptr || object->size() != 1) {
            continue;
        }
        Line line;
        line.kind = object->front().key;
        const JSONValue& body = object->front().value;
        if (const JSONValue* path = body.find("path"); path && path->string()) {
            line.path = *path->string();
        }
        if (const JSONValue* uuid = body.find("uuid"); uuid && uuid->string()) {
            line.uuid = *uuid->string();
        }
        if (const JSONValue* base = body.find("base"); base && base->uint64()) {
            line.base = *base->uint64();
        }
        if (const JSONValue* size = body.find("size"); size && size->uint64()) {
            line.size = *size->uint64();
        }
        lines.push_back(line);
    }
    return lines;
}

class ImageListTest : public ::testing::Test {
  protected:
    ImageListTest() {
        folder_ = fs::temp_directory_path() / ("talvor-images-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        file_ = folder_ / "binary_images.clsrecord";
    }
    ~ImageListTest() override { fs::remove_all(folder_); }

    std::size_t occupiedSlots() const {
        return static_cast<std::size_t>(
            std::count_if(std::begin(table_->entries), std::end(table_->entries),
                          [](const WRKBinaryImageSlot& slot) { return slot.loadAddress != 0; }));
    }

    fs::path folder_;
    fs::path file_;
    std::unique_ptr<WRKBinaryImageTable> table_ = std::make_unique<WRKBinaryImageTable>();
};

WRKBinaryImageRange rangeAt(std::uintptr_t load, std::uintptr_t execStart, std::uintptr_t execEnd) {
    WRKBinaryImageRange range;
    range.loadAddress = load;
    range.execStart = execStart;
    range.execEnd = execEnd;
    return range;
}

TEST_F(ImageListTest, AnAddressIsFoundInsideTheExecutableSpanOnly) {
    ASSERT_TRUE(WRKBinaryImageTableStore(table_.get(), rangeAt(0x10000, 0x11000, 0x20000)));
    ASSERT_TRUE(WRKBinaryImageTableStore(table_.get(), rangeAt(0x20000, 0x20000, 0x30000)));
    struct Row {
        std::uintptr_t address;
        std::uintptr_t image;  // 0: none
    };
    const Row rows[] = {
        {0, 0},
        {0x10000, 0},  // the header is no code
        {0x10fff, 0},
        {0x11000, 0x10000},
        {0x1ffff, 0x10000},
        {0x20000, 0x20000},
        {0x2ffff, 0x20000},
        {0x30000, 0},
    };
    for (const Row& row : rows) {
        WRKBinaryImageRange found;
        const bool ok = WRKBinaryImageTableFind(table_.get(), row.address, &found);
        EXPECT_EQ(ok, row.image != 0) << std::hex << row.address;
        if (ok) {
            EXPECT_EQ(found.loadAddress, row.image) << std::hex << row.address;
        }
    }
}

TEST_F(ImageListTest, The513thImageIsNotTrackedButLoggedAndAnUnloadFreesItsSlotForReuse) {
    WRKBinaryImageTracker tracker(file_.string(), table_.get());
    for (std::uintptr_t i = 0; i < kWRKBinaryImageSlotCount + 1; ++i) {
        WRKBinaryImageDetails image;
        image.path = "/synthetic/lib" + std::to_string(i) + ".so";
        image.range =
            rangeAt(0x100000 * (i + 1), 0x100000 * (i + 1) + 0x1000, 0x100000 * (i + 1) + 0x8000);
        tracker.changed(true, image);
    }
    tracker.sync();
    EXPECT_EQ(occupiedSlots(), kWRKBinaryImageSlotCount);
    WRKBinaryImageRange found;
    EXPECT_TRUE(WRKBinaryImageTableFind(table_.get(), 0x100000 * 512 + 0x1000, &found));
    EXPECT_FALSE(WRKBinaryImageTableFind(table_.get(), 0x100000 * 513 + 0x1000, &found));
    std::vector<Line> lines = linesOf(file_);
    ASSERT_EQ(lines.size(), kWRKBinaryImageSlotCount + 1);
    EXPECT_EQ(lines.back().kind, "load");
    EXPECT_EQ(lines.back().path, "/synthetic/lib512.so");
    EXPECT_EQ(lines.back().size, 0x8000u);

    // The seventh image goes; its slot is the one the next image takes.
    const std::uintptr_t seventh = 0x100000 * 7;
    const auto slotOf = [&](std::uintptr_t load) {
        for (std::size_t i = 0; i < kWRKBinaryImageSlotCount; ++i) {
            if (table_->entries[i].loadAddress == load) {
                return i;
            }
        }
        return kWRKBinaryImageSlotCount;
    };
    const std::size_t freed = slotOf(seventh);
    ASSERT_LT(freed, kWRKBinaryImageSlotCount);
    WRKBinaryImageDetails gone;
    gone.path = "/synthetic/lib6.so";
    gone.range = rangeAt(seventh, seventh + 0x1000, seventh + 0x8000);
    tracker.changed(false, gone);
    EXPECT_FALSE(WRKBinaryImageTableFind(table_.get(), seventh + 0x1000, &found));
    WRKBinaryImageDetails next;
    next.path = "/synthetic/next.so";
    next.range = rangeAt(0x7000000000, 0x7000001000, 0x7000002000);
    tracker.changed(true, next);
    EXPECT_EQ(slotOf(0x7000000000), freed);
    tracker.sync();
    lines = linesOf(file_);
    ASSERT_EQ(lines.size(), kWRKBinaryImageSlotCount + 3);
    EXPECT_EQ(lines[lines.size() - 2].kind, "unload");
    EXPECT_EQ(lines[lines.size() - 2].path, "/synthetic/lib6.so");
    EXPECT_EQ(lines.back().kind, "load");
}

TEST_F(ImageListTest, DlopenAndDlcloseGiveLoadAndUnloadLinesWithTheBuildID) {
    const std::string library = TEST_IMAGE;
    const std::string expectedID = readelfBuildID(library);
    ASSERT_EQ(expectedID.size(), 40u) << "the test library has no build-id";

    WRKBinaryImageTracker tracker(file_.string(), table_.get());
    tracker.start();
    const std::size_t replayed = linesOf(file_).size();
    ASSERT_GT(replayed, 0u);
    EXPECT_EQ(occupiedSlots(), replayed);

    void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    const auto function =
        reinterpret_cast<std::uintptr_t>(::dlsym(handle, "talvorTestImageAnswer"));
    ASSERT_NE(function, 0u);
    tracker.checkForChanges();
    tracker.sync();
    std::vector<Line> lines = linesOf(file_);
    ASSERT_EQ(lines.size(), replayed + 1);
    EXPECT_EQ(lines.back().kind, "load");
    EXPECT_EQ(lines.back().path, library);
    EXPECT_EQ(lines.back().uuid, expectedID);

    WRKBinaryImageRange found;
    ASSERT_TRUE(WRKBinaryImageTableFind(table_.get(), function, &found));
    EXPECT_EQ(found.loadAddress, lines.back().base);
    EXPECT_LE(found.execStart, function);
    EXPECT_EQ(found.execEnd - found.loadAddress, lines.back().size);
    // The unwind tables where the file puts them (a shared library is linked at 0).
    const auto ehFrameHeader = readelfSectionAddress(library, ".eh_frame_hdr");
    const auto ehFrame = readelfSectionAddress(library, ".eh_frame");
    ASSERT_TRUE(ehFrameHeader && ehFrame);
    EXPECT_EQ(found.ehFrameHeader, found.loadAddress + *ehFrameHeader);
    EXPECT_EQ(found.ehFrame, found.loadAddress + *ehFrame);
    EXPECT_FALSE(WRKBinaryImageSafeHasUnwindInfo(found));  // no compact unwind on ELF

    ASSERT_EQ(::dlclose(handle), 0);
    tracker.checkForChanges();
    tracker.sync();
    lines = linesOf(file_);
    ASSERT_EQ(lines.size(), replayed + 2);
    EXPECT_EQ(lines.back().kind, "unload");
    EXPECT_EQ(lines.back().path, library);
    EXPECT_EQ(lines.back().uuid, expectedID);
    EXPECT_FALSE(WRKBinaryImageTableFind(table_.get(), function, &found));
    EXPECT_EQ(occupiedSlots(), replayed);

    // Nothing changed: nothing written.
    tracker.checkForChanges();
    tracker.sync();
    EXPECT_EQ(linesOf(file_).size(), replayed + 2);
}

TEST_F(ImageListTest, EveryLoadedImagesIdentityEqualsItsBuildIDNote) {
    WRKBinaryImageTracker tracker(file_.string(), table_.get());
    tracker.start();
    const std::vector<Line> lines = linesOf(file_);
    std::size_t checked = 0;
    bool sawProgram = false;
    for (const Line& line : lines) {
        EXPECT_EQ(line.kind, "load");
        if (line.path.empty() || line.path[0] != '/') {
            continue;  // the vDSO has no file
        }
        EXPECT_EQ(line.uuid, readelfBuildID(line.path).substr(0, 40)) << line.path;
        sawProgram = sawProgram || fs::equivalent(line.path, "/proc/self/exe");
        ++checked;
    }
    EXPECT_TRUE(sawProgram);
    EXPECT_GE(checked, 3u);  // the program, libc and libstdc++ at least

    const std::optional<WRKBinaryImageDetails> program = WRKBinaryImageMainExecutable();
    ASSERT_TRUE(program);
    EXPECT_EQ(program->uuid, readelfBuildID(fs::read_symlink("/proc/self/exe").string()));
    const auto here = reinterpret_cast<std::uintptr_t>(&readelfBuildID);
    EXPECT_GE(here, program->range.execStart);
    EXPECT_LT(here, program->range.execEnd);
    const auto byID = WRKBinaryImageFindImageForUUID(program->uuid);
    ASSERT_TRUE(byID);
    EXPECT_EQ(byID->range.loadAddress, program->range.loadAddress);
    EXPECT_FALSE(WRKBinaryImageFindImageForUUID(std::string(40, '0')));
}

}  // namespace
}  // namespace talvor::crash
