// The move offer as a user meets it: the program, run from a build tree on the display, is
// moved; the copy then runs with that build tree gone and loads nothing from any build tree,
// and removes what it placed.
#include "DisplayWindows.h"
#include "RunningTalvor.h"
#include "platform/DesktopEntryFile.h"
#include "platform/MediaBackend.h"
#include "platform/Paths.h"
#include "services/AppStartup.h"
#include "services/ProgramCopy.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace talvor {
namespace {

using test::RunningTalvor;

// The processes running `program` now.
QList<qint64> processesOf(const QString& program) {
    QList<qint64> found;
    QDirIterator it(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const qint64 pid = it.fileName().toLongLong();
        if (pid > 0 &&
            QFileInfo(it.filePath() + QStringLiteral("/exe")).symLinkTarget() == program) {
            found << pid;
        }
    }
    return found;
}

// Ends the copy the move started (it runs detached), once it runs; false when none started
// within 30 s.
bool endRelaunchedCopy(const QString& program) {
    QElapsedTimer waited;
    waited.start();
    QList<qint64> running;
    while ((running = processesOf(program)).isEmpty() && waited.elapsed() < 30000) {
        QThread::msleep(100);
    }
    for (const qint64 pid : running) {
        ::kill(static_cast<pid_t>(pid), SIGTERM);
    }
    while (!processesOf(program).isEmpty() && waited.elapsed() < 60000) {
        QThread::msleep(100);
    }
    return !running.isEmpty();
}

class appMoveCopy : public ::testing::Test {
  protected:
    // Copies the built program into a build tree of its own and accepts its move offer there.
    void moveFromABuildTree() {
        const QString exe = buildTree.path() + QStringLiteral("/src/app/talvor");
        ASSERT_TRUE(QDir().mkpath(QFileInfo(exe).path()));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TALVOR_EXECUTABLE), exe));
        // The data the build puts beside the program's folder (sounds, tables, icons).
        QProcess copyData;
        copyData.start(QStringLiteral("cp"),
                       {QStringLiteral("-r"),
                        QFileInfo(QStringLiteral(TALVOR_EXECUTABLE)).absolutePath() +
                            QStringLiteral("/../share"),
                        buildTree.path() + QStringLiteral("/src/share")});
        ASSERT_TRUE(copyData.waitForFinished(60000));
        ASSERT_EQ(copyData.exitCode(), 0) << copyData.readAllStandardError().toStdString();
        QFile cache(buildTree.path() + QStringLiteral("/CMakeCache.txt"));
        ASSERT_TRUE(cache.open(QIODevice::WriteOnly));
        cache.close();

        // The product itself: the driver would move itself.
        RunningTalvor app(RunningTalvor::OnDisplay, exe);
        const QStringList offer = test::waitForDialogs(app, 1);
        ASSERT_EQ(offer.size(), 1) << app.log();
        test::pressReturnIn(offer.front());
        ASSERT_TRUE(app.waitForExit(60000)) << app.log();
        EXPECT_EQ(app.process().exitCode(), 0) << app.log();
        ASSERT_TRUE(app.output().contains("Moving myself to")) << app.log();
        EXPECT_TRUE(QFileInfo(exe).isExecutable()) << "the build tree keeps its program";
        EXPECT_TRUE(endRelaunchedCopy(copy.executable())) << "the copy was started";
    }

    // What the process `pid` has loaded of ours comes from the copy, `expected` among it, and
    // nothing from the build.
    void expectMappedFromTheCopyAlone(qint64 pid, const QString& expected) const {
        QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
        ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
        const QString mapped = QString::fromUtf8(maps.readAll());
        EXPECT_FALSE(mapped.contains(QStringLiteral(TALVOR_BINARY_DIR "/")))
            << mapped.toStdString();
        EXPECT_TRUE(mapped.contains(copy.folder() + QStringLiteral("/lib")) &&
                    mapped.contains(expected))
            << mapped.toStdString();
    }

    test::XdgSandbox sandbox;
    QTemporaryDir buildTree;
    const PlacedCopy copy{platform::Paths::homeDir() + QStringLiteral("/.local/bin")};
};

using appMoveCopyTest = appMoveCopy;

TEST_F(appMoveCopyTest, TheCopyRunsWithTheBuildTreeGoneAndLoadsNothingFromABuildTree) {
    ASSERT_NO_FATAL_FAILURE(moveFromABuildTree());
    ASSERT_TRUE(QDir(buildTree.path()).removeRecursively());

    // What the copy loads at its start comes from the copy.
    {
        RunningTalvor started(RunningTalvor::Offscreen, copy.executable());
        ASSERT_TRUE(started.waitFor("started")) << started.log();
        expectMappedFromTheCopyAlone(started.process().processId(), QStringLiteral("libtalvor"));
    }

    // Its sounds, read with the media module it opens at the first use: the driver, placed
    // beside the copy's program, loads the copy's libraries and module as the program does.
    const QString driver =
        QFileInfo(copy.executable()).absolutePath() + QStringLiteral("/talvor-test-driver");
    ASSERT_TRUE(QFile::copy(QStringLiteral(TALVOR_TEST_DRIVER), driver));
    RunningTalvor moved(RunningTalvor::Offscreen, test::DriverAction{QStringLiteral("media-check")},
                        driver);
    ASSERT_TRUE(moved.waitFor("test sound ")) << moved.log();
    const QString log = QString::fromUtf8(moved.output());
    EXPECT_TRUE(log.contains(QStringLiteral("test data folder ") + copy.folder() +
                             QStringLiteral("/share/talvor")))
        << moved.log();
    EXPECT_TRUE(log.contains(QStringLiteral("test media module loaded"))) << moved.log();
    EXPECT_TRUE(log.contains(QStringLiteral("test sound ") + copy.folder() +
                             QStringLiteral("/share/talvor/UserSounds/")))
        << moved.log();
    EXPECT_FALSE(log.contains(QStringLiteral(" lasts 0 s"))) << "the sound was read\n"
                                                             << moved.log();

    expectMappedFromTheCopyAlone(moved.process().processId(), QStringLiteral("talvor-media.so"));
    ASSERT_TRUE(QFile::remove(driver));
    // The kit's network module is opened only at a request: it must have come along too.
    EXPECT_TRUE(QFileInfo::exists(platform::programLibraryFolder(copy.executable()) +
                                  QStringLiteral("/talvor-network.so")));
}

// Removal through the program itself (no menu needed): it takes its entries, command and copy,
// and leaves the user's data; no desktop entry is left pointing at nothing.
TEST_F(appMoveCopyTest, TheCopyRemovesWhatItPlacedAndLeavesNoEntryPointingAtNothing) {
    ASSERT_NO_FATAL_FAILURE(moveFromABuildTree());
    ASSERT_TRUE(LoginItems(copy.executable()).setEnabled(true));
    const QString userData = platform::Paths::dataDir() + QStringLiteral("/UnsavedAlarms.plist");
    ASSERT_TRUE(QDir().mkpath(platform::Paths::dataDir()));
    QFile data(userData);
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.close();

    QProcess listed;
    listed.start(copy.link(), {QStringLiteral("--placed-files")});
    ASSERT_TRUE(listed.waitForFinished(20000));
    const QString list = QString::fromUtf8(listed.readAllStandardOutput());
    for (const QString& path :
         {LoginItems::entryPath(), PlacedCopy::menuEntryPath(), copy.link(), copy.folder()}) {
        EXPECT_TRUE(list.contains(path)) << path.toStdString() << "\n" << list.toStdString();
    }

    QProcess removal;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    removal.setProcessEnvironment(env);
    removal.start(copy.link(), {QStringLiteral("--uninstall")});
    ASSERT_TRUE(removal.waitForFinished(20000));
    const QString said = QString::fromUtf8(removal.readAllStandardOutput());
    EXPECT_EQ(removal.exitCode(), 0) << said.toStdString();
    EXPECT_TRUE(said.contains(platform::Paths::dataDir())) << "it says where the data stays\n"
                                                           << said.toStdString();
    EXPECT_FALSE(QFileInfo::exists(copy.folder()));
    EXPECT_FALSE(QFileInfo(copy.link()).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(userData));
    for (const QString& folder : {platform::DesktopEntryFile::autostartFolder(),
                                  platform::DesktopEntryFile::applicationsFolder()}) {
        QDirIterator entries(folder, {QStringLiteral("*.desktop")}, QDir::Files);
        while (entries.hasNext()) {
            const QString entry = entries.next();
            const auto keys = platform::DesktopEntryFile::read(entry);
            ASSERT_TRUE(keys);
            const QString tryExec = keys->value(QStringLiteral("TryExec"));
            EXPECT_TRUE(!tryExec.isEmpty() && QFileInfo(tryExec).isExecutable())
                << entry.toStdString() << " starts nothing";
        }
    }
}

}  // namespace
}  // namespace talvor
