#include "SingleInstance.h"

#include "Log.h"
#include "Paths.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace talvor::platform {
namespace {

// The process that holds the lock now, as the kernel knows it (not what a file says: a
// crashed holder leaves its number behind). 0 when nobody holds it.
pid_t lockHolder(int fd) {
    struct flock query {};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    if (::fcntl(fd, F_GETLK, &query) != 0 || query.l_type == F_UNLCK) {
        return 0;
    }
    return query.l_pid;
}

bool tryLock(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    while (::fcntl(fd, F_SETLK, &lock) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// What the holder runs, for the log: after an upgrade the link ends in " (deleted)".
QString programOf(pid_t pid) {
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    return exe.isEmpty() ? QStringLiteral("unknown program") : exe;
}

// The lock file itself, never what a link planted at its place points to: opening a link's
// target would truncate someone else's file. A link is removed (that harms no target);
// anything else that is not a plain file is left alone and refused.
int openLockFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd =
            ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (fd < 0 && errno == ELOOP && attempt == 0 && ::unlink(name.constData()) == 0) {
            log(QStringLiteral("%1 was a symbolic link; replaced it by a lock file").arg(path));
            continue;
        }
        if (fd < 0) {
            log(QStringLiteral("Cannot open %1 (%2): another running copy will not be noticed")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
            return -1;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            log(QStringLiteral("%1 is no plain file: another running copy will not be noticed")
                    .arg(path));
            return -1;
        }
        return fd;
    }
    return -1;
}

}  // namespace

SingleInstance::SingleInstance(QString lockPath)
    : path_(lockPath.isEmpty() ? Paths::configDir() + QStringLiteral("/instance.lock")
                               : std::move(lockPath)) {}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) {
        if (held_) {
            ::ftruncate(fd_, 0);
        }
        // Closing releases the lock.
        ::close(fd_);
    }
}

bool SingleInstance::acquire(int waitMs) {
    if (held_) {
        return true;
    }
    Paths::makePath(QFileInfo(path_).absolutePath());
    fd_ = openLockFile(path_);
    if (fd_ < 0) {
        return false;
    }
    if (!tryLock(fd_)) {
        bool locked = false;
        pid_t asked = 0;
        bool killed = false;
        for (int waited = 0; !locked && waited < waitMs + 2000; waited += 50) {
            // Asked again whenever the holder changes: a copy started meanwhile may have
            // taken over from the one we asked first. Whoever holds a lock in our own folder
            // is a copy of Talvor, whatever it runs now: one replaced by an upgrade, or one
            // installed elsewhere (the kernel names the live holder, so no number left by a
            // crash is ever signalled).
            const pid_t holder = lockHolder(fd_);
            if (holder > 0 && holder != asked && holder != ::getpid()) {
                asked = holder;
                log(QStringLiteral("Asking the running copy (process %1, %2) to quit")
                        .arg(holder)
                        .arg(programOf(holder)));
                replaced_ = holder;
                ::kill(holder, SIGTERM);
            } else if (holder > 0 && holder == asked && !killed && waited >= waitMs) {
                log(QStringLiteral("The running copy (process %1) did not quit; stopping it")
                        .arg(holder));
                ::kill(holder, SIGKILL);
                killed = true;
            }
            ::usleep(50000);
            locked = tryLock(fd_);
        }
        if (!locked) {
            log(QStringLiteral("Another copy keeps %1; running beside it").arg(path_));
            return false;
        }
    }
    held_ = true;
    const QByteArray pid = QByteArray::number(static_cast<qint64>(::getpid())) + '\n';
    if (::ftruncate(fd_, 0) != 0 ||
        ::pwrite(fd_, pid.constData(), static_cast<size_t>(pid.size()), 0) < 0) {
        log(QStringLiteral("Cannot note this process in %1").arg(path_));
    }
    return true;
}

}  // namespace talvor::platform
