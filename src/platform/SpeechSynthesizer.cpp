#include "SpeechSynthesizer.h"

#include "Log.h"

#include <QLocale>
#include <QTextToSpeech>
#include <QVoice>

#include <memory>

namespace talvor::platform {
namespace {

// Voices are named "locale/name": Qt gives a voice no identifier of its own, and the
// same name can exist in several locales.
QString voiceIdentifier(const QLocale& locale, const QVoice& voice) {
    return locale.name() + QLatin1Char('/') + voice.name();
}

Voice::Gender genderOf(QVoice::Gender gender) {
    switch (gender) {
        case QVoice::Male:
            return Voice::Gender::Male;
        case QVoice::Female:
            return Voice::Gender::Female;
        default:
            return Voice::Gender::Neuter;
    }
}

class QtSpeechSynthesizer : public SpeechSynthesizer {
  public:
    std::vector<Voice> availableVoices() override {
        std::vector<Voice> out;
        QTextToSpeech* tts = engine();
        if (tts == nullptr) {
            return out;
        }
        // Qt lists only the current locale's voices: walk every locale.
        const QLocale current = tts->locale();
        for (const QLocale& locale : tts->availableLocales()) {
            tts->setLocale(locale);
            for (const QVoice& voice : tts->availableVoices()) {
                out.push_back({voiceIdentifier(locale, voice), voice.name(),
                               genderOf(voice.gender()), QVoice::ageName(voice.age())});
            }
        }
        tts->setLocale(current);
        return out;
    }

    QString defaultVoice() override {
        QTextToSpeech* tts = engine();
        return tts == nullptr ? QString() : voiceIdentifier(tts->locale(), tts->voice());
    }

    void startSpeaking(const QString& text, const QString& voiceId) override {
        QTextToSpeech* tts = engine();
        if (tts == nullptr) {
            return;
        }
        tts->stop();
        const qsizetype slash = voiceId.indexOf(QLatin1Char('/'));
        if (slash > 0) {
            tts->setLocale(QLocale(voiceId.left(slash)));
            const QString name = voiceId.mid(slash + 1);
            for (const QVoice& voice : tts->availableVoices()) {
                if (voice.name() == name) {
                    tts->setVoice(voice);
                    break;
                }
            }
        }
        tts->say(text);
    }

    void stopSpeaking() override {
        if (QTextToSpeech* tts = engine()) {
            tts->stop();
        }
    }

  private:
    // Made on first use: connecting to the speech daemon is slow.
    QTextToSpeech* engine() {
        if (!tried_) {
            tried_ = true;
            tts_ = std::make_unique<QTextToSpeech>();
            if (tts_->state() == QTextToSpeech::Error &&
                QTextToSpeech::availableEngines().contains(QStringLiteral("flite"))) {
                tts_ = std::make_unique<QTextToSpeech>(QStringLiteral("flite"));
            }
            if (tts_->state() == QTextToSpeech::Error) {
                log(QStringLiteral("No speech engine: voices and spoken hours are off"));
                tts_.reset();
            }
        }
        return tts_.get();
    }

    bool tried_ = false;
    std::unique_ptr<QTextToSpeech> tts_;
};

SpeechSynthesizer* replacement = nullptr;

}  // namespace

SpeechSynthesizer::~SpeechSynthesizer() = default;

SpeechSynthesizer& SpeechSynthesizer::shared() {
    if (replacement != nullptr) {
        return *replacement;
    }
    static QtSpeechSynthesizer real;
    return real;
}

void SpeechSynthesizer::setShared(SpeechSynthesizer* synthesizer) {
    replacement = synthesizer;
}

}  // namespace talvor::platform
