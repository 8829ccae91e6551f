#include "AlarmSoundMenuContructor.h"

#include "AudioStorageController.h"

namespace talvor {

using platform::Menu;
using platform::MenuItem;

AlarmSoundMenuContructor& AlarmSoundMenuContructor::sharedConstructor() {
    static AlarmSoundMenuContructor* shared = new AlarmSoundMenuContructor();
    return *shared;
}

platform::MenuAction AlarmSoundMenuContructor::soundSelectedAction() const {
    AlarmSoundMenuTarget* target = target_;
    return [target](MenuItem& sender) {
        if (target != nullptr) {
            target->soundSelected(sender);
        }
    };
}

void AlarmSoundMenuContructor::constructMenu() {
    if (!objectMenu_) {
        return;
    }
    Menu& menu = *objectMenu_;
    QString firstTitle;
    if (menu.numberOfItems() > 0) {
        firstTitle = menu.itemAtIndex(0)->title();
    }
    menu.removeAllItems();
    menu.addItemWithTitle(firstTitle.isEmpty() ? QStringLiteral("Select Sound") : firstTitle);
    buildRecordSounds();
    insertSeparator();
    buildSystemSounds();
    insertSeparator();
    buildiMovieSound();
    insertSeparator();
    buildAddedSounds();
}

void AlarmSoundMenuContructor::insertSeparator() {
    if (objectMenu_) {
        objectMenu_->addItem(MenuItem::separatorItem());
    }
}

void AlarmSoundMenuContructor::buildRecordSounds() {
    auto item = objectMenu_->addItemWithTitle(QStringLiteral("Record Sound"));
    auto sub = Menu::create(QStringLiteral("Record Sound"));
    AudioStorageController::sharedController().fillMenuWithReminderSounds(*sub,
                                                                          soundSelectedAction());
    AlarmSoundMenuTarget* target = target_;
    sub->insertItemWithTitle(
        QStringLiteral("Record Alarm Sound..."),
        [target](MenuItem& sender) {
            if (target != nullptr) {
                target->manageReminders(sender);
            }
        },
        QString(), 0);
    objectMenu_->setSubmenu(sub, item.get());
}

void AlarmSoundMenuContructor::buildSystemSounds() {
    auto item = objectMenu_->addItemWithTitle(QStringLiteral("System Sounds"));
    auto sub = Menu::create(QStringLiteral("System Sounds"));
    AudioStorageController::sharedController().fillMenuWithSystemSounds(*sub,
                                                                        soundSelectedAction());
    objectMenu_->setSubmenu(sub, item.get());
}

void AlarmSoundMenuContructor::buildiMovieSound() {
    auto item =
        objectMenu_->addItemWithTitle(QStringLiteral("iMovie Sounds"), soundSelectedAction());
    auto sub = Menu::create(QStringLiteral("iMovie Sounds"));
    AudioStorageController::sharedController().fillMenuWithiMovieSounds(*sub,
                                                                        soundSelectedAction());
    if (sub->numberOfItems() > 0) {
        objectMenu_->setSubmenu(sub, item.get());
    }
}

void AlarmSoundMenuContructor::buildAddedSounds() {
    auto item = objectMenu_->addItemWithTitle(QStringLiteral("Talvor Sound Library"));
    auto sub = Menu::create(QStringLiteral("Talvor Sound Library"));
    AudioStorageController::sharedController().fillMenuWithAddedSounds(*sub, soundSelectedAction());
    objectMenu_->setSubmenu(sub, item.get());
}

}  // namespace talvor
