#pragma once

#include "prefs/BoardingWinController.h"

#include <memory>

namespace talvor {

// The onboarding window of the application delegate: shown on request, and by itself at the
// first launch only.
class BoardingScreen {
  public:
    // Shows a new onboarding window in place of the last one, centred, in front. False when
    // no window could be made.
    bool showBoardingScreen();
    // At start-up: while the domain's "IsBoardingScreen" reads 0 (absent too), shows the
    // window and then stores 1. The mark is only stored when the window did show, so a launch
    // without a display does not use up the welcome. True when it showed.
    bool showAtFirstLaunch();

    BoardingWinController* boardingWindow() { return boardingWindow_.get(); }

  private:
    std::unique_ptr<BoardingWinController> boardingWindow_;
};

}  // namespace talvor
