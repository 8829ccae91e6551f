#include "foundation/MenuItemExtras.h"
#include "foundation/StringWithMaxLength.h"
#include "platform/AttributedString.h"
#include "platform/Menu.h"

#include <QFont>

#include <gtest/gtest.h>

#include <cmath>

namespace talvor {
namespace {

QFont testFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(12);
    return font;
}

TEST(foundationStringWithMaxLength, ANarrowerStringIsKeptAndAWiderOneCutProportionally) {
    const QFont font = testFont();
    const QString a100(100, u'a');
    const double width = platform::widthOfString(a100, font);
    ASSERT_GT(width, 0);

    EXPECT_EQ(stringWithMaxLength(QStringLiteral("abc"), 1000, font), QStringLiteral("abc"));
    const QString half = stringWithMaxLength(a100, static_cast<std::int32_t>(width / 2), font);
    ASSERT_TRUE(half.endsWith(QStringLiteral("...")));
    const qsizetype kept = half.size() - 3;
    EXPECT_GE(kept, 46);
    EXPECT_LE(kept, 48);
    EXPECT_EQ(half.left(kept), a100.left(kept));
}

TEST(foundationStringWithMaxLength, NeverANegativeLengthNorADivisionByZero) {
    const QFont font = testFont();
    struct Case {
        QString text;
        std::int32_t maximum;
        QString result;
    };
    const Case cases[] = {
        {QStringLiteral("abcdef"), 0, QStringLiteral("...")},
        {QStringLiteral("abcdef"), -40, QStringLiteral("...")},
        {QStringLiteral("abcdef"), 1, QStringLiteral("...")},
        {QStringLiteral("abcdef"), INT32_MIN, QStringLiteral("...")},
        {QString(), 0, QString()},
        {QString(), -3, QString()},
        {QString(), 10, QString()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(stringWithMaxLength(c.text, c.maximum, font), c.result)
            << c.text.toStdString() << " " << c.maximum;
    }
}

TEST(foundationStringWithMaxLength, NeverEndsInsideASurrogatePair) {
    const QFont font = testFont();
    QString text;
    for (int i = 0; i < 30; ++i) {
        text += QStringLiteral("x\U0001F600");  // one BMP unit, then a pair
    }
    for (std::int32_t maximum = -5; maximum < 800; maximum += 3) {
        const QString cut = stringWithMaxLength(text, maximum, font);
        if (cut == text) {
            continue;
        }
        ASSERT_TRUE(cut.endsWith(QStringLiteral("..."))) << maximum;
        const QString kept = cut.chopped(3);
        EXPECT_TRUE(text.startsWith(kept)) << maximum;
        EXPECT_TRUE(kept.isEmpty() || !kept.back().isHighSurrogate()) << maximum;
    }
}

TEST(foundationMenuItemExtras, ATitleWithSubtitleIsStyledAndTheSubtitleCut) {
    auto item = platform::MenuItem::create();
    const QString title = QStringLiteral("A rather long alarm title that is never shortened");
    const QString subtitle(200, u'w');
    MenuItemExtras::setTitle(*item, title, subtitle);

    const auto& runs = item->attributedTitle().runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].text, title);
    ASSERT_TRUE(runs[0].attributes.font);
    EXPECT_EQ(runs[0].attributes.font->pointSizeF(), 14);
    EXPECT_EQ(runs[0].attributes.obliqueness, 0);

    ASSERT_TRUE(runs[1].attributes.font);
    EXPECT_EQ(runs[1].attributes.font->pointSizeF(), 10);
    EXPECT_DOUBLE_EQ(runs[1].attributes.obliqueness, 0.3);
    ASSERT_TRUE(runs[1].text.startsWith(u' '));
    ASSERT_TRUE(runs[1].text.endsWith(QStringLiteral("...")));
    const QString shown = runs[1].text.mid(1).chopped(3);
    EXPECT_TRUE(subtitle.startsWith(shown));
    EXPECT_LT(platform::widthOfString(shown, *runs[1].attributes.font), 125);
    EXPECT_EQ(item->title(), item->attributedTitle().string());

    MenuItemExtras::setTitle(*item, title, QStringLiteral("Tue, 9:00 AM"));
    ASSERT_EQ(item->attributedTitle().runs().size(), 2u);
    EXPECT_EQ(item->attributedTitle().runs()[1].text, QStringLiteral(" Tue, 9:00 AM"));
}

TEST(foundationMenuItemExtras, NoSubtitleGivesThePlainTitle) {
    auto item = platform::MenuItem::create();
    MenuItemExtras::setTitle(*item, QStringLiteral("Old"), QStringLiteral("styled"));
    ASSERT_FALSE(item->attributedTitle().isEmpty());
    MenuItemExtras::setTitle(*item, QStringLiteral("Plain"), QString());
    EXPECT_EQ(item->title(), QStringLiteral("Plain"));
    EXPECT_TRUE(item->attributedTitle().isEmpty());
}

}  // namespace
}  // namespace talvor
