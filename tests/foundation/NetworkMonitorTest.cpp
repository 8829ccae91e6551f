#include "foundation/Helper.h"
#include "foundation/NetworkMonitor.h"
#include "platform/NotificationCenter.h"
#include "platform/ReachabilityProbe.h"
#include "support/FakeReachabilityProbe.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace talvor {
namespace {

using test::FakeReachabilityProbe;

TEST(foundationNetworkMonitorFlags, OnlineNeedsReachableWithNoConnectionToMakeFirst) {
    struct Case {
        std::uint32_t flags;
        bool online;
    };
    const Case cases[] = {
        {0, false},    {1, false},                   // transient alone
        {2, true},                                   // reachable
        {3, true},     {4, false},                   // a connection must be made first
        {6, false},    {7, false}, {0x10002, true},  // other bits do not matter
        {0xF0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NetworkMonitor::flagsAreOnline(c.flags), c.online) << c.flags;
        FakeReachabilityProbe probe(c.flags);
        EXPECT_EQ(Helper::isInternetConnection(probe), c.online) << c.flags;
    }
    EXPECT_FALSE(Helper::isInternetConnection(FakeReachabilityProbe(std::nullopt)));
}

class NetworkMonitorTest : public ::testing::Test {
  protected:
    std::unique_ptr<NetworkMonitor> make(std::optional<std::uint32_t> initial) {
        auto probe = std::make_unique<FakeReachabilityProbe>(initial);
        fake = probe.get();
        return std::make_unique<NetworkMonitor>(std::move(probe), center);
    }

    platform::NotificationCenter center;
    std::vector<QVariant> posts;
    platform::Observation observation =
        center.addObserver(NetworkMonitorStatusChanged, QVariant(),
                           [this](const platform::Notification& n) { posts.push_back(n.object); });
    FakeReachabilityProbe* fake = nullptr;
};

using foundationNetworkMonitor = NetworkMonitorTest;

TEST_F(foundationNetworkMonitor, TheStateReadAtCreationNeverPosts) {
    for (const std::optional<std::uint32_t> initial :
         {std::optional<std::uint32_t>(2), std::optional<std::uint32_t>(0),
          std::optional<std::uint32_t>()}) {
        auto monitor = make(initial);
        EXPECT_EQ(monitor->isOnline(), initial == 2u);
        EXPECT_TRUE(posts.empty());
    }
}

TEST_F(foundationNetworkMonitor, EachChangeOfStatePostsOnceWithTheMonitorAsObject) {
    auto monitor = make(2);
    struct Step {
        std::uint32_t flags;
        bool online;
        std::size_t posts;  // in total so far
    };
    const Step steps[] = {
        {0, false, 1},  // online -> offline
        {0, false, 1},  // same state again: nothing
        {4, false, 1},  // connection required is still offline
        {6, false, 1}, {2, true, 2}, {3, true, 2}, {1, false, 3},
    };
    for (const Step& s : steps) {
        fake->change(s.flags);
        EXPECT_EQ(monitor->isOnline(), s.online) << s.flags;
        EXPECT_EQ(posts.size(), s.posts) << s.flags;
    }
    for (const QVariant& object : posts) {
        EXPECT_EQ(object, platform::senderObject(monitor.get()));
    }
    // A monitor gone stops listening to its probe.
    monitor.reset();
}

TEST_F(foundationNetworkMonitor, ProcessFlagsWithoutNotifyChangesStateSilently) {
    auto monitor = make(0);
    monitor->processFlags(2, false);
    EXPECT_TRUE(monitor->isOnline());
    monitor->processFlags(0, true);
    EXPECT_FALSE(monitor->isOnline());
    EXPECT_EQ(posts.size(), 1u);
}

TEST(foundationNetworkMonitorShared, TheSharedMonitorCanBeReplaced) {
    auto monitor = std::make_shared<NetworkMonitor>(std::make_unique<FakeReachabilityProbe>(2));
    NetworkMonitor::setSharedMonitor(monitor);
    EXPECT_EQ(&NetworkMonitor::sharedMonitor(), monitor.get());
    EXPECT_TRUE(NetworkMonitor::sharedMonitor().isOnline());
    NetworkMonitor::setSharedMonitor(nullptr);
}

TEST(foundationRouteReachability, DefaultRouteTablesGiveTheReachableFlag) {
    const QByteArray v4Header =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    const QByteArray v4Subnet = "eth0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";
    auto v4Default = [](const char* iface, const char* flags) {
        return QByteArray(iface) + "\t00000000\t0100A8C0\t" + flags +
               "\t0\t0\t100\t00000000\t0\t0\t0\n";
    };
    const QByteArray v6Default =
        "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
        "fe800000000000000000000000000001 00000400 00000001 00000000 00000003     eth0\n";
    const QByteArray v6LoopReject =
        "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
        "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n";
    const QByteArray v6Local =
        "fe800000000000000000000000000000 40 00000000000000000000000000000000 00 "
        "00000000000000000000000000000000 00000100 00000001 00000000 00000001     eth0\n";

    struct Case {
        const char* name;
        std::optional<QByteArray> v4, v6;  // nullopt: no such file
        std::optional<std::uint32_t> flags;
    };
    const Case cases[] = {
        {"v4 default", v4Header + v4Subnet + v4Default("eth0", "0003"), std::nullopt, 2},
        {"v4 subnet only", v4Header + v4Subnet, std::nullopt, 0},
        {"v4 default down", v4Header + v4Default("eth0", "0002"), std::nullopt, 0},
        {"v4 default rejecting", v4Header + v4Default("eth0", "0201"), std::nullopt, 0},
        {"v4 default on loopback", v4Header + v4Default("lo", "0003"), std::nullopt, 0},
        {"v6 default", std::nullopt, v6Local + v6Default, 2},
        {"v6 unreachable default", v4Header + v4Subnet, v6LoopReject + v6Local, 0},
        {"v4 empty, v6 default", v4Header, v6Default, 2},
        {"no tables", std::nullopt, std::nullopt, std::nullopt},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString v4 = dir.filePath(QStringLiteral("route"));
        const QString v6 = dir.filePath(QStringLiteral("ipv6_route"));
        QFile::remove(v4);
        QFile::remove(v6);
        for (const auto& [path, content] : {std::pair{v4, c.v4}, std::pair{v6, c.v6}}) {
            if (content) {
                QFile f(path);
                ASSERT_TRUE(f.open(QIODevice::WriteOnly));
                f.write(*content);
            }
        }
        EXPECT_EQ(platform::defaultRouteFlags(v4, v6), c.flags);
        EXPECT_EQ(platform::RouteReachabilityProbe(v4, v6).flags(), c.flags);
    }
}

TEST(foundationRouteReachability, TheSystemProbeAnswersWithOrWithoutANetworkService) {
    auto probe = platform::ReachabilityProbe::createSystemProbe();
    ASSERT_NE(probe, nullptr);
    const std::optional<std::uint32_t> flags = probe->flags();
    if (flags) {
        EXPECT_EQ(*flags & ~std::uint32_t{7}, 0u);
    }
    probe->setChangeHandler([](std::uint32_t) {});
}

TEST(foundationHelperColor, HexTextGivesAnOpaqueColourFromItsLowTwentyFourBits) {
    struct Case {
        const char* text;
        int r, g, b;
    };
    const Case cases[] = {
        {"00FF00", 0, 255, 0},
        {"FF8800", 255, 136, 0},
        {"ff8800", 255, 136, 0},
        {"  0x0000ff", 0, 0, 255},
        {"#102030", 16, 32, 48},
        {"12", 0, 0, 18},
        {"0A0B0Czz", 10, 11, 12},
        {"", 0, 0, 0},
        {"zz", 0, 0, 0},
        {"-FF", 0, 0, 0},
        {"1FFFFFFFFF", 255, 255, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const QColor color = Helper::colorWithHexColorString(QString::fromLatin1(c.text));
        EXPECT_EQ(color.red(), c.r);
        EXPECT_EQ(color.green(), c.g);
        EXPECT_EQ(color.blue(), c.b);
        EXPECT_EQ(color.alphaF(), 1.0f);
    }
    EXPECT_EQ(Helper::colorWithHexColorString(QString()), QColor::fromRgbF(0, 0, 0, 1));
}

}  // namespace
}  // namespace talvor
