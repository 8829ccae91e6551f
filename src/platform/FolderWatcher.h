#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

class QSocketNotifier;

namespace talvor::platform {

// Watches folders (not each file in them) with inotify: an entry added, removed, renamed,
// written or changed in its attributes fires `changed` with the folder and the entry's name,
// the folder itself going away with an empty name. One watch per folder, however many files
// it holds, so a calendar of 10,000 events costs one watch, not 10,000. Without inotify (or
// past the user's limit of watches) the folders not watched are given back, and said once in
// the log.
class FolderWatcher : public QObject {
    Q_OBJECT
  public:
    explicit FolderWatcher(QObject* parent = nullptr);
    ~FolderWatcher() override;

    // Watches exactly these folders from now on; returns those that cannot be watched.
    QStringList setFolders(const QStringList& folders);
    QStringList folders() const { return byPath_.keys(); }

    // Whether every change to the folder's files reaches `changed`: it is watched and lies on
    // a local file system (a network one does not report other machines' writes).
    bool seesEveryChange(const QString& folder) const { return local_.contains(folder); }
    // Reports the changes made so far at once, without waiting for the event loop: after it,
    // a file the watch has said nothing about is as it was.
    void poll() { readEvents(); }

  signals:
    void changed(const QString& folder, const QString& name);

  private:
    void readEvents();

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QHash<QString, int> byPath_;
    QHash<int, QString> byWatch_;
    QSet<QString> local_;
    bool failureLogged_ = false;
};

}  // namespace talvor::platform
