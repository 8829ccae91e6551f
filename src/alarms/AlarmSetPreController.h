#pragma once

#include "Alarm.h"

#include <cstdint>
#include <memory>

namespace talvor {

class AlarmSetPreController;

// Takes the quick alarm a preset maker made.
class AlarmSetPreControllerDelegate {
  public:
    virtual ~AlarmSetPreControllerDelegate() = default;
    virtual void acceptedPreAlarm(AlarmSetPreController& controller,
                                  const std::shared_ptr<Alarm>& alarm) = 0;
};

// The maker of the quick alarms of the "Timer..." menu: one saved alarm titled "default"
// that rings in a number of minutes (snooze 5 minutes, the bundled alarm sound).
class AlarmSetPreController {
  public:
    // The title of the quick alarm in the saved list.
    static inline const QString kTitle = QStringLiteral("default");

    void setDelegate(AlarmSetPreControllerDelegate* delegate) { delegate_ = delegate; }
    // Adds or replaces the saved alarm titled "default" with one that rings in `minutes`,
    // saves the list and hands the alarm to the delegate.
    void setDefault(int32_t minutes);
    // The sound of quick alarms: the bundled "Ping" sound.
    static QString defaultSoundPath();

  private:
    AlarmSetPreControllerDelegate* delegate_ = nullptr;
};

}  // namespace talvor
