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

void AlarmSoundMenuContructor::constructMenu(const QString& recordTitle) {
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
    buildRecordSounds(recordTitle);
    buildSystemSounds();
    buildiMovieSound();
    buildAddedSounds();
}

void AlarmSoundMenuContructor::insertSeparator() {
    if (objectMenu_) {
        objectMenu_->addItem(MenuItem::separatorItem());
    }
}

void AlarmSoundMenuContructor::buildRecordSounds(const QString& recordTitle) {
    auto item = objectMenu_->addItemWithTitle(QStringLiteral("Record Sound"));
    auto sub = Menu::create(QStringLiteral("Record Sound"));
    AudioStorageController::sharedController().fillMenuWithReminderSounds(*sub,
                                                                          soundSelectedAction());
    AlarmSoundMenuTarget* target = target_;
    sub->insertItemWithTitle(
        recordTitle,
        [target](MenuItem& sender) {
            if (target != nullptr) {
                target->manageReminders(sender);
            }
        },
        QString(), 0);
    objectMenu_->setSubmenu(sub, item.get());
}

void AlarmSoundMenuContructor::addSoundGroup(const QString& title,
                                             const std::function<void(Menu&)>& fill) {
    auto sub = Menu::create(title);
    fill(*sub);
    if (sub->numberOfItems() == 0) {
        return;
    }
    insertSeparator();
    auto item = objectMenu_->addItemWithTitle(title);
    objectMenu_->setSubmenu(sub, item.get());
}

void AlarmSoundMenuContructor::buildSystemSounds() {
    addSoundGroup(QStringLiteral("System Sounds"), [this](Menu& sub) {
        AudioStorageController::sharedController().fillMenuWithSystemSounds(sub,
                                                                            soundSelectedAction());
    });
}

void AlarmSoundMenuContructor::buildiMovieSound() {
    addSoundGroup(QStringLiteral("Sound Effects"), [this](Menu& sub) {
        AudioStorageController::sharedController().fillMenuWithiMovieSounds(sub,
                                                                            soundSelectedAction());
    });
}

void AlarmSoundMenuContructor::buildAddedSounds() {
    addSoundGroup(QStringLiteral("Talvor Sound Library"), [this](Menu& sub) {
        AudioStorageController::sharedController().fillMenuWithAddedSounds(sub,
                                                                           soundSelectedAction());
    });
}

}  // namespace talvor
