#pragma once

#include "PaneDelegate.h"
#include "PreferencePane.h"
#include "platform/NotificationCenter.h"
#include "services/AlarmSoundMenuContructor.h"
#include "services/SoundFileWell.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <memory>

namespace talvor {

namespace platform {
class MenuMirror;
class SoundPlayer;
}  // namespace platform
class BreakNumberFormatter;
class TalvorTakeABreakSettings;

// The "Take 5" page: whether breaks run and show in the time menu, how often, how long and
// how many, and the two sounds (the break's start and its end) chosen through one sound
// button that the two radios switch between.
class TalvorTake5WindowsController : public PreferencePane,
                                     public AlarmSoundMenuTarget,
                                     public SoundFileWellDelegate {
    Q_OBJECT
  public:
    // Which sound the sound button shows and sets.
    enum class SoundOption { BreakEvery, BreakDuration };
    // The text fields' tags.
    enum Field { Frequency = 1, Duration = 2, Repeat = 3 };

    explicit TalvorTake5WindowsController(QString nibName, PaneDelegate delegate = {});
    ~TalvorTake5WindowsController() override;

    // The box "Show in menu": stored, and the time menu rebuilt.
    void showTake5Changed();
    // The box "Enable": breaks start from a new work period, or stop.
    void breakEnabledChanged();
    void enableTake5();
    void changeBreakFreq(int value);
    void changeBeakDuration(int value);
    void changeBeakRepeat(int value);
    // A text field was edited: a finished number moves its slider and is stored.
    void controlTextDidChange(Field tag);
    void soundOption(SoundOption option);
    // Stores `path` as the sound the radios choose and shows it.
    void setSoundPath(const QString& path);
    // Previews the chosen sound: 20 seconds at most, fading from the tenth.
    void playButtonPushed();
    void stopPreview();
    void chooseAudioFile();
    void imageDragDidEnd() override;
    void soundWellClicked();
    void helpBtnClicked();

    // The sound menu.
    void soundSelected(platform::MenuItem& sender) override;
    void manageReminders(platform::MenuItem& sender) override;
    void manageReminders();

    SoundOption currentSoundOption() const;

    QCheckBox* showTake5() const { return showTake5_; }
    QCheckBox* isBreakEnabled() const { return isBreakEnabled_; }
    QSlider* slider(Field tag) const;
    QLineEdit* textField(Field tag) const;
    QLabel* textBreakDurationLbl() const { return textBreakDurationLbl_; }
    QLabel* textBreakRepeatLbl() const { return textBreakRepeatLbl_; }
    QRadioButton* breakEvery() const { return breakEvery_; }
    QRadioButton* breakDuration() const { return breakDuration_; }
    QPushButton* selectSoundButton() const { return selectSoundButton_; }
    QPushButton* playButton() const { return playButton_; }
    SoundFileWell* soundWell() const { return soundWell_; }
    const std::shared_ptr<platform::Menu>& soundsMenu() const { return soundsMenu_; }

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    // The pop-up's title and the play button for `path`, without storing it.
    void showSound(const QString& path);
    void rebuildSoundMenu();
    void setControlsEnabled(bool on);
    void showValue(Field tag, int value);
    void storeValue(Field tag, int value);

    PaneDelegate delegate_;
    TalvorTakeABreakSettings& settings_;
    std::shared_ptr<platform::SoundPlayer> demoSound_;
    std::shared_ptr<platform::Menu> soundsMenu_;
    QPointer<platform::MenuMirror> soundsMirror_;
    platform::Observation wellClicked_;
    bool filling_ = false;

    QPointer<QCheckBox> showTake5_;
    QPointer<QCheckBox> isBreakEnabled_;
    QPointer<QSlider> breakFreqSlider_;
    QPointer<QSlider> breakDurationSlider_;
    QPointer<QSlider> breakRepeatSlider_;
    QPointer<QLineEdit> textBreakFreq_;
    QPointer<QLineEdit> textBreakDuration_;
    QPointer<QLineEdit> textBreakRepeat_;
    QPointer<QLabel> textBreakDurationLbl_;
    QPointer<QLabel> textBreakRepeatLbl_;
    QPointer<QRadioButton> breakEvery_;
    QPointer<QRadioButton> breakDuration_;
    QPointer<QPushButton> selectSoundButton_;
    QPointer<QPushButton> playButton_;
    QPointer<QPushButton> chooseFileButton_;
    QPointer<QPushButton> recordButton_;
    QPointer<SoundFileWell> soundWell_;
};

}  // namespace talvor
