#include "platform/SingleInstance.h"
#include "support/TestEnvironment.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace talvor::platform
