#include "BoundedFile.h"

#include "Log.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace talvor::platform {
namespace {

QString kindOf(mode_t mode) {
    if (S_ISDIR(mode)) {
        return QStringLiteral("a folder");
    }
    if (S_ISFIFO(mode)) {
        return QStringLiteral("a FIFO");
    }
    if (S_ISCHR(mode)) {
        return QStringLiteral("a character device");
    }
    if (S_ISBLK(mode)) {
        return QStringLiteral("a block device");
    }
    if (S_ISSOCK(mode)) {
        return QStringLiteral("a socket");
    }
    return QStringLiteral("no ordinary file");
}

BoundedRead refused(const QString& path, ReadRefusal refusal, const QString& reason) {
    if (refusal != ReadRefusal::Missing) {
        log(QStringLiteral("Not reading %1: it %2").arg(path, reason));
    }
    return {std::nullopt, refusal, {}, reason};
}

FileVersion versionFrom(const struct stat& st) {
    return {static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino),
            static_cast<qint64>(st.st_size),
            static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

std::optional<FileVersion> versionOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return std::nullopt;
    }
    return versionFrom(st);
}

QString sizeText(qint64 bytes) {
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0) {
        return QStringLiteral("%1 MB").arg(bytes / (1024 * 1024));
    }
    if (bytes >= 1024 && bytes % 1024 == 0) {
        return QStringLiteral("%1 KB").arg(bytes / 1024);
    }
    return QStringLiteral("%1 bytes").arg(bytes);
}

BoundedRead readRegularFile(const QString& path, qint64 maxBytes) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer for ever.
    const Descriptor fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        const int error = errno;
        if (error == ENOENT) {
            return refused(path, ReadRefusal::Missing, QStringLiteral("does not exist"));
        }
        return refused(path, ReadRefusal::Unreadable,
                       QStringLiteral("cannot be opened (%1)")
                           .arg(QString::fromLocal8Bit(std::strerror(error))));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return refused(path, ReadRefusal::Unreadable,
                       QStringLiteral("cannot be examined (%1)")
                           .arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
    if (!S_ISREG(st.st_mode)) {
        return refused(path, ReadRefusal::NotARegularFile,
                       QStringLiteral("is %1, not a regular file").arg(kindOf(st.st_mode)));
    }
    const QString tooLarge = QStringLiteral("is larger than %1").arg(sizeText(maxBytes));
    if (st.st_size > maxBytes) {
        return refused(path, ReadRefusal::TooLarge, tooLarge);
    }
    // The file may grow while we read: never take more than the cap and one byte.
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(st.st_size) + 1);
    qsizetype used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used > maxBytes) {
                return refused(path, ReadRefusal::TooLarge, tooLarge);
            }
            bytes.resize(std::min<qsizetype>(used * 2 + 4096, maxBytes + 1));
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + used, bytes.size() - used);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return refused(path, ReadRefusal::Unreadable,
                           QStringLiteral("cannot be read (%1)")
                               .arg(QString::fromLocal8Bit(std::strerror(errno))));
        }
        if (n == 0) {
            break;
        }
        used += n;
    }
    if (used > maxBytes) {
        return refused(path, ReadRefusal::TooLarge, tooLarge);
    }
    bytes.truncate(used);
    // The version from before the read: a write in place while we read makes it differ from
    // the file's, so that a writer checking against it reads the file again.
    return {std::move(bytes), ReadRefusal::Unreadable, versionFrom(st), QString()};
}

}  // namespace talvor::platform
