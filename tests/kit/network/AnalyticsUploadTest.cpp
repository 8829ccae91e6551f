#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "../AnalyticsTestSupport.h"
#include "../KitSandbox.h"
#include "../ManualClock.h"
#include "LoopbackTlsServer.h"
#include "NetworkTestSupport.h"
#include "kit/KitJson.h"
#include "kit/NotificationCenter.h"
#include "kit/TLYEvent.h"
#include "kit/TLYTallyController.h"
#include "kit/TLYUploader.h"

namespace talvor::kit {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using test::LoopbackTlsServer;
using test::RecordedRequest;
using test::ScriptedResponse;
using test::TestPki;

const char kBundle[] =
    "<key>CFBundleIdentifier</key><string>org.talvor.test</string>"
    "<key>Trellis</key><dict><key>APIKey</key><string>key-1</string>"
    "<key>Kits</key><array/></dict>";
const char kChildRootVariable[] = "TALVOR_TEST_ANALYTICS_CHILD_ROOT";

// The event records a request carried (the metadata line left out).
std::vector<TLYLogRecord> eventsOf(const RecordedRequest& request) {
    if (request.parts.size() != 1) {
        return {};
    }
    auto records = TLYEventLogFile::readRecordsFromBytes(test::gunzip(request.parts[0].content));
    if (!records.empty() && records.front().name == "metadata") {
        records.erase(records.begin());
    }
    return records;
}

std::string eventIdOf(const TLYLogRecord& record) {
    const auto parsed = json::parse(record.json);
    const JsonValue* id = parsed && parsed->object() ? parsed->object()->find("eventId") : nullptr;
    return id && id->string() ? *id->string() : std::string();
}

// A controller sending to a loopback server, with time on a manual clock and no jitter.
class kitAnalyticsUpload : public ::testing::Test {
  protected:
    void SetUp() override {
        test::keepRequestsOnThisMachine();
        sandbox_.install(test::plist(kBundle));
        Clock::setShared(&clock_);
        RandomSource::setShared(&random_);
    }
    void TearDown() override {
        controller_.reset();
        RandomSource::setShared(nullptr);
        Clock::setShared(nullptr);
    }
    void start() {
        controller_ = TLYTallyController::make(std::nullopt, root_,
                                               {&clock_, &random_, test::loopbackConfiguration()});
        ASSERT_TRUE(controller_->waitUntilIdle());
    }
    void settingsWithURL(const std::string& url) {
        auto document = json::parse(R"({"analytics":{"url":")" + url + R"("}})");
        ASSERT_TRUE(document);
        controller_->initializeSettingsIfNeededWithTrellisSettings(*document);
    }
    // Lets every upload run to its end, moving the clock to each retry's time.
    void runUploadsToTheEnd() {
        for (int round = 0; round < 64; ++round) {
            ASSERT_TRUE(test::eventually([&] {
                if (controller_->eventQueue()->operationCount() != 0) {
                    return false;
                }
                const auto inFlight = controller_->uploader()->uploadsInFlight().size();
                return inFlight == 0 || clock_.pendingTimers() == inFlight;
            })) << "uploads neither end nor wait: "
                << controller_->uploader()->uploadsInFlight().size() << " in flight, "
                << clock_.pendingTimers() << " timers, "
                << controller_->eventQueue()->operationCount() << " queued";
            if (controller_->uploader()->uploadsInFlight().empty()) {
                return;
            }
            clock_.advance(*clock_.nextDeadline() - clock_.monotonic());
        }
        FAIL() << "more rounds than any back-off has";
    }
    fs::path events() const { return TLYTallyController::eventDirectoryForRootDirectory(root_); }
    std::vector<fs::path> packaged() const {
        return test::filesWithExtension(events(), "multipartmime");
    }
    double now() const { return std::chrono::duration<double>(clock_.monotonic()).count(); }

    test::KitSandbox sandbox_;
    test::ManualClock clock_;
    test::NoJitter random_;
    fs::path root_ = sandbox_.dir / "analytics";
    std::shared_ptr<TLYTallyController> controller_;
};

// The package made before any settings (the install's) is sent once the endpoint is known;
// each case scripts the service and says what becomes of the package.
TEST_F(kitAnalyticsUpload, BackoffTable) {
    struct Case {
        const char* what;
        std::function<ScriptedResponse(int attempt)> script;
        std::vector<double> waits;  // between attempts, in seconds of the manual clock
        bool packageKept;
    };
    std::vector<double> doubling;
    for (double wait = 2; wait <= 2048; wait *= 2) {
        doubling.push_back(wait);
    }
    const std::vector<Case> cases = {
        {"success", [](int) { return test::answer(200); }, {}, false},
        {"a 503, then success",
         [](int attempt) { return test::answer(attempt == 0 ? 503 : 200); },
         {2},
         false},
        {"429 asking for 30 s, then success",
         [](int attempt) {
             return attempt < 3 ? test::answer(429, {{"Retry-After", "30"}}) : test::answer(200);
         },
         {30, 900, 3600},  // 27000 s would strand the file: waits stop at an hour
         false},
        {"5xx on every try: 11 retries, then the file waits for a later run",
         [](int) { return test::answer(503); }, doubling, true},
        {"413: refused for good, the package is dropped",
         [](int) { return test::answer(413); },
         {},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(root_);
        std::mutex mutex;
        std::vector<double> times;
        LoopbackTlsServer server(TestPki::shared().leafA, [&](const RecordedRequest&) {
            std::lock_guard lock(mutex);
            times.push_back(now());
            return c.script(static_cast<int>(times.size()) - 1);
        });
        start();
        ASSERT_EQ(packaged().size(), 1u);
        const auto packageSize = fs::file_size(packaged()[0]);
        settingsWithURL(server.url("/events"));
        runUploadsToTheEnd();

        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), c.waits.size() + 1);
        std::vector<double> waits;
        for (std::size_t i = 1; i < times.size(); ++i) {
            waits.push_back(times[i] - times[i - 1]);
        }
        EXPECT_EQ(waits, c.waits);
        for (const auto& request : requests) {
            EXPECT_EQ(request.method, "POST");
            EXPECT_EQ(request.path, "/events");
            EXPECT_EQ(request.header("Content-Length"), std::to_string(packageSize));
            EXPECT_EQ(request.header("X-Wreckord-Api-Client-Packaged-Timestamp"),
                      requests[0].header("X-Wreckord-Api-Client-Packaged-Timestamp"))
                << "a retry sends the first try's request";
            EXPECT_EQ(test::names(eventsOf(request)), (std::vector<std::string>{"app_installed"}));
        }
        EXPECT_EQ(packaged().size(), c.packageKept ? 1u : 0u);
        controller_.reset();
    }
}

TEST_F(kitAnalyticsUpload, HeadersExact) {
    LoopbackTlsServer server(TestPki::shared().leafA,
                             [](const RecordedRequest&) { return test::answer(200); });
    start();
    ASSERT_EQ(packaged().size(), 1u);
    const std::string boundary = packaged()[0].stem().string();
    settingsWithURL(server.url("/events"));
    runUploadsToTheEnd();
    ASSERT_EQ(server.requestCount(), 1u);
    const auto request = server.requests()[0];
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Content-Type", "multipart/form-data; boundary=" + boundary},
        {"User-Agent", "Tally Mac SDK/1.3.7"},
        {"X-WRECKORD-DEVELOPER-TOKEN", "3c9e0b7a51d24f86e0a9c3b7d15f28e4a6b0c9d2"},
        {"X-WRECKORD-API-CLIENT-TYPE", "Tally Mac SDK"},
        {"X-WRECKORD-API-CLIENT-VERSION", "30"},
        {"X-WRECKORD-API-CLIENT-DISPLAY-VERSION", "1.3.7"},
        {"X-WRECKORD-API-CLIENT-BUILD-VERSION", "30"},
        {"X-WRECKORD-API-KEY", "key-1"},
        {"X-Wreckord-Api-Client-Packaged-Timestamp", "1500000000"},
    };
    for (const auto& [name, value] : expected) {
        EXPECT_EQ(request.header(name), value) << name;
    }
    ASSERT_EQ(request.parts.size(), 1u);
    EXPECT_EQ(request.parts[0].contentType, "application/vnd.wreckord.mac.events");
}

// The service cannot be reached at all: the same back-off, and the file stays.
TEST_F(kitAnalyticsUpload, NetworkDownKeepsThePackage) {
    std::string url;
    {
        LoopbackTlsServer gone(TestPki::shared().leafA);
        url = gone.url("/events");
    }
    start();
    settingsWithURL(url);
    const double begun = now();
    runUploadsToTheEnd();
    EXPECT_DOUBLE_EQ(now() - begun, 4094.0) << "2 + 4 + ... + 2048 seconds of waiting";
    EXPECT_EQ(packaged().size(), 1u);
}

// The user's switch holds even when settings with an endpoint are at hand: nothing is sent,
// and what was packaged while it was off is dropped.
TEST_F(kitAnalyticsUpload, SharingSwitchedOffSendsNothing) {
    LoopbackTlsServer server(TestPki::shared().leafA,
                             [](const RecordedRequest&) { return test::answer(200); });
    sandbox_.defaults->values["ShareDataWithService"] = PlistValue(false);
    start();
    settingsWithURL(server.url("/events"));
    NotificationCenter::defaultCenter().post("NSApplicationDidBecomeActiveNotification");
    runUploadsToTheEnd();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(server.requestCount(), 0u);
    // Dropped, not kept: switching sharing on later must not send what was gathered while
    // it was off.
    EXPECT_TRUE(packaged().empty());
}

// With sharing off the program goes on running (activations package files, no settings
// arrive since nothing is asked of the service); once the user switches sharing on and an
// endpoint is known, only what happened after the switch leaves the machine.
TEST_F(kitAnalyticsUpload, WhatHappenedWhileSharingWasOffIsNeverSent) {
    LoopbackTlsServer server(TestPki::shared().leafA,
                             [](const RecordedRequest&) { return test::answer(200); });
    sandbox_.defaults->values["ShareDataWithService"] = PlistValue(false);
    start();
    for (int i = 0; i < 5; ++i) {
        controller_->logEvent(std::make_shared<TLYCustomEvent>("while off", std::nullopt));
        NotificationCenter::defaultCenter().post("NSApplicationDidBecomeActiveNotification");
    }
    ASSERT_TRUE(controller_->waitUntilIdle());
    EXPECT_TRUE(packaged().empty());

    sandbox_.defaults->values["ShareDataWithService"] = PlistValue(true);
    controller_->logEvent(std::make_shared<TLYCustomEvent>("after", std::nullopt));
    NotificationCenter::defaultCenter().post("NSApplicationDidBecomeActiveNotification");
    settingsWithURL(server.url("/events"));
    runUploadsToTheEnd();

    std::multiset<std::string> sent;
    for (const auto& request : server.requests()) {
        for (const auto& record : eventsOf(request)) {
            sent.insert(record.name);
        }
    }
    EXPECT_EQ(sent, (std::multiset<std::string>{"custom", "app_became_active"}));
}

// What a run with sharing on left unsent is withdrawn by a start with sharing off.
TEST_F(kitAnalyticsUpload, AStartWithSharingOffDropsWhatEarlierRunsLeft) {
    start();
    controller_.reset();
    ASSERT_EQ(packaged().size(), 1u);
    sandbox_.defaults->values["ShareDataWithService"] = PlistValue(false);
    start();
    EXPECT_TRUE(packaged().empty());
    EXPECT_TRUE(test::filesWithExtension(events(), "log").empty());
}

// The same name is never sent twice at once: a stored package and settings known at start
// queue it twice (the clean-up and the settings both ask).
TEST_F(kitAnalyticsUpload, SkipsAPackageAlreadyBeingSent) {
    LoopbackTlsServer server(TestPki::shared().leafA,
                             [](const RecordedRequest&) { return test::held(); });
    start();
    controller_.reset();
    ASSERT_EQ(packaged().size(), 1u);
    const std::string stored = packaged()[0].stem().string();
    controller_ = TLYTallyController::make(std::nullopt, root_,
                                           {&clock_, &random_, test::loopbackConfiguration()});
    settingsWithURL(server.url("/events"));
    ASSERT_TRUE(controller_->waitUntilIdle());
    std::this_thread::sleep_for(200ms);
    server.setScript([](const RecordedRequest&) { return test::answer(200); });
    server.release();
    runUploadsToTheEnd();
    std::map<std::string, int> sent;
    for (const auto& request : server.requests()) {
        const auto type = request.header("Content-Type").value_or("");
        ++sent[type.substr(type.find("boundary=") + 9)];
    }
    EXPECT_EQ(sent[stored], 1);
    for (const auto& [boundary, count] : sent) {
        EXPECT_EQ(count, 1) << boundary;
    }
    EXPECT_TRUE(packaged().empty());
}

// The part of the killed run: events written and packaged (no endpoint yet), one event left
// in its file, then kill -9.
TEST(kitAnalyticsKilledRun, ChildWritesAndPackagesThenDies) {
    const char* root = std::getenv(kChildRootVariable);
    if (root == nullptr) {
        GTEST_SKIP() << "runs only as the killed process of KillBetweenPackagingAndUpload";
    }
    test::KitSandbox sandbox;
    sandbox.install(test::plist(kBundle));
    auto controller = TLYTallyController::make(std::nullopt, root, {});
    controller->logEvent(std::make_shared<TLYCustomEvent>("packaged", std::nullopt));
    NotificationCenter::defaultCenter().post("NSApplicationDidBecomeActiveNotification");
    controller->logEvent(std::make_shared<TLYCustomEvent>("still in its file", std::nullopt));
    ASSERT_TRUE(controller->waitUntilIdle());
    ::kill(::getpid(), SIGKILL);
}

TEST_F(kitAnalyticsUpload, KillBetweenPackagingAndUploadLosesNothing) {
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        ::setenv(kChildRootVariable, root_.c_str(), 1);
        const std::string filter = "--gtest_filter=kitAnalyticsKilledRun.*";
        ::execl("/proc/self/exe", "kit_network_test", filter.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
    ASSERT_FALSE(packaged().empty());
    ASSERT_EQ(test::filesWithExtension(events(), "log").size(), 1u);

    LoopbackTlsServer server(TestPki::shared().leafA,
                             [](const RecordedRequest&) { return test::answer(200); });
    controller_ = TLYTallyController::make(std::nullopt, root_,
                                           {&clock_, &random_, test::loopbackConfiguration()});
    settingsWithURL(server.url("/events"));
    runUploadsToTheEnd();

    std::map<std::string, int> idCount;
    std::multiset<std::string> names;
    for (const auto& request : server.requests()) {
        for (const auto& record : eventsOf(request)) {
            ++idCount[eventIdOf(record)];
            names.insert(record.name);
        }
    }
    for (const auto& [id, count] : idCount) {
        EXPECT_EQ(count, 1) << "event " << id << " sent " << count << " times";
    }
    // The killed run's events and this run's install, each once.
    EXPECT_EQ(names, (std::multiset<std::string>{"app_installed", "app_installed", "app_launched",
                                                 "custom", "app_became_active", "custom"}));
    EXPECT_TRUE(packaged().empty());
    EXPECT_TRUE(test::filesWithExtension(events(), "gz").empty());
    EXPECT_EQ(test::filesWithExtension(events(), "log"),
              std::vector<fs::path>{controller_->currentLogURL()})
        << "only this run's current file is left";
}

}  // namespace
}  // namespace talvor::kit
