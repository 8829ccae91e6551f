#pragma once

#include <QUrl>

#include <functional>
#include <memory>

class QWidget;

namespace talvor::platform {

// A video shown in a window: plays a file from its start, stops on request. Without a video
// output (no Qt Multimedia backend) it shows nothing and says so once in the log.
class VideoPlayer {
  public:
    virtual ~VideoPlayer() = default;
    // The view the picture is drawn in; owned by its parent widget.
    virtual QWidget* view() = 0;
    // Plays `file` from its beginning (again, when it is the file playing).
    virtual void playFromStart(const QUrl& file) = 0;
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;

    using Factory = std::function<std::unique_ptr<VideoPlayer>(QWidget* parent)>;
    // Qt Multimedia's player in a video widget (an empty view without the media module).
    static std::unique_ptr<VideoPlayer> create(QWidget* parent);
};

}  // namespace talvor::platform
