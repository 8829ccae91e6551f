#include "kit/KitKeys.h"
#include "kit/Trellis.h"
#include "platform/UserDefaults.h"
#include "support/ShellHarness.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <optional>

namespace talvor {
namespace {

// The start-up begins the kit's exchange with the service only with an endpoint and the
// user's consent; the request leaves from a kit thread while the start-up goes on.
TEST(shellKitService, TheStartAsksForSettingsOnlyWithAnEndpointAndConsent) {
    struct Case {
        const char* name;
        std::optional<bool> sharing;  // the user's switch in the application's defaults
        bool sends;
    };
    const Case cases[] = {
        {"sharing switched off", false, false},
        {"sharing never switched", std::nullopt, true},
        {"sharing switched on", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ShellHarness harness{
            Date::fromQDateTime(QDateTime(QDate(2024, 7, 1), QTime(9, 30), QTimeZone::utc()))};
        QTemporaryDir bundle;
        const QString infoPlist = bundle.filePath(QStringLiteral("Info.plist"));
        QFile file(infoPlist);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>)"
                   R"(<key>Trellis</key><dict><key>APIKey</key><string>key</string>)"
                   R"(<key>Kits</key><array/></dict></dict></plist>)");
        file.close();
        // Takes the connection and drops it: the kit's request fails at once.
        QTcpServer service;
        ASSERT_TRUE(service.listen(QHostAddress::LocalHost));
        const test::ScopedEnvVar info("TALVOR_INFO_PLIST", infoPlist);
        const test::ScopedEnvVar endpoint(
            keys::TRLSettingsEndpointKey,
            QStringLiteral("https://127.0.0.1:%1").arg(service.serverPort()));
        for (const char* proxy : {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
            qunsetenv(proxy);
        }
        if (c.sharing) {
            platform::UserDefaults::standard().setObject(
                *c.sharing, QString::fromLatin1(keys::TalvorShareDataWithServiceKey));
        }
        test::LogCapture log;

        harness.launch();

        EXPECT_EQ(service.waitForNewConnection(c.sends ? 10000 : 500), c.sends);
        if (!c.sends) {
            EXPECT_TRUE(log.contains(
                QStringLiteral("[Trellis] Sharing data with the service is switched off")));
            continue;
        }
        delete service.nextPendingConnection();
        const auto manager = kit::Trellis::sharedSDK().settingsAndOnboardingManager();
        for (int i = 0; i < 1000 && !manager->networkingSessionFinished(); ++i) {
            QThread::msleep(10);
        }
        ASSERT_TRUE(manager->networkingSessionFinished());
        EXPECT_EQ(
            log.lines().filter(QStringLiteral("[Trellis] failed to download settings")).size(), 1);
        EXPECT_FALSE(kit::Trellis::sharedSDK().settings());
    }
}

}  // namespace
}  // namespace talvor
