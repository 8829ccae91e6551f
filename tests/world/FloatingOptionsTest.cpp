#include "world/FloatingLayout.h"
#include "world/FloatingOptions.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QSet>

#include <clocale>
#include <limits>
#include <optional>
#include <random>

namespace talvor {
namespace {

FloatingOptions loaded(const std::optional<QString>& text) {
    FloatingOptions o = FloatingOptions::fromText(text);
    o.normalise();
    return o;
}

TEST(worldFloatingOptions, EveryFieldRoundTripsThroughThePackedText) {
    FloatingOptions o;
    int next = 2;
    for (int* field :
         {&o.floatingOn, &o.iFloaterWinLayer, &o.bShowText, &o.bIncCountry, &o.hotKeyEnabled,
          &o.aDigital, &o.iFloaterColumns, &o.faceType, &o.ShowAMPM, &o.ShowSeconds, &o.ShowDay,
          &o.ShowDate, &o.ShowDayForDigital, &o.ShowDateForDigital, &o.ShowYearForDigital,
          &o.ShowTimeWithClock, &o.ShowDateWithClock}) {
        *field = next++;
    }
    o.fFloaterClockSize = 96.5f;
    o.fFloaterSpacing = 3.25f;
    o.fFloaterTransparency = 0.75f;
    const QString text = o.format();
    EXPECT_EQ(text, QStringLiteral("Floating: 2 3 4 5 6 7 7 9 96.500 3.250 0.750 "
                                   "10 11 12 13 14 15 16 17 18"))
        << "the columns stored as the count minus one";
    const FloatingOptions back = FloatingOptions::fromText(text);
    EXPECT_EQ(back.format(), text);
    EXPECT_EQ(back.iFloaterColumns, o.iFloaterColumns);
    EXPECT_EQ(back.ShowSeconds, 11) << "the second-hand choice is kept";
    EXPECT_EQ(back.ShowDateWithClock, o.ShowDateWithClock);
    EXPECT_FLOAT_EQ(back.fFloaterSpacing, o.fFloaterSpacing);
}

TEST(worldFloatingOptions, RealsAreWrittenWithAPointInEveryLocale) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    FloatingOptions o;
    o.fFloaterClockSize = 64.25f;
    const QString text = o.format();
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(previous);
    EXPECT_TRUE(text.contains(QStringLiteral(" 64.250 2.000 0.750 "))) << text.toStdString();
}

TEST(worldFloatingOptions, ResetWritesEighteenNumbersAndReadersKeepTheLastPresets) {
    const QString reset = FloatingOptions::resetText();
    EXPECT_EQ(reset, QStringLiteral("Floating: 0 1 1 0 0 0 10 1 48.000 2.000 0.750 1 1 0 1 0 0 0"));
    const FloatingOptions o = loaded(reset);
    EXPECT_EQ(o.ShowTimeWithClock, 1);
    EXPECT_EQ(o.ShowDateWithClock, 1);
    EXPECT_EQ(o.iFloaterColumns, 11);
    EXPECT_EQ(o.faceType, 1);
}

TEST(worldFloatingOptions, PackedTextsKeepPresetsForWhatTheyLackAndRepairDamage) {
    struct Case {
        const char* name;
        std::optional<QString> text;
        int layer, showText, country, digital, columns, face;
        float size, spacing, alpha;
        int ampm, seconds, day, date, yearDigital, timeAbove, dateAbove;
    };
    const int kMaxInt = std::numeric_limits<int>::max();
    const Case cases[] = {
        // No text: the defaults, where day and digital year are off.
        {"no text", std::nullopt, 1, 1, 0, 0, 11, 101, 48.0f, 2.0f, 0.75f, 1, 1, 0, 1, 0, 1, 1},
        {"all 20 fields",
         QStringLiteral("Floating: 1 0 1 1 1 0 3 5 96.000 4.000 0.500 0 0 1 0 1 1 1 0 1"), 0, 1, 1,
         0, 4, 5, 96.0f, 4.0f, 0.5f, 0, 0, 1, 0, 1, 0, 1},
        // A text keeps the presets of what it lacks: day and digital year turn on.
        {"garbage", QStringLiteral("hello world"), 1, 1, 0, 0, 11, 101, 48.0f, 2.0f, 0.75f, 1, 1, 1,
         1, 1, 1, 1},
        {"empty", QString(), 1, 1, 0, 0, 11, 101, 48.0f, 2.0f, 0.75f, 1, 1, 1, 1, 1, 1, 1},
        {"cut inside the reals", QStringLiteral("Floating: 1 2 0 1 0 1 1 3 64.5 3"), 2, 0, 1, 1, 2,
         3, 64.5f, 3.0f, 0.75f, 1, 1, 1, 1, 1, 1, 1},
        {"decimal commas stop the reading",
         QStringLiteral("Floating: 1 2 1 0 0 0 2 4 48,000 9,000 0,500 0"), 2, 1, 0, 0, 3, 4, 48.0f,
         2.0f, 0.75f, 1, 1, 1, 1, 1, 1, 1},
        // Negative layer and city flag give 1, columns below 1 the default, a negative face
        // the flags, a size below 16 gives 48, negative spacing 2 and alpha below 0.1 0.75.
        {"negatives and small values",
         QStringLiteral("Floating: 1 -5 -3 0 0 0 -1 -7 8.0 -1.0 0.05"), 1, 1, 0, 0, 11, 101, 48.0f,
         2.0f, 0.75f, 1, 1, 1, 1, 1, 1, 1},
        {"columns field 0 gives one column", QStringLiteral("Floating: 1 1 1 0 0 0 0"), 1, 1, 0, 0,
         1, 101, 48.0f, 2.0f, 0.75f, 1, 1, 1, 1, 1, 1, 1},
        // The old code 0 and codes that are no face show the flags.
        {"face 0 and face 99", QStringLiteral("Floating: 1 1 1 0 0 0 0 0"), 1, 1, 0, 0, 1, 101,
         48.0f, 2.0f, 0.75f, 1, 1, 1, 1, 1, 1, 1},
        // No window can be drawn from these: a layer above 2 is a normal window, NaN and
        // infinite reals fall back or stop at their bounds, huge integers saturate.
        {"damaged numbers", QStringLiteral("Floating: 1 7 1 0 0 0 99999999999 99 nan inf 5.0"), 1,
         1, 0, 0, kMaxInt, 101, 48.0f, FloatingOptions::kMaxSpacing, 1.0f, 1, 1, 1, 1, 1, 1, 1},
        {"an enormous dial", QStringLiteral("Floating: 1 1 1 0 0 0 1 1 1e30 2 1"), 1, 1, 0, 0, 2, 1,
         FloatingOptions::kMaxClockSize, 2.0f, 1.0f, 1, 1, 1, 1, 1, 1, 1},
        {"second hand off", QStringLiteral("Floating: 1 1 1 0 0 0 1 1 48 2 1 1 0"), 1, 1, 0, 0, 2,
         1, 48.0f, 2.0f, 1.0f, 1, 0, 1, 1, 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FloatingOptions o = loaded(c.text);
        EXPECT_EQ(o.iFloaterWinLayer, c.layer);
        EXPECT_EQ(o.bShowText, c.showText);
        EXPECT_EQ(o.bIncCountry, c.country);
        EXPECT_EQ(o.aDigital, c.digital);
        EXPECT_EQ(o.iFloaterColumns, c.columns);
        EXPECT_EQ(o.faceType, c.face);
        EXPECT_FLOAT_EQ(o.fFloaterClockSize, c.size);
        EXPECT_FLOAT_EQ(o.fFloaterSpacing, c.spacing);
        EXPECT_FLOAT_EQ(o.fFloaterTransparency, c.alpha);
        EXPECT_EQ(o.ShowAMPM, c.ampm);
        EXPECT_EQ(o.ShowSeconds, c.seconds);
        EXPECT_EQ(o.ShowDay, c.day);
        EXPECT_EQ(o.ShowDate, c.date);
        EXPECT_EQ(o.ShowYearForDigital, c.yearDigital);
        EXPECT_EQ(o.ShowTimeWithClock, c.timeAbove);
        EXPECT_EQ(o.ShowDateWithClock, c.dateAbove);
        EXPECT_EQ(o.ShowFloater, 0);
    }
}

TEST(worldFloatingOptions, EveryFaceItemRoundTripsThroughItsCode) {
    QSet<int> codes;
    for (int item = 0; item < FloatingOptions::faceItemCount(); ++item) {
        const int code = FloatingOptions::faceCodeForItem(item);
        EXPECT_EQ(FloatingOptions::faceItemForCode(code), item) << item;
        codes.insert(code);
        // And through a stored text, as the clocks read it.
        FloatingOptions o;
        o.faceType = code;
        EXPECT_EQ(loaded(o.format()).faceType, code) << item;
    }
    EXPECT_EQ(codes.size(), FloatingOptions::faceItemCount()) << "no two items share a code";
    EXPECT_EQ(FloatingOptions::faceCodeForItem(0), FloatingOptions::kFlagFace);
}

TEST(worldFloatingOptions, SpacingLimitKeepsTheRowOnTheScreen) {
    struct Case {
        double width;
        int columnsIndex;
        float size, limit;
    };
    for (const Case& c : {Case{1000, 4, 48, 190}, Case{400, 4, 48, 100}, Case{0, 0, 48, 100},
                          Case{1920, 0, 48, FloatingOptions::kMaxSpacing},
                          Case{1000, 1, 100, FloatingOptions::kMaxSpacing}}) {
        EXPECT_FLOAT_EQ(FloatingOptions::spacingLimit(c.width, c.columnsIndex, c.size), c.limit)
            << c.width << " " << c.columnsIndex << " " << c.size;
    }
}

TEST(worldFloatingOptions, RandomTextsNeverBreakTheReader) {
    std::mt19937 random(20261210);
    const QString alphabet = QStringLiteral("Floating: 0123456789-+.,eEnaif%\t\n\u00e9");
    for (int i = 0; i < 5000; ++i) {
        QString text = i % 2 == 0 ? QStringLiteral("Floating:") : QString();
        const int length = static_cast<int>(random() % 120);
        for (int k = 0; k < length; ++k) {
            text += alphabet.at(static_cast<qsizetype>(random() % alphabet.size()));
        }
        FloatingOptions o = FloatingOptions::fromText(text);
        o.normalise();
        ASSERT_GE(o.iFloaterColumns, 1) << text.toStdString();
        ASSERT_GE(o.fFloaterClockSize, FloatingOptions::kMinClockSize);
        ASSERT_LE(o.fFloaterClockSize, FloatingOptions::kMaxClockSize);
        ASSERT_GE(o.fFloaterTransparency, 0.1f);
        ASSERT_LE(o.fFloaterTransparency, 1.0f);
        ASSERT_TRUE(o.fFloaterSpacing >= 0.0f && o.fFloaterSpacing <= FloatingOptions::kMaxSpacing);
        ASSERT_FALSE(o.format().isEmpty());
    }
}

TEST(worldFloatingOptions, LayerIndexesPickTheWindowLevel) {
    struct Case {
        int stored;
        FloatingOptions::Layer layer;
    };
    for (const Case& c :
         {Case{0, FloatingOptions::Layer::Desktop}, Case{1, FloatingOptions::Layer::Normal},
          Case{2, FloatingOptions::Layer::Above}, Case{3, FloatingOptions::Layer::Normal},
          Case{-1, FloatingOptions::Layer::Normal}}) {
        FloatingOptions o;
        o.iFloaterWinLayer = c.stored;
        o.normalise();
        EXPECT_EQ(o.layer(), c.layer) << c.stored;
    }
}

FloatingOptions gridOptions(int columns) {
    FloatingOptions o;
    o.iFloaterColumns = columns;
    o.fFloaterClockSize = 64.0f;
    o.fFloaterSpacing = 4.0f;
    o.normalise();
    return o;
}

TEST(worldFloatingLayout, ColumnsNeverExceedTheClocksAndRowsHoldTheRest) {
    struct Case {
        int columns, count, expectedColumns, expectedRows;
    };
    for (const Case& c : {Case{1, 5, 1, 5}, Case{3, 5, 3, 2}, Case{4, 5, 4, 2}, Case{10, 3, 3, 1},
                          Case{2, 1, 1, 1}}) {
        const FloatingGrid grid =
            layoutFloatingClocks(gridOptions(c.columns), {50, 20, 18, c.count});
        EXPECT_EQ(grid.columns, c.expectedColumns)
            << c.columns << " columns, " << c.count << " clocks";
        EXPECT_EQ(grid.rows, c.expectedRows) << c.columns << " columns, " << c.count << " clocks";
        EXPECT_EQ(grid.cells.size(), static_cast<std::size_t>(c.count));
    }
    EXPECT_TRUE(layoutFloatingClocks(gridOptions(4), {50, 20, 18, 0}).cells.empty());
}

TEST(worldFloatingLayout, TheFirstLocationIsTopLeftWithItsLabelsAboveAndBelowItsDial) {
    // S 64, W 50 (cells 64 wide), L 20, T 18, spacing 4.
    const FloatingGrid grid = layoutFloatingClocks(gridOptions(2), {50, 20, 18, 4});
    EXPECT_DOUBLE_EQ(grid.cellWidth, 64.0);
    EXPECT_EQ(grid.contentSize, QSizeF(2 * (64 + 4) - 4, 2 * (64 + 20 + 2 * 18 + 4) + 2.0));

    const FloatingCellFrames& first = grid.cells[0];
    EXPECT_EQ(first.above, QRectF(0, 21.5, 64.5, 18.5));
    EXPECT_EQ(first.dial, QRectF(0, 40, 64.5, 64));
    EXPECT_EQ(first.below, QRectF(0, 103.5, 64.5, 20.5));
    // Left to right, then the next row one cell (dial, labels, spacing) lower.
    EXPECT_EQ(grid.cells[1].dial, first.dial.translated(68, 0));
    EXPECT_EQ(grid.cells[2].dial, first.dial.translated(0, 106));
    EXPECT_EQ(grid.cells[3].dial, first.dial.translated(68, 106));
    // Dials wider than the texts set the cell width; texts wider than the dials do.
    EXPECT_DOUBLE_EQ(layoutFloatingClocks(gridOptions(2), {80, 20, 18, 1}).cellWidth, 85.5);
}

TEST(worldFloatingLayout, DigitalModeAndMissingTextsTakeTheirRoomAway) {
    FloatingOptions digital = gridOptions(2);
    digital.aDigital = 1;
    const FloatingGrid d = layoutFloatingClocks(digital, {50, 20, 18, 2});
    EXPECT_EQ(d.dialSize, 0.0);
    EXPECT_EQ(d.cells[0].dial.height(), 0.0);
    EXPECT_GT(d.cells[0].above.height(), 0.0);

    const FloatingGrid shown = layoutFloatingClocks(gridOptions(2), {50, 20, 18, 2});
    FloatingOptions noBelow = gridOptions(2);
    noBelow.bShowText = 0;
    const FloatingGrid b = layoutFloatingClocks(noBelow, {50, 20, 18, 2});
    EXPECT_EQ(b.belowHeight, -1.0);
    EXPECT_EQ(b.cells[0].below.height(), 0.0);
    EXPECT_DOUBLE_EQ(b.contentSize.height(), shown.contentSize.height() - 21.0);

    struct Case {
        const char* name;
        int day, date, timeAbove, dateAbove;
        bool aboveShown;
    };
    for (const Case& c : {Case{"day and date off", 0, 0, 1, 1, false},
                          Case{"time and date above off", 1, 1, 0, 0, false},
                          Case{"date only", 0, 1, 0, 1, true}}) {
        FloatingOptions o = gridOptions(2);
        o.ShowDay = c.day;
        o.ShowDate = c.date;
        o.ShowTimeWithClock = c.timeAbove;
        o.ShowDateWithClock = c.dateAbove;
        const FloatingGrid g = layoutFloatingClocks(o, {50, 20, 18, 2});
        EXPECT_EQ(g.aboveHeight == -1.0, !c.aboveShown) << c.name;
        EXPECT_EQ(g.cells[0].above.height() > 0, c.aboveShown) << c.name;
    }
}

}  // namespace
}  // namespace talvor
