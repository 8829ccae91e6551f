#include "SpeechSynthesizer.h"

#include "Log.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPointer>
#include <QTextToSpeech>
#include <QVoice>

#include <algorithm>
#include <memory>
#include <utility>

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
            finishedSpeaking(false);
            return;
        }
        speaking_ = false;
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
        speaking_ = true;
        tts->say(text);
    }

    void stopSpeaking() override {
        if (QTextToSpeech* tts = engine()) {
            speaking_ = false;
            tts->stop();
        }
        finishedSpeaking(false);
    }

    void setVolume(double volume) override {
        volume_ = volume;
        if (QTextToSpeech* tts = engine()) {
            tts->setVolume(volume < 0 ? defaultVolume_ : std::min(volume, 1.0));
        }
    }

  private:
    // Made on first use: connecting to the speech daemon is slow.
    QTextToSpeech* engine() {
        if (!tried_) {
            tried_ = true;
            startEngine();
        }
        return tts_.data();
    }

    bool startEngine() {
        auto tts = std::make_unique<QTextToSpeech>();
        if (tts->state() == QTextToSpeech::Error &&
            QTextToSpeech::availableEngines().contains(QStringLiteral("flite"))) {
            tts = std::make_unique<QTextToSpeech>(QStringLiteral("flite"));
        }
        if (tts->state() == QTextToSpeech::Error) {
            log(QStringLiteral("No speech engine: voices and spoken hours are off"));
            return false;
        }
        // Owned by the application: it goes with it, not at the static destruction after.
        tts->setParent(QCoreApplication::instance());
        tts_ = tts.release();
        defaultVolume_ = tts_->volume();
        if (volume_ >= 0) {
            tts_->setVolume(std::min(volume_, 1.0));
        }
        QObject::connect(tts_.data(), &QTextToSpeech::stateChanged,
                         [this](QTextToSpeech::State state) {
                             if (speaking_ && state != QTextToSpeech::Speaking &&
                                 state != QTextToSpeech::Paused) {
                                 speaking_ = false;
                                 finishedSpeaking(state == QTextToSpeech::Ready);
                             }
                         });
        return true;
    }

    bool tried_ = false;
    bool speaking_ = false;
    double volume_ = -1;
    double defaultVolume_ = 0.7;
    QPointer<QTextToSpeech> tts_;
};

SpeechSynthesizer* replacement = nullptr;

}  // namespace

SpeechSynthesizer::~SpeechSynthesizer() = default;

void SpeechSynthesizer::speak(const QString& text, const QString& voiceIdentifier,
                              std::function<void(bool spoken)> done) {
    if (auto replaced = std::exchange(done_, {})) {
        replaced(false);
    }
    done_ = std::move(done);
    startSpeaking(text, voiceIdentifier);
}

void SpeechSynthesizer::finishedSpeaking(bool spoken) {
    // The callback may start the next text.
    if (auto done = std::exchange(done_, {})) {
        done(spoken);
    }
}

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
