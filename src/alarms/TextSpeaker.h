#pragma once

#include <QString>
#include <QStringList>

#include <any>
#include <functional>
#include <memory>

namespace talvor {

namespace platform {
class Menu;
class MenuItem;
class SpeechSynthesizer;
}  // namespace platform

class TextSpeaker;

// Told when a spoken text has ended.
class TextSpeakerDelegate {
  public:
    virtual ~TextSpeakerDelegate() = default;
    virtual void textSpeakerFinishedSpeakingText(TextSpeaker& speaker) = 0;
};

// Speaks an alarm's title with a voice chosen by name, and lists the voices. Each text is
// one request to the synthesizer that ends with it (nothing stays open per text), and its
// end always reaches the delegate, whatever window is open at the time. Main thread only.
class TextSpeaker {
  public:
    // The synthesizer must outlive the speaker; none: the shared one.
    explicit TextSpeaker(platform::SpeechSynthesizer* synthesizer = nullptr);
    ~TextSpeaker();
    TextSpeaker(const TextSpeaker&) = delete;
    TextSpeaker& operator=(const TextSpeaker&) = delete;

    // The names of all voices, in the engine's order (voice indexes count from 1).
    QStringList voiceNames() const;
    // The index (from 1) of the voice with that name; 0 when there is none.
    int indexOfVoice(const QString& name) const;
    // Keeps the first item, then one item per voice name, its name as represented object,
    // calling `voiceSelected`.
    void fillMenuWithVoices(platform::Menu& menu,
                            const std::function<void(platform::MenuItem&)>& voiceSelected) const;
    // Speaks with the voice at the index (from 1); an index without a voice speaks with the
    // default voice. The delegate hears of the end, spoken or not.
    void speakText(const QString& text, int voiceIndex);
    bool isSpeaking() const { return speaking_; }

    TextSpeakerDelegate* delegate() const { return delegate_; }
    void setDelegate(TextSpeakerDelegate* delegate) { delegate_ = delegate; }
    // The alarm being spoken.
    const std::any& context() const { return context_; }
    void setContext(std::any context) { context_ = std::move(context); }

  private:
    platform::SpeechSynthesizer& synthesizer() const;

    platform::SpeechSynthesizer* synthesizer_;
    TextSpeakerDelegate* delegate_ = nullptr;
    std::any context_;
    bool speaking_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace talvor
