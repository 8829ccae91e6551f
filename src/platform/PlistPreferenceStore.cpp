#include "PlistPreferenceStore.h"

#include "AtomicFile.h"
#include "Log.h"
#include "Paths.h"
#include "PropertyList.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace talvor::platform {
namespace {

// Holds an exclusive advisory lock on "<folder>/.<name>.lock" for its lifetime. Without a
// lock file (read-only folder) the work goes on unlocked: the write fails there anyway.
class FileLock {
public:
    explicit FileLock(const QString& forFile) {
        const QFileInfo info(forFile);
        const QByteArray path =
            QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".lock"));
        fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
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

private:
    int fd_ = -1;
};

}  // namespace

PlistPreferenceStore::PlistPreferenceStore(QString domain, QString filePath)
    : PreferenceStore(std::move(domain)), filePath_(std::move(filePath)) {
    loadInitialContents();
}

PlistPreferenceStore::ReadResult PlistPreferenceStore::readFile(QVariantMap& out) {
    QFile file(filePath_);
    if (!file.exists()) {
        return ReadResult::Missing;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        log(QStringLiteral("Preferences %1: cannot read %2: %3")
                .arg(domain(), filePath_, file.errorString()));
        return ReadResult::Failed;
    }
    const QByteArray bytes = file.readAll();
    file.close();
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

bool PlistPreferenceStore::exchange(const QHash<QString, QVariant>& pending, QVariantMap& contents) {
    const QString dir = QFileInfo(filePath_).absolutePath();
    if (!Paths::makePath(dir) && !pending.isEmpty()) {
        log(QStringLiteral("Preferences %1: cannot create the folder %2").arg(domain(), dir));
        return false;
    }
    FileLock lock(filePath_);

    QVariantMap onDisk;
    const ReadResult read = readFile(onDisk);
    if (read == ReadResult::Failed) {
        return false;
    }
    contents = onDisk;
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        if (it.value().isValid()) {
            contents.insert(it.key(), it.value());
        } else {
            contents.remove(it.key());
        }
    }
    if (pending.isEmpty()) {
        return true;
    }
    QString error;
    const std::optional<QByteArray> bytes =
        PropertyList::serialize(QVariant(contents), PropertyList::Format::Xml, &error);
    if (!bytes || !writeFileAtomically(filePath_, *bytes, &error)) {
        log(QStringLiteral("Preferences %1: cannot save %2: %3").arg(domain(), filePath_, error));
        return false;
    }
    return true;
}

}  // namespace talvor::platform
