// Sending reports: the upload request, the network client's retries and refusals, and the
// controller's life cycle of report folders, against HTTPS servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackTlsServer.h"
#include "ManualClock.h"
#include "NetworkTestSupport.h"
#include "TestPki.h"
#include "crash/WRKContext.h"
#include "crash/WRKCrashReportingController.h"
#include "crash/WRKNetworkClient.h"
#include "crash/WRKReportsController.h"
#include "kit/ApplicationDefaults.h"
#include "kit/DispatchQueue.h"
#include "kit/KitJson.h"
#include "kit/KitRegistry.h"
#include "kit/MainBundle.h"
#include "kit/TLYNimbusAnalyticsBridge.h"
#include "kit/Trellis.h"
#include "kit/WRKUserDefaults.h"
#include "kit/network/NetworkKeys.h"
#include "support/CrashTestSupport.h"

namespace talvor::crash {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using kit::test::LoopbackTlsServer;
using kit::test::ManualClock;
using kit::test::RecordedRequest;
using kit::test::TestPki;
using test::ScopedEnv;

constexpr char kBundle[] = "com.larkspindle.TalvorPro";
constexpr char kReportsPath[] = "/sdk-api/v1/platforms/mac/apps/com.larkspindle.TalvorPro/reports";

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The service's answer to a report it took.
kit::test::ScriptedResponse accepted() {
    return kit::test::withBody("{}", "application/json");
}
LoopbackTlsServer::Script acceptingAll() {
    return [](const RecordedRequest&) { return accepted(); };
}

// Waits until `done` holds (at most `limit`).
template <typename Done>
bool eventually(Done done, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

struct Finished {
    fs::path path;
    std::optional<kit::KitError> error;
};

// Collects what the network client reports.
class Recorder : public WRKNetworkClientDelegate {
  public:
    bool networkClientCanUseBackgroundSessions() override { return true; }
    void networkClientDidFinishUpload(const fs::path& path,
                                      const std::optional<kit::KitError>& error) override {
        std::lock_guard lock(mutex_);
        finished_.push_back({path, error});
    }
    std::vector<Finished> finished() const {
        std::lock_guard lock(mutex_);
        return finished_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Finished> finished_;
};

// A report tree in a folder of its own, a work queue, a manual clock and trust in the
// test root only.
class Tree {
  public:
    Tree() : folder_("crash-sending"), files_(folder_.path(), kBundle) {
        kit::test::keepRequestsOnThisMachine();
        queue_->setMaxConcurrentOperationCount(1);
        EXPECT_TRUE(files_.prepareForNewLaunch());
    }
    ~Tree() { queue_->waitUntilAllOperationsAreFinished(); }
    const WRKFileManager& files() const { return files_; }
    const std::shared_ptr<kit::OperationQueue>& queue() const { return queue_; }
    ManualClock& clock() { return clock_; }
    WRKNetworkClientSeams seams() {
        WRKNetworkClientSeams seams;
        seams.clock = &clock_;
        seams.debug = [] { return false; };
        seams.anchorsPEM = TestPki::shared().rootAPEM;
        return seams;
    }
    // A packaged report: a form with one part, or `body`.
    fs::path packaged(const std::string& boundary,
                      const std::optional<std::string>& body = std::nullopt) const {
        const fs::path path = files_.preparedPath() / (boundary + ".multipartmime");
        test::writeFile(path, body ? *body
                                   : "--" + boundary +
                                         "\r\nContent-Disposition: form-data; "
                                         "name=\"api_key\"\r\n\r\nkey-1\r\n--" +
                                         boundary + "--\r\n");
        return path;
    }
    // The visible entries of a folder of the tree, by name.
    std::vector<std::string> entries(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const fs::path& entry : files_.contentsOfDirectory(folder)) {
            names.push_back(entry.filename().string());
        }
        return names;
    }

  private:
    test::TempFolder folder_;
    WRKFileManager files_;
    std::shared_ptr<kit::OperationQueue> queue_ =
        std::make_shared<kit::OperationQueue>("crash-sending-test");
    ManualClock clock_;
};

// The reports controller's owner, as the tests configure it.
class ReportsOwner : public WRKReportsControllerDelegate, public WRKNetworkClientDelegate {
  public:
    explicit ReportsOwner(Tree& tree, const char* document = "{}")
        : settings(kit::json::parse(document)),
          client(tree.queue(), tree.files(), this, tree.seams()),
          reports(tree.queue(), this, &client, tree.files(), [] { return false; }) {}

    const WRKSettings& settingsForReportsController() override { return settings; }
    std::string APIKeyForReportsController() override { return "key-1"; }
    std::string bundleIdentifierForReportsController() override { return kBundle; }
    void reportsControllerDidCompletePackageSubmission(
        const fs::path& path, const std::optional<kit::KitError>& error) override {
        std::lock_guard lock(mutex_);
        completed_.push_back({path, error});
    }
    bool networkClientCanUseBackgroundSessions() override { return false; }
    void networkClientDidFinishUpload(const fs::path& path,
                                      const std::optional<kit::KitError>& error) override {
        reports.reportUploadAtPathCompletedWithError(path, error);
    }
    std::vector<Finished> completed() const {
        std::lock_guard lock(mutex_);
        return completed_;
    }

    WRKSettings settings;
    WRKNetworkClient client;
    WRKReportsController reports;

  private:
    mutable std::mutex mutex_;
    std::vector<Finished> completed_;
};

std::string describeRequest(const kit::URLRequest& request) {
    std::string text = request.HTTPMethod + " " + request.URL + "\n";
    text += "timeout " + std::to_string(static_cast<int>(request.timeoutInterval)) + "\n";
    for (const auto& [name, value] : request.headers.all()) {
        text += name + ": " + value + "\n";
    }
    return text;
}

// Path, header order and values of the upload request, as the service expects them.
TEST(crashReportUpload, TheRequestMatchesTheGoldenFile) {
    Tree tree;
    ReportsOwner owner(tree);
    ScopedEnv endpoint("WreckordReportsEndpoint", "https://reports.example.net/");
    ScopedEnv locale("LC_ALL", "de_CH.UTF-8");
    const fs::path file = tree.packaged("golden-boundary", "0123456789");
    const auto asyncRequest = owner.reports.uploadRequestForPackagedReport(file, false);
    const auto urgentRequest = owner.reports.uploadRequestForPackagedReport(file, true);
    ASSERT_TRUE(asyncRequest && urgentRequest);
    EXPECT_EQ(describeRequest(*asyncRequest), readText(CRASH_GOLDEN "/upload-request.txt"));
    // An urgent upload without background sessions waits two seconds at most.
    EXPECT_EQ(urgentRequest->timeoutInterval, 2.0);
    EXPECT_EQ(urgentRequest->headers.all(), asyncRequest->headers.all());
}

// The request the server gets: its path and the golden values; a success removes the
// packaged file and says so.
TEST(crashReportUpload, AnUploadReachesTheServerAndItsFileGoes) {
    Tree tree;
    LoopbackTlsServer server(TestPki::shared().leafA, acceptingAll());
    ScopedEnv endpoint("WreckordReportsEndpoint", server.url(""));
    ReportsOwner owner(tree);
    const fs::path file = tree.packaged("b0undary");
    const std::string size = std::to_string(fs::file_size(file));
    ASSERT_TRUE(owner.reports.uploadPackagedReportAtPath(file, false));
    ASSERT_TRUE(server.waitForRequests(1));
    ASSERT_TRUE(eventually([&] { return !owner.completed().empty(); }));
    const RecordedRequest request = server.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, kReportsPath);
    EXPECT_EQ(request.header("X-Wreckord-API-Key"), "key-1");
    EXPECT_EQ(request.header("User-Agent"), "Wreckord Mac SDK/3.9.3");
    EXPECT_EQ(request.header("Content-Type"), "multipart/form-data; boundary=b0undary");
    EXPECT_EQ(request.header("Content-Length"), size);
    ASSERT_EQ(request.parts.size(), 1u);
    EXPECT_EQ(request.parts[0].content, "key-1");
    const std::vector<Finished> completed = owner.completed();
    ASSERT_EQ(completed.size(), 1u);
    EXPECT_EQ(completed[0].path, file);
    EXPECT_FALSE(completed[0].error);
    EXPECT_FALSE(fs::exists(file));
}

class ConsentOff final : public kit::ApplicationDefaults {
  public:
    std::optional<kit::PlistValue> objectForKey(const std::string& key) const override {
        return key == "ShareDataWithService" ? std::optional<kit::PlistValue>(false) : std::nullopt;
    }
    void removeObjectForKey(const std::string&) override {}
    bool synchronize() override { return true; }
};

// Nothing leaves the machine when sending is off; the packaged report waits in "prepared".
TEST(crashReportUpload, NothingIsSentWhenSendingIsOff) {
    LoopbackTlsServer server(TestPki::shared().leafA);
    struct Case {
        const char* what;
        std::optional<std::string> endpoint;
        std::optional<std::string> submit;
        bool consent;
        bool goneBefore;
        bool keptAfter;
    };
    const Case cases[] = {
        {"no endpoint configured", std::nullopt, std::nullopt, true, false, true},
        {"SubmitReports off", server.url(""), "NO", true, false, true},
        // Not kept either: switched on later, sharing would send what came while it was off.
        {"data sharing switched off by the user", server.url(""), std::nullopt, false, false,
         false},
        {"an endpoint that is not https", "http://127.0.0.1:9", std::nullopt, true, false, true},
        {"the file went with an earlier upload", server.url(""), std::nullopt, true, true, false},
    };
    for (const Case& c : cases) {
        Tree tree;
        ScopedEnv endpoint("WreckordReportsEndpoint", c.endpoint);
        ScopedEnv submit("WreckordSubmitReports", c.submit);
        std::shared_ptr<kit::ApplicationDefaults> previous;
        if (!c.consent) {
            previous = kit::ApplicationDefaults::setStandard(std::make_shared<ConsentOff>());
        }
        ReportsOwner owner(tree);
        const fs::path file = tree.packaged("kept");
        if (c.goneBefore) {
            fs::remove(file);
        }
        EXPECT_FALSE(owner.reports.uploadPackagedReportAtPath(file, false)) << c.what;
        EXPECT_FALSE(owner.reports.uploadPackagedReportAtPath(file, true)) << c.what;
        tree.queue()->waitUntilAllOperationsAreFinished();
        EXPECT_EQ(fs::exists(file), c.keptAfter) << c.what;
        if (!c.consent) {
            kit::ApplicationDefaults::setStandard(previous);
        }
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(server.requestCount(), 0u);
}

kit::URLRequest upload(const std::string& url, double timeout = 10.0) {
    kit::URLRequest request = kit::test::requestFor(url, timeout);
    request.HTTPMethod = "POST";
    request.setValue("application/octet-stream", "Content-Type");
    return request;
}

TEST(crashNetworkClient, ARetryAfterOfThirtySecondsIsHonoured) {
    Tree tree;
    int served = 0;
    std::mutex mutex;
    LoopbackTlsServer server(TestPki::shared().leafA, [&](const RecordedRequest&) {
        std::lock_guard lock(mutex);
        return ++served == 1 ? kit::test::answer(503, {{"Retry-After", "30"}})
                             : kit::test::answer(200);
    });
    Recorder recorder;
    WRKNetworkClient client(tree.queue(), tree.files(), &recorder, tree.seams());
    const fs::path file = tree.packaged("retry");
    client.startUploadRequest(upload(server.url("/up")), file, false);
    ASSERT_TRUE(server.waitForRequests(1));
    ASSERT_TRUE(eventually([&] { return tree.clock().pendingTimers() == 1; }));
    tree.clock().advance(29s);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(server.requestCount(), 1u) << "not before the server's time";
    EXPECT_TRUE(recorder.finished().empty());
    tree.clock().advance(1s);
    ASSERT_TRUE(server.waitForRequests(2));
    ASSERT_TRUE(eventually([&] { return !recorder.finished().empty(); }));
    EXPECT_EQ(recorder.finished()[0].path, file);
    EXPECT_FALSE(recorder.finished()[0].error);
}

// A server that keeps failing is given up after the last retry, with a failure reported:
// the file stays for its owner's next attempt.
TEST(crashNetworkClient, RetriesStopAtTheirLimitWithAFailure) {
    Tree tree;
    LoopbackTlsServer server(TestPki::shared().leafA,
                             [](const RecordedRequest&) { return kit::test::answer(503); });
    Recorder recorder;
    WRKNetworkClient client(tree.queue(), tree.files(), &recorder, tree.seams());
    const fs::path file = tree.packaged("failing");
    client.startUploadRequest(upload(server.url("/up")), file, false);
    std::vector<double> waits;
    for (int attempt = 1; attempt <= WRKNetworkClient::kRetryLimit; ++attempt) {
        ASSERT_TRUE(server.waitForRequests(static_cast<std::size_t>(attempt)));
        ASSERT_TRUE(eventually([&] { return tree.clock().pendingTimers() == 1; })) << attempt;
        const auto before = tree.clock().monotonic();
        while (server.requestCount() == static_cast<std::size_t>(attempt)) {
            tree.clock().advance(1s);
            std::this_thread::sleep_for(5ms);
            if (tree.clock().pendingTimers() == 0) {
                break;
            }
        }
        waits.push_back(std::chrono::duration<double>(tree.clock().monotonic() - before).count());
    }
    ASSERT_TRUE(server.waitForRequests(WRKNetworkClient::kRetryLimit + 1));
    ASSERT_TRUE(eventually([&] { return !recorder.finished().empty(); }));
    EXPECT_EQ(waits, (std::vector<double>{2, 4, 8, 16, 32}));
    const Finished outcome = recorder.finished().front();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain, WRKNetworkErrorDomain);
    EXPECT_EQ(outcome.error->code, WRKNetworkErrorRetryLimit);
    EXPECT_TRUE(fs::exists(file));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(server.requestCount(), WRKNetworkClient::kRetryLimit + 1u);
    EXPECT_EQ(tree.clock().pendingTimers(), 0u);
}

TEST(crashNetworkClient, AFileAlreadyBeingSentIsNotSentTwice) {
    Tree tree;
    LoopbackTlsServer server(TestPki::shared().leafA,
                             [](const RecordedRequest&) { return kit::test::held(); });
    Recorder recorder;
    WRKNetworkClient client(tree.queue(), tree.files(), &recorder, tree.seams());
    const fs::path file = tree.packaged("once");
    client.startUploadRequest(upload(server.url("/up")), file, false);
    client.startUploadRequest(upload(server.url("/up")), file, false);
    ASSERT_TRUE(server.waitForRequests(1));
    tree.queue()->waitUntilAllOperationsAreFinished();
    server.release();
    ASSERT_TRUE(eventually([&] { return !recorder.finished().empty(); }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(recorder.finished().size(), 1u);
}

// Refusals that send nothing: a file outside the report root, an unreadable file (reported
// as such), and an urgent upload the server fails (nothing reported, the file stays).
TEST(crashNetworkClient, RefusalsAndFailuresOfUrgentUploads) {
    Tree tree;
    LoopbackTlsServer server(TestPki::shared().leafA,
                             [](const RecordedRequest&) { return kit::test::answer(500); });
    Recorder recorder;
    WRKNetworkClient client(tree.queue(), tree.files(), &recorder, tree.seams());
    EXPECT_FALSE(client.supportsBackgroundRequests()) << "no session outlives the process";

    test::TempFolder elsewhere("crash-elsewhere");
    const fs::path outside = elsewhere.path() / "x.multipartmime";
    test::writeFile(outside, "body");
    EXPECT_EQ(client.taskDescriptionForPath(outside), std::nullopt);
    client.startUploadRequest(upload(server.url("/up")), outside, false);

    const fs::path missing = tree.files().preparedPath() / "gone.multipartmime";
    client.startUploadRequest(upload(server.url("/up")), missing, false);
    ASSERT_TRUE(eventually([&] { return recorder.finished().size() == 1; }));
    const Finished unreadable = recorder.finished().front();
    EXPECT_EQ(unreadable.path, missing);
    ASSERT_TRUE(unreadable.error);
    EXPECT_EQ(unreadable.error->code, WRKNetworkErrorUnreadableFile);
    EXPECT_EQ(unreadable.error->userInfo.at("path"), missing.string());

    const fs::path urgent = tree.packaged("urgent");
    client.startUploadRequest(upload(server.url("/up"), 2.0), urgent, true);
    EXPECT_EQ(server.requestCount(), 1u) << "sent before the call returned";
    tree.queue()->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(recorder.finished().size(), 1u);
    EXPECT_TRUE(fs::exists(urgent));
    EXPECT_EQ(tree.clock().pendingTimers(), 0u) << "an urgent upload is not retried";
}

// ---- What counts as sent, and to whom ----

kit::test::ScriptedResponse withStatus(kit::test::ScriptedResponse response, int status) {
    response.status = status;
    return response;
}

// A report is removed only once the service acknowledged it: a success whose body, if any,
// is the JSON it announces. A reply cut off, past the cap, or anything else leaves the
// packaged file for a later try, whether it was sent urgently (one blocking request) or not.
TEST(crashReportUpload, OnlyAnAcknowledgedReportIsRemoved) {
    using kit::test::withBody;
    struct Case {
        const char* what;
        kit::test::ScriptedResponse reply;
        bool removed;
    };
    const Case cases[] = {
        {"an empty JSON object", accepted(), true},
        {"201 and a JSON document",
         withStatus(withBody(R"({"id":"r-1"})", "application/json"), 201), true},
        {"JSON without end, in chunks", kit::test::endless(), false},
        {"a gigabyte of JSON announced",
         [] {
             kit::test::ScriptedResponse reply = kit::test::streamed(std::uint64_t{1} << 30);
             reply.contentType = "application/json";
             return reply;
         }(),
         false},
        {"cut off, its length announced", kit::test::cutOff(4096, 1024), false},
        {"cut off, in chunks", kit::test::cutOff(std::nullopt, 1024), false},
        {"a portal's page labelled JSON",
         withBody("<html>Sign in to use this network</html>", "application/json"), false},
        {"a web page", withBody("<html>Sign in</html>", "text/html"), false},
        {"203, not a success", withStatus(accepted(), 203), false},
    };
    for (const bool urgent : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (urgent ? ", urgent" : ""));
            Tree tree;
            LoopbackTlsServer server(TestPki::shared().leafA,
                                     [&c](const RecordedRequest&) { return c.reply; });
            ScopedEnv endpoint("WreckordReportsEndpoint", server.url(""));
            ReportsOwner owner(tree);
            const fs::path file = tree.packaged("acknowledged");
            ASSERT_TRUE(owner.reports.uploadPackagedReportAtPath(file, urgent));
            ASSERT_TRUE(server.waitForRequests(1));
            if (!urgent) {
                // Its end, or the wait before trying a reply cut off again.
                ASSERT_TRUE(eventually([&] {
                    return !owner.completed().empty() || tree.clock().pendingTimers() > 0;
                }));
            }
            tree.queue()->waitUntilAllOperationsAreFinished();
            EXPECT_EQ(fs::exists(file), !c.removed);
            const std::vector<Finished> completed = owner.completed();
            EXPECT_EQ(!completed.empty() && !completed[0].error, c.removed);
            // Past the cap the client hung up: the server would have gone on to 64 MiB.
            EXPECT_LT(server.streamedBytesSent(), 16u << 20);
        }
    }
}

// With roots pinned in the kit's configuration only a server whose chain ends in one of
// them gets a report; another never sees a byte of it, and the report stays. Nothing
// pinned: the default handling (here trusting both test roots), as before; debug mode
// skips the pins.
TEST(crashNetworkClient, PinnedRootsDecideWhichServerGetsAReport) {
    const TestPki& pki = TestPki::shared();
    test::TempFolder folder("crash-pins");
    const std::string pinA = (folder.path() / "root-a.pem").string();
    const std::string noCertificate = (folder.path() / "none.pem").string();
    test::writeFile(pinA, pki.rootAPEM);
    test::writeFile(noCertificate, "no certificate here\n");
    struct Case {
        const char* what;
        const kit::test::TestIdentity* server;
        std::optional<std::string> pins;
        bool debug;
        bool sent;
    };
    const Case cases[] = {
        {"root A pinned, a server under A", &pki.leafA, pinA, false, true},
        {"root A pinned, a server under B", &pki.leafB, pinA, false, false},
        {"nothing pinned, a server under B", &pki.leafB, std::nullopt, false, true},
        {"a pin file without a certificate", &pki.leafA, noCertificate, false, false},
        {"debug mode, a server under B", &pki.leafB, pinA, true, true},
    };
    for (const bool urgent : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (urgent ? ", urgent" : ""));
            Tree tree;
            LoopbackTlsServer server(*c.server, acceptingAll());
            ScopedEnv pins("ServicePinnedCertificates", c.pins);
            WRKNetworkClientSeams seams = tree.seams();
            seams.anchorsPEM = pki.rootAPEM + pki.rootBPEM;
            seams.debug = [debug = c.debug] { return debug; };
            Recorder recorder;
            WRKNetworkClient client(tree.queue(), tree.files(), &recorder, seams);
            const fs::path file = tree.packaged("pinned");
            client.startUploadRequest(upload(server.url("/up")), file, urgent);
            if (!urgent) {
                ASSERT_TRUE(eventually([&] { return !recorder.finished().empty(); }));
            }
            tree.queue()->waitUntilAllOperationsAreFinished();
            EXPECT_EQ(server.requestCount(), c.sent ? 1u : 0u);
            const std::vector<Finished> finished = recorder.finished();
            if (urgent) {
                EXPECT_EQ(finished.size(), c.sent ? 1u : 0u) << "only a success is told";
                continue;
            }
            ASSERT_EQ(finished.size(), 1u);
            EXPECT_EQ(finished[0].error.has_value(), !c.sent);
            if (!c.sent) {
                EXPECT_EQ(finished[0].error->code, keys::NSURLErrorServerCertificateUntrusted);
                EXPECT_EQ(tree.clock().pendingTimers(), 0u)
                    << "a refused server is not tried again";
            }
        }
    }
}

// ---- The controller's life cycle of report folders ----

constexpr char kCurrent[] = "c0ffee00c0ffee00c0ffee00c0ffee00";

// A run's folder as the capture leaves it: metadata, and a signal record when it crashed.
void makeRun(const Tree& tree, const fs::path& parent, const std::string& name, bool crashed) {
    const fs::path folder = parent / name;
    fs::create_directories(folder);
    WRKContextInitData data;
    data.apiKey = "key-1";
    data.sessionID = name.c_str();
    data.installID = "install";
    data.application.bundleID = kBundle;
    ASSERT_TRUE(WRKContextRecordMetadata((folder / WRKReportMetadataFile).c_str(), data));
    if (crashed) {
        test::writeFile(folder / "signal.clsrecord",
                        "{\"signal\":{\"number\":11,\"time\":1700000000}}\n");
    }
    (void)tree;
}

class FakeOwner : public WRKCrashReportingControllerDelegate {
  public:
    std::string document = "{}";
    bool inform = false;
    bool submit = true;
    std::vector<std::string> detected;
    WRKSettings settingsForCrashReportingController() override {
        return WRKSettings(kit::json::parse(document));
    }
    bool reportingControllerMustInformDelegateOfReports() override { return inform; }
    bool reportingControllerCanUseBackgroundSessions() override { return false; }
    void reportingControllerInternalDidDetectReportForLastExecution(
        const WRKInternalReport& report) override {
        detected.push_back(report.identifier());
    }
    void reportingControllerDidDetectReportForLastExecution(
        const WRKInternalReport&, std::function<void(bool)> completion) override {
        completion(!inform || submit);
    }
};

WRKCaptureIdentity identity() {
    WRKCaptureIdentity identity;
    identity.apiKey = "key-1";
    identity.executionIdentifier = kCurrent;
    identity.bundleIdentifier = kBundle;
    return identity;
}

WRKCrashReportingControllerSeams controllerSeams(Tree& tree) {
    WRKCrashReportingControllerSeams seams;
    seams.clock = &tree.clock();
    seams.debug = [] { return false; };
    seams.network = tree.seams();
    return seams;
}

// Lets the controller's queued work and main-queue turns run out.
void settle(WRKCrashReportingController& controller) {
    for (int round = 0; round < 3; ++round) {
        controller.operationQueue()->waitUntilAllOperationsAreFinished();
        kit::DispatchQueue::drainMain();
    }
    controller.operationQueue()->waitUntilAllOperationsAreFinished();
}

// The folder tree before and after one start, without a reports endpoint (so packaged
// reports stay in "prepared").
TEST(crashReportingController, EachEarlierFolderGoesWhereItsStateSays) {
    ScopedEnv endpoint("WreckordReportsEndpoint", std::nullopt);
    struct Case {
        const char* what;
        const char* document;
        bool inform, submit;
        std::vector<std::pair<const char*, bool>> active;      // name, crashed
        std::vector<std::pair<const char*, bool>> processing;  // name, crashed
        std::size_t prepared;                                  // packaged files after
        std::vector<std::string> activeAfter;                  // besides the current run
        std::vector<std::string> processingAfter;
        std::vector<std::string> detected;
    };
    const Case cases[] = {
        {"nothing to send", "{}", false, true, {{"a1", false}}, {}, 0, {}, {}, {}},
        {"a crash is processed and packaged",
         "{}",
         false,
         true,
         {{"a1", true}},
         {},
         1,
         {},
         {},
         {"a1"}},
        {"the delegate declines", "{}", true, false, {{"a1", true}}, {}, 0, {}, {}, {"a1"}},
        {"the delegate agrees",
         "{}",
         true,
         true,
         {{"a1", true}, {"a2", true}},
         {},
         2,
         {},
         {},
         {"a1", "a2"}},
        {"a run stopped while processing", "{}", false, true, {}, {{"p1", true}}, 1, {}, {}, {}},
        {"packaging switched off", R"({})", false, true, {{"a1", true}}, {}, 0, {}, {"a1"}, {"a1"}},
        {"reporting switched off",
         R"({"features":{"collect_reports":false}})",
         false,
         true,
         {{"a1", true}},
         {{"p1", true}},
         0,
         {},
         {},
         {}},
    };
    for (const Case& c : cases) {
        Tree tree;
        ScopedEnv package("WreckordPackageReports", std::string(c.what) == "packaging switched off"
                                                        ? std::optional<std::string>("NO")
                                                        : std::nullopt);
        for (const auto& [name, crashed] : c.active) {
            makeRun(tree, tree.files().activePath(), name, crashed);
        }
        for (const auto& [name, crashed] : c.processing) {
            makeRun(tree, tree.files().processingPath(), name, crashed);
        }
        tree.packaged("left-by-an-earlier-run");
        FakeOwner owner;
        owner.document = c.document;
        owner.inform = c.inform;
        owner.submit = c.submit;
        {
            WRKCrashReportingController controller(tree.files(), &owner, controllerSeams(tree));
            controller.start(identity(), WRKProfilingStart());
            settle(controller);
        }
        std::vector<std::string> active = tree.entries(tree.files().activePath());
        std::erase(active, std::string(kCurrent));
        EXPECT_EQ(active, c.activeAfter) << c.what;
        EXPECT_EQ(tree.entries(tree.files().processingPath()), c.processingAfter) << c.what;
        const bool off = std::string(c.what) == "reporting switched off";
        EXPECT_EQ(tree.entries(tree.files().preparedPath()).size(), c.prepared + (off ? 0 : 1))
            << c.what;
        EXPECT_EQ(owner.detected, c.detected) << c.what;
    }
}

// A folder whose run still holds its lock is another instance's: left as it is. Once the
// lock is let go, the next start sends it.
TEST(crashReportingController, AFolderOfARunningInstanceIsLeftAlone) {
    ScopedEnv endpoint("WreckordReportsEndpoint", std::nullopt);
    Tree tree;
    makeRun(tree, tree.files().activePath(), "alive", true);
    FakeOwner owner;
    const fs::path lock = tree.files().structurePath() / ".locks" / "alive.lock";
    fs::create_directories(lock.parent_path());
    const int held = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    {
        WRKCrashReportingController controller(tree.files(), &owner, controllerSeams(tree));
        EXPECT_TRUE(controller.isRunFolderInUse(tree.files().activePath() / "alive"));
        controller.start(identity(), WRKProfilingStart());
        settle(controller);
    }
    EXPECT_TRUE(fs::exists(tree.files().activePath() / "alive" / "signal.clsrecord"));
    EXPECT_TRUE(tree.entries(tree.files().preparedPath()).empty());
    EXPECT_TRUE(owner.detected.empty());

    ::close(held);
    {
        WRKCrashReportingController controller(tree.files(), &owner, controllerSeams(tree));
        controller.start(identity(), WRKProfilingStart());
        settle(controller);
    }
    EXPECT_FALSE(fs::exists(tree.files().activePath() / "alive"));
    EXPECT_FALSE(fs::exists(lock));
    EXPECT_EQ(tree.entries(tree.files().preparedPath()).size(), 1u);
}

// A launch marker left by the last run: its reports are sent during the start, before it
// returns; the marker goes at the first turn of the main queue.
TEST(crashReportingController, AfterAnEarlyDeathReportsAreSentAtOnce) {
    Tree tree;
    LoopbackTlsServer server(TestPki::shared().leafA, acceptingAll());
    ScopedEnv endpoint("WreckordReportsEndpoint", server.url(""));
    makeRun(tree, tree.files().activePath(), "early", true);
    const fs::path marker = tree.files().structurePath() / WRKLaunchMarkerName;
    test::writeFile(marker, "");
    FakeOwner owner;
    WRKCrashReportingController controller(tree.files(), &owner, controllerSeams(tree));
    controller.start(identity(), WRKProfilingStart());
    EXPECT_EQ(server.requestCount(), 1u) << "sent synchronously";
    EXPECT_TRUE(fs::exists(marker));
    settle(controller);
    EXPECT_FALSE(fs::exists(marker));
    ASSERT_TRUE(eventually([&] { return tree.entries(tree.files().preparedPath()).empty(); }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests().front().path, kReportsPath);
}

// A failed upload is tried again after ten minutes, and the packaged file goes once it
// got through.
TEST(crashReportingController, AFailedUploadIsRetriedAfterTenMinutes) {
    Tree tree;
    std::mutex mutex;
    int served = 0;
    LoopbackTlsServer server(TestPki::shared().leafA, [&](const RecordedRequest&) {
        std::lock_guard lock(mutex);
        return ++served == 1 ? kit::test::answer(400) : accepted();
    });
    ScopedEnv endpoint("WreckordReportsEndpoint", server.url(""));
    const fs::path file = tree.packaged("retried");
    FakeOwner owner;
    WRKCrashReportingController controller(tree.files(), &owner, controllerSeams(tree));
    controller.start(identity(), WRKProfilingStart());
    // The first start in a process also sets the check of its handlers on this clock.
    const std::size_t timers = tree.clock().pendingTimers();
    settle(controller);
    ASSERT_TRUE(server.waitForRequests(1));
    ASSERT_TRUE(eventually([&] { return tree.clock().pendingTimers() == timers + 1; }));
    settle(controller);
    tree.clock().advance(599s);
    settle(controller);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_TRUE(fs::exists(file));
    tree.clock().advance(1s);
    ASSERT_TRUE(server.waitForRequests(2));
    ASSERT_TRUE(eventually([&] { return !fs::exists(file); }));
}

// The question before sending: two or three buttons, one question at a time, and the
// answer holding for the rest of the run.
TEST(crashReportingController, TheUserIsAskedBeforeSending) {
    ScopedEnv endpoint("WreckordReportsEndpoint", std::nullopt);
    struct Asked {
        WRKPromptTexts texts;
        std::function<void(bool, bool)> answer;
    };
    std::vector<Asked> asked;
    WRKCrashReportingController::setPermissionPrompt(
        [&](const WRKPromptTexts& texts, std::function<void(bool, bool)> answer) {
            asked.push_back({texts, std::move(answer)});
        });
    struct Case {
        const char* what;
        const char* document;
        bool submit, always;
        std::size_t buttons;
        std::size_t prepared;
        WRKCrashReportingController::PromptChoice choice;
    };
    const Case cases[] = {
        {"declined", R"({"features":{"prompt_enabled":true}})", false, false, 3, 0,
         WRKCrashReportingController::Declined},
        {"sent once", R"({"features":{"prompt_enabled":true}})", true, false, 3, 2,
         WRKCrashReportingController::Send},
        {"always sent, two buttons",
         R"({"features":{"prompt_enabled":true},"prompt":{"always_send_button_title":""}})", true,
         true, 2, 2, WRKCrashReportingController::AlwaysSend},
    };
    for (const Case& c : cases) {
        asked.clear();
        Tree tree;
        makeRun(tree, tree.files().activePath(), "a1", true);
        makeRun(tree, tree.files().activePath(), "a2", true);
        FakeOwner owner;
        owner.document = c.document;
        WRKCrashReportingController controller(tree.files(), &owner, controllerSeams(tree));
        controller.start(identity(), WRKProfilingStart());
        settle(controller);
        ASSERT_EQ(asked.size(), 1u) << c.what << ": one question at a time";
        const WRKPromptTexts& texts = asked[0].texts;
        EXPECT_EQ(texts.title, "Send Crash Report?");
        EXPECT_EQ(texts.send, "Send");
        EXPECT_EQ(texts.cancel, "Don't Send");
        EXPECT_EQ(texts.alwaysSend.empty() ? 2u : 3u, c.buttons) << c.what;
        EXPECT_EQ(controller.promptChoice(), WRKCrashReportingController::NotAsked);
        asked[0].answer(c.submit, c.always);
        settle(controller);
        EXPECT_EQ(asked.size(), 1u) << c.what << ": the answer settles the second report too";
        EXPECT_EQ(controller.promptChoice(), c.choice) << c.what;
        std::vector<std::string> active = tree.entries(tree.files().activePath());
        std::erase(active, std::string(kCurrent));
        EXPECT_TRUE(active.empty()) << c.what;
        EXPECT_EQ(tree.entries(tree.files().preparedPath()).size(), c.prepared) << c.what;
    }
    WRKCrashReportingController::setPermissionPrompt({});
}

// Who can answer the question before sending: the program's own dialog counts (it used to
// be told at every start that a prompt was its responsibility).
TEST(crashReportingController, TheProgramsDialogCanAskTheUser) {
    struct Case {
        const char* what;
        bool dialog, delegateInformed, canAsk;
    };
    const Case cases[] = {
        {"the program's dialog", true, false, true},
        {"the application's delegate", false, true, true},
        {"both", true, true, true},
        {"neither", false, false, false},
    };
    for (const Case& c : cases) {
        WRKCrashReportingController::setPermissionPrompt(
            c.dialog
                ? WRKPermissionPrompt([](const WRKPromptTexts&, std::function<void(bool, bool)>) {})
                : WRKPermissionPrompt());
        Tree tree;
        FakeOwner owner;
        owner.inform = c.delegateInformed;
        WRKCrashReportingController controller(tree.files(), &owner, controllerSeams(tree));
        EXPECT_EQ(controller.canAskTheUser(), c.canAsk) << c.what;
    }
    WRKCrashReportingController::setPermissionPrompt({});
}

// ---- The crash event for a host analytics library ----

// A host analytics library that keeps what it is told.
class HostAnalytics final : public kit::TLYHostAnalytics {
  public:
    struct Call {
        std::string origin;
        std::string name;
        kit::JsonObject parameters;
    };
    void logInternalEventWithOrigin(const std::string& origin, const std::string& name,
                                    const kit::JsonObject& parameters) override {
        std::lock_guard lock(mutex_);
        calls_.push_back({origin, name, parameters});
    }
    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};

// A kit host of the test's own (its store in `folder`), in the given installation mode,
// with `library` registered as the program's host analytics; all put back afterwards.
class HostWithAnalytics {
  public:
    HostWithAnalytics(const fs::path& folder, bool configuredByHostLibrary,
                      std::shared_ptr<kit::TLYHostAnalytics> library)
        : store_(folder / "store") {
        auto bundle = std::make_shared<kit::MainBundle>(
            kit::PlistDictionary{{"CFBundleIdentifier", kBundle}}, folder);
        previous_ =
            kit::Trellis::setSharedSDK(std::make_unique<kit::Trellis>(bundle, store_, registry_));
        kit::Trellis::sharedSDK().setInstallationMode(
            configuredByHostLibrary ? kit::Trellis::Nimbus : kit::Trellis::Configured);
        kit::TLYNimbusAnalyticsBridge::registerNimbusAnalytics(std::move(library));
    }
    ~HostWithAnalytics() {
        kit::TLYNimbusAnalyticsBridge::registerNimbusAnalytics(nullptr);
        kit::Trellis::setSharedSDK(std::move(previous_));
    }

  private:
    kit::WRKUserDefaults store_;
    kit::KitRegistry registry_;
    std::unique_ptr<kit::Trellis> previous_;
};

kit::JsonObject crashEventParameters(std::int64_t milliseconds) {
    kit::JsonObject parameters;
    parameters.set("timestamp", milliseconds);
    parameters.set("_r", 1);
    parameters.set("fatal", 1);
    return parameters;
}

// A crash whose report was handed to the network is told to the program's host analytics
// library (at the crash's time, in milliseconds), but only when that library configured
// the kit host; a report without a crash, or one that is not sent, tells it nothing.
TEST(crashReportUpload, AnUploadedCrashIsToldToTheHostAnalyticsLibrary) {
    LoopbackTlsServer server(TestPki::shared().leafA, acceptingAll());
    struct Case {
        const char* what;
        bool configuredByHostLibrary;
        bool registered;
        const char* crashFile;  // none: only a recorded error
        bool endpoint;
        std::size_t events;
    };
    const Case cases[] = {
        {"a signal crash", true, true, "signal.clsrecord", true, 1},
        {"a crash recorded only as an exception", true, true, "exception.clsrecord", true, 1},
        {"only a recorded error", true, true, nullptr, true, 0},
        {"a host configured from its own file", false, true, "signal.clsrecord", true, 0},
        {"no host library in the program", true, false, "signal.clsrecord", true, 0},
        {"not sent: no endpoint", true, true, "signal.clsrecord", false, 0},
    };
    std::size_t expectedRequests = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Tree tree;
        ScopedEnv endpoint("WreckordReportsEndpoint",
                           c.endpoint ? std::optional<std::string>(server.url("")) : std::nullopt);
        auto library = std::make_shared<HostAnalytics>();
        test::TempFolder hostFolder("crash-event-host");
        HostWithAnalytics host(hostFolder.path(), c.configuredByHostLibrary,
                               c.registered ? library : std::shared_ptr<HostAnalytics>());
        const fs::path folder = tree.files().activePath() / "a1";
        makeRun(tree, tree.files().activePath(), "a1", false);
        const bool signalCrash =
            c.crashFile != nullptr && std::string_view(c.crashFile) == "signal.clsrecord";
        if (signalCrash) {
            test::writeFile(folder / c.crashFile,
                            "{\"signal\":{\"number\":11,\"time\":1700000000}}\n");
        } else if (c.crashFile != nullptr) {
            test::writeFile(folder / c.crashFile, "{\"exception\":{\"type\":\"cpp\"}}\n");
        } else {
            test::writeFile(folder / "errors_a.clsrecord", "{\"error\":{\"code\":3}}\n");
        }
        const auto report = WRKInternalReport::reportWithPath(folder);
        ASSERT_TRUE(report);
        const auto created = report->dateCreated();
        ASSERT_TRUE(created);
        ReportsOwner owner(tree);
        EXPECT_EQ(owner.reports.prepareAndSubmitReport(*report, false, false), c.endpoint);
        if (c.endpoint) {
            ++expectedRequests;
            ASSERT_TRUE(eventually([&] { return !owner.completed().empty(); }));
        }
        const std::vector<HostAnalytics::Call> calls = library->calls();
        ASSERT_EQ(calls.size(), c.events);
        if (!calls.empty()) {
            EXPECT_EQ(calls[0].origin, "clx");
            EXPECT_EQ(calls[0].name, "_ae");
            // The signal's time, else (an exception alone has none) the run's start.
            const std::int64_t when = c.crashFile == std::string_view("signal.clsrecord")
                                          ? 1'700'000'000'000
                                          : std::chrono::duration_cast<std::chrono::milliseconds>(
                                                created->time_since_epoch())
                                                .count();
            EXPECT_EQ(calls[0].parameters, crashEventParameters(when));
        }
    }
    EXPECT_EQ(server.requestCount(), expectedRequests);
}

// The time goes in whole milliseconds, rounded; the line about it only in debug mode.
TEST(crashReportUpload, TheCrashEventCarriesTheTimeInRoundedMilliseconds) {
    test::TempFolder folder("crash-event");
    auto library = std::make_shared<HostAnalytics>();
    HostWithAnalytics host(folder.path(), true, library);
    test::LogLines log;
    EXPECT_TRUE(WRKFCRAnalyticsLogCrashWithTimeStamp(1'700'000'000.0006, false));
    EXPECT_TRUE(log.lines().empty());
    EXPECT_TRUE(WRKFCRAnalyticsLogCrashWithTimeStamp(1'700'000'000.0004, true));
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{"[Wreckord:Crash:Reports:Event] Sending event."});
    const auto calls = library->calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].parameters, crashEventParameters(1'700'000'000'001));
    EXPECT_EQ(calls[1].parameters, crashEventParameters(1'700'000'000'000));
    kit::Trellis::sharedSDK().setInstallationMode(kit::Trellis::Configured);
    EXPECT_FALSE(WRKFCRAnalyticsLogCrashWithTimeStamp(1.0, true));
    EXPECT_EQ(library->calls().size(), 2u);
}

}  // namespace
}  // namespace talvor::crash
