#include "FileManagerExtras.h"

#include "platform/Log.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace talvor::FileManagerExtras {

std::optional<QString> uniqueFileInDirectory(const QString& directory, const QString& extension,
                                             const platform::Clock& clock) {
    const auto seconds =
        static_cast<qint64>(std::trunc(clock.now().timeIntervalSinceReferenceDate()));
    const QDir dir(directory);
    for (int counter = 0; counter < 100; ++counter) {
        const QString path =
            dir.filePath(QStringLiteral("%1%2.%3").arg(seconds).arg(counter).arg(extension));
        const QByteArray native = QFile::encodeName(path);
        // O_EXCL: checking and creating are one step, so two callers never get one name.
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) {
            platform::log(QStringLiteral("uniqueFileInDirectory: cannot create %1: %2")
                              .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace talvor::FileManagerExtras
