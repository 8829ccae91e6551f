#include "AlertSound.h"

#include "platform/SoundPlayer.h"

namespace talvor {

std::optional<QString> AlertSound::alertSoundAlertDeviceIdentifier() {
    return platform::SoundSystem::shared().defaultAlertOutputDeviceIdentifier();
}

}  // namespace talvor
