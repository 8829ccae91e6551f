#include "ShellTestSupport.h"
#include "foundation/StringsBundle.h"
#include "platform/Scheduler.h"
#include "shell/AppDelegate.h"
#include "shell/MoonDisplay.h"
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QFontMetricsF>

#include <gtest/gtest.h>

#include <array>

namespace talvor {
namespace {

Date utc(int y, int mo, int d, int h, int mi) {
    return Date::fromQDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi), QTimeZone::utc()));
}

// Between the first quarter of 13 July 2024 (22:49 UTC) and the full moon of 21 July (10:17
// UTC); the new moon after is 4 August 11:13 UTC.
const Date kWaxingQuarter = utc(2024, 7, 14, 12, 0);
// Two days after the new moon of 5 July 2024.
const Date kWaxingCrescent = utc(2024, 7, 7, 12, 0);

bool isBright(QRgb p) {
    return qAlpha(p) > 200 && qGray(p) > 180;
}
bool isShadow(QRgb p) {
    return qAlpha(p) > 200 && qGray(p) < 100;
}

TEST(shellMoonPicture, EachPictureLightsTheSideOfItsPhase) {
    struct Case {
        const char* name;
        std::array<bool, 4> lit;  // across the middle row, left to right
    };
    const Case cases[] = {
        {"MM0", {false, false, false, false}}, {"MM1", {false, false, false, true}},
        {"MM2", {false, false, true, true}},   {"MM3", {false, true, true, true}},
        {"MM4", {true, true, true, true}},     {"MM5", {true, true, true, false}},
        {"MM6", {true, true, false, false}},   {"MM7", {true, false, false, false}},
        {"MMblue", {true, true, true, true}},
    };
    // At -0.8, -0.4, 0.4 and 0.8 of the radius: crescents reach past 0.71, gibbous past -0.71.
    const int columns[] = {6, 19, 44, 57};
    for (const Case& c : cases) {
        const QImage image = moonPicture(QString::fromLatin1(c.name), 64);
        ASSERT_EQ(image.size(), QSize(64, 64)) << c.name;
        for (size_t i = 0; i < 4; ++i) {
            const QRgb p = image.pixel(columns[i], 32);
            EXPECT_EQ(isBright(p), c.lit[i]) << c.name << " column " << columns[i];
            EXPECT_EQ(isShadow(p), !c.lit[i]) << c.name << " column " << columns[i];
        }
        EXPECT_EQ(qAlpha(image.pixel(1, 1)), 0) << c.name << ": outside the disc";
    }
    const QRgb blue = moonPicture(QStringLiteral("MMblue")).pixel(32, 32);
    EXPECT_GT(qBlue(blue), qRed(blue) + 40);
    EXPECT_TRUE(moonPicture(QStringLiteral("MM8")).isNull());
    EXPECT_TRUE(moonPicture(QStringLiteral("cal")).isNull());
}

class shellMoonDisplay : public ::testing::Test {
  protected:
    shellMoonDisplay() {
        f_.date->showMoon = true;
        f_.date->showMoonToolTip = true;
        f_.date->dateFormat = QStringLiteral("dd MMM yyyy");
        f_.clock.set(kWaxingQuarter);
        items_.updateMenuBarItems();
    }
    test::ShellFixture f_;
    StatusItemsController items_{f_.delegate, *f_.time, *f_.date, f_.bar, f_.defaults, f_.clock};
    MoonDisplay moon_{*f_.date, f_.clock};
};

TEST_F(shellMoonDisplay, AWaxingQuarterIsLitOnTheRightInTheNorthAndOnTheLeftInTheSouth) {
    struct Case {
        bool south;
        int index;
        bool rightLit;
    };
    for (const Case& c : {Case{false, 2, true}, Case{true, 6, false}}) {
        f_.date->isSouthernHemisphere = c.south;
        const QImage image = moon_.mooonImage(kWaxingQuarter);
        EXPECT_EQ(moon_.moon().moonPictureIndex(), c.index) << "south " << c.south;
        EXPECT_EQ(isBright(image.pixel(58, 32)), c.rightLit) << "south " << c.south;
        EXPECT_EQ(isBright(image.pixel(6, 32)), !c.rightLit) << "south " << c.south;
        // Only the picture turns: the phase is the same everywhere.
        EXPECT_EQ(moon_.moon().moonPhaseAsInteger(), 2);
        EXPECT_EQ(moon_.moon().date(), kWaxingQuarter);
    }
}

TEST_F(shellMoonDisplay, NextPhasesAreShownOnTheUsersDays) {
    struct Case {
        const char* zone;
        const char* expected;
    };
    const Case cases[] = {
        {"UTC",
         "Current Moon: First Quarter\nNext Full Moon: 21 Jul 2024\nNext New Moon: 04 Aug "
         "2024"},
        // Fourteen hours ahead: both instants fall on the next day there.
        {"Pacific/Kiritimati",
         "Current Moon: First Quarter\nNext Full Moon: 22 Jul 2024\nNext New Moon: 05 Aug "
         "2024"},
    };
    for (const Case& c : cases) {
        f_.clock.setZone(QTimeZone(c.zone));
        EXPECT_EQ(moon_.addNextMoons(), QString::fromUtf8(c.expected)) << c.zone;
        EXPECT_EQ(moon_.addNextMoons(QStringLiteral(">> ")),
                  QStringLiteral(">> ") + QString::fromUtf8(c.expected))
            << c.zone;
    }
}

TEST_F(shellMoonDisplay, TextForAnotherDateLeavesTheCalculatorOnItsOwnDate) {
    moon_.mooonImage(kWaxingCrescent);
    const QString text = moon_.addNextMoons(utc(2024, 8, 10, 12, 0));
    EXPECT_TRUE(text.startsWith(
        QStringLiteral("Current Moon: Waxing Crescent\nNext Full Moon: 19 Aug 2024\n"
                       "Next New Moon: 03 Sep 2024")))
        << text.toStdString();
    EXPECT_EQ(moon_.moon().date(), kWaxingCrescent);
}

TEST_F(shellMoonDisplay, BundleStringsReplaceTheEnglishDefaults) {
    StringsBundle bundle;
    bundle.setTable(QStringLiteral("MoonLocalizable"),
                    {{QStringLiteral("PhaseName2"), QStringLiteral("Erstes Viertel")},
                     {QStringLiteral("NextFullMoon"), QStringLiteral("Vollmond")}});
    moon_.loadMoonStringsFromBundle(bundle);
    EXPECT_EQ(moon_.addNextMoons(), QStringLiteral("Current Moon: Erstes Viertel\nVollmond: "
                                                   "21 Jul 2024\nNext New Moon: 04 Aug 2024"));
    EXPECT_EQ(moon_.moonPhaseNames()[4], QStringLiteral("Full Moon"));
}

TEST_F(shellMoonDisplay, TheToolTipSwitchGivesTheTextOrNothing) {
    for (bool on : {true, false, true}) {
        f_.date->showMoonToolTip = on;
        moon_.moonUpdate(items_, 22.0);
        EXPECT_EQ(items_.TalvorDate()->toolTip(), on ? moon_.addNextMoons() : QString())
            << "tool tip " << on;
        EXPECT_EQ(items_.TalvorDate()->toolTip().isEmpty(), !on);
    }
}

TEST_F(shellMoonDisplay, ShowMoonOffWithTheDateShownClearsThePicture) {
    f_.date->showDateInMenu = true;
    moon_.moonUpdate(items_, 22.0);
    const auto& item = items_.customDateStatusItem();
    ASSERT_FALSE(item->moonImage().isNull());
    EXPECT_EQ(item->moonImage().size(), QSize(20, 20));
    EXPECT_EQ(item->moonFrame().width(), 20.0);
    f_.date->showMoon = false;
    moon_.moonUpdate(items_, 22.0);
    EXPECT_TRUE(item->moonImage().isNull());
    EXPECT_EQ(item->moonFrame().width(), 0.0);
}

TEST_F(shellMoonDisplay, WithoutMoonAndDateTheItemShowsACalendarLeafWithTheDay) {
    f_.date->showMoon = false;
    f_.date->showDateInMenu = false;
    f_.date->dateColor = QColor(Qt::black);
    moon_.moonUpdate(items_, 22.0);
    const auto& item = items_.customDateStatusItem();
    const QImage leaf = item->moonImage();
    ASSERT_FALSE(leaf.isNull());
    EXPECT_GE(item->moonFrame().width(), 20.0);
    EXPECT_EQ(item->moonFrame().height(), 24.0) << "the item's height and 2";
    // A red head at the top, a white page with a dark number below it.
    const QRgb head = leaf.pixel(leaf.width() / 2, 5);
    EXPECT_GT(qRed(head), 150);
    EXPECT_LT(qGreen(head), 100);
    int dark = 0;
    for (int y = leaf.height() / 2; y < leaf.height() - 4; ++y) {
        for (int x = 6; x < leaf.width() - 6; ++x) {
            dark += qAlpha(leaf.pixel(x, y)) > 200 && qGray(leaf.pixel(x, y)) < 90 ? 1 : 0;
        }
    }
    EXPECT_GT(dark, 10) << "the day number";
    // Shown again when the date text comes back: the leaf goes.
    f_.date->showDateInMenu = true;
    moon_.moonUpdate(items_, 22.0);
    EXPECT_TRUE(item->moonImage().isNull());
}

TEST(shellCalendarLeaf, ANumberWiderThanTheLeafWidensThePicture) {
    QFont wide(QStringLiteral("DejaVu Sans"));
    QSizeF one, twentyEight;
    calendarLeafPicture(1, wide, Qt::black, false, 22.0, &one);
    calendarLeafPicture(28, wide, Qt::black, true, 22.0, &twentyEight);
    EXPECT_EQ(one, QSizeF(20.0, 22.0));
    QFont thirteen = wide;
    thirteen.setPixelSize(13);
    const double text = QFontMetricsF(thirteen).horizontalAdvance(QStringLiteral("28"));
    EXPECT_DOUBLE_EQ(twentyEight.width(), std::max(20.0, text + 6.0));
    EXPECT_DOUBLE_EQ(twentyEight.height(), 22.0);
}

TEST_F(shellMoonDisplay, ARemadeDateItemGetsTheMoonAgainWithinTheMinute) {
    moon_.moonUpdate(items_, 22.0);
    const QString tip = items_.TalvorDate()->toolTip();
    f_.date->showDateMenu = false;
    items_.updateMenuBarItems();
    f_.date->showDateMenu = true;
    items_.updateMenuBarItems();
    ASSERT_TRUE(items_.customDateStatusItem());
    moon_.moonUpdate(items_, 22.0);
    EXPECT_FALSE(items_.customDateStatusItem()->moonImage().isNull());
    EXPECT_EQ(items_.TalvorDate()->toolTip(), tip);
}

TEST_F(shellMoonDisplay, ANewMoonIsAFilledDiscInTheAppearanceColour) {
    struct Case {
        bool dark;
        QRgb fill;
    };
    f_.clock.set(utc(2024, 7, 5, 23, 0));
    for (const Case& c : {Case{false, qRgb(0, 0, 0)}, Case{true, QColor(Qt::lightGray).rgb()}}) {
        f_.setDark(c.dark);
        moon_.moonUpdate(items_, 22.0);
        ASSERT_EQ(moon_.moon().moonPhaseAsInteger(), 0);
        const QImage image = items_.customDateStatusItem()->moonImage();
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.pixel(9, 9) | 0xff000000u, c.fill) << "dark " << c.dark;
        EXPECT_EQ(qAlpha(image.pixel(9, 9)), 255);
    }
}

TEST_F(shellMoonDisplay, ThePictureFollowsThePhaseIntoTheItem) {
    moon_.moonUpdate(items_, 22.0);
    const QImage image = items_.customDateStatusItem()->moonImage();
    // Moon rectangle (1, 1, 17, 17): the middle row 9, lit on the right of the waxing quarter.
    EXPECT_TRUE(isBright(image.pixel(15, 9)));
    EXPECT_TRUE(isShadow(image.pixel(4, 9)));
}

class shellMoonTick : public ::testing::Test, protected test::ShellEnvironment {
  protected:
    shellMoonTick() : test::ShellEnvironment(kWaxingCrescent) {}
};

TEST_F(shellMoonTick, TheTickKeepsTheDateItemsMoonCurrent) {
    TalvorTimeSettings time;
    TalvorDateSettings date;
    SharedInstance<TalvorTimeSettings>::Override useTime(time);
    SharedInstance<TalvorDateSettings>::Override useDate(date);
    date.showDateMenu = true;
    date.showDateInMenu = true;
    date.showMoon = true;
    date.showMoonToolTip = true;
    date.dateFormat = QStringLiteral("dd MMM yyyy");
    AppDelegate delegate({.showPanel = false});
    delegate.statusItems().updateMenuBarItems();
    ASSERT_TRUE(delegate.statusItems().TalvorDate());
    struct Step {
        Date now;
        bool toolTip;
        const char* text;  // of the tool tip
    };
    const Step steps[] = {
        {kWaxingCrescent, true,
         "Current Moon: Waxing Crescent\nNext Full Moon: 21 Jul 2024\nNext New Moon: 04 Aug "
         "2024"},
        // A later second of the same minute changes nothing.
        {kWaxingCrescent.addingTimeInterval(1), true,
         "Current Moon: Waxing Crescent\nNext Full Moon: 21 Jul 2024\nNext New Moon: 04 Aug "
         "2024"},
        {kWaxingQuarter, true,
         "Current Moon: First Quarter\nNext Full Moon: 21 Jul 2024\nNext New Moon: 04 Aug "
         "2024"},
        {kWaxingQuarter.addingTimeInterval(1), false, ""},
    };
    for (const Step& s : steps) {
        clock_.set(s.now);
        date.showMoonToolTip = s.toolTip;
        delegate.updateTimeDate();
        EXPECT_EQ(delegate.statusItems().TalvorDate()->toolTip(), QString::fromUtf8(s.text));
        const QImage image = delegate.statusItems().customDateStatusItem()->moonImage();
        ASSERT_FALSE(image.isNull());
        const int side = int(bar_.thickness()) - 2;
        EXPECT_EQ(image.size(), QSize(side, side));
    }
    date.showMoon = false;
    delegate.updateTimeDate();
    EXPECT_TRUE(delegate.statusItems().customDateStatusItem()->moonImage().isNull());
}

}  // namespace
}  // namespace talvor
