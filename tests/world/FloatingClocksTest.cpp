#include "foundation/PreferenceDomain.h"
#include "platform/Menu.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "services/HotKeyKeys.h"
#include "services/TalvorHotKeys.h"
#include "services/TalvorKeyCombo.h"
#include "support/FakeClock.h"
#include "support/FakeFontResolver.h"
#include "support/QtPrinters.h"
#include "support/ScopedMachineZone.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"
#include "world/TalvorClockControl.h"
#include "world/TalvorFloatingClockCtrl.h"
#include "world/TimeZoneWindow.h"
#include "world/WorldKeys.h"

#include <QApplication>
#include <QDir>
#include <QFontMetricsF>
#include <QImage>
#include <QLabel>
#include <QPaintEvent>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace talvor {
namespace {

Date utc(int y, int mo, int d, int h, int mi, int s = 0) {
    return Date::fromQDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()));
}

// A location record as the picker writes it, shown in the time menu; field 11 as given.
QVariantList location(const QString& city, const QString& country, const QString& zone,
                      const QVariant& floating = QVariant(true)) {
    return {QString(), city,      QString(), country,   zone, QString(),
            QString(), QString(), QString(), QString(), true, floating};
}

const QVariantList kParis =
    location(QStringLiteral("Paris"), QStringLiteral("France"), QStringLiteral("Europe/Paris"));
const QVariantList kTokyo =
    location(QStringLiteral("Tokyo"), QStringLiteral("Japan"), QStringLiteral("Asia/Tokyo"));
const QVariantList kBerlin =
    location(QStringLiteral("Berlin"), QStringLiteral("Germany"), QStringLiteral("Europe/Berlin"));
const QVariantList kLima =
    location(QStringLiteral("Lima"), QStringLiteral("Peru"), QStringLiteral("America/Lima"));

// A table of records ({record} alone would copy the record's fields instead).
LocationTable table(std::initializer_list<QVariantList> records) {
    LocationTable t;
    for (const QVariantList& r : records) {
        t.append(QVariant(r));
    }
    return t;
}

class FloatingClocks : public ::testing::Test {
  protected:
    // Turns the feature on with these packed options and loads them.
    void load(const QString& states, bool on = true) {
        domain_.store().setValue(keys::FloatingStates, states);
        domain_.store().setValue(keys::Floater, QVariant(on));
        ctrl_.LoadFloatingOptions();
    }
    QString above(std::size_t i) const { return ctrl_.clocks().at(i).above->text(); }
    QString below(std::size_t i) const { return ctrl_.clocks().at(i).below->text(); }

    test::ScopedMachineZone machine_{"UTC", "en_US"};
    test::ScopedMemoryDomain domain_{appTalvor4Prefs};
    platform::UserDefaults defaults_{domain_.store()};
    test::FakeFontResolver fonts_{{QStringLiteral("DejaVu Sans")}, QStringLiteral("DejaVu Sans")};
    test::ScopedFontResolver scopedFonts_{fonts_};
    // Tuesday 2025-03-04 15:40:30 UTC.
    test::FakeClock clock_{utc(2025, 3, 4, 15, 40, 30), QTimeZone::utc()};
    QStringList posted_;
    TalvorFloatingClockCtrl ctrl_{clock_, defaults_,
                                  [this](const QString& name) { posted_ << name; }};
};

// City and country below, time and date above, 2 columns, 64-point dials, spacing 6.
const QString kTwoColumns =
    QStringLiteral("Floating: 1 1 1 1 0 0 1 1 64.000 6.000 1.000 1 1 1 1 0 0 0 1 1");

using worldFloatingClocks = FloatingClocks;

TEST_F(worldFloatingClocks, WithoutPackedOptionsTheDefaultsHoldAndTheFormatsAreWrittenBack) {
    test::LogCapture log;
    ctrl_.LoadFloatingOptions();
    EXPECT_TRUE(log.contains(QStringLiteral("Floating clock using default settings")));
    const FloatingOptions& o = ctrl_.options();
    EXPECT_FLOAT_EQ(o.fFloaterClockSize, 48.0f);
    EXPECT_EQ(o.iFloaterColumns, 11);
    EXPECT_EQ(o.faceType, FloatingOptions::kFlagFace);
    EXPECT_FLOAT_EQ(o.fFloaterTransparency, 0.75f);
    EXPECT_FLOAT_EQ(o.fFloaterSpacing, 2.0f);
    EXPECT_EQ(o.iFloaterWinLayer, 1);
    EXPECT_EQ(o.ShowFloater, 0);
    EXPECT_EQ(ctrl_.floatingHasSec(), 1);
    EXPECT_EQ(ctrl_.floatDateFormat(), QStringLiteral("EEEE h:mm"));
    EXPECT_EQ(ctrl_.floatDateFormat2(), QStringLiteral("M/d/yy"));
    EXPECT_EQ(defaults_.stringForKey(keys::floatingTimeFormat), QStringLiteral("EEEE h:mm"));
    EXPECT_EQ(defaults_.stringForKey(keys::floatingDateFormat), QStringLiteral("M/d/yy"));

    // Stored formats are used as they are; "Floater" switches the feature on.
    defaults_.setObject(QStringLiteral("HH:mm"), keys::floatingTimeFormat);
    domain_.store().setValue(keys::Floater, QVariant(true));
    ctrl_.LoadFloatingOptions();
    EXPECT_EQ(ctrl_.floatDateFormat(), QStringLiteral("HH:mm"));
    EXPECT_EQ(ctrl_.options().ShowFloater, 1);
}

TEST_F(worldFloatingClocks, TheFeatureSwitchedOffBuildsNothingAndASettingsChangeHidesTheWindow) {
    load(kTwoColumns, false);
    ctrl_.TimeZoneFloating(table({kParis}));
    EXPECT_EQ(ctrl_.tzWin(), nullptr);
    EXPECT_FALSE(ctrl_.isFloating());

    load(kTwoColumns, true);
    ctrl_.TimeZoneFloating(table({kParis}));
    ASSERT_TRUE(ctrl_.isFloating());

    domain_.store().setValue(keys::Floater, QVariant(false));
    ctrl_.LoadFloatingOptions();
    EXPECT_TRUE(ctrl_.isFloating()) << "a load without a notification leaves the window";
    const platform::Notification note{keys::TalvorFloatingClockPrefsChangeNotification, {}, {}};
    ctrl_.LoadFloatingOptions(&note);
    EXPECT_FALSE(ctrl_.isFloating());
}

TEST_F(worldFloatingClocks, OnlyRecordsWhoseFloatingFieldIsTrueGetAClockInListOrder) {
    load(QStringLiteral("Floating: 1 1 1 1 0 0 9 1 64.000 6.000 1.000 1 1 1 1 0 0 0 1 1"));
    const LocationTable list = {
        kParis,
        location(QStringLiteral("London"), QStringLiteral("UK"), QStringLiteral("Europe/London"),
                 QStringLiteral("1")),
        location(QStringLiteral("Lima"), QStringLiteral("Peru"), QStringLiteral("America/Lima"), 1),
        location(QStringLiteral("Oslo"), QStringLiteral("Norway"), QStringLiteral("Europe/Oslo"),
                 false),
        QVariantList{QString(), QStringLiteral("Short"), QString(), QString(),
                     QStringLiteral("UTC")},
        QStringLiteral("not a record"),
        kTokyo,
    };
    test::LogCapture log;
    ctrl_.TimeZoneFloating(list);
    ASSERT_EQ(ctrl_.clocks().size(), 2u);
    EXPECT_EQ(below(0), QStringLiteral("Paris, France"));
    EXPECT_EQ(below(1), QStringLiteral("Tokyo, Japan"));
    EXPECT_TRUE(log.contains(QStringLiteral("location 4 has only 5 fields")));

    // Ten columns asked for, two clocks: one row of two, the lowered count kept.
    const FloatingGrid& grid = ctrl_.grid();
    EXPECT_EQ(grid.columns, 2);
    EXPECT_EQ(grid.rows, 1);
    EXPECT_EQ(ctrl_.options().iFloaterColumns, 2);
    const QRect first = ctrl_.clocks()[0].dial->geometry();
    const QRect second = ctrl_.clocks()[1].dial->geometry();
    EXPECT_EQ(second.y(), first.y());
    EXPECT_NEAR(second.x() - first.x(), grid.cellWidth + 6.0, 1.0);
    EXPECT_EQ(first.height(), 64);
    // Labels above and below their dial, the window holding the whole grid.
    EXPECT_LE(ctrl_.clocks()[0].above->geometry().bottom(), first.top() + 1);
    EXPECT_GE(ctrl_.clocks()[0].below->geometry().top(), first.bottom() - 1);
    EXPECT_EQ(ctrl_.tzWin()->size(), QSize(static_cast<int>(std::ceil(grid.contentSize.width())),
                                           static_cast<int>(std::ceil(grid.contentSize.height()))));
    EXPECT_EQ(ctrl_.clocks()[0].above->property("tag").toInt(),
              TalvorFloatingClockCtrl::kAboveLabelTag);

    // No floating record at all: the window goes away.
    ctrl_.TimeZoneFloating(LocationTable{list[1], list[3]});
    EXPECT_FALSE(ctrl_.isFloating());
}

TEST_F(worldFloatingClocks, ColumnsAskedForComeBackWhenMoreLocationsFloat) {
    // Stored as count minus one: 3 gives four columns.
    load(QStringLiteral("Floating: 1 1 1 1 0 0 3 1 64.000 6.000 1.000 1 1 1 1 0 0 0 1 1"));
    ctrl_.TimeZoneFloating(table({kParis, kTokyo, kBerlin, kLima, kParis}));
    EXPECT_EQ(ctrl_.grid().columns, 4);
    EXPECT_EQ(ctrl_.grid().rows, 2);

    ctrl_.TimeZoneFloating(table({kParis, kTokyo}));
    EXPECT_EQ(ctrl_.options().iFloaterColumns, 2);
    // A location added later, without a new load: the four columns asked for still hold.
    ctrl_.reorderFloatingClocks(table({kParis, kTokyo, kBerlin}));
    EXPECT_EQ(ctrl_.grid().columns, 3);
    EXPECT_EQ(ctrl_.grid().rows, 1);
}

TEST_F(worldFloatingClocks, BelowTheDialTheCityCountryAndZoneAsAsked) {
    const QVariantList noCity =
        location(QString(), QStringLiteral("France"), QStringLiteral("Europe/Paris"));
    const QVariantList nothing = location(QString(), QString(), QStringLiteral("Europe/Paris"));
    struct Case {
        const char* name;
        int city, country;
        bool zone;
        QVariantList record;
        const char* expected;
    };
    const Case cases[] = {
        {"city", 1, 0, false, kParis, "Paris"},
        {"city and country", 1, 1, false, kParis, "Paris, France"},
        {"all three", 1, 1, true, kParis, "Paris, France, CET"},
        {"country and zone", 0, 1, true, kParis, "France, CET"},
        {"zone alone", 0, 0, true, kParis, "CET"},
        {"no city: the country stands in", 1, 0, false, noCity, "France"},
        {"no city, no country, the zone", 1, 0, true, nothing, "CET"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        domain_.store().setValue(keys::FloaterShowTimeZone, QVariant(c.zone));
        load(QStringLiteral("Floating: 1 1 %1 %2 0 0 1 1 64 2 1").arg(c.city).arg(c.country));
        ctrl_.TimeZoneFloating(table({c.record}));
        ASSERT_EQ(ctrl_.clocks().size(), 1u);
        EXPECT_EQ(below(0), QString::fromUtf8(c.expected));
        EXPECT_EQ(ctrl_.TimeZoneGetFloatingText(c.record, QStringLiteral("CET")),
                  QString::fromUtf8(c.expected));
    }
    domain_.store().setValue(keys::FloaterShowTimeZone, QVariant(false));
    load(QStringLiteral("Floating: 1 1 0 0 0 0 1 1 64 2 1"));
    ctrl_.TimeZoneFloating(table({kParis}));
    EXPECT_EQ(below(0), QString());
    EXPECT_EQ(ctrl_.grid().belowHeight, -1.0);
}

TEST_F(worldFloatingClocks, LabelsAndToolTipsFollowTheLocationsZoneAcrossADaylightSavingChange) {
    // Europe/Berlin springs forward at 01:00 UTC on 30 March 2025: 01:59:59 CET, then 03:00 CEST.
    clock_.set(utc(2025, 3, 30, 0, 59, 59));
    domain_.store().setValue(keys::FloaterShowTimeZone, QVariant(true));
    load(kTwoColumns);
    ctrl_.TimeZoneFloating(table({kBerlin, kLima}));
    ctrl_.updateFoatingClockTime();
    EXPECT_EQ(above(0), QStringLiteral("Sunday 1:59\n3/30/25"));
    EXPECT_EQ(below(0), QStringLiteral("Berlin, Germany, CET"));
    EXPECT_EQ(above(1), QStringLiteral("Saturday 7:59\n3/29/25"));
    EXPECT_EQ(ctrl_.clocks()[0].dial->stringValue(), QStringLiteral("01:59:59"));

    clock_.advance(1);
    ctrl_.updateFoatingClockTime();
    EXPECT_EQ(above(0), QStringLiteral("Sunday 3:00\n3/30/25"));
    EXPECT_EQ(below(0), QStringLiteral("Berlin, Germany, CEST"));
    EXPECT_EQ(ctrl_.clocks()[0].dial->stringValue(), QStringLiteral("03:00:00"));
    EXPECT_EQ(ctrl_.clocks()[0].dial->toolTip(),
              QStringLiteral("Sunday 3:00 CEST\nSunday 1:00 UTC (System/Local time)"));
    EXPECT_EQ(below(1), QStringLiteral("Lima, Peru, -05"));
}

TEST_F(worldFloatingClocks, WeekAndZoneEscapesInThePatternsAreFilledIn) {
    defaults_.setObject(QStringLiteral("'W'%W HH:mm %Z"), keys::floatingTimeFormat);
    load(QStringLiteral("Floating: 1 1 1 0 0 0 1 1 64 2 1 1 1 1 1 0 0 0 1 0"));
    ctrl_.TimeZoneFloating(table({kTokyo}));
    ctrl_.updateFoatingClockTime();
    // Tuesday 4 March 2025 is in ISO week 10; the abbreviation's letters stay letters.
    EXPECT_EQ(above(0), QStringLiteral("W10 00:40 JST"));
    EXPECT_EQ(ctrl_.clocks()[0].dial->toolTip(),
              QStringLiteral("W10 00:40 JST JST\nW10 15:40 JST UTC (System/Local time)"));
}

TEST_F(worldFloatingClocks, TheSecondlyRefreshDoesNothingWhileHiddenAndMakesNoFormatters) {
    load(kTwoColumns);
    ctrl_.TimeZoneFloating(table({kParis, kTokyo}));
    ctrl_.updateFoatingClockTime();
    const QString shown = above(0);
    EXPECT_EQ(shown, QStringLiteral("Tuesday 4:40\n3/4/25"));
    const int formatters = ctrl_.formattersCreated();
    for (int i = 0; i < 30; ++i) {
        clock_.advance(1);
        ctrl_.updateFoatingClockTime();
    }
    EXPECT_EQ(ctrl_.formattersCreated(), formatters);
    EXPECT_EQ(above(0), QStringLiteral("Tuesday 4:41\n3/4/25"));

    ctrl_.hideClocks();
    const CalendarDate dialTime = ctrl_.clocks()[0].dial->time();
    clock_.advance(3600);
    ctrl_.updateFoatingClockTime();
    EXPECT_EQ(above(0), QStringLiteral("Tuesday 4:41\n3/4/25"));
    EXPECT_EQ(ctrl_.clocks()[0].dial->time().date, dialTime.date);
    EXPECT_EQ(ctrl_.formattersCreated(), formatters);

    ctrl_.TimeZoneFloating(table({kParis, kTokyo}));
    ctrl_.updateFoatingClockTime();
    EXPECT_EQ(above(0), QStringLiteral("Tuesday 5:41\n3/4/25"));
}

// The machine's zone is read from the system's files at each asking: once a tick, however
// many clocks float.
TEST_F(worldFloatingClocks, ATickAsksForTheMachinesZoneOnce) {
    load(kTwoColumns);
    ctrl_.TimeZoneFloating(table({kParis, kTokyo, kBerlin, kLima}));
    const int before = clock_.zoneQueries();
    clock_.advance(1);
    ctrl_.updateFoatingClockTime();
    EXPECT_EQ(clock_.zoneQueries() - before, 1);
}

// The labels and tool tips show minutes: within a minute a tick formats nothing, unless a
// pattern shows seconds or the machine's zone changed.
TEST_F(worldFloatingClocks, WithinAMinuteTheTextsAreLeftAsTheyAre) {
    load(kTwoColumns);
    ctrl_.TimeZoneFloating(table({kParis, kTokyo}));
    ctrl_.updateFoatingClockTime();  // 15:40:30
    const int formatted = ctrl_.textsFormatted();
    clock_.advance(1);
    ctrl_.updateFoatingClockTime();
    EXPECT_EQ(ctrl_.textsFormatted(), formatted);
    EXPECT_EQ(ctrl_.clocks()[0].dial->stringValue(), QStringLiteral("16:40:31"));

    clock_.setZone(QTimeZone("Asia/Tokyo"));
    ctrl_.updateFoatingClockTime();
    EXPECT_EQ(ctrl_.clocks()[0].dial->toolTip(),
              QStringLiteral("Tuesday 4:40 CET\nWednesday 12:40 JST (System/Local time)"));
    clock_.setZone(QTimeZone::utc());

    clock_.advance(29);  // 15:41:00
    ctrl_.updateFoatingClockTime();
    EXPECT_EQ(above(0), QStringLiteral("Tuesday 4:41\n3/4/25"));

    defaults_.setObject(QStringLiteral("h:mm:ss"), keys::floatingTimeFormat);
    load(kTwoColumns);
    ctrl_.TimeZoneFloating(table({kParis, kTokyo}));
    ctrl_.updateFoatingClockTime();
    clock_.advance(1);
    ctrl_.updateFoatingClockTime();
    EXPECT_EQ(above(0), QStringLiteral("4:41:01\n3/4/25"));
    // Quoted letters are text, not seconds.
    defaults_.setObject(QStringLiteral("h:mm 'Sun'"), keys::floatingTimeFormat);
    load(kTwoColumns);
    ctrl_.TimeZoneFloating(table({kParis}));
    ctrl_.updateFoatingClockTime();
    const int quoted = ctrl_.textsFormatted();
    clock_.advance(1);
    ctrl_.updateFoatingClockTime();
    EXPECT_EQ(ctrl_.textsFormatted(), quoted);
}

// Collects the region each widget was asked to paint.
class PaintSpy : public QObject {
  public:
    std::map<QObject*, QRegion> painted;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted[watched] += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
};

// Within a minute a tick repaints the places the second hands left and took, and no label.
TEST_F(worldFloatingClocks, ATickRepaintsOnlyWhereTheSecondHandsMoved) {
    load(kTwoColumns);
    ctrl_.TimeZoneFloating(table({kParis, kTokyo, kBerlin, kLima}));
    ctrl_.updateFoatingClockTime();
    QCoreApplication::processEvents();

    PaintSpy spy;
    qApp->installEventFilter(&spy);
    clock_.advance(1);  // 15:40:31
    ctrl_.updateFoatingClockTime();
    QCoreApplication::processEvents();
    for (const auto& c : ctrl_.clocks()) {
        EXPECT_EQ(spy.painted.count(c.above), 0u);
        EXPECT_EQ(spy.painted.count(c.below), 0u);
        ASSERT_EQ(spy.painted.count(c.dial), 1u) << "each dial is repainted";
        const QRect part = spy.painted[c.dial].boundingRect();
        const QRect dial = c.dial->rect();
        EXPECT_LT(part.width() * part.height(), dial.width() * dial.height() / 3)
            << part.width() << "x" << part.height();
    }

    // A new minute moves every hand and the time above.
    spy.painted.clear();
    clock_.advance(29);  // 15:41:00
    ctrl_.updateFoatingClockTime();
    QCoreApplication::processEvents();
    for (const auto& c : ctrl_.clocks()) {
        // The whole dial, but for a row its labels may cover.
        const QRect whole = spy.painted[c.dial].boundingRect();
        EXPECT_GE(whole.height(), c.dial->height() - 2);
        EXPECT_EQ(whole.width(), c.dial->width());
        EXPECT_EQ(spy.painted.count(c.above), 1u);
    }
    qApp->removeEventFilter(&spy);
}

TEST_F(worldFloatingClocks, ReorderingRebuildsTheWindowInTheNewOrder) {
    load(kTwoColumns);
    ctrl_.TimeZoneFloating(table({kParis, kTokyo}));
    TimeZoneWindow* window = ctrl_.tzWin();
    ctrl_.reorderFloatingClocks(table({kTokyo, kBerlin, kParis}));
    EXPECT_EQ(ctrl_.tzWin(), window) << "the window is kept";
    EXPECT_TRUE(ctrl_.isFloating());
    ASSERT_EQ(ctrl_.clocks().size(), 3u);
    EXPECT_EQ(below(0), QStringLiteral("Tokyo, Japan"));
    EXPECT_EQ(below(2), QStringLiteral("Paris, France"));
    // The old dials and labels are gone: three widgets per clock.
    EXPECT_EQ(window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size(), 9);
    EXPECT_EQ(window->findChildren<TalvorClockControl*>().size(), 3);

    // With the feature off, a reorder leaves everything alone.
    load(kTwoColumns, false);
    ctrl_.reorderFloatingClocks(table({kParis}));
    EXPECT_TRUE(ctrl_.isFloating());
    EXPECT_EQ(ctrl_.clocks().size(), 3u);
}

// A location edit announces the floating clocks' settings: the shown window is rebuilt in
// place, and every new dial must be drawn, also without packed options of the user's.
TEST_F(worldFloatingClocks, ASettingsAnnouncementRebuildsTheShownWindowWithItsDials) {
    for (const QString& states : {QString(), kTwoColumns}) {
        SCOPED_TRACE(states.toStdString());
        domain_.store().removeValue(keys::FloatingStates);
        if (!states.isEmpty()) {
            domain_.store().setValue(keys::FloatingStates, states);
        }
        domain_.store().setValue(keys::Floater, QVariant(true));
        ctrl_.LoadFloatingOptions();
        ctrl_.TimeZoneFloating(table({kTokyo}));
        ASSERT_TRUE(ctrl_.isFloating());

        test::LogCapture log;
        const platform::Notification edited{
            keys::TalvorFloatingClockPrefsChangeNotification, QVariant(), {}};
        ctrl_.LoadFloatingOptions(&edited);
        ctrl_.TimeZoneFloating(table({kTokyo, kParis}));
        ASSERT_TRUE(ctrl_.isFloating());
        ASSERT_EQ(ctrl_.clocks().size(), 2u);
        for (const auto& clock : ctrl_.clocks()) {
            EXPECT_TRUE(clock.dial->isVisible()) << "a dial made after the window was shown";
            EXPECT_TRUE(clock.above->isVisible());
        }
        EXPECT_FALSE(log.contains(QStringLiteral("Floating clock using default settings")))
            << "said once, when the options were first read";
        ctrl_.hideClocks();
    }
}

TEST_F(worldFloatingClocks, ShowAndHideCommandsSwitchTheFeatureAndTellEveryProcess) {
    load(kTwoColumns, false);
    ctrl_.menuSelectedShowFloating();
    EXPECT_EQ(domain_.store().value(keys::Floater), QVariant(true));
    EXPECT_EQ(posted_, QStringList{keys::TalvorFloatingClockPrefsChangeNotification});
    EXPECT_GE(domain_.store().synchronizeCount(), 1);

    // Hiding does nothing while nothing is shown.
    ctrl_.menuSelectedHideFloating();
    EXPECT_EQ(domain_.store().value(keys::Floater), QVariant(true));

    ctrl_.LoadFloatingOptions();
    ctrl_.TimeZoneFloating(table({kParis}));
    ASSERT_TRUE(ctrl_.isFloating());
    ctrl_.menuSelectedHideFloating();
    EXPECT_FALSE(ctrl_.isFloating());
    EXPECT_EQ(domain_.store().value(keys::Floater), QVariant(false));
    ctrl_.hideClocks();  // again, harmless
    EXPECT_EQ(posted_.size(), 1);
}

TEST_F(worldFloatingClocks, TheMenuItemTakesItsPlaceAndItsCommandFollowsTheWindow) {
    TalvorHotKeys hotKeys;
    QVariantMap values = TalvorHotKeys::setDetaults();
    values.insert(keys::FloaterHotKeyEnabled, true);
    hotKeys.setHotKeyValues(values);
    TalvorHotKeys::setSharedInstance(&hotKeys);

    auto menu = platform::Menu::create();
    menu->addItemWithTitle(QStringLiteral("First"));
    menu->addItemWithTitle(QStringLiteral("Anchor"))
        ->setTag(TalvorFloatingClockCtrl::kMenuAnchorTag);
    ctrl_.buildFloatingClockItem(*menu);
    ASSERT_EQ(menu->indexOfItemWithTag(TalvorFloatingClockCtrl::kMenuItemTag), 1);
    platform::MenuItem* item = menu->itemAtIndex(1);
    EXPECT_EQ(item->title(), QStringLiteral("Floating Clocks\u2026"));
    EXPECT_EQ(item->keyEquivalent(), TalvorKeyCombo::_stringForKeyCode(3));
    EXPECT_EQ(ctrl_.floatingMenuItem().get(), item);
    menu->performActionForItemAtIndex(1);
    EXPECT_EQ(posted_, QStringList{keys::TalvorFloatingClockPrefsChangeNotification});

    // Shown, the rebuilt item (in the same place) hides.
    load(kTwoColumns);
    ctrl_.TimeZoneFloating(table({kParis}));
    menu->insertItemWithTitle(QStringLiteral("Before"), {}, {}, 0);
    ctrl_.buildFloatingClockItem(*menu);
    EXPECT_EQ(menu->numberOfItems(), 4);
    EXPECT_EQ(menu->indexOfItemWithTag(TalvorFloatingClockCtrl::kMenuItemTag), 2);
    menu->performActionForItemAtIndex(2);
    EXPECT_FALSE(ctrl_.isFloating());

    ctrl_.setShowFloatingMenuItem(true);
    ctrl_.buildFloatingClockItem(*menu);
    EXPECT_EQ(menu->indexOfItemWithTag(TalvorFloatingClockCtrl::kMenuItemTag), -1);
    EXPECT_EQ(ctrl_.floatingMenuItem(), nullptr);
    TalvorHotKeys::setSharedInstance(nullptr);
}

// Points the installed data folder at a temporary one for the life of the object.
class ScopedSystemData {
  public:
    ScopedSystemData() : old_(qgetenv("TALVOR_SYSTEM_DATA_DIR")) {
        qputenv("TALVOR_SYSTEM_DATA_DIR", dir_.path().toUtf8());
        QDir(dir_.path()).mkpath(QStringLiteral("Flags"));
    }
    ~ScopedSystemData() {
        if (old_.isNull()) {
            qunsetenv("TALVOR_SYSTEM_DATA_DIR");
        } else {
            qputenv("TALVOR_SYSTEM_DATA_DIR", old_);
        }
    }
    void addFlag(const QString& file) const {
        QImage flag(16, 16, QImage::Format_ARGB32);
        flag.fill(Qt::red);
        flag.save(dir_.filePath(QStringLiteral("Flags/") + file),
                  file.endsWith(QLatin1String("gif")) ? "PNG" : nullptr);
    }
    QString flags() const { return dir_.filePath(QStringLiteral("Flags")); }

  private:
    QTemporaryDir dir_;
    QByteArray old_;
};

TEST_F(worldFloatingClocks, FlagFacesLookForEachCountrysPicturePngFirst) {
    ScopedSystemData data;
    struct Case {
        const char* country;
        const char* file;
    };
    for (const Case& c :
         {Case{"united KINGDOM", "UK.png"}, Case{"Netherlands", "The Netherlands.png"},
          Case{"new zealand", "New Zealand.png"}, Case{"France", "France.png"}}) {
        EXPECT_EQ(TalvorFloatingClockCtrl::getiChatFlagPath(QString::fromUtf8(c.country)),
                  data.flags() + QLatin1Char('/') + QString::fromUtf8(c.file))
            << c.country;
    }
    EXPECT_EQ(TalvorFloatingClockCtrl::getiChatFlagPath(QString()), std::nullopt);

    data.addFlag(QStringLiteral("UK.png"));
    data.addFlag(QStringLiteral("France.gif"));
    load(QStringLiteral("Floating: 1 1 1 1 0 0 3 -1 64 2 1"));  // a negative face means flags
    const QVariantList london = location(QStringLiteral("London"), QStringLiteral("United Kingdom"),
                                         QStringLiteral("Europe/London"));
    ctrl_.TimeZoneFloating(table({london, kParis, kTokyo}));
    ASSERT_EQ(ctrl_.clocks().size(), 3u);
    EXPECT_EQ(ctrl_.clocks()[0].dial->imagePath(), data.flags() + QStringLiteral("/UK.png"));
    EXPECT_EQ(ctrl_.clocks()[1].dial->imagePath(), data.flags() + QStringLiteral("/France.gif"));
    // No picture either way: the gif path, which draws the plain face.
    EXPECT_EQ(ctrl_.clocks()[2].dial->imagePath(), data.flags() + QStringLiteral("/Japan.gif"));

    load(QStringLiteral("Floating: 1 1 1 1 0 0 3 2 64 2 1"));
    ctrl_.TimeZoneFloating(table({london}));
    EXPECT_EQ(ctrl_.clocks()[0].dial->imagePath(), std::nullopt);
}

TEST_F(worldFloatingClocks, DigitalModeHasNoDialsAndRoomForTheLongestWeekday) {
    domain_.store().setValue(keys::CustomFloatTime, QStringLiteral("%A %H:%M"));
    load(QStringLiteral("Floating: 1 1 1 0 0 1 1 1 64.000 2.000 1.000 1 1 1 1 0 0 0 1 0"));
    ctrl_.TimeZoneFloating(table({kParis, kTokyo}));
    ASSERT_EQ(ctrl_.clocks().size(), 2u);
    EXPECT_EQ(ctrl_.grid().dialSize, 0.0);
    EXPECT_EQ(ctrl_.clocks()[0].dial->height(), 0);
    // Today's digital time reads "Tuesday 15:40"; the cells already fit any day of the week.
    const QFontMetricsF metrics(ctrl_.FloaterFont());
    EXPECT_GE(ctrl_.grid().cellWidth,
              metrics.horizontalAdvance(QStringLiteral("Wednesday 12:22")) + 3.0);
}

// The settings' "Custom..." format is what a digital clock shows: its time, above the city,
// kept current by the tick; an analog clock's dial shows the time instead.
TEST_F(worldFloatingClocks, ADigitalClockShowsItsTimeInTheCustomFormat) {
    domain_.store().setValue(keys::CustomFloatTime, QStringLiteral("%H.%M"));
    load(QStringLiteral("Floating: 1 1 1 0 0 1 1 1 64.000 2.000 1.000 1 1 1 1 0 0 0 1 0"));
    EXPECT_EQ(ctrl_.customFormat(), QStringLiteral("%H.%M"));
    ctrl_.TimeZoneFloating(table({kParis}));
    ASSERT_EQ(ctrl_.clocks().size(), 1u);
    EXPECT_EQ(below(0), QStringLiteral("16.40\nParis"));  // 15:40 UTC in Paris
    const QFontMetricsF metrics(ctrl_.FloaterFont());
    EXPECT_GE(ctrl_.grid().cellWidth, metrics.horizontalAdvance(QStringLiteral("16.40")));
    clock_.set(utc(2025, 3, 4, 15, 41, 0));
    ctrl_.updateFoatingClockTime();
    EXPECT_EQ(below(0), QStringLiteral("16.41\nParis"));

    load(QStringLiteral("Floating: 1 1 1 0 0 0 1 1 64.000 2.000 1.000 1 1 1 1 0 0 0 1 0"));
    ctrl_.TimeZoneFloating(table({kParis}));
    EXPECT_EQ(below(0), QStringLiteral("Paris"));
}

TEST_F(worldFloatingClocks, TheWindowTakesTheLayerAndTheAlpha) {
    struct Case {
        int layer;
        Qt::WindowType hint;
        bool set;
    };
    for (const Case& c :
         {Case{0, Qt::WindowStaysOnBottomHint, true}, Case{1, Qt::WindowStaysOnBottomHint, false},
          Case{1, Qt::WindowStaysOnTopHint, false}, Case{2, Qt::WindowStaysOnTopHint, true}}) {
        load(QStringLiteral("Floating: 1 %1 1 0 0 0 1 1 64 2 0.5").arg(c.layer));
        ctrl_.TimeZoneFloating(table({kParis}));
        ASSERT_TRUE(ctrl_.isFloating()) << c.layer;
        EXPECT_EQ(ctrl_.tzWin()->windowFlags().testFlag(c.hint), c.set) << c.layer;
        EXPECT_TRUE(ctrl_.tzWin()->windowFlags().testFlag(Qt::FramelessWindowHint));
        EXPECT_NEAR(ctrl_.tzWin()->windowOpacity(), 0.5, 0.01);
    }
}

}  // namespace
}  // namespace talvor
