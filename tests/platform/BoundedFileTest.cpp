#include "platform/BoundedFile.h"
#include "platform/PlistPreferenceStore.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

namespace talvor::platform {
namespace {

using test::LogCapture;
using test::XdgSandbox;

// Every kind of thing a path can name: only a regular file within the cap is read, nothing
// blocks, and every refusal but a missing file says so in one line.
TEST(platformBoundedFile, OnlyRegularFilesWithinTheCapAreRead) {
    XdgSandbox sandbox;
    const QString dir = sandbox.root();
    constexpr qint64 kCap = 4096;
    const auto writeFile = [](const QString& path, qint64 size) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(size));
    };
    struct Case {
        const char* name;
        std::function<void(const QString& path)> make;
        std::optional<qint64> readSize;  // nullopt: refused
        ReadRefusal refusal;
    };
    const Case cases[] = {
        {"small file", [&](const QString& p) { writeFile(p, 10); }, 10, {}},
        {"empty file", [&](const QString& p) { writeFile(p, 0); }, 0, {}},
        {"exactly the cap", [&](const QString& p) { writeFile(p, kCap); }, kCap, {}},
        {"one byte over",
         [&](const QString& p) { writeFile(p, kCap + 1); },
         {},
         ReadRefusal::TooLarge},
        {"missing", [](const QString&) {}, {}, ReadRefusal::Missing},
        {"dangling link",
         [&](const QString& p) { ASSERT_EQ(::symlink("/nonexistent/x", p.toUtf8()), 0); },
         {},
         ReadRefusal::Missing},
        {"folder",
         [](const QString& p) { ASSERT_TRUE(QDir().mkpath(p)); },
         {},
         ReadRefusal::NotARegularFile},
        {"fifo without a writer",
         [](const QString& p) { ASSERT_EQ(::mkfifo(p.toUtf8(), 0600), 0); },
         {},
         ReadRefusal::NotARegularFile},
        {"link to /dev/zero",
         [](const QString& p) { ASSERT_EQ(::symlink("/dev/zero", p.toUtf8()), 0); },
         {},
         ReadRefusal::NotARegularFile},
        {"link to a fifo",
         [&](const QString& p) {
             ASSERT_EQ(::mkfifo((p + ".fifo").toUtf8(), 0600), 0);
             ASSERT_EQ(::symlink((p + ".fifo").toUtf8(), p.toUtf8()), 0);
         },
         {},
         ReadRefusal::NotARegularFile},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir + QStringLiteral("/case%1").arg(++n);
        c.make(path);
        LogCapture log;
        const BoundedRead read = readRegularFile(path, kCap);
        ASSERT_EQ(read.bytes.has_value(), c.readSize.has_value());
        if (c.readSize) {
            EXPECT_EQ(read.bytes->size(), *c.readSize);
            EXPECT_TRUE(log.lines().isEmpty());
        } else {
            EXPECT_EQ(read.refusal, c.refusal);
            const bool logged = c.refusal != ReadRefusal::Missing;
            ASSERT_EQ(log.lines().size(), logged ? 1 : 0);
            if (logged) {
                EXPECT_TRUE(log.lines().first().contains(path));
            }
        }
    }
}

// The settings file is read at start-up, before the event loop runs: a FIFO there must not
// stop start-up, /dev/zero must not fill memory, and a file far larger than any settings is
// refused unread. Each is left where it is, logged once, and the store starts empty.
TEST(platformBoundedFile, SpecialOrHugeSettingsFilesNeitherBlockNorGrowStartUp) {
    XdgSandbox sandbox;
    const QString folder = sandbox.root() + QStringLiteral("/config/talvor");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/test.domain.plist");
    struct Case {
        const char* name;
        std::function<void()> make;
    };
    const Case cases[] = {
        {"fifo", [&] { ASSERT_EQ(::mkfifo(path.toUtf8(), 0600), 0); }},
        {"link to /dev/zero", [&] { ASSERT_EQ(::symlink("/dev/zero", path.toUtf8()), 0); }},
        {"sparse file over the cap",
         [&] {
             QFile f(path);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             ASSERT_TRUE(f.resize(kSettingsFileCap + 1));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path);
        c.make();
        struct stat before {};
        ASSERT_EQ(::lstat(path.toUtf8(), &before), 0);
        LogCapture log;
        PlistPreferenceStore store(QStringLiteral("test.domain"), path);
        EXPECT_TRUE(store.keys().isEmpty());
        ASSERT_EQ(log.lines().size(), 1) << log.lines().join('\n').toStdString();
        EXPECT_TRUE(log.lines().first().contains(path));
        struct stat after {};
        ASSERT_EQ(::lstat(path.toUtf8(), &after), 0) << "left where it was";
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_TRUE(QDir(folder).entryList({QStringLiteral("*.corrupt-*")}, QDir::Files).isEmpty());
    }
}

}  // namespace
}  // namespace talvor::platform
