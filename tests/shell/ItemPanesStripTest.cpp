// The time and date item panes reached through the settings window's sidebar: a change
// there shows in the strip at once, without waiting for the next tick.

#include "calendarui/MinnowCalendarController.h"
#include "calendarui/MinnowStatusView.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/OffscreenStatusBar.h"
#include "prefs/PreferencePane.h"
#include "shell/BreakTimer.h"
#include "shell/CustomDateStatusItem.h"
#include "shell/TimeMenu.h"
#include "support/FakeScreens.h"
#include "support/QtPrinters.h"
#include "support/ShellHarness.h"
#include "widgets/CustomDateStatusItemButton.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>

#include <unicode/locid.h>

#include <gtest/gtest.h>

namespace talvor {
namespace {

Date utc(int y, int mo, int d, int h, int mi, int s) {
    return Date::fromQDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()));
}

class ItemPanesStrip : public ::testing::Test {
  protected:
    ItemPanesStrip() {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en_US"), status);
    }
    ~ItemPanesStrip() override {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(previousLocale, status);
    }
    // The pane behind the sidebar button of `tag`.
    PreferencePane& pane(AppDelegate& app, PaneTag tag) {
        app.settingsWindow().doOnMain(tag);
        PreferencePane* p = app.settingsWindow().viewCtrl();
        EXPECT_NE(p, nullptr);
        EXPECT_NE(p->view(), nullptr);
        return *p;
    }
    template <class W>
    static W* control(PreferencePane& p, const char* name) {
        W* w = p.view()->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static void choose(QComboBox& popup, const QString& pattern) {
        const int index = popup.findData(pattern);
        ASSERT_GE(index, 0) << pattern.toStdString();
        popup.setCurrentIndex(index);
        emit popup.activated(index);
    }
    // The announcements reach the application.
    static void deliver() {
        platform::DistributedNotificationCenter::defaultCenter().flush();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

    icu::Locale previousLocale = icu::Locale::getDefault();
    test::ShellHarness harness{utc(2026, 5, 15, 9, 30, 0)};
};

using shellItemPanesStrip = ItemPanesStrip;

TEST_F(shellItemPanesStrip, ATimeFormatChosenInThePaneShowsAtOnce) {
    AppDelegate& app = harness.launch();
    platform::OffscreenStatusBar offscreen(harness.bar_);
    ASSERT_TRUE(app.statusItems().TalvorTime());
    const QImage before = offscreen.render();
    EXPECT_EQ(app.statusItems().TalvorTime()->title(), QStringLiteral("09:30:00 AM"));

    PreferencePane& time = pane(app, PaneTag::timeMenu);
    choose(*control<QComboBox>(time, "format"), QStringLiteral("HH:mm"));
    deliver();
    EXPECT_EQ(app.statusItems().TalvorTime()->title(), QStringLiteral("09:30"));
    const QImage after = offscreen.render();
    EXPECT_NE(after, before) << "the strip is drawn with the new format";

    PreferencePane& date = pane(app, PaneTag::dateMenu);
    choose(*control<QComboBox>(date, "format"), QStringLiteral("EEEE$*&, $*&d$*&"));
    deliver();
    EXPECT_EQ(app.statusItems().customDateStatusItem()->dateButton()->attributedTitle().string(),
              QStringLiteral("Friday, 15"));
}

TEST_F(shellItemPanesStrip, TheMoonBoxHidesTheMoonAndTheAnalogBoxShowsTheClock) {
    AppDelegate& app = harness.launch();
    ASSERT_FALSE(app.statusItems().customDateStatusItem()->moonImage().isNull());
    PreferencePane& date = pane(app, PaneTag::dateMenu);
    control<QAbstractButton>(date, "showMoon")->click();
    deliver();
    EXPECT_TRUE(app.statusItems().customDateStatusItem()->moonImage().isNull());

    PreferencePane& time = pane(app, PaneTag::timeMenu);
    EXPECT_TRUE(app.statusItems().TalvorTime()->image().isNull());
    control<QAbstractButton>(time, "analogClock")->click();
    deliver();
    EXPECT_FALSE(app.statusItems().TalvorTime()->image().isNull());
    EXPECT_TRUE(control<QAbstractButton>(time, "showTime")->isChecked()) << "shown by default";
    EXPECT_FALSE(app.statusItems().TalvorTime()->title().isEmpty());
    control<QAbstractButton>(time, "showTime")->click();
    deliver();
    EXPECT_EQ(app.statusItems().TalvorTime()->title(), QString()) << "the clock alone";
    EXPECT_FALSE(app.statusItems().TalvorTime()->image().isNull());
    control<QAbstractButton>(time, "enableMenuExtra")->click();
    deliver();
    EXPECT_FALSE(app.statusItems().TalvorTime()) << "the time item is gone";
}

// The "show in menu" boxes of the Take 5 and Countdown Timer pages put their items into the
// time menu and take them out again; the Take 5 enable box starts the break reminders.
TEST_F(shellItemPanesStrip, TheTake5AndCountDownBoxesReachTheTimeMenu) {
    AppDelegate& app = harness.launch();
    struct Case {
        PaneTag paneTag;
        const char* box;
        qint64 itemTag;
    };
    for (const Case& c : {Case{PaneTag::take5, "showTake5", TimeMenu::kTake5Tag},
                          Case{PaneTag::countDown, "showHideCountDown", TimeMenu::kCountDownTag}}) {
        SCOPED_TRACE(c.box);
        PreferencePane& p = pane(app, c.paneTag);
        QCheckBox* box = control<QCheckBox>(p, c.box);
        ASSERT_NE(box, nullptr);
        const bool wasShown = app.timeMenu()->itemWithTag(c.itemTag) != nullptr;
        EXPECT_EQ(box->isChecked(), wasShown);
        box->click();
        EXPECT_EQ(app.timeMenu()->itemWithTag(c.itemTag) != nullptr, !wasShown);
        box->click();
        EXPECT_EQ(app.timeMenu()->itemWithTag(c.itemTag) != nullptr, wasShown);
    }
    PreferencePane& take5 = pane(app, PaneTag::take5);
    QCheckBox* enable = control<QCheckBox>(take5, "IsBreakEnabled");
    ASSERT_NE(enable, nullptr);
    if (enable->isChecked()) {
        enable->click();
    }
    EXPECT_FALSE(app.breakTimer().isWorkPeriodRunning());
    enable->click();
    EXPECT_TRUE(app.breakTimer().isWorkPeriodRunning());
    enable->click();
    EXPECT_FALSE(app.breakTimer().isWorkPeriodRunning());
}

// The mini calendar pane's "Show the mini calendar in the menu bar" puts the mini calendar's
// own item, today's day, in the strip and takes it away; a click on it opens the mini
// calendar under it, another click closes it.
TEST_F(shellItemPanesStrip, TheMiniCalendarBoxPutsItsItemInTheStrip) {
    test::FakeScreens screens;
    MinnowCalendarController mini(platform::Clock::shared(), platform::UserDefaults::standard(),
                                  screens);
    MinnowCalendarController::setSharedInstance(&mini);
    AppDelegate& app = harness.launch();
    platform::OffscreenStatusBar offscreen(harness.bar_);
    const std::size_t items = harness.bar_.statusItems().size();
    EXPECT_FALSE(app.calendars().minnowItem());

    app.settingsWindow().showMinnowCalendarPrefs();
    PreferencePane* pane = app.settingsWindow().viewCtrl();
    ASSERT_NE(pane, nullptr);
    auto* box = control<QAbstractButton>(*pane, "showHideMinnow");
    ASSERT_FALSE(box->isChecked());
    box->click();
    deliver();
    ASSERT_TRUE(app.calendars().minnowItem());
    EXPECT_EQ(harness.bar_.statusItems().size(), items + 1);
    platform::StatusItem& item = *app.calendars().minnowItem();
    const auto* view = dynamic_cast<const MinnowStatusView*>(item.view().get());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->stringValue(), "15");
    const QRectF itemRect = offscreen.itemRect(&item);
    ASSERT_FALSE(itemRect.isEmpty());

    offscreen.mouseDown(item, Qt::LeftButton, 0, 10.0);
    offscreen.mouseUp(item, Qt::LeftButton, 0, 10.1);
    ASSERT_TRUE(mini.isWindowVisible());
    const QRect frame = mini.window()->geometry();
    EXPECT_EQ(frame.top(), qRound(itemRect.bottom())) << "hangs under the item";
    EXPECT_TRUE(frame.left() <= itemRect.right() && frame.right() >= itemRect.left());
    offscreen.mouseDown(item, Qt::LeftButton, 0, 20.0);
    offscreen.mouseUp(item, Qt::LeftButton, 0, 20.1);
    EXPECT_FALSE(mini.isWindowVisible());

    // Kept: the item is there at the next start, until the box is cleared.
    harness.quit();
    AppDelegate& again = harness.launch();
    ASSERT_TRUE(again.calendars().minnowItem());
    again.settingsWindow().showMinnowCalendarPrefs();
    box = control<QAbstractButton>(*again.settingsWindow().viewCtrl(), "showHideMinnow");
    EXPECT_TRUE(box->isChecked());
    box->click();
    deliver();
    EXPECT_FALSE(again.calendars().minnowItem());
    EXPECT_EQ(harness.bar_.statusItems().size(), items);
    harness.quit();
    MinnowCalendarController::setSharedInstance(nullptr);
}

}  // namespace
}  // namespace talvor
