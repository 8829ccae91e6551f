#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "platform/ProcessLauncher.h"
#include "platform/UserDefaults.h"
#include "services/AppleInterfaceStyle.h"
#include "services/SwitchLightDarkVC.h"
#include "services/SystemEventNames.h"
#include "support/BuiltManual.h"
#include "support/FakeClock.h"
#include "support/FakeSystemEvents.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using platform::UserDefaults;

QDateTime at(int hour, int minute = 0) {
    return QDateTime(QDate(2019, 1, 11), QTime(hour, minute), QTimeZone::utc());
}

// The pane offscreen, on fake appearance and position services, in a clean settings folder.
class syseventsLightDarkPane : public ::testing::Test {
  protected:
    syseventsLightDarkPane() {
        platform::Clock::setShared(&clock);
        auto src = std::make_unique<test::FakeAppearanceSource>(false);
        auto set = std::make_unique<test::FakeAppearanceSetter>();
        source = src.get();
        setter = set.get();
        service = std::make_unique<AppearanceService>(std::move(src), std::move(set));
        AppearanceService::setShared(service.get());
    }
    ~syseventsLightDarkPane() override {
        AppearanceService::setShared(nullptr);
        platform::Clock::setShared(nullptr);
    }

    std::unique_ptr<SwitchLightDarkVC> makePane() {
        SwitchLightDarkDelegate d;
        d.UpdateMenu = [this](int code) { menuUpdates.push_back(code); };
        d.makeLocationManager = [this] {
            auto fake = std::make_unique<test::FakeLocationService>();
            location = fake.get();
            return fake;
        };
        d.openURL = [this](const QUrl& url) { opened.append(url.toString()); };
        return std::make_unique<SwitchLightDarkVC>(std::move(d));
    }
    static bool timesShown(const SwitchLightDarkVC& pane) {
        const bool shown = !pane.timePicker_light()->isHidden();
        EXPECT_EQ(!pane.timePicker_dark()->isHidden(), shown);
        EXPECT_EQ(!pane.label_light()->isHidden(), shown);
        EXPECT_EQ(!pane.label_dark()->isHidden(), shown);
        return shown;
    }
    static QVariant stored(const QString& key) {
        return UserDefaults::standard().objectForKey(key);
    }

    test::XdgSandbox sandbox;
    test::FakeClock clock{Date::fromReference(0), QTimeZone::utc()};
    std::unique_ptr<AppearanceService> service;
    test::FakeAppearanceSource* source = nullptr;
    test::FakeAppearanceSetter* setter = nullptr;
    test::FakeLocationService* location = nullptr;
    std::vector<int> menuUpdates;
    QStringList opened;
};

using servicesSyseventsLightDarkPane = syseventsLightDarkPane;

TEST_F(servicesSyseventsLightDarkPane, WithNoModeStoredNothingIsChosen) {
    auto pane = makePane();
    EXPECT_EQ(pane->selectedRow(), -1);
    EXPECT_FALSE(pane->selectedModeSegment()->isEnabled());
    EXPECT_FALSE(timesShown(*pane));
    EXPECT_EQ(pane->versionNoBtn()->text(),
              QStringLiteral("Version ") + QCoreApplication::applicationVersion());
    EXPECT_FALSE(stored(kAppearanceSwitchKey).isValid()) << "loading stores nothing";
    EXPECT_EQ(pane->locationManager(), nullptr);
}

// Each row stores its mode at once and sets the controls.
TEST_F(servicesSyseventsLightDarkPane, RowsStoreTheModeAndSetTheControls) {
    auto pane = makePane();
    struct Case {
        int row;
        QString mode;
        bool segmentEnabled;
        bool timesVisible;
    };
    const Case cases[] = {
        {1, kAppearanceSwitchManual, true, false},
        {3, kAppearanceSwitchCustom, false, true},
        {2, kAppearanceSwitchSunSetRise, false, false},
        {0, kAppearanceSwitchOff, false, false},
    };
    for (const Case& c : cases) {
        pane->radioBtnSwitch()->button(c.row)->click();
        EXPECT_EQ(pane->selectedRow(), c.row);
        EXPECT_EQ(stored(kAppearanceSwitchKey).toString(), c.mode);
        EXPECT_EQ(pane->selectedModeSegment()->isEnabled(), c.segmentEnabled) << c.row;
        EXPECT_EQ(timesShown(*pane), c.timesVisible) << c.row;
    }
    // The sunrise row started the position source.
    ASSERT_NE(location, nullptr);
    EXPECT_EQ(location->starts, 1);
}

TEST_F(servicesSyseventsLightDarkPane,
       FirstCustomChoiceStoresSixAndEighteenLaterKeepsTheUsersTimes) {
    auto pane = makePane();
    pane->switchAppearanceAt(3);
    EXPECT_EQ(stored(kLightModeTimeKey).toDateTime(), at(6));
    EXPECT_EQ(stored(kDarkModeTimeKey).toDateTime(), at(18));
    EXPECT_EQ(pane->timePicker_light()->dateTime().toUTC(), at(6));
    EXPECT_EQ(pane->timePicker_dark()->dateTime().toUTC(), at(18));

    // The user's change is stored at once.
    pane->timePicker_light()->setDateTime(at(7, 30).toLocalTime());
    EXPECT_EQ(stored(kLightModeTimeKey).toDateTime(), at(7, 30));
    pane->switchAppearanceAt(0);
    pane->switchAppearanceAt(3);
    EXPECT_EQ(stored(kLightModeTimeKey).toDateTime(), at(7, 30));
    EXPECT_EQ(stored(kDarkModeTimeKey).toDateTime(), at(18));
}

TEST_F(servicesSyseventsLightDarkPane, OnlyTheMissingTimeIsFilledIn) {
    UserDefaults::standard().setObject(at(8), kDarkModeTimeKey);
    auto pane = makePane();
    pane->switchAppearanceAt(3);
    EXPECT_EQ(stored(kLightModeTimeKey).toDateTime(), at(6));
    EXPECT_EQ(stored(kDarkModeTimeKey).toDateTime(), at(8));
}

TEST_F(servicesSyseventsLightDarkPane, LoadingShowsTheStoredMode) {
    UserDefaults& d = UserDefaults::standard();
    d.setObject(kAppearanceSwitchCustom, kAppearanceSwitchKey);
    d.setObject(at(5, 15), kLightModeTimeKey);
    d.setObject(at(20, 45), kDarkModeTimeKey);
    auto pane = makePane();
    EXPECT_EQ(pane->selectedRow(), 3);
    EXPECT_TRUE(timesShown(*pane));
    EXPECT_EQ(pane->timePicker_light()->dateTime().toUTC(), at(5, 15));
    EXPECT_EQ(pane->timePicker_dark()->dateTime().toUTC(), at(20, 45));
    EXPECT_EQ(stored(kLightModeTimeKey).toDateTime(), at(5, 15)) << "loading writes nothing back";

    for (const auto& [mode, row] :
         {std::pair{QStringLiteral("Manual"), 1}, std::pair{QStringLiteral("SunSetRise"), 2},
          std::pair{QStringLiteral("whatever"), 0}}) {
        d.setObject(mode, kAppearanceSwitchKey);
        auto other = makePane();
        EXPECT_EQ(other->selectedRow(), row) << mode.toStdString();
        EXPECT_EQ(other->selectedModeSegment()->isEnabled(), row == 1);
    }
}

// In "Off" an outside change leaves the pane alone; in "Manual" the segment follows it.
TEST_F(servicesSyseventsLightDarkPane, SegmentFollowsTheDesktopUnlessOff) {
    auto pane = makePane();
    pane->switchAppearanceAt(0);
    const int before = pane->selectedModeSegment()->selectedSegment();
    source->change(true);
    EXPECT_EQ(pane->selectedModeSegment()->selectedSegment(), before);

    pane->switchAppearanceAt(1);
    source->change(false);
    EXPECT_EQ(pane->selectedModeSegment()->selectedSegment(), 0);
    source->change(true);
    EXPECT_EQ(pane->selectedModeSegment()->selectedSegment(), 1);
    EXPECT_TRUE(setter->requests.empty()) << "the pane does not switch to what is already shown";

    // The hand-set segment switches the desktop.
    pane->selectedModeSegment()->segmentButton(0)->click();
    EXPECT_EQ(setter->requests, std::vector<bool>{false});
}

TEST_F(servicesSyseventsLightDarkPane, ClosedPaneNoLongerReacts) {
    auto pane = makePane();
    EXPECT_EQ(service->reactorCount(), 1u);
    auto second = makePane();
    EXPECT_EQ(service->reactorCount(), 2u);
    pane.reset();
    second.reset();
    EXPECT_EQ(service->reactorCount(), 0u);
    source->change(true);  // must not touch freed controls
}

TEST_F(servicesSyseventsLightDarkPane, PositionUpdatesAreStored) {
    auto pane = makePane();
    pane->switchAppearanceAt(2);
    ASSERT_NE(location, nullptr);
    location->deliver(59.91, 10.75);
    EXPECT_DOUBLE_EQ(UserDefaults::standard().doubleForKey(kCurrentLatitudeKey), 59.91);
    EXPECT_DOUBLE_EQ(UserDefaults::standard().doubleForKey(kCurrentLongitudeKey), 10.75);
    location->authorize(platform::LocationService::Authorization::Authorized);
    EXPECT_EQ(location->starts, 2);
}

// The position refused: the alert, and once it is answered the desktop's location settings;
// a desktop without any gets an alert that says how to allow it, and nothing is started.
TEST_F(servicesSyseventsLightDarkPane, ARefusedPositionLeadsToTheDesktopsLocationSettings) {
    test::FakeProcessLauncher launcher;
    platform::ProcessLauncher::setShared(&launcher);
    struct Case {
        const char* name;
        QStringList installed;
        bool opens;
    };
    const Case cases[] = {{"GNOME", {QStringLiteral("gnome-control-center")}, true},
                          {"no settings tool", {}, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        launcher.installed = c.installed;
        launcher.launches.clear();
        auto pane = makePane();
        pane->switchAppearanceAt(2);
        ASSERT_NE(location, nullptr);
        location->authorize(platform::LocationService::Authorization::Denied);
        auto* alert = pane->findChild<QMessageBox*>(QStringLiteral("locationDeniedAlert"));
        ASSERT_NE(alert, nullptr);
        EXPECT_TRUE(launcher.launches.empty()) << "nothing opens under the alert";
        EXPECT_EQ(alert->informativeText().contains(QStringLiteral("geoclue.conf")), !c.opens)
            << alert->informativeText().toStdString();
        alert->button(QMessageBox::Ok)->click();
        ASSERT_EQ(launcher.launches.size(), c.opens ? 1u : 0u);
        if (c.opens) {
            EXPECT_EQ(launcher.launches[0].program,
                      QStringLiteral("/usr/bin/gnome-control-center"));
            EXPECT_EQ(launcher.launches[0].arguments, QStringList{QStringLiteral("location")});
        }
    }
    platform::ProcessLauncher::setShared(nullptr);
}

TEST_F(servicesSyseventsLightDarkPane, MenuBoxAndPagesAskTheApplication) {
    const test::ScopedBuiltManual manual;
    auto pane = makePane();
    const bool before = TalvorTimeSettings::sharedInstance().showLightDarkMode;
    EXPECT_EQ(pane->menuBtn()->isChecked(), before);
    pane->menuBtn()->click();
    EXPECT_EQ(TalvorTimeSettings::sharedInstance().showLightDarkMode, !before);
    EXPECT_EQ(menuUpdates, std::vector<int>{11});
    pane->showLightDarkModeMenu(Qt::PartiallyChecked);
    EXPECT_EQ(menuUpdates.size(), 1u);

    pane->helpButtonClicked();
    pane->versionNoBtn()->click();
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0], manual.page(QStringLiteral("pane-light-dark")));
    EXPECT_TRUE(opened[1].endsWith(QStringLiteral("/product/talvor/#changelog")));
}

}  // namespace
}  // namespace talvor
