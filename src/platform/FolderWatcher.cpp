#include "FolderWatcher.h"

#include "Log.h"

#include <QFile>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace talvor::platform {
namespace {

// What changes a folder's contents or a file in it. IN_CLOSE_WRITE and IN_MODIFY catch edits
// in place, which a folder's own time stamp does not show.
constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                           IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// File systems whose changes may come from other machines, which inotify never hears of.
bool isNetworkFileSystem(const QString& folder) {
    struct statfs fs {};
    if (::statfs(QFile::encodeName(folder).constData(), &fs) != 0) {
        return true;
    }
    switch (static_cast<unsigned long>(fs.f_type)) {
        case 0x6969:      // NFS
        case 0x517B:      // SMB
        case 0xFF534D42:  // CIFS
        case 0xFE534D42:  // SMB2
        case 0x65735546:  // FUSE (sshfs, cloud drives)
        case 0x01021997:  // 9P
        case 0x00C36400:  // Ceph
        case 0x5346414F:  // AFS
        case 0x6B414653:  // kAFS
        case 0x73757245:  // Coda
            return true;
        default:
            return false;
    }
}

}  // namespace

FolderWatcher::FolderWatcher(QObject* parent) : QObject(parent) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) {
        log(QStringLiteral("Cannot watch folders for changes (%1); they show at the next load")
                .arg(QString::fromLocal8Bit(std::strerror(errno))));
        failureLogged_ = true;
        return;
    }
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &FolderWatcher::readEvents);
}

FolderWatcher::~FolderWatcher() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

QStringList FolderWatcher::setFolders(const QStringList& folders) {
    if (fd_ < 0) {
        return folders;
    }
    const QSet<QString> wanted(folders.begin(), folders.end());
    for (auto it = byPath_.begin(); it != byPath_.end();) {
        if (wanted.contains(it.key())) {
            ++it;
            continue;
        }
        ::inotify_rm_watch(fd_, it.value());
        byWatch_.remove(it.value());
        local_.remove(it.key());
        it = byPath_.erase(it);
    }
    QStringList refused;
    int firstError = 0;
    for (const QString& folder : wanted) {
        if (byPath_.contains(folder)) {
            continue;
        }
        const int wd = ::inotify_add_watch(fd_, QFile::encodeName(folder).constData(), kMask);
        if (wd < 0) {
            firstError = firstError != 0 ? firstError : errno;
            refused << folder;
            continue;
        }
        byPath_.insert(folder, wd);
        byWatch_.insert(wd, folder);
        if (!isNetworkFileSystem(folder)) {
            local_.insert(folder);
        }
    }
    if (!refused.isEmpty() && !failureLogged_) {
        failureLogged_ = true;
        log(QStringLiteral("Cannot watch %1 folders (first %2: %3); their changes show at the "
                           "next load")
                .arg(refused.size())
                .arg(refused.first(), QString::fromLocal8Bit(std::strerror(firstError))));
    }
    return refused;
}

void FolderWatcher::readEvents() {
    alignas(struct inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) {
            return;  // EAGAIN: all read
        }
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                // Events were lost: every folder may have changed.
                for (const QString& folder : byPath_.keys()) {
                    emit changed(folder, QString());
                }
                continue;
            }
            const QString folder = byWatch_.value(event->wd);
            if (folder.isEmpty()) {
                continue;
            }
            if ((event->mask & IN_IGNORED) != 0) {
                byWatch_.remove(event->wd);
                byPath_.remove(folder);
                local_.remove(folder);
                emit changed(folder, QString());
                continue;
            }
            if (event->len == 0 && (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) == 0) {
                continue;  // the folder's own times or permissions: none of its files changed
            }
            const QString name = event->len > 0 ? QFile::decodeName(event->name) : QString();
            emit changed(folder, name);
        }
    }
}

}  // namespace talvor::platform
