#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "LoopbackTlsServer.h"
#include "NetworkTestSupport.h"
#include "kit/Operation.h"
#include "kit/network/NetworkKeys.h"
#include "kit/network/WRKURLSession.h"

namespace talvor::kit {
namespace {

using namespace std::chrono_literals;
using test::Awaited;
using test::LoopbackTlsServer;
using test::Outcome;
using test::RecordedRequest;
using test::ScriptedResponse;
using test::TestPki;

class KitSessionTest : public ::testing::Test {
  protected:
    void SetUp() override { test::keepRequestsOnThisMachine(); }

    LoopbackTlsServer server{TestPki::shared().leafA};
};

std::string sha256(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    return std::string(reinterpret_cast<char*>(digest), length);
}

TEST_F(KitSessionTest, SessionHeadersAreAddedBesideTheRequestsOwn) {
    auto configuration = test::loopbackConfiguration();
    configuration.HTTPAdditionalHeaders.setValue("X-Session", "kit");
    configuration.HTTPAdditionalHeaders.setValue("X-Both", "session");
    auto session = WRKURLSession::sessionWithConfiguration(configuration);
    URLRequest request = test::requestFor(server.url("/headers"));
    request.setValue("request", "x-both");
    request.setValue("mine", "X-Own");

    Awaited<Outcome> done;
    auto task = session->dataTaskWithRequest(
        request, [&](const std::string& data, const auto& response, const auto& error) {
            done.set({data, response, error});
        });
    EXPECT_EQ(task->originalRequest().valueForHTTPHeaderField("X-Both"), "request, session");
    task->resume();
    const auto outcome = done.get();
    ASSERT_TRUE(outcome);
    ASSERT_FALSE(outcome->error) << outcome->error->localizedDescription.value_or("");
    EXPECT_EQ(outcome->response->statusCode, 200);
    const RecordedRequest sent = server.requests().at(0);
    EXPECT_EQ(sent.header("X-Session"), "kit");
    EXPECT_EQ(sent.header("X-Both"), "request, session");
    EXPECT_EQ(sent.header("X-Own"), "mine");
}

TEST_F(KitSessionTest, CompletionsRunOnTheDelegateQueue) {
    auto given = std::make_shared<OperationQueue>("test delegate queue");
    auto delegate = std::make_shared<WRKURLSessionDelegate>();
    Awaited<bool> delegateOnQueue;
    Awaited<int> delegateStatus;
    delegate->didReceiveResponse = [&](const auto&, const HTTPURLResponse& response) {
        delegateStatus.set(static_cast<int>(response.statusCode));
    };
    delegate->didCompleteWithError = [&](const auto&, const auto&) {
        delegateOnQueue.set(OperationQueue::currentQueue() == given.get());
    };
    auto withQueue =
        WRKURLSession::sessionWithConfiguration(test::loopbackConfiguration(), delegate, given);
    auto withoutQueue = WRKURLSession::sessionWithConfiguration(test::loopbackConfiguration());
    ASSERT_NE(withoutQueue->delegateQueue(), nullptr);
    EXPECT_EQ(withoutQueue->delegateQueue()->maxConcurrentOperationCount(), 1);

    Awaited<bool> handlerOnGiven, handlerOnOwn;
    bool delegateToldOfHandlerTask = false;
    withQueue
        ->dataTaskWithRequest(test::requestFor(server.url("/a")),
                              [&](const auto&, const auto&, const auto&) {
                                  handlerOnGiven.set(OperationQueue::currentQueue() == given.get());
                              })
        ->resume();
    withoutQueue
        ->dataTaskWithRequest(test::requestFor(server.url("/b")),
                              [&](const auto&, const auto&, const auto&) {
                                  handlerOnOwn.set(OperationQueue::currentQueue() ==
                                                   withoutQueue->delegateQueue().get());
                              })
        ->resume();
    EXPECT_EQ(handlerOnGiven.get(), true);
    EXPECT_EQ(handlerOnOwn.get(), true);
    // A task with a completion handler does not also report to the delegate.
    delegateToldOfHandlerTask = delegateOnQueue.get(200ms).has_value();
    EXPECT_FALSE(delegateToldOfHandlerTask);

    withQueue->dataTaskWithRequest(test::requestFor(server.url("/c")))->resume();
    EXPECT_EQ(delegateOnQueue.get(), true);
    EXPECT_EQ(delegateStatus.get(), 200);
    given->waitUntilAllOperationsAreFinished();
}

TEST_F(KitSessionTest, LiveTasksAreListedUntilCompletedAndALabelInUseIsSkipped) {
    server.setScript([](const RecordedRequest&) { return test::held(); });
    auto session = WRKURLSession::sessionWithConfiguration(test::loopbackConfiguration());
    const std::string label = "prepared/report-1.multipart";
    std::atomic<int> completions = 0;
    auto startUnlessRunning = [&] {
        if (session->taskWithDescription(label)) {
            return false;
        }
        auto task = session->dataTaskWithRequest(
            test::requestFor(server.url("/upload")),
            [&](const auto&, const auto&, const auto&) { ++completions; });
        task->setTaskDescription(label);
        task->resume();
        return true;
    };

    EXPECT_TRUE(startUnlessRunning());
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_FALSE(startUnlessRunning());
    Awaited<std::size_t> listed;
    session->getTasksWithCompletionHandler(
        [&](const WRKURLSession::TaskLists& lists) { listed.set(lists.dataTasks.size()); });
    EXPECT_EQ(listed.get(), 1u);

    server.release();
    session->delegateQueue()->waitUntilAllOperationsAreFinished();
    for (int i = 0; i < 200 && completions == 0; ++i) {
        std::this_thread::sleep_for(10ms);
        session->delegateQueue()->waitUntilAllOperationsAreFinished();
    }
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(session->taskWithDescription(label), nullptr);
    EXPECT_TRUE(session->tasks().dataTasks.empty());
}

TEST_F(KitSessionTest, InvalidateAndCancelStopsEveryRunningTask) {
    server.setScript([](const RecordedRequest&) { return test::held(); });
    auto delegate = std::make_shared<WRKURLSessionDelegate>();
    auto session = WRKURLSession::sessionWithConfiguration(test::loopbackConfiguration(), delegate);
    Awaited<Outcome> first, second;
    auto handlerFor = [](Awaited<Outcome>& into) {
        return [&into](const std::string& data, const auto& response, const auto& error) {
            into.set({data, response, error});
        };
    };
    session->dataTaskWithRequest(test::requestFor(server.url("/1")), handlerFor(first))->resume();
    session->dataTaskWithRequest(test::requestFor(server.url("/2")), handlerFor(second))->resume();
    ASSERT_TRUE(server.waitForRequests(2));

    session->invalidateAndCancel();
    for (auto* outcome : {&first, &second}) {
        const auto result = outcome->get();
        ASSERT_TRUE(result);
        ASSERT_TRUE(result->error);
        EXPECT_EQ(result->error->domain, keys::NSURLErrorDomain);
        EXPECT_EQ(result->error->code, keys::NSURLErrorCancelled);
    }
}

TEST_F(KitSessionTest, AServerThatNeverAnswersTimesOut) {
    test::SilentListener silent;
    auto session = WRKURLSession::sessionWithConfiguration(test::loopbackConfiguration());
    Awaited<Outcome> done;
    const auto started = std::chrono::steady_clock::now();
    session
        ->dataTaskWithRequest(
            test::requestFor(silent.url("/never"), 0.3),
            [&](const std::string& data, const auto& response, const auto& error) {
                done.set({data, response, error});
            })
        ->resume();
    const auto outcome = done.get();
    ASSERT_TRUE(outcome);
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->code, keys::NSURLErrorTimedOut);
    EXPECT_FALSE(outcome->response);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

TEST_F(KitSessionTest, A50MegabyteBodyIsStreamedToAFileDeletedAfterTheHandler) {
    constexpr std::size_t kSize = 50u * 1024 * 1024;
    server.setScript([](const RecordedRequest&) { return test::streamed(kSize); });
    std::string expected(kSize, '\0');
    for (std::size_t i = 0; i < kSize; ++i) {
        expected[i] = test::patternByte(i);
    }
    const std::string expectedDigest = sha256(expected);
    expected = {};

    auto session = WRKURLSession::sessionWithConfiguration(test::loopbackConfiguration());
    Awaited<std::string> location;
    std::uintmax_t size = 0;
    std::string digest;
    // Far past the session's cap for the kit's own replies.
    URLRequest request = test::requestFor(server.url("/big"));
    request.maximumResponseBytes = kSize;
    session
        ->downloadTaskWithRequest(
            request,
            [&](const std::optional<std::string>& file, const auto& response, const auto& error) {
                EXPECT_FALSE(error);
                EXPECT_EQ(response ? response->statusCode : 0, 200);
                if (file) {
                    size = std::filesystem::file_size(*file);
                    std::ifstream in(*file, std::ios::binary);
                    digest = sha256(std::string(std::istreambuf_iterator<char>(in), {}));
                }
                location.set(file.value_or(""));
            })
        ->resume();
    const auto file = location.get(60s);
    ASSERT_TRUE(file);
    ASSERT_FALSE(file->empty());
    EXPECT_EQ(size, kSize);
    EXPECT_TRUE(digest == expectedDigest);
    session->delegateQueue()->waitUntilAllOperationsAreFinished();
    EXPECT_FALSE(std::filesystem::exists(*file));
}

// A cap on the reply stops the transfer as soon as the body passes it, whatever length
// the server announces (a streamed reply announces none).
TEST_F(KitSessionTest, AReplyLongerThanTheRequestsCapStopsTheTransfer) {
    struct Case {
        std::size_t bodyBytes;
        std::uint64_t cap;
        bool download;
        bool fits;
    };
    const Case cases[] = {
        {4096, 4096, true, true},   {4097, 4096, true, false},         {4096, 4096, false, true},
        {4097, 4096, false, false}, {8u << 20, 1u << 20, true, false},
    };
    auto session = WRKURLSession::sessionWithConfiguration(test::loopbackConfiguration());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bodyBytes) + (c.download ? " download" : " data"));
        server.setScript([&c](const RecordedRequest&) { return test::streamed(c.bodyBytes); });
        URLRequest request = test::requestFor(server.url("/capped"));
        request.maximumResponseBytes = c.cap;
        Awaited<Outcome> done;
        std::optional<std::uintmax_t> fileSize;
        if (c.download) {
            session
                ->downloadTaskWithRequest(request,
                                          [&](const std::optional<std::string>& file,
                                              const auto& response, const auto& error) {
                                              if (file) {
                                                  fileSize = std::filesystem::file_size(*file);
                                              }
                                              done.set({"", response, error});
                                          })
                ->resume();
        } else {
            session
                ->dataTaskWithRequest(
                    request,
                    [&](const std::string& data, const auto& response, const auto& error) {
                        done.set({data, response, error});
                    })
                ->resume();
        }
        const auto outcome = done.get(60s);
        ASSERT_TRUE(outcome);
        if (c.fits) {
            EXPECT_FALSE(outcome->error);
            EXPECT_EQ(c.download ? fileSize.value_or(0) : outcome->data.size(), c.bodyBytes);
            continue;
        }
        ASSERT_TRUE(outcome->error);
        EXPECT_EQ(outcome->error->domain, keys::NSURLErrorDomain);
        EXPECT_EQ(outcome->error->code, keys::NSURLErrorDataLengthExceedsMaximum);
        EXPECT_FALSE(fileSize) << "a reply cut short is never handed on";
    }
}

TEST_F(KitSessionTest, AnUploadSendsTheFileItselfWithItsOwnLength) {
    const auto file = std::filesystem::temp_directory_path() /
                      ("talvor-upload-" + std::to_string(::getpid()) + ".bin");
    std::string bytes(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = test::patternByte(i * 7);
    }
    std::ofstream(file, std::ios::binary) << bytes;
    auto session = WRKURLSession::sessionWithConfiguration(test::loopbackConfiguration());
    URLRequest request = test::requestFor(server.url("/reports"));
    request.HTTPMethod = "POST";
    request.setValue("12", "Content-Length");  // a wrong length of the caller's is not sent
    request.setValue("application/octet-stream", "Content-Type");
    Awaited<Outcome> done;
    session
        ->uploadTaskWithRequest(
            request, file.string(),
            [&](const std::string& data, const auto& response, const auto& error) {
                done.set({data, response, error});
            })
        ->resume();
    const auto outcome = done.get();
    std::filesystem::remove(file);
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->error);
    EXPECT_EQ(outcome->response ? outcome->response->statusCode : 0, 200);
    ASSERT_EQ(server.requestCount(), 1u);
    const RecordedRequest sent = server.requests().at(0);
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.header("Content-Length"), std::to_string(bytes.size()));
    EXPECT_EQ(sent.body.size(), bytes.size());
    EXPECT_TRUE(sha256(sent.body) == sha256(bytes));

    // The same through one blocking request, as an urgent report is sent.
    std::ofstream(file, std::ios::binary) << bytes;
    const auto result =
        WRKURLSession::sendSynchronousRequest(request, test::loopbackConfiguration(), file);
    std::filesystem::remove(file);
    EXPECT_FALSE(result.error);
    ASSERT_TRUE(result.response);
    EXPECT_EQ(result.response->statusCode, 200);
    ASSERT_EQ(server.requestCount(), 2u);
    EXPECT_EQ(server.requests().at(1).body.size(), bytes.size());
}

TEST(KitUrlErrorMappingTest, CurlResultsBecomeThePlatformsCodes) {
    struct Case {
        int curl;
        std::int64_t code;
    };
    const Case cases[] = {
        {6, keys::NSURLErrorCannotFindHost},               // could not resolve host
        {7, keys::NSURLErrorCannotConnectToHost},          // could not connect
        {28, keys::NSURLErrorTimedOut},                    // timed out
        {55, keys::NSURLErrorNetworkConnectionLost},       // send error
        {56, keys::NSURLErrorNetworkConnectionLost},       // receive error
        {52, keys::NSURLErrorNetworkConnectionLost},       // got nothing
        {18, keys::NSURLErrorNetworkConnectionLost},       // partial file
        {3, keys::NSURLErrorBadURL},                       // malformed URL
        {1, keys::NSURLErrorUnsupportedURL},               // unsupported protocol
        {47, keys::NSURLErrorHTTPTooManyRedirects},        // too many redirects
        {35, keys::NSURLErrorSecureConnectionFailed},      // TLS connect error
        {60, keys::NSURLErrorServerCertificateUntrusted},  // peer failed verification
        {42, keys::NSURLErrorCancelled},                   // aborted by callback
        {23, keys::NSURLErrorCannotWriteToFile},           // write error
        {2, keys::NSURLErrorUnknown},                      // failed init
    };
    for (const auto& c : cases) {
        EXPECT_EQ(urlErrorCodeForCurlCode(c.curl), c.code) << "curl " << c.curl;
    }
}

TEST(KitSessionConfigurationTest, BackgroundSessionsDoNotExistHere) {
    EXPECT_FALSE(WRKURLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(
        "com.quillon.wreckord.mac.crash.background-session"));
    EXPECT_EQ(WRKURLSession::sessionWithConfiguration(std::nullopt), nullptr);
}

}  // namespace
}  // namespace talvor::kit
