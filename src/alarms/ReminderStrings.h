#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QComboBox;

namespace talvor {

// One recorded message: its title and its sound file.
class StringContainer {
  public:
    // Each is set only when it is not empty.
    static StringContainer containerWithStringValue(const QString& title, const QString& soundPath);

    const QString& stringValue() const { return reminderString_; }
    void setStringValue(const QString& title) { reminderString_ = title; }
    const QString& soundPath() const { return soundPath_; }
    void setSoundPath(const QString& path) { soundPath_ = path; }
    // The title when it begins with `prefix`.
    std::optional<QString> completeString(const QString& prefix) const;

    // Two entries are the same recording when their files are.
    friend bool operator==(const StringContainer& a, const StringContainer& b) {
        return a.soundPath_ == b.soundPath_;
    }

  private:
    QString reminderString_;
    QString soundPath_;
};

// The recorded messages: the sound files of one folder, titled by their names, shown in a
// combo box most recent first. The list keeps at most 15 entries; a file leaves the folder
// only when nothing (no entry, no alarm, count-down or break) still names it.
class ReminderStrings : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxEntries = 15;
    // Longest file name made from a title, in characters, extension excluded.
    static constexpr int kMaxNameLength = 120;

    // The sound paths something still plays: saved and active alarms, count-downs, breaks.
    using References = std::function<QSet<QString>()>;

    // The folder of the recordings, "Zephyrel/Recordings" in the user's data folder, created
    // with its parents when missing (a failure is not reported).
    static QString soundDirectory();
    // What the program's own records name (the default `References`).
    static QSet<QString> soundPathsInUse();
    // A title made into a file name (no extension) that stays inside the folder: no "/" or
    // "\", no control characters, no leading dot, at most kMaxNameLength characters. None
    // when nothing is left.
    static std::optional<QString> fileNameForTitle(const QString& title);

    explicit ReminderStrings(QString folder = soundDirectory(), References references = {});

    // Lists the playable sound files of the folder (newest first) and refills the combo box.
    void refreshContent();
    void attachToComboBox(QComboBox* comboBox);
    // The recording joins the list at the top (an entry of the same file first leaves it) and
    // is selected. Beyond kMaxEntries, the oldest entry whose file nothing names is dropped
    // and its file deleted.
    void addReminderString(const QString& title, const QString& soundPath);
    // Deletes the selected recording's file and selects the entry before it.
    void removeCurrentSound();
    // Deletes the file when it lies directly in the folder and nothing names it any more.
    bool reclaimSound(const QString& path);

    // The selected entry's file; empty without a selection.
    QString currentSoundPath() const;
    void setCurrentSoundPath(const QString& path);
    // The combo box's text.
    QString currentStringValue() const;
    void setCurrentStringValue(const QString& title);
    QString soundPathAtIndex(int index) const;
    const std::vector<StringContainer>& containers() const { return stringContainers_; }
    const QString& folder() const { return folder_; }

  signals:
    // "ReminderChangedNotification": the selection changed (delivered on the next turn).
    void reminderChanged();

  private:
    void reloadComboBox();
    int currentIndex() const;

    QString folder_;
    References references_;
    std::vector<StringContainer> stringContainers_;
    QPointer<QComboBox> comboBox_;
};

}  // namespace talvor
