#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorFilePaths.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "platform/SharedInstance.h"
#include "platform/UserDefaults.h"
#include "prefs/GlobalSchedulerViewController.h"
#include "support/FakeClock.h"
#include "support/FakePasteboard.h"
#include "support/FakeSystemEvents.h"
#include "support/ScopedMachineZone.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <functional>

namespace talvor {
namespace {

// The planner over a small zone tree (Europe/London, Europe/Paris, America/New_York and
// America/Argentina/Buenos_Aires), a clock standing at 10:30 UTC on 10 March 2026, a
// sandboxed data folder and a recording delegate.
class GlobalSchedulerPane : public ::testing::Test {
  protected:
    GlobalSchedulerPane() : defaults(domain.store()) {
        platform::UserDefaults::setStandard(&defaults);
        platform::Clock::setShared(&clock);
        for (const char* path : {"Europe/London", "Europe/Paris", "America/New_York",
                                 "America/Argentina/Buenos_Aires"}) {
            const QString file = zoneRoot.filePath(QString::fromLatin1(path));
            QDir().mkpath(QFileInfo(file).path());
            QFile(file).open(QIODevice::WriteOnly);
        }
    }
    ~GlobalSchedulerPane() override {
        platform::Clock::setShared(nullptr);
        platform::UserDefaults::setStandard(nullptr);
    }
    std::unique_ptr<GlobalSchedulerViewController> make() {
        PaneDelegate d;
        d.UpdateMenu = [this](qint32 code) { calls << QStringLiteral("UpdateMenu %1").arg(code); };
        d.openURL = [this](const QUrl& url) { opened << url; };
        d.makeLocationManager = [this] {
            auto source = std::make_unique<test::FakeLocationService>();
            location = source.get();
            return source;
        };
        auto pane = std::make_unique<GlobalSchedulerViewController>(QStringLiteral("Nib"), d,
                                                                    ZoneInfoTree(zoneRoot.path()));
        pane->view();
        return pane;
    }
    template <class W>
    static W* child(GlobalSchedulerViewController& pane, const char* name) {
        W* w = pane.view()->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static void choose(GlobalSchedulerViewController& pane, const char* region, const char* zone) {
        auto* regions = child<QComboBox>(pane, "region");
        regions->setCurrentText(QString::fromLatin1(region));
        pane.ZoneDidChange();
        auto* zones = child<QComboBox>(pane, "locationTbl");
        zones->setCurrentIndex(zones->findText(QString::fromLatin1(zone)));
        ASSERT_GE(zones->currentIndex(), 0) << zone;
    }
    static QString cell(GlobalSchedulerViewController& pane, int row, int column) {
        const QTableWidgetItem* item = pane.rowsTable()->item(row, column);
        return item != nullptr ? item->text() : QString();
    }

    test::ScopedMachineZone machine{"UTC", "en_US"};
    test::XdgSandbox sandbox;
    QTemporaryDir zoneRootDir;
    QDir zoneRoot{zoneRootDir.path()};
    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    platform::UserDefaults defaults;
    test::FakeClock clock{
        Date::fromQDateTime(QDateTime(QDate(2026, 3, 10), QTime(10, 30), QTimeZone::utc())),
        QTimeZone::utc()};
    TalvorTimeSettings timeSettings;
    SharedInstance<TalvorTimeSettings>::Override useTime{timeSettings};
    test::FakePasteboard pasteboard;
    QStringList calls;
    QList<QUrl> opened;
    test::FakeLocationService* location = nullptr;  // the pane's, once made
};

using prefsGlobalScheduler = GlobalSchedulerPane;

TEST_F(prefsGlobalScheduler, TheFirstOpeningAddsTheLocalTimeRowAndSavesIt) {
    auto pane = make();
    ASSERT_EQ(pane->rowsTable()->rowCount(), 1);
    EXPECT_EQ(cell(*pane, 0, 1), QStringLiteral("Local Time"));
    EXPECT_EQ(cell(*pane, 0, 3), QStringLiteral("10:30 AM")) << "now, before the slider moves";
    const std::optional<QVariantList> stored = TalvorFilePaths::TalvorLoadSchedulerLocationFile();
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->size(), 1);
    // The local-time row cannot be deleted.
    pane->rowsTable()->selectRow(0);
    EXPECT_FALSE(child<QPushButton>(*pane, "deleteTimeZones")->isEnabled());
}

TEST_F(prefsGlobalScheduler, PlacesComeFromTheZonePickerOnceEachAndAreKept) {
    auto pane = make();
    choose(*pane, "America", "Buenos_Aires (Argentina)");
    EXPECT_TRUE(pane->addChosenZone());
    EXPECT_FALSE(pane->addChosenZone()) << "a place once";
    choose(*pane, "Europe", "Paris");
    EXPECT_TRUE(pane->addChosenZone());
    ASSERT_EQ(pane->rowsTable()->rowCount(), 3);
    EXPECT_EQ(cell(*pane, 1, 1), QStringLiteral("Buenos_Aires (Argentina)"));
    EXPECT_EQ(cell(*pane, 1, 3), QStringLiteral("07:30 AM"));
    EXPECT_EQ(cell(*pane, 2, 3), QStringLiteral("11:30 AM"));

    // Stored, and read back by a new pane.
    auto again = make();
    EXPECT_EQ(again->planner().rows(), pane->planner().rows());

    // Deleting Buenos Aires selects the row now in its place.
    pane->rowsTable()->selectRow(1);
    EXPECT_TRUE(child<QPushButton>(*pane, "deleteTimeZones")->isEnabled());
    pane->deleteSelectedTimeZone();
    ASSERT_EQ(pane->rowsTable()->rowCount(), 2);
    EXPECT_EQ(cell(*pane, 1, 1), QStringLiteral("Paris"));
    EXPECT_EQ(TalvorFilePaths::TalvorLoadSchedulerLocationFile()->size(), 2);
}

TEST_F(prefsGlobalScheduler, TheChosenDayAndTimeMoveEveryRowAndTheGrid) {
    auto pane = make();
    choose(*pane, "America", "New_York");
    pane->addChosenZone();
    // The slider alone moves the time on today.
    EXPECT_EQ(child<QDateEdit>(*pane, "chosenDate")->date(), QDate(2026, 3, 10));
    child<QSlider>(*pane, "timeZoneMovingSlider")->setValue(14 * 60);
    EXPECT_EQ(pane->moment(),
              Date::fromQDateTime(QDateTime(QDate(2026, 3, 10), QTime(14, 0), QTimeZone::utc())));
    EXPECT_EQ(cell(*pane, 1, 3), QStringLiteral("10:00 AM")) << "summer time in New York";
    child<QDateEdit>(*pane, "chosenDate")->setDate(QDate(2027, 1, 4));
    child<QSlider>(*pane, "timeZoneMovingSlider")->setValue(15 * 60);
    EXPECT_EQ(pane->moment(),
              Date::fromQDateTime(QDateTime(QDate(2027, 1, 4), QTime(15, 0), QTimeZone::utc())))
        << "the chosen year is kept";
    EXPECT_EQ(cell(*pane, 1, 3), QStringLiteral("10:00 AM")) << "winter time in New York";
    EXPECT_EQ(cell(*pane, 1, 4), QStringLiteral("01/04"));
    EXPECT_TRUE(child<QPushButton>(*pane, "resetTimeBtn")->isEnabled());

    // The grid: New York's 9:00 is 14:00 here, its first working hour.
    QTableWidget* grid = pane->gridTable();
    ASSERT_EQ(grid->rowCount(), 2);
    EXPECT_EQ(grid->item(1, 14)->text(), QStringLiteral("9"));
    EXPECT_NE(grid->item(1, 14)->background(), grid->item(1, 13)->background());

    // Now again.
    pane->resetTime();
    EXPECT_EQ(pane->moment(), clock.now());
    EXPECT_EQ(cell(*pane, 1, 3), QStringLiteral("06:30 AM"));
}

// Places are added and deleted at the current moment: moving it disables both until "Now",
// which also brings the meeting back to an hour (adding a place keeps the duration).
TEST_F(prefsGlobalScheduler, AMovedMomentWaitsForNowWhichAlsoResetsTheDuration) {
    auto pane = make();
    choose(*pane, "Europe", "London");
    ASSERT_TRUE(pane->addChosenZone());
    auto* add = child<QPushButton>(*pane, "addTimeZoneBtn");
    auto* remove = child<QPushButton>(*pane, "deleteTimeZones");
    auto* duration = child<QSpinBox>(*pane, "durationTimeTxtField");
    child<QCheckBox>(*pane, "scheduleMeeting")->click();
    duration->setValue(90);
    pane->rowsTable()->selectRow(1);
    ASSERT_TRUE(remove->isEnabled());

    struct Move {
        const char* what;
        std::function<void()> act;
    };
    const Move moves[] = {
        {"slider", [&] { child<QSlider>(*pane, "timeZoneMovingSlider")->setValue(14 * 60); }},
        {"day", [&] { child<QDateEdit>(*pane, "chosenDate")->setDate(QDate(2026, 3, 12)); }},
    };
    for (const Move& move : moves) {
        SCOPED_TRACE(move.what);
        move.act();
        EXPECT_FALSE(add->isEnabled());
        EXPECT_FALSE(remove->isEnabled());
        child<QPushButton>(*pane, "resetTimeBtn")->click();
        EXPECT_TRUE(add->isEnabled());
        EXPECT_FALSE(remove->isEnabled());
        EXPECT_EQ(duration->value(), 60);
        EXPECT_EQ(child<QSlider>(*pane, "durationTimeSlider")->value(), 60);
        EXPECT_EQ(pane->moment(), clock.now());
        duration->setValue(90);
    }

    choose(*pane, "Europe", "Paris");
    add->click();
    EXPECT_EQ(pane->rowsTable()->rowCount(), 3);
    EXPECT_EQ(duration->value(), 90) << "adding a place keeps the meeting's length";
}

// A bundled city table of three cities, in a system data folder of the test's own.
class BundledCities {
  public:
    BundledCities() {
        QFile table(dir.filePath(QStringLiteral("LocationsConfig.plist")));
        EXPECT_TRUE(table.open(QIODevice::WriteOnly));
        table.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><array>
<array><string></string><string>Paris</string><string></string><string>France</string><string>Europe/Paris</string><real>1</real><string>CET</string><string>48.8566</string><string>2.3522</string><string></string><false/><false/></array>
<array><string></string><string>Lyon</string><string></string><string>France</string><string>Europe/Paris</string><real>1</real><string>CET</string><string>45.7640</string><string>4.8357</string><string></string><false/><false/></array>
<array><string></string><string>Sydney</string><string></string><string>Australia</string><string>Australia/Sydney</string><real>10</real><string>AEST</string><string>-33.8688</string><string>151.2093</string><string></string><false/><false/></array>
</array></plist>
)");
    }
    QTemporaryDir dir;
    test::ScopedEnvVar systemData{"TALVOR_SYSTEM_DATA_DIR", dir.path()};
};

// The local-time row takes the name of the city nearest to the position the desktop gives,
// without any network; the same position again changes nothing.
TEST_F(prefsGlobalScheduler, ThePositionNamesTheLocalRowAfterTheNearestBundledCity) {
    const BundledCities cities;
    auto pane = make();
    ASSERT_NE(location, nullptr);
    EXPECT_EQ(location->starts, 1) << "asked at once: the desktop asks the user";
    location->authorize(platform::LocationService::Authorization::Authorized);
    EXPECT_EQ(location->starts, 2);

    location->deliver(45.70, 4.90);  // just south-east of Lyon
    EXPECT_EQ(cell(*pane, 0, 1), QStringLiteral("Lyon"));
    EXPECT_EQ(location->stops, 1);
    const std::optional<QVariantList> stored = TalvorFilePaths::TalvorLoadSchedulerLocationFile();
    ASSERT_TRUE(stored.has_value());
    const QVariantMap local = stored->at(0).toMap();
    EXPECT_EQ(local.value(QStringLiteral("CityName")), QStringLiteral("Lyon"));
    EXPECT_EQ(local.value(QStringLiteral("FilePath")), QStringLiteral("empty"));
    EXPECT_EQ(local.value(QStringLiteral("ActualCityName")), QStringLiteral("True"));

    location->deliver(45.70, 4.90);
    EXPECT_EQ(location->stops, 1) << "an unchanged position is ignored";
    location->deliver(-33.0, 151.0);
    EXPECT_EQ(cell(*pane, 0, 1), QStringLiteral("Sydney"));
    EXPECT_EQ(pane->rowsTable()->rowCount(), 1) << "the row is renamed, never added";

    // Named by the position, the row can be deleted like any other.
    pane->rowsTable()->selectRow(0);
    EXPECT_TRUE(child<QPushButton>(*pane, "deleteTimeZones")->isEnabled());
}

TEST_F(prefsGlobalScheduler, ARefusedPositionSaysHowToAllowItAndKeepsLocalTime) {
    const BundledCities cities;
    auto pane = make();
    ASSERT_NE(location, nullptr);
    location->authorize(platform::LocationService::Authorization::Denied);
    EXPECT_EQ(location->stops, 1);
    QMessageBox* alert =
        pane->view()->findChild<QMessageBox*>(QStringLiteral("locationDeniedAlert"));
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_EQ(alert->icon(), QMessageBox::Warning);
    EXPECT_EQ(alert->informativeText(),
              QStringLiteral("Please go to Settings and turn on Location Services for Talvor"));
    alert->button(QMessageBox::Ok)->click();
    EXPECT_EQ(cell(*pane, 0, 1), QStringLiteral("Local Time"));
}

TEST_F(prefsGlobalScheduler, APositionWithNoCityOrAFailingSourceIsOnlyLogged) {
    test::LogCapture log;
    QTemporaryDir noTable;
    const test::ScopedEnvVar systemData("TALVOR_SYSTEM_DATA_DIR", noTable.path());
    auto pane = make();
    ASSERT_NE(location, nullptr);
    location->deliver(45.70, 4.90);
    EXPECT_TRUE(log.contains(QStringLiteral("Could not locate")));
    EXPECT_EQ(cell(*pane, 0, 1), QStringLiteral("Local Time"));
    location->fail(QStringLiteral("no GeoClue"));
    EXPECT_TRUE(log.contains(QStringLiteral("location service error: no GeoClue")));
}

TEST_F(prefsGlobalScheduler, AMeetingShowsItsEndAndIsExported) {
    auto pane = make();
    choose(*pane, "Europe", "London");
    pane->addChosenZone();
    EXPECT_TRUE(pane->rowsTable()->isColumnHidden(5));
    EXPECT_FALSE(child<QPushButton>(*pane, "copyToClipBoardBtn")->isEnabled());
    child<QCheckBox>(*pane, "scheduleMeeting")->setChecked(true);
    child<QSpinBox>(*pane, "durationTimeTxtField")->setValue(90);
    EXPECT_FALSE(pane->rowsTable()->isColumnHidden(5));
    EXPECT_EQ(cell(*pane, 1, 5), QStringLiteral("12:00 PM"));

    child<QPushButton>(*pane, "copyToClipBoardBtn")->click();
    ASSERT_EQ(pasteboard.writes.size(), 1);
    EXPECT_TRUE(pasteboard.writes.at(0).startsWith(
        QStringLiteral("Start     End\n\nLocal Time     10:30 AM     12:00 PM\n"
                       "London     10:30 AM     12:00 PM\n")));

    child<QPushButton>(*pane, "emailBtn")->click();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.at(0).scheme(), QStringLiteral("mailto"));
    const QUrlQuery query(opened.at(0));
    EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
              QStringLiteral("Meeting Times"));
    EXPECT_EQ(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded),
              pasteboard.writes.at(0));
}

TEST_F(prefsGlobalScheduler, TheMenuBoxStoresTheSettingAndRebuildsTheItem) {
    auto pane = make();
    child<QCheckBox>(*pane, "showGlobalScheduler")->click();
    EXPECT_TRUE(timeSettings.showGlobalScheduler);
    EXPECT_EQ(calls, QStringList{QStringLiteral("UpdateMenu 10")});
}

}  // namespace
}  // namespace talvor
