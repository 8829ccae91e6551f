#include "TextSpeaker.h"

#include "platform/Menu.h"
#include "platform/SpeechSynthesizer.h"

#include <vector>

namespace talvor {

TextSpeaker::TextSpeaker(platform::SpeechSynthesizer* synthesizer) : synthesizer_(synthesizer) {}

TextSpeaker::~TextSpeaker() {
    alive_.reset();  // the end this stop reports is not told to anyone
    if (speaking_) {
        synthesizer().stopSpeaking();
    }
}

platform::SpeechSynthesizer& TextSpeaker::synthesizer() const {
    return synthesizer_ != nullptr ? *synthesizer_ : platform::SpeechSynthesizer::shared();
}

QStringList TextSpeaker::voiceNames() const {
    QStringList names;
    for (const platform::Voice& voice : synthesizer().availableVoices()) {
        names << voice.name;
    }
    return names;
}

int TextSpeaker::indexOfVoice(const QString& name) const {
    return static_cast<int>(voiceNames().indexOf(name)) + 1;
}

void TextSpeaker::fillMenuWithVoices(
    platform::Menu& menu, const std::function<void(platform::MenuItem&)>& voiceSelected) const {
    std::shared_ptr<platform::MenuItem> first =
        menu.numberOfItems() > 0 ? menu.itemArray().front() : nullptr;
    menu.removeAllItems();
    if (first) {
        menu.addItem(first);
    }
    for (const QString& name : voiceNames()) {
        menu.addItemWithTitle(name, voiceSelected)->setRepresentedObject(name);
    }
}

void TextSpeaker::speakText(const QString& text, int voiceIndex) {
    const std::vector<platform::Voice> voices = synthesizer().availableVoices();
    QString voiceId;
    if (voiceIndex >= 1 && voiceIndex <= static_cast<int>(voices.size())) {
        voiceId = voices[static_cast<std::size_t>(voiceIndex - 1)].identifier;
    }
    speaking_ = true;
    // The chimes may have set a volume of their own.
    synthesizer().setVolume(-1);
    const std::weak_ptr<int> alive = alive_;
    synthesizer().speak(text, voiceId, [this, alive](bool) {
        if (alive.expired()) {
            return;
        }
        speaking_ = false;
        if (delegate_ != nullptr) {
            delegate_->textSpeakerFinishedSpeakingText(*this);
        }
    });
}

}  // namespace talvor
