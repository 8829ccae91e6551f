#pragma once

#include "PaneDelegate.h"
#include "PreferencePane.h"
#include "alarms/ChimeStates.h"
#include "platform/NotificationCenter.h"
#include "platform/SpeechSynthesizer.h"
#include "services/TalvorLoadSounds.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace talvor {

namespace platform {
class SoundPlayer;
class SoundSystem;
}  // namespace platform

// What the chimes pane plays, speaks and asks with.
struct ChimesPaneServices {
    // Null: the process-wide ones.
    platform::SoundSystem* sounds = nullptr;
    platform::SpeechSynthesizer* speech = nullptr;
    // Asks for one sound file, starting at the path (empty: home), and returns at once;
    // `chosen` gets the file, or none when cancelled. Empty: a file dialog.
    std::function<void(const QString& startPath,
                       std::function<void(std::optional<QString> file)> chosen)>
        chooseSoundFile;
    SoundMenuFolders folders = SoundMenuFolders::defaults();
    // The current hour, for the voice preview; empty: the clock's.
    std::function<int()> currentHour;
};

// The "Chimes" pane: spoken and struck hours, the four chime sounds, the voice, the volume
// and the quiet hours. Every change is stored in the preference domain, announced with
// "com.marblecastle.talvor.LoadTimerOptions" and reloaded by the application's chimes.
class TalvorPrefsChimesView : public PreferencePane {
    Q_OBJECT
  public:
    // The sound pop-ups, in the order of `soundMenu`.
    enum class Chime { Hour, Quarter, Half, ThreeQuarter };

    explicit TalvorPrefsChimesView(QString nibName, PaneDelegate delegate = {},
                                   ChimesPaneServices services = {});
    ~TalvorPrefsChimesView() override;

    static Manual::Section helpPage() { return Manual::Section::Chimes; }
    static QString soundKey(Chime chime);
    // "Using volume %3.0f%%" for a slider value.
    static QString volumeToolTip(int value);
    // The voice's tool tip: name, gender and age.
    static QString voiceToolTip(const platform::Voice& voice);

    void SaveChimerOptions();
    void LoadChimeOptions();
    // Plays the pop-up's sound; its "choose a file" item asks for the file first.
    void menuPlaySoundSelected(Chime chime);
    // Asks for a file for the pop-up; on OK stores it and gives it to the selected item.
    // `done` learns whether a file was chosen.
    void GetSoundFile(Chime chime, std::function<void(bool chosen)> done);
    void setChimeVolume();
    void quitTimePeriod(bool start);
    void setChimeOptions(int column);
    void speakHours();
    void playChimes();
    void menuVoiceSettings();
    void menuOpenVoiceSettings();
    void helpBtnClicked();
    void OnVersionNoClicked();

    // Null until the view is built.
    QComboBox* voiceMenu() const { return voiceMenu_; }
    QComboBox* soundMenu(Chime chime) const { return soundMenus_[static_cast<int>(chime)]; }
    QCheckBox* SpeakHour() const { return SpeakHour_; }
    QCheckBox* PlayChimes() const { return PlayChimes_; }
    QButtonGroup* ChimeOnlyOnce() const { return ChimeOnlyOnce_; }
    QComboBox* QuietStart() const { return QuietStart_; }
    QComboBox* QuietEnd() const { return QuietEnd_; }
    QSlider* Volume() const { return Volume_; }
    // The sound playing as a test; null when none.
    platform::SoundPlayer* myTestSound() const { return myTestSound_.get(); }

    // Shown again: what another process stored shows; leaving: what the controls show is
    // stored.
    void viewDidShow() override;
    void viewWillHide() override;

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    // Plays the pop-up's selected sound and stores the choice.
    void playSelectedSound(Chime chime);
    ChimeStates statesFromControls() const;
    void stopTestSound();
    void selectVoice();
    void fillVoices();
    void loadSoundMenu(Chime chime);
    // The fixed items, then the sound groups.
    void fillSoundMenu(QComboBox& menu) const;
    // The sound library's copying ended: the groups again, the stored choices kept.
    void reloadSoundMenus();
    void store();

    PaneDelegate delegate_;
    ChimesPaneServices services_;
    QPointer<QComboBox> voiceMenu_;
    std::array<QPointer<QComboBox>, 4> soundMenus_;
    // The item each sound pop-up showed before the current choice.
    std::array<int, 4> shownSound_{};
    QPointer<QCheckBox> SpeakHour_;
    QPointer<QCheckBox> PlayChimes_;
    QPointer<QButtonGroup> ChimeOnlyOnce_;
    QPointer<QComboBox> QuietStart_;
    QPointer<QComboBox> QuietEnd_;
    QPointer<QSlider> Volume_;
    QPointer<QPushButton> btnHelpVersionNo_;
    std::shared_ptr<platform::SoundPlayer> myTestSound_;
    platform::SpeechSynthesizer* speechTime_ = nullptr;
    platform::Observation libraryLoaded_;
};

}  // namespace talvor
