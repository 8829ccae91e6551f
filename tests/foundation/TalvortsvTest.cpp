#include "foundation/Talvortsv.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace talvor {
namespace {

using namespace Talvortsv;

TEST(foundationLocationsTsv, LinesEndAtEveryTerminatorAndAFinalOneAddsNoLine) {
    struct Case {
        QString text;
        QStringList lines;
    };
    const Case cases[] = {
        {QStringLiteral("a\r\nb\nc"), {"a", "b", "c"}},
        {QStringLiteral("one\n"), {"one"}},
        {QString(), {}},
        {QStringLiteral("\n"), {""}},
        {QStringLiteral("a\n\nb"), {"a", "", "b"}},
        {QStringLiteral("a\rb\r\n"), {"a", "b"}},
        {QStringLiteral("a\n\rb"), {"a", "", "b"}},
        {QStringLiteral("a\r\r\nb"), {"a", "", "b"}},
        {QString::fromUtf16(u"a\u2028b\u2029c\u0085d"), {"a", "b", "c", "d"}},
        {QStringLiteral("no terminator"), {"no terminator"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vltComponentsSeparatedByLineSeparators(c.text), c.lines) << c.text.toStdString();
    }
}

TEST(foundationLocationsTsv, TheHeaderGivesTheKeysOfEveryLaterLine) {
    const QString text = QStringLiteral("city,zone\n# a comment\nParis,Europe/Paris\n\nLima\n");
    const QList<QVariantMap> expected = {
        {{"city", "Paris"}, {"zone", "Europe/Paris"}},
        {{"city", "Lima"}},
    };
    EXPECT_EQ(arrayFromCSV(text), expected);

    struct Case {
        const char* text;
        QList<QVariantMap> rows;
    };
    const Case cases[] = {
        {"city,zone\n", {}},
        {"", {}},
        {"# only a comment\n", {}},
        {"city,zone\n,\n,,\n", {}},
        {"city\nParis,extra,fields", {{{"city", "Paris"}}}},
        {"city,zone\n,Asia/Tokyo", {{{"zone", "Asia/Tokyo"}}}},
        {"name,zone\n\"Paris, France\",x", {{{"name", "\"Paris"}, {"zone", " France\""}}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(arrayFromCSV(QString::fromUtf8(c.text)), c.rows) << c.text;
    }
}

TEST(foundationLocationsTsv, IndexedLinesKeyFieldsByPositionWithoutQuotes) {
    struct Case {
        const char* text;
        QList<QVariantMap> rows;
    };
    const Case cases[] = {
        {"\"Paris\",,CET", {{{"1", "Paris"}, {"3", "CET"}}}},
        {"a,b\n#c,d\nx", {{{"1", "a"}, {"2", "b"}}, {{"1", "x"}}}},
        {"\"\",,", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vltarrayIndexFromCSV(QString::fromUtf8(c.text)), c.rows) << c.text;
    }
    EXPECT_TRUE(arrayFromTSV(QStringLiteral("a\tb\n1\t2")).isEmpty());
}

}  // namespace
}  // namespace talvor
