#pragma once

#include <QString>

#include <sys/types.h>

namespace talvor::platform {

// One running copy of the application per user. The newest copy wins: it asks the one
// already running to quit (SIGTERM, which takes the older copy through its own clean
// shut-down, so its alarms and settings are saved) and waits for it before it goes on.
// Held for the life of the object through an advisory lock on a file that also names the
// holder's process.
class SingleInstance {
  public:
    // `lockPath`: the lock file (its folder is created); by default in the config folder.
    explicit SingleInstance(QString lockPath = QString());
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes over from a running copy, waiting up to `waitMs` for it to quit before it is
    // killed. True once this process holds the lock; false only when the lock cannot be
    // had at all (then the caller runs on without it, logged).
    bool acquire(int waitMs = 15000);
    bool isHeld() const { return fd_ >= 0 && held_; }
    // The process that held the lock before us, if one was asked to quit.
    pid_t replacedProcess() const { return replaced_; }

    const QString& lockPath() const { return path_; }

  private:
    QString path_;
    int fd_ = -1;
    bool held_ = false;
    pid_t replaced_ = 0;
};

}  // namespace talvor::platform
