#include "TalvorPlugin.h"

#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace talvor::TalvorPlugin {

QString pathExtension(const QString& path) {
    QString name = path;
    while (name.endsWith(u'/') && name.size() > 1) {
        name.chop(1);
    }
    name = name.mid(name.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot <= 0 ? QString() : name.mid(dot + 1);
}

std::optional<QStringList> findModulesInDirectory(const QString& directory,
                                                  const QString& withExtension) {
    const QFileInfo info(directory);
    if (!info.isDir()) {
        return std::nullopt;
    }
    const QDir dir(directory);
    QStringList found;
    const QStringList names = dir.entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        if (pathExtension(name) == withExtension) {
            found << QStringLiteral("%1/%2").arg(directory, name);
        }
    }
    return found;
}

QString builtInPlugInsPath() {
    const QString exeDir = QCoreApplication::instance() != nullptr
                               ? QCoreApplication::applicationDirPath()
                               : QDir::currentPath();
    return QDir::cleanPath(exeDir + QStringLiteral("/../lib/talvor/plugins"));
}

QStringList pluginSupportFolders() {
    return {platform::Paths::dataDir(), platform::Paths::systemDataDir()};
}

QStringList findBundlesWithExtension(const QString& extension, const QString& inFolderName) {
    return findBundlesWithExtension(extension, inFolderName, builtInPlugInsPath(),
                                    pluginSupportFolders());
}

QStringList findBundlesWithExtension(const QString& extension, const QString& inFolderName,
                                     const QString& builtInFolder,
                                     const QStringList& supportFolders) {
    QStringList found = findModulesInDirectory(builtInFolder, extension).value_or(QStringList());
    for (const QString& support : supportFolders) {
        const QString folder =
            QDir(support).filePath(QStringLiteral("Fennel Workshop/") + inFolderName);
        found << findModulesInDirectory(folder, extension).value_or(QStringList());
    }
    return found;
}

}  // namespace talvor::TalvorPlugin
