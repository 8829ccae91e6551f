#pragma once

#include "platform/VideoPlayer.h"

#include <memory>

namespace talvor::platform {

// Qt Multimedia's player in a video widget.
std::unique_ptr<VideoPlayer> makeQtVideoPlayer(QWidget* parent);

}  // namespace talvor::platform
