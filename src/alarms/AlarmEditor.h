#pragma once

#include "Alarm.h"

#include <memory>

namespace talvor {

class AlarmEditor;

// Takes the alarm the editor's user set.
class AlarmSetControllerDelegate {
  public:
    virtual ~AlarmSetControllerDelegate() = default;
    virtual void acceptedAlarm(AlarmEditor& controller, const std::shared_ptr<Alarm>& alarm) = 0;
};

// The alarm editor as the alarm menu sees it (the settings pane above implements it).
class AlarmEditor {
  public:
    virtual ~AlarmEditor() = default;
    // Fills the form with the alarm to edit; none: an empty form for a new alarm.
    virtual void showWithAlarm(const std::shared_ptr<Alarm>& alarm) = 0;
    virtual void setDelegate(AlarmSetControllerDelegate* delegate) = 0;
    // The alarm being edited; none while making a new one.
    virtual const std::shared_ptr<Alarm>& editingOne() const = 0;
};

}  // namespace talvor
