#include "crash/WRKProcess.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "crash/WRKJSON.h"
#include "crash/WRKSDKLog.h"

namespace talvor::crash {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kCrashedPC = 0x401000;
constexpr std::uint64_t kRecursionPC = 0x402000;
constexpr std::uint64_t kCallerPC = 0x403000;

// A made-up stack of frame records in memory: the crashed frame, `depth` frames returning
// into one recursive function, and its caller. The code addresses lie in one made-up image.
class SyntheticStack {
  public:
    explicit SyntheticStack(int depth) {
        WRKBinaryImageRange code;
        code.loadAddress = 0x400000;
        code.execStart = 0x400000;
        code.execEnd = 0x500000;
        WRKBinaryImageTableStore(images_.get(), code);
        words_.assign(4 + 2 * (depth + 2), 0);
        // words_[0..1]: the crashed frame's locals, no code addresses among them.
        std::size_t record = 2;
        std::vector<std::uint64_t> returns(depth, kRecursionPC);
        returns.push_back(kCallerPC);
        for (std::uint64_t ret : returns) {
            words_[record] = address(record + 2);  // the caller's frame record
            words_[record + 1] = ret;
            record += 2;
        }
        words_[record] = 0;  // the outermost frame
        words_[record + 1] = 0;
        state_.registers[WRKThreadState::kPC] = kCrashedPC;
        state_.registers[WRKThreadState::kSP] = address(0);
        state_.registers[WRKThreadState::kFP] = address(2);
    }
    const WRKThreadState& state() const { return state_; }
    const WRKBinaryImageTable* images() const { return images_.get(); }

  private:
    std::uint64_t address(std::size_t index) const {
        return reinterpret_cast<std::uintptr_t>(words_.data() + index);
    }
    std::unique_ptr<WRKBinaryImageTable> images_ = std::make_unique<WRKBinaryImageTable>();
    std::vector<std::uint64_t> words_;
    WRKThreadState state_;
};

class ThreadRecordTest : public ::testing::Test {
  protected:
    ThreadRecordTest() {
        path_ = fs::temp_directory_path() / ("talvor-thread-" + std::to_string(::getpid()));
    }
    ~ThreadRecordTest() override { fs::remove(path_); }

    // The one thread object `write` records.
    template <class Write>
    JSONValue record(Write write) {
        fs::remove(path_);
        WRKFile file;
        EXPECT_TRUE(WRKFileInitWithPath(&file, path_.c_str(), false));
        WRKFileWriteSectionStart(&file, "thread");
        write(&file);
        WRKFileWriteSectionEnd(&file);
        WRKFileClose(&file);
        const auto sections = WRKFileReadSections(path_.string(), false);
        EXPECT_TRUE(sections && sections->size() == 1);
        return sections && !sections->empty() && sections->front().find("thread")
                   ? *sections->front().find("thread")
                   : JSONValue();
    }

    static std::vector<std::uint64_t> stack(const JSONValue& thread) {
        std::vector<std::uint64_t> pcs;
        const JSONValue* trace = thread.find("stacktrace");
        if (trace != nullptr && trace->array() != nullptr) {
            for (const JSONValue& pc : *trace->array()) {
                pcs.push_back(pc.uint64() != nullptr ? *pc.uint64() : 0);
            }
        }
        return pcs;
    }

    fs::path path_;
};

TEST_F(ThreadRecordTest, ARunawayRecursionShowsTenFramesThenTheFramesBelowIt) {
    struct Row {
        int depth;
        std::vector<std::uint64_t> expected;
        std::optional<std::uint64_t> repeatCount;
    };
    const std::vector<std::uint64_t> ten(10, kRecursionPC);
    std::vector<std::uint64_t> deep{kCrashedPC};
    deep.insert(deep.end(), ten.begin(), ten.end());
    deep.push_back(kCallerPC);
    std::vector<std::uint64_t> nine{kCrashedPC};
    nine.insert(nine.end(), 9, kRecursionPC);
    nine.push_back(kCallerPC);
    const Row rows[] = {
        {25, deep, 24},  // the last repeat seen
        {11, deep, 10},
        {10, deep, std::nullopt},
        {9, nine, std::nullopt},
    };
    for (const Row& row : rows) {
        SyntheticStack synthetic(row.depth);
        const JSONValue thread = record([&](WRKFile* file) {
            WRKProcessRecordThread(file, &synthetic.state(), true, synthetic.images());
        });
        EXPECT_EQ(stack(thread), row.expected) << row.depth;
        const JSONValue* repeated = thread.find("repeated_pc");
        const JSONValue* count = thread.find("repeat_count");
        EXPECT_EQ(repeated != nullptr, row.repeatCount.has_value()) << row.depth;
        if (repeated != nullptr && count != nullptr && row.repeatCount) {
            ASSERT_TRUE(repeated->uint64() && count->uint64());
            EXPECT_EQ(*repeated->uint64(), kRecursionPC);
            EXPECT_EQ(*count->uint64(), *row.repeatCount);
        }
        ASSERT_TRUE(thread.find("crashed"));
        ASSERT_TRUE(thread.find("crashed")->boolean());
        EXPECT_TRUE(*thread.find("crashed")->boolean());
        ASSERT_TRUE(thread.find("registers") && thread.find("registers")->object());
        EXPECT_EQ(thread.find("registers")->object()->size(), WRKThreadState::kRegisterCount);
        EXPECT_EQ(thread.find("registers")->object()->front().key, WRKThreadStateRegisterName(0));
    }
}

TEST_F(ThreadRecordTest, AThreadWithoutStateKeepsItsPlaceAsAnEmptyObject) {
    const JSONValue thread =
        record([](WRKFile* file) { WRKProcessRecordThread(file, nullptr, false); });
    ASSERT_TRUE(thread.object());
    EXPECT_TRUE(thread.object()->empty());
}

TEST(crashSDKLog, LinesAreFormattedByHandWithTheFewConversionsKnown) {
    struct Case {
        const char* what;
        std::string line;
        const char* expected;
    };
    char out[128];
    const auto format = [&](auto... args) {
        WRKSDKLogFormat(out, sizeof out, args...);
        return std::string(out);
    };
    const Case cases[] = {
        {"pointer", format("at %p\n", reinterpret_cast<void*>(0x1f)), "at 0x1f\n"},
        {"strings", format("%s and %s", "one", static_cast<const char*>(nullptr)),
         "one and (null)"},
        {"numbers", format("%d %u %x", -42, 42u, 255u), "-42 42 ff"},
        {"unknown conversion, argument kept", format("%lu then %d", 7), "%lu then 7"},
        {"a lone percent at the end", format("100%"), "100%"},
        {"prefix of the macros",
         format("WARN  [%s:%d] Error: %p\n", "step", 12, reinterpret_cast<void*>(0)),
         "WARN  [step:12] Error: 0x0\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.line, c.expected) << c.what;
    }
    // A line longer than the buffer is cut, never overrun.
    char small[8];
    EXPECT_EQ(WRKSDKLogFormat(small, sizeof small, "%s", "a long line indeed"), 7u);
    EXPECT_STREQ(small, "a long ");
}

TEST(crashProcess, QueueLabelsFollowTheirThreads) {
    WRKProcessSetThreadQueueLabel(4242, "com.example.one");
    WRKProcessSetThreadQueueLabel(4343, "com.example.two");
    EXPECT_STREQ(WRKProcessThreadQueueLabel(4242), "com.example.one");
    WRKProcessSetThreadQueueLabel(4242, "com.example.again");
    EXPECT_STREQ(WRKProcessThreadQueueLabel(4242), "com.example.again");
    WRKProcessClearThreadQueueLabel(4242);
    EXPECT_EQ(WRKProcessThreadQueueLabel(4242), nullptr);
    EXPECT_STREQ(WRKProcessThreadQueueLabel(4343), "com.example.two");
    WRKProcessClearThreadQueueLabel(4343);
}

}  // namespace
}  // namespace talvor::crash
