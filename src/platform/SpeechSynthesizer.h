#pragma once

#include <QString>

#include <vector>

namespace talvor::platform {

// A voice the speech engine offers. The identifier is what settings store.
struct Voice {
    enum class Gender { Neuter, Male, Female };

    QString identifier;
    QString name;
    Gender gender = Gender::Neuter;
    QString age;
};

// Speaks text with a chosen voice. Main thread only. With no speech engine there are no
// voices and nothing is spoken.
class SpeechSynthesizer {
  public:
    virtual ~SpeechSynthesizer();

    // Every voice, in the engine's order.
    virtual std::vector<Voice> availableVoices() = 0;
    // The engine's default voice; empty when there is none.
    virtual QString defaultVoice() = 0;
    // Stops what is being spoken, then speaks `text` with the voice (empty or unknown: the
    // default voice).
    virtual void startSpeaking(const QString& text, const QString& voiceIdentifier) = 0;
    virtual void stopSpeaking() = 0;

    // The process-wide synthesiser (Qt TextToSpeech unless replaced).
    static SpeechSynthesizer& shared();
    // nullptr restores the real one.
    static void setShared(SpeechSynthesizer* synthesizer);
};

}  // namespace talvor::platform
