// The running program with an API key captures a fatal signal, and an exception escaping one
// of its event handlers, into its report folder.
#include "RunningTalvor.h"
#include "crash/WRKFile.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace talvor {
namespace {

using test::RunningTalvor;

// The driver's handler that throws, once the program runs.
const test::DriverAction kThrowFromAnEventHandler{QStringLiteral("throw-from-event-handler")};

// The sandbox with an Info.plist that gives the program an API key, so the crash kit starts.
class KitSandbox {
  public:
    KitSandbox() {
        const QString plist = sandbox_.root() + QStringLiteral("/Info.plist");
        QFile file(plist);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>Trellis</key>
  <dict><key>APIKey</key><string>test-key</string><key>Kits</key><array/></dict>
</dict></plist>
)");
        file.close();
        info_ = std::make_unique<test::ScopedEnvVar>("TALVOR_INFO_PLIST", plist);
    }
    // The one run folder the program made.
    std::optional<std::string> run() const {
        const QDir active(sandbox_.root() + QStringLiteral("/cache/talvor/com.wreckord.data/"
                                                           "com.larkspindle.TalvorPro/v3/active"));
        const QStringList runs = active.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        EXPECT_EQ(runs.size(), 1) << active.path().toStdString();
        if (runs.size() != 1) {
            return std::nullopt;
        }
        return active.filePath(runs.front()).toStdString();
    }

  private:
    test::XdgSandbox sandbox_;
    std::unique_ptr<test::ScopedEnvVar> info_;
};

std::string hexField(const crash::JSONValue& body, const char* key) {
    const crash::JSONValue* value = body.find(key);
    return value != nullptr && value->string() != nullptr
               ? crash::WRKFileHexDecodeString(value->string()->c_str())
               : std::string("<missing>");
}

struct Range {
    std::uint64_t start = 0;
    std::uint64_t size = 0;
};

// Where the function of `executable` whose name contains `name` lies, as `nm` sees the file.
std::optional<Range> functionIn(const QString& executable, const QString& name) {
    QProcess nm;
    nm.start(QStringLiteral("nm"), {QStringLiteral("-C"), QStringLiteral("-S"), executable});
    if (!nm.waitForFinished(60000)) {
        return std::nullopt;
    }
    const QStringList lines = QString::fromUtf8(nm.readAllStandardOutput()).split(u'\n');
    for (const QString& line : lines) {
        const QStringList parts = line.split(u' ');
        if (parts.size() >= 4 && (parts[2] == u"t" || parts[2] == u"T") && line.contains(name)) {
            return Range{parts[0].toULongLong(nullptr, 16), parts[1].toULongLong(nullptr, 16)};
        }
    }
    return std::nullopt;
}

TEST(appCrashCapture, AKilledProgramLeavesItsSignalRecord) {
    KitSandbox sandbox;
    RunningTalvor app;
    ASSERT_TRUE(app.waitFor("started")) << app.log();
    ASSERT_TRUE(app.output().contains("[Wreckord] Version 3.9.3 (128)")) << app.log();
    app.signal(SIGSEGV);
    ASSERT_TRUE(app.waitForExit()) << app.log();
    EXPECT_EQ(app.process().exitStatus(), QProcess::CrashExit) << app.log();
    EXPECT_EQ(app.process().exitCode(), SIGSEGV) << app.log();

    const std::optional<std::string> folder = sandbox.run();
    ASSERT_TRUE(folder) << app.log();
    const std::string run = *folder;
    const auto metadata = crash::WRKFileReadSections(run + "/metadata.clsrecord", false);
    ASSERT_TRUE(metadata);
    EXPECT_EQ(metadata->size(), 4u);
    const auto signal = crash::WRKFileReadSections(run + "/signal.clsrecord", false);
    ASSERT_TRUE(signal && !signal->empty()) << app.log();
    const crash::JSONValue* line = signal->front().find("signal");
    ASSERT_TRUE(line && line->find("name") && line->find("name")->string());
    EXPECT_EQ(*line->find("name")->string(), "SIGSEGV");
}

// With "NSApplicationCrashOnExceptions" on (the application's registered default), an
// exception escaping an event handler is recorded with the stack where it was thrown, and the
// program ends on it: the abort is the same crash and leaves no record of its own.
TEST(appCrashCapture, AnExceptionFromAnEventHandlerIsRecordedOnceThenEndsTheProgram) {
    KitSandbox sandbox;
    RunningTalvor app(RunningTalvor::Offscreen, kThrowFromAnEventHandler);
    ASSERT_TRUE(app.waitForExit()) << app.log();
    EXPECT_EQ(app.process().exitStatus(), QProcess::CrashExit) << app.log();
    EXPECT_EQ(app.process().exitCode(), SIGABRT) << app.log();
    EXPECT_TRUE(
        app.output().contains("An exception escaped an event handler: "
                              "talvor::TalvorException: test exception from an event "
                              "handler"))
        << app.log();
    EXPECT_FALSE(app.output().contains("test still running after the exception")) << app.log();

    const std::optional<std::string> folder = sandbox.run();
    ASSERT_TRUE(folder) << app.log();
    const auto sections = crash::WRKFileReadSections(*folder + "/exception.clsrecord", false);
    ASSERT_TRUE(sections && sections->size() > 1) << app.log();
    const crash::JSONValue* exception = sections->front().find("exception");
    ASSERT_TRUE(exception && exception->find("type") && exception->find("type")->string());
    EXPECT_EQ(*exception->find("type")->string(), "objective-c");
    EXPECT_EQ(hexField(*exception, "name"), "talvor::TalvorException");
    EXPECT_EQ(hexField(*exception, "reason"), "test exception from an event handler");
    EXPECT_TRUE((*sections)[1].find("threads")) << "every thread's state follows";

    // The first frame is the handler that threw, not the loop that caught it.
    const crash::JSONValue* frames = exception->find("frames");
    ASSERT_TRUE(frames && frames->array() && !frames->array()->empty());
    const auto metadata = crash::WRKFileReadSections(*folder + "/metadata.clsrecord", false);
    ASSERT_TRUE(metadata && metadata->size() == 4u);
    const crash::JSONValue* executable = (*metadata)[3].find("executable");
    ASSERT_TRUE(executable && executable->find("base") && executable->find("base")->uint64());
    const std::optional<Range> thrower =
        functionIn(QStringLiteral(TALVOR_TEST_DRIVER), QStringLiteral("throwFromEventHandler"));
    ASSERT_TRUE(thrower) << "nm does not list the throwing function";
    const crash::JSONValue* pc = frames->array()->front().find("pc");
    ASSERT_TRUE(pc && pc->uint64());
    // A return address: it may sit just past the last instruction of the call.
    const std::uint64_t inFile = *pc->uint64() - 1 - *executable->find("base")->uint64();
    EXPECT_GE(inFile, thrower->start);
    EXPECT_LT(inFile, thrower->start + thrower->size);

    EXPECT_FALSE(QFile::exists(QString::fromStdString(*folder + "/signal.clsrecord")))
        << "one crash, one record";
}

// With the setting turned off by the user, the exception is logged and the program goes on;
// nothing fatal is recorded, and the check two seconds after the kit's start says once that
// the setting is off.
TEST(appCrashCapture, WithoutCrashOnExceptionsAnExceptionIsLoggedAndTheProgramGoesOn) {
    KitSandbox sandbox;
    {
        platform::PlistPreferenceStore store = test::settingsFile();
        store.setValue(QStringLiteral("NSApplicationCrashOnExceptions"), false);
        ASSERT_TRUE(store.synchronize());
    }
    RunningTalvor app(RunningTalvor::Offscreen, kThrowFromAnEventHandler);
    ASSERT_TRUE(app.waitFor("test still running after the exception")) << app.log();
    EXPECT_TRUE(
        app.output().contains("An exception escaped an event handler: "
                              "talvor::TalvorException: test exception from an event "
                              "handler"))
        << app.log();
    const QByteArray warning =
        "[Wreckord:Crash] Warning: NSApplicationCrashOnExceptions is not set.";
    ASSERT_TRUE(app.waitFor(warning)) << app.log();
    app.signal(SIGTERM);
    ASSERT_TRUE(app.waitForExit()) << app.log();
    EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit) << app.log();
    EXPECT_EQ(app.process().exitCode(), 0) << app.log();
    EXPECT_EQ(app.output().count(warning), 1) << app.log();

    const std::optional<std::string> folder = sandbox.run();
    ASSERT_TRUE(folder) << app.log();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(*folder + "/exception.clsrecord")));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(*folder + "/signal.clsrecord")));
}

}  // namespace
}  // namespace talvor
