#include "AlarmMenuController.h"

#include "Clock.h"

#include <algorithm>
#include <climits>

namespace talvor {

namespace {
AlarmMenuController* gShared = nullptr;
}  // namespace

AlarmMenuController::~AlarmMenuController() {
    if (gShared == this) {
        gShared = nullptr;
    }
}

AlarmMenuController& AlarmMenuController::mainMenuController() {
    if (gShared == nullptr) {
        gShared = new AlarmMenuController();  // lives for the process
    }
    return *gShared;
}

void AlarmMenuController::setMainMenuController(AlarmMenuController* controller) {
    gShared = controller;
}

void AlarmMenuController::updateStatusView() {
    statusView_.stopFlashing();
    const std::shared_ptr<Alarm> nearest = Clock::sharedClock().nearestAlarm();
    if (!nearest) {
        statusView_.setAngleEnd(0, 0);
        return;
    }
    int64_t minutes = 0;
    int64_t seconds = 0;
    nearest->minutesFromNow(&minutes, &seconds);
    if (seconds != 0) {
        ++minutes;
    }
    statusView_.setAngleEnd(nearest->minute(), static_cast<int32_t>(std::clamp<int64_t>(
                                                   minutes, INT32_MIN, INT32_MAX)));
}

void AlarmMenuController::alarmTriggered(Alarm& alarm) {
    nextAlarm_ = alarm.weak_from_this().lock();
    activateAlarm(alarm);
}

void AlarmMenuController::activateAlarm(Alarm& alarm) {
    alarm.setIsTriggered(true);
    statusView_.startFlashing();
}

}  // namespace talvor
