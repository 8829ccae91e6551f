// Run by CTest with CI=true (tests/support/CMakeLists.txt), never discovered as a test of its
// own: a skip that says why it may skip on the CI machine passes, one that does not fails.
#include "support/SkipInCI.h"

#include <gtest/gtest.h>

namespace talvor {
namespace {

TEST(supportSkipRuleProbe, Unexplained) {
    GTEST_SKIP() << "a tool the test needs is missing";
}

TEST(supportSkipRuleProbe, Explained) {
    test::maySkipInCI("the probe stands for a test whose need the CI machine cannot meet");
    GTEST_SKIP() << "no such device";
}

}  // namespace
}  // namespace talvor
