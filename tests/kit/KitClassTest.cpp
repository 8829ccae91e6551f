#include "kit/TRLKit.h"

#include <gtest/gtest.h>

#include <string>

namespace talvor::kit {
namespace {

struct PlainKit {
    static std::string bundleIdentifier() { return "org.talvor.test.plain"; }
    static const char* kitDisplayVersion() { return "0.1"; }
};

int fullKitStarts = 0;
struct FullKit {
    static std::string bundleIdentifier() { return "org.talvor.test.full"; }
    static std::string kitDisplayVersion() { return "4.5.6"; }
    static std::string kitBuildVersion() { return "77"; }
    static void initializeIfNeeded() { ++fullKitStarts; }
};

namespace outer::inner {
struct NestedKit {
    static std::string bundleIdentifier() { return "org.talvor.test.nested"; }
    static std::string kitDisplayVersion() { return "1"; }
};
}  // namespace outer::inner

struct NotAKit {
    static std::string bundleIdentifier() { return "x"; }
};
static_assert(TRLKit<FullKit> && TRLKit<PlainKit>);
static_assert(!TRLKit<NotAKit> && !TRLKit<int>);

TEST(kitKitClass, OneDescriptorPerClass) {
    EXPECT_EQ(&KitClass::of<FullKit>(), &KitClass::of<FullKit>());
    EXPECT_NE(&KitClass::of<FullKit>(), &KitClass::of<PlainKit>());
}

TEST(kitKitClass, DescribesTheClassOperations) {
    const KitClass& full = KitClass::of<FullKit>();
    EXPECT_EQ(full.name, "FullKit");
    EXPECT_EQ(full.bundleIdentifier(), "org.talvor.test.full");
    EXPECT_EQ(full.kitDisplayVersion(), "4.5.6");
    ASSERT_TRUE(full.kitBuildVersion);
    EXPECT_EQ(full.kitBuildVersion(), "77");
    ASSERT_TRUE(full.initializeIfNeeded);
    const int before = fullKitStarts;
    full.initializeIfNeeded();
    EXPECT_EQ(fullKitStarts, before + 1);

    const KitClass& plain = KitClass::of<PlainKit>();
    EXPECT_EQ(plain.name, "PlainKit");
    EXPECT_EQ(plain.kitDisplayVersion(), "0.1");
    EXPECT_FALSE(plain.kitBuildVersion);
    EXPECT_FALSE(plain.initializeIfNeeded);
}

TEST(kitKitClass, TheNameIsUnqualified) {
    EXPECT_EQ(KitClass::of<outer::inner::NestedKit>().name, "NestedKit");
}

}  // namespace
}  // namespace talvor::kit
