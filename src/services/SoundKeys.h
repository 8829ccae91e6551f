#pragma once

#include <QString>

namespace talvor::SoundKeys {

// Local notification posted by a sound well when it is clicked; the object is the well.
inline const QString SoundFileWellClicked = QStringLiteral("SoundFileWellClicked");

// Local notification posted on the main thread when the sound library's background pass has
// filled its folders: sound menus built before then are rebuilt.
inline const QString SoundLibraryDidLoad = QStringLiteral("TalvorSoundLibraryDidLoad");

// The resource folder of the sounds that come with the application.
inline const QString UserSounds = QStringLiteral("UserSounds");
// A bundled sound of old versions, removed from the sound cache after the copy.
inline const QString AlarmLongDigitalWatch = QStringLiteral("Alarm_Long_Digital_Watch.mp3");

}  // namespace talvor::SoundKeys
