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
    // Follows one editor and reads null once it has gone: the settings window deletes the
    // page whenever another pane takes its place.
    class Watch {
      public:
        Watch() = default;
        AlarmEditor* get() const { return alive_ ? *alive_ : nullptr; }

      private:
        friend class AlarmEditor;
        explicit Watch(std::shared_ptr<AlarmEditor*> alive) : alive_(std::move(alive)) {}
        std::shared_ptr<AlarmEditor*> alive_;
    };

    AlarmEditor() = default;
    AlarmEditor(const AlarmEditor&) = delete;
    AlarmEditor& operator=(const AlarmEditor&) = delete;
    virtual ~AlarmEditor() { *alive_ = nullptr; }
    Watch watch() const { return Watch(alive_); }

    // Fills the form with the alarm to edit; none: an empty form for a new alarm.
    virtual void showWithAlarm(const std::shared_ptr<Alarm>& alarm) = 0;
    virtual void setDelegate(AlarmSetControllerDelegate* delegate) = 0;
    // The alarm being edited; none while making a new one.
    virtual const std::shared_ptr<Alarm>& editingOne() const = 0;

  private:
    std::shared_ptr<AlarmEditor*> alive_ = std::make_shared<AlarmEditor*>(this);
};

}  // namespace talvor
