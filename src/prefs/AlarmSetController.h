#pragma once

#include "PaneDelegate.h"
#include "PreferencePane.h"
#include "TalvorAlarmViewController.h"
#include "alarms/AlarmEditor.h"
#include "alarms/AlarmForm.h"
#include "platform/NotificationCenter.h"
#include "services/SoundChooser.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>

#include <array>
#include <memory>

class QVBoxLayout;

namespace talvor {

class TextSpeaker;

// The confirmation shown once an alarm is set.
class CustomAlert : public QWidget {
    Q_OBJECT
  public:
    CustomAlert();
    void btnOkClicked();
    QLabel* message() const { return message_; }

  private:
    QPointer<QLabel> message_;
};

// The alarm editor's page ("Create Alarm"): a form that makes a new alarm or edits one,
// describes it in a sentence as the user edits, checks it, keeps it in the saved alarms and
// hands it to its delegate (the alarm menu), which activates it. Above the form, the alarm
// item pane's boxes.
class AlarmSetController : public PreferencePane, public AlarmEditor {
    Q_OBJECT
  public:
    explicit AlarmSetController(QString nibName, PaneDelegate delegate = {});
    ~AlarmSetController() override;

    AlarmEditor* alarmEditor() override { return this; }

    // AlarmEditor.
    void showWithAlarm(const std::shared_ptr<Alarm>& alarm) override;
    void setDelegate(AlarmSetControllerDelegate* delegate) override { delegate_ = delegate; }
    const std::shared_ptr<Alarm>& editingOne() const override { return editingOne_; }

    // The form's controls into a form value, and back.
    AlarmForm form() const;
    void setAlarm(const Alarm* alarm);
    // The sentence under the form follows every change.
    void manageDescriptionLabel();
    // Set: the problems together in one alert, or the alarm saved, handed to the delegate
    // and confirmed. The alarm set, when it was.
    std::shared_ptr<Alarm> setButtonPushed();
    void cancelButtonPushed() { showWithAlarm(nullptr); }
    // Says again whether alarms ring after a quit (that is learnt at start, off the page).
    void viewDidShow() override;
    // Removes the saved alarm chosen in the title box.
    void removeAlarmButtonPushed();
    void alarmTimeRadioChanged();
    void comboBoxSelectionDidChange(int index);
    void actDaysCheckBoxSelected();
    void playSoundCheckChanged();
    void speakNameCheckChanged();
    void setSoundPath(const QString& path);
    void setVoiceName(const QString& name);
    // A sound chosen in the sound menu: kept, and "Play sound" ticked.
    void soundChosen(const QString& path);
    // A click on the well shows the sound library's folder.
    void soundWellClicked();
    void helpBtnClicked();
    // Records a message that becomes the alarm's sound.
    void manageReminders();

    // The saved alarms the title box lists, in order.
    const AlarmList& alarmsArray() const { return alarmsArray_; }
    // The user's short time pattern in the sentence (tests: a fixed one).
    void setTimeFormat(QString format) { timeFormat_ = std::move(format); }
    // The confirmation window of the last alarm set, and the alert of the last refusal.
    CustomAlert* customAlert() const { return customAlert_; }
    QString lastAlertText() const { return lastAlertText_; }

    // Controls, for tests and the screenshot tool; null before the view is built.
    QComboBox* titleBox() const { return titleBox_; }
    QRadioButton* timeRadio(int row) const;
    QLineEdit* inTimeField() const { return inTimeField_; }
    QComboBox* inTimeTypePopUp() const { return inTimeTypePopUp_; }
    QCheckBox* repeatCheck() const { return repeatCheck_; }
    QDateEdit* atDatePicker() const { return atDatePicker_; }
    QTimeEdit* atTimePicker() const { return atTimePicker_; }
    QCheckBox* everyDayCheck() const { return everyDayCheck_; }
    QTimeEdit* atAlarmTimePicker() const { return atAlarmTimePicker_; }
    // Monday first.
    QCheckBox* dayCheck(int index) const { return days_[static_cast<std::size_t>(index)]; }
    QCheckBox* foreverCheck() const { return foreverCheck_; }
    QComboBox* snoozeTimePopUp() const { return snoozeTimePopUp_; }
    QCheckBox* playSoundCheck() const { return playSoundCheck_; }
    QPushButton* soundButton() const;
    QCheckBox* shouldFadeInCheck() const;
    QCheckBox* speakNameCheck() const { return speakNameCheck_; }
    QPushButton* voiceButton() const { return voiceButton_; }
    QLabel* descriptionLabel() const { return descriptionLabel_; }
    // Shown while an "At" time has passed: when the alarm rings instead.
    QLabel* passedNoteLabel() const { return passedNoteLabel_; }
    // Shown while alarms cannot ring after a quit.
    QLabel* afterQuitLabel() const { return afterQuitLabel_; }
    QPushButton* removeAlarmButton() const { return removeAlarmButton_; }
    QPushButton* setButton() const { return setButton_; }
    SoundFileWell* soundWell() const;

    static constexpr std::array<int, 8> kSnoozeMinutes = {1, 2, 5, 10, 15, 20, 30, 60};

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    // The title box and Remove.
    void buildTitleBox(QWidget* v, QVBoxLayout* layout);
    // When it rings: "In", "At" a day, "At" on weekdays.
    void buildWhenBox(QWidget* v, QVBoxLayout* layout);
    // The sound, the voice and the snooze.
    void buildHowBox(QWidget* v, QVBoxLayout* layout);
    // The sentence, its notes, the buttons and the links.
    void buildFoot(QWidget* v, QVBoxLayout* layout);
    // What each control does.
    void connectControls();
    void reloadTitles();
    void showProblems(const QStringList& lines);
    void showConfirmation(const Alarm& alarm);
    void showAfterQuit();
    void fillVoiceMenu();

    PaneDelegate delegate2_;
    AlarmSetControllerDelegate* delegate_ = nullptr;
    std::shared_ptr<Alarm> editingOne_;
    AlarmList alarmsArray_;
    QString soundPath_;
    QString voiceName_;
    QString timeFormat_;
    QString lastAlertText_;
    TalvorAlarmViewController itemPane_;
    std::unique_ptr<TextSpeaker> textSpeaker_;
    QPointer<CustomAlert> customAlert_;
    bool filling_ = false;

    QPointer<QWidget> root_;
    QPointer<QComboBox> titleBox_;
    QPointer<QButtonGroup> alarmTimeRadio_;
    QPointer<QLineEdit> inTimeField_;
    QPointer<QComboBox> inTimeTypePopUp_;
    QPointer<QCheckBox> repeatCheck_;
    QPointer<QDateEdit> atDatePicker_;
    QPointer<QTimeEdit> atTimePicker_;
    QPointer<QCheckBox> everyDayCheck_;
    QPointer<QTimeEdit> atAlarmTimePicker_;
    std::array<QPointer<QCheckBox>, AlarmForm::kDays> days_;
    QPointer<QCheckBox> foreverCheck_;
    QPointer<QComboBox> snoozeTimePopUp_;
    QPointer<QCheckBox> playSoundCheck_;
    QPointer<SoundChooser> soundChooser_;
    QPointer<QCheckBox> speakNameCheck_;
    QPointer<QPushButton> voiceButton_;
    QPointer<QMenu> voiceMenu_;
    QPointer<QLabel> descriptionLabel_;
    QPointer<QLabel> passedNoteLabel_;
    QPointer<QLabel> afterQuitLabel_;
    QPointer<QPushButton> removeAlarmButton_;
    QPointer<QPushButton> recordButton_;
    QPointer<QPushButton> cancelButton_;
    QPointer<QPushButton> setButton_;
};

}  // namespace talvor
