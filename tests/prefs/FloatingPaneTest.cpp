#include "foundation/LocationRecord.h"
#include "foundation/PreferenceDomain.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/EventModifiers.h"
#include "platform/UserDefaults.h"
#include "prefs/FormatPaneParts.h"
#include "prefs/TalvorPrefsFloatingViewCtrl.h"
#include "services/HotKeyField.h"
#include "services/HotKeyKeys.h"
#include "services/TalvorHotKeys.h"
#include "services/TalvorKeyCombo.h"
#include "support/FakeClock.h"
#include "support/FakeFontResolver.h"
#include "support/ScopedMachineZone.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"
#include "widgets/TalvorCustomDatePanel.h"
#include "world/TalvorClockControl.h"
#include "world/TalvorFloatingClockCtrl.h"
#include "world/WorldKeys.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

#include <gtest/gtest.h>

namespace talvor {
namespace {

// The pane over an in-memory domain on a screen 1000 points wide, with a delegate that
// records its calls and a listener that records every announcement and its object.
class FloatingPane : public ::testing::Test {
  protected:
    FloatingPane() : defaults(domain.store()) {
        platform::UserDefaults::setStandard(&defaults);
        platform::Clock::setShared(&clock);
        hotKeys.setHotKeyValues(TalvorHotKeys::setDetaults());
        TalvorHotKeys::setSharedInstance(&hotKeys);
        watch = platform::DistributedNotificationCenter::defaultCenter().addObserver(
            keys::TalvorFloatingClockPrefsChangeNotification, QVariant(),
            [this](const platform::Notification& n) { posted << n.object.toString(); });
    }
    ~FloatingPane() override {
        // What a test posted last reaches no later test.
        takePosted();
        TalvorHotKeys::setSharedInstance(nullptr);
        platform::Clock::setShared(nullptr);
        platform::UserDefaults::setStandard(nullptr);
    }
    PaneDelegate delegate() {
        PaneDelegate d;
        d.setShowFloating = [this](bool show) {
            calls << QStringLiteral("setShowFloating %1").arg(show);
        };
        d.UpdateMenu = [this](qint32 code) { calls << QStringLiteral("UpdateMenu %1").arg(code); };
        return d;
    }
    std::unique_ptr<TalvorPrefsFloatingViewCtrl> make() {
        auto pane =
            std::make_unique<TalvorPrefsFloatingViewCtrl>(QStringLiteral("Nib"), delegate());
        pane->screenWidth = [] { return 1000.0; };
        pane->view();
        takePosted();
        return pane;
    }
    QStringList takePosted() {
        platform::DistributedNotificationCenter::defaultCenter().flush();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return std::exchange(posted, {});
    }
    QString stored(const QString& key) { return domain.store().value(key).toString(); }

    test::ScopedMachineZone machine{"UTC", "en_US"};
    test::XdgSandbox sandbox;
    test::ScopedEnvVar noBus{"DBUS_SESSION_BUS_ADDRESS", QString()};
    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    platform::UserDefaults defaults;
    test::FakeFontResolver fonts{{QStringLiteral("DejaVu Sans")}, QStringLiteral("DejaVu Sans")};
    test::ScopedFontResolver scopedFonts{fonts};
    test::FakeClock clock{
        Date::fromQDateTime(QDateTime(QDate(2026, 5, 15), QTime(3, 5, 7), QTimeZone::utc())),
        QTimeZone::utc()};
    TalvorHotKeys hotKeys;
    platform::Observation watch;
    QStringList posted;
    QStringList calls;
};

using prefsFloatingPane = FloatingPane;

TEST_F(prefsFloatingPane, TheHotKeyIsKeptWithTheOtherShortcuts) {
    auto pane = make();
    auto* field = pane->view()->findChild<HotKeyField*>(QStringLiteral("FloaterHotKey"));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->keyCode(), 3) << "the stored default";
    // Option-Command-D.
    pane->changeHotKey(2, platform::AlternateKeyMask | platform::CommandKeyMask);
    EXPECT_EQ(hotKeys.hotKeyValues().value(keys::hotKeyCodeFloater).toLongLong(), 2);
    EXPECT_EQ(hotKeys.hotKeyValues().value(keys::hotKeyModifiersFloater).toLongLong(),
              CarbonModifiers::cmdKey | CarbonModifiers::optionKey);
    // The enabling box reaches the shortcuts too: the menu item shows the key by it.
    pane->check(QStringLiteral("FloaterHotKeyEnabled"))->click();
    EXPECT_TRUE(hotKeys.hotKeyValues().value(keys::FloaterHotKeyEnabled).toBool());
    EXPECT_TRUE(domain.store().value(keys::FloaterHotKeyEnabled).toBool());
    EXPECT_EQ(takePosted().size(), 2) << "each change announced";
    // Cleared: no shortcut.
    field->clear();
    EXPECT_EQ(hotKeys.hotKeyValues().value(keys::hotKeyCodeFloater).toLongLong(), -1);
    // The field names the keys as this keyboard does.
    field->setKeyCode(2, platform::AlternateKeyMask | platform::CommandKeyMask);
    EXPECT_TRUE(field->displayString().startsWith(QStringLiteral("Ctrl+Alt+")))
        << field->displayString().toStdString();
}

// On a fresh home no place floats: ticking the box says why no clock shows and how to make
// one; with a floating place, or with the box off, nothing is said.
TEST_F(prefsFloatingPane, TheShowBoxSaysWhyNoClockShowsWhileNoPlaceFloats) {
    LocationTable places;
    const auto paris = [](bool floating) {
        return QVariant(QVariantList{QString(), QStringLiteral("Paris"), QString(),
                                     QStringLiteral("France"), QStringLiteral("Europe/Paris"),
                                     QString(), QString(), QString(), QString(), QString(), true,
                                     floating});
    };
    places.append(paris(false));
    TalvorPrefsFloatingViewCtrl pane(QStringLiteral("Nib"), delegate());
    pane.screenWidth = [] { return 1000.0; };
    pane.locations = [&places] { return std::optional<LocationTable>(places); };
    pane.view();
    EXPECT_FALSE(pane.floatingHintShown()) << "the box is off";
    pane.check(QStringLiteral("Floater"))->click();
    ASSERT_TRUE(pane.floatingHintShown());
    auto* hint = pane.view()->findChild<QLabel*>(QStringLiteral("floatingHint"));
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(hint->text().contains(QStringLiteral("Locations…")));
    EXPECT_TRUE(hint->text().contains(QStringLiteral("Floating")));

    places[0] = paris(true);  // ticked in the locations window meanwhile
    pane.viewDidShow();
    EXPECT_FALSE(pane.floatingHintShown());
    places[0] = paris(false);
    pane.viewDidShow();
    EXPECT_TRUE(pane.floatingHintShown());
    pane.check(QStringLiteral("Floater"))->click();
    EXPECT_FALSE(pane.floatingHintShown());
    takePosted();
}

TEST_F(prefsFloatingPane, LoadingShowsTheStoredTextAndWritesNothing) {
    domain.store().setValue(keys::FloatingStates,
                            QStringLiteral("Floating: 1 2 0 1 0 1 3 7 64.000 30.000 0.500 0 0 1 "
                                           "0 1 1 1 0 1"));
    domain.store().setValue(keys::Floater, true);
    const QStringList before = domain.store().keys();
    auto pane = make();
    EXPECT_EQ(domain.store().keys(), before);
    EXPECT_TRUE(posted.isEmpty());
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_TRUE(pane->check(QStringLiteral("Floater"))->isChecked());
    EXPECT_EQ(pane->showFloating(), 1);
    EXPECT_EQ(pane->popUp(QStringLiteral("FloaterWinLayer"))->currentIndex(), 2);
    EXPECT_EQ(pane->popUp(QStringLiteral("FloaterColumns"))->currentIndex(), 3);
    EXPECT_EQ(pane->popUp(QStringLiteral("FloatingClockFace"))->currentIndex(), 7);
    EXPECT_TRUE(
        pane->view()->findChild<QRadioButton*>(QStringLiteral("FloaterClockDigital"))->isChecked());
    EXPECT_FALSE(pane->check(QStringLiteral("FloaterAnalogSecHand"))->isChecked());
    EXPECT_FALSE(pane->check(QStringLiteral("FloaterSeTimeFormat"))->isChecked());
    EXPECT_FALSE(pane->timeFormatPopUp()->popup()->isEnabled());
    EXPECT_EQ(pane->slider(QStringLiteral("FloaterTransparency"))->value(), 50);
    EXPECT_EQ(pane->slider(QStringLiteral("FloaterSpacing"))->value(), 30);
}

TEST_F(prefsFloatingPane, EveryStoredTextComesBackUnchangedThroughThePane) {
    for (const QString& text :
         {QStringLiteral("Floating: 1 0 1 0 1 0 0 101 16.000 0.000 0.100 1 0 0 1 0 1 0 1 0"),
          QStringLiteral("Floating: 0 2 0 1 0 1 11 21 200.000 6.000 1.000 0 1 1 0 1 0 1 0 1"),
          QStringLiteral("Floating: 0 1 1 0 0 0 4 1 48.000 100.000 0.750 1 1 0 1 0 0 0 1 1")}) {
        domain.store().setValue(keys::FloatingStates, text);
        domain.store().setValue(keys::Floater, text.startsWith(QStringLiteral("Floating: 1")));
        auto pane = make();
        pane->saveFloaterOptions();
        EXPECT_EQ(stored(keys::FloatingStates), text);
        EXPECT_EQ(takePosted(), QStringList{text}) << "the packed text is the object";
    }
}

TEST_F(prefsFloatingPane, SpacingLimitIsTheSameOnLoadAndOnSave) {
    // 1000 wide, five clocks a row of 48 points: (1000 - 5 * 48) / 4 = 190.
    domain.store().setValue(keys::FloatingStates,
                            QStringLiteral("Floating: 0 1 1 0 0 0 4 1 48.000 300.000 0.750"));
    auto pane = make();
    QSlider* spacing = pane->slider(QStringLiteral("FloaterSpacing"));
    EXPECT_EQ(spacing->maximum(), 190);
    EXPECT_EQ(spacing->value(), 190);
    pane->saveFloaterOptions();
    EXPECT_EQ(spacing->maximum(), 190);
    EXPECT_TRUE(stored(keys::FloatingStates).contains(QStringLiteral(" 48.000 190.000 ")));
    // A narrow screen: the floor is the same both ways, so a loaded 80 stays 80 on save.
    domain.store().setValue(keys::FloatingStates,
                            QStringLiteral("Floating: 0 1 1 0 0 0 4 1 48.000 80.000 0.750"));
    auto narrow = std::make_unique<TalvorPrefsFloatingViewCtrl>(QStringLiteral("Nib"), delegate());
    narrow->screenWidth = [] { return 400.0; };
    narrow->view();
    EXPECT_EQ(narrow->slider(QStringLiteral("FloaterSpacing"))->value(), 80);
    narrow->saveFloaterOptions();
    EXPECT_TRUE(stored(keys::FloatingStates).contains(QStringLiteral(" 48.000 80.000 ")));
}

TEST_F(prefsFloatingPane, TheShowBoxStoresAnnouncesAndAsksTheApplication) {
    auto pane = make();
    pane->check(QStringLiteral("Floater"))->click();
    EXPECT_TRUE(domain.store().value(keys::Floater).toBool());
    EXPECT_TRUE(domain.store().value(keys::FloaterState).toBool());
    EXPECT_TRUE(stored(keys::FloatingStates).startsWith(QStringLiteral("Floating: 1 ")));
    EXPECT_EQ(calls,
              (QStringList{QStringLiteral("setShowFloating 1"), QStringLiteral("UpdateMenu 6")}));
    EXPECT_EQ(takePosted(), QStringList{stored(keys::FloatingStates)});
    calls.clear();
    pane->check(QStringLiteral("Floater"))->click();
    EXPECT_FALSE(domain.store().value(keys::Floater).toBool());
    EXPECT_EQ(calls, QStringList{QStringLiteral("UpdateMenu 6")});
}

TEST_F(prefsFloatingPane, FormatPopUpsStoreThePatternAndAnnounceSome) {
    auto pane = make();
    QComboBox* time = pane->timeFormatPopUp()->popup();
    ASSERT_GT(time->count(), 1);
    int item = 0;
    while (!(time->model()->flags(time->model()->index(item, 0)) & Qt::ItemIsEnabled)) {
        ++item;
    }
    time->setCurrentIndex(item);
    pane->setTimeFormat(item);
    EXPECT_EQ(defaults.stringForKey(keys::floatingTimeFormat),
              pane->timeFormatPopUp()->list().entries().at(item));
    EXPECT_EQ(takePosted(), QStringList{QStringLiteral("some")});
}

TEST_F(prefsFloatingPane, ResetWritesEighteenNumbersAndForgetsTheFloater) {
    domain.store().setValue(keys::Floater, true);
    domain.store().setValue(keys::FloaterLeftAlign, true);
    TalvorPrefsFloatingViewCtrl::resetToDefaults();
    EXPECT_EQ(stored(keys::FloatingStates), FloatingOptions::resetText());
    EXPECT_FALSE(domain.store().contains(keys::Floater));
    EXPECT_FALSE(domain.store().contains(keys::FloaterLeftAlign));
    EXPECT_EQ(takePosted(), QStringList{FloatingOptions::resetText()});
}

TEST_F(prefsFloatingPane, APaneChangeRebuildsTheRunningClocks) {
    // The running clocks, rebuilt as the application does on the announcement.
    TalvorFloatingClockCtrl clocks(clock, defaults, [](const QString&) {});
    LocationTable locations;
    locations.append(
        QVariant(QVariantList{QString(), QStringLiteral("Paris"), QString(),
                              QStringLiteral("France"), QStringLiteral("Europe/Paris"), QString(),
                              QString(), QString(), QString(), QString(), true, true}));
    int rebuilt = 0;
    platform::Observation rebuild =
        platform::DistributedNotificationCenter::defaultCenter().addObserver(
            keys::TalvorFloatingClockPrefsChangeNotification, QVariant(),
            [&](const platform::Notification& n) {
                clocks.LoadFloatingOptions(&n);
                clocks.hideClocks();
                clocks.TimeZoneFloating(locations);
                ++rebuilt;
            });
    auto pane = make();
    pane->check(QStringLiteral("Floater"))->click();
    takePosted();
    ASSERT_EQ(rebuilt, 1);
    ASSERT_EQ(clocks.clocks().size(), 1u);
    QComboBox* face = pane->popUp(QStringLiteral("FloatingClockFace"));
    face->setCurrentIndex(5);
    emit face->activated(5);
    takePosted();
    EXPECT_EQ(rebuilt, 2);
    EXPECT_EQ(clocks.options().faceType, 5);
    pane->check(QStringLiteral("FloaterAnalogSecHand"))->click();
    takePosted();
    EXPECT_EQ(clocks.options().ShowSeconds, 0) << "the second-hand choice reaches the clocks";
    // The "Custom..." format is the digital clocks' time: 03:05 UTC is 05:05 in Paris.
    pane->view()->findChild<QAbstractButton*>(QStringLiteral("FloaterClockDigital"))->click();
    pane->view()->findChild<QAbstractButton*>(QStringLiteral("chooseCustomDate"))->click();
    TalvorCustomDatePanel& panel = TalvorCustomDatePanel::sharedPanel();
    panel.mTextField->setText(QStringLiteral("%H.%M"));
    panel.ok();
    takePosted();
    ASSERT_EQ(clocks.clocks().size(), 1u);
    EXPECT_TRUE(clocks.clocks()[0].below->text().startsWith(QStringLiteral("05.05")))
        << clocks.clocks()[0].below->text().toStdString();
    clocks.hideClocks();
}

}  // namespace
}  // namespace talvor
