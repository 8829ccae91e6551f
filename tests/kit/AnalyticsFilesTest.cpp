#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "ManualClock.h"
#include "kit/KitJson.h"
#include "kit/TLYCurrentLogFile.h"
#include "kit/TLYEvent.h"
#include "kit/TLYEventLogFile.h"
#include "kit/TLYFileUtils.h"
#include "kit/TLYLogFileOperations.h"
#include "kit/TLYMetadata.h"
#include "kit/TLYWriteEventOperation.h"

namespace talvor::kit {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> splitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(bytes.substr(start, end - start));
    }
    return lines;
}

std::shared_ptr<TLYMetadata> sampleMetadata() {
    auto m = std::make_shared<TLYMetadata>();
    m->APIKey = "key";
    m->executionIdentifier = "0123456789abcdef0123456789abcdef";
    m->installationId = "INSTALL";
    m->bundleIdentifier = "com.larkspindle.TalvorPro";
    m->numberOfCores = 8;
    return m;
}

// A temporary events folder and a manual kit clock.
class kitAnalyticsFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        Clock::setShared(&clock_);
        char pattern[] = "/tmp/talvor-analytics-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        Clock::setShared(nullptr);
        std::error_code error;
        fs::remove_all(dir_, error);
    }

    std::shared_ptr<TLYCustomEvent> event(const std::string& name = "tap") {
        return std::make_shared<TLYCustomEvent>(name, TLYAttributes{{"k", "v"}});
    }
    bool write(const std::shared_ptr<const TLYEvent>& e, const fs::path& file,
               std::shared_ptr<const TLYMetadataSerializable> metadata = nullptr) {
        TLYWriteEventOperation op(e, metadata ? metadata : metadata_, file);
        op.main();
        return op.success();
    }

    test::ManualClock clock_{1'500'000'000.9999};
    fs::path dir_;
    std::shared_ptr<TLYMetadata> metadata_ = sampleMetadata();
};

TEST_F(kitAnalyticsFiles, FirstWriteAddsMetadataLine) {
    const fs::path file = dir_ / "A.log";
    const auto first = event("first");
    ASSERT_TRUE(write(first, file));
    clock_.advance(std::chrono::seconds(2));
    ASSERT_TRUE(write(event("second"), file));
    const auto records = TLYEventLogFile::readRecords(file);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].name, "metadata");
    EXPECT_EQ(records[1].name, "custom");
    EXPECT_EQ(records[0].milliseconds, 1500000000999u) << "fraction dropped";
    EXPECT_EQ(records[1].milliseconds, 1500000000999u) << "the same time as its event";
    EXPECT_EQ(records[2].milliseconds, 1500000002999u);
    const auto meta = json::parse(records[0].json);
    ASSERT_TRUE(meta && meta->object());
    EXPECT_EQ(*meta->object()->find("started_at")->integer(), 1500000000);
    EXPECT_EQ(*meta->object()->find("session_id")->string(), "0123456789abcdef0123456789abcdef");
    EXPECT_EQ(records[1].json, *json::serialize(JsonValue(first->dictionaryRepresentation())));
    // Lines as they are on disk: four tab-separated fields.
    const auto lines = splitLines(readAll(file));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "1500000000999\tcustom\t" + std::to_string(records[1].json.size()) + "\t" +
                            records[1].json);
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST_F(kitAnalyticsFiles, TimestampsAndByteLengths) {
    struct Case {
        double seconds;
        std::uint64_t ms;
    };
    for (const Case c : {Case{1500000000.9999, 1500000000999}, Case{0.0015, 1}, Case{-5, 0},
                         Case{0, 0}, Case{1e30, UINT64_MAX}}) {
        EXPECT_EQ(TLYEventLogFile::millisecondsFromSeconds(c.seconds), c.ms) << c.seconds;
    }
    JsonObject object;
    object.set("name",
               "\xC3\xA9t\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80");  // 7 characters, 14 bytes
    const auto line = TLYEventLogFile::formatLine(1.0, "custom", object);
    ASSERT_TRUE(line);
    const std::string json = *json::serialize(JsonValue(object));
    EXPECT_EQ(*line, "1000\tcustom\t" + std::to_string(json.size()) + "\t" + json);
    EXPECT_EQ(json.size(), 25u) << "bytes, not the 18 characters";
    EXPECT_FALSE(TLYEventLogFile::formatLine(1.0, "a\tb", object)) << "a tab would split it";
    EXPECT_FALSE(TLYEventLogFile::formatLine(1.0, "a\nb", object));
}

// A file cut at any byte of its last line (the process died while appending) reads back
// every whole record, and the next write first cuts the unfinished line away.
TEST_F(kitAnalyticsFiles, CutAtEveryOffsetOfTheLastLine) {
    const fs::path source = dir_ / "source.log";
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(write(event("e" + std::to_string(i)), source));
    }
    const std::string bytes = readAll(source);
    const auto whole = TLYEventLogFile::readRecords(source);
    ASSERT_EQ(whole.size(), 4u);
    const std::size_t lastStart = bytes.rfind('\n', bytes.size() - 2) + 1;
    for (std::size_t cut = lastStart; cut < bytes.size(); ++cut) {
        const fs::path file = dir_ / ("cut" + std::to_string(cut) + ".log");
        writeAll(file, bytes.substr(0, cut));
        const auto records = TLYEventLogFile::readRecords(file);
        ASSERT_EQ(records.size(), 3u) << "cut at " << cut;
        EXPECT_EQ(records, std::vector<TLYLogRecord>(whole.begin(), whole.begin() + 3));

        test::LogCapture log;
        ASSERT_TRUE(write(event("after"), file)) << "cut at " << cut;
        const auto after = TLYEventLogFile::readRecords(file);
        ASSERT_EQ(after.size(), 4u) << "cut at " << cut;
        EXPECT_EQ(after.back().name, "custom");
        EXPECT_NE(after.back().json.find("\"after\""), std::string::npos);
        EXPECT_EQ(readAll(file).substr(0, lastStart), bytes.substr(0, lastStart));
        fs::remove(file);
    }
    // A file cut inside its metadata line starts afresh with a metadata line.
    const fs::path early = dir_ / "early.log";
    writeAll(early, bytes.substr(0, 10));
    test::LogCapture log;
    ASSERT_TRUE(write(event("x"), early));
    const auto fresh = TLYEventLogFile::readRecords(early);
    ASSERT_EQ(fresh.size(), 2u);
    EXPECT_EQ(fresh[0].name, "metadata");
}

TEST_F(kitAnalyticsFiles, DamagedLinesInsideAreSkippedNotTheRest) {
    const fs::path file = dir_ / "A.log";
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(write(event(), file));
    }
    auto lines = splitLines(readAll(file));
    ASSERT_EQ(lines.size(), 4u);
    const std::vector<std::string> damaged = {
        lines[1].substr(0, lines[1].size() - 1) + "X",  // JSON no longer an object
        "12\tcustom\t999\t{}",                          // length does not match
        "garbage",                                      // not four fields
        "\t\t\t",
    };
    for (const auto& bad : damaged) {
        writeAll(file, lines[0] + "\n" + bad + "\n" + lines[2] + "\n" + lines[3] + "\n");
        const auto records = TLYEventLogFile::readRecords(file);
        ASSERT_EQ(records.size(), 3u) << bad;
        EXPECT_EQ(records[0].name, "metadata");
    }
}

// The append loop: at most three write calls, each refusal logged.
TEST_F(kitAnalyticsFiles, ShortWriteLoop) {
    struct Case {
        const char* what;
        std::vector<ssize_t> results;  // what each call answers (capped at the bytes asked)
        int err;
        bool ok;
        int calls;
        const char* message;
    };
    const Case cases[] = {
        {"all at once", {-2}, 0, true, 1, nullptr},
        {"half then the rest", {5, -2}, 0, true, 2, nullptr},
        {"three short writes", {1, 1, 1}, 0, false, 3, "Error: exited write loop without success"},
        {"two short then the rest", {1, 1, -2}, 0, true, 3, nullptr},
        {"nothing taken", {0}, 0, false, 1, "Error: exited write loop without success"},
        {"disk full", {-1}, ENOSPC, false, 1, "Failed to write: No space left on device"},
        {"more than asked", {-3}, 0, false, 1, "Error: length doesn't make sense"},
    };
    clock_.advance(std::chrono::seconds(0));
    for (const auto& c : cases) {
        int calls = 0;
        std::string taken;
        const TLYWriteEventOperation::WriteFunction fake = [&](int, const void* bytes,
                                                               std::size_t n) -> ssize_t {
            const ssize_t r =
                c.results[std::size_t(std::min<int>(calls, int(c.results.size()) - 1))];
            ++calls;
            if (r == -1) {
                errno = c.err;
                return -1;
            }
            const std::size_t count = r == -2 ? n : r == -3 ? n + 1 : std::min(std::size_t(r), n);
            taken.append(static_cast<const char*>(bytes), std::min(count, n));
            return ssize_t(count);
        };
        test::LogCapture log;
        setLogLevel(KitLogLevel::Debug);
        const bool ok = TLYWriteEventOperation::appendLogLine("0123456789", 3, fake);
        setLogLevel(KitLogLevel::Info);
        EXPECT_EQ(ok, c.ok) << c.what;
        EXPECT_EQ(calls, c.calls) << c.what;
        if (c.ok) {
            EXPECT_EQ(taken, "0123456789\n") << c.what;
        }
        if (c.message) {
            ASSERT_FALSE(log.lines.empty()) << c.what;
            EXPECT_EQ(
                log.lines.front().rfind(std::string("[Tally:WriteOperation] ") + c.message, 0), 0u)
                << c.what << ": " << log.lines.front();
        }
    }
}

// A short write leaves part of a line; the file still reads well and the next write mends it.
TEST_F(kitAnalyticsFiles, FailedWriteLeavesFileReadable) {
    const fs::path file = dir_ / "A.log";
    ASSERT_TRUE(write(event(), file));
    TLYWriteEventOperation failing(event(), metadata_, file);
    failing.setWriteFunction([calls = 0](int fd, const void* bytes, std::size_t n) mutable {
        return ++calls == 1 ? ::write(fd, bytes, std::min<std::size_t>(n, 7)) : ssize_t(0);
    });
    failing.main();
    EXPECT_FALSE(failing.success());
    EXPECT_EQ(TLYEventLogFile::readRecords(file).size(), 2u);
    test::LogCapture log;
    ASSERT_TRUE(write(event(), file));
    EXPECT_EQ(TLYEventLogFile::readRecords(file).size(), 3u);
    EXPECT_EQ(splitLines(readAll(file)).size(), 3u) << "no fragment left in the file";
}

TEST_F(kitAnalyticsFiles, FolderAtThePathFailsSilently) {
    const fs::path file = dir_ / "A.log";
    fs::create_directory(file);
    test::LogCapture log;
    EXPECT_FALSE(write(event(), file));
    EXPECT_TRUE(fs::is_directory(file));
    EXPECT_TRUE(fs::is_empty(file));
    EXPECT_TRUE(log.lines.empty());
}

// Write, compress, package; Python's email and gzip modules give back the very lines.
TEST_F(kitAnalyticsFiles, PackagesGunzipToTheSourceLines) {
    const fs::path log = dir_ / "3F2504E0-4F89-11D3-9A0C-0305E82C3301.log";
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(write(event("event " + std::to_string(i) + " \xC3\xA9"), log));
    }
    const std::string source = readAll(log);
    writeAll(log, source + "123\tcut sho");  // a line the process did not finish
    const fs::path gz = TLYCompressLogOperation::compressedURLForUncompressedURL(log);
    EXPECT_EQ(gz.filename(), "3F2504E0-4F89-11D3-9A0C-0305E82C3301.gz");
    TLYCompressLogOperation compress(log, gz);
    compress.main();
    ASSERT_TRUE(compress.success());
    const std::string boundary = "6BA7B810-9DAD-11D1-80B4-00C04FD430C8";
    const fs::path packaged = TLYPackageLogOperation::multipartURLForCompressedURL(gz, boundary);
    EXPECT_EQ(packaged, dir_ / (boundary + ".multipartmime"));
    clock_.advance(std::chrono::hours(1));
    TLYPackageLogOperation package(gz, packaged, boundary);
    package.main();
    ASSERT_TRUE(package.success());
    EXPECT_DOUBLE_EQ(TLYFileUtils::fileCreatedDateAtURL(packaged, 0), clock_.wallSeconds());
    EXPECT_FALSE(fs::exists(dir_ / (boundary + ".partial")));

    const std::string command =
        "/usr/bin/python3 " TALVOR_EVENT_PACKAGE_UNPACK " " + boundary + " " + packaged.string();
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, n);
    }
    ASSERT_EQ(::pclose(pipe), 0) << out;
    const std::string header =
        "3F2504E0-4F89-11D3-9A0C-0305E82C3301.gz|3F2504E0-4F89-11D3-9A0C-0305E82C3301.gz|"
        "application/vnd.wreckord.mac.events\n";
    ASSERT_EQ(out.substr(0, header.size()), header);
    EXPECT_EQ(out.substr(header.size()), source);
    EXPECT_EQ(splitLines(source).size(), 51u);
}

// A failed step keeps its input and leaves no half-made output.
TEST_F(kitAnalyticsFiles, FailedStepsKeepTheirInput) {
    const fs::path log = dir_ / "A.log";
    ASSERT_TRUE(write(event(), log));
    const std::string before = readAll(log);
    {
        test::LogCapture capture;
        setLogLevel(KitLogLevel::Debug);
        TLYCompressLogOperation compress(log, dir_ / "missing-folder" / "A.gz");
        compress.main();
        setLogLevel(KitLogLevel::Info);
        EXPECT_FALSE(compress.success());
        ASSERT_FALSE(capture.lines.empty());
        EXPECT_EQ(capture.lines.back(), "[Tally] Failed to compress file at " + log.string());
    }
    EXPECT_EQ(readAll(log), before);
    {
        TLYCompressLogOperation compress(dir_ / "none.log", dir_ / "none.gz");
        compress.main();
        EXPECT_FALSE(compress.success());
        EXPECT_FALSE(fs::exists(dir_ / "none.gz"));
    }
    {
        // An existing compressed file is left alone and counts as done.
        writeAll(dir_ / "B.gz", "already");
        writeAll(dir_ / "B.log", before);
        TLYCompressLogOperation compress(dir_ / "B.log", dir_ / "B.gz");
        compress.main();
        EXPECT_TRUE(compress.success());
        EXPECT_EQ(readAll(dir_ / "B.gz"), "already");
    }
    {
        test::LogCapture capture;
        setLogLevel(KitLogLevel::Debug);
        TLYPackageLogOperation package(dir_ / "none.gz", dir_ / "X.multipartmime", "X");
        package.main();
        setLogLevel(KitLogLevel::Info);
        EXPECT_FALSE(package.success());
        EXPECT_FALSE(fs::exists(dir_ / "X.multipartmime"));
        ASSERT_FALSE(capture.lines.empty());
        EXPECT_EQ(capture.lines.back(), "[Tally] Error: attempting to package nonexistent file: " +
                                            (dir_ / "none.gz").string());
    }
    {
        // An empty compressed file makes no part: nothing is packaged.
        writeAll(dir_ / "E.gz", "");
        TLYPackageLogOperation package(dir_ / "E.gz", dir_ / "Y.multipartmime", "Y");
        test::LogCapture capture;
        package.main();
        EXPECT_FALSE(package.success());
        EXPECT_FALSE(fs::exists(dir_ / "Y.multipartmime"));
        EXPECT_FALSE(fs::exists(dir_ / "Y.partial"));
        EXPECT_TRUE(fs::exists(dir_ / "E.gz"));
    }
}

TEST_F(kitAnalyticsFiles, CleanupTable) {
    struct Case {
        const char* what;
        std::uint64_t packagedFiles;
        std::uint64_t limit;
        std::uint64_t keptPackaged;
    };
    for (const Case c : {Case{"101 with a limit of 100", 101, 100, 100},
                         Case{"at the limit", 5, 5, 5}, Case{"limit 0", 3, 0, 0}}) {
        const fs::path folder = dir_ / "events";
        fs::remove_all(folder);
        fs::create_directories(folder / "sub.folder");
        writeAll(folder / "A.log", "a\n");
        writeAll(folder / "A.gz", "partial");
        writeAll(folder / "B.gz", "b");
        writeAll(folder / "C.log", "c\n");
        writeAll(folder / "stray.txt", "x");
        writeAll(folder / "noextension", "x");
        writeAll(folder / "D.partial", "x");
        // Packaged files dated one minute apart by the kit clock; the first is the oldest.
        std::vector<fs::path> packaged;
        for (std::uint64_t i = 0; i < c.packagedFiles; ++i) {
            const fs::path file = folder / ("P" + std::to_string(1000 + i) + ".multipartmime");
            writeAll(file, "body");
            ASSERT_TRUE(
                TLYFileUtils::setModificationDate(file, clock_.wallSeconds() + 60.0 * double(i)));
            packaged.push_back(file);
        }
        TLYCleanupFilesOperation cleanup(folder, c.limit);
        std::set<fs::path> logs, gzs, kept;
        int calls = 0;
        cleanup.setSuccessBlock([&](const auto& l, const auto& g, const auto& p) {
            ++calls;
            logs = l;
            gzs = g;
            kept = p;
        });
        cleanup.main();
        EXPECT_EQ(calls, 1) << c.what;
        EXPECT_EQ(logs, (std::set<fs::path>{folder / "A.log", folder / "C.log"})) << c.what;
        EXPECT_EQ(gzs, std::set<fs::path>{folder / "B.gz"}) << c.what;
        EXPECT_EQ(kept.size(), c.keptPackaged) << c.what;
        const std::set<fs::path> newest(packaged.end() - std::ptrdiff_t(c.keptPackaged),
                                        packaged.end());
        EXPECT_EQ(kept, newest) << c.what;
        std::set<fs::path> left = TLYFileUtils::allFilesInDirectory(folder);
        std::set<fs::path> expected = {folder / "A.log", folder / "B.gz", folder / "C.log"};
        expected.insert(newest.begin(), newest.end());
        EXPECT_EQ(left, expected) << c.what;
    }
    // A folder that cannot be listed: empty sets, nothing thrown.
    TLYCleanupFilesOperation missing(dir_ / "nope", 10);
    int calls = 0;
    missing.setSuccessBlock([&](const auto& l, const auto& g, const auto& p) {
        calls += int(l.size() + g.size() + p.size()) + 1;
    });
    missing.main();
    EXPECT_EQ(calls, 1);
}

// Roll-over by size (strictly over the limit) and by the age of the file's first record.
TEST_F(kitAnalyticsFiles, RollOverBySizeAndAge) {
    TLYCurrentLogFile current(dir_);
    const fs::path first = current.currentLogURL();
    EXPECT_EQ(first.parent_path(), dir_);
    EXPECT_EQ(first.extension(), ".log");
    EXPECT_EQ(first.stem().string().size(), 36u);
    EXPECT_FALSE(current.isDue(0, 60)) << "no file yet";

    ASSERT_TRUE(write(event(), first));
    const auto size = std::int64_t(TLYFileUtils::fileSizeAtURL(first));
    struct Case {
        std::int64_t limit;
        double age;
        double advance;
        bool due;
    };
    const Case cases[] = {
        {size, 0, 0, false},      // exactly the limit
        {size - 1, 0, 0, true},   // one byte over
        {size, 60, 59.9, false},  // young enough
        {size, 60, 60, true},     // old enough
        {size, 0, 1e6, false},    // no age limit
        {-1, 0, 0, true},         // a negative limit: every file is over
    };
    const double start = clock_.wallSeconds();
    for (const auto& c : cases) {
        test::ManualClock at(start + c.advance);
        Clock::setShared(&at);
        EXPECT_EQ(current.isDue(c.limit, c.age), c.due)
            << "limit " << c.limit << " age " << c.age << " after " << c.advance;
        Clock::setShared(&clock_);
    }
    EXPECT_FALSE(current.rollOverIfDue(size, 60));
    EXPECT_EQ(current.currentLogURL(), first);
    clock_.advance(std::chrono::seconds(61));
    const auto old = current.rollOverIfDue(size, 60);
    ASSERT_TRUE(old);
    EXPECT_EQ(*old, first);
    EXPECT_NE(current.currentLogURL(), first);
    EXPECT_FALSE(current.isDue(size, 60)) << "the new file does not exist yet";
}

TEST_F(kitAnalyticsFiles, CrashMetadataRotation) {
    const fs::path file = dir_ / "crash_metadata";
    auto run = [&](const std::string& session) {
        TLYMetadata m = *metadata_;
        m.executionIdentifier = session;
        TLYRotateCrashMetadataOperation op(file, m);
        op.main();
        return op.crashMetadata();
    };
    // No file: an empty record, and the current one is written.
    auto previous = run("first");
    ASSERT_TRUE(previous);
    EXPECT_TRUE(previous->rawMetadataDictionary.empty());
    // The next run gets the first run's record, start time included.
    clock_.advance(std::chrono::hours(5));
    previous = run("second");
    ASSERT_TRUE(previous->rawMetadataDictionary.find("session_id"));
    EXPECT_EQ(*previous->rawMetadataDictionary.find("session_id")->string(), "first");
    EXPECT_EQ(*previous->rawMetadataDictionary.find("started_at")->integer(), 1500000000);
    EXPECT_EQ(*previous->dictionaryRepresentationWithStartTime(42).find("started_at")->integer(),
              1500000000);
    // A damaged file: an empty record (the crash is still reported), replaced by the current.
    writeAll(file, "{\"session_id\": \"trunc");
    {
        test::LogCapture log;
        previous = run("third");
        EXPECT_EQ(log.lines.size(), 1u);
    }
    EXPECT_TRUE(previous->rawMetadataDictionary.empty());
    const auto stored = TLYCrashMetadata::readSerializedDictionaryFromURL(file);
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored->find("session_id")->string(), "third");

    // A crash event written with an empty previous record heads its file with "{}".
    const fs::path log = dir_ / "crash.log";
    ASSERT_TRUE(write(std::make_shared<TLYCrashEvent>(1'400'000'000.5, 0), log,
                      std::make_shared<TLYCrashMetadata>()));
    const auto records = TLYEventLogFile::readRecords(log);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].json, "{}");
    EXPECT_EQ(records[0].milliseconds, 1400000000500u);
    EXPECT_EQ(records[1].name, "app_crashed");
}

TEST(kitAnalyticsMetadata, KeysInOrderAndBetaToken) {
    TLYMetadata m = *sampleMetadata();
    m.hostModel = "ThinkPad";
    m.locale = "de_DE";
    m.OSBuildVersion = "6.1.0";
    m.OSDisplayVersion = "12.0.0";
    m.buildVersion = "7";
    m.displayVersion = "1.2";
    m.instanceIdentifier = "abc";
    m.betaToken = "2:tok";
    const JsonObject d = m.dictionaryRepresentationWithStartTime(1500000000);
    std::vector<std::string> keys;
    for (const auto& entry : d.entries()) {
        keys.push_back(entry.first);
    }
    const std::vector<std::string> expected = {"generator",
                                               "api_key",
                                               "session_id",
                                               "started_at",
                                               "beta_tester_token",
                                               "links_ad_support",
                                               "advertising_tracking_enabled",
                                               "install_id",
                                               "model",
                                               "machine",
                                               "locale",
                                               "os_build",
                                               "os_version",
                                               "platform",
                                               "platform_code",
                                               "cores",
                                               "jailbroken",
                                               "bundle_id",
                                               "bundle_version",
                                               "bundle_short_version",
                                               "instance_id"};
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(
        *json::serialize(JsonValue(d)),
        R"({"generator":"Tally Mac SDK/1.3.7","api_key":"key","session_id":"0123456789abcdef0123456789abcdef",)"
        R"("started_at":1500000000,"beta_tester_token":"tok","links_ad_support":false,)"
        R"("advertising_tracking_enabled":false,"install_id":"INSTALL","model":"ThinkPad",)"
        R"("machine":"ThinkPad","locale":"de_DE","os_build":"6.1.0","os_version":"12.0.0",)"
        R"("platform":"Mac","platform_code":0,"cores":8,"jailbroken":false,)"
        R"("bundle_id":"com.larkspindle.TalvorPro","bundle_version":"7",)"
        R"("bundle_short_version":"1.2","instance_id":"abc"})");
    struct Case {
        std::optional<std::string> token;
        std::optional<std::string> unwrapped;
    };
    for (const auto& c : std::vector<Case>{{"2:abc", "abc"},
                                           {"2:", ""},
                                           {"1:abc", std::nullopt},
                                           {"2:a:b", std::nullopt},
                                           {"abc", std::nullopt},
                                           {std::nullopt, std::nullopt}}) {
        EXPECT_EQ(TLYMetadata::unwrapBetaToken(c.token), c.unwrapped) << c.token.value_or("nil");
    }
}

}  // namespace
}  // namespace talvor::kit
