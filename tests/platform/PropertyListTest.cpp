#include "platform/Date.h"
#include "platform/PropertyList.h"
#include "support/BinaryPlistBytes.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QColor>
#include <QDateTime>
#include <QSize>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

namespace {

using namespace talvor;
namespace PL = platform::PropertyList;
using PL::Format;
using test::binaryPlist;
using test::bplistContainer;
using test::bplistObject;

QString formatName(Format f) {
    return f == Format::Xml ? QStringLiteral("Xml") : QStringLiteral("Binary");
}

QVariant roundTrip(const QVariant& value, Format format) {
    const std::optional<QByteArray> bytes = PL::serialize(value, format);
    if (!bytes) {
        return QVariant(QStringLiteral("(serialize failed)"));
    }
    const std::optional<QVariant> back = PL::parse(*bytes);
    return back ? *back : QVariant(QStringLiteral("(parse failed)"));
}

QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), QTimeZone::utc());
}

double referenceSeconds(const QDateTime& dt) {
    return Date::fromQDateTime(dt).timeIntervalSinceReferenceDate();
}

QByteArray xmlDocument(const QByteArray& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body +
           "\n</plist>\n";
}

QVariantList nestedLists(int depth) {
    QVariantList v;
    for (int i = 1; i < depth; ++i) {
        v = QVariantList{QVariant(v)};
    }
    return v;
}

// --- both formats -----------------------------------------------------------------------

class PropertyListFormatTest : public ::testing::TestWithParam<Format> {};

using platformPropertyListFormat = PropertyListFormatTest;

INSTANTIATE_TEST_SUITE_P(Formats, platformPropertyListFormat,
                         ::testing::Values(Format::Xml, Format::Binary),
                         [](const auto& p) { return formatName(p.param).toStdString(); });

TEST_P(platformPropertyListFormat, ScalarsKeepTheirValueAndType) {
    QByteArray allBytes;
    for (int i = 0; i < 256; ++i) {
        allBytes.append(static_cast<char>(i));
    }
    const QVariant cases[] = {
        QVariant(true),
        QVariant(false),
        QVariant(qint64{0}),
        QVariant(qint64{1}),
        QVariant(qint64{-1}),
        QVariant(qint64{-2147483649}),
        QVariant(qint64{4294967296}),
        QVariant(std::numeric_limits<qint64>::min()),
        QVariant(std::numeric_limits<qint64>::max()),
        QVariant(1.0),  // a whole real stays a real
        QVariant(0.1),
        QVariant(-2.5e-300),
        QVariant(1.7976931348623157e308),
        QVariant(std::numeric_limits<double>::denorm_min()),
        QVariant(QString()),
        QVariant(QStringLiteral("plain")),
        QVariant(QStringLiteral("markup <&> \"quoted\" 'single' ]]> &amp;")),
        QVariant(QStringLiteral("  spaces, tab\tand\nnewline  ")),
        QVariant(QStringLiteral("é ü ß — 日本語 Ωμέγα")),
        QVariant(QStringLiteral("non-BMP 😀 𝄞 \U0001F1E9\U0001F1EA")),
        QVariant(QByteArray()),
        QVariant(allBytes),
        QVariant(QByteArray(100000, '\x5a')),
    };
    for (const QVariant& value : cases) {
        const QVariant back = roundTrip(value, GetParam());
        EXPECT_EQ(back.typeId(), value.typeId()) << value.typeName() << " " << back.typeName();
        EXPECT_EQ(back, value);
    }
}

TEST_P(platformPropertyListFormat, BoolsStayDistinctFromIntegers) {
    const QVariant back = roundTrip(QVariantList{true, qint64{1}, false, qint64{0}}, GetParam());
    const QVariantList list = back.toList();
    ASSERT_EQ(list.size(), 4);
    EXPECT_EQ(list[0].typeId(), QMetaType::Bool);
    EXPECT_EQ(list[1].typeId(), QMetaType::LongLong);
    EXPECT_EQ(list[2].typeId(), QMetaType::Bool);
    EXPECT_EQ(list[3].typeId(), QMetaType::LongLong);
}

TEST_P(platformPropertyListFormat, NonFiniteRealsSurvive) {
    const double inf = std::numeric_limits<double>::infinity();
    const QVariantList back = roundTrip(QVariantList{inf, -inf, std::nan("")}, GetParam()).toList();
    ASSERT_EQ(back.size(), 3);
    EXPECT_EQ(back[0].toDouble(), inf);
    EXPECT_EQ(back[1].toDouble(), -inf);
    EXPECT_TRUE(std::isnan(back[2].toDouble()));
}

TEST_P(platformPropertyListFormat, ContainersNestAndKeepOrderAndKeys) {
    const QVariantMap value{
        {QStringLiteral("empty list"), QVariantList{}},
        {QStringLiteral("empty map"), QVariantMap{}},
        {QString(), QStringLiteral("empty key")},
        {QStringLiteral("ключ 😀"), qint64{7}},
        {QStringLiteral("list"),
         QVariantList{qint64{3}, QStringLiteral("two"), 1.5, false, QByteArray("\0\1", 2),
                      QVariantMap{{QStringLiteral("deep"), QVariantList{QVariantList{true}}}},
                      utc(2020, 2, 29, 12)}},
    };
    EXPECT_EQ(roundTrip(value, GetParam()), QVariant(value));
}

TEST_P(platformPropertyListFormat, WhateverNestingSerializeAcceptsParsesBack) {
    // Deeper than any model, and never deeper than what parse reads back.
    int depth = 1;
    while (depth < 2000 && PL::serialize(nestedLists(depth + 1), GetParam())) {
        ++depth;
    }
    EXPECT_GE(depth, 100);
    EXPECT_LT(depth, 2000);
    EXPECT_EQ(roundTrip(nestedLists(depth), GetParam()), QVariant(nestedLists(depth)));
    QString error;
    EXPECT_FALSE(PL::serialize(nestedLists(depth + 1), GetParam(), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_P(platformPropertyListFormat, DatesKeepTheInstantAcrossZonesAndTheFullYearRange) {
    // Beyond what libplist's 32-bit date API carries (1933-2068) and before the 2001 epoch.
    const QDateTime cases[] = {
        utc(2001, 1, 1),
        utc(2024, 6, 1, 12, 34, 56),
        utc(1969, 7, 20, 20, 17, 40),
        utc(1900, 1, 1),
        utc(2100, 12, 31, 23, 59, 59),
        utc(4001, 1, 1),
        utc(1, 1, 1),
        utc(9999, 12, 31, 23, 59, 59),
        QDateTime(QDate(2024, 3, 31), QTime(2, 30), QTimeZone(7200)),
    };
    for (const QDateTime& dt : cases) {
        const QVariant back = roundTrip(dt, GetParam());
        ASSERT_EQ(back.typeId(), QMetaType::QDateTime) << dt.toString(Qt::ISODate).toStdString();
        EXPECT_EQ(back.toDateTime(), dt) << dt.toString(Qt::ISODate).toStdString();
        EXPECT_EQ(back.toDateTime().timeSpec(), Qt::UTC);
    }
}

TEST_P(platformPropertyListFormat, DatesOutsideYears1To9999AreClamped) {
    EXPECT_EQ(roundTrip(utc(-40, 1, 1), GetParam()).toDateTime(), utc(1, 1, 1));
    EXPECT_EQ(roundTrip(utc(30000, 1, 1), GetParam()).toDateTime(), utc(9999, 12, 31, 23, 59, 59));
}

TEST_P(platformPropertyListFormat, TruncatedDocumentsAreRefused) {
    const QVariantMap value{{QStringLiteral("a"), QVariantList{qint64{1}, QStringLiteral("x")}},
                            {QStringLiteral("b"), utc(2024, 1, 1)}};
    const QByteArray bytes = *PL::serialize(value, GetParam());
    // The XML prefix that ends inside the final "</plist>" tag is still a whole value.
    const qsizetype complete =
        GetParam() == Format::Xml ? bytes.lastIndexOf("</dict>") + 7 : bytes.size();
    for (qsizetype n = 0; n < bytes.size(); ++n) {
        QString error;
        const std::optional<QVariant> parsed = PL::parse(bytes.left(n), &error);
        if (n < complete) {
            EXPECT_FALSE(parsed) << n;
            EXPECT_FALSE(error.isEmpty()) << n;
        } else if (parsed) {
            EXPECT_EQ(*parsed, QVariant(value)) << n;
        }
    }
}

TEST_P(platformPropertyListFormat, RandomDamageNeverCrashes) {
    const QVariantMap value{
        {QStringLiteral("list"), QVariantList{qint64{-5}, 2.5, QStringLiteral("é😀"), true}},
        {QStringLiteral("data"), QByteArray("\x00\x01\x02\xff", 4)},
        {QStringLiteral("date"), utc(1999, 12, 31, 23, 59, 59, 250)},
        {QStringLiteral("map"), QVariantMap{{QStringLiteral("k"), QVariantList{}}}},
    };
    const QByteArray bytes = *PL::serialize(value, GetParam());
    std::mt19937 rng(20240601);
    for (int i = 0; i < 3000; ++i) {
        QByteArray damaged = bytes;
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            const auto at = static_cast<qsizetype>(rng() % damaged.size());
            damaged[at] = static_cast<char>(rng() & 0xff);
        }
        if (rng() % 4 == 0) {
            damaged.truncate(static_cast<qsizetype>(rng() % damaged.size()));
        }
        QString error;
        const std::optional<QVariant> parsed = PL::parse(damaged, &error);
        EXPECT_TRUE(parsed ? parsed->isValid() : !error.isEmpty());
    }
}

// --- precision that depends on the format ----------------------------------------------

TEST(platformPropertyList, BinaryDatesKeepMillisecondsXmlDatesWholeSeconds) {
    struct Case {
        QDateTime in;
        QDateTime xml;
    };
    const Case cases[] = {
        {utc(2024, 6, 1, 12, 34, 56, 789), utc(2024, 6, 1, 12, 34, 56)},
        {utc(2001, 1, 1, 0, 0, 0, 1), utc(2001, 1, 1)},
        // Before 2001 the fraction counts backwards from the next second: both formats once
        // got these wrong (libplist drops the sign of the fraction, and rounds XML up).
        {utc(1999, 12, 31, 23, 59, 59, 250), utc(1999, 12, 31, 23, 59, 59)},
        {utc(1950, 5, 5, 5, 5, 5, 999), utc(1950, 5, 5, 5, 5, 5)},
        {utc(2500, 1, 1, 0, 0, 0, 500), utc(2500, 1, 1)},
    };
    for (const Case& c : cases) {
        const std::string name = c.in.toString(Qt::ISODateWithMs).toStdString();
        EXPECT_EQ(roundTrip(c.in, Format::Binary).toDateTime(), c.in) << name;
        EXPECT_EQ(roundTrip(c.in, Format::Xml).toDateTime(), c.xml) << name;
    }
}

TEST(platformPropertyList, OnlyBinaryKeepsTheSignOfZero) {
    EXPECT_TRUE(std::signbit(roundTrip(-0.0, Format::Binary).toDouble()));
    const QVariant xml = roundTrip(-0.0, Format::Xml);
    EXPECT_EQ(xml.typeId(), QMetaType::Double);
    EXPECT_EQ(xml.toDouble(), 0.0);
    EXPECT_FALSE(std::signbit(xml.toDouble()));
}

TEST(platformPropertyList, XmlRealsIgnoreTheUserLocale) {
    const bool ran = test::withLocale("de_DE.UTF-8", [] {
        const QByteArray xml = *PL::serialize(QVariantList{2.5, -0.125}, Format::Xml);
        EXPECT_TRUE(xml.contains("<real>2.5</real>")) << xml.toStdString();
        EXPECT_EQ(*PL::parse(xml), QVariant(QVariantList{2.5, -0.125}));
    });
    if (!ran) {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    }
}

// --- normalized ------------------------------------------------------------------------

TEST(platformPropertyList, NormalizedWidensToTheCanonicalTypes) {
    QVariantHash hash;
    hash.insert(QStringLiteral("n"), 3);
    hash.insert(QStringLiteral("f"), 0.5f);
    struct Case {
        QVariant in;
        QVariant out;
    };
    const Case cases[] = {
        {QVariant(int{-7}), QVariant(qint64{-7})},
        {QVariant(uint{4000000000u}), QVariant(qint64{4000000000})},
        {QVariant::fromValue(short{-3}), QVariant(qint64{-3})},
        {QVariant::fromValue(static_cast<unsigned char>(200)), QVariant(qint64{200})},
        {QVariant(qulonglong{42}), QVariant(qint64{42})},
        {QVariant(0.1f), QVariant(static_cast<double>(0.1f))},
        {QVariant(QStringList{QStringLiteral("a"), QStringLiteral("b")}),
         QVariant(QVariantList{QStringLiteral("a"), QStringLiteral("b")})},
        {QVariant(hash),
         QVariant(QVariantMap{{QStringLiteral("n"), qint64{3}}, {QStringLiteral("f"), 0.5}})},
        {QVariant(QVariantList{1, QVariantList{2u}}),
         QVariant(QVariantList{qint64{1}, QVariantList{qint64{2}}})},
        {QVariant(QDateTime(QDate(2024, 1, 1), QTime(1, 0), QTimeZone(3600))),
         QVariant(utc(2024, 1, 1))},
    };
    for (const Case& c : cases) {
        const QVariant n = PL::normalized(c.in);
        EXPECT_EQ(n.typeId(), c.out.typeId()) << c.in.typeName();
        EXPECT_EQ(n, c.out) << c.in.typeName();
        EXPECT_TRUE(PL::isPropertyListValue(c.in)) << c.in.typeName();
    }
    EXPECT_EQ(PL::normalized(QDateTime(QDate(2024, 1, 1), QTime(1, 0), QTimeZone(3600)))
                  .toDateTime()
                  .timeSpec(),
              Qt::UTC);
}

TEST(platformPropertyList, ValuesAPropertyListCannotHoldAreInvalid) {
    const QVariant cases[] = {
        QVariant(),
        QVariant(QColor(Qt::red)),
        QVariant(QVariantList{qint64{1}, QColor(Qt::red)}),
        QVariant(QVariantMap{{QStringLiteral("c"), QVariantList{QColor(Qt::blue)}}}),
        QVariant(QDateTime()),
        QVariant(QSize(1, 2)),
        // libplist takes C strings: a NUL would silently shorten the text or merge keys.
        QVariant(QStringLiteral("a") + QChar(0) + QStringLiteral("b")),
        QVariant(QVariantMap{{QStringLiteral("k") + QChar(0), qint64{1}}}),
    };
    for (const QVariant& value : cases) {
        EXPECT_FALSE(PL::normalized(value).isValid()) << value.typeName();
        EXPECT_FALSE(PL::isPropertyListValue(value)) << value.typeName();
        for (Format f : {Format::Xml, Format::Binary}) {
            QString error;
            EXPECT_FALSE(PL::serialize(value, f, &error)) << value.typeName();
            EXPECT_FALSE(error.isEmpty());
        }
    }
}

// --- documents from elsewhere ----------------------------------------------------------

TEST(platformPropertyList, ReadsXmlWrittenByOtherTools) {
    struct Case {
        QByteArray body;
        QVariant expected;
    };
    const Case cases[] = {
        {"<integer>-42</integer>", QVariant(qint64{-42})},
        {"<real>2.5e3</real>", QVariant(2500.0)},
        {"<real>3</real>", QVariant(3.0)},
        {"<date>2024-03-01T10:00:00Z</date>", QVariant(utc(2024, 3, 1, 10))},
        {"<date>2500-01-01T00:00:00Z</date>", QVariant(utc(2500, 1, 1))},
        {"<string>a &amp; b &lt;&#x1F600;&gt;</string>",
         QVariant(QStringLiteral("a & b <\U0001F600>"))},
        {"<string><![CDATA[<array></dict>]]></string>", QVariant(QStringLiteral("<array></dict>"))},
        {"<!-- </array></array> --><array><!-- <dict> --><true/><array/><dict/></array>",
         QVariant(QVariantList{true, QVariantList{}, QVariantMap{}})},
        {"<data>AAEC/w==</data>", QVariant(QByteArray("\x00\x01\x02\xff", 4))},
        {"<dict><key>k</key><array><integer>1</integer></array></dict>",
         QVariant(QVariantMap{{QStringLiteral("k"), QVariantList{qint64{1}}}})},
    };
    for (const Case& c : cases) {
        const std::optional<QVariant> parsed = PL::parse(xmlDocument(c.body));
        ASSERT_TRUE(parsed) << c.body.toStdString();
        EXPECT_EQ(*parsed, c.expected) << c.body.toStdString();
    }
    // A NUL ends a string, so that what is read can always be written back.
    const QByteArray nul = xmlDocument(QByteArray("<string>a\0b</string>", 20));
    EXPECT_EQ(PL::parse(nul), std::optional<QVariant>(QStringLiteral("a")));
    const QByteArray withDtd =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [ <!ELEMENT x (#PCDATA)> ]>\n"
        "<plist version=\"1.0\"><array><false/></array></plist>";
    EXPECT_EQ(PL::parse(withDtd), std::optional<QVariant>(QVariantList{false}));
}

TEST(platformPropertyList, ReadsBinaryValuesLibplistHandsOverBadly) {
    auto date = [](double seconds) {
        return bplistObject(0x30, 3, test::bigEndian(std::bit_cast<quint64>(seconds), 8));
    };
    auto root = [](const QByteArray& object) {
        return binaryPlist({bplistContainer(0xa0, {1}, 1), object}, 1);
    };
    struct Case {
        const char* name;
        QByteArray bytes;
        QVariant expected;
    };
    const Case cases[] = {
        {"date 4001, past 32-bit seconds", root(date(referenceSeconds(utc(4001, 1, 1)))),
         QVariantList{utc(4001, 1, 1)}},
        {"date 1800", root(date(referenceSeconds(utc(1800, 7, 1, 6, 0, 0, 125)))),
         QVariantList{utc(1800, 7, 1, 6, 0, 0, 125)}},
        {"date half a second before 2001", root(date(-0.5)),
         QVariantList{utc(2000, 12, 31, 23, 59, 59, 500)}},
        {"date beyond year 9999", root(date(1e300)), QVariantList{utc(9999, 12, 31, 23, 59, 59)}},
        {"NaN date is left out", root(date(std::nan(""))), QVariantList{}},
        {"ASCII string with NUL", root(bplistObject(0x50, 3, QByteArray("a\0b", 3))),
         QVariantList{QStringLiteral("a")}},
        {"UTF-16 string with NUL", root(bplistObject(0x60, 2, QByteArray("\0A\0\0", 4))),
         QVariantList{QStringLiteral("A")}},
        {"UTF-16 string", root(bplistObject(0x60, 2, QByteArray("\xd8\x3d\xde\x00", 4))),
         QVariantList{QStringLiteral("\U0001F600")}},
        {"16-byte integer",
         root(bplistObject(0x10, 4, test::bigEndian(0, 8) + test::bigEndian(77, 8))),
         QVariantList{qint64{77}}},
        {"UID is left out", root(bplistObject(0x80, 0, QByteArray("\x05", 1))), QVariantList{}},
    };
    for (const Case& c : cases) {
        QString error;
        const std::optional<QVariant> parsed = PL::parse(c.bytes, &error);
        ASSERT_TRUE(parsed) << c.name << ": " << error.toStdString();
        EXPECT_EQ(*parsed, c.expected) << c.name;
    }
}

TEST(platformPropertyList, GarbageIsRefusedWithAnError) {
    const QByteArray valid = binaryPlist({bplistContainer(0xa0, {1, 1}, 1), "\x09"}, 1);
    ASSERT_TRUE(PL::parse(valid));
    auto patched = [&](qsizetype fromEnd, const QByteArray& bytes) {
        QByteArray b = valid;
        b.replace(b.size() - fromEnd, bytes.size(), bytes);
        return b;
    };
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"empty", QByteArray()},
        {"text", "hello, world, this is not a list"},
        {"magic only", "bplist00"},
        {"magic and zeros", QByteArray("bplist00") + QByteArray(40, '\0')},
        {"other version", QByteArray(valid).replace(6, 2, "01")},
        {"offset width 0", patched(26, QByteArray(1, '\0'))},
        {"reference width 0", patched(25, QByteArray(1, '\0'))},
        {"reference width 9", patched(25, "\x09")},
        {"object count huge", patched(24, test::bigEndian(~0ull, 8))},
        {"root past the objects", patched(16, test::bigEndian(2, 8))},
        {"table past the end", patched(8, test::bigEndian(1ull << 40, 8))},
        {"reference past the objects", binaryPlist({bplistContainer(0xa0, {1, 7}, 1), "\x09"}, 1)},
        {"array longer than the file", binaryPlist({bplistObject(0xa0, 1000, "\x01"), "\x09"}, 1)},
        {"string longer than the file", binaryPlist({bplistObject(0x50, 1u << 30, "abc")}, 1)},
        {"unknown marker", binaryPlist({bplistContainer(0xa0, {1}, 1), "\x70"}, 1)},
        {"bad real width", binaryPlist({bplistContainer(0xa0, {1}, 1), "\x21\0\0"}, 1)},
        {"key is not a string", binaryPlist({bplistContainer(0xd0, {1, 1}, 1), "\x10\x01"}, 1)},
        // libplist aborts on the first (an assertion) and cuts the second short.
        {"UTF-16 key holding U+0000",
         binaryPlist(
             {bplistContainer(0xd0, {1, 2}, 1), bplistObject(0x60, 1, QByteArray(2, '\0')), "\x09"},
             1)},
        {"ASCII key holding NUL",
         binaryPlist({bplistContainer(0xd0, {1, 2}, 1),
                      bplistObject(0x50, 3, QByteArray("a\0b", 3)), "\x09"},
                     1)},
        {"array holding itself", binaryPlist({bplistContainer(0xa0, {0}, 1)}, 1)},
        {"xml without root", xmlDocument("")},
        {"xml unclosed", xmlDocument("<array><string>x</string>")},
        {"xml mismatched", xmlDocument("<array></dict>")},
        {"xml unknown tag", xmlDocument("<colour>red</colour>")},
        {"xml bad integer", xmlDocument("<array><integer>1</string></array>")},
        {"xml bad base64", xmlDocument("<data>!!!</data")},
        {"xml bad entity", xmlDocument("<string>&bogus;</string>")},
        {"xml unterminated comment", xmlDocument("<!-- <array>")},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_FALSE(PL::parse(c.bytes, &error)) << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
    }
}

TEST(platformPropertyList, DeepOrExplosiveDocumentsAreRefusedNotOverflowed) {
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    auto chain = [](int n) {
        QList<QByteArray> objects;
        for (int i = 0; i + 1 < n; ++i) {
            objects.append(bplistContainer(0xa0, {quint64(i + 1)}, 4));
        }
        objects.append(bplistContainer(0xa0, {}, 4));
        return binaryPlist(objects, 4);
    };
    // Each array holds the next one twice: 2^22 elements once expanded, from 100 bytes;
    // libplist alone spends gigabytes on it (and is killed from about 28 levels).
    QList<QByteArray> doubling;
    for (int i = 0; i < 22; ++i) {
        doubling.append(bplistContainer(0xa0, {quint64(i + 1), quint64(i + 1)}, 1));
    }
    doubling.append("\x09");
    const Case cases[] = {
        {"binary, 100000 arrays deep", chain(100000)},
        {"binary, shared arrays", binaryPlist(doubling, 1)},
        {"xml, 100000 arrays deep", xmlDocument(QByteArray("<array>").repeated(100000) +
                                                QByteArray("</array>").repeated(100000))},
        {"xml, 1000000 dictionaries, unclosed",
         xmlDocument(QByteArray("<dict><key>k</key>").repeated(1000000))},
        {"xml, closing tags hidden in a comment",
         xmlDocument(QByteArray("<array><!-- </array> -->").repeated(50000))},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_FALSE(PL::parse(c.bytes, &error)) << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
    }
}

// --- limits and shared objects -------------------------------------------------------

// A container beyond the entry limit is refused while it is read, with its length: before
// its entries are read, so entries that could not be read at all do not change the answer.
TEST(platformPropertyList, ContainersBeyondTheEntryLimitAreRefusedWithTheirLength) {
    auto binary = [](const QVariant& v) { return *PL::serialize(v, Format::Binary); };
    auto xmlList = [](const QByteArray& entry, int n) {
        return xmlDocument("<array>" + entry.repeated(n) + "</array>");
    };
    auto dictionary = [](int n) {
        QVariantMap map;
        for (int i = 0; i < n; ++i) {
            map.insert(QStringLiteral("k%1").arg(i), QVariantList{});
        }
        return QVariant(map);
    };
    const QVariantList three{qint64{1}, qint64{2}, qint64{3}};
    const QVariantList four{qint64{1}, qint64{2}, qint64{3}, qint64{4}};
    struct Case {
        const char* name;
        QByteArray bytes;
        std::optional<qint64> refusedWith;
        bool readableWithoutLimit;
    };
    const Case cases[] = {
        {"binary, 3 entries", binary(three), std::nullopt, true},
        {"binary, 4 entries", binary(four), 4, true},
        {"binary, 4 entries inside", binary(QVariantList{QVariant(three), QVariant(four)}), 4,
         true},
        {"binary, a dictionary of 3", binary(dictionary(3)), std::nullopt, true},
        {"binary, a dictionary of 4", binary(dictionary(4)), 4, true},
        {"binary, 5 unreadable entries",
         binaryPlist({bplistContainer(0xa0, {1, 1, 1, 1, 1}, 1), "\x70"}, 1), 5, false},
        {"xml, 3 entries", xmlList("<true/>", 3), std::nullopt, true},
        {"xml, 4 entries", xmlList("<true/>", 4), 4, true},
        {"xml, 4 entries inside",
         xmlDocument("<array><array>" + QByteArray("<string>x</string>").repeated(4) +
                     "</array><true/></array>"),
         4, true},
        {"xml, a dictionary of 3", *PL::serialize(dictionary(3), Format::Xml), std::nullopt, true},
        {"xml, a dictionary of 4", *PL::serialize(dictionary(4), Format::Xml), 4, true},
        {"xml, 5 unreadable entries", xmlList("<colour/>", 5), 5, false},
        {"xml, 5 entries, unclosed", xmlDocument("<array>" + QByteArray("<false/>").repeated(5)), 5,
         false},
    };
    for (const Case& c : cases) {
        PL::Refusal refusal;
        const std::optional<QVariant> parsed = PL::parse(c.bytes, PL::Limits{3}, &refusal);
        EXPECT_EQ(parsed.has_value(), !c.refusedWith) << c.name;
        EXPECT_EQ(refusal.entries, c.refusedWith) << c.name;
        EXPECT_EQ(refusal.message.isEmpty(), !c.refusedWith) << c.name;
        EXPECT_EQ(PL::parse(c.bytes).has_value(), c.readableWithoutLimit) << c.name;
    }
}

// Objects that several references lead to are read once and shared, yet the bounds hold
// wherever they are met: nesting is counted from the deepest place, and a cycle through a
// shared object or a shared string used as a key with a NUL is refused.
TEST(platformPropertyList, SharedObjectsKeepTheBoundsWhereverTheyAreMet) {
    // The root holds C0 and D0: C0..C249 a chain of 250 arrays, D0..D(n-1) a chain of n
    // arrays whose last holds C0 again, 1 + n + 250 arrays deep there.
    auto chainMetAgain = [](int n) {
        constexpr int kChain = 250;
        const quint64 c0 = 1;
        const quint64 d0 = c0 + kChain;
        QList<QByteArray> objects{bplistContainer(0xa0, {c0, d0}, 2)};
        for (int i = 0; i < kChain; ++i) {
            objects.append(i + 1 < kChain ? bplistContainer(0xa0, {c0 + i + 1}, 2)
                                          : bplistContainer(0xa0, {}, 2));
        }
        for (int i = 0; i < n; ++i) {
            objects.append(bplistContainer(0xa0, {i + 1 < n ? d0 + i + 1 : c0}, 2));
        }
        return binaryPlist(objects, 2);
    };
    const QVariant shared(QStringLiteral("shared"));
    const QVariant pair(QVariantList{shared, shared});
    struct Case {
        const char* name;
        QByteArray bytes;
        bool readable;
        QVariant expected;  // when readable and not invalid
    };
    const Case cases[] = {
        {"a chain met again 256 deep", chainMetAgain(5), true, {}},
        {"a chain met again 257 deep", chainMetAgain(6), false, {}},
        {"a diamond",
         binaryPlist({bplistContainer(0xa0, {1, 1}, 1), bplistContainer(0xa0, {2, 2}, 1),
                      bplistObject(0x50, 6, "shared")},
                     1),
         true, QVariant(QVariantList{pair, pair})},
        {"a cycle through two arrays",
         binaryPlist({bplistContainer(0xa0, {1, 2}, 1), bplistContainer(0xa0, {2}, 1),
                      bplistContainer(0xa0, {1}, 1)},
                     1),
         false,
         {}},
        {"a value used as a key",
         binaryPlist({bplistContainer(0xa0, {1, 2}, 1), bplistObject(0x50, 1, "k"),
                      bplistContainer(0xd0, {1, 3}, 1), "\x09"},
                     1),
         true,
         QVariant(QVariantList{QStringLiteral("k"), QVariantMap{{QStringLiteral("k"), true}}})},
        {"a value with NUL used as a key",
         binaryPlist(
             {bplistContainer(0xa0, {1, 2}, 1), bplistObject(0x50, 3, QByteArray("a\0b", 3)),
              bplistContainer(0xd0, {1, 3}, 1), "\x09"},
             1),
         false,
         {}},
    };
    for (const Case& c : cases) {
        QString error;
        const std::optional<QVariant> parsed = PL::parse(c.bytes, &error);
        EXPECT_EQ(parsed.has_value(), c.readable) << c.name << ": " << error.toStdString();
        EXPECT_EQ(error.isEmpty(), c.readable) << c.name;
        if (parsed && c.expected.isValid()) {
            EXPECT_EQ(*parsed, c.expected) << c.name;
        }
    }
}

TEST(platformPropertyList, RandomBytesNeverCrash) {
    std::mt19937 rng(7);
    for (int i = 0; i < 4000; ++i) {
        QByteArray bytes;
        const int length = static_cast<int>(rng() % 160);
        for (int k = 0; k < length; ++k) {
            bytes.append(static_cast<char>(rng() & 0xff));
        }
        switch (i % 3) {
            case 0:
                bytes.prepend("bplist00");
                break;
            case 1:
                bytes.prepend("<plist><array>");
                break;
            default:
                break;
        }
        const std::optional<QVariant> parsed = PL::parse(bytes);
        if (parsed) {
            EXPECT_TRUE(parsed->isValid());
        }
    }
}

}  // namespace
