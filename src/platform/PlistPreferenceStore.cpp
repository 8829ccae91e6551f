#include "PlistPreferenceStore.h"

#include "AtomicFile.h"
#include "BoundedFile.h"
#include "Log.h"
#include "Paths.h"
#include "PropertyList.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace talvor::platform {
namespace {

// Holds an exclusive advisory lock on "<folder>/.<name>.lock" for its lifetime. A writer
// that keeps the lock longer than `kLockWaitMs` (hung, stopped) makes us give up this round
// rather than hang the main thread; the changes stay pending.
constexpr int kLockWaitMs = 2000;

class FileLock {
  public:
    enum class State { Locked, NoLockFile, TimedOut };

    explicit FileLock(const QString& forFile) {
        const QFileInfo info(forFile);
        const QByteArray path = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") +
                                                  info.fileName() + QStringLiteral(".lock"));
        fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            state_ = State::NoLockFile;
            return;
        }
        for (int waited = 0; ::flock(fd_, LOCK_EX | LOCK_NB) != 0; waited += 10) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= kLockWaitMs) {
                ::close(fd_);
                fd_ = -1;
                state_ = State::TimedOut;
                return;
            }
            ::usleep(10000);
        }
    }
    ~FileLock() {
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_UN);
            ::close(fd_);
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    State state() const { return state_; }

  private:
    int fd_ = -1;
    State state_ = State::Locked;
};

}  // namespace

PlistPreferenceStore::PlistPreferenceStore(QString domain, QString filePath)
    : PreferenceStore(std::move(domain)), filePath_(std::move(filePath)) {
    loadInitialContents();
}

PlistPreferenceStore::ReadResult PlistPreferenceStore::readFile(QVariantMap& out) {
    // A link to a file not written yet is a missing file; a FIFO, a device or a huge file is
    // refused (logged) without being read.
    const BoundedRead read = readRegularFile(filePath_, kSettingsFileCap);
    if (!read.bytes) {
        return read.refusal == ReadRefusal::Missing ? ReadResult::Missing : ReadResult::Failed;
    }
    const QByteArray& bytes = *read.bytes;
    QString why;
    const std::optional<QVariant> parsed = PropertyList::parse(bytes, &why);
    if (parsed && parsed->typeId() == QMetaType::QVariantMap) {
        out = parsed->toMap();
        return ReadResult::Read;
    }
    if (parsed) {
        why = QStringLiteral("the file holds no dictionary");
    }
    const QString aside = moveAsideCorrupt(filePath_);
    if (aside.isEmpty()) {
        log(QStringLiteral("Preferences %1: %2 is unreadable (%3) and could not be moved aside")
                .arg(domain(), filePath_, why));
        return ReadResult::Failed;
    }
    log(QStringLiteral("Preferences %1: %2 is unreadable (%3); moved aside as %4, starting empty")
            .arg(domain(), filePath_, why, aside));
    return ReadResult::MovedAside;
}

std::optional<PlistPreferenceStore::FileStamp> PlistPreferenceStore::stampOfFile() const {
    struct stat st;
    if (::stat(QFile::encodeName(filePath_).constData(), &st) != 0) {
        return std::nullopt;
    }
    return FileStamp{static_cast<quint64>(st.st_ino), static_cast<qint64>(st.st_size),
                     static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool PlistPreferenceStore::exchange(const QVariantMap& known,
                                    const QHash<QString, QVariant>& pending,
                                    QVariantMap& contents) {
    // Nothing to write and nobody changed the file: what we know is what it holds.
    if (pending.isEmpty() && seen_ && stampOfFile() == seen_) {
        contents = known;
        return true;
    }
    // Reading a domain that was never written leaves no trace (no folder, no lock file).
    if (pending.isEmpty() && ::access(QFile::encodeName(filePath_).constData(), F_OK) != 0 &&
        errno == ENOENT) {
        contents.clear();
        seen_.reset();
        return true;
    }
    const QString dir = QFileInfo(filePath_).absolutePath();
    if (!Paths::makePath(dir) && !pending.isEmpty()) {
        log(QStringLiteral("Preferences %1: cannot create the folder %2").arg(domain(), dir));
        return false;
    }
    FileLock lock(filePath_);
    if (lock.state() == FileLock::State::TimedOut) {
        log(QStringLiteral("Preferences %1: another writer holds %2; trying again later")
                .arg(domain(), filePath_));
        return false;
    }
    if (lock.state() == FileLock::State::NoLockFile && !lockFailureLogged_) {
        lockFailureLogged_ = true;
        log(QStringLiteral("Preferences %1: no lock file beside %2; writing unlocked")
                .arg(domain(), filePath_));
    }

    QVariantMap onDisk;
    const ReadResult read = readFile(onDisk);
    if (read == ReadResult::Failed) {
        return false;
    }
    // A file damaged under us must not take the settings we hold with it.
    const bool rewrite = !pending.isEmpty() || read == ReadResult::MovedAside;
    contents = read == ReadResult::MovedAside ? known : onDisk;
    applyPending(contents, pending);
    if (rewrite) {
        QString error;
        const std::optional<QByteArray> bytes =
            PropertyList::serialize(QVariant(contents), PropertyList::Format::Xml, &error);
        if (!bytes || !writeFileAtomically(filePath_, *bytes, &error)) {
            log(QStringLiteral("Preferences %1: cannot save %2: %3")
                    .arg(domain(), filePath_, error));
            seen_.reset();
            return false;
        }
    }
    seen_ = stampOfFile();
    return true;
}

}  // namespace talvor::platform
