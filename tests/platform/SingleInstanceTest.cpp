#include "platform/SingleInstance.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

namespace talvor::platform {
namespace {

// A child that takes the lock and then behaves as told when asked to quit.
pid_t holdLockInChild(const QString& path, bool quitsOnTerm) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGTERM, quitsOnTerm ? SIG_DFL : SIG_IGN);
        SingleInstance lock(path);
        if (!lock.acquire(0)) {
            ::_exit(3);
        }
        ::pause();
        ::_exit(0);
    }
    return child;
}

bool waitForHolder(const QString& path) {
    for (int i = 0; i < 200; ++i) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly) && !f.readAll().trimmed().isEmpty()) {
            return true;
        }
        ::usleep(10000);
    }
    return false;
}

TEST(platformSingleInstance, TheNewestCopyAsksTheRunningOneToQuitAndTakesOver) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("instance.lock"));
    const pid_t older = holdLockInChild(path, true);
    ASSERT_TRUE(waitForHolder(path));
    SingleInstance newer(path);
    ASSERT_TRUE(newer.acquire(5000));
    EXPECT_EQ(newer.replacedProcess(), older);
    int status = 0;
    ASSERT_EQ(::waitpid(older, &status, 0), older);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().trimmed().toLongLong(), static_cast<qint64>(::getpid()));
}

TEST(platformSingleInstance, ACopyThatIgnoresTheRequestIsStopped) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("instance.lock"));
    const pid_t older = holdLockInChild(path, false);
    ASSERT_TRUE(waitForHolder(path));
    test::LogCapture log;
    SingleInstance newer(path);
    ASSERT_TRUE(newer.acquire(300));
    int status = 0;
    ASSERT_EQ(::waitpid(older, &status, 0), older);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_TRUE(log.contains(QStringLiteral("did not quit")));
}

TEST(platformSingleInstance, ANumberLeftInTheFileByACrashedCopyIsNeverSignalled) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("instance.lock"));
    QFile stale(path);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("1\n");  // init: a number that is surely not ours
    stale.close();
    test::LogCapture log;
    SingleInstance only(path);
    ASSERT_TRUE(only.acquire(200));
    EXPECT_EQ(only.replacedProcess(), 0);
    EXPECT_FALSE(log.contains(QStringLiteral("Asking")));
}

TEST(platformSingleInstance, AloneItSimplyHoldsTheLock) {
    QTemporaryDir dir;
    SingleInstance only(dir.filePath(QStringLiteral("sub/instance.lock")));
    ASSERT_TRUE(only.acquire(0));
    EXPECT_TRUE(only.isHeld());
    EXPECT_EQ(only.replacedProcess(), 0);
}

TEST(platformSingleInstance, ALinkOrASpecialFileAtTheLocksPlaceIsNeverWrittenThrough) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("instance.lock"));
    const QString victim = dir.filePath(QStringLiteral("victim.txt"));
    QFile v(victim);
    ASSERT_TRUE(v.open(QIODevice::WriteOnly));
    v.write("precious\n");
    v.close();

    // A link: replaced by a lock file of our own, its target untouched.
    ASSERT_TRUE(QFile::link(victim, path));
    {
        SingleInstance only(path);
        ASSERT_TRUE(only.acquire(0));
        EXPECT_FALSE(QFileInfo(path).isSymLink());
    }
    ASSERT_TRUE(v.open(QIODevice::ReadOnly));
    EXPECT_EQ(v.readAll(), QByteArray("precious\n"));
    v.close();

    // A folder or a FIFO: refused at once, nothing blocks.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkdir(path));
    {
        test::LogCapture log;
        SingleInstance only(path);
        EXPECT_FALSE(only.acquire(0));
        EXPECT_EQ(log.lines().size(), 1);
    }
    ASSERT_TRUE(QDir().rmdir(path));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    {
        test::LogCapture log;
        SingleInstance only(path);
        EXPECT_FALSE(only.acquire(0));
        EXPECT_TRUE(log.contains(QStringLiteral("no plain file")));
    }
}

}  // namespace
}  // namespace talvor::platform
