#include "AlarmSetPreController.h"

#include "SavedAlarms.h"
#include "services/AudioStorageController.h"

namespace talvor {

QString AlarmSetPreController::defaultSoundPath() {
    return AudioStorageController::storedSoundsPath() + QStringLiteral("Sounds/Ping.ogg");
}

void AlarmSetPreController::setDefault(int32_t minutes) {
    auto alarm = Alarm::create();
    alarm->setTitle(kTitle);
    alarm->setSelRowNo(0);
    alarm->setIsMinuteUnits(true);
    alarm->setRingWithinUnits(minutes);
    alarm->setSnoozeTime(5);
    alarm->setSoundPath(defaultSoundPath());
    alarm->setIsPlaySound(true);
    alarm->setIsDefaultAlarm(true);
    SavedAlarms::updateAlarmList(*alarm, true);
    if (delegate_ != nullptr) {
        delegate_->acceptedPreAlarm(*this, alarm);
    }
}

}  // namespace talvor
