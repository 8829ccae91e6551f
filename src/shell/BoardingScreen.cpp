#include "BoardingScreen.h"

#include "foundation/PreferenceDomain.h"
#include "platform/WindowPlacement.h"

namespace talvor {
namespace {

const QString kIsBoardingScreen = QStringLiteral("IsBoardingScreen");

}  // namespace

bool BoardingScreen::showBoardingScreen() {
    boardingWindow_ = BoardingWinController::init();
    if (!boardingWindow_) {
        return false;
    }
    platform::placeInFreeArea(*boardingWindow_->window());
    boardingWindow_->showWindow();
    return true;
}

bool BoardingScreen::showAtFirstLaunch() {
    if (PreferenceDomain::readInteger(kIsBoardingScreen, 0) != 0) {
        return false;
    }
    if (!showBoardingScreen()) {
        return false;
    }
    PreferenceDomain::writeInteger(kIsBoardingScreen, 1);
    PreferenceDomain::synchronize(QStringLiteral("Could not store that the welcome was shown."));
    return true;
}

}  // namespace talvor
