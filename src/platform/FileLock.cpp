#include "FileLock.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>

namespace talvor::platform {

FileLock::FileLock(const QString& lockPath, int waitMs) {
    fd_ = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                 0600);
    if (fd_ < 0) {
        state_ = State::NoLockFile;
        return;
    }
    for (int waited = 0; ::flock(fd_, LOCK_EX | LOCK_NB) != 0; waited += 10) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= waitMs) {
            ::close(fd_);
            fd_ = -1;
            state_ = State::Busy;
            return;
        }
        ::usleep(10000);
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
}

QString FileLock::besideFile(const QString& file) {
    const QFileInfo info(file);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".lock");
}

}  // namespace talvor::platform
