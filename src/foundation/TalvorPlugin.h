#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Finding plug-in files and bundles by extension.
namespace talvor::TalvorPlugin {

// The last path component's extension ("" for none or a leading-dot name such as ".x").
QString pathExtension(const QString& path);

// findModulesInDirectory:withExtension: -- the full paths of the folder's entries (files or
// folders) with that extension, sorted by name; nullopt when the path is not a folder.
std::optional<QStringList> findModulesInDirectory(const QString& directory,
                                                  const QString& withExtension);

// The built-in plug-ins folder: lib/talvor/plugins beside the installed executable.
QString builtInPlugInsPath();
// The support folders searched after it: the user's ($XDG_DATA_HOME/talvor), then the
// system-wide one (the installed share/talvor).
QStringList pluginSupportFolders();

// findBundlesWithExtension:inFolderName: -- the matches in the built-in plug-ins folder,
// then in "Fennel Workshop/<folder name>" of each support folder, in that order.
QStringList findBundlesWithExtension(const QString& extension, const QString& inFolderName);
QStringList findBundlesWithExtension(const QString& extension, const QString& inFolderName,
                                     const QString& builtInFolder,
                                     const QStringList& supportFolders);

}  // namespace talvor::TalvorPlugin
