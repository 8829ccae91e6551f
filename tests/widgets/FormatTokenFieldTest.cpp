#include "support/QtPrinters.h"
#include "widgets/FormatTokenField.h"

#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace talvor {
namespace {

// A field with two sources that show the same text, as an hour and a minute do at 03:03.
class FormatTokenFieldFixture : public ::testing::Test {
  protected:
    FormatTokenFieldFixture() {
        field.setSources({TokenString{QStringLiteral("3"), 8, 1, QStringLiteral("h")},
                          TokenString{QStringLiteral("3"), 9, 1, QStringLiteral("m")}});
        field.setMenus({{8,
                         {{QStringLiteral("1-12"), QStringLiteral("h")},
                          {QStringLiteral("01-12"), QStringLiteral("hh")}}},
                        {9, {{QStringLiteral("03"), QStringLiteral("mm")}}}},
                       [](const QString& pattern) {
                           return pattern.size() == 2 ? QStringLiteral("03") : QStringLiteral("3");
                       });
        QObject::connect(&field, &FormatTokenField::objectsChanged, [this] { ++changes; });
    }
    static QString patternOf(const FormatObject& object) {
        const auto* token = std::get_if<TokenString>(&object);
        return token != nullptr ? token->pattern : QStringLiteral("<text>");
    }

    FormatTokenField field;
    int changes = 0;
};

using widgetsFormatTokenField = FormatTokenFieldFixture;

TEST_F(widgetsFormatTokenField, DroppedTextBecomesTheTokenOfItsSourceOrStaysText) {
    struct Case {
        const char* name;
        QString text;
        std::optional<int> source;  // the drag's source field, when it names one
        QString pattern;
    };
    const Case cases[] = {
        {"from the minute field", QStringLiteral("3"), 1, QStringLiteral("m")},
        {"from the hour field", QStringLiteral("3"), 0, QStringLiteral("h")},
        {"text alone: the first source showing it", QStringLiteral("3"), std::nullopt,
         QStringLiteral("h")},
        {"text no source shows", QStringLiteral("3:"), std::nullopt, QStringLiteral("<text>")},
        {"a source out of range", QStringLiteral("x"), 7, QStringLiteral("<text>")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        field.clear();
        QMimeData mime;
        mime.setText(c.text);
        if (c.source) {
            mime.setData(FormatTokenField::sourceMimeType(), QByteArray::number(*c.source));
        }
        ASSERT_TRUE(field.dropMimeData(mime));
        ASSERT_EQ(field.objects().size(), 1);
        EXPECT_EQ(patternOf(field.objects().front()), c.pattern);
    }
    QMimeData empty;
    EXPECT_FALSE(field.dropMimeData(empty)) << "nothing to drop";
}

TEST_F(widgetsFormatTokenField, TypingGoesInAtTheEndAndBackspaceRemovesTheLastObject) {
    field.append(field.representedObjectForEditingString(QStringLiteral("3"), 0));
    QTest::keyClicks(field.typingField(), QStringLiteral(":"));
    ASSERT_EQ(field.objects().size(), 2);
    EXPECT_EQ(std::get<QString>(field.objects().at(1)), QStringLiteral(":"));
    // A token after typed text keeps the text before it.
    field.append(field.representedObjectForEditingString(QStringLiteral("3"), 1));
    ASSERT_EQ(field.objects().size(), 3);
    EXPECT_EQ(patternOf(field.objects().at(2)), QStringLiteral("m"));
    EXPECT_TRUE(field.typingField()->text().isEmpty());

    QTest::keyClick(field.typingField(), Qt::Key_Backspace);
    EXPECT_EQ(field.objects().size(), 2);
    QTest::keyClick(field.typingField(), Qt::Key_Backspace);
    QTest::keyClick(field.typingField(), Qt::Key_Backspace);
    QTest::keyClick(field.typingField(), Qt::Key_Backspace);
    EXPECT_TRUE(field.objects().isEmpty()) << "Backspace on an empty field does nothing more";
    EXPECT_GT(changes, 0);
}

TEST_F(widgetsFormatTokenField, AnAlternativeChangesTheTokensPatternAndText) {
    field.append(field.representedObjectForEditingString(QStringLiteral("3"), 0));
    field.append(QStringLiteral(":"));
    QMenu* menu = field.menuForObject(0);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_TRUE(menu->actions().at(0)->isChecked()) << "the current form is marked";
    EXPECT_TRUE(field.chooseAlternative(0, 1));
    const auto& token = std::get<TokenString>(field.objects().at(0));
    EXPECT_EQ(token.pattern, QStringLiteral("hh"));
    EXPECT_EQ(token.name, QStringLiteral("03"));
    EXPECT_EQ(field.findChild<QToolButton*>(QStringLiteral("object0"))->text(),
              QStringLiteral("03"));
    EXPECT_FALSE(field.chooseAlternative(1, 0)) << "typed text has no menu";
    EXPECT_FALSE(field.chooseAlternative(0, 2)) << "no such alternative";
    EXPECT_FALSE(field.chooseAlternative(5, 0)) << "no such object";
    EXPECT_EQ(field.menuForObject(1), nullptr);
}

}  // namespace
}  // namespace talvor
