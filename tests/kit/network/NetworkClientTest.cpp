#include <gtest/gtest.h>

#include <thread>

#include "../LogCapture.h"
#include "../ManualClock.h"
#include "LoopbackTlsServer.h"
#include "NetworkTestSupport.h"
#include "kit/network/NetworkKeys.h"
#include "kit/network/TRLNetworkClient.h"

namespace talvor::kit {
namespace {

using namespace std::chrono_literals;
using test::Awaited;
using test::LoopbackTlsServer;
using test::Outcome;
using test::RecordedRequest;
using test::ScriptedResponse;
using test::TestPki;

class KitNetworkClientTest : public ::testing::Test {
  protected:
    void SetUp() override { test::keepRequestsOnThisMachine(); }

    std::unique_ptr<TRLNetworkClient> makeClient() {
        return TRLNetworkClient::initWithSessionConfiguration(
            test::loopbackConfiguration(), nullptr, std::nullopt,
            TRLNetworkClient::Seams{&clock, &random, [] { return false; }});
    }
    // Waits (in real time, bounded) until the client has set its retry timer.
    bool waitForRetryTimer() {
        for (int i = 0; i < 1000; ++i) {
            if (clock.pendingTimers() > 0) {
                return true;
            }
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    test::ManualClock clock;
    test::FixedRandom random{0.5};  // a jitter of 1
    LoopbackTlsServer server{TestPki::shared().leafA};
};

std::function<void(const std::string&, const std::optional<HTTPURLResponse>&,
                   const std::optional<KitError>&)>
into(Awaited<Outcome>& done) {
    return [&done](const std::string& data, const auto& response, const auto& error) {
        done.set({data, response, error});
    };
}

TEST_F(KitNetworkClientTest, RetryAfterThirtyIsWaitedOnTheClockBeforeTheNextAttempt) {
    server.setScript([this](const RecordedRequest&) {
        if (server.requestCount() == 1) {
            return test::answer(429, {{"Retry-After", "30"}});
        }
        return test::withBody("{}", "application/json");
    });
    auto client = makeClient();
    URLRequest request = test::requestFor(server.url("/settings"));
    request.setValue("application/json", "Accept");
    Awaited<Outcome> done;
    client->startDataTaskWithRequest(request, into(done));

    ASSERT_TRUE(server.waitForRequests(1));
    ASSERT_TRUE(waitForRetryTimer());
    clock.advance(29s);
    EXPECT_FALSE(server.waitForRequests(2, 100ms)) << "retried before the server's 30 s";
    clock.advance(2s);
    ASSERT_TRUE(server.waitForRequests(2));
    const auto outcome = done.get();
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->error);
    EXPECT_EQ(outcome->data, "{}");
    EXPECT_EQ(done.calls(), 1);
}

TEST_F(KitNetworkClientTest, TheRetryLimitEndsInAReportedFailure) {
    server.setScript([](const RecordedRequest&) { return test::answer(503); });
    auto client = makeClient();
    Awaited<Outcome> done;
    const std::string url = server.url("/events");
    client->startDataTaskWithRequest(test::requestFor(url), 1, into(done));

    ASSERT_TRUE(server.waitForRequests(1));
    ASSERT_TRUE(waitForRetryTimer());
    clock.advance(1900ms);
    EXPECT_FALSE(server.waitForRequests(2, 100ms));
    clock.advance(200ms);  // about 2 s without a Retry-After
    const auto outcome = done.get();
    ASSERT_TRUE(outcome);
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->domain, keys::TRLNetworkErrorDomain);
    EXPECT_EQ(outcome->error->code, keys::TRLNetworkErrorRetryLimit);
    EXPECT_EQ(outcome->error->userInfo.at("retryLimit"), "1");
    EXPECT_EQ(outcome->error->userInfo.at(keys::NSURLErrorFailingURLStringErrorKey), url);
    EXPECT_FALSE(outcome->response);
    EXPECT_EQ(server.requestCount(), 2u);  // a limit of 1: one attempt and one retry
    EXPECT_EQ(clock.pendingTimers(), 0u);
}

TEST_F(KitNetworkClientTest, ACancelledRequestIsNotTriedAgain) {
    server.setScript([](const RecordedRequest&) { return test::held(); });
    auto client = makeClient();
    Awaited<Outcome> done;
    client->startDataTaskWithRequest(test::requestFor(server.url("/events")), into(done));
    ASSERT_TRUE(server.waitForRequests(1));
    client->invalidateAndCancel();
    const auto outcome = done.get();
    ASSERT_TRUE(outcome && outcome->error);
    EXPECT_EQ(outcome->error->domain, keys::NSURLErrorDomain);
    EXPECT_EQ(outcome->error->code, keys::NSURLErrorCancelled);
    EXPECT_EQ(clock.pendingTimers(), 0u);
    EXPECT_EQ(done.calls(), 1);
}

TEST_F(KitNetworkClientTest, AWrongContentTypeFailsAtOnce) {
    server.setScript([](const RecordedRequest&) { return test::withBody("<html/>", "text/html"); });
    auto client = makeClient();
    URLRequest request = test::requestFor(server.url("/settings"));
    request.setValue("application/json", "Accept");
    Awaited<Outcome> done;
    client->startDataTaskWithRequest(request, into(done));
    const auto outcome = done.get();
    ASSERT_TRUE(outcome && outcome->error);
    EXPECT_EQ(outcome->error->code, keys::TRLNetworkErrorFailed);
    EXPECT_EQ(outcome->error->userInfo.at("status_code"), "200");
    EXPECT_EQ(outcome->error->userInfo.at("content_type"), "text/html");
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(clock.pendingTimers(), 0u);
}

TEST_F(KitNetworkClientTest, WithoutAnEndpointNothingIsSentAndThatIsSaidOnce) {
    test::LogCapture log;
    auto client = makeClient();
    Awaited<Outcome> first, second;
    client->startDataTaskWithRequest(test::requestFor(""), into(first));
    client->startDownloadTaskWithRequest(test::requestFor(""),
                                         [&](const auto&, const auto& response, const auto& error) {
                                             second.set({{}, response, error});
                                         });
    for (auto* outcome : {&first, &second}) {
        const auto result = outcome->get();
        ASSERT_TRUE(result && result->error);
        EXPECT_EQ(result->error->domain, keys::TRLNetworkErrorDomain);
        EXPECT_EQ(result->error->code, keys::TRLNetworkErrorNoTask);
    }
    EXPECT_EQ(std::count_if(log.lines.begin(), log.lines.end(),
                            [](const std::string& line) {
                                return line.find("No service endpoint") != std::string::npos;
                            }),
              1);
    EXPECT_TRUE(client->session()->tasks().dataTasks.empty());
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(KitNetworkClientTest, DelaysGrowWithTheCountAndStayWithinAnHour) {
    auto client = makeClient();
    auto withRetryAfter = [](std::string value) {
        HTTPURLResponse response;
        response.statusCode = 429;
        response.headers.setValue("Retry-After", std::move(value));
        return std::optional<HTTPURLResponse>(response);
    };
    struct Case {
        std::optional<HTTPURLResponse> response;
        std::uint64_t count;
        double expected;
    };
    const Case cases[] = {
        {std::nullopt, 0, 2.0},
        {std::nullopt, 1, 2.0},
        {std::nullopt, 2, 4.0},
        {std::nullopt, 5, 32.0},
        {withRetryAfter("30"), 0, 30.0},
        {withRetryAfter("30"), 2, 900.0},
        {withRetryAfter("30"), 3, 3600.0},  // 27000 s, cut to the hour
        {withRetryAfter("-5"), 1, 2.0},
        {withRetryAfter("soon"), 1, 2.0},
        {withRetryAfter("1e300"), 1, 3600.0},
        {withRetryAfter("inf"), 4, 3600.0},
        {withRetryAfter("nan"), 1, 2.0},
        {withRetryAfter("1"), 1, 2.0},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(client->computeDelayForResponse(c.response, c.count), c.expected,
                    c.expected * 1e-6)
            << (c.response ? *c.response->valueForHTTPHeaderField("Retry-After") : "none")
            << " count " << c.count;
    }
    test::FixedRandom low(0.0), high(0.999999);
    auto lowClient = TRLNetworkClient::initWithSessionConfiguration(
        test::loopbackConfiguration(), nullptr, std::nullopt,
        TRLNetworkClient::Seams{&clock, &low, [] { return false; }});
    auto highClient = TRLNetworkClient::initWithSessionConfiguration(
        test::loopbackConfiguration(), nullptr, std::nullopt,
        TRLNetworkClient::Seams{&clock, &high, [] { return false; }});
    EXPECT_NEAR(lowClient->computeDelayForResponse(withRetryAfter("30"), 1), 27.0, 1e-4);
    EXPECT_NEAR(highClient->computeDelayForResponse(withRetryAfter("30"), 1), 33.0, 1e-3);
    EXPECT_DOUBLE_EQ(lowClient->generateRandomJitter(), static_cast<double>(0.9f));
}

}  // namespace
}  // namespace talvor::kit
