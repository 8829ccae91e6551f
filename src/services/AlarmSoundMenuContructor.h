#pragma once

#include "platform/Menu.h"

#include <memory>

namespace talvor {

// What the grouped sound menu's items call: the alarm editor, the alarm menu, the count-down
// editors and the break-reminder pane.
class AlarmSoundMenuTarget {
  public:
    virtual ~AlarmSoundMenuTarget() = default;
    // The chosen item's represented object is the sound's path (none for a bare group item).
    virtual void soundSelected(platform::MenuItem& sender) = 0;
    // Opens the recording of a new alarm sound.
    virtual void manageReminders(platform::MenuItem& sender) = 0;
};

// Fills a menu with the grouped sound menu: the chosen sound's title (or "Select Sound"),
// the recorded sounds, the system sounds, the video editor's sounds and our sound library.
class AlarmSoundMenuContructor {
  public:
    static AlarmSoundMenuContructor& sharedConstructor();

    AlarmSoundMenuTarget* target() const { return target_; }
    void setTarget(AlarmSoundMenuTarget* target) { target_ = target; }
    const std::shared_ptr<platform::Menu>& objectMenu() const { return objectMenu_; }
    void setObjectMenu(std::shared_ptr<platform::Menu> menu) { objectMenu_ = std::move(menu); }

    // Rebuilds the whole menu, keeping only its first item's title.
    void constructMenu();

    void insertSeparator();
    void buildRecordSounds();
    void buildSystemSounds();
    void buildiMovieSound();
    void buildAddedSounds();

  private:
    platform::MenuAction soundSelectedAction() const;

    AlarmSoundMenuTarget* target_ = nullptr;
    std::shared_ptr<platform::Menu> objectMenu_;
};

}  // namespace talvor
