#pragma once

#include "platform/SoundPlayer.h"

#include <QObject>

#include <vector>

class QAudioOutput;
class QMediaPlayer;

namespace talvor::platform {

// A sound played through Qt Multimedia (GStreamer, PulseAudio). Without an output device
// it stays silent: playing fails at once and the process logs that once.
class QtSoundPlayer : public QObject, public SoundPlayer {
    Q_OBJECT
  public:
    explicit QtSoundPlayer(const QString& path, QObject* parent = nullptr);
    ~QtSoundPlayer() override;

    QString path() const override { return path_; }
    bool play() override;
    void stop() override;
    bool isPlaying() const override { return playing_; }
    float volume() const override;
    void setVolume(float volume) override;
    double duration() const override;
    void whenLoaded(std::function<void()> ready) override;
    QString playbackDeviceIdentifier() const override { return deviceId_; }
    void setPlaybackDeviceIdentifier(const QString& identifier) override;

  private:
    void markLoaded();
    void finish(bool finishedPlaying);

    QString path_;
    QString deviceId_;
    QMediaPlayer* player_ = nullptr;
    QAudioOutput* output_ = nullptr;
    bool playing_ = false;
    bool loaded_ = false;
    std::vector<std::function<void()>> loadWaiters_;
};

class QtSoundSystem : public SoundSystem {
  public:
    std::shared_ptr<SoundPlayer> soundWithContentsOfFile(const QString& path) override;
    std::optional<QString> defaultAlertOutputDeviceIdentifier() const override;
};

}  // namespace talvor::platform
