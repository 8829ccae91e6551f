#pragma once

#include "platform/Menu.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <memory>
#include <thread>

class QWidget;

namespace talvor {

// Where the sound library copies from. Folders that do not exist copy nothing.
struct SoundSourceFolders {
    // The system's alert sounds: the freedesktop sound theme.
    QString systemSounds;
    // The sounds that come with the application: share/talvor/UserSounds.
    QString userSounds;
    // The video editor's resource folder, whose sound-effect folders are cached; empty on
    // Linux, where there is none.
    QString iMovieResources;
    // The recorded reminder sounds (the reminder code's recordings folder).
    QString reminders;

    static SoundSourceFolders defaults();
};

// The process-wide sound library: private copies of the system sounds (Rings), of the
// bundled and the user's added sounds (Sounds) and of the video editor's effects (iMovie)
// under the cache folder, listed by folder and turned into menus. Sounds are identified by
// their full paths. Folder and copy errors are ignored.
class AudioStorageController {
  public:
    // Creates the cache folders, then starts the background pass on a thread of its own
    // unless told not to. When the pass has run, SoundKeys::SoundLibraryDidLoad is posted
    // on the main thread (never after this library is gone).
    explicit AudioStorageController(SoundSourceFolders sources = SoundSourceFolders::defaults(),
                                    bool startBackgroundPass = true);
    // Stops the background pass between two files and waits for it.
    ~AudioStorageController();
    AudioStorageController(const AudioStorageController&) = delete;
    AudioStorageController& operator=(const AudioStorageController&) = delete;

    static AudioStorageController& sharedController();
    // nullptr restores the process's own library. A library stops being the shared one when
    // it is destroyed.
    static void setSharedController(AudioStorageController* controller);

    // Waits until the background pass, if one was started, has run.
    void waitForBackgroundPass();

    // The cache root: <cache>/Clock/.
    static QString storedSoundsPath();
    // The three caches under the root as it was when this library was made.
    QString soundsFolder() const;
    QString ringsFolder() const;
    QString iMovieFolder() const;

    const SoundSourceFolders& sources() const { return sources_; }
    // The alarm code hands down its recordings folder.
    void setRemindersFolder(const QString& folder) { sources_.reminders = folder; }

    bool isSystemSound(const QString& path) const;
    // Copies each file into Sounds under its own name; a name already there is kept.
    void addAudioFilesWithURLs(const QList<QUrl>& urls) const;
    // Asks for sound files on `parent` (without waiting) and adds the chosen ones.
    static void chooseAudioFilesToAdd(QWidget* parent);

    // Empties the menu, then one item per path: the file name without its extension, the
    // path as represented object, the action.
    static void fillMenu(platform::Menu& menu, const QStringList& fileItems,
                         const platform::MenuAction& action);
    void fillMenuWithSystemSounds(platform::Menu& menu, const platform::MenuAction& action) const;
    void fillMenuWithAddedSounds(platform::Menu& menu, const platform::MenuAction& action) const;
    void fillMenuWithiMovieSounds(platform::Menu& menu, const platform::MenuAction& action) const;
    void fillMenuWithReminderSounds(platform::Menu& menu, const platform::MenuAction& action) const;

    // The background pass, run here and now: system sounds, bundled sounds, the two
    // effect folders.
    void LoadSoundsThread() const;
    void refreshSystemSounds() const;
    void refreshUserSounds() const;
    void refreshiLifeSounds() const;
    void refreshiMovieSounds() const;

    // The sound files of a folder as full paths; in the iMovie cache every file counts.
    QStringList fullPathsContentsAtPath(const QString& folder) const;
    QStringList reminders() const;
    QStringList addedSounds() const;
    QStringList rings() const;
    QStringList imovieSounds() const;

  private:
    // The background pass's own library: the same folders, nothing created or started.
    AudioStorageController(SoundSourceFolders sources, QString cacheRoot,
                           const std::atomic<bool>* cancelled);
    bool cancelled() const { return cancelled_ != nullptr && cancelled_->load(); }

    SoundSourceFolders sources_;
    QString cacheRoot_;
    const std::atomic<bool>* cancelled_ = nullptr;
    // Set by the destructor: the pass stops before its next file.
    std::unique_ptr<std::atomic<bool>> cancel_;
    // Receives the pass's end on the main thread; gone with the library, and so is any
    // end not yet delivered.
    std::unique_ptr<QObject> mainThreadContext_;
    std::thread pass_;
};

}  // namespace talvor
