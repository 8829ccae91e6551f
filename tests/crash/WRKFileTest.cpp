#include "crash/WRKFile.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace talvor::crash {
namespace {

namespace fs = std::filesystem;

class Scratch {
  public:
    Scratch() {
        dir_ = fs::temp_directory_path() /
               ("talvor-wrkfile-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    ~Scratch() { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

  private:
    static inline int counter_ = 0;
    fs::path dir_;
};

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The bytes `write` leaves in a fresh file, buffered or not.
std::string written(const std::function<void(WRKFile*)>& write, bool buffered = false) {
    Scratch scratch;
    const std::string path = scratch.path("record.clsrecord");
    WRKFile file;
    EXPECT_TRUE(WRKFileInitWithPath(&file, path.c_str(), buffered));
    write(&file);
    EXPECT_TRUE(WRKFileClose(&file));
    return contents(path);
}

struct Golden {
    const char* what;
    std::function<void(WRKFile*)> write;
    std::string bytes;
};

std::vector<Golden> goldenTable() {
    return {
        {"empty object section",
         [](WRKFile* f) {
             WRKFileWriteSectionStart(f, "storage");
             WRKFileWriteHashStart(f);
             WRKFileWriteHashEnd(f);
             WRKFileWriteSectionEnd(f);
         },
         "{\"storage\":{}}\n"},
        {"empty array section",
         [](WRKFile* f) {
             WRKFileWriteSectionStart(f, "thread_names");
             WRKFileWriteArrayStart(f);
             WRKFileWriteArrayEnd(f);
             WRKFileWriteSectionEnd(f);
         },
         "{\"thread_names\":[]}\n"},
        {"every value kind, and two lines that start cleanly",
         [](WRKFile* f) {
             WRKFileWriteSectionStart(f, "signal");
             WRKFileWriteHashStart(f);
             WRKFileWriteHashEntryUint64(f, "zero", 0);
             WRKFileWriteHashEntryUint64(f, "max", UINT64_MAX);
             WRKFileWriteHashEntryInt64(f, "negative", -6);
             WRKFileWriteHashEntryInt64(f, "min", INT64_MIN);
             WRKFileWriteHashEntryInt64(f, "positive", 42);
             WRKFileWriteHashEntryString(f, "name", "SIGSEGV");
             WRKFileWriteHashEntryString(f, "code_name", nullptr);
             WRKFileWriteHashEntryHexEncodedString(f, "reason", "abc");
             WRKFileWriteHashEntryHexEncodedString(f, "empty", "");
             WRKFileWriteHashEntryHexEncodedString(f, "none", nullptr);
             WRKFileWriteHashEntryBoolean(f, "yes", true);
             WRKFileWriteHashEntryBoolean(f, "no", false);
             WRKFileWriteHashEnd(f);
             WRKFileWriteSectionEnd(f);
             WRKFileWriteSectionStart(f, "next");
             WRKFileWriteHashStart(f);
             WRKFileWriteHashEnd(f);
             WRKFileWriteSectionEnd(f);
         },
         "{\"signal\":{\"zero\":0,\"max\":18446744073709551615,\"negative\":-6,"
         "\"min\":-9223372036854775808,\"positive\":42,\"name\":\"SIGSEGV\",\"code_name\":null,"
         "\"reason\":\"616263\",\"empty\":\"\",\"none\":null,\"yes\":true,\"no\":false}}\n"
         "{\"next\":{}}\n"},
        {"nested collections and array entries",
         [](WRKFile* f) {
             WRKFileWriteSectionStart(f, "threads");
             WRKFileWriteArrayStart(f);
             WRKFileWriteHashStart(f);
             WRKFileWriteHashKey(f, "stacktrace");
             WRKFileWriteArrayStart(f);
             WRKFileWriteArrayEntryUint64(f, 1);
             WRKFileWriteArrayEntryUint64(f, 2);
             WRKFileWriteArrayEnd(f);
             WRKFileWriteHashEntryBoolean(f, "crashed", true);
             WRKFileWriteHashEnd(f);
             WRKFileWriteHashStart(f);
             WRKFileWriteHashEnd(f);
             WRKFileWriteArrayStart(f);
             WRKFileWriteArrayEntryString(f, "main");
             WRKFileWriteArrayEntryString(f, nullptr);
             WRKFileWriteArrayEntryHexEncodedString(f, "\xff");
             WRKFileWriteArrayEnd(f);
             WRKFileWriteArrayEnd(f);
             WRKFileWriteSectionEnd(f);
         },
         "{\"threads\":[{\"stacktrace\":[1,2],\"crashed\":true},{},[\"main\",null,\"ff\"]]}\n"},
        {"plain strings are escaped, so outside text keeps its line valid",
         [](WRKFile* f) {
             WRKFileWriteSectionStart(f, "s");
             WRKFileWriteHashStart(f);
             WRKFileWriteHashEntryString(f, "symbol", "operator\"\" _km");
             WRKFileWriteHashEntryString(f, "path", "C:\\dir\\a\tb\nc\x01");
             WRKFileWriteHashEntryString(f, "utf8", "Z\xc3\xbcrich \xe2\x82\xac");
             WRKFileWriteHashEntryString(f, "broken",
                                         "a\xff"
                                         "b\xc3");
             WRKFileWriteHashEnd(f);
             WRKFileWriteSectionEnd(f);
         },
         "{\"s\":{\"symbol\":\"operator\\\"\\\" _km\","
         "\"path\":\"C:\\\\dir\\\\a\\u0009b\\u000ac\\u0001\","
         "\"utf8\":\"Z\xc3\xbcrich \xe2\x82\xac\",\"broken\":\"a\\ufffdb\\ufffd\"}}\n"},
        {"long strings and hex cross their chunks intact",
         [](WRKFile* f) {
             const std::string longText(100, 'x');
             const std::string longHex(40, 'A');
             WRKFileWriteSectionStart(f, "l");
             WRKFileWriteHashStart(f);
             WRKFileWriteHashEntryString(f, "text", longText.c_str());
             WRKFileWriteHashEntryHexEncodedString(f, "hex", longHex.c_str());
             WRKFileWriteHashEnd(f);
             WRKFileWriteSectionEnd(f);
         },
         "{\"l\":{\"text\":\"" + std::string(100, 'x') + "\",\"hex\":\"" +
             [] {
                 std::string h;
                 for (int i = 0; i < 40; ++i)
                     h += "41";
                 return h;
             }() +
             "\"}}\n"},
        {"bare numbers (the diagnostic log's)",
         [](WRKFile* f) {
             WRKFileWriteUInt64(f, 255, true);
             WRKFileWriteUInt64(f, 0, true);
             WRKFileWriteUInt64(f, UINT64_MAX, true);
             WRKFileWriteInt64(f, -1);
         },
         "ff0ffffffffffffffff-1"},
    };
}

TEST(crashWRKFile, WritesTheGoldenBytesBufferedAndNot) {
    for (const Golden& row : goldenTable()) {
        EXPECT_EQ(written(row.write, false), row.bytes) << row.what << " (unbuffered)";
        EXPECT_EQ(written(row.write, true), row.bytes) << row.what << " (buffered)";
    }
}

// Every line the writer makes is strict JSON, for our reader and for Python's.
TEST(crashWRKFile, EveryWrittenLineIsStrictJSON) {
    Scratch scratch;
    const std::string all = scratch.path("all.clsrecord");
    std::ofstream out(all, std::ios::binary);
    for (const Golden& row : goldenTable()) {
        const std::string bytes = written(row.write);
        if (bytes.empty() || bytes.back() != '\n') {
            continue;  // the bare numbers are no line
        }
        out << bytes;
        std::size_t start = 0;
        for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos;
             start = end + 1) {
            const auto value = parseJSON(std::string_view(bytes).substr(start, end - start));
            EXPECT_TRUE(value && value->object() && value->object()->size() == 1) << row.what;
        }
    }
    out.close();
    const std::string command =
        std::string(TALVOR_PYTHON3) +
        " -c 'import json,sys\n"
        "for line in open(sys.argv[1], encoding=\"utf-8\", errors=\"strict\"):\n"
        "    value = json.loads(line)\n"
        "    assert isinstance(value, dict) and len(value) == 1' " +
        all;
    EXPECT_EQ(std::system(command.c_str()), 0);
}

TEST(crashWRKFile, ReaderSkipsBadLinesAndReadsAnUnterminatedLastLine) {
    Scratch scratch;
    const std::string path = scratch.path("mixed.clsrecord");
    std::ofstream(path, std::ios::binary) << "{\"a\":{\"n\":1}}\n"
                                             "{\"broken\":{\"n\":}\n"
                                             "\n"
                                             "not json\n"
                                             "[1,2]\n"
                                             "{\"b\":[true,null]}\n"
                                             "{\"c\":{\"s\":\"x\"}}";
    const auto sections = WRKFileReadSections(path, false);
    ASSERT_TRUE(sections);
    ASSERT_EQ(sections->size(), 3u);
    EXPECT_TRUE((*sections)[0].find("a"));
    EXPECT_TRUE((*sections)[1].find("b"));
    EXPECT_TRUE((*sections)[2].find("c"));

    const auto onlyB =
        WRKFileReadSections(path, false, [](JSONValue v) -> std::optional<JSONValue> {
            return v.find("b") ? std::optional<JSONValue>(std::move(v)) : std::nullopt;
        });
    ASSERT_TRUE(onlyB);
    EXPECT_EQ(onlyB->size(), 1u);
}

TEST(crashWRKFile, AnUnreadableFileGivesNothingAndIsRemovedWhenAsked) {
    Scratch scratch;
    EXPECT_FALSE(WRKFileReadSections(scratch.path("missing"), true));
    EXPECT_FALSE(WRKFileReadSections("", false));
    const std::string folder = scratch.path("a-folder");
    fs::create_directories(folder);
    EXPECT_FALSE(WRKFileReadSections(folder, false));
    EXPECT_TRUE(fs::exists(folder));
    EXPECT_FALSE(WRKFileReadSections(folder, true));
    EXPECT_FALSE(fs::exists(folder));
}

TEST(crashWRKFile, BufferedWritesFlushAfterExactly999Bytes) {
    Scratch scratch;
    const std::string path = scratch.path("buffered.clsrecord");
    WRKFile file;
    ASSERT_TRUE(WRKFileInitWithPath(&file, path.c_str(), true));
    const std::string text(1200, 'q');
    WRKFileWriteString(&file, text.c_str());  // 1202 bytes with the quotes
    EXPECT_EQ(fs::file_size(path), 999u);
    EXPECT_EQ(file.writtenLength, 999u);
    EXPECT_EQ(file.writeBufferLength, 203u);
    std::uint64_t size = 0;
    ASSERT_TRUE(WRKFileCloseWithOffset(&file, &size));
    EXPECT_EQ(size, 1202u);
    EXPECT_EQ(file.fd, -1);
    EXPECT_EQ(contents(path), "\"" + text + "\"");
}

TEST(crashWRKFile, AppendingContinuesTheOffsetAndTruncatingStartsAtZero) {
    Scratch scratch;
    const std::string path = scratch.path("log_a.clsrecord");
    std::ofstream(path) << "12345";
    WRKFile file;
    ASSERT_TRUE(WRKFileInitWithPath(&file, path.c_str(), false));
    EXPECT_EQ(file.writtenLength, 5u);
    WRKFileWriteUInt64(&file, 678, false);
    EXPECT_EQ(file.writtenLength, 8u);
    ASSERT_TRUE(WRKFileClose(&file));
    EXPECT_EQ(contents(path), "12345678");

    ASSERT_TRUE(WRKFileInitWithPathMode(&file, path.c_str(), false, false));
    EXPECT_EQ(file.writtenLength, 0u);
    ASSERT_TRUE(WRKFileClose(&file));
    EXPECT_EQ(contents(path), "");

    EXPECT_FALSE(WRKFileInitWithPath(&file, scratch.path("no/such/folder/x").c_str(), false));
    EXPECT_FALSE(WRKFileIsOpen(&file));
    EXPECT_FALSE(WRKFileInitWithPath(&file, nullptr, false));
}

void onAlarm(int) {}

// A write interrupted by a signal before it wrote anything is tried again, not lost.
TEST(crashWRKFile, AnInterruptedWriteIsRetried) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::fcntl(fds[1], F_SETPIPE_SZ, 4096);
    const std::string filler(static_cast<std::size_t>(::fcntl(fds[1], F_GETPIPE_SZ)), 'f');
    ASSERT_TRUE(WRKFileWriteWithRetries(fds[1], filler.data(), filler.size()));

    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = onAlarm;  // no SA_RESTART: the blocked write fails with EINTR
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(SIGALRM, &action, &previous), 0);

    // Only this thread may take the alarm.
    sigset_t alarm;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    ::pthread_sigmask(SIG_BLOCK, &alarm, nullptr);
    std::string drained;
    std::thread reader([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        char buffer[8192];
        for (;;) {  // until the writer closes its end
            const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            drained.append(buffer, static_cast<std::size_t>(n));
        }
    });
    ::pthread_sigmask(SIG_UNBLOCK, &alarm, nullptr);
    itimerval timer{};
    timer.it_value.tv_usec = 50000;
    ::setitimer(ITIMER_REAL, &timer, nullptr);
    EXPECT_TRUE(WRKFileWriteWithRetries(fds[1], "after", 5));
    ::close(fds[1]);
    reader.join();
    ::sigaction(SIGALRM, &previous, nullptr);
    ::close(fds[0]);
    EXPECT_EQ(drained, filler + "after");
}

TEST(crashWRKFile, HexHelpers) {
    EXPECT_EQ(WRKFileHexEncodeString("abc"), "616263");
    EXPECT_EQ(WRKFileHexEncodeString(""), "");
    EXPECT_EQ(WRKFileHexEncodeString(nullptr), "");
    struct Row {
        const char* hex;
        std::string text;
    };
    for (const Row& row : {Row{"616263", "abc"}, Row{"6162zz63", "ab"}, Row{"6", ""}, Row{"", ""},
                           Row{"4A4b", "JK"}, Row{"61626", "ab"}}) {
        EXPECT_EQ(WRKFileHexDecodeString(row.hex), row.text) << row.hex;
    }
    EXPECT_EQ(WRKNybbleFromChar('0'), 0);
    EXPECT_EQ(WRKNybbleFromChar('f'), 15);
    EXPECT_EQ(WRKNybbleFromChar('F'), 15);
    EXPECT_EQ(WRKNybbleFromChar('g'), 255);
    char out[7] = "zzzzzz";
    const std::uint8_t bytes[] = {0x00, 0xab, 0x7f};
    WRKSafeHexToString(bytes, 3, out);
    EXPECT_STREQ(out, "00ab7f");
}

}  // namespace
}  // namespace talvor::crash
