#include <gtest/gtest.h>

#include "kit/network/NetworkKeys.h"
#include "kit/network/TRLNetworkOperation.h"
#include "kit/network/TRLNetworkResponseHandler.h"
#include "kit/network/TRLURLBuilder.h"

namespace talvor::kit {
namespace {

using Handler = TRLNetworkResponseHandler;

std::optional<HTTPURLResponse> response(long status,
                                        std::vector<std::pair<std::string, std::string>> fields) {
    HTTPURLResponse answer;
    answer.statusCode = status;
    for (auto& [name, value] : fields) {
        answer.headers.setValue(name, value);
    }
    return answer;
}

struct Decision {
    bool retry = false;
    std::optional<KitError> error;
};

Decision decide(const std::optional<HTTPURLResponse>& answer, const URLRequest& request = {},
                const std::optional<KitError>& error = std::nullopt) {
    Decision decision;
    int calls = 0;
    Handler::handleCompletedResponse(answer, request, error,
                                     [&](bool retry, const std::optional<KitError>& e) {
                                         decision = {retry, e};
                                         ++calls;
                                     });
    EXPECT_EQ(calls, 1);
    return decision;
}

TEST(KitResponseRulesTest, StatusesAreClassifiedAndFailuresCarryTheirDetails) {
    struct Case {
        long status;
        Handler::ResponseType type;
        bool retry;
        std::int64_t code;  // 0: no error
    };
    const Case cases[] = {
        {200, Handler::Success, false, 0},      {201, Handler::Success, false, 0},
        {202, Handler::Success, false, 0},      {204, Handler::Success, false, 0},
        {304, Handler::Success, false, 0},      {203, Handler::Failure, false, -4},
        {302, Handler::Failure, false, -4},     {100, Handler::Failure, false, -4},
        {405, Handler::Failure, false, -4},     {400, Handler::ClientError, false, -5},
        {401, Handler::ClientError, false, -5}, {403, Handler::ClientError, false, -5},
        {404, Handler::ClientError, false, -5}, {406, Handler::ClientError, false, -5},
        {410, Handler::ClientError, false, -5}, {411, Handler::ClientError, false, -5},
        {413, Handler::ClientError, false, -5}, {419, Handler::ClientError, false, -5},
        {422, Handler::ClientError, false, -5}, {431, Handler::ClientError, false, -5},
        {408, Handler::Retry, true, -1},        {500, Handler::Retry, true, -1},
        {503, Handler::Retry, true, -1},        {599, Handler::Retry, true, -1},
        {600, Handler::Failure, false, -4},     {420, Handler::Throttled, true, -1},
        {429, Handler::Throttled, true, -1},
    };
    for (const auto& c : cases) {
        const auto answer =
            response(c.status, {{"X-Request-Id", "req-7"}, {"Content-Type", "application/json"}});
        Handler::clientResponseType(answer, [&](Handler::ResponseType type, long status) {
            EXPECT_EQ(type, c.type) << c.status;
            EXPECT_EQ(status, c.status);
        });
        const Decision decision = decide(answer);
        EXPECT_EQ(decision.retry, c.retry) << c.status;
        if (c.code == 0) {
            EXPECT_FALSE(decision.error) << c.status;
            continue;
        }
        ASSERT_TRUE(decision.error) << c.status;
        EXPECT_EQ(decision.error->domain, keys::TRLNetworkErrorDomain);
        EXPECT_EQ(decision.error->code, c.code) << c.status;
        EXPECT_EQ(decision.error->userInfo.at("status_code"), std::to_string(c.status));
        EXPECT_EQ(decision.error->userInfo.at("request_id"), "req-7");
        EXPECT_EQ(decision.error->userInfo.at("content_type"), "application/json");
    }
    // No response at all: a failure with status 0 and empty details.
    Handler::clientResponseType(std::nullopt, [](Handler::ResponseType type, long status) {
        EXPECT_EQ(type, Handler::Failure);
        EXPECT_EQ(status, 0);
    });
    const Decision none = decide(std::nullopt);
    ASSERT_TRUE(none.error);
    EXPECT_EQ(none.error->code, -4);
    EXPECT_EQ(none.error->userInfo.at("status_code"), "0");
    EXPECT_EQ(none.error->userInfo.at("request_id"), "");
}

TEST(KitResponseRulesTest, ContentTypeMustMatchWhatTheRequestAccepts) {
    struct Case {
        std::optional<std::string> accept, acceptCharset, contentType;
        bool matches;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, "text/html", true},
        {"application/json", std::nullopt, std::nullopt, false},
        {"application/json", std::nullopt, "text/html", false},
        {"application/json", std::nullopt, "Application/JSON", true},
        {"application/json", "utf-8", "application/json; charset=UTF-8", true},
        {"application/json", "utf-8", "application/json; charset=latin1", false},
        {"application/json", "utf-8", "application/json;charset=utf-8", false},
        {"application/json", std::nullopt, "application/json; charset=latin1", true},
        {"application/json", "utf-8", "application/json", true},
    };
    for (const auto& c : cases) {
        URLRequest request;
        if (c.accept) {
            request.setValue(*c.accept, "Accept");
        }
        if (c.acceptCharset) {
            request.setValue(*c.acceptCharset, "Accept-Charset");
        }
        std::vector<std::pair<std::string, std::string>> fields = {{"X-Other", "1"}};
        if (c.contentType) {
            fields.emplace_back("Content-Type", *c.contentType);
        }
        EXPECT_EQ(Handler::contentTypeForResponse(response(200, fields), request), c.matches)
            << c.contentType.value_or("(none)");
        const Decision decision = decide(response(200, fields), request);
        EXPECT_FALSE(decision.retry);
        EXPECT_EQ(decision.error.has_value(), !c.matches);
    }
}

TEST(KitResponseRulesTest, TransportErrorsAreRetriedUnlessTheyCannotGetBetter) {
    struct Case {
        std::string domain;
        std::int64_t code;
        bool retry;
    };
    const Case cases[] = {
        {keys::NSURLErrorDomain, keys::NSURLErrorTimedOut, true},
        {keys::NSURLErrorDomain, keys::NSURLErrorNetworkConnectionLost, true},
        {keys::NSURLErrorDomain, keys::NSURLErrorCannotConnectToHost, true},
        {keys::NSURLErrorDomain, keys::NSURLErrorCannotFindHost, true},
        {keys::NSURLErrorDomain, -1009, true},
        {keys::NSURLErrorDomain, -1199, true},
        {keys::NSURLErrorDomain, -1207, true},
        // Cancelled here on purpose: not retried.
        {keys::NSURLErrorDomain, keys::NSURLErrorCancelled, false},
        {keys::NSURLErrorDomain, -1022, false},
        {keys::NSURLErrorDomain, -1013, false},
        {keys::NSURLErrorDomain, -1012, false},
        {keys::NSURLErrorDomain, -1010, false},
        {keys::NSURLErrorDomain, -1007, false},
        {keys::NSURLErrorDomain, -1002, false},
        {keys::NSURLErrorDomain, -1000, false},
        {keys::NSURLErrorDomain, -995, false},
        {keys::NSURLErrorDomain, -1100, false},
        {keys::NSURLErrorDomain, -1101, false},
        {keys::NSURLErrorDomain, -1103, false},
        {keys::NSURLErrorDomain, -1200, false},
        {keys::NSURLErrorDomain, -1202, false},
        {keys::NSURLErrorDomain, -1206, false},
        {keys::WRKURLSessionDownloadTaskError, -1, false},
        {keys::TRLNetworkErrorDomain, -1001, false},
    };
    for (const auto& c : cases) {
        const KitError error{c.domain, c.code, {}, {}, {}};
        EXPECT_EQ(Handler::retryableURLError(error), c.retry) << c.domain << " " << c.code;
        const Decision decision = decide(response(200, {}), {}, error);
        EXPECT_EQ(decision.retry, c.retry);
        EXPECT_EQ(decision.error, error);
    }
}

TEST(KitResponseRulesTest, HeadersAndCancelReasons) {
    EXPECT_EQ(Handler::headerForResponse(response(200, {}), "Retry-After"), std::nullopt);
    EXPECT_EQ(Handler::headerForResponse(response(200, {{"retry-after", "5"}}), "Retry-After"),
              "5");
    EXPECT_EQ(Handler::requestIdForResponse(response(200, {{"x-request-id", "r1"}})), "r1");
    EXPECT_DOUBLE_EQ(Handler::retryValueForResponse(response(429, {{"Retry-After", "-5"}})), 2.0);
    EXPECT_DOUBLE_EQ(Handler::retryValueForResponse(response(429, {{"Retry-After", "45"}})), 45.0);
    EXPECT_DOUBLE_EQ(Handler::retryValueForResponse(response(429, {{"Retry-After", "9e99"}})),
                     Handler::kMaxRetryAfter);

    KitError cancelled{keys::NSURLErrorDomain, keys::NSURLErrorCancelled, {}, {}, {}};
    EXPECT_EQ(Handler::cancelReasonFromURLError(cancelled), -1);
    cancelled.userInfo["NSURLErrorBackgroundTaskCancelledReasonKey"] = "2";
    EXPECT_EQ(Handler::cancelReasonFromURLError(cancelled), 2);
    KitError timedOut = cancelled;
    timedOut.code = keys::NSURLErrorTimedOut;
    EXPECT_EQ(Handler::cancelReasonFromURLError(timedOut), -1);
}

TEST(KitUrlBuilderTest, ComponentsAndQueryParameters) {
    auto builder = TRLURLBuilder::URLWithBase("https://127.0.0.1:8443");
    builder.appendComponent("/spi/v2/platforms/linux/apps/");
    builder.escapeAndAppendComponent("com.larkspindle.TalvorPro/settings");
    builder.appendValue(std::nullopt, "skipped");
    EXPECT_EQ(builder.queryParams(), 0u);
    builder.appendValue("1.2 (34)", "build_version");
    builder.appendValue("a&b=c", "display");
    builder.appendValue("zoë", "name");
    EXPECT_EQ(builder.URLString(),
              "https://127.0.0.1:8443/spi/v2/platforms/linux/apps/"
              "com.larkspindle.TalvorPro/settings?build_version=1.2%20(34)&display=a&b=c"
              "&name=zo%C3%AB");
    EXPECT_EQ(builder.queryParams(), 3u);
    EXPECT_EQ(builder.URL(), builder.URLString());

    struct Case {
        std::string text, escaped;
    };
    const Case cases[] = {
        {"plain-text_1.2~", "plain-text_1.2~"},
        {"a b", "a%20b"},
        {"100%", "100%25"},
        {"<tag>", "%3Ctag%3E"},
        {"\"q\"", "%22q%22"},
        {"x/y?z=1&w", "x/y?z=1&w"},
        {"{[|]}", "%7B%5B%7C%5D%7D"},
        {"\\^`", "%5C%5E%60"},
        {"é", "%C3%A9"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TRLURLBuilder::escapeString(c.text), c.escaped) << c.text;
    }
    EXPECT_FALSE(TRLURLBuilder::URLWithBase("").URL());
    EXPECT_FALSE(TRLURLBuilder::URLWithBase("not a url").URL());
}

}  // namespace
}  // namespace talvor::kit

namespace talvor::kit {
namespace {

TEST(KitNetworkOperationTest, RequestsCarryTheKitsHeadersInOrder) {
    EXPECT_EQ(TRLNetworkOperation::initWithAPIKey(std::nullopt), nullptr);
    const auto operation = TRLNetworkOperation::initWithAPIKey("key-123");
    ASSERT_NE(operation, nullptr);
    const URLRequest request =
        operation->mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL("https://x.invalid/");
    EXPECT_DOUBLE_EQ(request.timeoutInterval, 10.0);
    EXPECT_DOUBLE_EQ(
        operation->mutableRequestWithDefaultHTTPHeadersForURL("https://x.invalid/", 3.5)
            .timeoutInterval,
        3.5);
    const std::string locale = TRLNetworkOperation::localeIdentifier();
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"User-Agent", "io.trellis.sdk.mac/1.7.2 (66)"},
        {"Accept-Charset", "utf-8"},
        {"Accept-Language", locale},
        {"Content-Language", locale},
        {"X-Wreckord-Developer-Token", "3c9e0b7a51d24f86e0a9c3b7d15f28e4a6b0c9d2"},
        {"X-Wreckord-API-Client-Id", "io.trellis.sdk.mac"},
        {"X-Wreckord-API-Client-Display-Version", "1.7.2"},
        {"X-Wreckord-API-Client-Build-Version", "66"},
        {"X-Wreckord-API-Key", "key-123"},
    };
    EXPECT_EQ(request.headers.all(), expected);
    EXPECT_EQ(locale.find('.'), std::string::npos);
    EXPECT_FALSE(locale.empty());
}

}  // namespace
}  // namespace talvor::kit
