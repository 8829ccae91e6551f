#include "QtSoundPlayer.h"

#include "platform/Log.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QUrl>

#include <algorithm>
#include <atomic>

namespace talvor::platform {
namespace {

// One line per process, however many sounds find no device.
void noteMissingOutput() {
    static std::atomic<bool> said{false};
    if (!said.exchange(true)) {
        log(QStringLiteral("no audio output device: sounds stay silent"));
    }
}

QAudioDevice outputDevice(const QString& id) {
    if (!id.isEmpty()) {
        for (const QAudioDevice& d : QMediaDevices::audioOutputs()) {
            if (QString::fromUtf8(d.id()) == id) {
                return d;
            }
        }
    }
    return QMediaDevices::defaultAudioOutput();
}

}  // namespace

QtSoundPlayer::QtSoundPlayer(const QString& path, QObject* parent)
    : QObject(parent),
      path_(path),
      player_(new QMediaPlayer(this)),
      output_(new QAudioOutput(this)) {
    output_->setDevice(outputDevice(QString()));
    player_->setAudioOutput(output_);
    connect(player_, &QMediaPlayer::durationChanged, this, [this](qint64 ms) {
        if (ms > 0) {
            markLoaded();
        }
    });
    connect(player_, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus s) {
        switch (s) {
            case QMediaPlayer::LoadedMedia:
            case QMediaPlayer::BufferedMedia:
                markLoaded();
                break;
            case QMediaPlayer::InvalidMedia:
                markLoaded();
                finish(false);
                break;
            case QMediaPlayer::EndOfMedia:
                finish(true);
                break;
            default:
                break;
        }
    });
    connect(player_, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error, const QString& text) {
                log(QStringLiteral("sound %1: %2").arg(path_, text));
                markLoaded();
                finish(false);
            });
    player_->setSource(QUrl::fromLocalFile(path_));
}

QtSoundPlayer::~QtSoundPlayer() {
    didFinishPlaying = nullptr;
    player_->disconnect(this);
    player_->stop();
}

bool QtSoundPlayer::play() {
    if (playing_) {
        return false;
    }
    if (output_->device().isNull()) {
        noteMissingOutput();
        return false;
    }
    playing_ = true;
    player_->setPosition(0);
    player_->play();
    return true;
}

void QtSoundPlayer::stop() {
    playing_ = false;
    player_->stop();
}

float QtSoundPlayer::volume() const {
    return output_->volume();
}

void QtSoundPlayer::setVolume(float volume) {
    output_->setVolume(std::clamp(volume, 0.0f, 1.0f));
}

double QtSoundPlayer::duration() const {
    return static_cast<double>(player_->duration()) / 1000.0;
}

void QtSoundPlayer::whenLoaded(std::function<void()> ready) {
    if (loaded_) {
        ready();
    } else {
        loadWaiters_.push_back(std::move(ready));
    }
}

void QtSoundPlayer::setPlaybackDeviceIdentifier(const QString& identifier) {
    deviceId_ = identifier;
    output_->setDevice(outputDevice(identifier));
}

void QtSoundPlayer::markLoaded() {
    if (loaded_) {
        return;
    }
    loaded_ = true;
    auto waiters = std::move(loadWaiters_);
    loadWaiters_.clear();
    for (auto& w : waiters) {
        w();
    }
}

void QtSoundPlayer::finish(bool finishedPlaying) {
    if (!playing_) {
        return;
    }
    playing_ = false;
    if (didFinishPlaying) {
        auto callback = didFinishPlaying;
        callback(finishedPlaying);
    }
}

std::shared_ptr<SoundPlayer> QtSoundSystem::soundWithContentsOfFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        return nullptr;
    }
    if (QMediaDevices::audioOutputs().isEmpty()) {
        noteMissingOutput();
    }
    return std::make_shared<QtSoundPlayer>(info.absoluteFilePath());
}

std::optional<QString> QtSoundSystem::defaultAlertOutputDeviceIdentifier() const {
    // PulseAudio and PipeWire have no separate alert sink: alerts go to the default output.
    const QAudioDevice d = QMediaDevices::defaultAudioOutput();
    if (d.isNull()) {
        return std::nullopt;
    }
    return QString::fromUtf8(d.id());
}

}  // namespace talvor::platform
