#include "foundation/PreferenceDomain.h"
#include "shell/BoardingScreen.h"
#include "support/ScopedPreferences.h"

#include <gtest/gtest.h>

namespace talvor {
namespace {

const QString kIsBoardingScreen = QStringLiteral("IsBoardingScreen");

TEST(shellOnboarding, ShownAtTheFirstLaunchOnly) {
    test::ScopedMemoryDomain domain(appTalvor4Prefs);
    {
        BoardingScreen firstLaunch;
        EXPECT_TRUE(firstLaunch.showAtFirstLaunch());
        ASSERT_NE(firstLaunch.boardingWindow(), nullptr);
        EXPECT_TRUE(firstLaunch.boardingWindow()->window()->isVisible());
        EXPECT_EQ(PreferenceDomain::readInteger(kIsBoardingScreen, 0), 1);
        EXPECT_GT(domain.store().synchronizeCount(), 0);
    }
    BoardingScreen secondLaunch;
    EXPECT_FALSE(secondLaunch.showAtFirstLaunch());
    EXPECT_EQ(secondLaunch.boardingWindow(), nullptr);

    // Asked for, it shows whatever the mark says, a new window each time.
    EXPECT_TRUE(secondLaunch.showBoardingScreen());
    QWidget* shown = secondLaunch.boardingWindow()->window();
    EXPECT_TRUE(shown->isVisible());
    EXPECT_TRUE(secondLaunch.showBoardingScreen());
    EXPECT_NE(secondLaunch.boardingWindow()->window(), nullptr);
}

TEST(shellOnboarding, ZeroStoredCountsAsNotShownYet) {
    test::ScopedMemoryDomain domain(appTalvor4Prefs);
    PreferenceDomain::writeInteger(kIsBoardingScreen, 0);
    BoardingScreen launch;
    EXPECT_TRUE(launch.showAtFirstLaunch());
    EXPECT_EQ(PreferenceDomain::readInteger(kIsBoardingScreen, 0), 1);
}

}  // namespace
}  // namespace talvor
