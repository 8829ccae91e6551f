#include "SingleInstance.h"

#include "Log.h"
#include "Paths.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
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

// Only a copy of this very program is ever asked to quit: a number can be reused.
bool isOurProgram(pid_t pid) {
    const QString ours = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString theirs = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).canonicalFilePath();
    return !ours.isEmpty() && ours == theirs;
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
    fd_ = ::open(QFile::encodeName(path_).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        log(QStringLiteral("Cannot open %1 (%2): another running copy will not be noticed")
                .arg(path_, QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    if (!tryLock(fd_)) {
        bool locked = false;
        pid_t asked = 0;
        bool killed = false;
        for (int waited = 0; !locked && waited < waitMs + 2000; waited += 50) {
            // Asked again whenever the holder changes: a copy started meanwhile may have
            // taken over from the one we asked first.
            const pid_t holder = lockHolder(fd_);
            if (holder > 0 && holder != asked && holder != ::getpid()) {
                asked = holder;
                if (!isOurProgram(holder)) {
                    log(QStringLiteral(
                            "Process %1 holds %2 but is no copy of Talvor; running beside it")
                            .arg(holder)
                            .arg(path_));
                    return false;
                }
                log(QStringLiteral("Asking the running copy (process %1) to quit").arg(holder));
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
