#include "TalvorTakeABreakSettings.h"

#include "AlarmsKeys.h"
#include "foundation/PreferenceDomain.h"
#include "platform/KeyedArchiver.h"
#include "platform/Paths.h"

namespace talvor {

TalvorTakeABreakSettings::TalvorTakeABreakSettings()
    : soundPath_(defaultSoundPath()), durationSoundPath_(defaultDurationSoundPath()) {}

namespace {
TalvorTakeABreakSettings* gShared = nullptr;
}  // namespace

TalvorTakeABreakSettings& TalvorTakeABreakSettings::sharedInstance() {
    if (gShared == nullptr) {
        gShared = new TalvorTakeABreakSettings();  // lives for the process
        gShared->loadPrefs();
    }
    return *gShared;
}

void TalvorTakeABreakSettings::setSharedInstance(TalvorTakeABreakSettings* settings) {
    gShared = settings;
}

QString TalvorTakeABreakSettings::defaultSoundPath() {
    return QStringLiteral("Take 5");
}

QString TalvorTakeABreakSettings::defaultDurationSoundPath() {
    // The original system's "~/Library/Caches" is the XDG cache folder.
    return platform::Paths::cacheDir() + QStringLiteral("/Clock/Rings/Basso.aiff");
}

void TalvorTakeABreakSettings::loadPrefs() {
    using namespace PreferenceDomain;
    synchronize(QStringLiteral("loading TakeABreak prefs CFPreferencesSynchronize failed"));
    enableTakeABreak_ = readFlag(keys::TalvorEnableTakeABreak, true);
    takeABreakDuration_ = readInteger(keys::TalvorTakeABreakDuration, 5);
    takeABreakFrequency_ = readInteger(keys::TalvorTakeABreakFrequency, 30);
    takeABreakRepeat_ = readInteger(keys::TalvorTakeABreakRepeat, 8);
    soundPath_ = readText(keys::TalvorTakeABreakSoundPath, defaultSoundPath());
    durationSoundPath_ = readText(keys::TalvorTakeADurationSoundPath, defaultDurationSoundPath());
}

void TalvorTakeABreakSettings::writePrefs() {
    using namespace PreferenceDomain;
    writeFlag(keys::TalvorEnableTakeABreak, enableTakeABreak_);
    writeInteger(keys::TalvorTakeABreakDuration, takeABreakDuration_);
    writeInteger(keys::TalvorTakeABreakFrequency, takeABreakFrequency_);
    writeInteger(keys::TalvorTakeABreakRepeat, takeABreakRepeat_);
    writeText(keys::TalvorTakeABreakSoundPath, soundPath_);
    writeText(keys::TalvorTakeADurationSoundPath, durationSoundPath_);
}

void TalvorTakeABreakSettings::writePrefsAndSync() {
    writePrefs();
}

void TalvorTakeABreakSettings::resetPrefsToDefaults() {
    takeABreakDuration_ = 5;
    takeABreakFrequency_ = 30;
    takeABreakRepeat_ = 8;
}

void TalvorTakeABreakSettings::encodeWithCoder(platform::KeyedArchiver& coder) const {
    coder.encodeBool(keys::TalvorEnableTakeABreak, enableTakeABreak_);
    coder.encodeInt32(keys::TalvorTakeABreakDuration, takeABreakDuration_);
    coder.encodeInt32(keys::TalvorTakeABreakFrequency, takeABreakFrequency_);
    coder.encodeInt32(keys::TalvorTakeABreakRepeat, takeABreakRepeat_);
    coder.encodeString(keys::TalvorTakeABreakSoundPath, soundPath_);
    coder.encodeString(keys::TalvorTakeADurationSoundPath, durationSoundPath_);
}

std::optional<TalvorTakeABreakSettings> TalvorTakeABreakSettings::initWithCoder(
    const platform::KeyedUnarchiver& coder) {
    TalvorTakeABreakSettings s;
    s.enableTakeABreak_ = coder.decodeBool(keys::TalvorEnableTakeABreak);
    s.takeABreakDuration_ = coder.decodeInt32(keys::TalvorTakeABreakDuration);
    s.takeABreakFrequency_ = coder.decodeInt32(keys::TalvorTakeABreakFrequency);
    s.takeABreakRepeat_ = coder.decodeInt32(keys::TalvorTakeABreakRepeat);
    s.soundPath_ = coder.decodeString(keys::TalvorTakeABreakSoundPath);
    s.durationSoundPath_ = coder.decodeString(keys::TalvorTakeADurationSoundPath);
    return s;
}

}  // namespace talvor
