#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace talvor {

namespace settings {
template <class Model>
struct Row;
}  // namespace settings

namespace platform {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace platform

// The "Take 5" break settings, kept in the preference domain. Main thread only.
class TalvorTakeABreakSettings {
  public:
    // The defaults; the shared instance is loaded from the domain.
    TalvorTakeABreakSettings();

    // The process-wide object (SharedInstance), loaded on first use.
    static TalvorTakeABreakSettings& sharedInstance();
    // The shared object is loaded from the domain.
    static std::unique_ptr<TalvorTakeABreakSettings> makeShared();

    enum ResetGroup { Numbers };
    // Every stored setting: key, member, stored form, default, archive form, resets.
    static const std::vector<settings::Row<TalvorTakeABreakSettings>>& table();

    // Synchronises the domain (a failure is logged) and reads the six keys; an absent key
    // takes its default.
    void loadPrefs();
    void writePrefs();
    void writePrefsAndSync();
    // Duration 5, frequency 30 and repeat 8, in memory only.
    void resetPrefsToDefaults();

    static QString archiveClassName() { return QStringLiteral("TalvorTakeABreakSettings"); }
    void encodeWithCoder(platform::KeyedArchiver& coder) const;
    static std::optional<TalvorTakeABreakSettings> initWithCoder(
        const platform::KeyedUnarchiver& coder);

    // The break-start sound's default: the built-in sound of that name.
    static QString defaultSoundPath();
    // The break-end sound's default: Basso in the system sounds' cache.
    static QString defaultDurationSoundPath();
    // The file to play for a stored break sound: "Take 5" is the bundled sound of that name,
    // and the break-end default, absent here as it is on most systems, the bundled "Take 5
    // Over"; any other path is itself. None for an empty path.
    static std::optional<QString> soundFile(const QString& stored);
    // The folder of the sounds that come with the program (tests: another).
    static void setBundledSoundsFolder(QString folder);

    bool enableTakeABreak() const { return enableTakeABreak_; }
    void setEnableTakeABreak(bool on) { enableTakeABreak_ = on; }
    // Minutes of a break.
    int32_t takeABreakDuration() const { return takeABreakDuration_; }
    void setTakeABreakDuration(int32_t minutes) { takeABreakDuration_ = minutes; }
    // Minutes of work between breaks.
    int32_t takeABreakFrequency() const { return takeABreakFrequency_; }
    void setTakeABreakFrequency(int32_t minutes) { takeABreakFrequency_ = minutes; }
    // Breaks before the reminders stop.
    int32_t takeABreakRepeat() const { return takeABreakRepeat_; }
    void setTakeABreakRepeat(int32_t times) { takeABreakRepeat_ = times; }
    // Played when a break starts; "Take 5" is the built-in sound.
    const QString& soundPath() const { return soundPath_; }
    void setSoundPath(const QString& path) { soundPath_ = path; }
    // Played when a break ends with Done.
    const QString& durationSoundPath() const { return durationSoundPath_; }
    void setDurationSoundPath(const QString& path) { durationSoundPath_ = path; }

  private:
    // The table gives the defaults.
    bool enableTakeABreak_ = false;
    int32_t takeABreakDuration_ = 0;
    int32_t takeABreakFrequency_ = 0;
    int32_t takeABreakRepeat_ = 0;
    QString soundPath_;
    QString durationSoundPath_;
};

}  // namespace talvor
