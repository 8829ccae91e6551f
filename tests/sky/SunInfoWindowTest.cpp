// The sun window: the city looked up in the location table, the eight times of the chosen
// day in the city's zone, unknown cities, a day change and a reused window.
#include "sky/EDSunriseSet.h"
#include "sky/SunInfoWindow.h"
#include "sky/SunInfoWindowController.h"
#include "sky/SunLocation.h"
#include "sky/SunTimeTexts.h"

#include "platform/PropertyList.h"
#include "support/FakeClock.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <unicode/locid.h>

#include <cmath>

namespace talvor {
namespace {

using test::FakeClock;

QVariantList record(const QString& city, const QString& country, const QString& zone,
                    const QVariant& latitude, const QVariant& longitude, bool inMenu = false) {
    return {QString(), city,     QString(), country,   zone,   0.0,
            QString(), latitude, longitude, QString(), inMenu, false};
}

// Two Londons, the one in Canada first, as in the bundled table; a city added from the
// address book (a phone number and a first name where the position would be).
LocationTable sampleTable() {
    return {
        record("London", "Canada", "America/Toronto", "42.9834", "-81.2330"),
        record("London", "United Kingdom", "Europe/London", "51.5085", "-0.1257", true),
        record("Tokyo", "Japan", "Asia/Tokyo", "35.6895", "139.6917"),
        record("Sydney", "Australia", "Australia/Sydney", "-33.8679", "151.2073"),
        record("Honolulu", "USA", "Pacific/Honolulu", 21.3069, -157.8583),
        record("Longyearbyen", "Svalbard", "Arctic/Longyearbyen", "78.2232", "15.6267"),
        record("Quito", "Ecuador", "America/Guayaquil", "-0.2299", "-78.5250"),
        record("Springfield", "USA", "America/Chicago", "5551234", "Ann"),
    };
}

QDate localDay(Date date, const QTimeZone& zone) {
    return date.toQDateTime().toTimeZone(zone).date();
}

// What a row must read for an event of EDSunriseSet: the clock time in the city's zone
// (en_GB writes "HH:mm:ss"), marked when it falls on another day, or no time at all.
QString expectedText(const EDSunriseSet::Event& event, bool start, const QTimeZone& zone,
                     const QDate& day) {
    const std::optional<Date>& instant = start ? event.start : event.end;
    if (!instant) {
        return QString();
    }
    const Date time = *instant;
    const QDateTime local = time.toQDateTime().toTimeZone(zone);
    QString text = local.time().toString(QStringLiteral("HH:mm:ss"));
    if (local.date() > day) {
        text += QStringLiteral(" (next day)");
    } else if (local.date() < day) {
        text += QStringLiteral(" (day before)");
    }
    return text;
}

class SunInfoWindowTest : public ::testing::Test {
  protected:
    SunInfoWindowTest() {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en_GB"), status);
    }
    ~SunInfoWindowTest() override {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(previousLocale_, status);
    }

    SunInfoWindowController makeController() {
        return SunInfoWindowController(clock_, [this] { return std::optional(table_); });
    }

    // Checks all eight rows against a calculator of the city's noon on `day`.
    void expectTimesOf(const SunInfoWindowController& controller, const QString& zoneId,
                       double latitude, double longitude, const QDate& day) {
        const QTimeZone zone(zoneId.toUtf8());
        const EDSunriseSet sun(Date::fromQDateTime(QDateTime(day, QTime(12, 0), zone)), zone,
                               latitude, longitude);
        ASSERT_TRUE(controller.sunriset().has_value());
        EXPECT_EQ(localDay(controller.sunriset()->date(), zone), day);
        const EDSunriseSet::Event* events[] = {&sun.sunriseSet(), &sun.civilTwilight(),
                                               &sun.nauticalTwilight(),
                                               &sun.astronomicalTwilight()};
        const SunInfoWindow& window = *controller.window();
        for (int row = 0; row < SunTimeTexts::kRowCount; ++row) {
            const QString expected = expectedText(*events[row / 2], row % 2 == 0, zone, day);
            const QString shown = controller.objectValueForTableColumn(1, row);
            if (expected.isEmpty()) {
                EXPECT_TRUE(shown.startsWith(QStringLiteral("none (")))
                    << row << ": " << shown.toStdString();
            } else {
                EXPECT_EQ(shown, expected) << "row " << row;
            }
            EXPECT_EQ(window.cellText(row, 1), shown) << "row " << row;
            EXPECT_EQ(window.cellText(row, 0), SunTimeTexts::resultsLabels().at(row));
        }
    }

    icu::Locale previousLocale_ = icu::Locale::getDefault();
    // 2025-03-04 15:40 UTC; the machine keeps Auckland's time, a day ahead of the Americas.
    FakeClock clock_{Date::fromUnix(1741102830), QTimeZone("Pacific/Auckland")};
    LocationTable table_ = sampleTable();
};

using skySunInfoWindow = SunInfoWindowTest;

TEST_F(skySunInfoWindow, ShowsTheEightTimesOfTheChosenDayInTheCitysZone) {
    struct Case {
        const char* city;
        const char* zone;
        double latitude;
        double longitude;
        QDate day;
    };
    const Case cases[] = {
        {"London", "Europe/London", 51.5085, -0.1257, QDate(2025, 3, 30)},  // the clocks go on
        {"London", "Europe/London", 51.5085, -0.1257, QDate(2025, 6, 21)},  // no night
        {"Tokyo", "Asia/Tokyo", 35.6895, 139.6917, QDate(2025, 12, 21)},
        {"Sydney", "Australia/Sydney", -33.8679, 151.2073, QDate(2025, 1, 15)},
        {"Honolulu", "Pacific/Honolulu", 21.3069, -157.8583, QDate(2025, 3, 4)},
        {"Quito", "America/Guayaquil", -0.2299, -78.5250, QDate(2025, 9, 22)},
        {"Longyearbyen", "Arctic/Longyearbyen", 78.2232, 15.6267, QDate(2025, 6, 21)},
        {"Longyearbyen", "Arctic/Longyearbyen", 78.2232, 15.6267, QDate(2025, 12, 21)},
        {"Longyearbyen", "Arctic/Longyearbyen", 78.2232, 15.6267, QDate(2025, 3, 4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.city) + " " + c.day.toString(Qt::ISODate).toStdString());
        SunInfoWindowController controller = makeController();
        controller.setCityName(QString::fromUtf8(c.city));
        controller.dateChanged(c.day);
        EXPECT_EQ(controller.window()->lblCityName()->text(), QString::fromUtf8(c.city));
        EXPECT_EQ(controller.numberOfRowsInTableView(), 8);
        expectTimesOf(controller, QString::fromUtf8(c.zone), c.latitude, c.longitude, c.day);
        EXPECT_TRUE(controller.window()->noteLabel()->isHidden());
    }
}

TEST_F(skySunInfoWindow, PolarDaysAndNightsSayNoneInsteadOfATime) {
    SunInfoWindowController controller = makeController();
    controller.setCityName(QStringLiteral("Longyearbyen"));
    controller.dateChanged(QDate(2025, 6, 21));
    const QString day = QStringLiteral("none (polar day)");
    const QString bright = QStringLiteral("none (never this dark)");
    EXPECT_EQ(controller.objectValueForTableColumn(1, 0), day);
    EXPECT_EQ(controller.objectValueForTableColumn(1, 1), day);
    for (int row = 2; row < 8; ++row) {
        EXPECT_EQ(controller.objectValueForTableColumn(1, row), bright) << row;
    }

    controller.dateChanged(QDate(2025, 12, 21));
    const QString night = QStringLiteral("none (polar night)");
    const QString dark = QStringLiteral("none (never this light)");
    EXPECT_EQ(controller.objectValueForTableColumn(1, 0), night);
    EXPECT_EQ(controller.objectValueForTableColumn(1, 1), night);
    EXPECT_EQ(controller.objectValueForTableColumn(1, 2), dark);
    EXPECT_EQ(controller.objectValueForTableColumn(1, 3), dark);
}

TEST_F(skySunInfoWindow, ADayWithOnlyAnEveningTwilightShowsItAndNoDawn) {
    // McMurdo, 20 March 2024: the Sun stayed above -12 degrees through the night before, went
    // below it in the evening.
    table_.append(
        QVariant(record("McMurdo", "Antarctica", "Antarctica/McMurdo", "-77.8463", "166.6683")));
    SunInfoWindowController controller = makeController();
    controller.setCityName(QStringLiteral("McMurdo"));
    controller.dateChanged(QDate(2024, 3, 20));
    EXPECT_EQ(controller.objectValueForTableColumn(1, 4), QStringLiteral("none (never this dark)"));
    EXPECT_FALSE(controller.objectValueForTableColumn(1, 5).startsWith(QStringLiteral("none")));
    expectTimesOf(controller, QStringLiteral("Antarctica/McMurdo"), -77.8463, 166.6683,
                  QDate(2024, 3, 20));
}

TEST_F(skySunInfoWindow, AnEveningPastMidnightIsMarkedAsTheNextDay) {
    // A Coruña keeps Central European time far west of its meridian: in midsummer the
    // astronomical twilight ends after midnight.
    table_.append(QVariant(record("A Coruña", "Spain", "Europe/Madrid", "43.3623", "-8.4115")));
    SunInfoWindowController controller = makeController();
    controller.setCityName(QStringLiteral("A Coruña"));
    controller.dateChanged(QDate(2025, 6, 21));
    EXPECT_TRUE(controller.objectValueForTableColumn(1, 7).endsWith(QStringLiteral(" (next day)")))
        << controller.objectValueForTableColumn(1, 7).toStdString();
    expectTimesOf(controller, QStringLiteral("Europe/Madrid"), 43.3623, -8.4115,
                  QDate(2025, 6, 21));
}

TEST_F(skySunInfoWindow, OfSeveralRecordsOfOneNameTheOneInTheTimeMenuWins) {
    SunInfoWindowController controller = makeController();
    controller.setCityName(QStringLiteral("London"));
    controller.showInfoForSelectedCity();
    ASSERT_TRUE(controller.location().has_value());
    EXPECT_EQ(controller.location()->zone.id(), QByteArray("Europe/London"));

    // With neither in the menu, the first in table order.
    for (QVariant& entry : table_) {
        QVariantList fields = entry.toList();
        fields[10] = false;
        entry = fields;
    }
    controller.showInfoForSelectedCity();
    ASSERT_TRUE(controller.location().has_value());
    EXPECT_EQ(controller.location()->zone.id(), QByteArray("America/Toronto"));
}

TEST_F(skySunInfoWindow, ACityWithoutAPositionShowsItsNameAndQuestionMarks) {
    const QString unknownCities[] = {
        QStringLiteral("Atlantis"),     // not in the table
        QStringLiteral("Springfield"),  // added from the address book: no position
        QString(),
    };
    for (const QString& city : unknownCities) {
        SCOPED_TRACE(city.toStdString());
        SunInfoWindowController controller = makeController();
        controller.setCityName(QStringLiteral("Tokyo"));
        controller.showInfoForSelectedCity();
        ASSERT_TRUE(controller.sunriset().has_value());

        controller.setCityName(city);
        controller.showInfoForSelectedCity();
        EXPECT_FALSE(controller.sunriset().has_value());
        EXPECT_FALSE(controller.location().has_value());
        EXPECT_EQ(controller.window()->lblCityName()->text(), city);
        for (int row = 0; row < 8; ++row) {
            EXPECT_EQ(controller.objectValueForTableColumn(1, row), QStringLiteral("?"));
            EXPECT_EQ(controller.window()->cellText(row, 1), QStringLiteral("?"));
        }
        EXPECT_FALSE(controller.window()->noteLabel()->isHidden());
    }

    // No table to read at all.
    SunInfoWindowController controller(clock_, [] { return std::optional<LocationTable>(); });
    controller.setCityName(QStringLiteral("Tokyo"));
    controller.showInfoForSelectedCity();
    EXPECT_FALSE(controller.sunriset().has_value());
    EXPECT_EQ(controller.objectValueForTableColumn(1, 0), QStringLiteral("?"));
}

TEST_F(skySunInfoWindow, RowsOutsideTheTableShowAQuestionMark) {
    SunInfoWindowController controller = makeController();
    controller.setCityName(QStringLiteral("Tokyo"));
    controller.showInfoForSelectedCity();
    EXPECT_EQ(controller.objectValueForTableColumn(0, 0), QStringLiteral("Sunrise:"));
    EXPECT_EQ(controller.objectValueForTableColumn(0, 7),
              QStringLiteral("Astronomical Twilight End:"));
    EXPECT_EQ(controller.objectValueForTableColumn(0, 8), QStringLiteral("?"));
    EXPECT_EQ(controller.objectValueForTableColumn(1, -1), QStringLiteral("?"));
}

TEST_F(skySunInfoWindow, StartsOnTodayOfTheMachineAndFollowsTheDayChooser) {
    SunInfoWindowController controller = makeController();
    // 15:40 UTC is already the next morning in Auckland.
    EXPECT_EQ(controller.day(), QDate(2025, 3, 5));
    EXPECT_EQ(controller.window()->day(), QDate(2025, 3, 5));

    controller.setCityName(QStringLiteral("Honolulu"));
    controller.showInfoForSelectedCity();
    expectTimesOf(controller, QStringLiteral("Pacific/Honolulu"), 21.3069, -157.8583,
                  QDate(2025, 3, 5));

    // The user picks another day in the window.
    controller.window()->datePicker()->setDate(QDate(2025, 7, 1));
    EXPECT_EQ(controller.day(), QDate(2025, 7, 1));
    expectTimesOf(controller, QStringLiteral("Pacific/Honolulu"), 21.3069, -157.8583,
                  QDate(2025, 7, 1));
}

TEST_F(skySunInfoWindow, ASecondRequestReusesTheWindowAndKeepsTheDay) {
    SunInfoWindowController controller = makeController();
    controller.setCityName(QStringLiteral("Tokyo"));
    controller.showInfoForSelectedCity();
    controller.window()->center();
    controller.showWindow();
    SunInfoWindow* window = controller.window();
    EXPECT_TRUE(window->isVisible());
    controller.window()->datePicker()->setDate(QDate(2025, 11, 2));

    // As the time menu asks for a second city.
    controller.setCityName(QStringLiteral("Sydney"));
    controller.showInfoForSelectedCity();
    controller.window()->center();
    controller.showWindow();
    EXPECT_EQ(controller.window(), window);
    EXPECT_EQ(window->lblCityName()->text(), QStringLiteral("Sydney"));
    EXPECT_EQ(controller.day(), QDate(2025, 11, 2));
    expectTimesOf(controller, QStringLiteral("Australia/Sydney"), -33.8679, 151.2073,
                  QDate(2025, 11, 2));
    window->hide();
}

// A window that only shows something closes with Escape, wherever its focus is.
TEST(skySunInfoWindowKeys, EscapeClosesTheWindowFromAnyControl) {
    SunInfoWindow window;
    for (QWidget* focus :
         std::initializer_list<QWidget*>{window.datePicker(), window.tableView()}) {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        focus->setFocus();
        QTest::keyClick(
            QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : focus,
            Qt::Key_Escape);
        EXPECT_FALSE(window.isVisible()) << focus->metaObject()->className();
    }
}

TEST(skySunLocation, APositionMustBeInRangeAndTheZoneKnown) {
    struct Case {
        const char* what;
        QVariantList record;
        bool found;
    };
    QVariantList offsetOnly = record("Nowhere", "", "", "10.5", "20.25");
    offsetOnly[5] = 5.5;
    QVariantList noZone = record("Nowhere", "", "", "10.5", "20.25");
    noZone[5] = -100.0;
    const Case cases[] = {
        {"numbers as text", record("Oslo", "", "Europe/Oslo", "59.91", "10.75"), true},
        {"numbers", record("Oslo", "", "Europe/Oslo", 59.91, 10.75), true},
        {"latitude beyond a pole", record("Oslo", "", "Europe/Oslo", "91", "10"), false},
        {"longitude beyond 180", record("Oslo", "", "Europe/Oslo", "59", "181"), false},
        {"empty position", record("Oslo", "", "Europe/Oslo", "", ""), false},
        {"short record", QVariantList{QString(), "Oslo", QString(), QString(), "Europe/Oslo"},
         false},
        {"offset from GMT only", offsetOnly, true},
        {"no zone at all", noZone, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SunLocation::fromRecord(c.record).has_value(), c.found);
    }
    const std::optional<SunLocation> fixed = SunLocation::fromRecord(offsetOnly);
    ASSERT_TRUE(fixed.has_value());
    EXPECT_EQ(fixed->zone.offsetFromUtc(QDateTime::currentDateTimeUtc()), 5 * 3600 + 1800);
    EXPECT_DOUBLE_EQ(fixed->latitude, 10.5);
    EXPECT_DOUBLE_EQ(fixed->longitude, 20.25);
}

TEST(skySunInfoWindowLiveTable, ReadsTheLiveLocationTable) {
    test::XdgSandbox sandbox;
    const QString system = sandbox.root() + QStringLiteral("/system");
    test::ScopedEnvVar systemDir("TALVOR_SYSTEM_DATA_DIR", system);
    QDir().mkpath(system);
    const auto bytes = platform::PropertyList::serialize(
        // One record in a list: a bare QVariantList{list} is a copy of the list under clang.
        QVariantList{
            QVariant(record("Reykjavik", "Iceland", "Atlantic/Reykjavik", "64.1355", "-21.8954"))},
        platform::PropertyList::Format::Xml);
    ASSERT_TRUE(bytes.has_value());
    QFile file(system + QStringLiteral("/LocationsConfig.plist"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(*bytes);
    file.close();

    FakeClock clock(Date::fromUnix(1741102830), QTimeZone::utc());
    SunInfoWindowController controller(clock);
    controller.setCityName(QStringLiteral("Reykjavik"));
    controller.showInfoForSelectedCity();
    ASSERT_TRUE(controller.location().has_value());
    EXPECT_DOUBLE_EQ(controller.location()->latitude, 64.1355);
    EXPECT_TRUE(controller.sunriset().has_value());
}

}  // namespace
}  // namespace talvor
