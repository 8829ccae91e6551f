#include "platform/FolderWatcher.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

namespace talvor::platform {
namespace {

using test::LogCapture;
using test::XdgSandbox;

void write(const QString& path, QIODevice::OpenMode mode, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(mode));
    f.write(bytes);
}

// Every way a file in a watched folder changes is reported with its name, and at once by
// poll(), before the event loop runs: an edit in place as much as a new file or a rename.
TEST(platformFolderWatcher, EveryChangeOfAFileIsReportedByName) {
    XdgSandbox sandbox;
    const QString folder = sandbox.root() + QStringLiteral("/cal");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString a = folder + QStringLiteral("/a.ics");
    write(a, QIODevice::WriteOnly, "A");
    FolderWatcher watcher;
    EXPECT_TRUE(watcher.setFolders({folder}).isEmpty());
    EXPECT_TRUE(watcher.seesEveryChange(folder));
    QStringList seen;
    QObject::connect(&watcher, &FolderWatcher::changed, [&](const QString& f, const QString& name) {
        EXPECT_EQ(f, folder);
        seen << name;
    });
    struct Case {
        const char* name;
        std::function<void()> change;
        QString reported;
    };
    const Case cases[] = {
        {"a new file", [&] { write(folder + "/b.ics", QIODevice::WriteOnly, "B"); }, "b.ics"},
        {"an edit in place", [&] { write(a, QIODevice::ReadWrite, "Z"); }, "a.ics"},
        {"an append", [&] { write(a, QIODevice::Append, "more"); }, "a.ics"},
        {"a rename over it",
         [&] {
             write(folder + "/.a.tmp", QIODevice::WriteOnly, "new");
             ASSERT_EQ(std::rename(QFile::encodeName(folder + "/.a.tmp").constData(),
                                   QFile::encodeName(a).constData()),
                       0);
         },
         "a.ics"},
        {"a removal", [&] { QFile::remove(a); }, "a.ics"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        seen.clear();
        c.change();
        watcher.poll();
        EXPECT_TRUE(seen.contains(c.reported)) << seen.join(',').toStdString();
    }

    // The folder itself going away is reported without a name, and it is no longer watched.
    seen.clear();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    watcher.poll();
    EXPECT_TRUE(seen.contains(QString())) << seen.join(',').toStdString();
    EXPECT_FALSE(watcher.seesEveryChange(folder));
}

TEST(platformFolderWatcher, AFolderThatCannotBeWatchedIsGivenBackWithOneLogLine) {
    XdgSandbox sandbox;
    LogCapture log;
    FolderWatcher watcher;
    const QStringList missing{sandbox.root() + QStringLiteral("/gone1"),
                              sandbox.root() + QStringLiteral("/gone2")};
    EXPECT_EQ(watcher.setFolders(missing).size(), 2);
    EXPECT_EQ(watcher.setFolders(missing).size(), 2);
    EXPECT_EQ(log.lines().size(), 1) << log.lines().join('\n').toStdString();
    EXPECT_FALSE(watcher.seesEveryChange(missing.first()));
}

}  // namespace
}  // namespace talvor::platform
