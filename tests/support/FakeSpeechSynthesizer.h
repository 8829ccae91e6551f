#pragma once

#include "platform/SpeechSynthesizer.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace talvor::test {

// Voices as given; every text spoken is written down as "voice: text". A text ends only when
// the test says so (finishSpeaking).
class FakeSpeechSynthesizer : public platform::SpeechSynthesizer {
  public:
    std::vector<platform::Voice> availableVoices() override { return voices; }
    QString defaultVoice() override { return defaultVoiceId; }
    void startSpeaking(const QString& text, const QString& voice) override {
        spoken << voice + QStringLiteral(": ") + text;
    }
    void stopSpeaking() override {
        ++stops;
        finishedSpeaking(false);
    }
    void setVolume(double v) override { volume = v; }
    // The text being spoken comes to its end.
    void finishSpeaking() { finishedSpeaking(true); }

    std::vector<platform::Voice> voices;
    QString defaultVoiceId;
    QStringList spoken;
    int stops = 0;
    double volume = -1;
};

}  // namespace talvor::test
