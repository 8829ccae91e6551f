#pragma once

#include "platform/Menu.h"

#include <functional>
#include <memory>

namespace talvor {

// What the grouped sound menu's items call: the alarm editor, the alarm menu, the count-down
// editors and the break-reminder pane.
class AlarmSoundMenuTarget {
  public:
    virtual ~AlarmSoundMenuTarget() = default;
    // The chosen item's represented object is the sound's path.
    virtual void soundSelected(platform::MenuItem& sender) = 0;
    // Opens the recording of a new alarm sound.
    virtual void manageReminders(platform::MenuItem& sender) = 0;
};

// Fills a menu with the grouped sound menu: the chosen sound's title (or "Select Sound"),
// the recorded sounds, the system sounds, the video editor's sounds and our sound library.
// A group of sounds shows only when it has sounds: on Linux most have no folder at all.
class AlarmSoundMenuContructor {
  public:
    static AlarmSoundMenuContructor& sharedConstructor();

    AlarmSoundMenuTarget* target() const { return target_; }
    void setTarget(AlarmSoundMenuTarget* target) { target_ = target; }
    const std::shared_ptr<platform::Menu>& objectMenu() const { return objectMenu_; }
    void setObjectMenu(std::shared_ptr<platform::Menu> menu) { objectMenu_ = std::move(menu); }

    // Rebuilds the whole menu, keeping only its first item's title; `recordTitle` names the
    // item that opens the recording window.
    void constructMenu(const QString& recordTitle = QStringLiteral("Record Alarm Sound..."));

    void insertSeparator();
    void buildRecordSounds(const QString& recordTitle = QStringLiteral("Record Alarm Sound..."));
    void buildSystemSounds();
    void buildiMovieSound();
    void buildAddedSounds();

  private:
    // Appends a separator and the group `title` with the submenu `fill` makes; nothing when
    // the submenu stays empty.
    void addSoundGroup(const QString& title, const std::function<void(platform::Menu&)>& fill);
    platform::MenuAction soundSelectedAction() const;

    AlarmSoundMenuTarget* target_ = nullptr;
    std::shared_ptr<platform::Menu> objectMenu_;
};

}  // namespace talvor
