#include "QtVideoPlayer.h"

#include "platform/Log.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QVideoWidget>

namespace talvor::platform {
namespace {

class QtVideoPlayer : public VideoPlayer {
  public:
    explicit QtVideoPlayer(QWidget* parent)
        : view_(new QVideoWidget(parent)), player_(view_), audio_(view_) {
        view_->setObjectName(QStringLiteral("videoView"));
        audio_.setMuted(true);  // the walkthrough videos have no sound to offer
        player_.setAudioOutput(&audio_);
        player_.setVideoOutput(view_);
        QObject::connect(&player_, &QMediaPlayer::errorOccurred, view_,
                         [](QMediaPlayer::Error, const QString& text) {
                             log(QStringLiteral("Video: %1").arg(text));
                         });
    }
    QWidget* view() override { return view_; }
    void playFromStart(const QUrl& file) override {
        if (player_.source() != file) {
            player_.setSource(file);
        }
        player_.setPosition(0);
        player_.play();
    }
    void stop() override { player_.stop(); }
    bool isPlaying() const override {
        return player_.playbackState() == QMediaPlayer::PlayingState;
    }

  private:
    QVideoWidget* view_;
    QMediaPlayer player_;
    QAudioOutput audio_;
};

}  // namespace

std::unique_ptr<VideoPlayer> makeQtVideoPlayer(QWidget* parent) {
    return std::make_unique<QtVideoPlayer>(parent);
}

}  // namespace talvor::platform
