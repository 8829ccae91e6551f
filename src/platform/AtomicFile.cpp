#include "AtomicFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace talvor::platform {
namespace {

QString errnoText(const char* what, int err) {
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what),
                                        QString::fromLocal8Bit(std::strerror(err)));
}

bool writeAll(int fd, const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// "<folder>/.<name>.XXXXXX", as mkstemp fills it in.
QString temporaryTemplate(const QFileInfo& info) {
    return info.absolutePath() + QLatin1Char('/') + QLatin1Char('.') + info.fileName() +
           QStringLiteral(".XXXXXX");
}

}  // namespace

QString resolvedFilePath(const QString& path, QString* error) {
    QString current = QFileInfo(path).absoluteFilePath();
    // As many hops as the kernel allows before it calls it a loop.
    for (int hops = 0; hops < 40; ++hops) {
        char target[4096];
        const ssize_t n = ::readlink(QFile::encodeName(current).constData(), target, sizeof target);
        if (n < 0) {
            if (errno == EINVAL || errno == ENOENT) {
                return current;
            }
            if (error != nullptr) {
                *error = errnoText("cannot follow the link", errno);
            }
            return QString();
        }
        const QString next = QFile::decodeName(QByteArray(target, n));
        current = QDir::cleanPath(QFileInfo(next).isAbsolute() ? next
                                                               : QFileInfo(current).absolutePath() +
                                                                     QLatin1Char('/') + next);
    }
    if (error != nullptr) {
        *error = errnoText("cannot follow the link", ELOOP);
    }
    return QString();
}

int removeUnfinishedWrites(const QString& path) {
    const QString real = resolvedFilePath(path);
    if (real.isEmpty()) {
        return 0;
    }
    const QFileInfo info(real);
    const QString prefix = QLatin1Char('.') + info.fileName() + QLatin1Char('.');
    const qsizetype length = temporaryTemplate(info).size() - info.absolutePath().size() - 1;
    int removed = 0;
    for (const QFileInfo& leftover :
         QDir(info.absolutePath())
             .entryInfoList({prefix + QStringLiteral("??????")}, QDir::Files | QDir::Hidden)) {
        if (leftover.fileName().size() == length && !leftover.isSymLink() &&
            QFile::remove(leftover.absoluteFilePath())) {
            ++removed;
        }
    }
    return removed;
}

bool writeFileAtomically(const QString& path, const QByteArray& contents, QString* error) {
    // A linked file (a dotfile manager's) is replaced where it really lies, however many
    // links lead there; the links stay.
    const QString real = resolvedFilePath(path, error);
    if (real.isEmpty()) {
        return false;
    }
    const QFileInfo info(real);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    QByteArray tmpl = QFile::encodeName(temporaryTemplate(info));
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        if (error != nullptr) {
            *error = errnoText("cannot create a temporary file", errno);
        }
        return false;
    }
    // Keep the permissions of the file being replaced; a new file is private to the user.
    struct stat st;
    ::fchmod(fd, ::stat(target.constData(), &st) == 0 ? (st.st_mode & 07777) : 0600);

    bool ok = writeAll(fd, contents);
    int err = errno;
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        err = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(tmpl.constData(), target.constData()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(tmpl.constData());
        if (error != nullptr) {
            *error = errnoText("cannot write the file", err);
        }
        return false;
    }
    const QByteArray dir = QFile::encodeName(info.absolutePath());
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

QString moveAsideCorrupt(const QString& linkOrPath) {
    // The damaged file itself goes aside; a link to it stays and leads to the next write.
    const QString path = resolvedFilePath(linkOrPath);
    if (path.isEmpty()) {
        return QString();
    }
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = path + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n) {
        aside = path + QStringLiteral(".corrupt-") + stamp + QLatin1Char('-') + QString::number(n);
    }
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) != 0) {
        return QString();
    }
    return aside;
}

}  // namespace talvor::platform
