#include "foundation/ScanFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace talvor {
namespace {

struct ScanCase {
    const char* text;
    const char* format;
    std::vector<double> expected;
};

class ScanFormatCases : public ::testing::TestWithParam<ScanCase> {};

using foundationScanFormatCases = ScanFormatCases;

TEST_P(foundationScanFormatCases, ReadsLikeSscanfInTheCLocale) {
    const ScanCase& c = GetParam();
    const std::vector<ScanValue> got = scanFormat(std::string_view(c.text), c.format);
    ASSERT_EQ(got.size(), c.expected.size()) << c.text << " with " << c.format;
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_DOUBLE_EQ(scanValueAsDouble(got[i]), c.expected[i]) << c.text << " #" << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, foundationScanFormatCases,
    ::testing::Values(
        ScanCase{
            "[1.000000] [0.000000] [0.500000] [1.000000]", "[%f] [%f] [%f] [%f]", {1, 0, 0.5, 1}},
        ScanCase{"[0.5] [0.25] [0] [1]", "[%f] [%f] [%f] [%f]", {0.5, 0.25, 0, 1}},
        // White space in the format matches none as well as many.
        ScanCase{"[0.5][0.25]   [0]\t[1]", "[%f] [%f] [%f] [%f]", {0.5, 0.25, 0, 1}},
        ScanCase{"[0.5] [0.25]", "[%f] [%f] [%f] [%f]", {0.5, 0.25}},
        ScanCase{"[0,5] [0.25]", "[%f] [%f]", {0}}, ScanCase{"garbage", "[%f]", {}},
        ScanCase{"", "%d", {}}, ScanCase{"Chimes: 1 0 -3 +4", "Chimes: %d %d %d %d", {1, 0, -3, 4}},
        ScanCase{"  42abc", "%d", {42}}, ScanCase{"--5", "%d", {}}, ScanCase{"--5", "%f", {}},
        ScanCase{"1e3 -2.5e-1", "%lf %g", {1000, -0.25}},
        ScanCase{"99999999999999999999999", "%d", {9223372036854775807.0}},
        ScanCase{"-99999999999999999999999", "%ld", {-9223372036854775808.0}},
        ScanCase{"Size: 14.000 Trait:0 Weight:5", "Size: %f Trait:%d Weight:%d", {14, 0, 5}},
        ScanCase{"100%", "%d%%", {100}}));

TEST(foundationScanFormat, ReadsInfinityAndNotANumberAsTheLibraryDoes) {
    const auto inf = scanFormat(std::string_view("inf"), "%f");
    ASSERT_EQ(inf.size(), 1u);
    EXPECT_TRUE(std::isinf(scanValueAsDouble(inf[0])));
    const auto huge = scanFormat(std::string_view("1e999 -1e999 1e-999"), "%f %f %f");
    ASSERT_EQ(huge.size(), 3u);
    EXPECT_EQ(scanValueAsDouble(huge[0]), std::numeric_limits<double>::infinity());
    EXPECT_EQ(scanValueAsDouble(huge[1]), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(scanValueAsDouble(huge[2]), 0.0);
    const auto nan = scanFormat(std::string_view("nan"), "%f");
    ASSERT_EQ(nan.size(), 1u);
    EXPECT_TRUE(std::isnan(scanValueAsDouble(nan[0])));
}

}  // namespace
}  // namespace talvor
