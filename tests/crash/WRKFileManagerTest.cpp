#include "crash/WRKFileManager.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace talvor::crash {
namespace {

namespace fs = std::filesystem;

class crashWRKFileManager : public ::testing::Test {
  protected:
    void SetUp() override {
        caches_ = fs::temp_directory_path() / ("talvor-wrkfm-" + std::to_string(::getpid()));
        fs::remove_all(caches_);
    }
    void TearDown() override { fs::remove_all(caches_); }
    WRKFileManager manager() const { return WRKFileManager(caches_, "com.example.App"); }
    static void touch(const fs::path& path) { std::ofstream(path) << "x"; }
    static std::vector<std::string> names(const std::vector<fs::path>& paths) {
        std::vector<std::string> out;
        for (const fs::path& p : paths)
            out.push_back(p.filename().string());
        return out;
    }

    fs::path caches_;
};

TEST_F(crashWRKFileManager, TheTreeAndANewRunsFolder) {
    const WRKFileManager fm = manager();
    EXPECT_EQ(fm.rootPath(), caches_ / "com.wreckord.data" / "com.example.App");
    EXPECT_EQ(fm.activePath(), fm.rootPath() / "v3" / "active");
    ASSERT_TRUE(fm.prepareForNewLaunch());
    for (const fs::path& folder : {fm.activePath(), fm.processingPath(), fm.preparedPath()}) {
        EXPECT_TRUE(fs::is_directory(folder)) << folder;
        EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, static_cast<fs::perms>(0755));
    }
    EXPECT_FALSE(fs::exists(fm.pendingPath()));
    const auto run = fm.setupNewPathForExecutionIdentifier("0123456789abcdef0123456789abcdef");
    ASSERT_TRUE(run);
    EXPECT_TRUE(fs::is_directory(*run));
    EXPECT_EQ(names(fm.activePathContents()),
              std::vector<std::string>{"0123456789abcdef0123456789abcdef"});
    for (const char* bad : {"", "../escape", ".hidden"}) {
        EXPECT_FALSE(fm.setupNewPathForExecutionIdentifier(bad)) << bad;
    }
}

TEST_F(crashWRKFileManager, PreparingStopsWhereAFolderCannotBeMade) {
    const WRKFileManager fm = manager();
    fs::create_directories(fm.structurePath());
    touch(fm.processingPath());  // a file where the folder belongs
    EXPECT_FALSE(fm.prepareForNewLaunch());
    EXPECT_TRUE(fs::is_directory(fm.activePath()));
    EXPECT_FALSE(fs::exists(fm.preparedPath()));
}

TEST_F(crashWRKFileManager, HiddenEntriesAreNeverListedMovedOrRemoved) {
    const WRKFileManager fm = manager();
    ASSERT_TRUE(fm.prepareForNewLaunch());
    touch(fm.processingPath() / ".DS_Store");
    touch(fm.processingPath() / "b.clsrecord");
    fs::create_directories(fm.processingPath() / "a");
    EXPECT_EQ(names(fm.processingPathContents()), (std::vector<std::string>{"a", "b.clsrecord"}));
    std::vector<std::string> extensions;
    fm.enumerateFilesInDirectory(fm.processingPath(), [&](const fs::path&, const std::string& e) {
        extensions.push_back(e);
    });
    EXPECT_EQ(extensions, (std::vector<std::string>{"", "clsrecord"}));

    EXPECT_TRUE(fm.moveProcessingContentsToPrepared());
    EXPECT_EQ(names(fm.preparedPathContents()), (std::vector<std::string>{"a", "b.clsrecord"}));
    EXPECT_TRUE(fs::exists(fm.processingPath() / ".DS_Store"));
    touch(fm.preparedPath() / ".keep");
    EXPECT_TRUE(fm.removeContentsOfAllPaths());
    EXPECT_TRUE(fm.preparedPathContents().empty());
    EXPECT_TRUE(fs::exists(fm.preparedPath() / ".keep"));
    EXPECT_TRUE(fs::exists(fm.processingPath() / ".DS_Store"));
}

TEST_F(crashWRKFileManager, AMoveNeverReplacesAndStopsTheRest) {
    const WRKFileManager fm = manager();
    ASSERT_TRUE(fm.prepareForNewLaunch());
    fs::create_directories(fm.processingPath() / "a");
    fs::create_directories(fm.processingPath() / "b");
    fs::create_directories(fm.processingPath() / "c");
    fs::create_directories(fm.preparedPath() / "b");  // an empty folder of the same name
    EXPECT_FALSE(fm.moveProcessingContentsToPrepared());
    EXPECT_EQ(names(fm.processingPathContents()), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(names(fm.preparedPathContents()), (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(fm.moveItemAtPath("", fm.preparedPath()));
}

TEST_F(crashWRKFileManager, AnEarlierLayoutIsRemovedWhole) {
    const WRKFileManager fm = manager();
    ASSERT_TRUE(fm.prepareForNewLaunch());
    fm.removeLegacyDirectories();
    EXPECT_TRUE(fs::exists(fm.activePath()));
    touch(fm.rootPath() / "sendable");
    fm.removeLegacyDirectories();
    EXPECT_FALSE(fs::exists(fm.rootPath()));
}

TEST_F(crashWRKFileManager, SizesAndRemovals) {
    const WRKFileManager fm = manager();
    ASSERT_TRUE(fm.createDirectoryAtPath(caches_ / "x"));
    touch(caches_ / "x" / "f");
    EXPECT_EQ(fm.fileSizeAtPath(caches_ / "x" / "f"), 1u);
    EXPECT_FALSE(fm.fileSizeAtPath(caches_ / "x" / "none"));
    EXPECT_TRUE(fm.removeItemAtPath(caches_ / "x"));
    EXPECT_FALSE(fs::exists(caches_ / "x"));
    EXPECT_TRUE(fm.contentsOfDirectory(caches_ / "missing").empty());
}

// A folder discarded midway (a quit, a kill) is never seen half there: what is left is
// hidden, and the next clean-up removes it, but no one else's hidden entry.
TEST_F(crashWRKFileManager, ADiscardedFolderIsNeverSeenHalfRemoved) {
    const WRKFileManager fm = manager();
    ASSERT_TRUE(fm.prepareForNewLaunch());
    fs::create_directories(fm.processingPath() / "run");
    touch(fm.processingPath() / "run" / "signal.clsrecord");
    EXPECT_TRUE(fm.discardItemAtPath(fm.processingPath() / "run"));
    EXPECT_TRUE(fs::is_empty(fm.processingPath()));
    EXPECT_FALSE(fm.discardItemAtPath(fm.processingPath() / "run"));

    fs::create_directories(fm.processingPath() / ".cut.discarded");
    touch(fm.processingPath() / ".cut.discarded" / "metadata.clsrecord");
    touch(fm.processingPath() / ".DS_Store");
    fs::create_directories(fm.processingPath() / "next");
    EXPECT_EQ(names(fm.processingPathContents()), std::vector<std::string>{"next"});
    fm.removeDiscardedItemsInDirectory(fm.processingPath());
    EXPECT_FALSE(fs::exists(fm.processingPath() / ".cut.discarded"));
    EXPECT_TRUE(fs::exists(fm.processingPath() / ".DS_Store"));
    EXPECT_TRUE(fs::exists(fm.processingPath() / "next"));
}

TEST(crashWRKFileManagerFolders, CachesFollowXDG) {
    const char* previous = std::getenv("XDG_CACHE_HOME");
    const std::string saved = previous != nullptr ? previous : "";
    ::setenv("XDG_CACHE_HOME", "/somewhere/cache", 1);
    EXPECT_EQ(WRKFileManager::cachesFolder(), fs::path("/somewhere/cache/talvor"));
    ::setenv("XDG_CACHE_HOME", "relative", 1);  // not absolute: ignored
    EXPECT_EQ(WRKFileManager::cachesFolder().filename(), "talvor");
    EXPECT_NE(WRKFileManager::cachesFolder(), fs::path("relative/talvor"));
    if (previous != nullptr) {
        ::setenv("XDG_CACHE_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_CACHE_HOME");
    }
}

}  // namespace
}  // namespace talvor::crash
