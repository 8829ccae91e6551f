#include "ShellTestSupport.h"

#include "calendar/AppleCal.h"
#include "calendar/CalEvent.h"
#include "calendar/CalendarBackEnd.h"
#include "calendar/GCalender.h"
#include "calendarui/CalWindow.h"
#include "calendarui/CalendarWindow.h"
#include "calendarui/CreateEventController.h"
#include "calendarui/DeleteEventController.h"
#include "calendarui/EditEventController.h"
#include "calendarui/ztCalendarController.h"
#include "platform/NotificationCenter.h"
#include "services/HotKey.h"
#include "shell/CalendarWindows.h"
#include "shell/SettingsWindowHost.h"
#include "support/FakeCalendarStore.h"
#include "support/FakeScreens.h"
#include "support/FakeSecretStore.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace talvor {
namespace {

const QRectF kDateItem(800, 0, 90, 24);

// Start-up installs the back ends; the Google one is made when first asked for, and neither
// then nor before reads the keyring (a call over the session bus the first frame must not
// wait on).
TEST(shellUserCalendars, GoogleIsMadeOnFirstUseAndTheKeyringIsNotReadAtStart) {
    test::XdgSandbox sandbox;
    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    platform::UserDefaults defaults{domain.store()};
    platform::UserDefaults::setStandard(&defaults);
    test::FakeSecretStore keyring;
    test::FakeCalendarStore unused;
    AppleCal apple{&unused};
    AppleCal::setSharedInterface(&apple);

    installUserCalendars(defaults);
    EXPECT_EQ(CalendarBackEnds::installed(CalendarBackEnds::Kind::Apple), &apple);
    defaults.setObject(QStringLiteral("Google"), QStringLiteral("SelectedCalendar"));
    EXPECT_EQ(keyring.loads, 0);
    CalendarBackEnd* google = CalendarBackEnds::selected(defaults);
    EXPECT_EQ(google, &GCalender::sharedInterface());
    EXPECT_EQ(GCalender::installed(), &GCalender::sharedInterface());
    EXPECT_EQ(keyring.loads, 0) << "made, not yet asked";

    CalendarBackEnds::install(CalendarBackEnds::Kind::Google, nullptr);
    CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, nullptr);
    platform::CalendarStore::setShared(nullptr);
    platform::CalendarStore::setConsentPrompt(nullptr);
    AppleCal::setSharedInterface(nullptr);
    platform::UserDefaults::setStandard(nullptr);
}

class NoMoon : public ztCalendarMenuExtra {
  public:
    QImage mooonImage(Date) override { return QImage(); }
    QString addNextMoons(const std::optional<QString>&, Date) override { return QString(); }
    void showMenubarCalendarPrefs() override {}
};

// The shell's calendar commands over controllers of the test's own, with the date item
// shown at kDateItem on a 1280 x 800 screen.
class shellCalendarWindows : public ::testing::Test, protected test::ShellFixture {
  protected:
    shellCalendarWindows() {
        MinnowCalendarController::setSharedInstance(&mini);
        ztCalendarController::setSharedInstance(&big);
        items.updateMenuBarItems();
        items.TalvorDate()->setWindowFrame(kDateItem);
    }
    ~shellCalendarWindows() override {
        ztCalendarController::setSharedInstance(nullptr);
        MinnowCalendarController::setSharedInstance(nullptr);
    }

    void choose(const QVariant& choice) {
        if (choice.isValid()) {
            defaults.setObject(choice, QStringLiteral("SelectedMenuCalendar"));
        } else {
            defaults.removeObjectForKey(QStringLiteral("SelectedMenuCalendar"));
        }
    }
    bool miniShown() const { return mini.window()->isVisible(); }
    bool bigShown() const { return big.window()->isVisible(); }

    test::FakeScreens screens;
    MinnowCalendarController mini{clock, defaults, screens};
    ztCalendarController big{clock, defaults, screens};
    StatusItemsController items{delegate, *time, *date, bar, defaults, clock};
    NoMoon moon;
    CalendarWindows windows{items, moon, defaults, screens};
    HotKey toggleKey{QStringLiteral("ToggleHotKey")};
    HotKey centerKey{QStringLiteral("CenterHotKey")};
};

TEST_F(shellCalendarWindows, ShowCalTwiceShowsThenHidesTheChosenCalendar) {
    struct Case {
        const char* name;
        QVariant choice;
        bool bigCalendar;
    };
    const Case cases[] = {
        {"nothing chosen", QVariant(), false},    {"Minnow", QStringLiteral("Minnow"), false},
        {"empty text", QString(), false},         {"case matters", QStringLiteral("bigcal"), false},
        {"a number", QVariant(qint64(1)), false}, {"BigCal", QStringLiteral("BigCal"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        choose(c.choice);
        windows.setDateStatusItemRect(QRectF());
        windows.showCal();
        EXPECT_EQ(windows.dateStatusItemRect(), kDateItem);
        EXPECT_EQ(miniShown(), !c.bigCalendar);
        EXPECT_EQ(bigShown(), c.bigCalendar);
        QWidget* shown = c.bigCalendar ? big.window() : mini.window();
        EXPECT_EQ(shown->pos(), QPoint(800, 24)) << "hangs under the date item";

        windows.showCal(nullptr);
        EXPECT_FALSE(miniShown());
        EXPECT_FALSE(bigShown());
    }
    EXPECT_EQ(windows.calCtrlWindow(), &big);
    auto* bigWindow = static_cast<CalendarWindow*>(big.window());
    EXPECT_FALSE(bigWindow->backgroundPicture().isNull());
}

TEST_F(shellCalendarWindows, TheMiniCalendarNeverMakesTheBigOne) {
    windows.showCal();
    windows.updatedCalendar();
    EXPECT_EQ(windows.calCtrlWindow(), nullptr);
    EXPECT_EQ(big.menuExtra(), nullptr);
}

TEST_F(shellCalendarWindows, ChoosingTheOtherCalendarReplacesTheOpenOne) {
    windows.showCal();
    ASSERT_TRUE(miniShown());

    choose(QStringLiteral("BigCal"));
    windows.updatedCalendar();
    EXPECT_FALSE(miniShown());
    EXPECT_TRUE(bigShown());
    EXPECT_EQ(big.menuExtra(), &moon);

    choose(QStringLiteral("Minnow"));
    windows.updatedCalendar();
    EXPECT_TRUE(miniShown());
    EXPECT_FALSE(bigShown());
}

TEST_F(shellCalendarWindows, UpdatedCalendarActsOnlyOnAVisibleCalendar) {
    for (const char* choice : {"Minnow", "BigCal"}) {
        SCOPED_TRACE(choice);
        choose(QString::fromLatin1(choice));
        windows.updatedCalendar();
        EXPECT_FALSE(miniShown());
        EXPECT_FALSE(bigShown());
    }
    // A visible calendar of the kind still chosen is put away.
    windows.showCal();
    ASSERT_TRUE(bigShown());
    windows.updatedCalendar();
    EXPECT_FALSE(bigShown());
}

TEST_F(shellCalendarWindows, EscapeClosesTheMiniCalendarThroughTheDelegate) {
    windows.showCal();
    ASSERT_TRUE(miniShown());
    EXPECT_EQ(mini.delegate(), &windows);
    QTest::keyClick(mini.window(), Qt::Key_Escape);
    EXPECT_FALSE(miniShown());
    windows.closeMinnowCalendar();
    EXPECT_FALSE(miniShown()) << "closing a closed calendar changes nothing";
}

// The settings window over the mini calendar, as the calendar's settings button opens it.
class SettingsOverTheCalendar : public SettingsWindowHostDelegate {
  public:
    explicit SettingsOverTheCalendar(QWidget* minnow) : minnow_(minnow) {}
    void SetAlarmPrefSetControllerDelegate(AlarmEditor*) override {}
    QWidget* minnowCalendarWindow() override { return minnow_; }
    void openURL(const QUrl&) override {}

  private:
    QWidget* minnow_;
};

TEST_F(shellCalendarWindows, EscapeInTheSettingsWindowClosesTheOpenMiniCalendarFirst) {
    windows.showCal();
    ASSERT_TRUE(miniShown());
    SettingsOverTheCalendar settingsDelegate(mini.window());
    SettingsWindowHost settings(settingsDelegate, PaneFactory());
    settings.showPrefs();
    QWidget* window = settings.window();
    ASSERT_TRUE(window->isVisible());
    QWidget* keyboard = window->focusWidget() != nullptr ? window->focusWidget() : window;

    QTest::keyClick(keyboard, Qt::Key_Escape);
    EXPECT_FALSE(miniShown()) << "the drop-down takes Escape first, as an open menu does";
    EXPECT_TRUE(window->isVisible());

    // With the calendar closed, an Escape is the settings window's own again.
    windows.showCal();
    ASSERT_TRUE(miniShown());
    QTest::keyClick(keyboard, Qt::Key_A);
    EXPECT_TRUE(miniShown()) << "only Escape closes it";
    settings.window()->hide();
}

TEST_F(shellCalendarWindows, TheMiniCalendarsButtonsOpenTheEventSheets) {
    // One calendar on this computer, so that there is somewhere to put a new event.
    test::FakeCalendarStore store;
    store.calendarList = {{"home", "Home", platform::StoreCalendar::Type::Local, QColor(), true}};
    AppleCal local(&store);
    AppleCal::setSharedInterface(&local);
    CreateEventController sheet(defaults);
    DeleteEventController question;
    CreateEventController::setController(&sheet);
    DeleteEventController::setController(&question);
    CalWindow* window = mini.calWindow();
    EXPECT_TRUE(window->quickAddButton()->isHidden()) << "nothing to open before the shell binds";

    windows.showCal();
    QCoreApplication::processEvents();  // the buttons' queued update
    EditEventController* day = window->editEventController();
    EXPECT_TRUE(window->quickAddButton()->isEnabled());
    EXPECT_TRUE(day->newEventButton()->isEnabled());
    EXPECT_FALSE(window->quickAddButton()->isHidden());
    EXPECT_FALSE(day->newEventButton()->isHidden());
    day->newEventButton()->click();
    EXPECT_TRUE(sheet.window()->isVisible());
    window->quickAddButton()->click();
    EXPECT_TRUE(sheet.quickAddWindow()->isVisible());
    EXPECT_FALSE(sheet.window()->isVisible());

    auto event =
        CalEvent::initWithStartTime(clock.now(), 3600, QStringLiteral("Choir"), QString(), nullptr);
    event->setEditLink_(QStringLiteral("home/choir.ics#choir"));
    const std::vector<CalEventDay> events{CalEventDay(clock.now(), event, Calendar::current())};
    day->showDate(QStringLiteral("Today"), {}, &events, false);
    QToolButton* remove = nullptr;
    for (QWidget* row : day->eventViews()) {
        if (auto* view = qobject_cast<EventView*>(row); view && view->deleteButton()) {
            remove = view->deleteButton();
        }
    }
    ASSERT_NE(remove, nullptr);
    remove->click();
    EXPECT_TRUE(question.window()->isVisible());
    EXPECT_EQ(question.currentEvent(), event);

    sheet.quickAddWindow()->close();
    question.cancel();
    DeleteEventController::setController(nullptr);
    CreateEventController::setController(nullptr);
    AppleCal::setSharedInterface(nullptr);
}

TEST_F(shellCalendarWindows, CalendarSettingsReachTheBigCalendar) {
    defaults.setInteger(2, QStringLiteral("FirstDayOfWeek"));
    windows.CalendarPrefsUpdates({QStringLiteral("TalvorCalendarPrefsChangeNotification"), {}, {}});
    EXPECT_EQ(big.monthView()->calSettings().firstDay(), 1) << "Monday";
}

TEST_F(shellCalendarWindows, HotKeysDoNothingWhileTheBigCalendarIsChosen) {
    choose(QStringLiteral("BigCal"));
    windows.hotKeyDown(toggleKey);
    windows.hotKeyDown(centerKey);
    windows.hotKeyUp(centerKey);
    EXPECT_FALSE(miniShown());
    EXPECT_FALSE(bigShown());
}

TEST_F(shellCalendarWindows, TheToggleKeyShowsAndHidesOnPress) {
    windows.hotKeyDown(toggleKey);
    EXPECT_TRUE(miniShown());
    windows.hotKeyUp(toggleKey);
    EXPECT_TRUE(miniShown());
    windows.hotKeyDown(toggleKey);
    EXPECT_FALSE(miniShown());
}

TEST_F(shellCalendarWindows, TheCentreKeyShowsTheCalendarUnderTheMouseWhileHeld) {
    const QSize size = mini.window()->size();
    // The usable area of the 1280 x 800 screen starts under the 24-point bar.
    struct Case {
        const char* name;
        QPointF mouse;
        QPoint expected;
    };
    const Case cases[] = {
        {"middle", {600, 400}, {600, 400}},
        {"near the right edge", {1270, 400}, {1280 - size.width(), 400}},
        {"near the bottom", {600, 795}, {600, 800 - size.height()}},
        {"bottom-right corner", {1279, 799}, {1280 - size.width(), 800 - size.height()}},
        {"near the left and top", {0, 24}, {0, 24}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        screens.mouse = c.mouse;
        windows.hotKeyDown(centerKey);
        EXPECT_TRUE(miniShown());
        EXPECT_EQ(mini.window()->pos(), c.expected);
        EXPECT_FALSE(windows.wasVisible());
        windows.hotKeyUp(centerKey);
        EXPECT_FALSE(miniShown());
    }
}

TEST_F(shellCalendarWindows, TheCentreKeyOnASmallScreenShowsTheTopLeftOfTheCalendar) {
    test::FakeScreens tiny({QRectF(0, 0, 100, 80)});
    CalendarWindows onTiny{items, moon, defaults, tiny};
    tiny.mouse = QPointF(90, 70);
    onTiny.hotKeyDown(centerKey);
    EXPECT_EQ(mini.window()->pos(), QPoint(0, 0));
}

TEST_F(shellCalendarWindows, AfterTheCentreKeyAnOpenCalendarGoesBackUnderTheDateItem) {
    EXPECT_EQ(windows.dateStatusItemRect(), QRectF());
    screens.mouse = QPointF(300, 300);
    windows.hotKeyDown(centerKey);
    EXPECT_EQ(windows.dateStatusItemRect(), kDateItem) << "filled when still unknown";
    windows.hotKeyUp(centerKey);

    windows.showCal();
    windows.hotKeyDown(centerKey);
    windows.hotKeyDown(centerKey);  // the key repeats while held
    EXPECT_EQ(mini.window()->pos(), QPoint(300, 300));
    EXPECT_TRUE(windows.wasVisible());
    windows.hotKeyUp(centerKey);
    EXPECT_TRUE(miniShown());
    EXPECT_EQ(mini.window()->pos(), QPoint(800, 24));

    // A release without its press leaves the calendar alone.
    windows.hotKeyUp(centerKey);
    EXPECT_TRUE(miniShown());
}

}  // namespace
}  // namespace talvor
