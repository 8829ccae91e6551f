#include "support/TestEnvironment.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <csignal>

namespace talvor {
namespace {

// Starts the application, waits for it to say it started, and sends it a signal.
void quitBySignal(int signalNumber) {
    test::XdgSandbox sandbox;
    QProcess app;
    app.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(TALVOR_EXECUTABLE), {});
    ASSERT_TRUE(app.waitForStarted(10000));
    QByteArray output;
    while (!output.contains("started") && app.waitForReadyRead(30000)) {
        output += app.readAll();
    }
    ASSERT_TRUE(output.contains("started")) << output.toStdString();
    ::kill(static_cast<pid_t>(app.processId()), signalNumber);
    ASSERT_TRUE(app.waitForFinished(30000));
    output += app.readAll();
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(app.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("Talvor Pro quit")) << output.toStdString();
}

TEST(AppLifecycle, QuitsCleanlyOnTerminationSignals) {
    for (int s : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(s);
        quitBySignal(s);
    }
}

}  // namespace
}  // namespace talvor
