// A crash of the running program reaches the reports server once, at the next start, with
// its stacks named, and leaves no report behind.
#include "LoopbackTlsServer.h"
#include "RunningTalvor.h"
#include "TestPki.h"
#include "crash/support/MultipartBody.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <optional>
#include <string>

namespace talvor {
namespace {

using test::RunningTalvor;
namespace net = kit::test;

// The program's home, with an API key, a reports endpoint and the roots that vouch for the
// loopback server.
class DeliverySandbox {
  public:
    explicit DeliverySandbox(const std::string& endpoint) {
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
        const QString roots = sandbox_.root() + QStringLiteral("/roots.pem");
        QFile pem(roots);
        EXPECT_TRUE(pem.open(QIODevice::WriteOnly));
        pem.write(QByteArray::fromStdString(net::TestPki::shared().rootAPEM));
        pem.close();
        env_.push_back(std::make_unique<test::ScopedEnvVar>("TALVOR_INFO_PLIST", plist));
        // The server is on this machine: no proxy may carry the request elsewhere.
        for (const char* proxy :
             {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
            env_.push_back(std::make_unique<test::ScopedEnvVar>(proxy, QString()));
        }
        env_.push_back(std::make_unique<test::ScopedEnvVar>("ServiceRootCertificates", roots));
        env_.push_back(std::make_unique<test::ScopedEnvVar>("WreckordReportsEndpoint",
                                                            QString::fromStdString(endpoint)));
    }
    QDir folder(const char* name) const {
        return QDir(
            sandbox_.root() +
            QStringLiteral("/cache/talvor/com.wreckord.data/com.larkspindle.TalvorPro/v3/") +
            QLatin1String(name));
    }
    QStringList entries(const char* name) const {
        return folder(name).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

  private:
    test::XdgSandbox sandbox_;
    std::vector<std::unique_ptr<test::ScopedEnvVar>> env_;
};

TEST(appCrashDelivery, ACrashIsSentOnceSymbolicatedAtTheNextStartAndNothingStays) {
    net::LoopbackTlsServer server(net::TestPki::shared().leafA, [](const net::RecordedRequest&) {
        return net::withBody("{}", "application/json");
    });
    DeliverySandbox sandbox(server.url(""));

    QString crashed;
    {
        RunningTalvor app(RunningTalvor::Offscreen, test::DriverAction{QStringLiteral("crash")});
        ASSERT_TRUE(app.waitForExit()) << app.log();
        ASSERT_TRUE(app.output().contains("crashing as asked")) << app.log();
        EXPECT_EQ(app.process().exitStatus(), QProcess::CrashExit) << app.log();
        const QStringList runs = sandbox.entries("active");
        ASSERT_EQ(runs.size(), 1) << app.log();
        crashed = runs.front();
    }
    EXPECT_EQ(server.requestCount(), 0u) << "nothing is sent from the crashing process";

    // The same program file again: the report names the functions of the main executable as
    // the running one knows them.
    RunningTalvor app(RunningTalvor::Offscreen, test::DriverAction{QStringLiteral("nothing")});
    ASSERT_TRUE(server.waitForRequests(1, std::chrono::seconds(30))) << app.log();
    // The upload's end removes the packaged file.
    QElapsedTimer waited;
    waited.start();
    while (!sandbox.entries("prepared").isEmpty() && waited.elapsed() < 10000) {
        QThread::msleep(50);
    }
    ASSERT_TRUE(app.waitFor("The analytics hear of the crash of session " + crashed.toUtf8()))
        << app.log();
    QThread::msleep(500);
    app.signal(SIGTERM);
    ASSERT_TRUE(app.waitForExit()) << app.log();

    const std::vector<net::RecordedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 1u) << app.log();
    const net::RecordedRequest& request = requests.front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/sdk-api/v1/platforms/mac/apps/com.larkspindle.TalvorPro/reports");
    EXPECT_EQ(request.header("X-Wreckord-API-Key"), "test-key");
    std::map<std::string, const net::RecordedPart*> parts;
    for (const net::RecordedPart& part : request.parts) {
        parts[part.name] = &part;
    }
    ASSERT_TRUE(parts.count("report_id")) << app.log();
    EXPECT_EQ(parts["report_id"]->content, crashed.toStdString());
    ASSERT_TRUE(parts.count("signal.clsrecord")) << app.log();
    ASSERT_TRUE(parts.count("signal.clsrecord.symbolicated")) << app.log();
    const net::RecordedPart& named = *parts["signal.clsrecord.symbolicated"];
    EXPECT_EQ(named.contentType, "application/x-gzip");
    EXPECT_EQ(named.fileName, "signal.clsrecord.symbolicated.gz");
    const std::optional<std::string> symbols = crash::test::gunzip(named.content);
    ASSERT_TRUE(symbols);
    // The crashing function, named as the program knows it.
    EXPECT_NE(symbols->find("crashFromTestAction"), std::string::npos) << *symbols;

    EXPECT_EQ(sandbox.entries("processing"), QStringList()) << app.log();
    EXPECT_EQ(sandbox.entries("prepared"), QStringList()) << app.log();
    // Only the second run's own folder is left, and it had nothing to send.
    const QStringList active = sandbox.entries("active");
    ASSERT_EQ(active.size(), 1) << app.log();
    EXPECT_NE(active.front(), crashed);
}

}  // namespace
}  // namespace talvor
