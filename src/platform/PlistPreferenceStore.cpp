#include "PlistPreferenceStore.h"

#include "AtomicFile.h"
#include "BoundedFile.h"
#include "FileLock.h"
#include "Log.h"
#include "Paths.h"
#include "PropertyList.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace talvor::platform {
namespace {

// A writer that keeps the lock longer than this (hung, stopped) makes a worker thread give
// up this round rather than wait on; the changes stay pending.
constexpr int kLockWaitMs = 2000;
// An editor that saves in place truncates the file and writes it again: a file that reads
// as damaged is read again after this pause, a few times while it keeps changing, and
// moved aside only once it stands still.
constexpr int kSettleMs = 150;
constexpr int kSettleRounds = 5;
// The main thread never waits long for another writer (a live one holds the lock for a few
// milliseconds): past this it tries again from the save timer. A read does not wait at all.
constexpr int kMainThreadLockWaitMs = 100;

bool onMainThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

// The file's bytes, when it is a plain file of a sane size that can be read; else why not.
// Opened without blocking: a FIFO at the path must not hang the caller.
std::optional<QByteArray> readPlainFile(const QString& path, QString& why) {
    BoundedRead read = readRegularFile(path, kSettingsFileCap);
    if (!read.bytes) {
        why = read.reason;
    }
    return std::move(read.bytes);
}

}  // namespace

PlistPreferenceStore::PlistPreferenceStore(QString domain, QString filePath)
    : PreferenceStore(std::move(domain)), filePath_(std::move(filePath)) {
    removeUnfinishedWrites();
    loadInitialContents();
}

void PlistPreferenceStore::removeUnfinishedWrites() {
    // Only looked for when there may be some: a domain never written leaves no lock file.
    const QString dir = QFileInfo(filePath_).absolutePath();
    if (!QFileInfo::exists(dir)) {
        return;
    }
    FileLock lock(FileLock::besideFile(filePath_), 0);
    if (lock.state() != FileLock::State::Locked) {
        return;
    }
    if (const int removed = platform::removeUnfinishedWrites(filePath_); removed > 0) {
        log(QStringLiteral("Preferences %1: removed %2 unfinished temporary copies of %3")
                .arg(domain())
                .arg(removed)
                .arg(filePath_));
    }
}

PlistPreferenceStore::ReadResult PlistPreferenceStore::readFile(QVariantMap& out, bool locked,
                                                                QString& why) {
    // access() follows links: a link to a file not written yet is a missing file.
    if (::access(QFile::encodeName(filePath_).constData(), F_OK) != 0 && errno == ENOENT) {
        return ReadResult::Missing;
    }
    std::optional<QByteArray> bytes = readPlainFile(filePath_, why);
    for (int round = 0; bytes; ++round) {
        const std::optional<QVariant> parsed = PropertyList::parse(*bytes, &why);
        if (parsed && parsed->typeId() == QMetaType::QVariantMap) {
            out = parsed->toMap();
            return ReadResult::Read;
        }
        if (parsed) {
            why = QStringLiteral("the file holds no dictionary");
        }
        if (round == kSettleRounds) {
            // Still being written: whoever writes it will be done next time.
            return ReadResult::Later;
        }
        ::usleep(kSettleMs * 1000);
        QString again;
        std::optional<QByteArray> now = readPlainFile(filePath_, again);
        if (now == bytes) {
            break;
        }
        // Changed meanwhile (or gone, or replaced by a writer): judge what is there now.
        if (!now && ::access(QFile::encodeName(filePath_).constData(), F_OK) != 0 &&
            errno == ENOENT) {
            return ReadResult::Missing;
        }
        bytes = std::move(now);
        why = again;
    }
    if (!bytes) {
        // The bounded read has said why in its own line.
        return ReadResult::Failed;
    }
    // Damaged and standing still. Moving it aside needs the writers' lock.
    if (!locked) {
        return ReadResult::Later;
    }
    const QString aside = moveAsideCorrupt(filePath_);
    if (aside.isEmpty()) {
        log(QStringLiteral("Preferences %1: %2 is unreadable (%3) and could not be moved aside")
                .arg(domain(), filePath_, why));
        why = QStringLiteral("it is unreadable (%1) and could not be moved aside").arg(why);
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

bool PlistPreferenceStore::isReadOnlyFile() {
    struct stat st;
    // The mode, not access(): root may write anything, but a file made read-only by its
    // owner says "leave me alone" to root too.
    const bool readOnly = ::stat(QFile::encodeName(filePath_).constData(), &st) == 0 &&
                          S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0;
    if (readOnly && !readOnlyLogged_) {
        log(QStringLiteral("Preferences %1: %2 is read-only; changes are not written to it")
                .arg(domain(), filePath_));
    }
    readOnlyLogged_ = readOnly;
    return readOnly;
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
        noteRead();
        return true;
    }
    const QString dir = QFileInfo(filePath_).absolutePath();
    if (!Paths::makePath(dir) && !pending.isEmpty()) {
        log(QStringLiteral("Preferences %1: cannot create the folder %2").arg(domain(), dir));
        noteWriteFailure(QStringLiteral("the folder %1 cannot be created").arg(dir));
        return false;
    }
    FileLock lock(FileLock::besideFile(filePath_), !onMainThread()     ? kLockWaitMs
                                                   : pending.isEmpty() ? 0
                                                                       : kMainThreadLockWaitMs);
    // Every write is a rename, so the file can be read without the lock; only writing it
    // and moving it aside need it.
    const bool locked = lock.state() != FileLock::State::Busy;
    if (!locked && !pending.isEmpty()) {
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
    QString why;
    const ReadResult read = readFile(onDisk, locked, why);
    if (read == ReadResult::Later) {
        return false;
    }
    if (read == ReadResult::Failed) {
        noteFailure(QStringLiteral("%1 cannot be read: %2").arg(filePath_, why));
        return false;
    }
    // A file damaged under us must not take the settings we hold with it.
    const bool rewrite = !pending.isEmpty() || read == ReadResult::MovedAside;
    contents = read == ReadResult::MovedAside ? known : onDisk;
    applyPending(contents, pending);
    if (rewrite) {
        if (isReadOnlyFile()) {
            noteWriteFailure(QStringLiteral("%1 is read-only").arg(filePath_));
            seen_.reset();
            return false;
        }
        QString error;
        const std::optional<QByteArray> bytes =
            PropertyList::serialize(QVariant(contents), PropertyList::Format::Xml, &error);
        if (!bytes || !writeFileAtomically(filePath_, *bytes, &error)) {
            log(QStringLiteral("Preferences %1: cannot save %2: %3")
                    .arg(domain(), filePath_, error));
            noteWriteFailure(QStringLiteral("%1 cannot be written: %2").arg(filePath_, error));
            seen_.reset();
            return false;
        }
    }
    seen_ = stampOfFile();
    if (rewrite) {
        writeFailing_ = false;
        noteWorking();
    } else {
        noteRead();
    }
    return true;
}

void PlistPreferenceStore::noteWriteFailure(const QString& why) {
    writeFailing_ = true;
    noteFailure(why);
}

void PlistPreferenceStore::noteRead() {
    // A read proves nothing about writing: a failed save stays reported until one succeeds.
    if (!writeFailing_) {
        noteWorking();
    }
}

}  // namespace talvor::platform
