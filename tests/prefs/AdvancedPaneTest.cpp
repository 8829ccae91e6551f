#include "calendar/TalvorCalPrefsSettings.h"
#include "foundation/PreferenceDomain.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/UserDefaults.h"
#include "prefs/AdvancedPrefVC.h"
#include "services/AppStartup.h"
#include "support/BuiltManual.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using Variant = AdvancedPrefVC::Variant;

QString makeProgram(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n");
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return QFileInfo(path).canonicalFilePath();
}

// A memory domain, a private notification centre, a delegate and reset steps that record what
// they are asked, and a login item in a temporary XDG tree.
class prefsAdvancedPane : public ::testing::Test {
  protected:
    prefsAdvancedPane() {
        delegate.appDockIcon = [this] { calls << QStringLiteral("appDockIcon"); };
        delegate.showBoardingScreen = [this] { calls << QStringLiteral("showBoardingScreen"); };
        delegate.openURL = [this](const QUrl& url) { calls << url.toString(); };
        delegate.distributedCenter = &center;
        watch = center.addObserver(QString(), QVariant(), [this](const platform::Notification& n) {
            calls << QStringLiteral("post ") + n.name;
        });
        const auto record = [this](const char* name) {
            return [this, name] { calls << QString::fromLatin1(name); };
        };
        steps.floatingClocks = record("floatingClocks");
        steps.timeSettings = record("timeSettings");
        steps.breakSettings = record("breakSettings");
        steps.calendarWindowSettings = record("calendarWindowSettings");
        steps.calendarWindowController = record("calendarWindowController");
        steps.calendarPictureDefaults = record("calendarPictureDefaults");
        steps.calendarPictureRedisplay = record("calendarPictureRedisplay");
        steps.dateSettings = record("dateSettings");
        steps.floatingWindowFrame = record("floatingWindowFrame");
        program = makeProgram(sandbox.root() + QStringLiteral("/opt/talvor/talvor"));
        items = std::make_unique<LoginItems>(program);
        LoginItems::setShared(items.get());
    }
    ~prefsAdvancedPane() override { LoginItems::setShared(nullptr); }

    std::unique_ptr<AdvancedPrefVC> makePane(Variant variant, bool answer = true) {
        auto pane = std::make_unique<AdvancedPrefVC>(QStringLiteral("AdvancedPrefVC"), delegate,
                                                     variant, steps);
        pane->confirmReset = [this, answer](QWidget*, std::function<void(bool)> reply) {
            calls << QStringLiteral("confirm");
            reply(answer);
        };
        pane->view();
        return pane;
    }
    QStringList takeCalls() {
        center.flush();
        QCoreApplication::sendPostedEvents();
        return std::exchange(calls, {});
    }

    // First: it resets the preference domains, the memory domain comes after.
    test::XdgSandbox sandbox;
    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    test::ScopedEnvVar noBus{"DBUS_SESSION_BUS_ADDRESS", QStringLiteral("disabled:")};
    platform::DistributedNotificationCenter center;
    platform::Observation watch;
    PaneDelegate delegate;
    ResetAllSteps steps;
    QString program;
    std::unique_ptr<LoginItems> items;
    QStringList calls;
};

TEST_F(prefsAdvancedPane, ResetAsksFirstThenRunsEachVariantsStepsInOrder) {
    const QString post = QStringLiteral("post TalvorASMPrefsUdpateNotification");
    struct Case {
        Variant variant;
        qint64 dockFlag;
        bool answer;
        QStringList expected;
    };
    const QStringList storeSteps = {"floatingClocks", "timeSettings", "breakSettings",
                                    "calendarPictureDefaults", "calendarPictureRedisplay"};
    const QStringList fullSteps = {"floatingClocks",
                                   "timeSettings",
                                   "breakSettings",
                                   "calendarWindowSettings",
                                   "calendarWindowController",
                                   "calendarPictureDefaults",
                                   "calendarPictureRedisplay",
                                   "dateSettings",
                                   "floatingWindowFrame"};
    const Case cases[] = {
        {Variant::WithUpdates, 0, true, QStringList{"confirm"} + fullSteps},
        {Variant::Store, 0, true, QStringList{"confirm"} + storeSteps},
        // The hidden icon comes back first: stored, announced, applied.
        {Variant::WithUpdates, 1, true,
         QStringList{"confirm", "appDockIcon"} + fullSteps + QStringList{post}},
        {Variant::Store, 1, true,
         QStringList{"confirm", "appDockIcon"} + storeSteps + QStringList{post}},
        {Variant::WithUpdates, 1, false, {"confirm"}},
        {Variant::Store, 0, false, {"confirm"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << int(c.variant) << " dock " << c.dockFlag << " answer " << c.answer);
        domain.store().setValue(QStringLiteral("AppDockIconFlag"), QVariant(c.dockFlag));
        auto pane = makePane(c.variant, c.answer);
        EXPECT_EQ(pane->dockIconCheckbox()->isChecked(), c.dockFlag != 0);
        takeCalls();
        pane->resetButton()->click();
        EXPECT_EQ(takeCalls(), c.expected);
        // Refused: the flag is as it was; accepted: the icon is back.
        const qint64 after = c.answer ? 0 : c.dockFlag;
        EXPECT_EQ(domain.store().value(QStringLiteral("AppDockIconFlag")).toLongLong(), after);
        EXPECT_EQ(pane->dockIconCheckbox()->isChecked(), after != 0);
    }
}

TEST_F(prefsAdvancedPane,
       TheStandardResetForgetsTheFloatingWindowPlaceAndCalendarSettingsOnlyInTheFullVariant) {
    const QString frame = QStringLiteral("NSWindow Frame Talvor TimeFloat Window");
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    for (Variant variant : {Variant::Store, Variant::WithUpdates}) {
        defaults.setObject(QStringLiteral("10 10 200 80 0 0 1920 1080"), frame);
        defaults.setObject(QStringLiteral("/tmp/picture.png"), QStringLiteral("CalImgURL"));
        defaults.setInteger(640, QStringLiteral("CalImgWidth"));
        defaults.setInteger(3, QStringLiteral("CalendarWinLayer"));
        TalvorCalPrefsSettings::sharedInstance().loadPrefs();
        ResetAllSteps standard = ResetAllSteps::standard(delegate);
        // Only the steps whose keys this test reads.
        ResetAllSteps only;
        only.calendarPictureDefaults = standard.calendarPictureDefaults;
        only.floatingWindowFrame = standard.floatingWindowFrame;
        only.calendarWindowSettings = standard.calendarWindowSettings;
        AdvancedPrefVC pane(QStringLiteral("AdvancedPrefVC"), delegate, variant, only);
        pane.resetAllPreferences();
        EXPECT_EQ(defaults.objectForKey(frame).isValid(), variant == Variant::Store);
        // The calendar window's own settings go back to their defaults in the full variant.
        EXPECT_EQ(defaults.integerForKey(QStringLiteral("CalendarWinLayer")),
                  variant == Variant::Store ? 3 : 1);
        EXPECT_FALSE(defaults.objectForKey(QStringLiteral("CalImgURL")).isValid());
        EXPECT_EQ(defaults.integerForKey(QStringLiteral("CalImgWidth")), 0);
        EXPECT_FALSE(defaults.boolForKey(QStringLiteral("ShowDefaultCalBGImg")));
    }
}

TEST_F(prefsAdvancedPane, TheDockBoxStoresAnnouncesAndApplies) {
    auto pane = makePane(Variant::WithUpdates);
    takeCalls();
    pane->dockIconCheckbox()->click();
    EXPECT_EQ(domain.store().value(QStringLiteral("AppDockIconFlag")).toLongLong(), 1);
    EXPECT_EQ(takeCalls(), QStringList({"appDockIcon", "post TalvorASMPrefsUdpateNotification"}));
    pane->dockIconCheckbox()->click();
    EXPECT_EQ(domain.store().value(QStringLiteral("AppDockIconFlag")).toLongLong(), 0);
}

// The sharing box shows the stored choice (never chosen: on), loading writes nothing, and a
// click is stored at once, where the kits read it.
TEST_F(prefsAdvancedPane, TheSharingBoxShowsTheStoredChoiceAndStoresAClickAtOnce) {
    const QString key = QStringLiteral("ShareDataWithService");
    struct Case {
        const char* what;
        QVariant stored;
        bool shown;
    };
    const Case cases[] = {
        {"never chosen", QVariant(), true},
        {"switched on", QVariant(true), true},
        {"switched off", QVariant(false), false},
        {"0 written by hand", QVariant(0), false},
    };
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.stored.isValid()) {
            defaults.setObject(c.stored, key);
        } else {
            defaults.removeObjectForKey(key);
        }
        auto pane = makePane(Variant::WithUpdates);
        QCheckBox* box = pane->shareDataCheckbox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->isChecked(), c.shown);
        EXPECT_EQ(defaults.objectForKey(key), c.stored) << "loading writes nothing";
        box->click();
        EXPECT_EQ(defaults.objectForKey(key), QVariant(!c.shown));
        box->click();
        EXPECT_EQ(defaults.objectForKey(key), QVariant(c.shown));
        EXPECT_TRUE(takeCalls().isEmpty()) << "nothing else is told";
    }
}

TEST_F(prefsAdvancedPane, StartAtLoginBoxFollowsAndDrivesTheAutostartEntry) {
    auto pane = makePane(Variant::WithUpdates);
    QCheckBox* box = pane->startAtLoginCheckbox();
    EXPECT_FALSE(box->isChecked());
    box->click();
    EXPECT_TRUE(items->isEnabled());
    EXPECT_TRUE(QFile::exists(LoginItems::entryPath()));
    EXPECT_TRUE(platform::UserDefaults::standard().boolForKey(QStringLiteral("StartAtLogin")));
    box->click();
    EXPECT_FALSE(items->isEnabled());
    EXPECT_FALSE(QFile::exists(LoginItems::entryPath()));

    // Changed outside the program: the box follows (the pane listens from its opening on).
    LoginItems elsewhere(program);
    ASSERT_TRUE(elsewhere.setEnabled(true));
    EXPECT_TRUE(QTest::qWaitFor([&] { return box->isChecked(); }, 5000));
    ASSERT_TRUE(QFile::remove(LoginItems::entryPath()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !box->isChecked(); }, 5000));

    // An entry made before the pane opens shows at once.
    ASSERT_TRUE(elsewhere.setEnabled(true));
    auto reopened = makePane(Variant::Store);
    EXPECT_TRUE(reopened->startAtLoginCheckbox()->isChecked());
}

TEST_F(prefsAdvancedPane, UpdateButtonOnlyInTheFullVariantAndOffWithoutAChannel) {
    auto full = makePane(Variant::WithUpdates);
    ASSERT_NE(full->updateButton(), nullptr);
    EXPECT_FALSE(full->updateButton()->isEnabled());
    EXPECT_TRUE(full->updateStatus()->text().contains(QStringLiteral("No updates channel")));
    // Why it is off, and what turns it on, where the user looks: under the button.
    EXPECT_TRUE(full->updateStatus()->text().contains(QStringLiteral("\"SUFeedURL\"")));
    EXPECT_TRUE(full->updateStatus()->isVisibleTo(full->view()));
    auto store = makePane(Variant::Store);
    EXPECT_EQ(store->updateButton(), nullptr);
    EXPECT_EQ(store->view()->findChild<QPushButton*>(QStringLiteral("bCheckForUpdates")), nullptr);
}

// "?" opens the manual at this pane's own section, not at its contents.
TEST_F(prefsAdvancedPane, TheHelpButtonOpensThePanesPage) {
    const test::ScopedBuiltManual manual;
    auto pane = makePane(Variant::WithUpdates);
    calls.clear();
    pane->view()->findChild<QPushButton*>(QStringLiteral("helpButton"))->click();
    EXPECT_EQ(calls, QStringList{test::ScopedBuiltManual::page(QStringLiteral("pane-general"))});
}

TEST_F(prefsAdvancedPane, ANamedFeedTurnsTheButtonOnAndANewerVersionIsOffered) {
    platform::UserDefaults::standard().setObject(
        QStringLiteral("https://updates.example.invalid/appcast.xml"), QStringLiteral("SUFeedURL"));
    auto pane = makePane(Variant::WithUpdates);
    EXPECT_TRUE(pane->updateButton()->isEnabled());
    EXPECT_TRUE(pane->updateStatus()->text().isEmpty());
    std::vector<QString> offered;
    pane->offerUpdate = [&](QWidget*, const AppcastItem& offer) { offered.push_back(offer.notes); };
    AppcastItem item;
    item.version = item.shortVersion = QStringLiteral("9.1");
    item.notes = QStringLiteral("Faster");
    pane->showUpdateResult(
        {UpdateCheck::Outcome::UpToDate, std::nullopt, QStringLiteral("newest")});
    EXPECT_TRUE(offered.empty());
    EXPECT_EQ(pane->updateStatus()->text(), QStringLiteral("newest"));
    pane->showUpdateResult(
        {UpdateCheck::Outcome::NewerVersion, item, QStringLiteral("9.1 is out")});
    EXPECT_EQ(offered, std::vector<QString>{QStringLiteral("Faster")});
    EXPECT_EQ(pane->updateStatus()->text(), QStringLiteral("9.1 is out"));
    EXPECT_TRUE(pane->updateButton()->isEnabled());
}

TEST_F(prefsAdvancedPane, WelcomeAndTutorialButtonsOpenTheirWindows) {
    auto pane = makePane(Variant::Store);
    takeCalls();
    pane->view()->findChild<QPushButton*>(QStringLiteral("btnOnboarding"))->click();
    EXPECT_EQ(takeCalls(), QStringList({"showBoardingScreen"}));
    pane->view()->findChild<QPushButton*>(QStringLiteral("btnTutorial"))->click();
    ASSERT_NE(pane->tutorial(), nullptr);
    EXPECT_TRUE(pane->tutorial()->window()->isVisible());
    EXPECT_EQ(pane->tutorial()->currentPage(), 0);
}

}  // namespace
}  // namespace talvor
