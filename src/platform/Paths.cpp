#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace talvor::platform {
namespace {

const QString kAppFolder = QStringLiteral("talvor");

// An XDG variable counts only when it holds an absolute path.
QString xdgBase(const char* variable, const QString& fallbackUnderHome) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) {
        return QDir::cleanPath(value);
    }
    return QDir::cleanPath(Paths::homeDir() + QLatin1Char('/') + fallbackUnderHome);
}

}  // namespace

QString Paths::homeDir() {
    const QString home = qEnvironmentVariable("HOME");
    return home.isEmpty() ? QDir::homePath() : QDir::cleanPath(home);
}

QString Paths::configDir() {
    return xdgBase("XDG_CONFIG_HOME", QStringLiteral(".config")) + QLatin1Char('/') + kAppFolder;
}

QString Paths::dataDir() {
    return xdgBase("XDG_DATA_HOME", QStringLiteral(".local/share")) + QLatin1Char('/') + kAppFolder;
}

QString Paths::cacheDir() {
    return xdgBase("XDG_CACHE_HOME", QStringLiteral(".cache")) + QLatin1Char('/') + kAppFolder;
}

QString Paths::systemDataDir() {
    const QString overridden = qEnvironmentVariable("TALVOR_SYSTEM_DATA_DIR");
    if (!overridden.isEmpty()) {
        return QDir::cleanPath(overridden);
    }
    QString exeDir = QCoreApplication::instance() != nullptr
                         ? QCoreApplication::applicationDirPath()
                         : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    return QDir::cleanPath(exeDir + QStringLiteral("/../share/talvor"));
}

bool Paths::makePath(const QString& dir) {
    return QDir().mkpath(dir);
}

}  // namespace talvor::platform
