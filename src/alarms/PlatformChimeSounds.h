#pragma once

#include "TalvorChimeSettings.h"

#include <memory>

namespace talvor {

namespace platform {
class SoundPlayer;
}

// The chimes' sounds and spoken hour through the platform: sounds from
// platform::SoundSystem::shared() on the alert-sound device, the hour through
// platform::SpeechSynthesizer::shared(). Main thread only.
class PlatformChimeSounds : public ChimeSoundPort {
  public:
    // The process's port, made on first use and kept for the process.
    static PlatformChimeSounds& shared();

    bool playChimeSound(const QString& path, double volume,
                        std::function<void()> finished) override;
    bool loadVoice(const QString& voiceId, double volume) override;
    // Cuts short any text being spoken (an alarm's title goes on to its sound).
    void speak(const QString& text) override;

  private:
    std::shared_ptr<platform::SoundPlayer> playing_;
    QString voiceId_;
    double voiceVolume_ = -1;
};

}  // namespace talvor
