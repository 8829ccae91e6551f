#include "kit/WRKUserDefaults.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "KitSandbox.h"
#include "LogCapture.h"

namespace talvor::kit {
namespace {

namespace fs = std::filesystem;
using test::KitSandbox;
using test::LogCapture;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What another program makes of the file: plistutil's XML rendering.
std::optional<std::string> plistutilXml(const fs::path& path) {
    const std::string command = "plistutil -f xml -i '" + path.string() + "' -o - 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) {
        return std::nullopt;
    }
    std::string out;
    std::array<char, 4096> buffer{};
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) {
        out.append(buffer.data(), n);
    }
    if (::pclose(pipe.release()) != 0) {
        return std::nullopt;
    }
    return out;
}

std::vector<fs::path> besides(const fs::path& file, const std::string& tag) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(file.parent_path())) {
        if (entry.path().filename().string().starts_with(file.filename().string() + "." + tag)) {
            found.push_back(entry.path());
        }
    }
    return found;
}

class WRKUserDefaultsTest : public ::testing::Test {
  protected:
    fs::path storeDir() const { return sandbox.dir / "data/talvor/app/com.wreckord"; }

    KitSandbox sandbox;
    LogCapture capture;
};

using kitWRKUserDefaults = WRKUserDefaultsTest;

TEST_F(kitWRKUserDefaults, TheFolderIsTheKitsOneInTheUsersDataFolder) {
    struct Case {
        std::optional<std::string> identifier;
        std::string folder;
    };
    const Case cases[] = {
        {"com.larkspindle.TalvorPro", "talvor/com.larkspindle.TalvorPro/com.wreckord"},
        {"odd/name/id", "talvor/odd_name_id/com.wreckord"},
        {std::nullopt, "talvor/com.wreckord"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        PlistDictionary info;
        if (c.identifier) {
            info["CFBundleIdentifier"] = *c.identifier;
        }
        sandbox.useBundle(info);
        EXPECT_EQ(WRKUserDefaults::generateDirectoryURL(), sandbox.dir / "data" / c.folder);
        const WRKUserDefaults store(WRKUserDefaults::generateDirectoryURL());
        EXPECT_EQ(store.fileURL(), sandbox.dir / "data" / c.folder / "WRKUserDefaults.plist");
    }
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", (sandbox.dir / "home").c_str(), 1);
    EXPECT_EQ(WRKUserDefaults::applicationSupportDirectory(),
              sandbox.dir / "home/.local/share/talvor");
}

// Every kind of value comes back from the file, and another program reads the file.
TEST_F(kitWRKUserDefaults, ValuesSurviveInAFileOtherProgramsRead) {
    const PlistDictionary values{
        {"text", "ä €"},
        {"yes", true},
        {"count", std::int64_t{-42}},
        {"big", std::int64_t{1} << 40},
        {"real", 2.5},
        {"data", PlistData{0, 1, 254, 255}},
        {"date", PlistDate{7}},  // XML keeps whole seconds
        {"list", PlistArray{"a", std::int64_t{1}}},
        {"nested", PlistDictionary{{"k", "v"}}},
    };
    {
        WRKUserDefaults store(storeDir());
        for (const auto& [key, value] : values) {
            store.setObject(value, key);
        }
        ASSERT_TRUE(store.synchronize());
    }
    const WRKUserDefaults again(storeDir());
    EXPECT_EQ(again.dictionaryRepresentation(), values);

    const auto xml = plistutilXml(again.fileURL());
    ASSERT_TRUE(xml) << "plistutil could not read " << again.fileURL();
    for (const char* fragment :
         {"<key>text</key>", "<string>ä €</string>", "<integer>-42</integer>", "<true/>",
          "<real>2.5", "<key>nested</key>", "<data>", "<date>2001-01-01T00:00:07Z</date>"}) {
        EXPECT_NE(xml->find(fragment), std::string::npos) << fragment << " in " << *xml;
    }
    EXPECT_TRUE(capture.lines.empty());
}

TEST_F(kitWRKUserDefaults, NoValueRemovesAndGettersCheckTheKind) {
    WRKUserDefaults store(storeDir());
    store.setObject(PlistValue("v"), "gone");
    store.setObject(std::nullopt, "gone");
    store.setString("text", "s");
    store.setString(std::nullopt, "s2");
    store.setBool(true, "b");
    store.setObject(PlistValue(std::int64_t{3}), "n");
    store.setObject(PlistValue("YES"), "yesText");
    EXPECT_EQ(store.objectForKey("gone"), std::nullopt);
    EXPECT_EQ(store.objectForKey("s2"), std::nullopt);

    struct Case {
        const char* key;
        std::optional<std::string> text;
        bool flag;
    };
    const Case cases[] = {
        {"s", "text", false},      {"b", std::nullopt, true},        {"n", std::nullopt, true},
        {"yesText", "YES", false}, {"missing", std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(store.stringForKey(c.key), c.text);
        EXPECT_EQ(store.boolForKey(c.key), c.flag);
    }
    store.removeObjectForKey("s");
    EXPECT_EQ(store.objectForKey("s"), std::nullopt);
    store.removeAllObjects();
    EXPECT_TRUE(store.dictionaryRepresentation().empty());
}

TEST_F(kitWRKUserDefaults, ChangesStayInMemoryUntilSynchronised) {
    WRKUserDefaults store(storeDir());
    store.setString("v", "k");
    EXPECT_FALSE(fs::exists(store.fileURL()));
    EXPECT_TRUE(store.synchronize());
    store.setString("later", "k");
    EXPECT_EQ(WRKUserDefaults(storeDir()).stringForKey("k"), "v");
}

// A bad file in the store's place loses nothing: it is moved aside, the store starts empty,
// writes again, and says so once.
TEST_F(kitWRKUserDefaults, ABadFileInTheStoresPlaceIsKeptAside) {
    struct Case {
        const char* name;
        std::string tag;
        std::function<void(const fs::path&)> make;
        std::function<void(const fs::path&)> check;
        std::string line;
    };
    const std::string damaged = "<?xml version=\"1.0\"?><plist><dict><key>com.wreckord.iuuid";
    const Case cases[] = {
        {"a folder", "conflict",
         [](const fs::path& file) {
             fs::create_directories(file);
             std::ofstream(file / "inside") << "keep me";
         },
         [](const fs::path& aside) { EXPECT_EQ(readAll(aside / "inside"), "keep me"); },
         "[Trellis:UserDefaults] found directory where file expected. Moved it aside to "},
        {"a damaged file", "corrupt", [&](const fs::path& file) { std::ofstream(file) << damaged; },
         [&](const fs::path& aside) { EXPECT_EQ(readAll(aside), damaged); },
         "[Trellis:UserDefaults] failed to read existing UserDefaults file; moved it aside to "},
        {"a binary list", "corrupt",
         [](const fs::path& file) { std::ofstream(file) << "bplist00\xd0\x08"; },
         [](const fs::path& aside) { EXPECT_EQ(readAll(aside), "bplist00\xd0\x08"); },
         "[Trellis:UserDefaults] failed to read existing UserDefaults file; moved it aside to "},
        {"a FIFO (never waited on for a writer)", "corrupt",
         [](const fs::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); },
         [](const fs::path& aside) { EXPECT_TRUE(fs::is_fifo(aside)); },
         "[Trellis:UserDefaults] failed to read existing UserDefaults file; moved it aside to "},
        {"an array", "corrupt",
         [](const fs::path& file) {
             std::ofstream(file) << "<?xml version=\"1.0\"?><plist version=\"1.0\"><array>"
                                    "<string>x</string></array></plist>";
         },
         [](const fs::path& aside) {
             EXPECT_NE(readAll(aside).find("<array>"), std::string::npos);
         },
         "[Trellis:UserDefaults] failed to read existing UserDefaults file; moved it aside to "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(storeDir());
        fs::create_directories(storeDir());
        const fs::path file = storeDir() / "WRKUserDefaults.plist";
        c.make(file);
        capture.lines.clear();

        WRKUserDefaults store(storeDir());
        EXPECT_TRUE(store.dictionaryRepresentation().empty());
        store.setString("new", "k");
        EXPECT_TRUE(store.synchronize());
        EXPECT_TRUE(store.synchronize());

        const auto aside = besides(file, c.tag);
        ASSERT_EQ(aside.size(), 1u);
        c.check(aside.front());
        ASSERT_EQ(capture.lines.size(), 1u);
        EXPECT_EQ(capture.lines.front(), c.line + aside.front().string());
        EXPECT_EQ(WRKUserDefaults(storeDir()).stringForKey("k"), "new");
    }
}

// A store that cannot be written keeps its values, leaves the old file alone and says so
// once.
TEST_F(kitWRKUserDefaults, AnUnwritableFolderLosesNothingAndLogsOnce) {
    struct Case {
        const char* name;
        fs::path folder;
        std::function<void()> block;
        std::string line;
    };
    const fs::path readOnly = sandbox.dir / "readonly/com.wreckord";
    const fs::path underFile = sandbox.dir / "plainfile/com.wreckord";
    std::vector<Case> cases = {
        {"a file where a folder belongs", underFile,
         [&] {
             fs::create_directories(sandbox.dir);
             std::ofstream(sandbox.dir / "plainfile") << "not a folder";
         },
         "[Trellis:UserDefaults] failed to create directory with error:Not a directory"},
    };
    // Permissions do not hold the superuser back.
    if (::geteuid() != 0) {
        cases.push_back({"a read-only folder", readOnly,
                         [&] {
                             WRKUserDefaults old(readOnly);
                             old.setString("old", "k");
                             ASSERT_TRUE(old.synchronize());
                             fs::permissions(readOnly,
                                             fs::perms::owner_read | fs::perms::owner_exec);
                         },
                         "[Trellis:UserDefaults] Unable to open file for writing at path " +
                             (readOnly / "WRKUserDefaults.plist").string()});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.block();
        const std::string before = readAll(c.folder / "WRKUserDefaults.plist");
        capture.lines.clear();

        WRKUserDefaults store(c.folder);
        store.setString("new", "k");
        store.setString("kept", "other");
        EXPECT_FALSE(store.synchronize());
        EXPECT_FALSE(store.synchronize());
        EXPECT_EQ(store.stringForKey("k"), "new");
        EXPECT_EQ(store.stringForKey("other"), "kept");
        EXPECT_EQ(readAll(c.folder / "WRKUserDefaults.plist"), before);
        EXPECT_EQ(capture.lines, (std::vector<std::string>{c.line}));
        std::error_code error;
        fs::permissions(c.folder, fs::perms::owner_all, fs::perm_options::add, error);
    }
}

TEST_F(kitWRKUserDefaults, MigrationMovesKeysOnlyOnceTheyAreOnDisk) {
    auto& app = *sandbox.defaults;
    {
        // None of the keys has a value: nothing is written, nothing removed.
        WRKUserDefaults store(storeDir());
        store.migrateFromNSUserDefaults({"a", "b"});
        EXPECT_FALSE(fs::exists(store.fileURL()));
        EXPECT_EQ(app.removals, 0);
        EXPECT_EQ(app.synchronizations, 0);
    }
    {
        // One has: it moves, and every listed key leaves the application's defaults.
        app.values = {{"a", "from app"}, {"b-other", "stays"}};
        WRKUserDefaults store(storeDir());
        store.migrateFromNSUserDefaults({"a", "b"});
        EXPECT_EQ(WRKUserDefaults(storeDir()).stringForKey("a"), "from app");
        EXPECT_EQ(app.values, (std::map<std::string, PlistValue>{{"b-other", "stays"}}));
        EXPECT_EQ(app.removals, 2);
        EXPECT_EQ(app.synchronizations, 1);
    }
}

TEST_F(kitWRKUserDefaults, ReadingOneKeyMovesItFromTheApplicationsDefaults) {
    auto& app = *sandbox.defaults;
    app.values = {{"k", "app value"}, {"mine", "app copy"}};
    WRKUserDefaults store(storeDir());
    store.setString("own value", "mine");

    EXPECT_EQ(store.objectForKeyByMigratingFromNSUserDefaults(std::nullopt), std::nullopt);
    EXPECT_EQ(store.objectForKeyByMigratingFromNSUserDefaults("mine"), PlistValue("own value"));
    EXPECT_EQ(app.removals, 0);
    EXPECT_EQ(store.objectForKeyByMigratingFromNSUserDefaults("absent"), std::nullopt);
    EXPECT_FALSE(fs::exists(store.fileURL()));

    EXPECT_EQ(store.objectForKeyByMigratingFromNSUserDefaults("k"), PlistValue("app value"));
    EXPECT_EQ(WRKUserDefaults(storeDir()).stringForKey("k"), "app value");
    EXPECT_EQ(app.values.count("k"), 0u);
    EXPECT_EQ(app.values.count("mine"), 1u);
}

// The application's copy is the only one while the kit's store cannot be written: it stays.
TEST_F(kitWRKUserDefaults, AFailedWriteLeavesTheApplicationsCopy) {
    auto& app = *sandbox.defaults;
    app.values = {{"k", "only copy"}};
    std::ofstream(sandbox.dir / "plainfile") << "not a folder";
    WRKUserDefaults store(sandbox.dir / "plainfile/com.wreckord");

    EXPECT_EQ(store.objectForKeyByMigratingFromNSUserDefaults("k"), PlistValue("only copy"));
    store.migrateFromNSUserDefaults({"k"});
    EXPECT_EQ(app.values.count("k"), 1u);
    EXPECT_EQ(app.removals, 0);
}

TEST_F(kitWRKUserDefaults, ManyThreadsWriteAndSynchroniseAtOnce) {
    WRKUserDefaults store(storeDir());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&store, t] {
            for (int i = 0; i < 50; ++i) {
                store.setObject(PlistValue(std::int64_t{i}), "t" + std::to_string(t));
                if (i % 10 == 0) {
                    store.synchronize();
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    ASSERT_TRUE(store.synchronize());
    const WRKUserDefaults again(storeDir());
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(again.objectForKey("t" + std::to_string(t)), PlistValue(std::int64_t{49}));
    }
}

// Each thread's last change is synchronised by that thread: whichever write lands last, the
// file holds every last change (an older snapshot never lands over a newer one).
TEST_F(kitWRKUserDefaults, TheLastSynchronisedChangeOfEveryThreadIsOnDisk) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        fs::remove_all(storeDir());
        WRKUserDefaults store(storeDir());
        std::vector<std::thread> threads;
        for (int t = 0; t < 6; ++t) {
            threads.emplace_back([&store, t] {
                for (int i = 0; i < 20; ++i) {
                    store.setObject(PlistValue(std::int64_t{i}), "t" + std::to_string(t));
                    ASSERT_TRUE(store.synchronize());
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        EXPECT_EQ(WRKUserDefaults(storeDir()).dictionaryRepresentation(),
                  store.dictionaryRepresentation());
    }
}

}  // namespace
}  // namespace talvor::kit
