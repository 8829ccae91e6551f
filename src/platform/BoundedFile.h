#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace talvor::platform {

// Caps for the files we read whole. Each is far above any file we write ourselves.
inline constexpr qint64 kSettingsFileCap = 64LL * 1024 * 1024;
inline constexpr qint64 kLocationTableCap = 64LL * 1024 * 1024;
inline constexpr qint64 kSmallFileCap = 1LL * 1024 * 1024;

// One version of a file: a rename over it or a write in place makes another.
struct FileVersion {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modifiedNs = 0;
    bool operator==(const FileVersion&) const = default;
};

// The version of the file at `path` (links followed); none when it cannot be examined.
std::optional<FileVersion> versionOf(const QString& path);

enum class ReadRefusal { Missing, NotARegularFile, TooLarge, Unreadable };

struct BoundedRead {
    std::optional<QByteArray> bytes;  // set when the file was read
    ReadRefusal refusal = ReadRefusal::Unreadable;
    FileVersion version;  // of what was read
    QString reason;       // for a message: "is a FIFO, not a regular file", "is larger than 64 MB"
};

// Reads the regular file at `path` (links followed) whole, when it holds at most `maxBytes`.
// It is opened without blocking and checked on the open descriptor, so a FIFO, a device, a
// socket or a link to one is refused at once and never read. Every refusal but a missing
// file is logged in one line naming the path.
BoundedRead readRegularFile(const QString& path, qint64 maxBytes);

// "64 MB", "512 KB", "300 bytes".
QString sizeText(qint64 bytes);

}  // namespace talvor::platform
