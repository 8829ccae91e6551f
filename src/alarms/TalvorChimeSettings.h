#pragma once

#include "ChimeStates.h"
#include "platform/Date.h"
#include "platform/Scheduler.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace talvor {

class StringsBundle;
namespace settings {
template <class Model>
struct Row;
}  // namespace settings

// What the chimes need of the sound and speech services; the sounds room provides it.
class ChimeSoundPort {
  public:
    virtual ~ChimeSoundPort();
    // Plays the sound file on the alert-sound device at `volume` (0-1; negative: the file's
    // own volume) and calls `finished` on the main thread when it has ended. False when the
    // file cannot be played.
    virtual bool playChimeSound(const QString& path, double volume,
                                std::function<void()> finished) = 0;
    // Makes the speaker of the hour with the voice (empty: the default voice) and the volume
    // (negative: the default). False when no speaker can be made.
    virtual bool loadVoice(const QString& voiceId, double volume) = 0;
    virtual void speak(const QString& text) = 0;
};

// The chime settings and the chime engine: once a minute, a sound at a quarter, half or
// three-quarter hour, and at the full hour the spoken hour and the hour strikes, all
// silenced in the quiet hours. Main thread only.
class TalvorChimeSettings {
  public:
    // init: loads the settings. Without a sound port every chime is the system beep and
    // nothing is spoken. The port must outlive the settings.
    explicit TalvorChimeSettings(ChimeSoundPort* sounds = nullptr);
    ~TalvorChimeSettings();
    TalvorChimeSettings(const TalvorChimeSettings&) = delete;
    TalvorChimeSettings& operator=(const TalvorChimeSettings&) = delete;

    // Reads "ChimeStates", "ChimeVolume", "QuietStart", "QuietEnd" and "chimeVoice" from the
    // preference domain (synchronised first when a sender is given) and makes the speaker.
    void LoadTimerOptions(const QVariant& sender = QVariant());
    // Writes the settings the table holds (not synchronised). The chimes pane writes its
    // controls itself; this keeps a model's settings in the same place.
    void writePrefs() const;

    // Every stored setting: key, member, stored form, default.
    static const std::vector<settings::Row<TalvorChimeSettings>>& table();

    // Called with the start of each minute (second 0; any other second does nothing). A
    // minute is chimed at most once, so that a realigned tick cannot chime it twice. Spoken
    // texts come from the bundle's table "LocalizableMETalvor2".
    void doChimesIfNeeded(Date date, const StringsBundle& bundle);

    // Whether hh*100+mm lies in the quiet hours, start and end included (none when the start
    // is 0 or equals the end); a start after the end runs across midnight.
    bool isInQuietHours(int32_t hhmm) const;

    void startChimeQuarter();
    void startChimeHalf();
    void startChime3Quarter();
    // The first hour strike.
    void startChime();
    // One hour strike; the next follows 0.25 s after it ends while strikes are left.
    void HoursSounds();

    int32_t myChimeHourCnt() const { return myChimeHourCnt_; }
    void setMyChimeHourCnt(int32_t count) { myChimeHourCnt_ = count; }
    int32_t QuietStart() const { return QuietStart_; }
    void setQuietStart(int32_t hhmm) { QuietStart_ = hhmm; }
    int32_t QuietEnd() const { return QuietEnd_; }
    void setQuietEnd(int32_t hhmm) { QuietEnd_ = hhmm; }
    int32_t bSpeakHour() const { return states_.bSpeakHour; }
    void setBSpeakHour(int32_t on) { states_.bSpeakHour = on; }
    int32_t bPlayChimes() const { return states_.bPlayChimes; }
    void setBPlayChimes(int32_t on) { states_.bPlayChimes = on; }
    int32_t oClockFlag() const { return states_.OClockFlag; }
    void setOClockFlag(int32_t on) { states_.OClockFlag = on; }
    int32_t bChimeHour() const { return states_.bChimeHour; }
    void setBChimeHour(int32_t on) { states_.bChimeHour = on; }
    int32_t bChimeHalf() const { return states_.bChimeHalf; }
    void setBChimeHalf(int32_t on) { states_.bChimeHalf = on; }
    int32_t bChimeQuarter() const { return states_.bChimeQuarter; }
    void setBChimeQuarter(int32_t on) { states_.bChimeQuarter = on; }
    int32_t bChime3Quarter() const { return states_.bChime3Quarter; }
    void setBChime3Quarter(int32_t on) { states_.bChime3Quarter = on; }
    int32_t bChimeOnlyOnce() const { return states_.bChimeOnlyOnce; }
    void setBChimeOnlyOnce(int32_t on) { states_.bChimeOnlyOnce = on; }
    // 1-255, or -1: each sound at its own volume.
    int64_t chimeVolume() const { return chimeVolume_; }
    void setChimeVolume(int64_t volume) { chimeVolume_ = volume; }
    // The voice identifier; empty: the default voice.
    const QString& chimeVoice() const { return chimeVoice_; }

  private:
    double volume() const;
    // Plays the sound whose path the key holds; nothing when none is stored, the beep when it
    // cannot be played. True when a sound started.
    bool loadSoundWithKey(const QString& key);
    void soundDidFinishPlaying(uint64_t serial);

    ChimeSoundPort* sounds_;
    bool hasSpeaker_ = false;
    uint64_t chimeSoundSerial_ = 0;  // identifies the chime sound loaded last
    std::optional<int64_t> lastChimedMinute_;
    platform::TimerHandle WarnTimerHour_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);

    int32_t myChimeHourCnt_ = 0;
    int32_t QuietStart_ = 0;
    int32_t QuietEnd_ = 0;
    ChimeStates states_;  // the on/off fields, stored together
    int64_t chimeVolume_ = -1;
    QString chimeVoice_;
};

}  // namespace talvor
