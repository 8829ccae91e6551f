#include "platform/Pasteboard.h"
#include "support/FakePasteboard.h"

#include <QClipboard>
#include <QGuiApplication>

#include <gtest/gtest.h>

namespace talvor::platform {
namespace {

TEST(platformPasteboard, QtPasteboardWritesTheDesktopClipboard) {
    QtPasteboard board;
    ASSERT_TRUE(board.setString(QStringLiteral("10.0.0.5")));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(board.string(), std::optional<QString>(QStringLiteral("10.0.0.5")));
}

TEST(platformPasteboard, GeneralPasteboardCanBeReplaced) {
    {
        test::FakePasteboard fake;
        Pasteboard::generalPasteboard().setString(QStringLiteral("fe80::1"));
        EXPECT_EQ(fake.writes, QStringList{QStringLiteral("fe80::1")});
    }
    EXPECT_NE(dynamic_cast<QtPasteboard*>(&Pasteboard::generalPasteboard()), nullptr);
}

}  // namespace
}  // namespace talvor::platform
