#include "foundation/ColorExtras.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/ScanFormat.h"
#include "foundation/TalvorLoadFonts.h"
#include "foundation/TalvorProColor.h"
#include "platform/KeyedArchiver.h"
#include "platform/Log.h"
#include "support/FakeFontResolver.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <QFontDatabase>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>

namespace talvor {
namespace {

using test::FakeFontResolver;
using test::LogCapture;
using test::ScopedFontResolver;
using test::ScopedMemoryDomain;

class PreferenceEncodings : public ::testing::Test {
  protected:
    platform::MemoryPreferenceStore& store() { return domain_.store(); }
    ScopedMemoryDomain domain_{appTalvor4Prefs};
};

std::string describe(const QVariant& v) {
    return v.isValid() ? std::string(v.typeName()) + " " + v.toString().toStdString() : "(absent)";
}

// QColor keeps 16 bits a component.
constexpr double kColorTolerance = 1.0 / 65535.0;

void expectColor(const QColor& c, double r, double g, double b, double a) {
    EXPECT_NEAR(c.redF(), r, kColorTolerance);
    EXPECT_NEAR(c.greenF(), g, kColorTolerance);
    EXPECT_NEAR(c.blueF(), b, kColorTolerance);
    EXPECT_NEAR(c.alphaF(), a, kColorTolerance);
}

// --- flags, integers, texts -------------------------------------------------------------

using foundationPreferenceEncodings = PreferenceEncodings;

TEST_F(foundationPreferenceEncodings, FlagsAndIntegersFollowTheStoredNumberOrTheDefault) {
    struct Case {
        QVariant stored;  // invalid: absent
        bool flagWithDefaultOn;
        bool flagWithDefaultOff;
        qint32 integerWithDefault7;
    };
    const Case cases[] = {
        {QVariant(), true, false, 7},
        {QVariant(qint64(1)), true, true, 1},
        {QVariant(qint64(0)), false, false, 0},
        // Only the low eight bits make the flag.
        {QVariant(qint64(256)), false, false, 256},
        {QVariant(qint64(257)), true, true, 257},
        {QVariant(qint64(-1)), true, true, -1},
        {QVariant(true), true, true, 1},
        {QVariant(false), false, false, 0},
        {QVariant(3.7), true, true, 3},
        // Text is not an integer, whatever it says.
        {QVariant(QStringLiteral("1")), true, false, 7},
        {QVariant(QByteArray("\x01")), true, false, 7},
    };
    for (const Case& c : cases) {
        store().setValue(QStringLiteral("k"), c.stored);
        SCOPED_TRACE(describe(c.stored));
        EXPECT_EQ(PreferenceDomain::readFlag(QStringLiteral("k"), true), c.flagWithDefaultOn);
        EXPECT_EQ(PreferenceDomain::readFlag(QStringLiteral("k"), false), c.flagWithDefaultOff);
        EXPECT_EQ(PreferenceDomain::readInteger(QStringLiteral("k"), 7), c.integerWithDefault7);
    }
}

TEST_F(foundationPreferenceEncodings, WritersStoreThirtyTwoBitNumbersAndText) {
    PreferenceDomain::writeFlag(QStringLiteral("flag"), true);
    PreferenceDomain::writeInteger(QStringLiteral("int"), 22745);
    PreferenceDomain::writeText(QStringLiteral("text"), QStringLiteral("hh:mm:ss a"));
    EXPECT_EQ(store().value(QStringLiteral("flag")).typeId(), QMetaType::LongLong);
    EXPECT_EQ(store().value(QStringLiteral("flag")).toLongLong(), 1);
    EXPECT_EQ(PreferenceDomain::readInteger(QStringLiteral("int"), 0), 22745);
    EXPECT_EQ(PreferenceDomain::readText(QStringLiteral("text"), {}), QStringLiteral("hh:mm:ss a"));
    EXPECT_EQ(PreferenceDomain::readText(QStringLiteral("int"), QStringLiteral("dflt")),
              QStringLiteral("dflt"));
}

// --- colours as text ----------------------------------------------------------------------

TEST_F(foundationPreferenceEncodings, ColourTextIsWrittenInRgbWithSixDecimals) {
    struct Case {
        QColor color;
        double r, g, b, a;
    };
    const Case cases[] = {
        {QColor::fromRgbF(1, 0, 0, 1), 1, 0, 0, 1},
        {QColor::fromRgbF(0, 0, 0, 0), 0, 0, 0, 0},
        {QColor::fromRgbF(0.5f, 0.25f, 0, 1), 0.5, 0.25, 0, 1},
        // Other models are converted: CMYK as (1-c)(1-k) a channel.
        {QColor::fromCmykF(0, 1, 1, 0.5f), 0.5, 0, 0, 1},
        {QColor::fromCmykF(0, 0, 0, 0, 0.25f), 1, 1, 1, 0.25},
        {QColor::fromHsvF(0, 0, 1), 1, 1, 1, 1},
    };
    const QRegularExpression shape(
        QStringLiteral(R"(^\[\d\.\d{6}\] \[\d\.\d{6}\] \[\d\.\d{6}\] \[\d\.\d{6}\]$)"));
    for (const Case& c : cases) {
        TalvorProColor::saveColorToDefaults(c.color, QStringLiteral("TextColorTime"));
        const QString text = store().value(QStringLiteral("TextColorTime")).toString();
        SCOPED_TRACE(text.toStdString());
        EXPECT_TRUE(shape.match(text).hasMatch());
        const std::vector<ScanValue> read = scanFormat(text, "[%f] [%f] [%f] [%f]");
        ASSERT_EQ(read.size(), 4u);
        const double expected[] = {c.r, c.g, c.b, c.a};
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(scanValueAsDouble(read[static_cast<std::size_t>(i)]), expected[i], 2e-5);
        }
    }
    EXPECT_EQ(store().value(QStringLiteral("TextColorTime")).toString(),
              QStringLiteral("[1.000000] [1.000000] [1.000000] [1.000000]"));
    // Written without synchronising the store.
    EXPECT_EQ(store().synchronizeCount(), 0);
}

TEST_F(foundationPreferenceEncodings, AColourWithNoComponentsWritesNothing) {
    store().setValue(QStringLiteral("TextColorDate"),
                     QStringLiteral("[0.100000] [0.200000] [0.300000] [1.000000]"));
    LogCapture log;
    TalvorProColor::saveColorToDefaults(QColor(), QStringLiteral("TextColorDate"));
    EXPECT_EQ(store().value(QStringLiteral("TextColorDate")).toString(),
              QStringLiteral("[0.100000] [0.200000] [0.300000] [1.000000]"));
    EXPECT_EQ(log.lines().size(), 1);
}

TEST_F(foundationPreferenceEncodings, ColourTextIsReadLeniently) {
    struct Case {
        const char* text;
        double r, g, b, a;
        bool logs;
    };
    const Case cases[] = {
        {"[1.000000] [0.000000] [0.000000] [1.000000]", 1, 0, 0, 1, false},
        {"[0.5] [0.25] [0] [1]", 0.5, 0.25, 0, 1, false},
        // Missing components: 0, alpha 1.
        {"[0.5] [0.25]", 0.5, 0.25, 0, 1, false},
        {"garbage", 0, 0, 0, 1, false},
        {"", 0, 0, 0, 1, false},
        // A negative alpha is reported; components are kept within 0...1.
        {"[0.2] [0.3] [0.4] [-1]", 0.2, 0.3, 0.4, 0, true},
        {"[2] [-0.5] [0.5] [1]", 1, 0, 0.5, 1, false},
        {"[nan] [0.5] [0.5] [nan]", 0, 0.5, 0.5, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        store().setValue(QStringLiteral("key"), QString::fromLatin1(c.text));
        LogCapture log;
        const QColor got = TalvorProColor::myGetColorFromDefaults(QStringLiteral("key"), Qt::green);
        ASSERT_TRUE(got.isValid());
        EXPECT_EQ(got.spec(), QColor::Rgb);
        expectColor(got, c.r, c.g, c.b, c.a);
        EXPECT_EQ(log.contains(QStringLiteral("my Get color= key 0.20 0.30 0.40 -1.00")), c.logs);
    }
}

TEST_F(foundationPreferenceEncodings, AbsentOrNonTextColourGivesTheDefaultItself) {
    const QColor fallback = QColor::fromCmykF(0.1f, 0.2f, 0.3f, 0.4f);
    EXPECT_EQ(TalvorProColor::myGetColorFromDefaults(QStringLiteral("never"), fallback), fallback);
    store().setValue(QStringLiteral("number"), qint64(5));
    EXPECT_EQ(TalvorProColor::myGetColorFromDefaults(QStringLiteral("number"), fallback), fallback);
}

TEST_F(foundationPreferenceEncodings, ColourTextRoundTripsUnderACommaDecimalLocale) {
    bool ran = test::withLocale("de_DE.UTF-8", [&] {
        TalvorProColor::saveColorToDefaults(QColor::fromRgbF(0.5f, 0.25f, 0.125f, 0.75f),
                                            QStringLiteral("c"));
        const QString text = store().value(QStringLiteral("c")).toString();
        EXPECT_FALSE(text.contains(QLatin1Char(','))) << text.toStdString();
        expectColor(TalvorProColor::myGetColorFromDefaults(QStringLiteral("c"), Qt::black), 0.5,
                    0.25, 0.125, 0.75);
        store().setValue(QStringLiteral("f"), QStringLiteral("12.5"));
        EXPECT_FLOAT_EQ(myCFGetFloat(QStringLiteral("f")), 12.5f);
    });
    if (!ran) {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed (scripts/setup-deps generates it)";
    }
}

// --- fonts ---------------------------------------------------------------------------------

TEST_F(foundationPreferenceEncodings, SavingAFontWritesTraitsAndName) {
    QFont font(QStringLiteral("Lucida Grande"));
    font.setPointSizeF(14);
    TalvorLoadFonts::TalvorSaveFont(QStringLiteral("TimeFont"), font);
    EXPECT_EQ(store().value(QStringLiteral("TimeFontName")).toString(),
              QStringLiteral("Lucida Grande"));
    EXPECT_EQ(store().value(QStringLiteral("TimeFontTraits")).toString(),
              QStringLiteral("Size: 14.000 Trait:0 Weight:5"));

    QFont bold(QStringLiteral("X"));
    bold.setPointSizeF(9.5);
    bold.setBold(true);
    bold.setItalic(true);
    TalvorLoadFonts::TalvorSaveFont(QStringLiteral("DateFont"), bold);
    EXPECT_EQ(store().value(QStringLiteral("DateFontTraits")).toString(),
              QStringLiteral("Size: 9.500 Trait:3 Weight:9"));
}

TEST_F(foundationPreferenceEncodings, SavingNoFontWritesNothingAndLogs) {
    LogCapture log;
    TalvorLoadFonts::TalvorSaveFont(QStringLiteral("TimeFont"), std::nullopt);
    EXPECT_TRUE(store().keys().isEmpty());
    EXPECT_TRUE(log.contains(QStringLiteral("Save font nil = TimeFont")));
}

TEST(foundationFontTraits, ScanReadsOnlyASizeAfterThePrefix) {
    struct Case {
        const char* text;
        bool ok;
        float size;
    };
    const Case cases[] = {
        {"Size: 14.000 Trait:0 Weight:5", true, 14.0f},
        {"Size: 1.500 Trait:0 Weight:5", true, 1.5f},
        {"Size: 12", true, 12.0f},
        {"Size:12", false, 10.0f},
        {"Trait:0 Weight:5", false, 10.0f},
        {"Size: big", false, 10.0f},
        {"", false, 10.0f},
    };
    for (const Case& c : cases) {
        float size = -1;
        EXPECT_EQ(TalvorLoadFonts::TalvorScanFontTraits(QString::fromLatin1(c.text), &size), c.ok)
            << c.text;
        EXPECT_FLOAT_EQ(size, c.size) << c.text;
    }
}

TEST_F(foundationPreferenceEncodings, LoadingAFontResolvesSizeAndName) {
    struct Case {
        const char* traits;       // nullptr: not stored
        const char* name;         // nullptr: not stored
        const char* defaultName;  // nullptr: none
        const char* family;       // expected
        double size;
    };
    const Case cases[] = {
        {"Size: 14.000 Trait:0 Weight:5", "Known Serif", "Known Sans", "Known Serif", 14},
        // Below 2 points: the default size.
        {"Size: 1.500 Trait:0 Weight:5", "Known Serif", nullptr, "Known Serif", 13},
        // No prefix: 10 points.
        {"Trait:0 Weight:5", "Known Serif", nullptr, "Known Serif", 10},
        {nullptr, nullptr, "Known Sans", "Known Sans", 13},
        // An unknown name: the title-bar font of that size.
        {"Size: 20.000 Trait:0 Weight:5", "LucidaGrande", nullptr, "Title Sans", 20},
        // Damaged sizes stay usable.
        {"Size: nan", "Known Serif", nullptr, "Known Serif", 13},
        {"Size: 1e30", "Known Serif", nullptr, "Known Serif", 512},
    };
    const FakeFontResolver fonts({QStringLiteral("Known Serif"), QStringLiteral("Known Sans")});
    ScopedFontResolver scoped(fonts);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.traits ? c.traits : "(no traits)");
        store().removeValue(QStringLiteral("FTraits"));
        store().removeValue(QStringLiteral("FName"));
        if (c.traits) {
            store().setValue(QStringLiteral("FTraits"), QString::fromLatin1(c.traits));
        }
        if (c.name) {
            store().setValue(QStringLiteral("FName"), QString::fromLatin1(c.name));
        }
        const QString defaultName = c.defaultName ? QString::fromLatin1(c.defaultName) : QString();
        const std::optional<QFont> font =
            TalvorLoadFonts::TalvorLoadFont(QStringLiteral("F"), 13.0f, defaultName);
        ASSERT_TRUE(font.has_value());
        EXPECT_EQ(font->family(), QString::fromLatin1(c.family));
        EXPECT_DOUBLE_EQ(font->pointSizeF(), c.size);
    }
}

TEST_F(foundationPreferenceEncodings, AFontNeverWrittenWithNoDefaultNameAsksForComicSans) {
    const FakeFontResolver fonts({QStringLiteral("ComicSansMS")});
    ScopedFontResolver scoped(fonts);
    const std::optional<QFont> font =
        TalvorLoadFonts::TalvorLoadCopyFont(QStringLiteral("CalDayFont"), 11.0f, QString());
    ASSERT_TRUE(font.has_value());
    EXPECT_EQ(fonts.asked(), QStringList{QStringLiteral("ComicSansMS")});
    EXPECT_DOUBLE_EQ(font->pointSizeF(), 11.0);
}

TEST_F(foundationPreferenceEncodings, NoFontAtAllIsReportedAsNone) {
    const FakeFontResolver fonts({}, QString());
    ScopedFontResolver scoped(fonts);
    LogCapture log;
    EXPECT_FALSE(
        TalvorLoadFonts::TalvorLoadFont(QStringLiteral("TimeFont"), 14.0f, QStringLiteral("Nope")));
    EXPECT_TRUE(log.contains(QStringLiteral("error font nil = key: TimeFont - Nope 14.000000")));
}

TEST_F(foundationPreferenceEncodings, SystemFontsRoundTripAndUnknownNamesFallBackToTheTitleFont) {
    const QString family = QStringLiteral("DejaVu Sans");
    if (!QFontDatabase::hasFamily(family)) {
        GTEST_SKIP() << "DejaVu Sans is not installed (scripts/setup-deps installs it)";
    }
    QFont font(family);
    font.setPointSizeF(15);
    TalvorLoadFonts::TalvorSaveFont(QStringLiteral("LocFont"), font);
    const std::optional<QFont> back =
        TalvorLoadFonts::TalvorLoadFont(QStringLiteral("LocFont"), 14.0f, QString());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->family(), family);
    EXPECT_DOUBLE_EQ(back->pointSizeF(), 15.0);

    store().setValue(QStringLiteral("LocFontName"), QStringLiteral("LucidaGrande"));
    const std::optional<QFont> fallback =
        TalvorLoadFonts::TalvorLoadFont(QStringLiteral("LocFont"), 14.0f, QString());
    ASSERT_TRUE(fallback.has_value());
    EXPECT_EQ(fallback->family(), QFontDatabase::systemFont(QFontDatabase::TitleFont).family());
    EXPECT_DOUBLE_EQ(fallback->pointSizeF(), 15.0);
}

// --- floats and packed strings -------------------------------------------------------------

TEST_F(foundationPreferenceEncodings, FloatsReadNumbersAndNumericText) {
    struct Case {
        QVariant stored;
        float expected;
    };
    const Case cases[] = {
        {QVariant(QStringLiteral("12.5")), 12.5f},
        {QVariant(QStringLiteral(" 3.25 hours")), 3.25f},
        {QVariant(QStringLiteral("abc")), 0.0f},
        {QVariant(2.25), 2.25f},
        {QVariant(qint64(3)), 3.0f},
        {QVariant(), -1.0f},
        {QVariant(true), -1.0f},
        {QVariant(QByteArray("12.5")), -1.0f},
        {QVariant(QVariantList{1.0}), -1.0f},
    };
    for (const Case& c : cases) {
        store().setValue(QStringLiteral("FloatKey"), c.stored);
        EXPECT_FLOAT_EQ(myCFGetFloat(QStringLiteral("FloatKey")), c.expected) << describe(c.stored);
    }
    // Each read synchronises the domain first, so other writers' values are seen.
    EXPECT_EQ(store().synchronizeCount(), static_cast<int>(std::size(cases)));
}

TEST_F(foundationPreferenceEncodings, FloatsFromAnotherDomain) {
    ScopedMemoryDomain other(QStringLiteral("org.example.other"));
    other.store().setValue(QStringLiteral("v"), 1.5);
    EXPECT_FLOAT_EQ(myCFGetAppFloat(QStringLiteral("v"), QStringLiteral("org.example.other")),
                    1.5f);
    EXPECT_FLOAT_EQ(myCFGetAppFloat(QStringLiteral("v"), appTalvor4Prefs), -1.0f);
}

TEST_F(foundationPreferenceEncodings, PackedStringsComeFromTextOrUtf8Bytes) {
    struct Case {
        QVariant stored;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {QVariant(QStringLiteral("Chimes: 1 0 1 0 1 0 1 0")),
         QStringLiteral("Chimes: 1 0 1 0 1 0 1 0")},
        {QVariant(QByteArray("Floating: 1 2")), QStringLiteral("Floating: 1 2")},
        {QVariant(QByteArray("\xEF\xBB\xBFZ\xC3\xBCrich")), QStringLiteral("Z\u00FCrich")},
        {QVariant(QByteArray()), QString()},
        {QVariant(QByteArray("\xFF\xFE\x00")), std::nullopt},
        {QVariant(qint64(12)), std::nullopt},
        {QVariant(QDateTime::currentDateTimeUtc()), std::nullopt},
        {QVariant(), std::nullopt},
    };
    for (const Case& c : cases) {
        store().setValue(QStringLiteral("ChimeStates"), c.stored);
        EXPECT_EQ(CopyAnnotateString(QStringLiteral("ChimeStates")), c.expected)
            << describe(c.stored);
    }
}

TEST_F(foundationPreferenceEncodings, DiagnosticLinesWaitForTheDebugSwitch) {
    LogCapture log;
    CopyAppPrefString(QStringLiteral("missing"));
    EXPECT_TRUE(log.lines().isEmpty());
    myDebug = 1;
    CopyAppPrefString(QStringLiteral("missing"));
    myDebug = 0;
    EXPECT_EQ(log.lines(),
              QStringList{QStringLiteral("CopyAnnotateString: no value for key:missing ")});
}

// --- colours as data -----------------------------------------------------------------------

TEST(foundationColourData, ColoursRoundTripThroughTheUserDefaults) {
    platform::MemoryPreferenceStore store;
    platform::UserDefaults defaults(store);
    const QColor colors[] = {QColor::fromRgbF(0.2f, 0.4f, 0.6f, 0.8f), QColor(Qt::black),
                             QColor::fromCmykF(0.1f, 0.2f, 0.3f, 0.4f)};
    for (const QColor& c : colors) {
        UserDefaultsExtras::setColor(defaults, c, QStringLiteral("TodoPriorityColors"));
        EXPECT_EQ(store.value(QStringLiteral("TodoPriorityColors")).typeId(),
                  QMetaType::QByteArray);
        const std::optional<QColor> back =
            UserDefaultsExtras::colorForKey(defaults, QStringLiteral("TodoPriorityColors"));
        ASSERT_TRUE(back.has_value());
        expectColor(*back, c.toRgb().redF(), c.toRgb().greenF(), c.toRgb().blueF(), c.alphaF());
    }
    UserDefaultsExtras::setColor(defaults, QColor(), QStringLiteral("TodoPriorityColors"));
    EXPECT_FALSE(store.contains(QStringLiteral("TodoPriorityColors")));
}

TEST(foundationColourData, DataThatIsNoColourGivesNone) {
    platform::MemoryPreferenceStore store;
    platform::UserDefaults defaults(store);
    const QByteArray notColours[] = {
        QByteArray(),
        QByteArray("garbage garbage garbage"),
        ColorExtras::asData(Qt::red).left(20),
        platform::KeyedArchiver(QStringLiteral("NSFont")).archivedData(),
        platform::KeyedArchiver(QStringLiteral("NSColor")).archivedData(),
    };
    for (const QByteArray& data : notColours) {
        EXPECT_FALSE(ColorExtras::color(data).has_value());
        defaults.setObject(data, QStringLiteral("c"));
        EXPECT_FALSE(UserDefaultsExtras::colorForKey(defaults, QStringLiteral("c")).has_value());
    }
    defaults.setObject(QStringLiteral("[1] [0] [0] [1]"), QStringLiteral("c"));
    EXPECT_FALSE(UserDefaultsExtras::colorForKey(defaults, QStringLiteral("c")).has_value());
    EXPECT_FALSE(UserDefaultsExtras::colorForKey(defaults, QStringLiteral("never")).has_value());
}

}  // namespace
}  // namespace talvor
