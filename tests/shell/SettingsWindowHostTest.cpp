#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorFilePaths.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"
#include "prefs/GlobalSchedulerViewController.h"
#include "services/AppleInterfaceStyle.h"
#include "shell/SettingsWindowHost.h"
#include "support/FakeClock.h"
#include "support/FakeSystemEvents.h"
#include "support/LightAppearance.h"
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"
#include "widgets/DVButton.h"
#include "widgets/NamedColors.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace talvor {

// A tag by its stored number, as "lastUsedPrefTag" holds it.
std::ostream& operator<<(std::ostream& os, PaneTag tag) {
    return os << static_cast<int>(tag);
}

namespace {

using B = SidebarButton;

QColor grey(int level) {
    return QColor::fromRgbF(level / 255.0f, level / 255.0f, level / 255.0f);
}

struct Recorded {
    QStringList calls;
    QList<AlarmEditor*> alarmEditors;
    QList<QUrl> opened;
};

class RecordingDelegate : public SettingsWindowHostDelegate {
  public:
    explicit RecordingDelegate(Recorded& r) : r_(r) {}
    void SetAlarmPrefSetControllerDelegate(AlarmEditor* c) override { r_.alarmEditors << c; }
    QWidget* minnowCalendarWindow() override { return minnow; }
    void openURL(const QUrl& url) override { r_.opened << url; }
    QWidget* minnow = nullptr;

  private:
    Recorded& r_;
};

// A pane that answers `saveViewSettings`, writing what happens to a shared journal.
class JournalPane : public PreferencePane {
  public:
    JournalPane(QString className, QString nibName, QStringList& journal, QSize size)
        : PreferencePane(std::move(className), std::move(nibName), QStringLiteral("Journal")),
          journal_(journal),
          size_(size) {
        journal_ << QStringLiteral("made %1").arg(id());
    }
    ~JournalPane() override { journal_ << QStringLiteral("gone %1").arg(id()); }
    bool respondsToSaveViewSettings() const override { return true; }
    void saveViewSettings() override { journal_ << QStringLiteral("save %1").arg(id()); }

  protected:
    std::unique_ptr<QWidget> loadView() override {
        auto view = std::make_unique<QWidget>();
        view->resize(size_);
        return view;
    }

  private:
    QString id() const { return QString::number(reinterpret_cast<quintptr>(this) % 100000); }
    QStringList& journal_;
    QSize size_;
};

// A journal pane that also notes when the window shows it and when it leaves the screen.
class ShowingPane : public JournalPane {
  public:
    ShowingPane(QString className, QString nibName, QStringList& journal)
        : JournalPane(std::move(className), std::move(nibName), journal, QSize(100, 100)),
          journal_(journal) {}
    void viewDidShow() override { journal_ << QStringLiteral("shown"); }
    void viewWillHide() override { journal_ << QStringLiteral("hiding"); }

  private:
    QStringList& journal_;
};

// The window over an in-memory preference domain, fake appearance and position services.
class SettingsWindow : public ::testing::Test {
  protected:
    SettingsWindow() : defaults(domain.store()) {
        platform::UserDefaults::setStandard(&defaults);
        platform::Clock::setShared(&clock);
        // A pane's timers run on this test's clock, never on a scheduler that outlives it.
        platform::Scheduler::setShared(&scheduler);
        appearance = test::installLightAppearance();
        QCoreApplication::setApplicationName(QStringLiteral("Talvor Pro"));
        QCoreApplication::setApplicationVersion(QStringLiteral("9.8.7"));
    }
    ~SettingsWindow() override {
        host.reset();
        QCoreApplication::setApplicationName(programName);
        QCoreApplication::setApplicationVersion(programVersion);
        AppearanceService::setShared(nullptr);
        platform::Scheduler::setShared(nullptr);
        platform::Clock::setShared(nullptr);
        platform::UserDefaults::setStandard(nullptr);
    }

    PaneFactory panes() {
        SwitchLightDarkDelegate lightDark;
        lightDark.UpdateMenu = [](int) {};
        lightDark.makeLocationManager = [] {
            return std::make_unique<test::FakeLocationService>();
        };
        return PaneFactory::standard(lightDark);
    }
    SettingsWindowHost& open(PaneFactory factory) {
        host = std::make_unique<SettingsWindowHost>(delegate, std::move(factory));
        return *host;
    }
    SettingsWindowHost& open() { return open(panes()); }

    // The window's title with a pane shown: its title, then the program and its version.
    static QString titled(const QString& pane) {
        return QStringLiteral("Talvor Settings: ") + pane +
               QStringLiteral(" \u2014 Talvor Pro 9.8.7");
    }
    QVariant storedTag() const { return defaults.objectForKey(QStringLiteral("lastUsedPrefTag")); }
    // The buttons painted otherwise than `others`.
    QList<B> paintedApart(const QColor& others) const {
        QList<B> apart;
        for (int i = 0; i < kSidebarButtonCount; ++i) {
            if (host->button(B(i))->backgroundColor() != others) {
                apart << B(i);
            }
        }
        return apart;
    }
    int shownInArea() const {
        return host->placeHolderView()
            ->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)
            .size();
    }

    const QString programName = QCoreApplication::applicationName();
    const QString programVersion = QCoreApplication::applicationVersion();
    test::XdgSandbox sandbox;
    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    platform::UserDefaults defaults;
    test::FakeClock clock{Date::fromReference(0), QTimeZone::utc()};
    test::ManualScheduler scheduler{clock};
    std::unique_ptr<AppearanceService> appearance;
    Recorded recorded;
    RecordingDelegate delegate{recorded};
    QStringList journal;  // outlives the panes that write to it
    std::unique_ptr<SettingsWindowHost> host;
};

// Every choice of the window's own table: the pane it names is shown under its title, the
// button it names is lit, and a row whose pane is not made keeps the window's title.
using shellSettingsWindow = SettingsWindow;

TEST_F(shellSettingsWindow, EachTagShowsItsPaneUnderItsTitle) {
    SettingsWindowHost& w = open();
    ASSERT_FALSE(SettingsWindowHost::paneRows().empty());
    for (const SettingsPaneRow& row : SettingsWindowHost::paneRows()) {
        SCOPED_TRACE(row.tag);
        EXPECT_EQ(SettingsWindowHost::paneRow(row.tag), &row);
        w.doOnMain(PaneTag::timeMenu);  // a pane and a title to start from
        const QString titleBefore = w.window()->windowTitle();
        w.doOnMain(row.tag);
        EXPECT_EQ(storedTag(), QVariant(qint64(row.tag)));
        EXPECT_TRUE(w.window()->isVisible());
        EXPECT_EQ(paintedApart(grey(225)), row.selected ? QList<B>{*row.selected} : QList<B>{});
        if (row.selected) {
            EXPECT_EQ(w.button(*row.selected)->backgroundColor(), grey(238));
        }
        // A row names a pane the factory may not make (yet): then nothing new is shown.
        if (w.viewCtrl() == nullptr) {
            EXPECT_EQ(w.viewCtrl(), nullptr);
            EXPECT_EQ(w.currentView(), nullptr);
            EXPECT_EQ(shownInArea(), 0);
            EXPECT_EQ(w.window()->windowTitle(), titleBefore);
            continue;
        }
        EXPECT_EQ(w.returnViewControllerName(), QString::fromLatin1(row.className));
        EXPECT_EQ(w.viewCtrl()->nibName(), QString::fromLatin1(row.nibName));
        EXPECT_EQ(w.window()->windowTitle(), titled(QString::fromUtf8(row.title)));
        EXPECT_EQ(w.currentView(), w.viewCtrl()->view());
        EXPECT_EQ(shownInArea(), 1);
    }
}

// Every sidebar button leads to a row of the table, and no two rows light the same button.
TEST_F(shellSettingsWindow, EverySidebarButtonHasOneRow) {
    QList<B> lit;
    for (const SettingsPaneRow& row : SettingsWindowHost::paneRows()) {
        if (row.selected) {
            EXPECT_FALSE(lit.contains(*row.selected)) << row.tag;
            lit.append(*row.selected);
        }
    }
    EXPECT_EQ(lit.size(), kSidebarButtonCount);
}

TEST_F(shellSettingsWindow, TagsWithoutARowKeepThePaneShownButAreRemembered) {
    SettingsWindowHost& w = open();
    w.doOnMain(PaneTag::about);
    PreferencePane* about = w.viewCtrl();
    for (int number : {0, 9, 15, 19, 23, -2, 30}) {
        const auto tag = static_cast<PaneTag>(number);
        w.doOnMain(tag);
        EXPECT_EQ(w.viewCtrl(), about) << tag;
        EXPECT_EQ(w.window()->windowTitle(), titled(QStringLiteral("About")));
        EXPECT_EQ(storedTag(), QVariant(qint64(tag)));
        EXPECT_EQ(paintedApart(grey(225)), QList<B>{}) << tag;
    }
}

TEST_F(shellSettingsWindow, ReplacedPaneSavesFirstAndLeavesTheArea) {
    PaneFactory factory = panes();
    factory.add(QStringLiteral("TalvorTimeViewController"), [&](const QString& nib) {
        return std::make_unique<JournalPane>(QStringLiteral("TalvorTimeViewController"), nib,
                                             journal, QSize(300, 200));
    });
    SettingsWindowHost& w = open(std::move(factory));
    w.doOnMain(PaneTag::timeMenu);
    const QString first = journal.value(0).mid(5);
    QPointer<QWidget> firstView = w.currentView();

    w.doOnMain(PaneTag::timeMenu);  // the same pane again: a fresh one in its place
    const QString second = journal.value(2).mid(5);
    EXPECT_EQ(journal,
              QStringList({"made " + first, "save " + first, "made " + second, "gone " + first}));
    EXPECT_TRUE(firstView.isNull());
    EXPECT_EQ(shownInArea(), 1);

    journal.clear();
    w.doOnMain(PaneTag::menuItems);  // a pane that does not save
    EXPECT_EQ(journal, QStringList({"save " + second, "gone " + second}));
    w.doOnMain(PaneTag::aboutView);  // no class: nothing to ask
    EXPECT_EQ(journal.size(), 2);
    EXPECT_EQ(shownInArea(), 0);
}

TEST_F(shellSettingsWindow, PaneHangsFromTheTopAndIsNeverNarrowerThanTheArea) {
    PaneFactory factory = panes();
    for (const auto& [name, size] : {std::pair{"TalvorTimeViewController", QSize(200, 150)},
                                     std::pair{"TalvorDateViewController", QSize(900, 700)}}) {
        const QString className = QString::fromLatin1(name);
        const QSize paneSize = size;  // clang 14 cannot capture a structured binding
        factory.add(className, [this, className, paneSize](const QString& nib) {
            return std::make_unique<JournalPane>(className, nib, journal, paneSize);
        });
    }
    SettingsWindowHost& w = open(std::move(factory));

    w.doOnMain(PaneTag::timeMenu);
    const QSize area = w.paneArea()->viewport()->size();
    ASSERT_GT(area.height(), 150);
    EXPECT_EQ(w.currentView()->geometry(), QRect(QPoint(0, 0), area)) << "a short pane fills";
    EXPECT_EQ(w.placeHolderView()->size(), area);

    // A larger window enlarges the pane with it.
    w.window()->resize(w.window()->width() + 120, w.window()->height() + 40);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.paneArea()->viewport()->width(), area.width() + 120);
    EXPECT_EQ(w.currentView()->geometry(), QRect(0, 0, area.width() + 120, area.height() + 40));

    w.doOnMain(PaneTag::dateMenu);
    EXPECT_EQ(w.currentView()->geometry(), QRect(0, 0, 900, 700));
    EXPECT_EQ(w.placeHolderView()->size(), QSize(900, 700)) << "all of it can be scrolled to";
}

// Every pane with a version and help row keeps it at the foot of the pane area, so that it
// does not jump as the sidebar is walked.
TEST_F(shellSettingsWindow, TheVersionRowSitsAtTheSameHeightOnEveryPane) {
    SettingsWindowHost& w = open();
    w.window()->resize(1100, 1000);  // every pane fits: none scrolls
    QMap<int, int> fromBottom;       // tag -> distance of the row from the area's foot
    for (const SettingsPaneRow& row : SettingsWindowHost::paneRows()) {
        w.doOnMain(row.tag);
        QCoreApplication::processEvents();
        if (w.currentView() == nullptr) {
            continue;
        }
        QWidget* version = nullptr;
        for (const char* name : {"versionButton", "btnHelpVersionNo"}) {
            if (version == nullptr) {
                version = w.currentView()->findChild<QWidget*>(QString::fromLatin1(name));
            }
        }
        if (version == nullptr) {
            continue;
        }
        QWidget* viewport = w.paneArea()->viewport();
        ASSERT_LE(w.currentView()->height(), viewport->height()) << row.tag << " scrolls";
        const QPoint foot = version->mapTo(viewport, QPoint(0, version->height()));
        fromBottom.insert(static_cast<int>(row.tag), viewport->height() - foot.y());
    }
    ASSERT_GE(fromBottom.size(), 4);
    const auto [low, high] = std::minmax_element(fromBottom.begin(), fromBottom.end());
    EXPECT_LE(*high - *low, 4) << ::testing::PrintToString(fromBottom.toStdMap());
}

TEST_F(shellSettingsWindow, RemembersTheLastChoiceAcrossWindows) {
    SettingsWindowHost& first = open();
    first.showPrefs();  // nothing stored: the first pane with controls
    EXPECT_EQ(first.returnViewControllerName(), QStringLiteral("AdvancedPrefVC"));
    EXPECT_EQ(first.window()->windowTitle(), titled(QStringLiteral("General")));
    EXPECT_EQ(paintedApart(grey(226)), QList<B>{B::btnAdvanced});
    EXPECT_FALSE(storedTag().isValid()) << "opening alone stores nothing";

    first.doOnMain(PaneTag::about);
    const int syncs = domain.store().synchronizeCount();
    EXPECT_GT(syncs, 0) << "the choice is written at once";

    SettingsWindowHost& second = open();
    second.showPrefs();
    EXPECT_EQ(second.returnViewControllerName(), QStringLiteral("TalvorPrefsMenuExtra"));
    EXPECT_EQ(second.window()->windowTitle(), titled(QStringLiteral("About")));
    EXPECT_EQ(paintedApart(grey(225)), QList<B>{B::btnAbout});

    defaults.setInteger(0, QStringLiteral("lastUsedPrefTag"));
    SettingsWindowHost& third = open();
    third.showPrefs();
    EXPECT_EQ(third.returnViewControllerName(), QStringLiteral("AdvancedPrefVC"));
}

// A first opening skips the panes that only say they are coming, whichever come first; the
// row it lights is the pane it shows.
TEST_F(shellSettingsWindow, FirstOpeningShowsTheFirstPaneWithControls) {
    PaneFactory factory = panes();
    ASSERT_FALSE(factory.isPlaceholder(QStringLiteral("TalvorMenuViewController")));
    // The General pane comes first in the sidebar: while it only says it is coming, the
    // first opening passes over it (and the Feedback pane below it).
    const auto general = [this](const QString& nib) -> std::unique_ptr<PreferencePane> {
        return std::make_unique<JournalPane>(QStringLiteral("AdvancedPrefVC"), nib, journal,
                                             QSize(100, 100));
    };
    {
        PaneFactory noted = panes();
        noted.add(QStringLiteral("AdvancedPrefVC"), general, /*placeholder=*/true);
        noted.add(QStringLiteral("FeedbakReviewUpdateVC"), general, /*placeholder=*/true);
        SettingsWindowHost& first = open(std::move(noted));
        first.showPrefs();
        EXPECT_NE(first.returnViewControllerName(), QStringLiteral("AdvancedPrefVC"));
        EXPECT_NE(first.returnViewControllerName(), QStringLiteral("FeedbakReviewUpdateVC"));
        host.reset();
        defaults.removeObjectForKey(QStringLiteral("lastUsedPrefTag"));
    }
    factory.add(QStringLiteral("AdvancedPrefVC"), general);
    SettingsWindowHost& w = open(std::move(factory));
    w.showPrefs();
    EXPECT_EQ(w.returnViewControllerName(), QStringLiteral("AdvancedPrefVC"));
    EXPECT_EQ(paintedApart(grey(226)), QList<B>{B::btnAdvanced});
    EXPECT_EQ(w.window()->windowTitle(), titled(QStringLiteral("General")));
}

// The title names the program and its version, with no pane shown yet and with each pane.
TEST_F(shellSettingsWindow, TheTitleNamesTheProgramAndItsVersion) {
    SettingsWindowHost& w = open();
    EXPECT_EQ(w.window()->windowTitle(), QStringLiteral("Talvor Settings \u2014 Talvor Pro 9.8.7"));
    w.doOnMain(PaneTag::about);
    EXPECT_EQ(w.window()->windowTitle(),
              QStringLiteral("Talvor Settings: About \u2014 Talvor Pro 9.8.7"));
}

// "Add Location..." opens the Menu Items pane whatever was chosen last, and its row is lit.
TEST_F(shellSettingsWindow, EditingLocationsLightsTheMenuItemsRow) {
    for (qint64 stored : {qint64(0), qint64(1), qint64(2), qint64(4), qint64(12)}) {
        SCOPED_TRACE(stored);
        if (stored != 0) {
            defaults.setInteger(stored, QStringLiteral("lastUsedPrefTag"));
        } else {
            defaults.removeObjectForKey(QStringLiteral("lastUsedPrefTag"));
        }
        SettingsWindowHost& w = open();
        w.showLocationsPrefs();
        EXPECT_TRUE(w.window()->isVisible());
        EXPECT_EQ(w.returnViewControllerName(), QStringLiteral("TalvorMenuViewController"));
        EXPECT_EQ(w.window()->windowTitle(), titled(QStringLiteral("Menu Items")));
        EXPECT_EQ(paintedApart(grey(225)), QList<B>{B::btnMenuItems});
        EXPECT_EQ(shownInArea(), 1);
    }
}

TEST_F(shellSettingsWindow, SidebarClickChoosesAndDarkAppearancePaintsItsOwnColours) {
    SettingsWindowHost& w = open();
    w.button(B::btnChimesMenu)->click();
    EXPECT_EQ(w.returnViewControllerName(), QStringLiteral("TalvorPrefsChimesView"));
    EXPECT_EQ(w.button(B::btnChimesMenu)->backgroundColor(), grey(238));

    defaults.setGlobalValue(QStringLiteral("AppleInterfaceStyle"), QStringLiteral("Dark"));
    w.button(B::btnDateMenu)->click();
    EXPECT_EQ(w.button(B::btnDateMenu)->backgroundColor(), NamedColors::lightGrayColor());
    EXPECT_EQ(paintedApart(QColor(Qt::transparent)), QList<B>{B::btnDateMenu});

    // The shortcuts keep the light colours.
    w.showTake5Prefrences();
    EXPECT_EQ(w.button(B::btnAlarm)->backgroundColor(), grey(238));
    EXPECT_EQ(paintedApart(grey(225)), QList<B>{B::btnAlarm});
}

TEST_F(shellSettingsWindow, ChangeSettingsChoosesFromTheEventLoop) {
    SettingsWindowHost& w = open();
    w.changeSettings(PaneTag::chimes);
    EXPECT_EQ(w.viewCtrl(), nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.returnViewControllerName(), QStringLiteral("TalvorPrefsChimesView"));
}

TEST_F(shellSettingsWindow, ShortcutsOpenTheirPaneWithoutBeingRemembered) {
    struct Case {
        void (SettingsWindowHost::*shortcut)();
        const char* className;
        const char* title;
        B selected;
        int others;
    };
    const Case cases[] = {
        {&SettingsWindowHost::showFeedbackPrefs, "FeedbakReviewUpdateVC", "Feedback",
         B::btnFeedback, 226},
        {&SettingsWindowHost::showMenubarCalendarPrefs, "MenuCalendarPrefs", "Menubar Calendar",
         B::btnMenuCalendar, 226},
        {&SettingsWindowHost::showMinnowCalendarPrefs, "TCalendarPrefs", "Minnow",
         B::btnMinnowCalendar, 225},
        {&SettingsWindowHost::showCountDownTimer, "CountDownTimerViewController", "Countdown Timer",
         B::btnCountDown, 225},
        {&SettingsWindowHost::showAppMenuPreferences, "TalvorASMViewCtrl", "Applications Menu",
         B::btnASM, 225},
        {&SettingsWindowHost::showGlobalScheduler, "GlobalSchedulerViewController",
         "Global Scheduler Preferences", B::btnGlobalScheduler, 225},
        {&SettingsWindowHost::showTake5Prefrences, "TalvorTake5WindowsController", "Take 5",
         B::btnAlarm, 225},
        {&SettingsWindowHost::showLightDarkModePrefrences, "SwitchLightDarkVC", "Light/Dark Mode",
         B::btnSwitchLightDark, 225},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.className);
        SettingsWindowHost& w = open();
        (w.*c.shortcut)();
        EXPECT_TRUE(w.window()->isVisible());
        EXPECT_EQ(w.returnViewControllerName(), QString::fromLatin1(c.className));
        EXPECT_EQ(w.window()->windowTitle(), titled(QString::fromUtf8(c.title)));
        EXPECT_EQ(paintedApart(grey(c.others)), QList<B>{c.selected});
        EXPECT_FALSE(storedTag().isValid());
    }
}

TEST_F(shellSettingsWindow, ToggleShortcutsCloseWhatTheyOpened) {
    struct Case {
        void (SettingsWindowHost::*shortcut)();
        qint64 storedTag;  // 0: none
        bool openAfterSecond;
    };
    // A remembered choice of another pane clears the date-difference and create-alarm
    // flags on the way, so the second call opens again; the count-down flag survives.
    const Case cases[] = {
        {&SettingsWindowHost::showCountDownTimer, 0, false},
        {&SettingsWindowHost::showCountDownTimer, 4, false},
        {&SettingsWindowHost::showDateDifferenceCalculator, 0, false},
        {&SettingsWindowHost::showDateDifferenceCalculator, 20, false},
        {&SettingsWindowHost::showDateDifferenceCalculator, 4, true},
        {&SettingsWindowHost::showCreateAlarm, 0, false},
        {&SettingsWindowHost::showCreateAlarm, 4, true},
        {&SettingsWindowHost::showGlobalScheduler, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.storedTag);
        if (c.storedTag != 0) {
            defaults.setInteger(c.storedTag, QStringLiteral("lastUsedPrefTag"));
        } else {
            defaults.removeObjectForKey(QStringLiteral("lastUsedPrefTag"));
        }
        SettingsWindowHost& w = open();
        (w.*c.shortcut)();
        EXPECT_TRUE(w.window()->isVisible());
        (w.*c.shortcut)();
        EXPECT_EQ(w.window()->isVisible(), c.openAfterSecond);
    }
}

// The count-down shortcut closes the window only while its own pane is what the window
// shows: after another pane was chosen, from the sidebar or another shortcut, it opens again.
TEST_F(shellSettingsWindow, CountDownShortcutOpensAgainAfterAnotherPaneWasChosen) {
    const std::function<void(SettingsWindowHost&)> others[] = {
        [](SettingsWindowHost& w) { w.doOnMain(PaneTag::menuItems); },
        [](SettingsWindowHost& w) { w.button(B::btnChimesMenu)->click(); },
        [](SettingsWindowHost& w) { w.showFeedbackPrefs(); },
        [](SettingsWindowHost& w) { w.showTake5Prefrences(); },
    };
    for (size_t i = 0; i < std::size(others); ++i) {
        SCOPED_TRACE(i);
        SettingsWindowHost& w = open();
        w.showCountDownTimer();
        others[i](w);
        w.showCountDownTimer();
        EXPECT_TRUE(w.window()->isVisible());
        EXPECT_EQ(w.returnViewControllerName(), QStringLiteral("CountDownTimerViewController"));
        EXPECT_EQ(w.window()->windowTitle(), titled(QStringLiteral("Countdown Timer")));
        w.showCountDownTimer();
        EXPECT_FALSE(w.window()->isVisible()) << "the second call in a row still closes";
    }
}

// No title ends in blanks or in a colon with nothing after it.
TEST_F(shellSettingsWindow, WindowTitlesAreNeverEmptyOrPadded) {
    SettingsWindowHost& w = open();
    const auto check = [&w] {
        const QString title = w.window()->windowTitle();
        EXPECT_EQ(title, title.trimmed());
        EXPECT_FALSE(title.endsWith(QLatin1Char(':'))) << title.toStdString();
        EXPECT_TRUE(title.startsWith(QStringLiteral("Talvor Settings"))) << title.toStdString();
    };
    for (const SettingsPaneRow& row : SettingsWindowHost::paneRows()) {
        SCOPED_TRACE(row.tag);
        w.doOnMain(row.tag);
        check();
    }
    for (auto shortcut :
         {&SettingsWindowHost::showTake5Prefrences, &SettingsWindowHost::showMinnowCalendarPrefs,
          &SettingsWindowHost::showCountDownTimer, &SettingsWindowHost::showGlobalScheduler}) {
        w.window()->close();
        (w.*shortcut)();
        check();
    }
    // A caller that names no title: the pane's own name stands in.
    w.loadPrefsView(QStringLiteral("TalvorTake5WindowsController"),
                    QStringLiteral("TalvorTake5WindowsController"), QString());
    EXPECT_EQ(w.window()->windowTitle(), titled(QStringLiteral("Take 5")));
}

// The desktop's keys work in the window: Ctrl+Q quits the application, Ctrl+W closes.
TEST_F(shellSettingsWindow, CtrlQQuitsAndCtrlWCloses) {
    SettingsWindowHost& w = open();
    int quits = 0;
    w.setQuitAction([&quits] { ++quits; });
    w.doOnMain(PaneTag::menuItems);
    w.window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window()));
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : w.window();
    QTest::keyClick(target, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(w.window()->isVisible()) << "the application's quit closes what it must";
    QTest::keyClick(target, Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(w.window()->isVisible());
    EXPECT_EQ(quits, 1);
}

TEST_F(shellSettingsWindow, ClosingTheWindowClearsTheShortcutFlagsAndKeepsThePane) {
    SettingsWindowHost& w = open();
    w.showCountDownTimer();
    w.IsShowDateDiff = w.IsShowCreateAlarm = w.IsShowGlobalScheduler = true;
    PreferencePane* pane = w.viewCtrl();
    w.window()->close();
    EXPECT_FALSE(w.window()->isVisible());
    EXPECT_FALSE(w.IsShowDateDiff || w.IsShowCreateAlarm || w.IsShowGlobalScheduler ||
                 w.IsShowCountDown);
    EXPECT_EQ(w.viewCtrl(), pane);
    w.showCountDownTimer();
    EXPECT_TRUE(w.window()->isVisible()) << "a closed window opens again";
}

TEST_F(shellSettingsWindow, CreateAlarmPaneBecomesTheAlarmEditor) {
    SettingsWindowHost& w = open();
    w.doOnMain(PaneTag::createAlarm);
    EXPECT_TRUE(w.IsShowCreateAlarm);
    EXPECT_EQ(recorded.alarmEditors, QList<AlarmEditor*>{w.viewCtrl()->alarmEditor()});
    w.doOnMain(PaneTag::dateDifference);
    EXPECT_TRUE(w.IsShowDateDiff);
    EXPECT_FALSE(w.IsShowCreateAlarm);
    EXPECT_EQ(recorded.alarmEditors.size(), 1);
}

TEST_F(shellSettingsWindow, WebAddressOpensInTheBrowserAndSaysSo) {
    SettingsWindowHost& w = open();
    w.doOnMain(PaneTag::timeMenu);
    w.loadPrefsView(QStringLiteral("https://example.org/help"), std::nullopt,
                    QStringLiteral("Help"));
    EXPECT_EQ(recorded.opened, QList<QUrl>{QUrl(QStringLiteral("https://example.org/help"))});
    auto* said = qobject_cast<QLabel*>(w.currentView());
    ASSERT_NE(said, nullptr);
    EXPECT_EQ(said->text(), QStringLiteral("Opened 'Help' in default browser."));
    EXPECT_EQ(said->toolTip(), QStringLiteral("https://example.org/help"));
    EXPECT_EQ(shownInArea(), 1);

    w.loadPrefsView(QStringLiteral("file:///tmp/a%20b.txt"), std::nullopt, QString());
    EXPECT_EQ(recorded.opened.last(), QUrl::fromLocalFile(QStringLiteral("/tmp/a b.txt")));
    EXPECT_EQ(w.currentView(), nullptr);
    EXPECT_EQ(shownInArea(), 0);

    w.doOnMain(PaneTag::menuItems);
    EXPECT_EQ(shownInArea(), 1);
}

TEST_F(shellSettingsWindow, ShutDownSavesTheOpenPane) {
    PaneFactory factory = panes();
    factory.add(QStringLiteral("AdvancedPrefVC"), [&](const QString& nib) {
        return std::make_unique<JournalPane>(QStringLiteral("AdvancedPrefVC"), nib, journal,
                                             QSize(100, 100));
    });
    SettingsWindowHost& w = open(std::move(factory));
    w.saveOpenPane();  // nothing open yet
    w.doOnMain(PaneTag::general);
    w.saveOpenPane();
    EXPECT_EQ(journal.filter(QStringLiteral("save")).size(), 1);
}

TEST_F(shellSettingsWindow, CloseMinnowCalendarHidesItsWindowOnly) {
    SettingsWindowHost& w = open();
    w.closeMinnowCalendar();  // no calendar window: nothing to do
    QWidget minnow;
    delegate.minnow = &minnow;
    minnow.show();
    w.closeMinnowCalendar();
    EXPECT_FALSE(minnow.isVisible());
}

TEST_F(shellSettingsWindow, PaneHearsWhenItIsShownAgainAndWhenItLeaves) {
    PaneFactory factory = panes();
    factory.add(QStringLiteral("AdvancedPrefVC"), [&](const QString& nib) {
        return std::make_unique<ShowingPane>(QStringLiteral("AdvancedPrefVC"), nib, journal);
    });
    // Without the prefix of the pane's address.
    const auto events = [this] {
        QStringList words;
        for (const QString& line : std::exchange(journal, {})) {
            words << line.section(QLatin1Char(' '), 0, 0);
        }
        return words;
    };
    SettingsWindowHost& w = open(std::move(factory));
    w.doOnMain(PaneTag::general);
    EXPECT_EQ(events(), QStringList({"made", "shown"}));

    // The window comes back to the front: the pane shows what others stored meanwhile.
    QApplication::setActiveWindow(nullptr);
    QApplication::setActiveWindow(w.window());
    EXPECT_EQ(events(), QStringList({"shown"}));

    w.window()->close();
    EXPECT_EQ(events(), QStringList({"hiding"}));
    w.showPrefs();  // the remembered pane, made afresh
    EXPECT_EQ(events(), QStringList({"save", "made", "gone", "shown"}))
        << "the closed window's pane heard it once";

    w.doOnMain(PaneTag::timeMenu);  // another pane takes its place: told before it saves and goes
    EXPECT_EQ(events(), QStringList({"hiding", "save", "gone"}));
}

// The meeting planner in the real window at the size the window opens with on a 1280x800
// and on an 800x600 screen (each below the 24-pixel strip), and made larger: the hour grid
// is wholly in sight without scrolling, and every hour column is inside the grid and wide
// enough for its number (no "..."). At the window's smallest the pane scrolls, and each
// hour can be scrolled wholly into sight, still whole.
TEST_F(shellSettingsWindow, ThePlannersHourGridFitsTheWindowItOpensIn) {
    const auto place = [](const char* name, const char* zone) {
        return QVariant(QVariantMap{{QStringLiteral("CityName"), QString::fromUtf8(name)},
                                    {QStringLiteral("FilePath"), QString::fromLatin1(zone)}});
    };
    ASSERT_TRUE(TalvorFilePaths::TalvorSaveSchedulerTable(
        {QVariantMap{{QStringLiteral("CityName"), QStringLiteral("Local Time")},
                     {QStringLiteral("FilePath"), QStringLiteral("empty")},
                     {QStringLiteral("ActualCityName"), QStringLiteral("False")}},
         place("New_York", "America/New_York"), place("Kathmandu", "Asia/Kathmandu"),
         place("Port Moresby", "Pacific/Port_Moresby"),
         place("Santa Cruz de Tenerife", "Atlantic/Canary")}));
    PaneFactory factory;
    factory.add(QStringLiteral("GlobalSchedulerViewController"), [](const QString& nibName) {
        PaneDelegate d;
        d.makeLocationManager = [] { return std::make_unique<test::FakeLocationService>(); };
        return std::make_unique<GlobalSchedulerViewController>(nibName, d);
    });
    SettingsWindowHost& w = open(std::move(factory));
    QWidget* window = w.window();
    w.doOnMain(PaneTag::globalScheduler);
    w.showPrefs();
    auto* grid = window->findChild<QTableWidget*>(QStringLiteral("plannerGrid"));
    ASSERT_NE(grid, nullptr);
    ASSERT_EQ(grid->rowCount(), 5);
    QHeaderView* hours = grid->horizontalHeader();
    QWidget* port = w.paneArea()->viewport();

    // Why an hour is not shown whole at the area's current scroll position; empty when it is.
    const auto cutHour = [&](int h) -> std::string {
        const QRect head(hours->mapTo(port, QPoint(hours->sectionViewportPosition(h), 0)),
                         QSize(hours->sectionSize(h), hours->height()));
        if (!port->rect().contains(head)) {
            return "its heading is not wholly in the pane area";
        }
        if (!grid->viewport()->rect().contains(
                QRect(grid->columnViewportPosition(h), 0, grid->columnWidth(h), 1))) {
            return "its column runs past the grid";
        }
        // What the cells' delegate asks for the column.
        const int cells = static_cast<QAbstractItemView*>(grid)->sizeHintForColumn(h);
        const int needed = std::max({hours->sectionSizeHint(h), cells,
                                     hours->fontMetrics().horizontalAdvance(QString::number(h))});
        if (grid->columnWidth(h) < needed) {
            return "its column is " + std::to_string(grid->columnWidth(h)) + " wide, needs " +
                   std::to_string(needed);
        }
        return {};
    };

    struct Size {
        const char* what;
        QSize size;
    };
    const Size sizes[] = {
        {"opened on 1280x800", SettingsWindowHost::openingSize(QSize(1280, 800 - 24))},
        {"opened on 800x600", SettingsWindowHost::openingSize(QSize(800, 600 - 24))},
        {"made larger", QSize(1100, 820)},
    };
    for (const Size& s : sizes) {
        SCOPED_TRACE(s.what);
        window->resize(s.size);
        QCoreApplication::processEvents();
        ASSERT_EQ(window->size(), s.size);
        EXPECT_EQ(w.paneArea()->horizontalScrollBar()->value(), 0);
        EXPECT_EQ(w.paneArea()->verticalScrollBar()->value(), 0);
        EXPECT_TRUE(port->rect().contains(QRect(grid->mapTo(port, QPoint()), grid->size())))
            << "the grid is cut off at the window's size";
        for (int h = 0; h < 24; ++h) {
            EXPECT_EQ(cutHour(h), "") << "hour " << h;
        }
    }

    // With a meeting, its end columns fit beside the start's, at the size the window opens with.
    window->resize(sizes[1].size);
    auto* meeting = window->findChild<QAbstractButton*>(QStringLiteral("scheduleMeeting"));
    ASSERT_NE(meeting, nullptr);
    meeting->click();
    QCoreApplication::processEvents();
    auto* rows = window->findChild<QTableWidget*>(QStringLiteral("selTimeZoneTbl"));
    ASSERT_NE(rows, nullptr);
    for (int c = 0; c < rows->columnCount(); ++c) {
        EXPECT_FALSE(rows->isColumnHidden(c)) << "column " << c;
        EXPECT_TRUE(rows->viewport()->rect().contains(
            QRect(rows->columnViewportPosition(c), 0, rows->columnWidth(c), 1)))
            << "column " << c << " needs scrolling";
    }

    window->resize(window->minimumSize());
    QCoreApplication::processEvents();
    for (int h = 0; h < 24; ++h) {
        const QRect head(
            hours->mapTo(w.paneArea()->widget(), QPoint(hours->sectionViewportPosition(h), 0)),
            QSize(hours->sectionSize(h), hours->height()));
        w.paneArea()->ensureVisible(head.right(), head.bottom(), 1, 1);
        w.paneArea()->ensureVisible(head.left(), head.top(), 1, 1);
        EXPECT_EQ(cutHour(h), "") << "hour " << h << " at the smallest size, scrolled to";
    }
}

// The window on an 800x600 screen below the 24-pixel strip: it opens within the room left,
// gets no smaller than its minimum, and every control of every pane and of the sidebar can
// be scrolled into sight there.
TEST_F(shellSettingsWindow, FitsASmallScreenAndEveryControlCanBeScrolledTo) {
    SettingsWindowHost& w = open();
    QWidget* window = w.window();
    const QSize room = QSize(800, 600 - 24) - SettingsWindowHost::kFrameAllowance;
    const QSize least = window->minimumSize().expandedTo(window->minimumSizeHint());
    EXPECT_LE(least.width(), room.width());
    EXPECT_LE(least.height(), room.height());
    EXPECT_NE(window->minimumSize(), window->maximumSize()) << "resizable";

    w.showPrefs();
    ASSERT_NE(window->screen(), nullptr);
    const QSize screenRoom =
        window->screen()->availableGeometry().size() - SettingsWindowHost::kFrameAllowance;
    EXPECT_LE(window->width(), screenRoom.width());
    EXPECT_LE(window->height(), screenRoom.height());

    window->resize(least);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), least);

    // The scroll bars reach all of the area's content, and a control that fits in the area
    // can be brought wholly into sight.
    const auto reachable = [](QScrollArea& area, QWidget& control) {
        const QSize content = area.widget()->size();
        const QSize port = area.viewport()->size();
        if (area.horizontalScrollBar()->maximum() < content.width() - port.width() ||
            area.verticalScrollBar()->maximum() < content.height() - port.height()) {
            return false;
        }
        if (!QRect(QPoint(), content)
                 .contains(QRect(control.mapTo(area.widget(), QPoint()), control.size()))) {
            return false;
        }
        if (control.width() > port.width() || control.height() > port.height()) {
            return true;
        }
        area.ensureWidgetVisible(&control, 0, 0);
        // For a text field that brings only its cursor into sight: its far corner, then its
        // near one (the control fits, so both stay in sight).
        const QRect inContent(control.mapTo(area.widget(), QPoint()), control.size());
        area.ensureVisible(inContent.right(), inContent.bottom(), 1, 1);
        area.ensureVisible(inContent.left(), inContent.top(), 0, 0);
        return area.viewport()->rect().contains(
            QRect(control.mapTo(area.viewport(), QPoint()), control.size()));
    };
    for (int i = 0; i < kSidebarButtonCount; ++i) {
        DVButton* b = w.button(B(i));
        if (b->isVisibleTo(window)) {
            EXPECT_TRUE(reachable(*w.sidebarArea(), *b)) << b->text().toStdString();
        }
    }

    for (const SettingsPaneRow& row : SettingsWindowHost::paneRows()) {
        if (!row.selected || !w.button(*row.selected)->isVisibleTo(window)) {
            continue;
        }
        SCOPED_TRACE(row.className);
        w.doOnMain(row.tag);
        QCoreApplication::processEvents();
        QWidget* view = w.currentView();
        ASSERT_NE(view, nullptr);
        // Not cut off: the pane has all the room its layout asks for, and the scrolled
        // content holds all of the pane.
        EXPECT_GE(view->width(), view->minimumSizeHint().width());
        EXPECT_GE(view->height(), view->minimumSizeHint().height());
        EXPECT_TRUE(QRect(QPoint(), w.placeHolderView()->size()).contains(view->geometry()));
        int controls = 0;
        for (QWidget* c : view->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(c) || qobject_cast<QComboBox*>(c) ||
                                 qobject_cast<QLabel*>(c) || qobject_cast<QLineEdit*>(c) ||
                                 qobject_cast<QAbstractSlider*>(c);
            if (!control || !c->isVisibleTo(view)) {
                continue;
            }
            ++controls;
            EXPECT_TRUE(view->rect().contains(QRect(c->mapTo(view, QPoint()), c->size())))
                << c->objectName().toStdString() << " lies outside its pane";
            EXPECT_TRUE(reachable(*w.paneArea(), *c)) << c->objectName().toStdString();
        }
        EXPECT_GT(controls, 0);
    }
}

// At the size the window opens with, no pane scrolls sideways and none is squeezed below
// what its layout asks, also after a pane swaps what it shows (the menu-bar calendar's two
// kinds).
TEST_F(shellSettingsWindow, AtItsOpeningSizeNoPaneScrollsSidewaysOrIsSqueezed) {
    SettingsWindowHost& w = open();
    QWidget* window = w.window();
    w.showPrefs();
    ASSERT_NE(window->screen(), nullptr);
    // The offscreen screen is 800 pixels wide: the window opens a little narrower there.
    ASSERT_EQ(window->size(),
              SettingsWindowHost::openingSize(window->screen()->availableGeometry().size()));
    const auto fits = [&w](const char* what) {
        QCoreApplication::processEvents();
        QWidget* view = w.currentView();
        ASSERT_NE(view, nullptr) << what;
        EXPECT_FALSE(w.paneArea()->horizontalScrollBar()->isVisible()) << what;
        EXPECT_GE(view->width(), view->minimumSizeHint().width()) << what;
        EXPECT_GE(view->height(), view->minimumSizeHint().height()) << what;
    };
    for (const SettingsPaneRow& row : SettingsWindowHost::paneRows()) {
        if (!row.selected || !w.button(*row.selected)->isVisibleTo(window)) {
            continue;
        }
        w.doOnMain(row.tag);
        fits(row.className);
        for (const char* kind : {"radioBigCal", "radioMinnow"}) {
            if (auto* choice = w.currentView()->findChild<QAbstractButton*>(kind)) {
                choice->click();
                fits(kind);
            }
        }
    }
}

}  // namespace
}  // namespace talvor
