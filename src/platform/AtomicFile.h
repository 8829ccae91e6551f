#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace talvor::platform {

// What a write must outlast. A file in a folder that does not outlive the session (the
// runtime folder, a tmpfs) need only outlast a kill: it is not waited for on the disk.
enum class Durability { PowerLoss, Kill };

// Replaces a file's contents (where a chain of links leads) so that a crash or a kill at any moment
// leaves either the old file or the new one, never a mix: a temporary file beside it, fsync,
// rename, fsync of the folder (no fsync for Durability::Kill). The folder must exist. On failure
// the old file is untouched and `error` says why.
bool writeFileAtomically(const QString& path, const QByteArray& contents, QString* error = nullptr,
                         Durability durability = Durability::PowerLoss);

// What an edit makes of a file's current bytes: new bytes, no file, or a refusal for the user.
struct FileEdit {
    enum class Action { Replace, Remove, Refuse };
    Action action = Action::Refuse;
    QByteArray bytes;
    QString refusal;

    static FileEdit replaceWith(QByteArray bytes) {
        return {Action::Replace, std::move(bytes), {}};
    }
    static FileEdit removeFile() { return {Action::Remove, {}, {}}; }
    static FileEdit refuse(QString why) { return {Action::Refuse, {}, std::move(why)}; }
};

struct FileEditResult {
    bool ok = false;
    bool missing = false;  // there was no file to edit (or it went away meanwhile)
    bool refused = false;  // the edit refused: `error` is its text
    QString error;         // the edit's refusal, or why the file could not be read or written
};

// A read-modify-write that loses no other program's write: the file (at most `maxBytes`) is
// read, edited, written beside and swapped into place atomically (renameat2 with
// RENAME_EXCHANGE); when the file swapped out is not the one that was read, another writer
// came in between, and the edit is made again on their version. `edit` may be called several
// times and must depend only on the bytes it is given. Take the writers' lock around it: this
// is for the writers that take none (a sync tool, an editor). Where the file system cannot
// swap, the file is checked just before the rename instead.
FileEditResult editFileAtomically(const QString& path, qint64 maxBytes,
                                  const std::function<FileEdit(const QByteArray&)>& edit);

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
