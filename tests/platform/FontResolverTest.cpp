#include "platform/FontResolver.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QFontInfo>

using namespace talvor::platform;

namespace {

// The resolver remembers its answers per family: the second round is answered from memory,
// and must still give each call the size it asked for, and a miss must stay a miss.
TEST(platformFontResolver, RememberedAnswersKeepEachCallsSize) {
    const QtFontResolver fonts;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        for (const double size : {9.0, 14.5, 30.0}) {
            const std::optional<QFont> font = fonts.fontNamed(QStringLiteral("DejaVu Sans"), size);
            ASSERT_TRUE(font.has_value());
            EXPECT_EQ(QFontInfo(*font).family(), QStringLiteral("DejaVu Sans"));
            EXPECT_DOUBLE_EQ(font->pointSizeF(), size);
            const std::optional<QFont> title = fonts.titleBarFont(size);
            ASSERT_TRUE(title.has_value());
            EXPECT_DOUBLE_EQ(title->pointSizeF(), size);
        }
        EXPECT_FALSE(fonts.fontNamed(QStringLiteral("No Such Family Anywhere"), 12.0));
        EXPECT_FALSE(fonts.fontNamed(QString(), 12.0));
    }
}

}  // namespace
