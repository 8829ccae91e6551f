// Crashes the fixture program in every way the capture handles and reads what it left.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "crash/WRKFile.h"
#include "crash/WRKJSON.h"
#include "crash/WRKUserLogging.h"
#include "support/MultipartBody.h"

extern char** environ;

namespace talvor::crash {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Sandbox {
  public:
    Sandbox() {
        root_ = fs::temp_directory_path() /
                ("talvor-capture-" + std::to_string(::getpid()) + "-" + std::to_string(next_++));
        fs::remove_all(root_);
        fs::create_directories(root_ / "home");
    }
    ~Sandbox() { fs::remove_all(root_); }
    const fs::path& root() const { return root_; }
    fs::path activeFolder() const {
        return root_ / "cache/talvor/com.wreckord.data/com.larkspindle.TalvorPro/v3/active";
    }

  private:
    static inline int next_ = 0;
    fs::path root_;
};

struct Child {
    pid_t pid = -1;
    std::optional<int> status;
};

// `output`: a file for the child's standard error.
Child spawnFixture(const std::string& mode, const Sandbox& sandbox,
                   const std::string& output = "/dev/null", const std::string& where = {}) {
    std::vector<std::string> env = {
        "HOME=" + (sandbox.root() / "home").string(),
        "XDG_CACHE_HOME=" + (sandbox.root() / "cache").string(),
        "XDG_DATA_HOME=" + (sandbox.root() / "data").string(),
        "XDG_CONFIG_HOME=" + (sandbox.root() / "config").string(),
        "LANG=de_CH.UTF-8",
    };
    std::vector<char*> envp;
    for (std::string& entry : env) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::string program = CRASH_FIXTURE;
    std::string folder = where.empty() ? sandbox.root().string() : where;
    std::string modeText = mode;
    char* argv[] = {program.data(), modeText.data(), folder.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    Child child;
    EXPECT_EQ(::posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

// The child's wait status; kills it after 20 seconds.
std::optional<int> waitFor(pid_t pid) {
    for (auto waited = 0ms; waited < 20s; waited += 10ms) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return status;
        }
        std::this_thread::sleep_for(10ms);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return std::nullopt;
}

std::vector<std::string> linesOf(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Every line parses strictly; the sections' names in order.
std::vector<std::string> sectionNames(const fs::path& file) {
    std::vector<std::string> names;
    for (const std::string& line : linesOf(file)) {
        const std::optional<JSONValue> value = parseJSON(line);
        EXPECT_TRUE(value && value->object() && value->object()->size() == 1)
            << file << ": " << line;
        if (value && value->object() && value->object()->size() == 1) {
            names.push_back(value->object()->front().key);
        }
    }
    return names;
}

std::map<std::string, int> counts(const fs::path& file) {
    std::map<std::string, int> out;
    std::ifstream in(file);
    std::string key;
    int value = 0;
    while (in >> key >> value) {
        out[key] = value;
    }
    return out;
}

struct ImageLine {
    std::string kind;
    std::string path;
    std::string uuid;
    bool operator==(const ImageLine&) const = default;
};

std::vector<ImageLine> imageLines(const fs::path& run) {
    std::vector<ImageLine> lines;
    const auto sections = WRKFileReadSections((run / "binary_images.clsrecord").string(), false);
    for (const JSONValue& section : sections.value_or(std::vector<JSONValue>{})) {
        if (section.object() == nullptr || section.object()->size() != 1) {
            continue;
        }
        const JSONValue& body = section.object()->front().value;
        ImageLine line{section.object()->front().key, "", ""};
        if (body.find("path") && body.find("path")->string()) {
            line.path = *body.find("path")->string();
        }
        if (body.find("uuid") && body.find("uuid")->string()) {
            line.uuid = *body.find("uuid")->string();
        }
        lines.push_back(line);
    }
    return lines;
}

// The run's own program in its image list, with the identity its metadata names.
void expectProgramInImageList(const fs::path& run) {
    const auto metadata = WRKFileReadSections((run / "metadata.clsrecord").string(), false);
    ASSERT_TRUE(metadata && metadata->size() == 4);
    const JSONValue* uuid = metadata->back().find("executable")
                                ? metadata->back().find("executable")->find("uuid")
                                : nullptr;
    ASSERT_TRUE(uuid && uuid->string());
    EXPECT_EQ(uuid->string()->size(), 40u);
    const std::vector<ImageLine> lines = imageLines(run);
    const ImageLine program{"load", fs::canonical(CRASH_FIXTURE).string(), *uuid->string()};
    EXPECT_EQ(std::count(lines.begin(), lines.end(), program), 1) << run;
    EXPECT_GE(lines.size(), 3u);
}

struct Case {
    const char* mode;
    int signal;
    // The kernel exception the record names the fault by; none for a signal no hardware
    // exception raises. `codeName` "null" for a null one, none where the kernel may give
    // either code (a stack overflow meets an unmapped gap or a guard page).
    const char* exception = nullptr;
    const char* codeName = nullptr;
};

class CaptureTest : public ::testing::TestWithParam<Case> {};

TEST_P(CaptureTest, DiesByItsSignalAndLeavesOneRecordWithoutHeapOrLocks) {
    const Case& c = GetParam();
    Sandbox sandbox;
    Child child = spawnFixture(c.mode, sandbox);
    ASSERT_GT(child.pid, 0);
    if (std::string(c.mode) == "kill") {
        for (auto waited = 0ms; waited < 20s && !fs::exists(sandbox.root() / "ready");
             waited += 10ms) {
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_TRUE(fs::exists(sandbox.root() / "ready"));
        ASSERT_EQ(::kill(child.pid, SIGSEGV), 0);
    }
    const std::optional<int> status = waitFor(child.pid);
    ASSERT_TRUE(status) << "the fixture did not end";
    ASSERT_TRUE(WIFSIGNALED(*status)) << "exit status " << WEXITSTATUS(*status);
    EXPECT_EQ(WTERMSIG(*status), c.signal) << strsignal(WTERMSIG(*status));

    std::vector<fs::path> runs;
    for (const auto& entry : fs::directory_iterator(sandbox.activeFolder())) {
        runs.push_back(entry.path());
    }
    ASSERT_EQ(runs.size(), 1u);
    const fs::path run = runs[0];
    EXPECT_EQ(run.filename().string().size(), 32u);

    EXPECT_EQ(sectionNames(run / "metadata.clsrecord"),
              (std::vector<std::string>{"identity", "host", "application", "executable"}));
    expectProgramInImageList(run);
    const std::vector<std::string> names = sectionNames(run / "signal.clsrecord");
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), "signal");
    EXPECT_EQ(std::count(names.begin(), names.end(), "signal"), 1);

    const auto sections = WRKFileReadSections((run / "signal.clsrecord").string(), false);
    ASSERT_TRUE(sections && !sections->empty());
    const JSONValue* signal = sections->front().find("signal");
    ASSERT_TRUE(signal);
    ASSERT_TRUE(signal->find("number") && signal->find("number")->uint64());
    EXPECT_EQ(*signal->find("number")->uint64(), static_cast<std::uint64_t>(c.signal));
    const char* name = sigabbrev_np(c.signal);
    ASSERT_TRUE(signal->find("name") && signal->find("name")->string());
    EXPECT_EQ(*signal->find("name")->string(), std::string("SIG") + name);
    if (std::string(c.mode) == "kill") {
        ASSERT_TRUE(signal->find("code") && signal->find("code")->uint64());
        EXPECT_EQ(*signal->find("code")->uint64(), 0u);  // SI_USER: sent by a process
    }
    if (std::string(c.mode) == "abrt") {
        // abort() sends itself the signal: a negative code, written as such.
        ASSERT_TRUE(signal->find("code") && signal->find("code")->int64());
        EXPECT_EQ(*signal->find("code")->int64(), SI_TKILL);
        ASSERT_TRUE(signal->find("code_name") && signal->find("code_name")->string());
        EXPECT_EQ(*signal->find("code_name")->string(), "ABORT");
    } else {
        ASSERT_TRUE(signal->find("code_name"));
        EXPECT_TRUE(signal->find("code_name")->isNull());
    }

    const JSONValue* exception = signal->find("mach_exception");
    if (c.exception == nullptr) {
        EXPECT_FALSE(exception) << "no hardware exception raised this signal";
    } else {
        ASSERT_TRUE(exception && exception->object());
        ASSERT_TRUE(exception->find("name") && exception->find("name")->string());
        EXPECT_EQ(*exception->find("name")->string(), c.exception);
        const JSONValue* codeName = exception->find("code_name");
        ASSERT_TRUE(codeName);
        if (c.codeName != nullptr) {
            EXPECT_EQ(codeName->string() ? *codeName->string() : std::string("null"), c.codeName);
        }
        const JSONValue* codes = exception->find("codes");
        ASSERT_TRUE(codes && codes->array() && codes->array()->size() == 2u);
        ASSERT_TRUE(exception->find("exception") && exception->find("exception")->uint64());
        // A bad access carries the faulting address the signal names.
        if (*exception->find("exception")->uint64() == 1) {
            const std::uint64_t* address = codes->array()->at(1).uint64();
            ASSERT_TRUE(address && signal->find("address") && signal->find("address")->uint64());
            EXPECT_EQ(*address, *signal->find("address")->uint64());
        }
    }

    // The handler that was there before the kit's saw the signal after the capture.
    const auto seen = counts(sandbox.root() / "counts");
    EXPECT_EQ(seen.count("signal") ? seen.at("signal") : -1, c.signal);
    EXPECT_EQ(seen.count("malloc") ? seen.at("malloc") : -1, 0);
    EXPECT_EQ(seen.count("lock") ? seen.at("lock") : -1, 0);
}

// The counts above mean something only if the interposer sees calls at all.
TEST(crashCaptureFixture, TheInterposerCountsHeapAndLockCallsWhileCapturing) {
    Sandbox sandbox;
    Child child = spawnFixture("count-check", sandbox);
    const std::optional<int> status = waitFor(child.pid);
    ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    const auto seen = counts(sandbox.root() / "counts");
    EXPECT_EQ(seen.count("malloc") ? seen.at("malloc") : 0, 2);  // malloc and free
    EXPECT_EQ(seen.count("lock") ? seen.at("lock") : 0, 1);
}

// Under a debugger the run is recorded, but the debugger keeps the fatal signals.
TEST(crashCaptureFixture, UnderADebuggerNoHandlerIsInstalled) {
    Sandbox sandbox;
    Child child = spawnFixture("traced", sandbox);
    const std::optional<int> status = waitFor(child.pid);
    ASSERT_TRUE(status && WIFEXITED(*status));
    ASSERT_EQ(WEXITSTATUS(*status), 0);
    std::ifstream handler(sandbox.root() / "handler");
    std::string whose;
    handler >> whose;
    EXPECT_EQ(whose, "earlier");
    std::vector<fs::path> runs;
    for (const auto& entry : fs::directory_iterator(sandbox.activeFolder())) {
        runs.push_back(entry.path());
    }
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(sectionNames(runs[0] / "metadata.clsrecord").size(), 4u);
    expectProgramInImageList(runs[0]);
    EXPECT_FALSE(fs::exists(runs[0] / "signal.clsrecord"));
}

// The crash's "signal.clsrecord" of a fixture run that dies of SIGSEGV, by section name.
std::map<std::string, JSONValue> crashRecord(const std::string& mode, const Sandbox& sandbox) {
    std::map<std::string, JSONValue> record;
    Child child = spawnFixture(mode, sandbox);
    const std::optional<int> status = waitFor(child.pid);
    EXPECT_TRUE(status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGSEGV);
    for (const auto& entry : fs::directory_iterator(sandbox.activeFolder())) {
        const auto sections =
            WRKFileReadSections((entry.path() / "signal.clsrecord").string(), false);
        for (const JSONValue& section : sections.value_or(std::vector<JSONValue>{})) {
            if (section.object() != nullptr && section.object()->size() == 1) {
                record.emplace(section.object()->front().key, section.object()->front().value);
            }
        }
    }
    return record;
}

std::vector<std::string> texts(const JSONValue* list) {
    std::vector<std::string> out;
    for (const JSONValue& item :
         list != nullptr && list->array() ? *list->array() : JSONValue::Array{}) {
        out.push_back(item.string() ? *item.string() : std::string("(not a string)"));
    }
    return out;
}

TEST(crashCaptureFixture, EveryThreadIsRecordedInPlaceWithItsNameAndTheCrashedOneMarked) {
    Sandbox sandbox;
    const auto record = crashRecord("named-threads", sandbox);
    ASSERT_TRUE(record.count("threads") && record.at("threads").array());
    const JSONValue::Array& threads = *record.at("threads").array();
    const std::vector<std::string> names =
        texts(record.count("thread_names") ? &record.at("thread_names") : nullptr);
    const std::vector<std::string> queues =
        texts(record.count("dispatch_queue_names") ? &record.at("dispatch_queue_names") : nullptr);
    ASSERT_EQ(names.size(), threads.size());
    ASSERT_EQ(queues.size(), threads.size());
    std::map<std::string, const JSONValue*> byName;
    for (std::size_t i = 0; i < threads.size(); ++i) {
        byName[names[i]] = &threads[i];
    }
    for (const char* name : {"talvor-main", "talvor-one", "talvor-deaf", "talvor-crash"}) {
        ASSERT_TRUE(byName.count(name)) << name;
    }
    const auto crashed = [](const JSONValue* thread) {
        return thread->find("crashed") && thread->find("crashed")->boolean() &&
               *thread->find("crashed")->boolean();
    };
    EXPECT_EQ(std::count_if(threads.begin(), threads.end(),
                            [&](const JSONValue& t) { return crashed(&t); }),
              1);
    EXPECT_TRUE(crashed(byName["talvor-crash"]));
    // The thread that never answered keeps its place, without registers or stack.
    ASSERT_TRUE(byName["talvor-deaf"]->object());
    EXPECT_TRUE(byName["talvor-deaf"]->object()->empty());
    for (const char* name : {"talvor-main", "talvor-one", "talvor-crash"}) {
        const JSONValue* trace = byName[name]->find("stacktrace");
        ASSERT_TRUE(trace && trace->array()) << name;
        EXPECT_FALSE(trace->array()->empty()) << name;
        ASSERT_TRUE(byName[name]->find("registers")) << name;
    }
    EXPECT_NE(std::find(queues.begin(), queues.end(), "com.quillon.wreckord.mac.binary-images"),
              queues.end());
    for (const auto& entry : fs::directory_iterator(sandbox.activeFolder())) {
        // The diagnostic log tells how the threads were walked.
        const std::vector<std::string> log = linesOf(entry.path() / "sdk.log");
        EXPECT_TRUE(std::any_of(
            log.begin(), log.end(),
            [](const std::string& line) {
                return line.rfind("INFO  [WRKProcessRecordAllThreads:", 0) == 0 &&
                       line.find("] completed recording all thread data") != std::string::npos;
            }))
            << "sdk.log has " << log.size() << " lines";
        EXPECT_EQ(sectionNames(entry.path() / "signal.clsrecord"),
                  (std::vector<std::string>{"signal", "threads", "runtime", "dispatch_queue_names",
                                            "thread_names", "process_stats", "storage"}));
    }
    ASSERT_TRUE(record.count("process_stats"));
    const JSONValue& stats = record.at("process_stats");
    for (const char* key : {"active", "inactive", "wired", "freeMem", "free_mem", "virtual",
                            "resident", "user_time", "sys_time"}) {
        EXPECT_TRUE(stats.find(key) && stats.find(key)->uint64()) << key;
    }
    EXPECT_GT(*stats.find("resident")->uint64(), 0u);
}

TEST(crashCaptureFixture, ARunawayRecursionIsCutAfterTenFrames) {
    Sandbox sandbox;
    const auto record = crashRecord("recursion", sandbox);
    ASSERT_TRUE(record.count("threads") && record.at("threads").array());
    const JSONValue* crashed = nullptr;
    for (const JSONValue& thread : *record.at("threads").array()) {
        if (thread.find("crashed")) {
            crashed = &thread;
        }
    }
    ASSERT_TRUE(crashed);
    ASSERT_TRUE(crashed->find("repeated_pc") && crashed->find("repeated_pc")->uint64());
    const std::uint64_t repeated = *crashed->find("repeated_pc")->uint64();
    ASSERT_TRUE(crashed->find("repeat_count") && crashed->find("repeat_count")->uint64());
    EXPECT_GE(*crashed->find("repeat_count")->uint64(), 10u);
    std::vector<std::uint64_t> pcs;
    for (const JSONValue& pc : *crashed->find("stacktrace")->array()) {
        pcs.push_back(pc.uint64() ? *pc.uint64() : 0);
    }
    EXPECT_EQ(std::count(pcs.begin(), pcs.end(), repeated), 10);
    // The frames below the recursion follow it.
    const auto last = std::find_end(pcs.begin(), pcs.end(), &repeated, &repeated + 1);
    EXPECT_GE(pcs.end() - last, 2);
}

TEST(crashCaptureFixture, ALibraryLoadedAndUnloadedBeforeTheCrashIsInTheImageList) {
    Sandbox sandbox;
    Child child = spawnFixture("dlopen", sandbox);
    const std::optional<int> status = waitFor(child.pid);
    ASSERT_TRUE(status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGSEGV);
    std::vector<fs::path> runs;
    for (const auto& entry : fs::directory_iterator(sandbox.activeFolder())) {
        runs.push_back(entry.path());
    }
    ASSERT_EQ(runs.size(), 1u);
    std::vector<std::string> events;
    for (const ImageLine& line : imageLines(runs[0])) {
        if (line.path == TEST_IMAGE) {
            events.push_back(line.kind);
            EXPECT_EQ(line.uuid.size(), 40u);
        }
    }
    EXPECT_EQ(events, (std::vector<std::string>{"load", "unload"}));
}

TEST(crashCaptureFixture, AHandlerInstalledAfterTheKitsIsNamedOnStandardError) {
    Sandbox sandbox;
    const fs::path errors = sandbox.root() / "stderr";
    Child child = spawnFixture("check-handlers", sandbox, errors.string());
    const std::optional<int> status = waitFor(child.pid);
    ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    std::vector<std::string> warnings;
    for (const std::string& line : linesOf(errors)) {
        if (line.rfind("[Wreckord] The signal", 0) == 0) {
            warnings.push_back(line);
        }
    }
    EXPECT_EQ(warnings, std::vector<std::string>{
                            "[Wreckord] The signal SIGBUS has a non-Wreckord handler "
                            "(foreignBusHandler).  This will interfere with reporting."});
}

const Case kCaptureCases[] = {
    {"segv", SIGSEGV, "EXC_BAD_ACCESS", "KERN_INVALID_ADDRESS"},
    {"bus", SIGBUS, "EXC_BAD_ACCESS", "KERN_INVALID_ADDRESS"},
    {"ill", SIGILL, "EXC_BAD_INSTRUCTION", "EXC_I386_INVOP"},
#if defined(__x86_64__)
    {"fpe", SIGFPE, "EXC_ARITHMETIC", "EXC_I386_DIV"},
#else
    {"fpe", SIGFPE},  // raised: integer division does not trap here
#endif
    {"abrt", SIGABRT},
    {"trap", SIGTRAP, "EXC_BREAKPOINT", "EXC_I386_BPTFLT"},
    {"sys", SIGSYS},
    {"kill", SIGSEGV},
    {"two-threads", SIGSEGV, "EXC_BAD_ACCESS", "KERN_INVALID_ADDRESS"},
    {"overflow", SIGSEGV, "EXC_BAD_ACCESS"},
    {"overflow-thread", SIGSEGV, "EXC_BAD_ACCESS"},
};

INSTANTIATE_TEST_SUITE_P(crashCapture, CaptureTest, ::testing::ValuesIn(kCaptureCases),
                         [](const ::testing::TestParamInfo<Case>& row) {
                             std::string name = row.param.mode;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

fs::path onlyRun(const Sandbox& sandbox) {
    std::vector<fs::path> runs;
    for (const auto& entry : fs::directory_iterator(sandbox.activeFolder())) {
        runs.push_back(entry.path());
    }
    EXPECT_EQ(runs.size(), 1u);
    return runs.empty() ? fs::path() : runs[0];
}

// Runs the fixture in `mode`, which must end by `signal`; the folder of its run.
std::optional<fs::path> runThatDiesOf(const std::string& mode, int signal, const Sandbox& sandbox) {
    Child child = spawnFixture(mode, sandbox);
    const std::optional<int> status = waitFor(child.pid);
    if (!status || !WIFSIGNALED(*status) || WTERMSIG(*status) != signal) {
        ADD_FAILURE() << mode << " did not end by signal " << signal
                      << (status ? "" : " (it was still running)");
        return std::nullopt;
    }
    return onlyRun(sandbox);
}

std::string hexField(const JSONValue& body, const char* key) {
    const JSONValue* value = body.find(key);
    return value != nullptr && value->string() != nullptr
               ? WRKFileHexDecodeString(value->string()->c_str())
               : std::string("<missing>");
}

struct ThrowCase {
    const char* kind;
    const char* name;
    const char* reason;
};

void PrintTo(const ThrowCase& c, std::ostream* out) {
    *out << c.kind;
}

class UncaughtExceptionTest : public ::testing::TestWithParam<std::tuple<const char*, ThrowCase>> {
};

// The exception is recorded with every thread; the abort that follows is the same crash
// and leaves no record of its own; the process ends as it would have without the kit.
TEST_P(UncaughtExceptionTest, IsTheOneRecordOfTheCrashItLeadsTo) {
    const auto& [where, c] = GetParam();
    Sandbox sandbox;
    const fs::path output = sandbox.root() / "stderr";
    Child child =
        spawnFixture(std::string("throw-") + where + "-" + c.kind, sandbox, output.string());
    ASSERT_GT(child.pid, 0);
    const std::optional<int> status = waitFor(child.pid);
    ASSERT_TRUE(status) << "the fixture did not end";
    ASSERT_TRUE(WIFSIGNALED(*status)) << "exit status " << WEXITSTATUS(*status);
    EXPECT_EQ(WTERMSIG(*status), SIGABRT);
    // The terminate handler that was there before still had its say.
    std::ifstream in(output);
    const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(said.find("terminate called"), std::string::npos) << said;

    const fs::path run = onlyRun(sandbox);
    const std::vector<std::string> names = sectionNames(run / "exception.clsrecord");
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), "exception");
    EXPECT_EQ(std::count(names.begin(), names.end(), "threads"), 1)
        << ::testing::PrintToString(names);
    const auto sections = WRKFileReadSections((run / "exception.clsrecord").string(), false);
    ASSERT_TRUE(sections && !sections->empty());
    const JSONValue* exception = sections->front().find("exception");
    ASSERT_TRUE(exception);
    ASSERT_TRUE(exception->find("type") && exception->find("type")->string());
    EXPECT_EQ(*exception->find("type")->string(), "c++");
    EXPECT_EQ(hexField(*exception, "name"), c.name);
    EXPECT_EQ(hexField(*exception, "reason"), c.reason);
    EXPECT_EQ(exception->find("frames"), nullptr);
    EXPECT_TRUE(exception->find("time") && exception->find("time")->uint64());
    // The thread that threw is the crashed one, with the frames of its way to the handler.
    const JSONValue* threads = (*sections)[1].find("threads");
    ASSERT_TRUE(threads && threads->array());
    int crashed = 0;
    for (const JSONValue& thread : *threads->array()) {
        if (thread.find("crashed") && thread.find("crashed")->boolean() &&
            *thread.find("crashed")->boolean()) {
            ++crashed;
            ASSERT_TRUE(thread.find("stacktrace") && thread.find("stacktrace")->array());
            EXPECT_GE(thread.find("stacktrace")->array()->size(), 4u);
        }
    }
    EXPECT_EQ(crashed, 1);
    EXPECT_GE(threads->array()->size(), std::string(where) == "main" ? 1u : 2u);

    EXPECT_FALSE(fs::exists(run / "signal.clsrecord")) << "one crash, one record";
    // The signal handler there before the kit still had the abort.
    EXPECT_EQ(counts(sandbox.root() / "counts")["signal"], SIGABRT);
}

INSTANTIATE_TEST_SUITE_P(
    crashCaptureFixture, UncaughtExceptionTest,
    ::testing::Combine(::testing::Values("main", "thread"),
                       ::testing::Values(ThrowCase{"cstring", "const char *", "fixture text"},
                                         ThrowCase{"string", "std::string", "fixture string"},
                                         ThrowCase{"runtime", "std::runtime_error",
                                                   "fixture runtime"},
                                         ThrowCase{"int", "int", ""})),
    [](const auto& param) {
        return std::string(std::get<0>(param.param)) + "_" + std::get<1>(param.param).kind;
    });

// Twenty custom exceptions with the default limit of 16: the first sixteen fill the A file,
// the rest start the B file; nothing fatal is written.
TEST(crashCaptureFixture, CustomExceptionsFillTheirFilesInTurn) {
    Sandbox sandbox;
    Child child = spawnFixture("custom-exceptions", sandbox);
    const std::optional<int> status = waitFor(child.pid);
    ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    const fs::path run = onlyRun(sandbox);
    const auto namesIn = [&](const char* file) {
        std::vector<std::string> names;
        for (const JSONValue& section :
             WRKFileReadSections((run / file).string(), false).value_or(std::vector<JSONValue>{})) {
            const JSONValue* body = section.find("exception");
            EXPECT_TRUE(body && body->find("type") && body->find("type")->string() &&
                        *body->find("type")->string() == "custom");
            if (body != nullptr) {
                names.push_back(hexField(*body, "name"));
            }
        }
        return names;
    };
    std::vector<std::string> first;
    std::vector<std::string> second;
    for (int i = 0; i < 20; ++i) {
        (i < 16 ? first : second).push_back(std::to_string(i));
    }
    EXPECT_EQ(namesIn("custom_exception_a.clsrecord"), first);
    EXPECT_EQ(namesIn("custom_exception_b.clsrecord"), second);
    EXPECT_FALSE(fs::exists(run / "exception.clsrecord"));

    // Log lines, keys and errors of the same run.
    std::vector<std::string> messages;
    for (const JSONValue& section : WRKFileReadSections((run / "log_a.clsrecord").string(), false)
                                        .value_or(std::vector<JSONValue>{})) {
        ASSERT_TRUE(section.find("log"));
        messages.push_back(hexField(*section.find("log"), "msg"));
    }
    EXPECT_EQ(messages, (std::vector<std::string>{"first 1", "second line"}));
    const std::string userIncremental = (run / "user_incremental_kv.clsrecord").string();
    const std::string userCompacted = (run / "user_compacted_kv.clsrecord").string();
    WRKKVStorage user{userIncremental.c_str(), userCompacted.c_str(), 64, 16};
    EXPECT_EQ(WRKUserLoggingGetCompactedKVEntries(&user, true),
              (std::map<std::string, std::string>{{"theme", "dark"}}));
    const std::string internalIncremental = (run / "internal_incremental_kv.clsrecord").string();
    const std::string internalCompacted = (run / "internal_compacted_kv.clsrecord").string();
    WRKKVStorage internal{internalIncremental.c_str(), internalCompacted.c_str(), 64, 32};
    std::map<std::string, std::string> internalKeys =
        WRKUserLoggingGetCompactedKVEntries(&internal, true)
            .value_or(std::map<std::string, std::string>{});
    // The kit's start, timed from its first step: a plain number of seconds, well under one.
    const std::string startTime = internalKeys["com.wreckord.kit-start-time"];
    std::size_t parsed = 0;
    const double seconds = startTime.empty() ? -1 : std::stod(startTime, &parsed);
    EXPECT_EQ(parsed, startTime.size()) << startTime;
    EXPECT_GE(seconds, 0.0) << startTime;
    EXPECT_LT(seconds, 10.0) << startTime;
    internalKeys.erase("com.wreckord.kit-start-time");
    // Started in the foreground.
    EXPECT_EQ(internalKeys, (std::map<std::string, std::string>{
                                {"kit", "on"}, {"com.wreckord.in-background", "0"}}));
    EXPECT_EQ(sectionNames(run / "errors_a.clsrecord"), std::vector<std::string>{"error"});
}

// A terminate without an exception records no exception, only the abort.
TEST(crashCaptureFixture, ATerminateWithoutAnExceptionLeavesOnlyTheSignalRecord) {
    Sandbox sandbox;
    const std::optional<fs::path> ran = runThatDiesOf("terminate", SIGABRT, sandbox);
    ASSERT_TRUE(ran);
    const fs::path run = *ran;
    EXPECT_FALSE(fs::exists(run / "exception.clsrecord"));
    EXPECT_EQ(sectionNames(run / "signal.clsrecord").front(), "signal");
    std::ifstream in(run / "sdk.log");
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("no active exception"), std::string::npos) << log;
}

// An exception the application reports while it crashes on exceptions is recorded as fatal
// with its frames, then handed on to the application's own reporter.
TEST(crashCaptureFixture, AnExceptionTheApplicationReportsIsRecordedAndPassedOn) {
    Sandbox sandbox;
    Child child = spawnFixture("application-exception", sandbox);
    const std::optional<int> status = waitFor(child.pid);
    ASSERT_TRUE(status && WIFSIGNALED(*status));
    EXPECT_EQ(WTERMSIG(*status), SIGABRT);
    std::ifstream reported(sandbox.root() / "reported");
    std::string text;
    std::getline(reported, text);
    EXPECT_EQ(text, "talvor::CalendarError no such calendar 2");

    const fs::path run = onlyRun(sandbox);
    const auto sections = WRKFileReadSections((run / "exception.clsrecord").string(), false);
    ASSERT_TRUE(sections && sections->size() > 1);
    const JSONValue* exception = sections->front().find("exception");
    ASSERT_TRUE(exception && exception->find("type") && exception->find("type")->string());
    EXPECT_EQ(*exception->find("type")->string(), "objective-c");
    EXPECT_EQ(hexField(*exception, "name"), "talvor::CalendarError");
    EXPECT_EQ(hexField(*exception, "reason"), "no such calendar");
    const JSONValue* frames = exception->find("frames");
    ASSERT_TRUE(frames && frames->array() && frames->array()->size() == 2);
    EXPECT_EQ(*(*frames->array())[0].find("pc")->uint64(), 0x1234u);
    EXPECT_EQ(*(*frames->array())[1].find("pc")->uint64(), 0x5678u);
    EXPECT_FALSE(fs::exists(run / "signal.clsrecord"))
        << "the application's abort is the same crash";
    EXPECT_EQ(counts(sandbox.root() / "counts")["signal"], SIGABRT);
}

// An application that goes on after reporting an exception (its setting was turned off
// since the start): a later crash on another thread is recorded too, and ends the process.
TEST(crashCaptureFixture, ACrashAfterAnExceptionTheApplicationWentOnFromIsRecorded) {
    Sandbox sandbox;
    const std::optional<fs::path> ran =
        runThatDiesOf("application-exception-goes-on", SIGSEGV, sandbox);
    ASSERT_TRUE(ran) << "a crashing thread must not wait for an end that never comes";
    const fs::path run = *ran;
    for (const auto& [file, first] :
         {std::pair{"exception.clsrecord", "exception"}, std::pair{"signal.clsrecord", "signal"}}) {
        const std::vector<std::string> names = sectionNames(run / file);
        ASSERT_FALSE(names.empty()) << file;
        EXPECT_EQ(names.front(), first);
    }
}

TEST(crashCaptureFixture, TheStartUpCheckNamesAForeignTerminateHandler) {
    Sandbox sandbox;
    const fs::path output = sandbox.root() / "stderr";
    Child child = spawnFixture("check-exception-handlers", sandbox, output.string());
    const std::optional<int> status = waitFor(child.pid);
    ASSERT_TRUE(status && WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0) << "the kit's own handler was not in place";
    std::ifstream in(output);
    const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(said.find("[Wreckord:Crash] Warning: NSApplicationCrashOnExceptions is not set."),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("[Wreckord:Crash] Warning: std::get_terminate is "
                        "'foreignTerminateHandler' in '"),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find("cannot be intercepted"), std::string::npos) << said;
}

std::string readAll(const fs::path& file) {
    std::ifstream in(file);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Each of the kit's public operations lands in the run's record where the record's own
// reader finds it.
TEST(crashCaptureFixture, ThePublicOperationsWriteWhatTheRecordReadsBack) {
    Sandbox sandbox;
    const fs::path output = sandbox.root() / "stderr";
    Child child = spawnFixture("public-calls", sandbox, output.string());
    const std::optional<int> status = waitFor(child.pid);
    ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << readAll(output);
    const fs::path run = onlyRun(sandbox);
    const auto store = [&](const char* kind, std::uint32_t limit) {
        const std::string incremental = (run / (std::string(kind) + "_incremental_kv.clsrecord"));
        const std::string compacted = (run / (std::string(kind) + "_compacted_kv.clsrecord"));
        WRKKVStorage storage{incremental.c_str(), compacted.c_str(), 64, limit};
        return WRKUserLoggingGetCompactedKVEntries(&storage, true)
            .value_or(std::map<std::string, std::string>{});
    };
    // Numbers as their shortest text; a key set to nothing is gone.
    EXPECT_EQ(store("user", 16),
              (std::map<std::string, std::string>{
                  {"theme", "dark"}, {"count", "-7"}, {"pro", "1"}, {"ratio", "0.1"}}));
    std::map<std::string, std::string> internal = store("internal", 32);
    EXPECT_EQ(internal.erase("com.wreckord.kit-start-time"), 1u);
    EXPECT_EQ(internal, (std::map<std::string, std::string>{
                            {"com.wreckord.in-background", "0"},
                            {"com.wreckord.user-id", "u-17"},
                            {"com.wreckord.user-name", "Ada"},
                            {"com.wreckord.development-platform-name", "Qt"},
                            {"com.wreckord.development-platform-version", "6.4"}}));

    const auto errors = WRKFileReadSections((run / "errors_a.clsrecord").string(), false);
    ASSERT_TRUE(errors && errors->size() == 1u);
    const JSONValue* error = errors->front().find("error");
    ASSERT_TRUE(error);
    EXPECT_EQ(hexField(*error, "domain"), "talvor.calendar");
    ASSERT_TRUE(error->find("code") && error->find("code")->int64());
    EXPECT_EQ(*error->find("code")->int64(), -3);
    for (const auto& [key, expected] : {std::pair{"info", std::pair{"file", "work.ics"}},
                                        std::pair{"extra_info", std::pair{"pane", "month"}}}) {
        const JSONValue* pairs = error->find(key);
        ASSERT_TRUE(pairs && pairs->array() && pairs->array()->size() == 1u) << key;
        const JSONValue& pair = pairs->array()->front();
        ASSERT_TRUE(pair.array() && pair.array()->size() == 2u) << key;
        EXPECT_EQ(WRKFileHexDecodeString((*pair.array())[0].string()->c_str()), expected.first);
        EXPECT_EQ(WRKFileHexDecodeString((*pair.array())[1].string()->c_str()), expected.second);
    }

    const auto custom = WRKFileReadSections((run / "custom_exception_a.clsrecord").string(), false);
    ASSERT_TRUE(custom && custom->size() == 1u);
    const JSONValue* exception = custom->front().find("exception");
    ASSERT_TRUE(exception && exception->find("type") && exception->find("type")->string());
    EXPECT_EQ(*exception->find("type")->string(), "custom");
    EXPECT_EQ(hexField(*exception, "name"), "talvor::SyncError");
    EXPECT_EQ(hexField(*exception, "reason"), "server said 503");
    const JSONValue* frames = exception->find("frames");
    ASSERT_TRUE(frames && frames->array() && frames->array()->size() == 1u);
    const JSONValue& frame = frames->array()->front();
    EXPECT_EQ(*frame.find("pc")->uint64(), 0x1000u);
    EXPECT_EQ(hexField(frame, "symbol"), "sync()");
    EXPECT_EQ(*frame.find("offset")->uint64(), 4u);
    EXPECT_EQ(hexField(frame, "library"), "talvor");
    EXPECT_EQ(frame.find("file"), nullptr);
    EXPECT_FALSE(fs::exists(run / "exception.clsrecord")) << "nothing fatal";

    const auto log = WRKFileReadSections((run / "log_a.clsrecord").string(), false);
    ASSERT_TRUE(log && log->size() == 1u);
    EXPECT_EQ(hexField(*log->front().find("log"), "msg"), "count is -7");
    EXPECT_NE(readAll(output).find("[Wreckord] developmentPlatformName is write-only"),
              std::string::npos);
}

// The handlers' check runs once, two seconds after the start on the kit's clock.
TEST(crashCaptureFixture, TheHandlersAreCheckedTwoSecondsAfterTheStart) {
    Sandbox sandbox;
    const fs::path output = sandbox.root() / "stderr";
    Child child = spawnFixture("delayed-check", sandbox, output.string());
    const std::optional<int> status = waitFor(child.pid);
    ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << readAll(output);
    const std::string said = readAll(output);
    const std::string warning =
        "[Wreckord:Crash] Warning: std::get_terminate is "
        "'foreignTerminateHandler' in '";
    const std::size_t early = said.find("fixture: 1999 ms passed");
    const std::size_t late = said.find("fixture: 2000 ms passed");
    const std::size_t named = said.find(warning);
    ASSERT_NE(early, std::string::npos) << said;
    ASSERT_NE(late, std::string::npos) << said;
    ASSERT_NE(named, std::string::npos) << said;
    EXPECT_GT(named, early) << said;
    EXPECT_LT(named, late) << said;
    EXPECT_EQ(said.find(warning, named + 1), std::string::npos) << "checked more than once";
}

// A fatal record is handed to the immediate delivery once it is complete on disk, and the
// process still ends as it would have.
TEST(crashCaptureFixture, AFatalRecordIsHandedToTheImmediateDeliveryWhenWritten) {
    Sandbox sandbox;
    Child child = spawnFixture("throw-delivered", sandbox);
    const std::optional<int> status = waitFor(child.pid);
    ASSERT_TRUE(status && WIFSIGNALED(*status));
    EXPECT_EQ(WTERMSIG(*status), SIGABRT);
    const fs::path record = sandbox.root() / "run" / "exception.clsrecord";
    const std::vector<std::string> names = sectionNames(record);
    ASSERT_GT(names.size(), 1u);
    EXPECT_EQ(names.front(), "exception");
    std::ifstream in(sandbox.root() / "delivered");
    std::string tag;
    std::uintmax_t sizeThen = 0;
    in >> tag >> sizeThen;
    EXPECT_EQ(tag, "delivered");
    EXPECT_EQ(sizeThen, fs::file_size(record)) << "told before the record was complete";
}

// A crash of one run is resolved by a later run of the same program: the crashed thread's
// frames are named, C++ names demangled with the raw name beside them.
TEST(crashCaptureFixture, ALaterRunNamesTheCrashedRunsFrames) {
    Sandbox sandbox;
    Child crashed = spawnFixture("segv", sandbox);
    const std::optional<int> status = waitFor(crashed.pid);
    ASSERT_TRUE(status && WIFSIGNALED(*status));
    const fs::path run = onlyRun(sandbox);
    Child later = spawnFixture("symbolicate", sandbox, "/dev/null", run.string());
    const std::optional<int> done = waitFor(later.pid);
    ASSERT_TRUE(done && WIFEXITED(*done) && WEXITSTATUS(*done) == 0);

    const auto signal = WRKFileReadSections((run / "signal.clsrecord").string(), false);
    const auto named = WRKFileReadSections((run / "signal.clsrecord.symbolicated").string(), false);
    ASSERT_TRUE(signal && named && named->size() == 1u);
    const JSONValue* threads = nullptr;
    for (const JSONValue& section : *signal) {
        threads = threads != nullptr ? threads : section.find("threads");
    }
    const JSONValue* resolved = named->front().find("threads");
    ASSERT_TRUE(threads && threads->array() && resolved && resolved->array());
    ASSERT_EQ(resolved->array()->size(), threads->array()->size());
    std::vector<std::string> symbols;
    for (std::size_t i = 0; i < threads->array()->size(); ++i) {
        const JSONValue& thread = (*threads->array())[i];
        const JSONValue* stack = thread.find("stacktrace");
        const JSONValue& frames = (*resolved->array())[i];
        ASSERT_TRUE(frames.array());
        EXPECT_EQ(frames.array()->size(),
                  stack != nullptr && stack->array() ? stack->array()->size() : 0u);
        if (thread.find("crashed") && thread.find("crashed")->boolean() &&
            *thread.find("crashed")->boolean()) {
            for (const JSONValue& frame : *frames.array()) {
                const JSONValue* symbol = frame.find("symbol");
                if (symbol && symbol->string()) {
                    symbols.push_back(*symbol->string());
                }
                if (symbol && symbol->string() &&
                    *symbol->string() == "(anonymous namespace)::segv()") {
                    ASSERT_TRUE(frame.find("raw_symbol") && frame.find("raw_symbol")->string());
                    EXPECT_EQ(*frame.find("raw_symbol")->string(), "_ZN12_GLOBAL__N_14segvEv");
                    EXPECT_EQ(*frame.find("library")->string(), "crash_fixture");
                }
                if (symbol && symbol->string() && *symbol->string() == "main") {
                    EXPECT_EQ(frame.find("raw_symbol"), nullptr) << "not a C++ name";
                }
            }
        }
    }
    EXPECT_NE(std::find(symbols.begin(), symbols.end(), "(anonymous namespace)::segv()"),
              symbols.end())
        << ::testing::PrintToString(symbols);
    EXPECT_NE(std::find(symbols.begin(), symbols.end(), "main"), symbols.end())
        << ::testing::PrintToString(symbols);
}

struct ImageRecord {
    std::string path;
    std::uint64_t base = 0;
    std::uint64_t size = 0;
};

// The images a run's record lists as loaded, by base.
std::vector<ImageRecord> recordedImages(const fs::path& run) {
    std::vector<ImageRecord> images;
    const auto sections = WRKFileReadSections((run / "binary_images.clsrecord").string(), false);
    for (const JSONValue& section : sections.value_or(std::vector<JSONValue>{})) {
        const JSONValue* load = section.find("load");
        if (load == nullptr || !load->find("base") || !load->find("base")->uint64() ||
            !load->find("size") || !load->find("size")->uint64()) {
            continue;
        }
        ImageRecord image;
        if (load->find("path") && load->find("path")->string()) {
            image.path = *load->find("path")->string();
        }
        image.base = *load->find("base")->uint64();
        image.size = *load->find("size")->uint64();
        images.push_back(image);
    }
    std::stable_sort(images.begin(), images.end(),
                     [](const ImageRecord& a, const ImageRecord& b) { return a.base < b.base; });
    return images;
}

// The threads' stacks of a crash file, or their symbolicated frames: one array per thread.
std::vector<std::vector<JSONValue>> threadsOf(const fs::path& file, const char* framesKey) {
    std::vector<std::vector<JSONValue>> threads;
    const auto sections = WRKFileReadSections(file.string(), false);
    for (const JSONValue& section : sections.value_or(std::vector<JSONValue>{})) {
        const JSONValue* list = section.find("threads");
        if (list == nullptr || list->array() == nullptr) {
            continue;
        }
        for (const JSONValue& thread : *list->array()) {
            const JSONValue* frames = *framesKey != '\0' ? thread.find(framesKey) : &thread;
            threads.push_back(frames != nullptr && frames->array() != nullptr
                                  ? *frames->array()
                                  : std::vector<JSONValue>{});
        }
        break;
    }
    return threads;
}

// A crash through a library without its full symbol table, named by a later run that has
// that library loaded and by one that has not: every frame in an image of the crashed run
// keeps the image's name and its place in it, whether or not a symbol covers it, so that
// the report can be symbolised later.
TEST(crashCaptureFixture, EveryFrameKeepsItsImageAndItsPlaceInIt) {
    Sandbox sandbox;
    const std::optional<fs::path> ran =
        runThatDiesOf("segv-through-stripped-image", SIGSEGV, sandbox);
    ASSERT_TRUE(ran);
    const fs::path run = *ran;
    const std::vector<ImageRecord> images = recordedImages(run);
    const std::vector<std::vector<JSONValue>> stacks =
        threadsOf(run / "signal.clsrecord", "stacktrace");
    ASSERT_FALSE(stacks.empty());
    const std::string stripped = fs::path(STRIPPED_IMAGE).filename().string();

    for (const char* later : {"symbolicate", "symbolicate-with-stripped-image"}) {
        SCOPED_TRACE(later);
        const bool loaded = std::string(later) != "symbolicate";
        Child child = spawnFixture(later, sandbox, "/dev/null", run.string());
        const std::optional<int> done = waitFor(child.pid);
        ASSERT_TRUE(done && WIFEXITED(*done) && WEXITSTATUS(*done) == 0);
        const std::vector<std::vector<JSONValue>> named =
            threadsOf(run / "signal.clsrecord.symbolicated", "");
        ASSERT_EQ(named.size(), stacks.size());
        int inImages = 0;
        int strippedWithoutSymbol = 0;
        bool exportedNamed = false;
        for (std::size_t t = 0; t < stacks.size(); ++t) {
            ASSERT_EQ(named[t].size(), stacks[t].size()) << "thread " << t;
            for (std::size_t i = 0; i < stacks[t].size(); ++i) {
                const std::uint64_t pc = *stacks[t][i].uint64();
                const JSONValue& frame = named[t][i];
                const auto image =
                    std::find_if(images.begin(), images.end(), [pc](const ImageRecord& record) {
                        return pc >= record.base && pc - record.base < record.size;
                    });
                if (image == images.end()) {
                    EXPECT_EQ(frame.find("image_offset"), nullptr);
                    continue;
                }
                ++inImages;
                const std::string name = fs::path(image->path).filename().string();
                const JSONValue* library = frame.find("library");
                ASSERT_TRUE(library && library->string()) << name << " frame " << i;
                EXPECT_EQ(*library->string(), name);
                const JSONValue* offset = frame.find("image_offset");
                ASSERT_TRUE(offset && offset->uint64()) << name << " frame " << i;
                EXPECT_EQ(*offset->uint64(), pc - image->base);
                const JSONValue* symbol = frame.find("symbol");
                if (name == stripped && symbol && symbol->string()) {
                    exportedNamed = exportedNamed || *symbol->string() == "talvorStrippedImageCall";
                } else if (name == stripped) {
                    ++strippedWithoutSymbol;
                }
            }
        }
        EXPECT_GT(inImages, 3);
        // The library's file-local function has no symbol in either run; its exported one
        // is named only where the library is loaded.
        EXPECT_GE(strippedWithoutSymbol, 1);
        EXPECT_EQ(exportedNamed, loaded);
    }
}

std::string textOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every line of a record's text is a whole JSON object ending in a newline.
bool wholeRecord(const std::string& text) {
    if (text.empty() || text.back() != '\n') {
        return false;
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!parseJSON(line)) {
            return false;
        }
    }
    return true;
}

// Makes a crashed run's report one that takes seconds to symbolicate: its crashed thread's
// stack, `copies` times over, in each of `threads` threads.
std::vector<std::uint64_t> enlargeReport(const fs::path& run, int threads, int copies) {
    std::vector<std::uint64_t> stack;
    for (const std::vector<JSONValue>& thread : threadsOf(run / "signal.clsrecord", "stacktrace")) {
        if (stack.empty() && !thread.empty()) {
            for (int i = 0; i < copies; ++i) {
                for (const JSONValue& pc : thread) {
                    stack.push_back(*pc.uint64());
                }
            }
        }
    }
    std::string frames;
    for (const std::uint64_t pc : stack) {
        frames += (frames.empty() ? "" : ",") + std::to_string(pc);
    }
    std::string line = R"({"threads":[)";
    for (int t = 0; t < threads; ++t) {
        line += (t == 0 ? "" : ",") + std::string(R"({"stacktrace":[)") + frames + "]}";
    }
    line += "]}";
    std::vector<std::string> lines = linesOf(run / "signal.clsrecord");
    for (std::string& kept : lines) {
        if (kept.rfind(R"({"threads":)", 0) == 0) {
            kept = line;
        }
    }
    std::ofstream out(run / "signal.clsrecord", std::ios::binary | std::ios::trunc);
    for (const std::string& kept : lines) {
        out << kept << '\n';
    }
    return stack;
}

// The program quits while it symbolicates a big report of an earlier run: the quit stays
// within its second, nothing cut off is left where it would be sent, and the next start
// finishes the report whole.
TEST(crashCaptureFixture, AQuitWhileAReportIsProcessedLeavesItWhole) {
    constexpr int kThreads = 40;
    Sandbox sandbox;
    const std::optional<fs::path> ran = runThatDiesOf("segv", SIGSEGV, sandbox);
    ASSERT_TRUE(ran);
    const fs::path run = *ran;
    const std::string id = run.filename().string();
    const std::vector<std::uint64_t> stack = enlargeReport(run, kThreads, 400);
    ASSERT_GT(stack.size(), 1000u);
    const std::string signalText = textOf(run / "signal.clsrecord");
    const fs::path tree = sandbox.activeFolder().parent_path();
    // The crashed run got past its first turn of the main loop: not urgent, not done in the
    // start.
    fs::remove(tree / "launchmarker");

    const fs::path said = sandbox.root() / "stderr";
    Child quitting = spawnFixture("quit-while-processing", sandbox, said.string());
    const std::optional<int> quit = waitFor(quitting.pid);
    ASSERT_TRUE(quit && WIFEXITED(*quit)) << "the quitting run did not end by itself";
    ASSERT_EQ(WEXITSTATUS(*quit), 0) << "it never saw the report being processed";
    std::ifstream heldFor(sandbox.root() / "quit-ms");
    int held = -1;
    heldFor >> held;
    EXPECT_GE(held, 0);
    EXPECT_LT(held, 1000) << "the quit is held up past its second";
    // Wherever the report is now, nothing of it is cut off.
    for (const auto& entry : fs::recursive_directory_iterator(tree)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || name.front() == '.') {
            continue;
        }
        if (entry.path().extension() == ".symbolicated") {
            EXPECT_TRUE(wholeRecord(textOf(entry.path()))) << entry.path();
        } else if (entry.path().extension() == ".multipartmime") {
            EXPECT_FALSE(
                test::parseMultipart(textOf(entry.path()), entry.path().stem().string()).empty())
                << entry.path();
        } else if (name == "signal.clsrecord" && entry.path().parent_path().filename() == id) {
            EXPECT_EQ(textOf(entry.path()), signalText);
        }
    }

    // The next start packages it, with its whole symbolication (no endpoint: it stays in
    // "prepared").
    const std::string quitLog = textOf(said);
    Child next = spawnFixture("start", sandbox, said.string());
    const std::optional<int> ended = waitFor(next.pid);
    ASSERT_TRUE(ended && WIFEXITED(*ended) && WEXITSTATUS(*ended) == 0);
    std::vector<fs::path> packages;
    for (const auto& entry : fs::directory_iterator(tree / "prepared")) {
        packages.push_back(entry.path());
    }
    ASSERT_EQ(packages.size(), 1u) << "one package of the report, none cut off";
    std::map<std::string, test::Part> parts;
    for (test::Part& part :
         test::parseMultipart(textOf(packages[0]), packages[0].stem().string())) {
        parts[part.name] = std::move(part);
    }
    ASSERT_TRUE(parts.contains("report_id"));
    EXPECT_EQ(parts["report_id"].body, id);
    ASSERT_TRUE(parts.contains("signal.clsrecord"));
    EXPECT_EQ(test::gunzip(parts["signal.clsrecord"].body), signalText);
    ASSERT_TRUE(parts.contains("signal.clsrecord.symbolicated")) << "quitting run:\n"
                                                                 << quitLog << "next run:\n"
                                                                 << textOf(said);
    const std::optional<std::string> named =
        test::gunzip(parts["signal.clsrecord.symbolicated"].body);
    ASSERT_TRUE(named && wholeRecord(*named));
    const std::optional<JSONValue> line = parseJSON(named->substr(0, named->size() - 1));
    const JSONValue* threads = line ? line->find("threads") : nullptr;
    ASSERT_TRUE(threads && threads->array());
    ASSERT_EQ(threads->array()->size(), static_cast<std::size_t>(kThreads));
    for (const JSONValue& thread : *threads->array()) {
        ASSERT_TRUE(thread.array());
        EXPECT_EQ(thread.array()->size(), stack.size());
    }
    EXPECT_TRUE(fs::is_empty(tree / "processing"));
    EXPECT_FALSE(fs::exists(tree / "active" / id));
}

}  // namespace
}  // namespace talvor::crash
