// The running program with an API key and a service on the loopback: the events of a run
// reach the service once each, and nothing is left behind; without an endpoint nothing goes.
#include "RunningTalvor.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include <zlib.h>

#include <csignal>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "LoopbackTlsServer.h"
#include "TestPki.h"
#include "kit/KitJson.h"
#include "kit/TLYEventLogFile.h"

namespace talvor {
namespace {

using kit::test::LoopbackTlsServer;
using kit::test::RecordedRequest;
using kit::test::ScriptedResponse;
using kit::test::TestPki;

std::string gunzip(const std::string& bytes) {
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        return {};
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    std::string out;
    char buffer[16384];
    int result = Z_OK;
    do {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
    } while (result == Z_OK);
    inflateEnd(&stream);
    return result == Z_STREAM_END ? out : std::string();
}

void write(const QString& path, const std::string& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

TEST(appAnalytics, EventsOfARunReachTheServiceOnceEachAndNothingIsLeft) {
    struct Case {
        const char* what;
        bool endpoint;
    };
    for (const Case& c : {Case{"with a test endpoint", true}, Case{"with no endpoint", false}}) {
        SCOPED_TRACE(c.what);
        test::XdgSandbox sandbox;
        std::mutex mutex;
        std::string eventsURL;
        LoopbackTlsServer server(TestPki::shared().leafA, [&](const RecordedRequest& request) {
            if (request.method == "GET") {
                std::lock_guard lock(mutex);
                ScriptedResponse reply = kit::test::withBody(
                    R"({"app":{"status":"activated"},"analytics":{"url":")" + eventsURL + R"("}})",
                    "application/json");
                return reply;
            }
            return kit::test::answer(200);
        });
        {
            std::lock_guard lock(mutex);
            eventsURL = server.url("/events");
        }
        const QString plist = sandbox.root() + QStringLiteral("/Info.plist");
        write(plist, R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>)"
                     R"(<key>Trellis</key><dict><key>APIKey</key><string>e2e-key</string>)"
                     R"(<key>Kits</key><array/></dict></dict></plist>)");
        const QString roots = sandbox.root() + QStringLiteral("/roots.pem");
        write(roots, TestPki::shared().rootAPEM);
        const test::ScopedEnvVar info("TALVOR_INFO_PLIST", plist);
        const test::ScopedEnvVar trust("ServiceRootCertificates", roots);
        const test::ScopedEnvVar settings(
            "SettingsEndpoint", c.endpoint ? QString::fromStdString(server.url("")) : QString());
        const test::ScopedEnvVar configure("ConfigureEndpoint", QString());
        for (const char* proxy : {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
            qunsetenv(proxy);
        }
        test::RunningTalvor app(test::RunningTalvor::Offscreen,
                                test::DriverAction{QStringLiteral("time-menu-windows")});
        ASSERT_TRUE(app.waitFor("started")) << app.log();
        if (c.endpoint) {
            // The install's file goes as soon as the settings name the endpoint.
            for (int i = 0; i < 200; ++i) {
                bool posted = false;
                for (const auto& request : server.requests()) {
                    posted = posted || request.method == "POST";
                }
                if (posted) {
                    break;
                }
                QThread::msleep(50);
            }
        } else {
            QThread::msleep(1500);
        }
        app.signal(SIGTERM);
        ASSERT_TRUE(app.waitForExit()) << app.log();

        std::map<std::string, int> ids;
        std::multiset<std::string> names;
        for (const auto& request : server.requests()) {
            if (request.method != "POST") {
                continue;
            }
            EXPECT_EQ(request.path, "/events");
            EXPECT_EQ(request.header("X-WRECKORD-API-KEY"), "e2e-key");
            ASSERT_EQ(request.parts.size(), 1u);
            for (const auto& record :
                 kit::TLYEventLogFile::readRecordsFromBytes(gunzip(request.parts[0].content))) {
                if (record.name == "metadata") {
                    continue;
                }
                const auto parsed = kit::json::parse(record.json);
                const kit::JsonValue* id =
                    parsed && parsed->object() ? parsed->object()->find("eventId") : nullptr;
                ASSERT_TRUE(id && id->string()) << record.json;
                ++ids[*id->string()];
                names.insert(record.name);
            }
        }
        const QDir events(sandbox.root() +
                          QStringLiteral("/cache/talvor/com.wreckord.data/"
                                         "com.larkspindle.TalvorPro/analytics/v2/events"));
        const QStringList left = events.entryList(QDir::Files);
        if (!c.endpoint) {
            EXPECT_EQ(server.requestCount(), 0u) << "nothing is sent without an endpoint";
            EXPECT_FALSE(left.isEmpty()) << "the run's events wait on disk";
            continue;
        }
        for (const auto& [id, count] : ids) {
            EXPECT_EQ(count, 1) << "event " << id;
        }
        for (const char* name : {"app_installed", "app_launched", "app_terminated"}) {
            EXPECT_EQ(names.count(name), 1u) << name << "\n" << app.log();
        }
        EXPECT_TRUE(left.isEmpty()) << left.join(u' ').toStdString();
    }
}

}  // namespace
}  // namespace talvor
