#include "calendarui/CalWindow.h"
#include "calendarui/CalendarWindow.h"
#include "calendarui/MinnowCalendarController.h"
#include "calendarui/MonthPager.h"
#include "calendarui/ztCalendarController.h"

#include "foundation/CalendarExtras.h"
#include "platform/Clock.h"
#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"
#include "support/FakeClock.h"
#include "support/FakeScreens.h"
#include "support/QtPrinters.h"
#include "support/ScopedMachineZone.h"

#include <QLabel>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace talvor {
namespace {

// 2025-03-04 15:40:30 UTC, a Tuesday.
constexpr Date kNow = Date::fromUnix(1741102830);

class RecordingMinnowDelegate : public MinnowCalendarDelegate {
  public:
    QRectF dateStatusItemRect() const override { return rect; }
    void closeMinnowCalendar() override { ++closes; }
    QRectF rect;
    int closes = 0;
};

class RecordingMenuExtra : public ztCalendarMenuExtra {
  public:
    QImage mooonImage(Date date) override {
        imageDates.push_back(date);
        QImage moon(64, 64, QImage::Format_ARGB32);
        moon.fill(Qt::yellow);
        return moon;
    }
    QString addNextMoons(const std::optional<QString>& prefix, Date onDate) override {
        prefixes.push_back(prefix);
        textDates.push_back(onDate);
        return QStringLiteral("Current Moon: Waxing Crescent");
    }
    void showMenubarCalendarPrefs() override { ++prefs; }
    std::vector<Date> imageDates;
    std::vector<Date> textDates;
    std::vector<std::optional<QString>> prefixes;
    int prefs = 0;
};

class calendaruiControllers : public ::testing::Test {
  protected:
    // The mini calendar's months read the shared clock; it sets the process-wide first
    // weekday and user calendar.
    void SetUp() override { platform::Clock::setShared(&clock); }
    void TearDown() override {
        platform::Clock::setShared(nullptr);
        CalMonth::setFirstWeekDay(1);
        CalendarExtras::resetForTesting();
    }
    test::ScopedMachineZone zone{"UTC", "en_US"};
    test::FakeClock clock{kNow, QTimeZone::utc()};
    platform::MemoryPreferenceStore store{QStringLiteral("test")};
    platform::UserDefaults defaults{store};
    test::FakeScreens screens;
};

TEST_F(calendaruiControllers, MiniHangsUnderTheDateItemAndEscapeAsksTheDelegateToClose) {
    MinnowCalendarController mini(clock, defaults, screens);
    RecordingMinnowDelegate delegate;
    delegate.rect = QRectF(1000, 0, 90, 24);
    mini.setDelegate(&delegate);

    QWidget* window = mini.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    mini.calculateWindowFrame();
    EXPECT_EQ(window->pos(), QPoint(1000, 24));

    // Too close to the right edge for the window: its right edge meets the item's.
    delegate.rect = QRectF(1150, 0, 90, 24);
    mini.calculateWindowFrame();
    EXPECT_EQ(window->geometry().right() + 1, 1240);

    window->show();
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_EQ(delegate.closes, 1);

    mini.setDelegate(nullptr);
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible()) << "without a delegate Escape hides the window itself";
}

TEST_F(calendaruiControllers, MiniStepsThroughMonthsAndKeepsItsPlaceBetweenOpenings) {
    defaults.setInteger(2, QStringLiteral("FirstDayOfWeek"));
    MinnowCalendarController mini(clock, defaults, screens);
    auto title = [&] { return mini.calWindow()->monthViews().front()->titleText(); };
    EXPECT_EQ(title(), "March 2025");
    EXPECT_EQ(mini.calWindow()->monthViews().front()->currMonth()->weekDays(true).front(), "M");
    const CalFieldCell* today = mini.calWindow()->monthViews().front()->cellOfDay(4);
    ASSERT_NE(today, nullptr);
    EXPECT_TRUE(today->isBordered());

    mini.calWindow()->nextButton()->click();
    EXPECT_EQ(title(), "April 2025");
    mini.calWindow()->prevButton()->click();
    mini.calWindow()->prevButton()->click();
    EXPECT_EQ(title(), "February 2025");
    EXPECT_EQ(mini.currOffset(), -1);

    // The window reopens where the user left it; the today/back button toggles.
    mini.window()->show();
    mini.window()->hide();
    mini.window()->show();
    EXPECT_EQ(title(), "February 2025");
    mini.calWindow()->currMonthButton()->click();
    EXPECT_EQ(title(), "March 2025");
    EXPECT_EQ(mini.calWindow()->currMonthButton()->text(), "Back");
    mini.calWindow()->currMonthButton()->click();
    EXPECT_EQ(title(), "February 2025");
    mini.calWindow()->currMonthButton()->click();
    EXPECT_EQ(title(), "March 2025");
}

TEST_F(calendaruiControllers, BigShowsTheMoonOfTheDayAndOpensTheSettings) {
    ztCalendarController big(clock, defaults, screens);
    EXPECT_TRUE(big.moonText()->text().isEmpty()) << "no moon without the delegate";

    RecordingMenuExtra extra;
    big.setMenuExtra(&extra);
    ASSERT_EQ(extra.textDates.size(), 1u);
    EXPECT_EQ(extra.textDates.back(), kNow);
    EXPECT_EQ(extra.imageDates.back(), kNow);
    EXPECT_EQ(extra.prefixes.back(), std::nullopt);
    EXPECT_EQ(big.moonText()->text(), "Current Moon: Waxing Crescent");
    EXPECT_FALSE(big.moonPicture()->pixmap().isNull());

    big.settingsButton()->click();
    EXPECT_EQ(extra.prefs, 1);

    // The moon follows the clock at the next opening.
    clock.advance(86400);
    big.window()->show();
    EXPECT_EQ(extra.textDates.back(), kNow.addingTimeInterval(86400));
}

TEST_F(calendaruiControllers, BigHangsBelowTheItemWithItsPictureAndClosesOnEscape) {
    ztCalendarController big(clock, defaults, screens);
    MinnowCalendarController mini(clock, defaults, screens);
    EXPECT_GT(big.window()->width(), mini.window()->width());
    EXPECT_GT(big.window()->height(), mini.window()->height());

    big.belowView(QRectF(1150, 0, 90, 24));
    EXPECT_EQ(big.window()->geometry().right() + 1, 1240);
    EXPECT_EQ(big.window()->y(), 24);

    auto* window = static_cast<CalendarWindow*>(big.window());
    EXPECT_TRUE(window->backgroundPicture().isNull());
    big.showCalBGImg();
    EXPECT_EQ(window->backgroundPicture().size(), window->size());

    window->show();
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(calendaruiControllers, BigReloadsTheFirstWeekdayOnASettingsChange) {
    ztCalendarController big(clock, defaults, screens);
    EXPECT_EQ(big.monthView()->calSettings().firstDay(), 0) << "en_US: Sunday";
    defaults.setInteger(2, QStringLiteral("FirstDayOfWeek"));
    big.updateCalendarPrefs();
    EXPECT_EQ(big.monthView()->calSettings().firstDay(), 1) << "Monday";
}

}  // namespace
}  // namespace talvor
