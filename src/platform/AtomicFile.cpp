#include "AtomicFile.h"

#include "BoundedFile.h"
#include "Log.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

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

void syncFolder(const QFileInfo& info) {
    const QByteArray dir = QFile::encodeName(info.absolutePath());
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

struct Temporary {
    QByteArray path;
    FileVersion version;
};

// `contents` in a new hidden file beside the file of `info`, synced to the disk unless only
// a kill is to be outlasted, with the permissions of that file (a new file is private to the
// user).
std::optional<Temporary> writeTemporary(const QFileInfo& info, const QByteArray& contents,
                                        QString* error,
                                        Durability durability = Durability::PowerLoss) {
    Temporary out{QFile::encodeName(temporaryTemplate(info)), {}};
    const int fd = ::mkstemp(out.path.data());
    if (fd < 0) {
        if (error != nullptr) {
            *error = errnoText("cannot create a temporary file", errno);
        }
        return std::nullopt;
    }
    struct stat st {};
    ::fchmod(fd, ::stat(QFile::encodeName(info.absoluteFilePath()).constData(), &st) == 0
                     ? (st.st_mode & 07777)
                     : 0600);
    bool ok = writeAll(fd, contents);
    int err = errno;
    if (ok && durability == Durability::PowerLoss && ::fsync(fd) != 0) {
        ok = false;
        err = errno;
    }
    if (ok && ::fstat(fd, &st) != 0) {
        ok = false;
        err = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(out.path.constData());
        if (error != nullptr) {
            *error = errnoText("cannot write the file", err);
        }
        return std::nullopt;
    }
    out.version = *versionOf(QFile::decodeName(out.path));
    return out;
}

// The rounds of one read-modify-write. A round puts the edited file in place (or takes the
// file away) only when the file in place is still the version the edit was made on, and
// confirms it by what the swap displaced; a write that came in between is put back at once
// and the edit made again on it. Our version is never left in place over a write it does
// not hold, so a tool that reads the file meanwhile never sees its own change gone.
class Editing {
  public:
    Editing(const QFileInfo& info, FileVersion read)
        : info_(info), target_(QFile::encodeName(info.absoluteFilePath())), expected_(read) {}

    FileEditResult run(FileEdit change, qint64 maxBytes,
                       const std::function<FileEdit(const QByteArray&)>& edit) {
        for (int round = 0; round < kRounds; ++round) {
            if (change.action == FileEdit::Action::Refuse) {
                result_.refused = true;
                result_.error = change.refusal;
                return result_;
            }
            std::optional<Temporary> placed;
            if (change.action == FileEdit::Action::Replace) {
                placed = writeTemporary(info_, change.bytes, &result_.error);
                if (!placed) {
                    return result_;
                }
            }
            const Outcome outcome = swapIn(placed);
            if (outcome == Outcome::Failed) {
                return result_;
            }
            if (outcome == Outcome::Done) {
                syncFolder(info_);
                result_.ok = true;
                return result_;
            }
            // A burst of writes (a sync) is let pass rather than raced: at most about 0.7 s in
            // all, for a file that keeps changing.
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(1 << round, 64)));
            BoundedRead read = readRegularFile(info_.absoluteFilePath(), maxBytes);
            if (!read.bytes) {
                result_.missing = read.refusal == ReadRefusal::Missing;
                result_.error = QStringLiteral("%1 %2").arg(info_.absoluteFilePath(), read.reason);
                return result_;
            }
            expected_ = read.version;
            change = edit(*read.bytes);
        }
        result_.error = QStringLiteral("%1 keeps changing").arg(info_.absoluteFilePath());
        return result_;
    }

  private:
    static constexpr int kRounds = 16;
    enum class Outcome { Done, Changed, Failed };

    // Puts `placed` in place of the target (or takes the target away) when the target is
    // still the expected version; `placed` is gone afterwards either way.
    Outcome swapIn(const std::optional<Temporary>& placed) {
        auto discard = [&] {
            if (placed) {
                ::unlink(placed->path.constData());
            }
        };
        if (versionOf(info_.absoluteFilePath()) != expected_) {
            discard();
            return Outcome::Changed;
        }
        if (!placed) {
            return takeAway();
        }
        if (swaps_) {
            if (::renameat2(AT_FDCWD, placed->path.constData(), AT_FDCWD, target_.constData(),
                            RENAME_EXCHANGE) == 0) {
                if (versionOf(QFile::decodeName(placed->path)) == expected_) {
                    ::unlink(placed->path.constData());
                    return Outcome::Done;
                }
                // Written between the look and the swap: theirs goes back.
                putBack(placed->path, placed->version);
                return Outcome::Changed;
            }
            if (errno == ENOENT) {  // removed between the look and the swap
                discard();
                return Outcome::Changed;
            }
            if (errno != EINVAL) {
                result_.error = errnoText("cannot write the file", errno);
                discard();
                return Outcome::Failed;
            }
            swaps_ = false;
            log(QStringLiteral("The file system of %1 cannot swap files; a write by another "
                               "program just before ours may be lost there")
                    .arg(info_.absolutePath()));
        }
        if (::rename(placed->path.constData(), target_.constData()) != 0) {
            result_.error = errnoText("cannot write the file", errno);
            discard();
            return Outcome::Failed;
        }
        return Outcome::Done;
    }

    // Removes the target, moved aside first so that what is removed is what was looked at.
    Outcome takeAway() {
        std::optional<Temporary> grab = writeTemporary(info_, {}, &result_.error);
        if (!grab) {
            return Outcome::Failed;
        }
        if (::rename(target_.constData(), grab->path.constData()) != 0) {
            const int err = errno;
            ::unlink(grab->path.constData());
            if (err == ENOENT) {
                return Outcome::Changed;
            }
            result_.error = errnoText("cannot remove the file", err);
            return Outcome::Failed;
        }
        if (versionOf(QFile::decodeName(grab->path)) == expected_) {
            ::unlink(grab->path.constData());
            return Outcome::Done;
        }
        if (::renameat2(AT_FDCWD, grab->path.constData(), AT_FDCWD, target_.constData(),
                        RENAME_NOREPLACE) != 0) {
            keepAside(grab->path);
        }
        return Outcome::Changed;
    }

    // Swaps another writer's file, now at `aside`, back into place; ours comes out and goes.
    void putBack(const QByteArray& aside, const FileVersion& ours) {
        if (::renameat2(AT_FDCWD, aside.constData(), AT_FDCWD, target_.constData(),
                        RENAME_EXCHANGE) == 0 &&
            versionOf(QFile::decodeName(aside)) == ours) {
            ::unlink(aside.constData());
            return;
        }
        keepAside(aside);  // a third write came in: neither is thrown away
    }

    void keepAside(const QByteArray& path) {
        const QString kept =
            info_.absoluteFilePath() + QStringLiteral(".conflict-") +
            QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddTHHmmsszzz"));
        ::rename(path.constData(), QFile::encodeName(kept).constData());
        log(QStringLiteral("Kept another program's version of %1 as %2")
                .arg(info_.absoluteFilePath(), kept));
    }

    QFileInfo info_;
    QByteArray target_;
    std::optional<FileVersion> expected_;
    FileEditResult result_;
    bool swaps_ = true;
};

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
    // Matched by hand: a wildcard filter would compile a regular expression at every start,
    // and match the name without regard to case, taking another file's leftovers.
    for (QDirIterator it(info.absolutePath(), QDir::Files | QDir::Hidden); it.hasNext();) {
        const QFileInfo leftover = it.nextFileInfo();
        const QString name = leftover.fileName();
        if (name.size() == length && name.startsWith(prefix) && !leftover.isSymLink() &&
            QFile::remove(leftover.absoluteFilePath())) {
            ++removed;
        }
    }
    return removed;
}

bool writeFileAtomically(const QString& path, const QByteArray& contents, QString* error,
                         Durability durability) {
    // A linked file (a dotfile manager's) is replaced where it really lies, however many
    // links lead there; the links stay.
    const QString real = resolvedFilePath(path, error);
    if (real.isEmpty()) {
        return false;
    }
    const QFileInfo info(real);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const std::optional<Temporary> temporary = writeTemporary(info, contents, error, durability);
    if (!temporary) {
        return false;
    }
    if (::rename(temporary->path.constData(), target.constData()) != 0) {
        const int err = errno;
        ::unlink(temporary->path.constData());
        if (error != nullptr) {
            *error = errnoText("cannot write the file", err);
        }
        return false;
    }
    if (durability == Durability::PowerLoss) {
        syncFolder(info);
    }
    return true;
}

FileEditResult editFileAtomically(const QString& path, qint64 maxBytes,
                                  const std::function<FileEdit(const QByteArray&)>& edit) {
    FileEditResult result;
    const QString real = resolvedFilePath(path, &result.error);
    if (real.isEmpty()) {
        return result;
    }
    const QFileInfo info(real);
    BoundedRead read = readRegularFile(real, maxBytes);
    if (!read.bytes) {
        result.missing = read.refusal == ReadRefusal::Missing;
        result.error = QStringLiteral("%1 %2").arg(real, read.reason);
        return result;
    }
    FileEdit change = edit(*read.bytes);
    if (change.action == FileEdit::Action::Refuse) {
        result.refused = true;
        result.error = change.refusal;
        return result;
    }
    Editing editing(info, read.version);
    return editing.run(std::move(change), maxBytes, edit);
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
