#include "SessionBus.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace talvor::platform::SessionBus {
namespace {

const QString kDisabled = QStringLiteral("disabled:");

std::optional<QString> userBusSocket() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty()) {
        return std::nullopt;
    }
    const QString path = QDir(runtime).filePath(QStringLiteral("bus"));
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISSOCK(info.st_mode)) {
        return std::nullopt;
    }
    return path;
}

}  // namespace

std::optional<QString> address() {
    const QString set = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (set.startsWith(kDisabled)) {
        return std::nullopt;
    }
    if (!set.isEmpty()) {
        return set;
    }
    if (const std::optional<QString> socket = userBusSocket()) {
        return QStringLiteral("unix:path=") + *socket;
    }
    return std::nullopt;
}

void pinAddress() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", address().value_or(kDisabled).toUtf8());
}

QDBusConnection connection() {
    const std::optional<QString> found = address();
    if (!found) {
        return QDBusConnection(QString());
    }
    // Named by the address, so that a changed address (tests) gets a connection of its own.
    return QDBusConnection::connectToBus(*found, QStringLiteral("talvor-session:") + *found);
}

}  // namespace talvor::platform::SessionBus
