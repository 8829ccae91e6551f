#pragma once

#include "Alarm.h"
#include "ReminderStrings.h"
#include "platform/Scheduler.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <memory>

namespace talvor {

namespace platform {
class SoundPlayer;
}

// Records the microphone into one file.
class ReminderRecorder {
  public:
    virtual ~ReminderRecorder() = default;
    // False when nothing can be recorded (no input, no writer).
    virtual bool start() = 0;
    // Ends and completes the file.
    virtual void stop() = 0;
    // The file written (its extension may differ from the one asked for).
    virtual QString file() const = 0;
};

// The recorded-message window: a title, a record toggle (at most 10 seconds), the list of
// recordings with play and delete, OK and Cancel. A recording is made into a scratch file
// and takes its title's name only when kept, so a discarded one never harms the recording
// it would have replaced.
class ReminderController : public QWidget {
    Q_OBJECT
  public:
    static constexpr double kMaxSeconds = 10.0;
    static constexpr double kTick = 0.05;

    using RecorderFactory = std::function<std::unique_ptr<ReminderRecorder>(const QString& path)>;

    explicit ReminderController(QString folder = ReminderStrings::soundDirectory(),
                                QWidget* parent = nullptr);
    ~ReminderController() override;

    // The window of the alarm editor, made on first use.
    static ReminderController& sharedInstance();

    void show();
    // Opens the window for `alarm` (none: a new message), its title selected when listed.
    void runWithAlarm(const std::shared_ptr<Alarm>& alarm);
    // Told the title and file of the message chosen with OK.
    void setAccepted(std::function<void(const QString& title, const QString& path)> accepted) {
        accepted_ = std::move(accepted);
    }
    // Tests: where recordings come from (default: the default input through the recorder).
    void setRecorderFactory(RecorderFactory factory) { makeRecorder_ = std::move(factory); }

    QString reminderString() const;
    QString soundPath() const;
    void startRecording();
    void stopRecording();
    void stopRecordingAndSave(bool save);
    void timerTick();
    void deleteSound();
    void acceptReminder();
    void playSound();
    void updateRecordButton();
    void updatePlayButton();

    bool isRecording() const { return isRecording_; }
    // Seconds recorded so far.
    double progress() const;
    ReminderStrings& reminderStrings() { return *reminderStrings_; }
    QComboBox* comboBox() const { return comboBox_; }
    QLineEdit* reminderTitle() const { return reminderTitle_; }
    QPushButton* recordButton() const { return recordButton_; }
    QPushButton* playButton() const { return playButton_; }
    QPushButton* deleteButton() const { return deleteButton_; }
    QPushButton* okButton() const { return okButton_; }
    QLabel* statusLine() const { return statusLine_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void prepareForRecording();
    void exitRecording();
    QString scratchPath() const;

    std::unique_ptr<ReminderStrings> reminderStrings_;
    std::shared_ptr<Alarm> curAlarm_;
    std::unique_ptr<ReminderRecorder> audioRecorder_;
    std::shared_ptr<platform::SoundPlayer> playingSound_;
    platform::TimerHandle recordTimer_;
    Date recordStart_;
    bool isRecording_ = false;
    QString recordingTitle_;
    RecorderFactory makeRecorder_;
    std::function<void(const QString&, const QString&)> accepted_;

    QPointer<QComboBox> comboBox_;
    QPointer<QLineEdit> reminderTitle_;
    QPointer<QPushButton> recordButton_;
    QPointer<QPushButton> stopButton_;
    QPointer<QPushButton> playButton_;
    QPointer<QPushButton> deleteButton_;
    QPointer<QPushButton> okButton_;
    QPointer<QPushButton> cancelButton_;
    QPointer<QProgressBar> progressIndicator_;
    QPointer<QLabel> statusLine_;
};

// The same window for the count-down and break sound menus, a separate one with its own list.
class Take5ReminderController : public ReminderController {
    Q_OBJECT
  public:
    using ReminderController::ReminderController;
    static Take5ReminderController& sharedInstance();
};

}  // namespace talvor
