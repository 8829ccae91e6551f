#include "ReminderController.h"

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/SoundPlayer.h"
#include "platform/WindowPlacement.h"
#include "platform/Workspace.h"
#include "services/SoundRecorder.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace talvor {
namespace {

// The default input through the sound recorder.
class InputRecorder : public ReminderRecorder {
  public:
    explicit InputRecorder(const QString& path) : recorder_(path) {}
    bool start() override {
        if (auto e = recorder_.prepare()) {
            platform::log(QStringLiteral("Recording: %1").arg(e->domain));
            return false;
        }
        if (auto e = recorder_.start()) {
            platform::log(QStringLiteral("Recording: %1").arg(e->domain));
            return false;
        }
        return true;
    }
    void stop() override {
        recorder_.stop();
        recorder_.release();
    }
    QString file() const override { return recorder_.file(); }

  private:
    SoundRecorder recorder_;
};

Date now() {
    return platform::Clock::shared().now();
}

}  // namespace

ReminderController::ReminderController(QString folder, QWidget* parent)
    : QWidget(parent, Qt::Window),
      reminderStrings_(std::make_unique<ReminderStrings>(std::move(folder))),
      makeRecorder_([](const QString& path) { return std::make_unique<InputRecorder>(path); }) {
    setObjectName(QStringLiteral("ReminderController"));
    setWindowTitle(tr("Recorded Messages"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Title:"), this), 0, 0);
    reminderTitle_ = new QLineEdit(this);
    reminderTitle_->setObjectName(QStringLiteral("reminderTitle"));
    grid->addWidget(reminderTitle_, 0, 1);
    recordButton_ = new QPushButton(tr("Record"), this);
    recordButton_->setObjectName(QStringLiteral("recordButton"));
    recordButton_->setCheckable(true);
    grid->addWidget(recordButton_, 0, 2);
    stopButton_ = new QPushButton(tr("Stop"), this);
    stopButton_->setObjectName(QStringLiteral("stopButton"));
    grid->addWidget(stopButton_, 0, 3);
    progressIndicator_ = new QProgressBar(this);
    progressIndicator_->setObjectName(QStringLiteral("progressIndicator"));
    progressIndicator_->setRange(0, static_cast<int>(kMaxSeconds / kTick));
    progressIndicator_->setTextVisible(false);
    grid->addWidget(progressIndicator_, 1, 1, 1, 3);
    grid->addWidget(new QLabel(tr("Messages:"), this), 2, 0);
    comboBox_ = new QComboBox(this);
    comboBox_->setObjectName(QStringLiteral("comboBox"));
    grid->addWidget(comboBox_, 2, 1);
    playButton_ = new QPushButton(tr("Play"), this);
    playButton_->setObjectName(QStringLiteral("playButton"));
    grid->addWidget(playButton_, 2, 2);
    deleteButton_ = new QPushButton(tr("Delete"), this);
    deleteButton_->setObjectName(QStringLiteral("deleteButton"));
    grid->addWidget(deleteButton_, 2, 3);
    layout->addLayout(grid);
    statusLine_ = new QLabel(this);
    statusLine_->setObjectName(QStringLiteral("statusLine"));
    statusLine_->setWordWrap(true);
    layout->addWidget(statusLine_);
    auto* buttons = new QHBoxLayout;
    auto* folderButton = new QPushButton(tr("Show Folder"), this);
    folderButton->setObjectName(QStringLiteral("soundFolderButton"));
    buttons->addWidget(folderButton);
    buttons->addStretch(1);
    cancelButton_ = new QPushButton(tr("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    buttons->addWidget(cancelButton_);
    okButton_ = new QPushButton(tr("OK"), this);
    okButton_->setObjectName(QStringLiteral("okButton"));
    okButton_->setDefault(true);
    buttons->addWidget(okButton_);
    layout->addLayout(buttons);

    reminderStrings_->attachToComboBox(comboBox_);
    connect(reminderStrings_.get(), &ReminderStrings::reminderChanged, this,
            [this] { updatePlayButton(); });
    connect(reminderTitle_, &QLineEdit::textChanged, this, [this] { updateRecordButton(); });
    connect(recordButton_, &QPushButton::toggled, this, [this](bool on) {
        if (on) {
            startRecording();
        } else {
            stopRecording();
        }
    });
    connect(stopButton_, &QPushButton::clicked, this, [this] { stopRecording(); });
    connect(playButton_, &QPushButton::clicked, this, [this] { playSound(); });
    connect(deleteButton_, &QPushButton::clicked, this, [this] { deleteSound(); });
    connect(okButton_, &QPushButton::clicked, this, [this] { acceptReminder(); });
    connect(cancelButton_, &QPushButton::clicked, this, [this] { close(); });
    connect(folderButton, &QPushButton::clicked, this, [this] {
        platform::Workspace::shared().openURL(QUrl::fromLocalFile(reminderStrings_->folder()));
    });
    exitRecording();
    updateRecordButton();
    resize(520, 200);
}

ReminderController::~ReminderController() {
    stopRecordingAndSave(false);
}

ReminderController& ReminderController::sharedInstance() {
    static QPointer<ReminderController> shared;
    if (!shared) {
        shared = new ReminderController();
        shared->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    return *shared;
}

Take5ReminderController& Take5ReminderController::sharedInstance() {
    static QPointer<Take5ReminderController> shared;
    if (!shared) {
        shared = new Take5ReminderController();
    }
    return *shared;
}

void ReminderController::show() {
    runWithAlarm(nullptr);
}

void ReminderController::runWithAlarm(const std::shared_ptr<Alarm>& alarm) {
    playButton_->setEnabled(false);
    recordButton_->setEnabled(false);
    deleteButton_->setEnabled(false);
    reminderTitle_->clear();
    reminderStrings_->refreshContent();
    if (!isVisible()) {
        reminderStrings_->setCurrentSoundPath(QString());
    }
    curAlarm_ = alarm;
    if (alarm && !alarm->title().isEmpty()) {
        reminderStrings_->setCurrentStringValue(alarm->title());
    }
    updatePlayButton();
    if (!isVisible()) {
        platform::placeInFreeArea(*this);
    }
    QWidget::show();
    raise();
    activateWindow();
}

QString ReminderController::reminderString() const {
    return reminderStrings_->currentStringValue();
}

QString ReminderController::soundPath() const {
    return reminderStrings_->currentSoundPath();
}

void ReminderController::updateRecordButton() {
    if (!isRecording_) {
        recordButton_->setEnabled(!reminderTitle_->text().trimmed().isEmpty());
    }
}

void ReminderController::updatePlayButton() {
    if (playingSound_) {
        playingSound_->stop();
        playingSound_.reset();
        playButton_->setText(tr("Play"));
    }
    const bool selected = !soundPath().isEmpty();
    playButton_->setEnabled(selected && !isRecording_);
    deleteButton_->setEnabled(selected && !isRecording_);
}

void ReminderController::prepareForRecording() {
    playButton_->setEnabled(false);
    deleteButton_->setEnabled(false);
    okButton_->setEnabled(false);
    comboBox_->setEnabled(false);
    stopButton_->setEnabled(true);
    cancelButton_->setEnabled(true);
    progressIndicator_->setValue(0);
}

void ReminderController::exitRecording() {
    const bool selected = !soundPath().isEmpty();
    playButton_->setEnabled(selected);
    deleteButton_->setEnabled(selected);
    okButton_->setEnabled(true);
    comboBox_->setEnabled(true);
    stopButton_->setEnabled(false);
    cancelButton_->setEnabled(true);
    const QSignalBlocker block(recordButton_);
    recordButton_->setChecked(false);
    recordButton_->setText(tr("Record"));
    updateRecordButton();
}

QString ReminderController::scratchPath() const {
    return reminderStrings_->folder() + QStringLiteral("/.recording.m4a");
}

void ReminderController::startRecording() {
    recordTimer_.cancel();
    const std::optional<QString> name = ReminderStrings::fileNameForTitle(reminderTitle_->text());
    if (!name) {
        statusLine_->setText(tr("The title needs letters or digits to name the recording."));
        exitRecording();
        return;
    }
    recordingTitle_ = *name;
    QDir().mkpath(reminderStrings_->folder());
    audioRecorder_ = makeRecorder_(scratchPath());
    if (!audioRecorder_ || !audioRecorder_->start()) {
        audioRecorder_.reset();
        statusLine_->setText(tr("Nothing can be recorded: no microphone is available."));
        exitRecording();
        return;
    }
    statusLine_->clear();
    isRecording_ = true;
    prepareForRecording();
    recordStart_ = now();
    recordTimer_ = platform::Scheduler::shared().scheduleRepeating(
        recordStart_.addingTimeInterval(kTick), kTick, [this] { timerTick(); });
    const QSignalBlocker block(recordButton_);
    recordButton_->setChecked(true);
    recordButton_->setEnabled(true);
    recordButton_->setText(tr("Stop Recording"));
}

double ReminderController::progress() const {
    return isRecording_ ? std::clamp(now().timeIntervalSince(recordStart_), 0.0, kMaxSeconds) : 0.0;
}

void ReminderController::timerTick() {
    progressIndicator_->setValue(static_cast<int>(progress() / kTick));
    if (progress() >= kMaxSeconds) {
        stopRecording();
    }
}

void ReminderController::stopRecording() {
    stopRecordingAndSave(true);
    exitRecording();
}

void ReminderController::stopRecordingAndSave(bool save) {
    if (!isRecording_) {
        return;
    }
    isRecording_ = false;
    recordTimer_.cancel();
    if (progressIndicator_) {
        progressIndicator_->setValue(0);
    }
    QString written;
    if (audioRecorder_) {
        audioRecorder_->stop();
        written = audioRecorder_->file();
        audioRecorder_.reset();
    }
    if (!written.isEmpty() && QFileInfo::exists(written)) {
        if (save) {
            const QString suffix = QFileInfo(written).suffix();
            const QString target = reminderStrings_->folder() + QLatin1Char('/') + recordingTitle_ +
                                   QLatin1Char('.') + suffix;
            // The new recording takes the place of one under the same title: its path, which
            // alarms may name, stays valid.
            QFile::remove(target);
            if (QFile::rename(written, target)) {
                reminderStrings_->refreshContent();
                reminderStrings_->addReminderString(recordingTitle_, target);
            } else {
                platform::log(QStringLiteral("The recording could not be kept as %1").arg(target));
                QFile::remove(written);
            }
        } else {
            QFile::remove(written);
        }
    }
    if (reminderStrings_ && playButton_) {
        updatePlayButton();
    }
}

void ReminderController::deleteSound() {
    reminderStrings_->removeCurrentSound();
    updatePlayButton();
}

void ReminderController::acceptReminder() {
    const QString title = reminderString();
    const QString path = soundPath();
    if (curAlarm_) {
        curAlarm_->setTitle(title);
        curAlarm_->setSoundPath(path);
    }
    if (accepted_ && !path.isEmpty()) {
        accepted_(title, path);
    }
    reminderStrings_->setCurrentSoundPath(QString());
    close();
}

void ReminderController::playSound() {
    if (playingSound_) {
        playingSound_->stop();
        playingSound_.reset();
        playButton_->setText(tr("Play"));
        return;
    }
    const QString path = soundPath();
    if (path.isEmpty()) {
        return;
    }
    playingSound_ = platform::SoundSystem::shared().soundWithContentsOfFile(path);
    if (!playingSound_) {
        return;
    }
    platform::log(QStringLiteral("playingSound %1").arg(path));
    QPointer<ReminderController> self(this);
    playingSound_->didFinishPlaying = [self](bool) {
        if (self) {
            self->playingSound_.reset();
            self->playButton_->setText(tr("Play"));
        }
    };
    playingSound_->play();
    playButton_->setText(tr("Stop"));
}

void ReminderController::closeEvent(QCloseEvent* event) {
    stopRecordingAndSave(false);
    if (playingSound_) {
        playingSound_->stop();
        playingSound_.reset();
    }
    exitRecording();
    reminderStrings_->setCurrentSoundPath(QString());
    QWidget::closeEvent(event);
}

}  // namespace talvor
