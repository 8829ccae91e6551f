#pragma once

#include <QString>

#include <cstdint>
#include <functional>
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
    // 0..1; negative: the engine's own volume.
    virtual void setVolume(double volume) = 0;

    // startSpeaking, then `done` once when that text ends: true when it was spoken to the
    // end, false when it was stopped, replaced by another text or could not be spoken.
    void speak(const QString& text, const QString& voiceIdentifier,
               std::function<void(bool spoken)> done);
    // Whether a `done` is still waiting for its text to end.
    bool isWaitingForEnd() const { return static_cast<bool>(done_); }

    // The process-wide synthesiser (Qt TextToSpeech unless replaced).
    static SpeechSynthesizer& shared();
    // nullptr restores the real one.
    static void setShared(SpeechSynthesizer* synthesizer);

  protected:
    // Implementations call this when the text started last ends, or is stopped.
    void finishedSpeaking(bool spoken);

  private:
    std::function<void(bool)> done_;
};

}  // namespace talvor::platform
