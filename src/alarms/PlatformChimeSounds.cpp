#include "PlatformChimeSounds.h"

#include "platform/Log.h"
#include "platform/SoundPlayer.h"
#include "platform/SpeechSynthesizer.h"
#include "services/AlertSound.h"

namespace talvor {

PlatformChimeSounds& PlatformChimeSounds::shared() {
    static auto* port = new PlatformChimeSounds();  // lives for the process
    return *port;
}

bool PlatformChimeSounds::playChimeSound(const QString& path, double volume,
                                         std::function<void()> finished) {
    std::shared_ptr<platform::SoundPlayer> sound =
        platform::SoundSystem::shared().soundWithContentsOfFile(path);
    if (!sound) {
        platform::log(QStringLiteral("The chime sound %1 cannot be played").arg(path));
        return false;
    }
    if (volume >= 0) {
        sound->setVolume(static_cast<float>(volume));
    }
    if (const std::optional<QString> device = AlertSound::alertSoundAlertDeviceIdentifier()) {
        sound->setPlaybackDeviceIdentifier(*device);
    }
    const std::weak_ptr<platform::SoundPlayer> weak = sound;
    sound->didFinishPlaying = [this, weak, finished = std::move(finished)](bool) {
        // Kept until its end: the strike that follows is made by `finished`.
        const std::shared_ptr<platform::SoundPlayer> ended = weak.lock();
        if (ended && playing_ == ended) {
            playing_.reset();
        }
        if (finished) {
            finished();
        }
    };
    if (playing_) {
        playing_->didFinishPlaying = nullptr;
        playing_->stop();
    }
    playing_ = sound;
    if (!sound->play()) {
        playing_.reset();
        return false;
    }
    return true;
}

bool PlatformChimeSounds::loadVoice(const QString& voiceId, double volume) {
    // The engine is asked only when the hour is first spoken: reaching the speech daemon is
    // slow, and a missing one says so once in the log then.
    voiceId_ = voiceId;
    voiceVolume_ = volume;
    return true;
}

void PlatformChimeSounds::speak(const QString& text) {
    platform::SpeechSynthesizer& speech = platform::SpeechSynthesizer::shared();
    speech.setVolume(voiceVolume_);
    speech.speak(text, voiceId_, {});
}

}  // namespace talvor
