#pragma once

#include <QString>

#include <optional>

namespace talvor {

// The output device of alert sounds, so that chimes can be played there.
class AlertSound {
  public:
    // The device's identifier; nullopt when it cannot be read.
    static std::optional<QString> alertSoundAlertDeviceIdentifier();
};

}  // namespace talvor
