// The build-tree program started on the display without a session bus: asked for one with
// no address set, libdbus launches a dbus-daemon of its own that outlives the program.
#include "RunningTalvor.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace talvor {
namespace {

using test::RunningTalvor;

// Processes whose environment holds `entry` ("NAME=value"), with their command lines.
QMap<pid_t, QString> processesWithEnvironment(const QByteArray& entry) {
    QMap<pid_t, QString> found;
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = name.toInt(&number);
        if (!number) {
            continue;
        }
        QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
        if (!environ.open(QIODevice::ReadOnly) || !environ.readAll().split('\0').contains(entry)) {
            continue;
        }
        QFile command(QStringLiteral("/proc/%1/cmdline").arg(pid));
        command.open(QIODevice::ReadOnly);
        found.insert(pid, QString::fromLocal8Bit(command.readAll().replace('\0', ' ')));
    }
    return found;
}

TEST(appNoSessionBus, NoBusIsLaunchedAndTheNoticesStayInTheProcess) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        GTEST_SKIP() << "needs an X display (libdbus launches a bus only on one)";
    }
    QTemporaryDir runtime;  // no bus socket in it
    ASSERT_TRUE(runtime.isValid());
    const test::ScopedEnvVar noAddress("DBUS_SESSION_BUS_ADDRESS", QString());
    const test::ScopedEnvVar runtimeDir("XDG_RUNTIME_DIR", runtime.path());
    {
        RunningTalvor app(RunningTalvor::OnDisplayWithoutMoveOffer);
        ASSERT_TRUE(app.waitFor("started")) << app.log();
        app.signal(SIGTERM);
        ASSERT_TRUE(app.waitForExit()) << app.log();
        EXPECT_EQ(app.output().count("distributed notifications reach this process only"), 1)
            << app.log();
        EXPECT_FALSE(app.output().contains("dbus-launch")) << app.log();
    }
    // Anything the program started carries its environment; nothing may be left running.
    const QMap<pid_t, QString> left =
        processesWithEnvironment("XDG_RUNTIME_DIR=" + QFile::encodeName(runtime.path()));
    for (auto it = left.cbegin(); it != left.cend(); ++it) {
        ::kill(it.key(), SIGTERM);
        ADD_FAILURE() << "left running: " << it.key() << " " << it.value().toStdString();
    }
}

}  // namespace
}  // namespace talvor
