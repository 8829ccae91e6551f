#include "platform/AtomicFile.h"
#include "platform/BoundedFile.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>

namespace talvor::platform {
namespace {

using test::XdgSandbox;

void writeByRename(const QString& path, const QByteArray& bytes) {
    ASSERT_TRUE(writeFileAtomically(path, bytes));
}

void writeInPlace(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

std::optional<QByteArray> contents(const QString& path) {
    return readRegularFile(path, 1 << 20).bytes;
}

// Another program writes the file between our read and our replace (inside the first call
// of the edit, which comes after the read): its write is never lost, the edit is made again
// on its version, and nothing is left behind in the folder.
TEST(platformAtomicFile, AWriteBetweenTheReadAndTheReplaceIsKept) {
    struct Case {
        const char* name;
        std::function<void(const QString& path)> meanwhile;  // in the first edit
        bool ok;
        bool missing;
        std::optional<QByteArray> result;  // none: no file
        int edits;
    };
    const Case cases[] = {
        {"nobody else", [](const QString&) {}, true, false, "A\n+us\n", 1},
        {"a rename over it", [](const QString& p) { writeByRename(p, "B\n"); }, true, false,
         "B\n+us\n", 2},
        {"a write in place", [](const QString& p) { writeInPlace(p, "Cc\n"); }, true, false,
         "Cc\n+us\n", 2},
        {"removed", [](const QString& p) { QFile::remove(p); }, false, true, std::nullopt, 1},
        // Our edit no longer applies to their version: theirs stays, untouched.
        {"the edit no longer applies", [](const QString& p) { writeByRename(p, "GONE\n"); }, false,
         false, "GONE\n", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        XdgSandbox sandbox;
        const QString path = sandbox.root() + QStringLiteral("/a.ics");
        writeByRename(path, "A\n");
        int edits = 0;
        const FileEditResult r =
            editFileAtomically(path, 1 << 20, [&](const QByteArray& now) -> FileEdit {
                if (edits++ == 0) {
                    c.meanwhile(path);
                }
                if (now.contains("GONE")) {
                    return FileEdit::refuse(QStringLiteral("gone"));
                }
                return FileEdit::replaceWith(now + "+us\n");
            });
        EXPECT_EQ(r.ok, c.ok) << r.error.toStdString();
        EXPECT_EQ(r.missing, c.missing);
        EXPECT_EQ(r.refused, !c.ok && !c.missing);
        EXPECT_EQ(contents(path), c.result);
        EXPECT_EQ(edits, c.edits);
        const QStringList left = QDir(sandbox.root()).entryList(QDir::Files | QDir::Hidden);
        EXPECT_EQ(left, c.result ? QStringList{QStringLiteral("a.ics")} : QStringList{});
    }
}

TEST(platformAtomicFile, ARemovalTakesTheVersionInPlaceNotAStaleOne) {
    XdgSandbox sandbox;
    const QString path = sandbox.root() + QStringLiteral("/a.ics");
    writeByRename(path, "A\n");
    QByteArrayList seen;
    const FileEditResult r = editFileAtomically(path, 1 << 20, [&](const QByteArray& now) {
        if (seen.isEmpty()) {
            writeByRename(path, "B\n");
        }
        seen << now;
        // Only the version with "B" may go: "A" is what we read, "B" came meanwhile.
        return now == "B\n" ? FileEdit::removeFile() : FileEdit::replaceWith(now);
    });
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(seen, (QByteArrayList{"A\n", "B\n"}));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(QDir(sandbox.root()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// A writer that never lets go: we give up after a few rounds and say so; their last version
// is in place and nothing of ours is left behind.
TEST(platformAtomicFile, AFileThatKeepsChangingIsGivenUpWithoutLosingTheirs) {
    XdgSandbox sandbox;
    const QString path = sandbox.root() + QStringLiteral("/a.ics");
    writeByRename(path, "A\n");
    int edits = 0;
    QByteArray last;
    const FileEditResult r = editFileAtomically(path, 1 << 20, [&](const QByteArray& now) {
        last = "theirs " + QByteArray::number(++edits) + "\n";
        writeByRename(path, last);
        return FileEdit::replaceWith(now + "+us\n");
    });
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains(QStringLiteral("keeps changing"))) << r.error.toStdString();
    EXPECT_EQ(contents(path), last);
    EXPECT_EQ(QDir(sandbox.root()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("a.ics")});
}

}  // namespace
}  // namespace talvor::platform
