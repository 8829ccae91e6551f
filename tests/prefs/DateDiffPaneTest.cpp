// The date-difference pane: the dates and units drive the difference and the two phrases;
// the check box switches the time menu's calculator.
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "prefs/DateDiffPrefCalculator.h"
#include "prefs/PaneFactory.h"
#include "support/FakeClock.h"
#include "support/ScopedMachineZone.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

namespace talvor {
namespace {

class prefsDateDiffPane : public ::testing::Test {
  protected:
    prefsDateDiffPane() { platform::Clock::setShared(&clock); }
    ~prefsDateDiffPane() override { platform::Clock::setShared(nullptr); }

    test::ScopedMachineZone machine{"UTC", "en_US"};
    test::FakeClock clock{Date::fromUnix(1715774400), QTimeZone::utc()};
    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    test::ScopedEnvVar noBus{"DBUS_SESSION_BUS_ADDRESS", QString()};
};

TEST_F(prefsDateDiffPane, DatesAndUnitsDriveTheDifferenceAndPhrases) {
    std::vector<qint32> menus;
    DateDiffPrefCalculator pane(QStringLiteral("DateDiffPrefCalculator"), {},
                                [&](qint32 group) { menus.push_back(group); });
    ASSERT_NE(pane.view(), nullptr);
    // Right after loading: both dates now, every unit on and zero.
    EXPECT_EQ(pane.model().diff, (DateDiffCalculator::Difference{0, 0, 0, 0, 0}));
    EXPECT_EQ(pane.diffLabel()->text(),
              QStringLiteral("0 eras, 0 years, 0 months, 0 weeks, 0 days"));
    EXPECT_EQ(pane.laterField()->text(), QStringLiteral("the same moment"));
    EXPECT_EQ(pane.earlierField()->text(), QStringLiteral("the same moment"));
    pane.date2Edit()->setDateTime(pane.date1Edit()->dateTime().addDays(3));
    EXPECT_EQ(pane.laterField()->text(), QStringLiteral("3 days ago"));
    EXPECT_EQ(pane.earlierField()->text(), QStringLiteral("in 3 days"));
    pane.date2Edit()->setDateTime(pane.date1Edit()->dateTime().addDays(20));
    for (int i : {0, 1, 2, 4}) {
        pane.unitBox(i)->setChecked(false);
    }
    EXPECT_EQ(pane.model().diff.week, 2);
    EXPECT_EQ(pane.diffLabel()->text(), QStringLiteral("2 weeks"));
    pane.unitBox(3)->setChecked(false);
    EXPECT_EQ(pane.model().diff, DateDiffCalculator::Difference{});
    EXPECT_EQ(pane.diffLabel()->text(), QStringLiteral("No unit chosen"));
    // The box switches the calculator in the time menu and has the menu rebuilt.
    pane.showHideBox()->click();
    const bool shown = pane.showHideBox()->isChecked();
    EXPECT_EQ(TalvorTimeSettings::sharedInstance().showDateDiffereneCalc, shown);
    EXPECT_EQ(menus, std::vector<qint32>{DateDiffPrefCalculator::kDateDifferenceGroup});
}

TEST_F(prefsDateDiffPane, TheFactoryMakesTheRealPane) {
    const PaneFactory factory = PaneFactory::standard();
    std::unique_ptr<PreferencePane> pane = factory.make(QStringLiteral("DateDiffPrefCalculator"),
                                                        QStringLiteral("DateDiffPrefCalculator"));
    ASSERT_NE(pane, nullptr);
    EXPECT_NE(dynamic_cast<DateDiffPrefCalculator*>(pane.get()), nullptr);
    EXPECT_EQ(pane->title(), QStringLiteral("Date Difference"));
}

}  // namespace
}  // namespace talvor
