#pragma once

#include <QString>

// Preference keys, archive keys of the stored lists and notification names of the alarms room.
namespace talvor::keys {

// Standard user defaults.
inline const QString AcitveAlarmsStoredKey = QStringLiteral("AcitveAlarmsStoredKey");
inline const QString StoredAlarmsKey = QStringLiteral("StoredAlarmsKey");
inline const QString StoredEventsKey = QStringLiteral("StoredEventsKey");

// Chimes, in the preference domain.
inline const QString ChimeStates = QStringLiteral("ChimeStates");
inline const QString ChimeVolume = QStringLiteral("ChimeVolume");
inline const QString QuietStart = QStringLiteral("QuietStart");
inline const QString QuietEnd = QStringLiteral("QuietEnd");
inline const QString chimeVoice = QStringLiteral("chimeVoice");
inline const QString CustomChimeSoundPath = QStringLiteral("CustomChimeSoundPath");
inline const QString ChimeQuarterSoundPath = QStringLiteral("ChimeQuarterSoundPath");
inline const QString ChimeHalfSoundPath = QStringLiteral("ChimeHalfSoundPath");
inline const QString Chime3QuarterSoundPath = QStringLiteral("Chime3QuarterSoundPath");
inline const QString CustomSoundPath = QStringLiteral("CustomSoundPath");
// Distributed: the chime settings changed (object: the "ChimeStates" text, or none).
inline const QString LoadTimerOptionsNotification =
    QStringLiteral("com.marblecastle.talvor.LoadTimerOptions");

// Break reminders, in the preference domain.
inline const QString TalvorEnableTakeABreak = QStringLiteral("TalvorEnableTakeABreak");
inline const QString TalvorTakeABreakDuration = QStringLiteral("TalvorTakeABreakDuration");
inline const QString TalvorTakeABreakFrequency = QStringLiteral("TalvorTakeABreakFrequency");
inline const QString TalvorTakeABreakRepeat = QStringLiteral("TalvorTakeABreakRepeat");
inline const QString TalvorTakeABreakSoundPath = QStringLiteral("TalvorTakeABreakSoundPath");
inline const QString TalvorTakeADurationSoundPath = QStringLiteral("TalvorTakeADurationSoundPath");

// Local notifications.
inline const QString ZephyrelMainMenuWillAppear = QStringLiteral("ZephyrelMainMenuWillAppear");
inline const QString VantrelSoftwareZephyrelWake = QStringLiteral("VantrelSoftware.Zephyrel.Wake");
// Distributed notifications.
inline const QString EventsUpdate = QStringLiteral("EventsUpdate");

}  // namespace talvor::keys
