#pragma once

#include "platform/Menu.h"

#include <QString>
#include <QStringList>

namespace talvor {

// The folders the pop-up filler reads, in its order. Empty folders of the video editor are
// the Linux case: there is none.
struct SoundMenuFolders {
    QString systemSounds;
    QString talvorSoundLibrary;
    QString userSoundLibrary;
    QString iMovieSounds;
    // The video editor's application resources, and those of its older "HD" edition.
    QString iMovieApp;
    QString iMovieHDApp;

    static SoundMenuFolders defaults();
};

// Appends headed groups of sound files straight from several folders (the stopwatch window,
// the chimes pane).
namespace TalvorLoadSounds {

// Turns off the menu's own enabling and appends the eight groups. Items get `action`
// (none: they stay plain entries) and their path as represented object.
void TalvorLoadSounds(platform::Menu& menu, const platform::MenuAction& action,
                      const SoundMenuFolders& folders = SoundMenuFolders::defaults());
// One group: a disabled header, then one item per readable file of `entries` in `path`;
// nothing when there is no such file.
void TalvorLoadSoundsArray(const QStringList& entries, const QString& path, const QString& title,
                           platform::Menu& menu, const platform::MenuAction& action);

}  // namespace TalvorLoadSounds

namespace TalvorLoadPopUpSounds {
// Fills a pop-up button's menu, when it has one, with no action.
void TalvorLoadSoundInPopUp(platform::Menu* popUpMenu,
                            const SoundMenuFolders& folders = SoundMenuFolders::defaults());
}  // namespace TalvorLoadPopUpSounds

}  // namespace talvor
