#include "platform/Clock.h"
#include "prefs/BoardingWinController.h"
#include "prefs/PaneFactory.h"
#include "prefs/SwitchLightDarkPane.h"
#include "prefs/TCalendarPrefs.h"
#include "prefs/TalvorCalendarPrefs.h"
#include "services/AppleInterfaceStyle.h"
#include "support/FakeClock.h"
#include "support/FakeSystemEvents.h"
#include "support/LightAppearance.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace talvor {
namespace {

// Each pane class with the title its settings window shows.
struct PaneCase {
    const char* className;
    const char* title;
};
const PaneCase kPanes[] = {
    {"TalvorTimeViewController", "Time Menu"},
    {"TalvorPrefsFloatingViewCtrl", "Floating Clocks"},
    {"TalvorCalendarPrefs", "MiniCal/Event/To Do"},
    {"TalvorMenuViewController", "Menu Items"},
    {"TalvorPrefsChimesView", "Chimes"},
    {"TalvorSetTimeZoneViewCtrl", "Set TimeZone"},
    {"TalvorASMViewCtrl", "Applications Menu"},
    {"TalvorPrefsMenuExtra", "About"},
    {"DateDiffPrefCalculator", "Date Difference"},
    {"FeedbakReviewUpdateVC", "Feedback"},
    {"MenuCalendarPrefs", "Menubar Calendar"},
    {"AdvancedPrefVC", "General"},
    {"TalvorDateViewController", "Date Menu"},
    {"TCalendarPrefs", "Minnow"},
    {"TalvorTake5WindowsController", "Take 5"},
    {"CountDownTimerViewController", "Countdown Timer"},
    {"AlarmSetController", "Create Alarm"},
    {"TalvorAlarmViewController", "Alarms"},
    {"GlobalSchedulerViewController", "Global Scheduler"},
    {"SwitchLightDarkVC", "Light/Dark Mode"},
    {"TalvorTodoViewController", "To Do"},
};

// The light/dark pane reads the appearance and the clock; both are fakes here.
class PrefsPanes : public ::testing::Test {
  protected:
    PrefsPanes() {
        platform::Clock::setShared(&clock);
        service = test::installLightAppearance();
    }
    ~PrefsPanes() override {
        AppearanceService::setShared(nullptr);
        platform::Clock::setShared(nullptr);
    }
    static SwitchLightDarkDelegate quietLightDark() {
        SwitchLightDarkDelegate d;
        d.UpdateMenu = [](int) {};
        d.makeLocationManager = [] { return std::make_unique<test::FakeLocationService>(); };
        return d;
    }

    test::XdgSandbox sandbox;
    test::FakeClock clock{Date::fromReference(0), QTimeZone::utc()};
    std::unique_ptr<AppearanceService> service;
};

using prefsPrefsPanes = PrefsPanes;

TEST_F(prefsPrefsPanes, EveryClassIsMadeForTheNibItIsGivenWithItsTitle) {
    const PaneFactory factory = PaneFactory::standard(quietLightDark());
    QStringList expected;
    for (const PaneCase& c : kPanes) {
        SCOPED_TRACE(c.className);
        expected << QString::fromLatin1(c.className);
        const auto pane = factory.make(QString::fromLatin1(c.className), QStringLiteral("SomeNib"));
        ASSERT_NE(pane, nullptr);
        EXPECT_EQ(pane->className(), QString::fromLatin1(c.className));
        EXPECT_EQ(pane->nibName(), QStringLiteral("SomeNib"));
        EXPECT_EQ(pane->title(), QString::fromUtf8(c.title));
        // The panes that keep settings of the time and date items save them when left.
        const QStringList saving = {QStringLiteral("TalvorMenuViewController"),
                                    QStringLiteral("TalvorTimeViewController"),
                                    QStringLiteral("TalvorDateViewController")};
        EXPECT_EQ(pane->respondsToSaveViewSettings(),
                  saving.contains(QString::fromLatin1(c.className)));
        EXPECT_EQ(pane->viewIfLoaded(), nullptr) << "the view waits for its first use";
        QWidget* view = pane->view();
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(pane->view(), view) << "built once";
        EXPECT_FALSE(view->size().isEmpty());
    }
    expected.sort();
    EXPECT_EQ(factory.classNames(), expected) << "no pane beyond the settings window's";
}

TEST_F(prefsPrefsPanes, UnknownClassMakesNothing) {
    const PaneFactory factory = PaneFactory::standard(quietLightDark());
    for (const char* name : {"TalvorAboutViewController", "TalvorAlarmSetup",
                             "TalvorStockViewController", "TalvorTakeABreakViewController", ""}) {
        EXPECT_EQ(factory.make(QString::fromLatin1(name), QStringLiteral("x")), nullptr) << name;
    }
}

// A pane whose controls have not come yet.
class PlaceholderPane : public NotedPane {
  public:
    explicit PlaceholderPane(QString nibName)
        : NotedPane(QStringLiteral("PlaceholderPane"), std::move(nibName),
                    QStringLiteral("Minnow")) {}
};

TEST_F(prefsPrefsPanes, PaneWithoutControlsShowsItsTitleAndANote) {
    PlaceholderPane pane(QStringLiteral("TCalendarPrefs"));
    QStringList texts;
    for (const QLabel* label : pane.view()->findChildren<QLabel*>()) {
        texts << label->text();
    }
    EXPECT_EQ(texts, QStringList({QStringLiteral("Minnow"), NotedPane::noteText()}));
}

TEST_F(prefsPrefsPanes, ViewGoesWithItsPaneEvenWhenShownElsewhere) {
    QWidget area;
    QPointer<QWidget> view;
    {
        PlaceholderPane pane(QStringLiteral("TCalendarPrefs"));
        view = pane.view();
        view->setParent(&area);
    }
    EXPECT_TRUE(view.isNull());
    EXPECT_TRUE(area.findChildren<QWidget*>().isEmpty());
}

TEST_F(prefsPrefsPanes, LightDarkPaneIsTheServicesRoomsPane) {
    int menuCode = 0;
    SwitchLightDarkDelegate d = quietLightDark();
    d.UpdateMenu = [&](int code) { menuCode = code; };
    SwitchLightDarkPane pane(QStringLiteral("SwitchLightDarkVC"), d);
    EXPECT_EQ(pane.controller(), nullptr);
    pane.view();
    ASSERT_NE(pane.controller(), nullptr);
    pane.controller()->showLightDarkModeMenu(Qt::Checked);
    EXPECT_EQ(menuCode, 11) << "the pane talks to the application through the given delegate";
}

TEST_F(prefsPrefsPanes, WelcomeWindowClosesWithItsContinueButton) {
    std::unique_ptr<BoardingWinController> boarding = BoardingWinController::init({});
    ASSERT_NE(boarding, nullptr);
    QWidget* window = boarding->window();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->windowTitle().isEmpty());
    boarding->showWindow();
    EXPECT_TRUE(window->isVisible());
    boarding->pageControlDidSelectPageAtIndex(BoardingWinController::kPages - 1);
    boarding->continueBtn()->click();
    EXPECT_FALSE(window->isVisible());
}

// Without a window manager there is no title bar: the window's own button and Escape close
// it from any page.
TEST_F(prefsPrefsPanes, WelcomeWindowClosesWithEscapeOrItsCloseButtonFromAnyPage) {
    for (const bool escape : {true, false}) {
        std::unique_ptr<BoardingWinController> boarding = BoardingWinController::init({});
        ASSERT_NE(boarding, nullptr);
        QWidget* window = boarding->window();
        boarding->showWindow();
        boarding->pageControlDidSelectPageAtIndex(1);
        ASSERT_TRUE(window->isVisible());
        EXPECT_TRUE(boarding->closeBtn()->isVisibleTo(window));
        if (escape) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(window->focusWidget() ? window->focusWidget() : window, &press);
        } else {
            boarding->closeBtn()->click();
        }
        EXPECT_FALSE(window->isVisible()) << (escape ? "Escape" : "the close button");
    }
}

}  // namespace
}  // namespace talvor
