#pragma once

#include "PaneDelegate.h"
#include "PaneTable.h"
#include "PreferencePane.h"
#include "services/SoundChooser.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <memory>

class QVBoxLayout;

namespace talvor {

class BreakNumberFormatter;
class TalvorTakeABreakSettings;

// The "Take 5" page: whether breaks run and show in the time menu, how often, how long and
// how many, and the two sounds (the break's start and its end) chosen through one sound
// button that the two radios switch between.
class TalvorTake5WindowsController : public PreferencePane {
    Q_OBJECT
  public:
    // Which sound the sound button shows and sets.
    enum class SoundOption { BreakEvery, BreakDuration };
    // The text fields' tags.
    enum Field { Frequency = 1, Duration = 2, Repeat = 3 };

    explicit TalvorTake5WindowsController(QString nibName, PaneDelegate delegate = {});
    ~TalvorTake5WindowsController() override;

    // The box "Show in menu": stored, and the time menu rebuilt.
    // As a click on the time menu box: stores what it shows and has the menu rebuilt.
    void showTake5Changed();

    PaneTable* table() override { return &table_; }
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
    void soundWellClicked();
    void helpBtnClicked();
    // Records a message that becomes the sound the radios choose.
    void manageReminders();

    SoundOption currentSoundOption() const;

    QCheckBox* showTake5() const;
    QCheckBox* isBreakEnabled() const { return isBreakEnabled_; }
    QSlider* slider(Field tag) const;
    QLineEdit* textField(Field tag) const;
    QLabel* textBreakDurationLbl() const { return textBreakDurationLbl_; }
    QLabel* textBreakRepeatLbl() const { return textBreakRepeatLbl_; }
    QRadioButton* breakEvery() const { return breakEvery_; }
    QRadioButton* breakDuration() const { return breakDuration_; }
    // The sound row's controls, once the view is built.
    SoundChooser* soundChooser() const { return soundChooser_; }
    QPushButton* selectSoundButton() const { return soundChooser_->soundButton(); }
    QPushButton* playButton() const { return soundChooser_->playButton(); }

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    // The pop-up's title and the play button for `path`, without storing it.
    void showSound(const QString& path);
    // The introduction and the two boxes.
    void buildSwitches(QWidget* v, QVBoxLayout* layout);
    // How often, how long, how many: a slider and a field each.
    void buildNumbersBox(QWidget* v, QVBoxLayout* layout);
    // The two sounds: the radios and the sound row.
    void buildSoundBox(QWidget* v, QVBoxLayout* layout);
    // The stored values, shown without writing anything back.
    void showStoredValues();
    // What each control does.
    void connectControls();
    void setControlsEnabled(bool on);
    void showValue(Field tag, int value);
    void storeValue(Field tag, int value);

    PaneDelegate delegate_;
    TalvorTakeABreakSettings& settings_;
    bool filling_ = false;

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
    QPointer<SoundChooser> soundChooser_;
    QPointer<QPushButton> recordButton_;
    PaneTable table_;
};

}  // namespace talvor
