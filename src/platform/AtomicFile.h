#pragma once

#include <QByteArray>
#include <QString>

namespace talvor::platform {

// Replaces a file's contents so that a crash or a kill at any moment leaves either the old
// file or the new one, never a mix: a temporary file beside it, fsync, rename, fsync of the
// folder. The folder must exist. On failure the old file is untouched and `error` says why.
bool writeFileAtomically(const QString& path, const QByteArray& contents, QString* error = nullptr);

// Moves an unreadable file aside as "<path>.corrupt-<time>" so that nothing overwrites it.
// Returns the new path, or an empty string when the move failed.
QString moveAsideCorrupt(const QString& path);

}  // namespace talvor::platform
