#include "BoardingScreen.h"

#include "foundation/PreferenceDomain.h"

#include <QGuiApplication>
#include <QScreen>

namespace talvor {
namespace {

const QString kIsBoardingScreen = QStringLiteral("IsBoardingScreen");

void centre(QWidget& window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

}  // namespace

bool BoardingScreen::showBoardingScreen() {
    boardingWindow_ = BoardingWinController::init();
    if (!boardingWindow_) {
        return false;
    }
    centre(*boardingWindow_->window());
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
