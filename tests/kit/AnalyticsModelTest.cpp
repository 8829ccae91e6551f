#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "LogCapture.h"
#include "ManualClock.h"
#include "kit/KitJson.h"
#include "kit/TLYAttributeDictionary.h"
#include "kit/TLYDecimal.h"
#include "kit/TLYEvent.h"
#include "kit/TLYEventFilter.h"
#include "kit/TLYSettings.h"

using namespace std::literals;

namespace talvor::kit {
namespace {

TLYDecimal dec(std::string_view text) {
    const auto value = TLYDecimal::parse(text);
    EXPECT_TRUE(value) << text;
    return value.value_or(TLYDecimal());
}

std::string serialized(const JsonObject& object) {
    return json::serialize(JsonValue(object)).value_or("<unwritable>");
}

std::size_t countContaining(const std::vector<std::string>& lines, std::string_view part) {
    std::size_t n = 0;
    for (const auto& line : lines) {
        n += line.find(part) != std::string::npos ? 1 : 0;
    }
    return n;
}

// --- Exact decimals --------------------------------------------------------------------

TEST(kitAnalyticsDecimal, SumsAndTextStayExact) {
    struct Case {
        const char* a;
        const char* b;
        const char* sum;
    };
    const Case cases[] = {
        {"0.1", "0.2", "0.3"},
        {"9.99", "0.01", "10"},
        {"1", "-1.000001", "-0.000001"},
        {"-4.25", "-0.75", "-5"},
        {"1E+20", "0.000001", "100000000000000000000.000001"},
        {"0", "12.5", "12.5"},
    };
    for (const auto& c : cases) {
        const auto sum = dec(c.a).adding(dec(c.b));
        ASSERT_TRUE(sum) << c.a << " + " << c.b;
        EXPECT_EQ(sum->description(), c.sum) << c.a << " + " << c.b;
        EXPECT_EQ(*sum, dec(c.sum)) << c.a << " + " << c.b;
    }
    // Ten additions of 0.1 are 1, exactly; the same in doubles is not.
    TLYDecimal total;
    for (int i = 0; i < 10; ++i) {
        total = *total.adding(dec("0.1"));
    }
    EXPECT_EQ(total, TLYDecimal::fromInteger(1));
}

TEST(kitAnalyticsDecimal, ParsesAndOrders) {
    for (const char* bad : {"", "-", ".", "1e", "1.2.3", "abc", "1 ", "0x10", "nan"}) {
        EXPECT_FALSE(TLYDecimal::parse(bad)) << bad;
    }
    EXPECT_FALSE(TLYDecimal::parse("1E+300")) << "beyond the largest value";
    EXPECT_LT(dec("9.99"), dec("10"));
    EXPECT_LT(dec("-10"), dec("-9.99"));
    EXPECT_EQ(dec("1.50"), dec("1.5"));
    EXPECT_EQ(dec("-0"), dec("0"));
    EXPECT_GT(dec("1E+2"), dec("99.999999999999999999999999999999999999"));
    EXPECT_EQ(TLYDecimal::fromInteger(std::numeric_limits<std::int64_t>::min()).description(),
              "-9223372036854775808");
}

// The micros of a price and the largest accepted price, checked against Python's decimal
// module (exact arithmetic at 400 digits).
TEST(kitAnalyticsDecimal, MicrosMatchPythonDecimal) {
    struct Case {
        const char* price;
        std::optional<std::string> micros;
    };
    const Case cases[] = {
        {"9.99", "9990000"},
        {"0.000001", "1"},
        {"1E-7", "0.1"},
        {"19.999999", "19999999"},
        {"-4.25", "-4250000"},
        {"0", "0"},
        {"123456789012345678901234567890.123456", "123456789012345678901234567890123456"},
        {"340282366920938463463374607431768211455E121",
         "340282366920938463463374607431768211455" + std::string(127, '0')},
        {"340282366920938463463374607431768211456E121", std::nullopt},
        {"3.5E+159", std::nullopt},
        {"1E-128",
         "0.00000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "000000000000000000000000000000000001"},
        {"12345678901234567890123456789012345678", "12345678901234567890123456789012345678000000"},
    };
    for (const auto& c : cases) {
        test::LogCapture log;
        const auto micros = TLYAttributeDictionary::serializePriceToMicros(dec(c.price));
        ASSERT_EQ(micros.has_value(), c.micros.has_value()) << c.price;
        if (micros) {
            EXPECT_EQ(micros->description(), *c.micros) << c.price;
            EXPECT_TRUE(log.lines.empty()) << c.price;
        } else {
            ASSERT_EQ(log.lines.size(), 1u) << c.price;
            EXPECT_EQ(log.lines[0].rfind("[Tally] Maximum value for a price attribute exceeded. "
                                         "Ignoring price attribute with value: ",
                                         0),
                      0u);
        }
    }
    EXPECT_EQ(TLYAttributeDictionary::maximumPrice(),
              dec("340282366920938463463374607431768211455E121"));
    EXPECT_FALSE(TLYAttributeDictionary::serializePriceToMicros(std::nullopt));
}

// --- JSON ------------------------------------------------------------------------------

TEST(kitAnalyticsJson, WritesCompactAndReadsBack) {
    JsonObject inner;
    inner.set("price", dec("9990000"));
    inner.set("text", "tab\there \"quoted\" \\ \x01 \xC3\xA9");
    JsonObject object;
    object.set("b", true);
    object.set("n", std::int64_t(-12));
    object.set("d", 0.5);
    object.set("inner", inner);
    object.set("list", JsonArray{JsonValue(nullptr), JsonValue("x")});
    const auto text = json::serialize(JsonValue(object));
    ASSERT_TRUE(text);
    EXPECT_EQ(
        *text,
        R"({"b":true,"n":-12,"d":0.5,"inner":{"price":9990000,"text":"tab\there \"quoted\" \\ \u0001 )"
        "\xC3\xA9"
        R"("},"list":[null,"x"]})");
    const auto back = json::parse(*text);
    ASSERT_TRUE(back && back->object());
    EXPECT_EQ(*back->object()->find("inner")->object()->find("text")->string(),
              *inner.find("text")->string());
    EXPECT_FALSE(json::serialize(JsonValue(std::nan(""))));
    EXPECT_FALSE(json::serialize(JsonValue(std::numeric_limits<double>::infinity())));
    EXPECT_EQ(json::serialize(JsonValue("\xFF")), "\"\xEF\xBF\xBD\"") << "not UTF-8";
}

TEST(kitAnalyticsJson, RefusesBadDocuments) {
    const std::string deep = std::string(100, '[') + std::string(100, ']');
    for (const std::string bad :
         {"", "{", "{\"a\":}", "[1,]", "{\"a\":1}x", "01", "1.", "\"\\x\"", "\"\\ud800\"",
          "\"a\nb\"", "nul", "{1:2}", "\"\xC0\xAF\"", "1e999"}) {
        EXPECT_FALSE(json::parse(bad)) << bad;
    }
    EXPECT_FALSE(json::parse(deep)) << "deeper than the limit";
    EXPECT_TRUE(json::parse(deep, 128));
    EXPECT_FALSE(json::parse("[1]", 64, 2)) << "longer than the limit";
    const auto surrogates = json::parse(R"("\ud83d\ude00")");
    ASSERT_TRUE(surrogates && surrogates->string());
    EXPECT_EQ(*surrogates->string(), "\U0001F600");
}

// The crash records read addresses with this reader: an integer keeps its exact value up to
// 2^64 - 1, beyond that it is a double; written back, it is the same number.
TEST(kitAnalyticsJson, IntegersKeepTheirExactValue) {
    const auto value = json::parse(
        R"({"max":18446744073709551615,"over":9223372036854775808,"min":-9223372036854775808,)"
        R"("big":18446744073709551616,"small":-9223372036854775809})");
    ASSERT_TRUE(value && value->object());
    const JsonObject& o = *value->object();
    ASSERT_TRUE(o.find("max")->unsignedInteger());
    EXPECT_EQ(*o.find("max")->unsignedInteger(), UINT64_MAX);
    ASSERT_TRUE(o.find("over")->unsignedInteger());
    EXPECT_EQ(*o.find("over")->unsignedInteger(), 9223372036854775808ULL);
    ASSERT_TRUE(o.find("min")->integer());
    EXPECT_EQ(*o.find("min")->integer(), INT64_MIN);
    EXPECT_TRUE(o.find("big")->real());
    EXPECT_TRUE(o.find("small")->real());
    EXPECT_EQ(o.find("max")->numberAsDouble(), 18446744073709551615.0);
    EXPECT_EQ(json::serialize(*o.find("max")), "18446744073709551615");
    EXPECT_EQ(JsonValue::fromUnsigned(7), JsonValue(std::int64_t(7))) << "small ones stay signed";
}

// --- Attributes and their limits ----------------------------------------------------------

TEST(kitAnalyticsAttributes, LimitsTable) {
    const std::string c150(150, 'c');
    const std::string k120(120, 'k');
    const std::string sameStart100 = std::string(100, 's');
    const std::string emoji99 = std::string(99, 'e') + "\U0001F600";  // pair at units 100-101
    struct Case {
        const char* what;
        TLYAttributes input;
        std::string json;
        std::size_t lengthLines, countLines, keyLines, valueLines;
    };
    TLYAttributes twentyFive;
    std::string twentyFiveJson = "{";
    for (int i = 0; i < 25; ++i) {
        twentyFive.emplace_back("k" + std::to_string(i), std::int64_t(i));
        if (i < 21) {
            twentyFiveJson += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":" + std::to_string(i);
        }
    }
    twentyFiveJson += "}";
    TLYAttributes replaceAtFull(twentyFive.begin(), twentyFive.begin() + 21);
    replaceAtFull.emplace_back("k0", "changed");
    const std::string fullJson = twentyFiveJson;
    const Case cases[] = {
        {"25 entries keep 21", twentyFive, twentyFiveJson, 0, 4, 0, 0},
        {"at 21 even a present key is refused", replaceAtFull, fullJson, 0, 1, 0, 0},
        {"long value cut to 100",
         {{"v", c150}},
         "{\"v\":\"" + std::string(100, 'c') + "\"}",
         1,
         0,
         0,
         0},
        {"long key cut to 100",
         {{k120, "x"}},
         "{\"" + std::string(100, 'k') + "\":\"x\"}",
         1,
         0,
         0,
         0},
        {"keys equal after the cut: later wins",
         {{sameStart100 + "one", 1}, {sameStart100 + "two", 2}},
         "{\"" + sameStart100 + "\":2}",
         2,
         0,
         0,
         0},
        {"exactly 100 is kept whole",
         {{"v", std::string(100, 'x')}},
         "{\"v\":\"" + std::string(100, 'x') + "\"}",
         0,
         0,
         0,
         0},
        {"a pair astride the limit is left out whole",
         {{"v", emoji99}},
         "{\"v\":\"" + std::string(99, 'e') + "\"}",
         1,
         0,
         0,
         0},
        {"100 units with a pair inside fit",
         {{"v", std::string(98, 'e') + "\U0001F600"}},
         "{\"v\":\"" + std::string(98, 'e') + "\U0001F600\"}",
         0,
         0,
         0,
         0},
        {"number as key refused", {{std::int64_t(7), "x"}}, "{}", 0, 0, 1, 0},
        {"array value refused", {{"a", JsonArray{JsonValue(1)}}}, "{}", 0, 0, 0, 1},
        {"object value refused", {{"o", JsonObject()}}, "{}", 0, 0, 0, 1},
        {"null key or value skipped silently",
         {{JsonValue(), "x"}, {"y", JsonValue()}},
         "{}",
         0,
         0,
         0,
         0},
        {"NaN removes the held value", {{"n", 5}, {"n", std::nan("")}}, "{}", 0, 0, 0, 0},
        {"NaN alone stores nothing", {{"n", std::nan("")}}, "{}", 0, 0, 0, 0},
        {"infinity is refused like NaN",
         {{"n", 5},
          {"n", std::numeric_limits<double>::infinity()},
          {"m", -std::numeric_limits<double>::infinity()}},
         "{}",
         0,
         0,
         0,
         0},
        {"numbers stay numbers",
         {{"i", 3}, {"d", 2.5}, {"b", true}},
         "{\"i\":3,\"d\":2.5,\"b\":true}",
         0,
         0,
         0,
         0},
    };
    for (const auto& c : cases) {
        test::LogCapture log;
        const TLYAttributeDictionary dictionary(c.input);
        EXPECT_EQ(dictionary.description(), c.json) << c.what;
        EXPECT_EQ(countContaining(log.lines,
                                  "[Tally] Maximum length for an Event attributes exceeded. "
                                  "Truncating to 100 characters."),
                  c.lengthLines)
            << c.what;
        EXPECT_EQ(countContaining(log.lines,
                                  "[Tally] Maximum number of Event attributes exceeded. "
                                  "Ignoring entry "),
                  c.countLines)
            << c.what;
        EXPECT_EQ(countContaining(log.lines,
                                  "[Tally] Event attribute keys must be of type NSString. "
                                  "Ignoring entry 7:x"),
                  c.keyLines)
            << c.what;
        EXPECT_EQ(countContaining(log.lines,
                                  "[Tally] Event attribute values must be of type NSString "
                                  "or NSNumber. Ignoring entry "),
                  c.valueLines)
            << c.what;
        EXPECT_EQ(log.lines.size(), c.lengthLines + c.countLines + c.keyLines + c.valueLines)
            << c.what;
    }
    EXPECT_EQ(TLYAttributeDictionary(std::nullopt).description(), "{}");
}

TEST(kitAnalyticsAttributes, BooleansAndPrices) {
    TLYAttributeDictionary d;
    d.addBooleanAttribute(true, "yes");
    d.addBooleanAttribute(false, "no");
    d.addBooleanAttribute(std::nullopt, "none");
    d.addPriceAttribute(dec("9.99"), "price");
    d.addPriceAttribute(std::nullopt, "nothing");
    {
        test::LogCapture log;
        d.addPriceAttribute(dec("4E+159"), "huge");
        EXPECT_EQ(log.lines.size(), 1u);
    }
    EXPECT_EQ(d.description(), R"({"yes":"true","no":"false","price":9990000})");
}

// --- Events ----------------------------------------------------------------------------

class kitAnalyticsEvents : public ::testing::Test {
  protected:
    void SetUp() override { Clock::setShared(&clock_); }
    void TearDown() override { Clock::setShared(nullptr); }
    test::ManualClock clock_{1'500'000'000.25};
};

// Every predefined factory: its type, the attributes in the order given, and nil arguments
// left out.
TEST_F(kitAnalyticsEvents, PredefinedFactoriesTable) {
    const TLYAttributes custom = {{"c", "v"}};
    struct Case {
        std::shared_ptr<TLYPredefinedEvent> event;
        const char* type;
        const char* attributes;
    };
    const Case cases[] = {
        {TLYPredefinedEvent::signUpEventWithMethod("mail", true, custom), "sign_up",
         R"({"method":"mail","success":"true"})"},
        {TLYPredefinedEvent::loginEventWithMethod(std::nullopt, false, custom), "login",
         R"({"success":"false"})"},
        {TLYPredefinedEvent::shareEventWithMethod("m", "n", "t", "i", custom), "share",
         R"({"method":"m","content_name":"n","content_type":"t","content_id":"i"})"},
        {TLYPredefinedEvent::inviteEventWithMethod("m", custom), "invite", R"({"method":"m"})"},
        {TLYPredefinedEvent::purchaseEventWithPrice(dec("9.99"), "EUR", std::nullopt, "n", "t", "i",
                                                    custom),
         "purchase",
         R"({"item_price":9990000,"currency":"EUR","item_name":"n","item_type":"t","item_id":"i"})"},
        {TLYPredefinedEvent::levelStartEventWithLevelName("one", custom), "level_start",
         R"({"level_name":"one"})"},
        {TLYPredefinedEvent::levelEndEventWithLevelName("one", JsonValue(42), true, custom),
         "level_end", R"({"level_name":"one","score":42,"success":"true"})"},
        {TLYPredefinedEvent::addToCartEventWithPrice(dec("0.1"), "USD", "n", std::nullopt, "i",
                                                     custom),
         "add_to_cart", R"({"item_price":100000,"currency":"USD","item_name":"n","item_id":"i"})"},
        {TLYPredefinedEvent::startCheckoutEventWithPrice(dec("12.34"), "USD", JsonValue("3"),
                                                         custom),
         "start_checkout", R"({"total_price":12340000,"currency":"USD","item_count":"3"})"},
        {TLYPredefinedEvent::ratingEventWithRating(JsonValue(4.5), "n", "t", "i", custom), "rating",
         R"({"rating":4.5,"content_name":"n","content_type":"t","content_id":"i"})"},
        {TLYPredefinedEvent::contentViewEventWithName("n", "t", std::nullopt, custom),
         "content_view", R"({"content_name":"n","content_type":"t"})"},
        {TLYPredefinedEvent::searchEventWithQuery("q", std::nullopt), "search", R"({"query":"q"})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.event->name(), "predefined");
        EXPECT_EQ(c.event->predefinedEventName(), c.type);
        EXPECT_EQ(c.event->predefinedAttributes().description(), c.attributes) << c.type;
        EXPECT_FALSE(c.event->triggersFlush());
        EXPECT_EQ(serialized(c.event->dictionaryRepresentation()),
                  std::string(R"({"eventId":")") + c.event->identifier() +
                      R"(","predefined_type":")" + c.type + R"(","predefined_attributes":)" +
                      c.attributes + R"(,"custom_attributes":)" +
                      (std::string_view(c.type) == "search" ? "{}" : R"({"c":"v"})") + "}")
            << c.type;
    }
}

TEST_F(kitAnalyticsEvents, KindsNamesAndJson) {
    const TLYLifecycleEvent installed("app_installed");
    EXPECT_EQ(installed.timestamp(), 1'500'000'000.25);
    ASSERT_EQ(installed.identifier().size(), 36u);
    EXPECT_EQ(installed.identifier(), [&] {
        std::string upper = installed.identifier();
        for (auto& ch : upper)
            ch = char(std::toupper(static_cast<unsigned char>(ch)));
        return upper;
    }());
    EXPECT_NE(installed.identifier(), TLYLifecycleEvent("app_installed").identifier());
    EXPECT_EQ(serialized(installed.dictionaryRepresentation()),
              R"({"eventId":")" + installed.identifier() + R"("})");

    struct Lifecycle {
        const char* notification;
        const char* name;
        bool flush;
    };
    const Lifecycle lifecycle[] = {
        {"NSApplicationWillTerminateNotification", "app_terminated", false},
        {"NSApplicationWillResignActiveNotification", "app_became_inactive", true},
        {"NSApplicationDidBecomeActiveNotification", "app_became_active", true},
        {"SomethingElse", "unknown-notification", false},
    };
    for (const auto& l : lifecycle) {
        const auto event = TLYLifecycleEvent::eventWithNotification(l.notification);
        EXPECT_EQ(event->name(), l.name);
        EXPECT_EQ(event->triggersFlush(), l.flush) << l.name;
    }
    EXPECT_TRUE(TLYLifecycleEvent::installEvent()->triggersFlush());
    EXPECT_FALSE(TLYLifecycleEvent::appLaunchedEvent()->triggersFlush());
    EXPECT_EQ(TLYLifecycleEvent::appLaunchedEvent()->name(), "app_launched");

    for (const auto& [state, text] : std::vector<std::pair<std::uint64_t, std::string>>{
             {0, "unknown"}, {1, "foreground"}, {2, "background"}, {7, "unknown"}}) {
        const TLYCrashEvent crash(1'400'000'000.5, state);
        EXPECT_EQ(crash.name(), "app_crashed");
        EXPECT_EQ(crash.timestamp(), 1'400'000'000.5) << "the crash time, not the making";
        EXPECT_EQ(serialized(crash.dictionaryRepresentation()),
                  R"({"eventId":")" + crash.identifier() + R"(","crash_state":")" + text + "\"}");
    }
}

// A custom event keeps the caller's attributes and applies the limits (with their lines)
// each time it is written.
TEST_F(kitAnalyticsEvents, CustomEventValidatesOnEveryWrite) {
    TLYAttributes thirty;
    for (int i = 0; i < 30; ++i) {
        thirty.emplace_back("a" + std::to_string(i), "v");
    }
    const TLYCustomEvent event(std::string(150, 'n'), thirty);
    EXPECT_EQ(event.customEventName().size(), 150u) << "the name is never cut";
    for (int round = 0; round < 2; ++round) {
        test::LogCapture log;
        const JsonObject object = event.dictionaryRepresentation();
        EXPECT_EQ(*object.find("custom_type")->string(), std::string(150, 'n'));
        EXPECT_EQ(object.find("custom_attributes")->object()->size(), 21u);
        EXPECT_EQ(log.lines.size(), 9u) << "round " << round;
    }
}

// --- Settings view -----------------------------------------------------------------------

TEST(kitAnalyticsSettings, DefaultsAndSections) {
    struct Case {
        const char* what;
        std::optional<std::string> document;
        bool valid, collect, forward, purchases;
        std::int64_t payload, pending, sampling;
        double flush, timeout, lowPower;
        std::optional<std::string> url;
    };
    const Case cases[] = {
        {"no document", std::nullopt, false, true, false, false, 8000, 100, 1, 0, 21600, 3600, {}},
        {"empty document", "{}", true, true, false, false, 8000, 100, 1, 0, 21600, 3600, {}},
        {"every entry",
         R"({"features":{"collect_analytics":false},"analytics":{"url":"https://events.test/spi/v2/events",
            "forward_to_google_analytics":true,"include_purchase_events_in_forwarded_events":1,
            "max_byte_size_per_file":4000,"max_pending_send_file_count":5,"flush_interval_secs":30.5,
            "sampling_rate":10,"upload_timeout_secs":60,"low_power_upload_timeout_secs":120}})",
         true, false, true, true, 4000, 5, 10, 30.5, 60, 120, "https://events.test/spi/v2/events"},
        {"collect_analytics read from features, not analytics",
         R"({"analytics":{"collect_analytics":false}})",
         true,
         true,
         false,
         false,
         8000,
         100,
         1,
         0,
         21600,
         3600,
         {}},
        {"texts read by their numbers",
         R"({"features":{"collect_analytics":"no"},"analytics":{"max_byte_size_per_file":"123",
            "sampling_rate":"abc","flush_interval_secs":"2.5","forward_to_google_analytics":"YES"}})",
         true,
         false,
         true,
         false,
         123,
         100,
         0,
         2.5,
         21600,
         3600,
         {}},
        {"sections of the wrong type count as absent",
         R"({"features":"x","analytics":[1,2]})",
         true,
         true,
         false,
         false,
         8000,
         100,
         1,
         0,
         21600,
         3600,
         {}},
        {"a top-level array", "[1]", true, true, false, false, 8000, 100, 1, 0, 21600, 3600, {}},
        {"nulls give defaults; zero and negative pass",
         R"({"analytics":{"max_byte_size_per_file":null,"max_pending_send_file_count":-3,"flush_interval_secs":0}})",
         true,
         true,
         false,
         false,
         8000,
         -3,
         1,
         0,
         21600,
         3600,
         {}},
        {"plain http is no endpoint",
         R"({"analytics":{"url":"http://events.test/spi/v2/events"}})",
         true,
         true,
         false,
         false,
         8000,
         100,
         1,
         0,
         21600,
         3600,
         {}},
        {"a url without a host",
         R"({"analytics":{"url":"https:///x"}})",
         true,
         true,
         false,
         false,
         8000,
         100,
         1,
         0,
         21600,
         3600,
         {}},
    };
    for (const auto& c : cases) {
        std::optional<JsonValue> document;
        if (c.document) {
            document = json::parse(*c.document);
            ASSERT_TRUE(document) << c.what;
        }
        const TLYSettings s(document);
        EXPECT_EQ(s.valid(), c.valid) << c.what;
        EXPECT_EQ(s.shouldCollectAnalytics(), c.collect) << c.what;
        EXPECT_EQ(s.shouldForwardToNimbusAnalytics(), c.forward) << c.what;
        EXPECT_EQ(s.shouldIncludePurchaseEventsInForwardedNimbusEvents(), c.purchases) << c.what;
        EXPECT_EQ(s.maximumPayloadSize(), c.payload) << c.what;
        EXPECT_EQ(s.maxPendingSendFiles(), c.pending) << c.what;
        EXPECT_EQ(s.samplingRate(), c.sampling) << c.what;
        EXPECT_DOUBLE_EQ(s.flushInterval(), c.flush) << c.what;
        EXPECT_DOUBLE_EQ(s.defaultUploadTimeout(), c.timeout) << c.what;
        EXPECT_DOUBLE_EQ(s.lowPowerUploadTimeout(), c.lowPower) << c.what;
        EXPECT_EQ(s.tallyURL(), c.url) << c.what;
    }
}

// --- Sampling ----------------------------------------------------------------------------

// Expected values printed by a JDK's String.hashCode.
TEST(kitAnalyticsSampling, JavaHashMatchesJdk) {
    struct Case {
        std::string_view text;
        std::int32_t hash;
    };
    const Case cases[] = {
        {""sv, 0},
        {"a"sv, 97},
        {"abc"sv, 96354},
        {"Aa"sv, 2112},
        {"BB"sv, 2112},
        {"polygenelubricants"sv, -2147483648},
        {"com.wreckord.iuuid"sv, -1515958318},
        {"00000000-0000-0000-0000-000000000000"sv, 1428967488},
        {"FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"sv, -309295552},
        {"3F2504E0-4F89-11D3-9A0C-0305E82C3301"sv, 1666608147},
        {"E621E1F8-C36C-495A-93FC-0C247A3E6E5F"sv, 1171620668},
        {"6BA7B810-9DAD-11D1-80B4-00C04FD430C8"sv, -333166131},
        {"123e4567-e89b-12d3-a456-426614174000"sv, -1483351720},
        {"C56A4180-65AA-42EC-A945-5FD21DEC0538"sv, 1379112656},
        {"9B2F1D3C-0A7E-4E55-8C1B-77D0E1A2B3C4"sv, -122238559},
        {"installation"sv, 2037210682},
        {"\u00e9t\u00e9"sv, 227742},
        {"\u65e5\u672c\u8a9e"sv, 25921943},
        {"\U0001f600"sv, 1772899},
        {"x\U0001f389y\U00010000"sv, 430028500},
        {"\0"sv, 0},
        {"zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz"sv, -1690976960},
        {"app_launched"sv, -1610376208},
        {"The quick brown fox jumps over the lazy dog"sv, -609428141},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TLYEventFilter::javaHashCodeForString(c.text), c.hash) << c.text;
    }
}

TEST(kitAnalyticsSampling, FactorTable) {
    // Hashes: "abc" 96354 (even), "a" 97 (odd), "6BA7B810-..." -333166131 (odd, negative),
    // "00000000-..." 1428967488 (divisible by 3 and 2).
    const std::string even = "abc";
    const std::string odd = "a";
    const std::string negativeOdd = "6BA7B810-9DAD-11D1-80B4-00C04FD430C8";
    const std::string negativeEven = "123e4567-e89b-12d3-a456-426614174000";  // -1483351720
    const TLYLifecycleEvent launched("app_launched");
    const TLYLifecycleEvent installed("app_installed");
    const TLYCustomEvent custom("c", std::nullopt);
    const TLYEventFilter filter;
    struct Case {
        const TLYEvent* event;
        std::optional<std::string> beta;
        std::optional<std::string> install;
        std::int64_t factor;
        bool discard;
    };
    const Case cases[] = {
        {&launched, {}, odd, 0, false},
        {&launched, {}, odd, 1, false},
        {&launched, {}, odd, -5, false},
        {&launched, {}, even, 2, false},
        {&launched, {}, odd, 2, true},
        {&launched, {}, negativeOdd, 2, true},
        {&launched, {}, negativeEven, 2, false},
        {&launched, {}, negativeEven, 7, true},  // -1483351720 % 7 == -6
        {&launched, {}, std::nullopt, 2, false},
        {&launched, "token", odd, 2, false},
        {&installed, {}, odd, 2, false},
        {&custom, {}, odd, 1000, false},
        {nullptr, {}, even, 1, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(filter.shouldDiscardEvent(c.event, c.beta, c.install, c.factor), c.discard)
            << (c.event ? c.event->name() : "nil") << " " << c.install.value_or("-") << " "
            << c.factor;
    }
    for (const char* sampled :
         {"app_launched", "app_terminated", "app_crashed", "app_memory_warning",
          "app_entered_background", "app_entered_foreground", "app_became_inactive",
          "app_became_active"}) {
        EXPECT_TRUE(TLYEventFilter::samplingEnabledForEventType(sampled)) << sampled;
    }
    for (const char* kept : {"app_installed", "predefined", "custom", "metadata", ""}) {
        EXPECT_FALSE(TLYEventFilter::samplingEnabledForEventType(kept)) << kept;
    }
}

// 100,000 installations with seeded identifiers: the share that keeps reporting is 1/factor
// within five standard deviations, and each installation decides the same way every time.
TEST(kitAnalyticsSampling, RatesOverSeededInstallations) {
    std::mt19937_64 random(20261210);
    std::vector<std::string> identifiers;
    const char* hex = "0123456789ABCDEF";
    for (int i = 0; i < 100'000; ++i) {
        std::string id;
        for (int k = 0; k < 32; ++k) {
            if (k == 8 || k == 12 || k == 16 || k == 20) {
                id.push_back('-');
            }
            id.push_back(hex[random() % 16]);
        }
        identifiers.push_back(std::move(id));
    }
    const TLYLifecycleEvent launched("app_launched");
    const TLYEventFilter filter;
    for (const std::int64_t factor : {2, 3, 10, 100}) {
        std::size_t kept = 0;
        for (const auto& id : identifiers) {
            const bool discard = filter.shouldDiscardEvent(&launched, std::nullopt, id, factor);
            kept += discard ? 0 : 1;
        }
        const double n = double(identifiers.size());
        const double p = 1.0 / double(factor);
        const double sd = std::sqrt(n * p * (1 - p));
        EXPECT_NEAR(double(kept), n * p, 5 * sd) << "factor " << factor;
    }
    for (std::size_t i = 0; i < 100; ++i) {
        EXPECT_EQ(filter.shouldDiscardEvent(&launched, std::nullopt, identifiers[i], 10),
                  filter.shouldDiscardEvent(&launched, std::nullopt, identifiers[i], 10));
    }
}

}  // namespace
}  // namespace talvor::kit
