#include "SingleInstance.h"

#include "Log.h"
#include "Paths.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace talvor::platform {
namespace {

pid_t readHolder(int fd) {
    char buf[32] = {};
    const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
    if (n <= 0) {
        return 0;
    }
    const long pid = std::strtol(buf, nullptr, 10);
    return pid > 0 ? static_cast<pid_t>(pid) : 0;
}

bool tryLock(int fd) {
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

}  // namespace

SingleInstance::SingleInstance(QString lockPath)
    : path_(lockPath.isEmpty() ? Paths::configDir() + QStringLiteral("/instance.lock") : std::move(lockPath)) {}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) {
        if (held_) {
            ::ftruncate(fd_, 0);
            ::flock(fd_, LOCK_UN);
        }
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
        const pid_t older = readHolder(fd_);
        if (older > 0 && older != ::getpid()) {
            log(QStringLiteral("Asking the running copy (process %1) to quit").arg(older));
            replaced_ = older;
            ::kill(older, SIGTERM);
        }
        bool locked = false;
        for (int waited = 0; waited < waitMs; waited += 50) {
            ::usleep(50000);
            if (tryLock(fd_)) {
                locked = true;
                break;
            }
        }
        if (!locked && older > 0 && older != ::getpid()) {
            log(QStringLiteral("The running copy (process %1) did not quit; stopping it").arg(older));
            ::kill(older, SIGKILL);
            for (int waited = 0; waited < 2000 && !locked; waited += 50) {
                ::usleep(50000);
                locked = tryLock(fd_);
            }
        }
        if (!locked) {
            log(QStringLiteral("Another copy keeps %1; running beside it").arg(path_));
            return false;
        }
    }
    held_ = true;
    const QByteArray pid = QByteArray::number(static_cast<qint64>(::getpid())) + '\n';
    if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, pid.constData(), static_cast<size_t>(pid.size()), 0) < 0) {
        log(QStringLiteral("Cannot note this process in %1").arg(path_));
    }
    return true;
}

}  // namespace talvor::platform
