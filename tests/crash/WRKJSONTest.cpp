#include "crash/WRKJSON.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace talvor::crash {
namespace {

TEST(crashWRKJSON, AcceptsOnlyStrictJSON) {
    struct Row {
        std::string text;
        bool valid;
    };
    const Row rows[] = {
        {"{}", true},
        {" {\"a\" : [1, -2, 3.5e2, true, false, null, \"x\"]} ", true},
        {"\"\\u00e9\\ud83d\\ude00\\n\\/\"", true},
        {"\"Z\xc3\xbcrich\"", true},
        {"0", true},
        {"-0.5E+3", true},
        {"", false},
        {"{", false},
        {"{\"a\":1,}", false},
        {"[1,]", false},
        {"{'a':1}", false},
        {"01", false},
        {"1.", false},
        {".5", false},
        {"+1", false},
        {"\"tab\there\"", false},
        {"\"\\x41\"", false},
        {"\"\\ud800\"", false},
        {"\"\\udc00\"", false},
        {"\"\xff\"", false},
        {"\"\xc0\xaf\"", false},
        {"\"\xed\xa0\x80\"", false},
        {"{\"a\":1}{\"b\":2}", false},
        {"NaN", false},
        {"tru", false},
        {"{\"a\"}", false},
        {std::string(300, '[') + std::string(300, ']'), false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(parseJSON(row.text).has_value(), row.valid) << row.text;
    }
}

TEST(crashWRKJSON, KeepsIntegersExactAndMembersInOrder) {
    const auto value = parseJSON(
        "{\"max\":18446744073709551615,\"min\":-9223372036854775808,\"big\":"
        "18446744073709551616,\"s\":\"\\u00e9\",\"a\":[]}");
    ASSERT_TRUE(value && value->object());
    ASSERT_TRUE(value->find("max")->uint64());
    EXPECT_EQ(*value->find("max")->uint64(), UINT64_MAX);
    ASSERT_TRUE(value->find("min")->int64());
    EXPECT_EQ(*value->find("min")->int64(), INT64_MIN);
    EXPECT_TRUE(std::holds_alternative<double>(value->find("big")->value));
    EXPECT_EQ(*value->find("s")->string(), "\xc3\xa9");
    EXPECT_TRUE(value->find("a")->array()->empty());
    EXPECT_EQ(value->object()->front().key, "max");
    EXPECT_EQ(value->object()->back().key, "a");
    EXPECT_EQ(value->find("missing"), nullptr);
}

}  // namespace
}  // namespace talvor::crash
