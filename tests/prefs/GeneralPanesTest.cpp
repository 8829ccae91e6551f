#include "foundation/PreferenceDomain.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/UserDefaults.h"
#include "prefs/MenuCalendarPrefs.h"
#include "prefs/TCalendarPrefs.h"
#include "prefs/TalvorASMViewCtrl.h"
#include "prefs/TalvorCalendarPrefs.h"
#include "prefs/TalvorPrefsMenuExtra.h"
#include "support/BuiltManual.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace talvor {
namespace {

const QString kAsmUpdate = QStringLiteral("TalvorASMPrefsUdpateNotification");
const QString kCalendarChange = QStringLiteral("TalvorCalendarPrefsChangeNotification");

// A memory domain, a notification centre of this process only and a delegate that records every
// request.
class PaneFixture : public ::testing::Test {
  protected:
    PaneFixture() {
        delegate.updatedCalendar = [this] { calls << QStringLiteral("updatedCalendar"); };
        delegate.setupASMMenu = [this] { calls << QStringLiteral("setupASMMenu"); };
        delegate.applicationChange = [this] { calls << QStringLiteral("applicationChange"); };
        delegate.appDockIcon = [this] { calls << QStringLiteral("appDockIcon"); };
        delegate.openURL = [this](const QUrl& url) { opened << url.toString(); };
        delegate.distributedCenter = &center;
        watch = center.addObserver(QString(), QVariant(),
                                   [this](const platform::Notification& n) { posted << n.name; });
    }

    platform::MemoryPreferenceStore& store() { return domain.store(); }
    QVariant stored(const QString& key) { return store().value(key); }
    // What was posted since the last call.
    QStringList takePosted() {
        center.flush();
        QCoreApplication::sendPostedEvents();
        return std::exchange(posted, {});
    }
    QStringList takeCalls() { return std::exchange(calls, {}); }
    template <class Widget>
    Widget* control(PreferencePane& pane, const char* name) {
        auto* w = pane.view()->findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    // Off the session bus: tests running beside this one post the same names there.
    test::ScopedEnvVar noBus{"DBUS_SESSION_BUS_ADDRESS", QStringLiteral("disabled:")};
    platform::DistributedNotificationCenter center;
    platform::Observation watch;
    PaneDelegate delegate;
    QStringList calls;
    QStringList posted;
    QStringList opened;
};

using AboutPane = PaneFixture;

using prefsAboutPane = AboutPane;

TEST_F(prefsAboutPane, TaskbarBoxFlipsTheStoredFlagAnnouncesAndAppliesIt) {
    // Stored value -> box as shown, then the values two clicks store.
    struct Case {
        QVariant stored;
        bool shown;
        qint64 afterFirst;
        qint64 afterSecond;
    };
    const Case cases[] = {
        {QVariant(), false, 1, 0},
        {QVariant(qint64(0)), false, 1, 0},
        {QVariant(qint64(1)), true, 0, 1},
        {QVariant(qint64(5)), true, 0, 1},  // any non-zero is "out of the taskbar"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored.toString().toStdString());
        store().setValue(QStringLiteral("AppDockIconFlag"), c.stored);
        TalvorPrefsMenuExtra pane(QStringLiteral("PrefsMenuExtras"), delegate);
        auto* box = control<QCheckBox>(pane, "dockIcon");
        EXPECT_EQ(box->isChecked(), c.shown);
        box->click();
        EXPECT_EQ(stored(QStringLiteral("AppDockIconFlag")), QVariant(c.afterFirst));
        EXPECT_EQ(box->isChecked(), c.afterFirst != 0);
        box->click();
        EXPECT_EQ(stored(QStringLiteral("AppDockIconFlag")), QVariant(c.afterSecond));
        EXPECT_EQ(takePosted(), QStringList({kAsmUpdate, kAsmUpdate}));
        EXPECT_EQ(takeCalls(),
                  QStringList({QStringLiteral("appDockIcon"), QStringLiteral("appDockIcon")}));
    }
}

TEST_F(prefsAboutPane, FailedSynchroniseIsLoggedAndTheFlagStaysWritten) {
    TalvorPrefsMenuExtra pane(QStringLiteral("PrefsMenuExtras"), delegate);
    pane.view();
    store().setFailSynchronize(true);
    test::LogCapture log;
    pane.HideShowDockIcon();
    EXPECT_TRUE(log.contains(
        QStringLiteral("About settings: the settings file could not be synchronised")));
    EXPECT_EQ(stored(QStringLiteral("AppDockIconFlag")), QVariant(qint64(1)));
    EXPECT_EQ(pane.flag(), 1);
}

TEST_F(prefsAboutPane, VersionFieldAndCompanyButtonAreTitledAndColoured) {
    const QString oldVersion = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion(QStringLiteral("4.2.1"));
    TalvorPrefsMenuExtra pane(QStringLiteral("PrefsMenuExtras"), delegate);
    EXPECT_EQ(control<QLabel>(pane, "versionField")->text(), QStringLiteral("Version 4.2.1"));
    // The version is said once; the link under it opens the change log.
    EXPECT_EQ(control<QPushButton>(pane, "versionButton")->text(), QStringLiteral("Release Notes"));
    int saying = 0;
    for (const QLabel* label : pane.view()->findChildren<QLabel*>()) {
        saying += label->text().contains(QStringLiteral("4.2.1")) ? 1 : 0;
    }
    for (const QAbstractButton* button : pane.view()->findChildren<QAbstractButton*>()) {
        saying += button->text().contains(QStringLiteral("4.2.1")) ? 1 : 0;
    }
    EXPECT_EQ(saying, 1);
    EXPECT_EQ(pane.versionField()->palette().color(QPalette::WindowText),
              TalvorPrefsMenuExtra::linkColor());
    EXPECT_EQ(pane.companyButton()->palette().color(QPalette::ButtonText),
              TalvorPrefsMenuExtra::linkColor());
    QCoreApplication::setApplicationVersion(oldVersion);
}

// Every grown pane: the help button opens the installed manual at the pane's section, the
// version button the change log.
using prefsPaneFixture = PaneFixture;

TEST_F(prefsPaneFixture, LinkButtonsOpenTheirPages) {
    const test::ScopedBuiltManual manual;
    TalvorPrefsMenuExtra about(QStringLiteral("PrefsMenuExtras"), delegate);
    TalvorASMViewCtrl asmPane(QStringLiteral("PrefASM"), delegate);
    MenuCalendarPrefs calendar(QStringLiteral("MenuCalendarPrefs"), delegate);
    struct Case {
        PreferencePane* pane;
        const char* button;
        QString url;
    };
    const QString changeLog = QStringLiteral("https://larkspindle.com/product/talvor/#changelog");
    const Case cases[] = {
        {&about, "helpButton", manual.page(QStringLiteral("pane-about"))},
        {&about, "versionButton", changeLog},
        {&about, "companyButton", QStringLiteral("https://larkspindle.com/")},
        {&asmPane, "helpButton", manual.page(QStringLiteral("pane-applications-menu"))},
        {&asmPane, "versionButton", changeLog},
        {&calendar, "helpButton", manual.page(QStringLiteral("pane-menubar-calendar"))},
        {&calendar, "versionButton", changeLog},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            (c.pane->className() + QLatin1Char(' ') + QLatin1String(c.button)).toStdString());
        control<QPushButton>(*c.pane, c.button)->click();
        EXPECT_EQ(std::exchange(opened, {}), QStringList(c.url));
    }
    EXPECT_TRUE(takePosted().isEmpty());
    EXPECT_TRUE(calls.isEmpty());
}

using ApplicationsMenuPane = PaneFixture;

using prefsApplicationsMenuPane = ApplicationsMenuPane;

TEST_F(prefsApplicationsMenuPane, EmptyDomainShowsTheDefaults) {
    TalvorASMViewCtrl pane(QStringLiteral("PrefASM"), delegate);
    const std::pair<const char*, bool> shown[] = {
        {"checkboxMenuExtra", false}, {"showIconOnly", false},      {"bSysPrefsMenu", true},
        {"bRecentMenu", true},        {"bCurrentRunningApp", true}, {"bMenuExtraMenu", true},
        {"hideTimingInfo", true},
    };
    for (const auto& [name, on] : shown) {
        EXPECT_EQ(control<QCheckBox>(pane, name)->isChecked(), on) << name;
    }
    EXPECT_EQ(pane.RecentSortFlag, 0);
}

TEST_F(prefsApplicationsMenuPane, EachBoxStoresItsFlagAndTellsWhomItShould) {
    struct Case {
        const char* control;
        const char* key;
        qint64 afterClick;
        QStringList posts;
        QStringList calls;
    };
    const QStringList update{kAsmUpdate};
    const QStringList rebuild{QStringLiteral("applicationChange")};
    const QStringList setup{QStringLiteral("setupASMMenu")};
    const Case cases[] = {
        // The item itself is rebuilt in this process only.
        {"checkboxMenuExtra", "ASMFlag", 1, {}, setup},
        {"showIconOnly", "ASMIconFlag", 1, {}, setup},
        {"bSysPrefsMenu", "PrefsFlag", 0, update, rebuild},
        {"bRecentMenu", "RecentFlag", 0, update, rebuild},
        {"bCurrentRunningApp", "RecentList", 0, update, rebuild},
        {"bMenuExtraMenu", "MenuExtraFlag", 0, update, rebuild},
        {"hideTimingInfo", "PrefsTimingFlag", 0, update, rebuild},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        // The menu's own options can be used while the menu is on.
        store().setValue(QStringLiteral("ASMFlag"), qint64(1));
        store().removeValue(QString::fromLatin1(c.key));
        TalvorASMViewCtrl pane(QStringLiteral("PrefASM"), delegate);
        auto* box = control<QCheckBox>(pane, c.control);
        box->click();
        EXPECT_EQ(stored(QString::fromLatin1(c.key)), QVariant(c.afterClick));
        EXPECT_EQ(box->isChecked(), c.afterClick != 0);
        EXPECT_EQ(takePosted(), c.posts);
        EXPECT_EQ(takeCalls(), c.calls);
        box->click();
        EXPECT_EQ(stored(QString::fromLatin1(c.key)), QVariant(1 - c.afterClick))
            << "a second click returns it";
        takePosted();
        takeCalls();
    }
    // Every write stores the seven flags and leaves the sort order alone.
    for (const TalvorASMViewCtrl::Flag& f : TalvorASMViewCtrl::flags()) {
        EXPECT_EQ(store().contains(f.key), f.written) << f.key.toStdString();
    }
}

// While the menu is off its options can be seen but not changed; turning the menu on
// frees them, turning it off greys them again.
TEST_F(prefsApplicationsMenuPane, TheMenusOptionsAreUsableOnlyWhileTheMenuIsOn) {
    const char* const options[] = {"showIconOnly",  "bCurrentRunningApp", "bRecentMenu",
                                   "bSysPrefsMenu", "bMenuExtraMenu",     "hideTimingInfo"};
    TalvorASMViewCtrl pane(QStringLiteral("PrefASM"), delegate);
    const auto usable = [this, &pane, &options](bool expected) {
        for (const char* name : options) {
            EXPECT_EQ(control<QCheckBox>(pane, name)->isEnabled(), expected) << name;
        }
        EXPECT_TRUE(control<QCheckBox>(pane, "checkboxMenuExtra")->isEnabled());
    };
    usable(false);
    control<QCheckBox>(pane, "checkboxMenuExtra")->click();
    usable(true);
    control<QCheckBox>(pane, "checkboxMenuExtra")->click();
    usable(false);

    store().setValue(QStringLiteral("ASMFlag"), qint64(1));
    TalvorASMViewCtrl on(QStringLiteral("PrefASM"), delegate);
    EXPECT_TRUE(control<QCheckBox>(on, "hideTimingInfo")->isEnabled()) << "as stored";
}

TEST_F(prefsApplicationsMenuPane, ToggleFlipsTheValueInMemoryNotTheBox) {
    store().setValue(QStringLiteral("RecentFlag"), qint64(7));  // read as on
    store().setValue(QStringLiteral("ASMFlag"), qint64(1));
    TalvorASMViewCtrl pane(QStringLiteral("PrefASM"), delegate);
    auto* box = control<QCheckBox>(pane, "bRecentMenu");
    EXPECT_TRUE(box->isChecked());
    box->setChecked(false);  // out of step with the pane, without its action
    box->click();
    EXPECT_EQ(pane.RecentFlag, 0);
    EXPECT_FALSE(box->isChecked()) << "the box shows the flag again";
    EXPECT_EQ(stored(QStringLiteral("RecentFlag")), QVariant(qint64(0)));
}

TEST_F(prefsApplicationsMenuPane, FailedSynchroniseIsLoggedAndKeepsTheValues) {
    TalvorASMViewCtrl pane(QStringLiteral("PrefASM"), delegate);
    store().setFailSynchronize(true);
    test::LogCapture log;
    control<QCheckBox>(pane, "checkboxMenuExtra")->click();
    EXPECT_TRUE(log.contains(
        QStringLiteral("Applications menu settings: the settings file could not be synchronised")));
    EXPECT_TRUE(log.contains(QStringLiteral("asm menu 1")));
    EXPECT_EQ(pane.ASMFlag, 1);
    EXPECT_TRUE(pane.checkbox("checkboxMenuExtra")->isChecked());
}

// Counts the calendar panes it makes and checks the nib each is made for.
class MenuCalendarPane : public PaneFixture {
  protected:
    MenuCalendarPrefs::HostedPanes counting() {
        MenuCalendarPrefs::HostedPanes hosted;
        hosted.mini = [this](const QString& nib) {
            made << nib;
            return std::make_unique<TCalendarPrefs>(nib);
        };
        hosted.big = [this](const QString& nib) {
            made << nib;
            return std::make_unique<TalvorCalendarPrefs>(nib);
        };
        return hosted;
    }
    static QWidget* hostedView(const MenuCalendarPrefs& pane) {
        const QList<QWidget*> shown =
            pane.containerView()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        return shown.size() == 1 ? shown.first() : nullptr;
    }
    QStringList made;
};

using prefsMenuCalendarPane = MenuCalendarPane;

TEST_F(prefsMenuCalendarPane, OpensOnTheStoredChoice) {
    struct Case {
        QVariant stored;
        bool big;
    };
    const Case cases[] = {
        {QVariant(), false},
        {QStringLiteral("Minnow"), false},
        {QStringLiteral("bigcal"), false},
        {QStringLiteral("BigCal"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored.toString().toStdString());
        store().setValue(QStringLiteral("SelectedMenuCalendar"), c.stored);
        MenuCalendarPrefs pane(QStringLiteral("MenuCalendarPrefs"), delegate, counting());
        pane.view();
        EXPECT_EQ(pane.radioBigCal()->isChecked(), c.big);
        EXPECT_EQ(pane.radioMinnow()->isChecked(), !c.big);
        PreferencePane* hosted = c.big ? pane.bigPane() : pane.miniPane();
        ASSERT_NE(hosted, nullptr);
        EXPECT_EQ(hostedView(pane), hosted->viewIfLoaded());
        EXPECT_EQ(std::exchange(made, {}), QStringList(c.big ? QStringLiteral("TalvorCalendarPrefs")
                                                             : QStringLiteral("TCalendarPrefs")));
        EXPECT_EQ(stored(QStringLiteral("SelectedMenuCalendar")), c.stored)
            << "set-up writes nothing";
        EXPECT_TRUE(takePosted().isEmpty());
        EXPECT_TRUE(takeCalls().isEmpty());
    }
}

TEST_F(prefsMenuCalendarPane, ChoosingStoresTheCalendarAndHostsAFreshPane) {
    MenuCalendarPrefs pane(QStringLiteral("MenuCalendarPrefs"), delegate, counting());
    pane.view();
    made.clear();
    const QStringList updated{QStringLiteral("updatedCalendar")};

    pane.radioBigCal()->click();
    EXPECT_EQ(stored(QStringLiteral("NoOfCalendarToShow")), QVariant(qint64(1)));
    EXPECT_EQ(stored(QStringLiteral("SelectedMenuCalendar")), QVariant(QStringLiteral("BigCal")));
    EXPECT_EQ(takePosted(), QStringList(kCalendarChange));
    EXPECT_EQ(takeCalls(), updated);
    EXPECT_EQ(std::exchange(made, {}), QStringList(QStringLiteral("TalvorCalendarPrefs")));
    EXPECT_EQ(hostedView(pane), pane.bigPane()->viewIfLoaded());

    pane.radioMinnow()->click();
    EXPECT_EQ(stored(QStringLiteral("SelectedMenuCalendar")), QVariant(QStringLiteral("Minnow")));
    EXPECT_TRUE(takePosted().isEmpty()) << "only the big calendar's months are announced";
    EXPECT_EQ(takeCalls(), updated);
    EXPECT_EQ(std::exchange(made, {}), QStringList(QStringLiteral("TCalendarPrefs")));
    EXPECT_EQ(hostedView(pane), pane.miniPane()->viewIfLoaded());
    EXPECT_TRUE(pane.radioMinnow()->isChecked());
    EXPECT_FALSE(pane.radioBigCal()->isChecked());

    const PreferencePane* firstBig = pane.bigPane();
    pane.radioBigCal()->click();
    EXPECT_NE(pane.bigPane(), firstBig) << "each choice makes its pane anew";
    takePosted();
    takeCalls();
    made.clear();
}

TEST_F(prefsMenuCalendarPane, PressingTheChosenBigCalendarAgainKeepsItsMonths) {
    store().setValue(QStringLiteral("SelectedMenuCalendar"), QStringLiteral("BigCal"));
    store().setValue(QStringLiteral("NoOfCalendarToShow"), qint64(3));
    MenuCalendarPrefs pane(QStringLiteral("MenuCalendarPrefs"), delegate, counting());
    pane.view();
    made.clear();
    pane.radioBigCal()->click();
    EXPECT_EQ(stored(QStringLiteral("NoOfCalendarToShow")), QVariant(qint64(3)));
    EXPECT_TRUE(takePosted().isEmpty());
    EXPECT_TRUE(takeCalls().isEmpty());
    EXPECT_TRUE(made.isEmpty());
    EXPECT_TRUE(pane.radioBigCal()->isChecked());
}

}  // namespace
}  // namespace talvor
