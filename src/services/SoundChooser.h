#pragma once

#include "platform/NotificationCenter.h"
#include "services/AlarmSoundMenuContructor.h"
#include "services/SoundFileWell.h"
#include "services/SoundRepeat.h"

#include <QCheckBox>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QHBoxLayout;

namespace talvor {

namespace platform {
class MenuMirror;
class SoundPlayer;
}  // namespace platform

// The row that chooses a sound: a button with the grouped sound menu ("selectSoundButton"),
// "Play" ("playButton": the sound for 20 seconds at most, fading from the tenth) and, as its
// user asks, "Fade in" ("shouldFadeInCheck"), "Add File..." ("chooseFileButton") and, below
// the row, the well that takes dropped sound files into the library ("soundWell"). It shows a
// sound; keeping the choice is its user's: it says what was chosen.
class SoundChooser : public QWidget, public AlarmSoundMenuTarget, public SoundFileWellDelegate {
    Q_OBJECT
  public:
    struct Parts {
        // The sound menu's item that opens the recording window.
        QString recordTitle = QStringLiteral("Record Alarm Sound...");
        bool fadeIn = false;
        bool addFile = false;
        bool well = false;
        // A system sound is short: on its choice it is heard three times, as it will ring.
        bool repeatSystemSound = false;
        // Shown as "Select Sound" besides no sound: the built-in sound of a user.
        QString builtInPath{};
        // The file Play plays for a shown sound; none disables Play. Default: the path itself.
        std::function<std::optional<QString>(const QString&)> fileOf{};
    };

    explicit SoundChooser(Parts parts, QWidget* parent = nullptr);
    ~SoundChooser() override;

    // Shows `path` (none: "Select Sound") without telling anyone.
    void showSound(const QString& path);
    const QString& shownPath() const { return shown_; }
    // Off: the menu, Play and "Fade in" are disabled (the user's "Play sound" box).
    void setActive(bool on);
    // Another control at the row's end.
    void addToRow(QWidget* widget);

    void playButtonPushed();
    void stopPreview();
    void chooseAudioFile();

    void soundSelected(platform::MenuItem& sender) override;
    void manageReminders(platform::MenuItem& sender) override;
    void imageDragDidEnd() override;

    QPushButton* soundButton() const { return soundButton_; }
    QPushButton* playButton() const { return playButton_; }
    // Null when the user did not ask for them.
    QCheckBox* fadeInCheck() const { return fadeInCheck_; }
    QPushButton* chooseFileButton() const { return chooseFileButton_; }
    SoundFileWell* well() const { return well_; }
    const std::shared_ptr<platform::Menu>& soundsMenu() const { return soundsMenu_; }

  signals:
    // A sound of the menu was chosen (after its preview started).
    void soundChosen(const QString& path);
    // The menu's recording item.
    void recordAsked();
    // A click on the well.
    void wellClicked();

  private:
    std::optional<QString> playableFile() const;
    void rebuildSoundMenu();
    void makeWell();

    Parts parts_;
    QString shown_;
    bool active_ = true;
    std::shared_ptr<platform::SoundPlayer> demoSound_;
    Repeat::Handle previewRepeat_;
    std::shared_ptr<platform::Menu> soundsMenu_;
    QPointer<platform::MenuMirror> soundsMirror_;
    platform::Observation wellClicked_;
    QHBoxLayout* row_ = nullptr;
    QPointer<QPushButton> soundButton_;
    QPointer<QPushButton> playButton_;
    QPointer<QCheckBox> fadeInCheck_;
    QPointer<QPushButton> chooseFileButton_;
    QPointer<SoundFileWell> well_;
};

}  // namespace talvor
