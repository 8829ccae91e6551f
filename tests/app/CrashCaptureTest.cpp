// The running program with an API key captures a fatal signal into its report folder.
#include "RunningTalvor.h"
#include "crash/WRKFile.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

namespace talvor {
namespace {

using test::RunningTalvor;

TEST(appCrashCapture, AKilledProgramLeavesItsSignalRecord) {
    test::XdgSandbox sandbox;
    const QString plist = sandbox.root() + QStringLiteral("/Info.plist");
    QFile file(plist);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>Trellis</key>
  <dict><key>APIKey</key><string>test-key</string><key>Kits</key><array/></dict>
</dict></plist>
)");
    file.close();
    test::ScopedEnvVar info("TALVOR_INFO_PLIST", plist);

    RunningTalvor app;
    ASSERT_TRUE(app.waitFor("started")) << app.log();
    ASSERT_TRUE(app.output().contains("[Wreckord] Version 3.9.3 (128)")) << app.log();
    app.signal(SIGSEGV);
    ASSERT_TRUE(app.waitForExit()) << app.log();
    EXPECT_EQ(app.process().exitStatus(), QProcess::CrashExit) << app.log();
    EXPECT_EQ(app.process().exitCode(), SIGSEGV) << app.log();

    const QDir active(sandbox.root() +
                      QStringLiteral("/cache/talvor/com.wreckord.data/com.larkspindle.TalvorPro/"
                                     "v3/active"));
    const QStringList runs = active.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(runs.size(), 1) << active.path().toStdString() << "\n" << app.log();
    const std::string run = active.filePath(runs.front()).toStdString();
    const auto metadata = crash::WRKFileReadSections(run + "/metadata.clsrecord", false);
    ASSERT_TRUE(metadata);
    EXPECT_EQ(metadata->size(), 4u);
    const auto signal = crash::WRKFileReadSections(run + "/signal.clsrecord", false);
    ASSERT_TRUE(signal && !signal->empty()) << app.log();
    const crash::JSONValue* line = signal->front().find("signal");
    ASSERT_TRUE(line && line->find("name") && line->find("name")->string());
    EXPECT_EQ(*line->find("name")->string(), "SIGSEGV");
}

}  // namespace
}  // namespace talvor
