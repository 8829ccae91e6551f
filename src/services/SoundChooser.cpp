#include "SoundChooser.h"

#include "platform/Menu.h"
#include "platform/MenuMirror.h"
#include "platform/SoundPlayer.h"
#include "services/AudioStorageController.h"
#include "services/SoundFadeOut.h"
#include "services/SoundKeys.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

namespace talvor {
SoundChooser::SoundChooser(Parts parts, QWidget* parent)
    : QWidget(parent),
      parts_(std::move(parts)),
      soundsMenu_(platform::Menu::create(QStringLiteral("Sounds"))) {
    setObjectName(QStringLiteral("soundChooser"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    row_ = new QHBoxLayout;
    column->addLayout(row_);
    soundButton_ = new QPushButton(tr("Select Sound"), this);
    soundButton_->setObjectName(QStringLiteral("selectSoundButton"));
    soundButton_->setMinimumWidth(140);
    soundsMirror_ = new platform::MenuMirror(soundsMenu_, soundButton_);
    soundButton_->setMenu(soundsMirror_->menu());
    connect(soundsMirror_->menu(), &QMenu::aboutToShow, this, [this] { rebuildSoundMenu(); });
    row_->addWidget(soundButton_, 1);
    playButton_ = new QPushButton(tr("Play"), this);
    playButton_->setObjectName(QStringLiteral("playButton"));
    row_->addWidget(playButton_);
    connect(playButton_, &QPushButton::clicked, this, [this] { playButtonPushed(); });
    if (parts_.fadeIn) {
        fadeInCheck_ = new QCheckBox(tr("Fade in"), this);
        fadeInCheck_->setObjectName(QStringLiteral("shouldFadeInCheck"));
        row_->addWidget(fadeInCheck_);
    }
    if (parts_.addFile) {
        chooseFileButton_ = new QPushButton(tr("Add File..."), this);
        chooseFileButton_->setObjectName(QStringLiteral("chooseFileButton"));
        row_->addWidget(chooseFileButton_);
        connect(chooseFileButton_, &QPushButton::clicked, this, [this] { chooseAudioFile(); });
    }
    if (parts_.well) {
        makeWell();
        column->addWidget(well_);
    }
    showSound(QString());
}

SoundChooser::~SoundChooser() {
    stopPreview();
    if (AlarmSoundMenuContructor::sharedConstructor().target() == this) {
        AlarmSoundMenuContructor::sharedConstructor().setTarget(nullptr);
    }
}

void SoundChooser::makeWell() {
    well_ = new SoundFileWell(this);
    well_->setObjectName(QStringLiteral("soundWell"));
    well_->setDelegate(this);
    well_->setToolTip(
        tr("Drop sound files here to add them to the sound library; click "
           "to see the library's folder."));
    auto* wellLayout = new QHBoxLayout(well_);
    wellLayout->setContentsMargins(6, 4, 6, 4);
    auto* wellText = new QLabel(tr("Drop sound files here"), well_);
    wellText->setEnabled(false);
    wellLayout->addWidget(wellText, 0, Qt::AlignCenter);
    well_->setMinimumHeight(40);
    wellClicked_ = platform::NotificationCenter::defaultCenter().addObserver(
        SoundKeys::SoundFileWellClicked, platform::senderObject(well_.data()),
        [this](const platform::Notification&) { emit wellClicked(); });
}

void SoundChooser::addToRow(QWidget* widget) {
    row_->addWidget(widget);
}

std::optional<QString> SoundChooser::playableFile() const {
    if (parts_.fileOf) {
        return parts_.fileOf(shown_);
    }
    return shown_.isEmpty() ? std::nullopt : std::optional<QString>(shown_);
}

void SoundChooser::showSound(const QString& path) {
    shown_ = path;
    const bool builtIn = path.isEmpty() || path == parts_.builtInPath;
    soundButton_->setText(builtIn ? tr("Select Sound") : QFileInfo(path).completeBaseName());
    playButton_->setEnabled(active_ && playableFile().has_value());
}

void SoundChooser::setActive(bool on) {
    active_ = on;
    soundButton_->setEnabled(on);
    if (fadeInCheck_) {
        fadeInCheck_->setEnabled(on);
    }
    playButton_->setEnabled(on && playableFile().has_value());
}

void SoundChooser::stopPreview() {
    previewRepeat_.cancel();
    if (demoSound_) {
        demoSound_->stop();
        demoSound_.reset();
    }
}

void SoundChooser::playButtonPushed() {
    stopPreview();
    const std::optional<QString> file = playableFile();
    if (!file) {
        return;
    }
    demoSound_ = platform::SoundSystem::shared().soundWithContentsOfFile(*file);
    if (demoSound_) {
        FadeOut::playFor(demoSound_, 20.0, 10.0);
    }
}

void SoundChooser::chooseAudioFile() {
    AudioStorageController::chooseAudioFilesToAdd(this);
}

void SoundChooser::rebuildSoundMenu() {
    AlarmSoundMenuContructor& constructor = AlarmSoundMenuContructor::sharedConstructor();
    constructor.setTarget(this);
    constructor.setObjectMenu(soundsMenu_);
    constructor.constructMenu(parts_.recordTitle);
}

void SoundChooser::soundSelected(platform::MenuItem& sender) {
    const QString path = sender.representedObject().toString();
    if (path.isEmpty()) {
        return;
    }
    stopPreview();
    if (parts_.repeatSystemSound &&
        AudioStorageController::sharedController().isSystemSound(path)) {
        previewRepeat_ = Repeat::playSoundAtPath(path, 3);
    }
    emit soundChosen(path);
}

void SoundChooser::manageReminders(platform::MenuItem&) {
    emit recordAsked();
}

void SoundChooser::imageDragDidEnd() {
    if (well_ && !well_->url().isEmpty()) {
        AudioStorageController::sharedController().addAudioFilesWithURLs({well_->url()});
    }
}

}  // namespace talvor
