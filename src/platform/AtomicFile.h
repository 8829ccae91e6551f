#pragma once

#include <QByteArray>
#include <QString>

namespace talvor::platform {

// Replaces a file's contents (where a chain of links leads) so that a crash or a kill at any moment
// leaves either the old file or the new one, never a mix: a temporary file beside it, fsync,
// rename, fsync of the folder. The folder must exist. On failure the old file is untouched and
// `error` says why.
bool writeFileAtomically(const QString& path, const QByteArray& contents, QString* error = nullptr);

// Where `path` really lies: every symbolic link along the chain followed (relative ones
// from their own folder); the path itself when it is no link or is missing. Empty, with
// `error` saying why, for a loop or a link that cannot be read.
QString resolvedFilePath(const QString& path, QString* error = nullptr);

// Removes the temporary files a write of `path` left behind when it was killed half-way.
// Only while nobody else can be writing it (its writers' lock held). Returns how many.
int removeUnfinishedWrites(const QString& path);

// Moves an unreadable file aside as "<path>.corrupt-<time>" so that nothing overwrites it.
// Returns the new path, or an empty string when the move failed.
QString moveAsideCorrupt(const QString& path);

}  // namespace talvor::platform
