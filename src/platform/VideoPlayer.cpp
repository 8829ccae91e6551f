#include "VideoPlayer.h"

#include "MediaBackend.h"

#include <QWidget>

namespace talvor::platform {
namespace {

// Without the media module: an empty view where the picture would be.
class NoVideoPlayer : public VideoPlayer {
  public:
    explicit NoVideoPlayer(QWidget* parent) : view_(new QWidget(parent)) {
        view_->setObjectName(QStringLiteral("videoView"));
    }
    QWidget* view() override { return view_; }
    void playFromStart(const QUrl&) override {}
    void stop() override {}
    bool isPlaying() const override { return false; }

  private:
    QWidget* view_;
};

}  // namespace

std::unique_ptr<VideoPlayer> VideoPlayer::create(QWidget* parent) {
    if (MediaBackend* media = mediaBackend()) {
        return media->videoPlayer(parent);
    }
    return std::make_unique<NoVideoPlayer>(parent);
}

}  // namespace talvor::platform
