#include "crash/WRKException.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "crash/WRKFile.h"
#include "crash/WRKProfiling.h"
#include "crash/WRKWebView.h"

namespace talvor::crash {
namespace {

namespace fs = std::filesystem;

struct Thrown {
    const char* label;
    void (*raise)();
    const char* name;
    std::string reason;
};

struct Hidden : std::logic_error {
    using std::logic_error::logic_error;
};

TEST(WRKException, TheCurrentExceptionIsNamedByItsThrownType) {
    static const std::runtime_error byPointer("pointed at");
    const std::vector<Thrown> cases = {
        {"c string", [] { throw "text"; }, "const char *", "text"},
        {"test exception", [] { WRKExceptionRaiseTestCppException(); }, "const char *",
         "Wreckord C++ Test Exception"},
        {"std::string", [] { throw std::string("string text"); }, "std::string", "string text"},
        {"runtime_error", [] { throw std::runtime_error("broken"); }, "std::runtime_error",
         "broken"},
        {"derived, caught as its base", [] { throw Hidden("deep"); },
         "talvor::crash::(anonymous namespace)::Hidden", "deep"},
        {"system_error", [] { throw std::system_error(std::make_error_code(std::errc::io_error)); },
         "std::system_error", std::make_error_code(std::errc::io_error).message()},
        {"exception pointer", [] { throw &byPointer; }, "std::runtime_error const*", "pointed at"},
        {"int", [] { throw 42; }, "int", ""},
        {"vector", [] { throw std::vector<int>{1}; }, "std::vector<int, std::allocator<int> >", ""},
    };
    for (const Thrown& c : cases) {
        std::string name;
        std::string reason;
        try {
            c.raise();
        } catch (...) {
            ASSERT_TRUE(WRKExceptionDescribeCurrent(&name, &reason)) << c.label;
        }
        EXPECT_EQ(name, c.name) << c.label;
        EXPECT_EQ(reason, c.reason) << c.label;
    }
    std::string name = "untouched";
    std::string reason;
    EXPECT_FALSE(WRKExceptionDescribeCurrent(&name, &reason));
    EXPECT_EQ(name, "untouched");
}

TEST(WRKException, TypesHaveTheirRecordNamesAndOnlyTheFirstTwoAreFatal) {
    struct Case {
        int type;
        const char* name;
        bool fatal;
    };
    for (const Case& c : std::vector<Case>{{1, "objective-c", true},
                                           {2, "c++", true},
                                           {3, "javascript", false},
                                           {4, "custom", false},
                                           {0, "unknown", false},
                                           {5, "unknown", false}}) {
        EXPECT_STREQ(WRKExceptionTypeName(c.type), c.name) << c.type;
        EXPECT_EQ(WRKExceptionTypeIsFatal(c.type), c.fatal) << c.type;
    }
}

TEST(WRKException, DemanglingKeepsWhatIsNoMangledName) {
    EXPECT_EQ(WRKExceptionDemangle("St13runtime_error"), "std::runtime_error");
    EXPECT_EQ(WRKExceptionDemangle("i"), "int");
    EXPECT_EQ(WRKExceptionDemangle("not a name!"), "not a name!");
    EXPECT_EQ(WRKExceptionDemangle(nullptr), "");
}

std::string writtenLine(int type, const char* name, const char* reason,
                        const std::vector<WRKStackFrame>& frames) {
    const fs::path path =
        fs::temp_directory_path() / ("talvor-exception-" + std::to_string(::getpid()));
    fs::remove(path);
    WRKFile file;
    EXPECT_TRUE(WRKFileInitWithPath(&file, path.c_str(), false));
    WRKExceptionWrite(&file, type, name, reason, frames.data(), frames.size());
    WRKFileClose(&file);
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    fs::remove(path);
    return line;
}

TEST(WRKException, TheExceptionLineHasFramesOnlyWhenThereAreSome) {
    const std::string bare = writtenLine(2, "const char *", "ab", {});
    const auto parsed = parseJSON(bare);
    ASSERT_TRUE(parsed) << bare;
    const JSONValue* body = parsed->find("exception");
    ASSERT_TRUE(body);
    EXPECT_EQ(*body->find("type")->string(), "c++");
    EXPECT_EQ(*body->find("name")->string(), WRKFileHexEncodeString("const char *"));
    EXPECT_EQ(*body->find("reason")->string(), "6162");
    EXPECT_EQ(body->find("frames"), nullptr);

    WRKStackFrame full{0x1000, "main", 16, "/usr/bin/talvor", "main.cpp", 12, "main", std::nullopt};
    WRKStackFrame bareFrame = WRKStackFrame::withAddress(0x2000);
    const auto framed = parseJSON(writtenLine(4, "n", "r", {full, bareFrame}));
    ASSERT_TRUE(framed);
    const JSONValue* frames = framed->find("exception")->find("frames");
    ASSERT_TRUE(frames && frames->array() && frames->array()->size() == 2);
    const JSONValue& first = (*frames->array())[0];
    EXPECT_EQ(*first.find("pc")->uint64(), 0x1000u);
    EXPECT_EQ(WRKFileHexDecodeString(first.find("symbol")->string()->c_str()), "main");
    EXPECT_EQ(WRKFileHexDecodeString(first.find("file")->string()->c_str()), "main.cpp");
    EXPECT_EQ(*first.find("line")->uint64(), 12u);
    const JSONValue& second = (*frames->array())[1];
    for (const char* absent : {"symbol", "library", "file"}) {
        EXPECT_EQ(second.find(absent), nullptr) << absent;
    }
    EXPECT_EQ(*second.find("offset")->uint64(), 0u);
}

TEST(WRKException, RecordingBeforeTheContextIsUpDoesNothing) {
    // Neither a fatal nor a custom record may touch anything before the capture started.
    WRKExceptionRecord(WRKExceptionTypeCustom, "n", "r", nullptr, 0, false);
    WRKExceptionRecord(WRKExceptionTypeCpp, "n", "r", nullptr, 0, false);
    SUCCEED();
}

TEST(WRKProfiling, ElapsedTimeFollowsTheTimebase) {
    struct Case {
        WRKProfileMark mark;
        WRKProfileMark now;
        std::uint32_t numerator;
        std::uint32_t denominator;
        double milliseconds;
    };
    for (const Case& c : std::vector<Case>{
             {0, 1000000, 1, 1, 1.0},
             {5, 2500005, 1, 1, 2.5},
             {0, 1000000, 125, 3, 41.666666},
             {100, 100, 1, 1, 0.0},
             {0, 1000000, 1, 0, 0.0},
             {10, 5, 1, 1, 0.0},
         }) {
        EXPECT_NEAR(WRKProfileElapsed(c.mark, c.now, c.numerator, c.denominator), c.milliseconds,
                    1e-5)
            << c.mark << " " << c.now << " " << c.numerator << "/" << c.denominator;
    }
    const double now = WRKProfileEnd(WRKProfilingStart());
    EXPECT_GE(now, 0.0);
    EXPECT_LT(now, 50.0);
}

class FakeConfiguration : public WRKWebViewConfiguration {
  public:
    bool addUserScript(const std::string& source, bool atDocumentEnd, bool mainFrameOnly) override {
        scripts.push_back({source, atDocumentEnd, mainFrameOnly});
        return accepts;
    }
    void addScriptMessageHandler(const std::string&,
                                 std::function<void(const WRKWebViewScriptMessage&)>) override {}
    struct Script {
        std::string source;
        bool atDocumentEnd;
        bool mainFrameOnly;
    };
    std::vector<Script> scripts;
    bool accepts = true;
};

TEST(WRKWebView, TheScriptIsInjectedAtDocumentEndIntoTheMainFrame) {
    FakeConfiguration configuration;
    EXPECT_TRUE(WRKWebViewSetupConfigurationForMonitoring(&configuration));
    ASSERT_EQ(configuration.scripts.size(), 1u);
    EXPECT_EQ(configuration.scripts[0].source, WRKWebViewMonitoringScript());
    EXPECT_TRUE(configuration.scripts[0].atDocumentEnd);
    EXPECT_TRUE(configuration.scripts[0].mainFrameOnly);
    configuration.accepts = false;
    EXPECT_FALSE(WRKWebViewSetupConfigurationForMonitoring(&configuration));
    EXPECT_FALSE(WRKWebViewSetupConfigurationForMonitoring(nullptr));
}

TEST(WRKWebView, OnlyMessagesWithAnObjectBodyAreTaken) {
    EXPECT_FALSE(WRKWebViewHandleScriptMessage({JSONValue{std::string("boom")}}));
    EXPECT_FALSE(WRKWebViewHandleScriptMessage({JSONValue{nullptr}}));
    EXPECT_TRUE(WRKWebViewHandleScriptMessage(
        {JSONValue{JSONValue::Object{{"msg", JSONValue{std::string("boom")}}}}}));
}

// The script runs in a small stand-in for a page: errors reach the message handler and the
// page's own handlers, also one the page installs after the script ran.
TEST(WRKWebView, TheScriptPostsErrorsAndChainsThePagesHandlers) {
    if (!fs::exists("/usr/bin/node")) {
        GTEST_SKIP() << "no node";
    }
    const fs::path script =
        fs::temp_directory_path() / ("talvor-webview-" + std::to_string(::getpid()) + ".js");
    {
        std::ofstream out(script);
        out << R"js(
const posted = [];
const called = [];
globalThis.window = globalThis;
window.webkit = {messageHandlers: {wreckord: {postMessage: (m) => posted.push(m)}}};
window.onload = () => called.push('page load');
window.onerror = (m) => called.push('first ' + m);
)js" << WRKWebViewMonitoringScript()
            << R"js(
window.onerror('early', 'a.html', 1, 2, null);
window.onerror = (m, u, l, c) => called.push('late ' + m + ' ' + l + ':' + c);
window.onload();
window.onerror('after', 'a.html', 3, 4, null);
console.log(JSON.stringify({posted, called}));
)js";
    }
    const std::string command = "/usr/bin/node " + script.string();
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    EXPECT_EQ(::pclose(pipe), 0);
    fs::remove(script);
    EXPECT_EQ(output, R"({"posted":[{"msg":"early","url":"a.html","line":1,"column":2},)"
                      R"({"msg":"after","url":"a.html","line":3,"column":4}],)"
                      R"("called":["first early","page load","late after 3:4"]})"
                      "\n");
}

}  // namespace
}  // namespace talvor::crash
