#pragma once

#include <QString>

namespace talvor::platform {

// An exclusive advisory lock (flock) on a lock file, held for the object's lifetime. Every
// copy of the program that writes a file takes the lock beside it first, so that their
// read-modify-writes never interleave. The lock file is made when missing and never removed
// (removing it would let two writers hold two different files).
class FileLock {
  public:
    enum class State { Locked, NoLockFile, Busy };

    // Waits up to `waitMs` for another holder; `Busy` past it.
    FileLock(const QString& lockPath, int waitMs);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    State state() const { return state_; }

    // "<folder>/.<name>.lock": the lock of one file.
    static QString besideFile(const QString& file);

  private:
    int fd_ = -1;
    State state_ = State::Locked;
};

}  // namespace talvor::platform
