#pragma once

#include "platform/AudioInput.h"

#include <memory>

namespace talvor::platform {

// The audio inputs through Qt Multimedia.
std::unique_ptr<AudioInputSystem> makeQtAudioInputSystem();

}  // namespace talvor::platform
