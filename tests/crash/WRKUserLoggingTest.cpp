#include "crash/WRKUserLogging.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "crash/WRKException.h"

namespace talvor::crash {
namespace {

namespace fs = std::filesystem;

class Folder {
  public:
    Folder() {
        path_ = fs::temp_directory_path() /
                ("talvor-logging-" + std::to_string(::getpid()) + "-" + std::to_string(next_++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~Folder() { fs::remove_all(path_); }
    std::string file(const char* name) const { return (path_ / name).string(); }

  private:
    static inline int next_ = 0;
    fs::path path_;
};

// Waits until the rotation checks queued behind the writes have run.
void drain() {
    WRKLoggingQueue().sync([] {});
}

std::vector<JSONValue> sections(const std::string& path) {
    return WRKFileReadSections(path, false).value_or(std::vector<JSONValue>{});
}

std::vector<std::string> logMessages(const std::string& path) {
    std::vector<std::string> messages;
    for (const JSONValue& line : sections(path)) {
        const JSONValue* log = line.find("log");
        if (log != nullptr && log->find("msg") && log->find("msg")->string()) {
            messages.push_back(WRKFileHexDecodeString(log->find("msg")->string()->c_str()));
        }
    }
    return messages;
}

struct SizePair {
    Folder folder;
    std::string a = folder.file("log_a.clsrecord");
    std::string b = folder.file("log_b.clsrecord");
    WRKABFiles pair;
    const char* current = nullptr;
    explicit SizePair(std::uint32_t limit) {
        pair = {a.c_str(), b.c_str(), limit, 0, true, nullptr};
        current = pair.pathA;
    }
};

// One log line of a ten-character message is 60 bytes; the pair moves on to the other file
// once the current one is past the limit, clearing what that file held.
TEST(WRKUserLogging, TheLogMovesToTheOtherFileOnceTheCurrentOneIsPastItsSize) {
    struct Case {
        std::uint32_t limit;
        int lines;
        std::vector<std::string> inA;
        std::vector<std::string> inB;
    };
    const std::vector<Case> cases = {
        {100, 2, {"message 00", "message 01"}, {}},
        {100, 3, {"message 00", "message 01"}, {"message 02"}},
        {100, 4, {}, {"message 02", "message 03"}},
        {100, 7, {"message 04", "message 05"}, {"message 06"}},
        {49, 3, {"message 02"}, {}},
        {0, 3, {}, {}},
    };
    for (const Case& c : cases) {
        SizePair log(c.limit);
        for (int i = 0; i < c.lines; ++i) {
            char message[32];
            std::snprintf(message, sizeof message, "message %02d", i);
            WRKLogInternalTo(&log.pair, &log.current, message);
        }
        drain();
        EXPECT_EQ(logMessages(log.a), c.inA) << "limit " << c.limit << ", " << c.lines;
        EXPECT_EQ(logMessages(log.b), c.inB) << "limit " << c.limit << ", " << c.lines;
        if (c.limit == 0) {
            EXPECT_FALSE(fs::exists(log.a));
        }
    }
}

TEST(WRKUserLogging, ALogLineLongerThanTheLimitIsCutToIt) {
    SizePair log(8);
    WRKLogInternalTo(&log.pair, &log.current, "0123456789abc");
    WRKLogInternalTo(&log.pair, &log.current, nullptr);
    drain();
    const std::vector<std::string> all = [&] {
        std::vector<std::string> both = logMessages(log.a);
        for (const std::string& message : logMessages(log.b)) {
            both.push_back(message);
        }
        return both;
    }();
    EXPECT_EQ(all, std::vector<std::string>{"01234567"});
    const auto lines = sections(log.a);
    ASSERT_EQ(lines.size(), 1u);
    const JSONValue* time = lines[0].find("log") ? lines[0].find("log")->find("time") : nullptr;
    ASSERT_TRUE(time && time->uint64());
    EXPECT_GT(*time->uint64(), 1600000000000u);  // milliseconds, not seconds
}

// Entry-limited pairs (errors, custom exceptions) rotate after the limit's number of entries.
TEST(WRKUserLogging, EntryLimitedPairsRotateAfterTheirLimit) {
    struct Case {
        std::uint32_t limit;
        int entries;
        std::size_t inA;
        std::size_t inB;
    };
    const std::vector<Case> cases = {
        {0, 5, 0, 0},    {1, 1, 1, 0},    {1, 2, 0, 1},    {1, 3, 1, 0},
        {16, 15, 15, 0}, {16, 16, 16, 0}, {16, 20, 16, 4}, {16, 33, 1, 16},
    };
    for (const Case& c : cases) {
        Folder folder;
        const std::string a = folder.file("custom_exception_a.clsrecord");
        const std::string b = folder.file("custom_exception_b.clsrecord");
        std::uint32_t counter = 0;
        WRKABFiles pair{a.c_str(), b.c_str(), 0, c.limit, false, &counter};
        const char* current = pair.pathA;
        for (int i = 0; i < c.entries; ++i) {
            const std::string name = std::to_string(i);
            WRKUserLoggingWriteAndCheckABFiles(&pair, &current, [&](WRKFile* file) {
                WRKExceptionWrite(file, WRKExceptionTypeCustom, name.c_str(), "", nullptr, 0);
            });
        }
        drain();
        EXPECT_EQ(sections(a).size(), c.inA) << "limit " << c.limit << ", " << c.entries;
        EXPECT_EQ(sections(b).size(), c.inB) << "limit " << c.limit << ", " << c.entries;
        if (c.limit == 0) {
            EXPECT_FALSE(fs::exists(a));
        }
    }
}

TEST(WRKUserLogging, AnEntryLimitedPairWithoutACounterWritesButNeverRotates) {
    Folder folder;
    const std::string a = folder.file("errors_a.clsrecord");
    const std::string b = folder.file("errors_b.clsrecord");
    WRKABFiles pair{a.c_str(), b.c_str(), 0, 1, false, nullptr};
    const char* current = pair.pathA;
    for (int i = 0; i < 3; ++i) {
        WRKUserLoggingWriteAndCheckABFiles(
            &pair, &current, [](WRKFile* file) { WRKLogInternalWrite(file, "x", 1); });
    }
    drain();
    EXPECT_EQ(sections(a).size(), 3u);
    EXPECT_FALSE(fs::exists(b));
    WRKUserLoggingWriteAndCheckABFiles(nullptr, &current, [](WRKFile*) { FAIL(); });
    WRKUserLoggingWriteAndCheckABFiles(&pair, &current, {});
}

TEST(WRKUserLogging, AnErrorHasItsInformationOnlyWhenThereIsSome) {
    struct Case {
        WRKInfoPairs info;
        WRKInfoPairs extra;
    };
    const std::vector<Case> cases = {
        {{}, {}},
        {{{"NSFilePath", "/tmp/x"}}, {}},
        {{}, {{"where", "sync"}, {"try", "2"}}},
    };
    for (const Case& c : cases) {
        Folder folder;
        const std::string a = folder.file("errors_a.clsrecord");
        const std::string b = folder.file("errors_b.clsrecord");
        std::uint32_t counter = 0;
        WRKABFiles pair{a.c_str(), b.c_str(), 0, 16, false, &counter};
        const char* current = pair.pathA;
        WRKUserLoggingRecordErrorTo(&pair, &current, WRKError{"talvor.calendar", -7, c.info},
                                    c.extra);
        drain();
        const auto lines = sections(a);
        ASSERT_EQ(lines.size(), 1u);
        const JSONValue* error = lines[0].find("error");
        ASSERT_TRUE(error);
        EXPECT_EQ(WRKFileHexDecodeString(error->find("domain")->string()->c_str()),
                  "talvor.calendar");
        ASSERT_TRUE(error->find("code") && error->find("code")->int64());
        EXPECT_EQ(*error->find("code")->int64(), -7);
        ASSERT_TRUE(error->find("stacktrace") && error->find("stacktrace")->array());
        EXPECT_FALSE(error->find("stacktrace")->array()->empty());
        for (const auto& [key, expected] :
             {std::pair{"info", &c.info}, std::pair{"extra_info", &c.extra}}) {
            const JSONValue* list = error->find(key);
            if (expected->empty()) {
                EXPECT_EQ(list, nullptr) << key;
                continue;
            }
            ASSERT_TRUE(list && list->array()) << key;
            WRKInfoPairs read;
            for (const JSONValue& entry : *list->array()) {
                ASSERT_TRUE(entry.array() && entry.array()->size() == 2);
                read.emplace_back(WRKFileHexDecodeString((*entry.array())[0].string()->c_str()),
                                  WRKFileHexDecodeString((*entry.array())[1].string()->c_str()));
            }
            EXPECT_EQ(read, *expected) << key;
        }
    }
}

struct Store {
    Folder folder;
    std::string incremental = folder.file("user_incremental_kv.clsrecord");
    std::string compacted = folder.file("user_compacted_kv.clsrecord");
    WRKKVStorage storage;
    std::uint32_t counter = 0;
    explicit Store(std::uint32_t limit) {
        storage.incrementalPath = incremental.c_str();
        storage.compactedPath = compacted.c_str();
        storage.maxCount = limit;
    }
    void set(const std::string& key, const char* value) {
        WRKUserLoggingRecordKeyValue(key.c_str(), value, &storage, &counter);
    }
    std::map<std::string, std::string> content() const {
        return WRKUserLoggingGetCompactedKVEntries(&storage, true)
            .value_or(std::map<std::string, std::string>{{"<none>", ""}});
    }
};

TEST(WRKUserLogging, KeyValuesReadBackThroughBothFilesWithRemovals) {
    Store store(16);
    store.set("theme", "dark");
    store.set("zone", "Europe/Zurich");
    store.set("theme", "light");
    store.set("zone", nullptr);
    drain();
    EXPECT_EQ(store.content(), (std::map<std::string, std::string>{{"theme", "light"}}));
    // Hex on disk, decoded only when asked.
    EXPECT_EQ(WRKUserLoggingGetCompactedKVEntries(&store.storage, false),
              (std::map<std::string, std::string>{
                  {WRKFileHexEncodeString("theme"), WRKFileHexEncodeString("light")}}));

    WRKUserLoggingCompactKVEntries(&store.storage);
    EXPECT_FALSE(fs::exists(store.incremental));
    EXPECT_EQ(store.content(), (std::map<std::string, std::string>{{"theme", "light"}}));
    const auto compacted = WRKUserLoggingStoredKeyValues(store.compacted.c_str());
    ASSERT_TRUE(compacted);
    ASSERT_EQ(compacted->size(), 1u);

    // After compaction the incremental file goes on from the compacted content.
    store.set("theme", nullptr);
    drain();
    EXPECT_TRUE(store.content().empty());
    WRKUserLoggingCompactKVEntries(&store.storage);
    EXPECT_TRUE(WRKUserLoggingStoredKeyValues(store.compacted.c_str())->empty());
}

TEST(WRKUserLogging, TheSixtyFourthWriteCompactsTheStore) {
    for (const int writes : {63, 64, 65}) {
        Store store(16);
        for (int i = 0; i < writes; ++i) {
            store.set("key" + std::to_string(i % 4), std::to_string(i).c_str());
        }
        drain();
        const auto incremental = WRKUserLoggingStoredKeyValues(store.incremental.c_str());
        const std::size_t left = incremental ? incremental->size() : 0;
        EXPECT_EQ(left, writes < 64 ? static_cast<std::size_t>(writes)
                                    : static_cast<std::size_t>(writes - 64))
            << writes;
        EXPECT_EQ(fs::exists(store.compacted), writes >= 64) << writes;
        EXPECT_EQ(store.counter, static_cast<std::uint32_t>(writes % 64)) << writes;
        EXPECT_EQ(store.content().size(), 4u) << writes;
        int last = writes - 1;
        while (last % 4 != 3) {
            --last;
        }
        EXPECT_EQ(store.content().at("key3"), std::to_string(last)) << writes;
    }
}

TEST(WRKUserLogging, CompactionKeepsExactlyTheKeyLimit) {
    struct Case {
        std::uint32_t limit;
        int keys;
        std::size_t kept;
    };
    for (const Case& c : std::vector<Case>{{16, 20, 16}, {16, 16, 16}, {16, 3, 3}, {0, 5, 0}}) {
        Store store(c.limit);
        for (int i = 0; i < c.keys; ++i) {
            store.set("key" + std::to_string(i), "v");
        }
        drain();
        WRKUserLoggingCompactKVEntries(&store.storage);
        const auto compacted = WRKUserLoggingStoredKeyValues(store.compacted.c_str());
        ASSERT_TRUE(compacted);
        EXPECT_EQ(compacted->size(), c.kept) << c.limit << " " << c.keys;
        EXPECT_EQ(store.content().size(), c.kept);
    }
}

// A compaction that cannot write its new file keeps both old files, so no key is lost.
TEST(WRKUserLogging, ACompactionThatCannotWriteLosesNothing) {
    Store store(16);
    store.set("kept", "1");
    drain();
    WRKUserLoggingCompactKVEntries(&store.storage);
    store.set("later", "2");
    drain();
    fs::create_directories(store.compacted + ".new");  // in the new file's way
    WRKUserLoggingCompactKVEntries(&store.storage);
    EXPECT_TRUE(fs::exists(store.incremental));
    EXPECT_EQ(store.content(), (std::map<std::string, std::string>{{"kept", "1"}, {"later", "2"}}));
    fs::remove(store.compacted + ".new");
    WRKUserLoggingCompactKVEntries(&store.storage);
    EXPECT_FALSE(fs::exists(store.incremental));
    EXPECT_FALSE(fs::exists(store.compacted + ".new"));
    EXPECT_EQ(store.content(), (std::map<std::string, std::string>{{"kept", "1"}, {"later", "2"}}));
}

TEST(WRKUserLogging, BadKeysAndValuesAreRefusedOrClamped) {
    Store store(16);
    WRKUserLoggingRecordKeyValue(reinterpret_cast<const char*>(0x10), "v", &store.storage,
                                 &store.counter);
    WRKUserLoggingRecordKeyValue("k", reinterpret_cast<const char*>(0x10), &store.storage,
                                 &store.counter);
    drain();
    const auto lines = WRKUserLoggingStoredKeyValues(store.incremental.c_str());
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), 1u);
    EXPECT_TRUE((*lines)[0].find("value") && (*lines)[0].find("value")->isNull());
    EXPECT_FALSE(WRKUserLoggingGetCompactedKVEntries(nullptr, true));
}

// Writers meant for the logging queue run there; a recorder called from the queue itself
// runs at once instead of waiting for the queue forever.
TEST(WRKUserLogging, TheLoggingQueueCanWriteKeysFromItsOwnThread) {
    Store store(16);
    WRKLoggingQueue().sync([&] {
        ASSERT_TRUE(WRKLoggingQueue().isCurrent());
        WRKUserLoggingWriteKeyValue("direct", "1", &store.storage, &store.counter);
        WRKUserLoggingRecordKeyValue("recorded", "2", &store.storage, &store.counter);
    });
    EXPECT_FALSE(WRKLoggingQueue().isCurrent());
    EXPECT_EQ(store.content(),
              (std::map<std::string, std::string>{{"direct", "1"}, {"recorded", "2"}}));
}

TEST(WRKUserLogging, StoredKeyValuesOfAnUnreadableFileRemoveIt) {
    Folder folder;
    const std::string path = folder.file("kv");
    EXPECT_FALSE(WRKUserLoggingStoredKeyValues(path.c_str()));
    fs::create_directories(path);  // a folder where the file should be
    EXPECT_FALSE(WRKUserLoggingStoredKeyValues(path.c_str()));
}

}  // namespace
}  // namespace talvor::crash
