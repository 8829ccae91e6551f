#pragma once

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

namespace talvor::platform {

// Desktop entry files (the freedesktop desktop entry format): the autostart entry of the
// login item and the launcher entry of an installed copy.
namespace DesktopEntryFile {

// $XDG_CONFIG_HOME/autostart and $XDG_DATA_HOME/applications, read at every call.
QString autostartFolder();
QString applicationsFolder();

// One argument of an Exec line, quoted where the format asks for it (before the
// general escaping of string values, which `write` adds).
QString quoteExecArgument(const QString& argument);
// The arguments of an Exec value as `read` returns it: quotes removed, "%%" made "%", field
// codes (%f, %U, ...) dropped.
QStringList splitExec(const QString& exec);

// The keys of the "[Desktop Entry]" group with string escapes undone; nullopt when the file
// cannot be read or has no such group.
std::optional<QMap<QString, QString>> read(const QString& path);
// Writes the group (in the given order, values escaped) atomically, creating the folder.
bool write(const QString& path, const QList<QPair<QString, QString>>& entries,
           QString* error = nullptr);

}  // namespace DesktopEntryFile
}  // namespace talvor::platform
