#include "CannedHttpServer.h"
#include "ShellTestSupport.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Menu.h"
#include "platform/NetworkInterfaces.h"
#include "shell/IpAddressItems.h"
#include "shell/TimeMenu.h"
#include "support/FakeNetworkInterfaces.h"
#include "support/FakePasteboard.h"
#include "support/FakeSystemEvents.h"
#include "support/FloodServer.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QNetworkReply>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using platform::AddressFamily;
using platform::InterfaceAddress;
using test::CannedHttpServer;
using Family = IpAddressItems::Family;

const QString kCopyTitle = QString::fromLatin1(IpAddressItems::kCopyIPAddressTitle);

// Loopbacks by name and by flag, two IPv4 addresses on one interface, a link-local IPv6.
std::vector<InterfaceAddress> machineAddresses() {
    return {
        {QStringLiteral("lo"), AddressFamily::IPv4, QStringLiteral("127.0.0.1"), true},
        {QStringLiteral("eth0"), AddressFamily::IPv4, QStringLiteral("192.0.2.2"), false},
        {QStringLiteral("lo"), AddressFamily::IPv6, QStringLiteral("::1"), true},
        {QStringLiteral("eth0"), AddressFamily::IPv6, QStringLiteral("fe80::1%eth0"), false},
        {QStringLiteral("eth0"), AddressFamily::IPv4, QStringLiteral("192.0.2.3"), false},
        {QStringLiteral("loop1"), AddressFamily::IPv4, QStringLiteral("127.0.0.2"), true},
        {QStringLiteral("wlan0"), AddressFamily::IPv4, QStringLiteral("10.0.0.5"), false},
        {QStringLiteral("wlan0"), AddressFamily::IPv6, QStringLiteral("2001:db8::5"), false},
    };
}

class shellIpItems : public ::testing::Test {
  protected:
    shellIpItems() {
        // Fixed items of the menu's own, which the IP lines must leave alone.
        menu.addItemWithTitle(QStringLiteral("Help/Manual..."))->setTag(7);
        menu.addItemWithTitle(QStringLiteral("Quit"))->setTag(8);
        items = std::make_unique<IpAddressItems>(menu, settings);
    }

    void setEchoURL(const QString& url) { PreferenceDomain::writeText(kIPEchoURLKey, url); }

    QStringList titles() const {
        QStringList list;
        for (const auto& item : menu.itemArray()) {
            list << item->title();
        }
        return list;
    }
    std::vector<qint64> tags() const {
        std::vector<qint64> list;
        for (const auto& item : menu.itemArray()) {
            list.push_back(item->tag());
        }
        return list;
    }
    QString externalTitle() const {
        const platform::MenuItem* item = menu.itemWithTag(TimeMenu::kExternalIPTag);
        return item != nullptr ? item->title() : QString();
    }
    bool waitForTitleOtherThan(const QString& title) {
        return QTest::qWaitFor([&] { return externalTitle() != title; }, 5000);
    }
    // The fetches started and not yet ended.
    QList<QNetworkReply*> fetchesInFlight() const { return items->findChildren<QNetworkReply*>(); }
    // Every reply answered so far has been handled.
    bool waitForFetchesToEnd() {
        return QTest::qWaitFor([&] { return items->findChildren<QNetworkReply*>().isEmpty(); },
                               5000);
    }
    // Chooses the line as the user would; the pasteboard's writes since the last call.
    QStringList choose(qint64 tag) {
        board.writes.clear();
        EXPECT_TRUE(menu.performActionForItemAtIndex(menu.indexOfItemWithTag(tag)));
        return board.writes;
    }

    test::ShellEnvironment env{Date::fromUnix(1741102830)};
    TalvorTimeSettings settings;
    test::FakeNetworkInterfaces interfaces{machineAddresses()};
    test::FakePasteboard board;
    CannedHttpServer server;
    platform::Menu menu;
    std::unique_ptr<IpAddressItems> items;
};

// What the echo page answers becomes the line's title; only an address is ever copied.
TEST_F(shellIpItems, ExternalLineShowsTheFetchedAddressOrTheError) {
    struct Case {
        const char* name;
        CannedHttpServer::Reply reply;
        QString title;  // the expected title, or for errors a part of it
        std::optional<QString> copied;
    };
    const QString notAddress = QStringLiteral("The IP-echo page did not answer with an address");
    const Case cases[] = {
        {"plain", {200, "203.0.113.7\n"}, "External IP: 203.0.113.7", "203.0.113.7"},
        {"html with a label",
         {200, "<html><body>Current IP Address: 198.51.100.20</body></html>\r\n"},
         "External IP: 198.51.100.20",
         "198.51.100.20"},
        {"ipv6 kept whole",
         {200, " 2001:db8::beef \r\n"},
         "External IP: 2001:db8::beef",
         "2001:db8::beef"},
        {"ipv6 link-local", {200, "fe80::abcd"}, "External IP: fe80::abcd", "fe80::abcd"},
        {"not an address", {200, "Service temporarily unavailable"}, notAddress, std::nullopt},
        {"short ipv4 form", {200, "10.1"}, notAddress, std::nullopt},
        {"empty", {200, ""}, notAddress, std::nullopt},
        // A page far larger than any address is cut off, not read into memory whole.
        {"huge", {200, QByteArray(300 * 1024, ' ') + "203.0.113.7"}, notAddress, std::nullopt},
        {"http error",
         {500, "203.0.113.7"},
         "The IP-echo page failed (HTTP status 500)",
         std::nullopt},
    };
    setEchoURL(server.origin());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.setCannedReply(c.reply);
        items = std::make_unique<IpAddressItems>(menu, settings);
        ASSERT_EQ(items->insertExternalLine(0), 1);
        EXPECT_EQ(externalTitle(), kCopyTitle);
        ASSERT_TRUE(waitForTitleOtherThan(kCopyTitle));
        EXPECT_TRUE(externalTitle().contains(c.title)) << externalTitle().toStdString();
        EXPECT_EQ(items->tempIP(), externalTitle());
        EXPECT_EQ(items->externalIP(), c.copied);
        EXPECT_EQ(choose(TimeMenu::kExternalIPTag),
                  c.copied ? QStringList{*c.copied} : QStringList{});
    }
    // One POST with an empty body per fetch, to the echo path.
    ASSERT_EQ(server.requests().size(), std::size(cases));
    for (const CannedHttpServer::Request& r : server.requests()) {
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.path, "/ExIP.php");
        EXPECT_TRUE(r.body.isEmpty());
    }
}

// After a failed fetch the line shows the error, and the address fetched before it is no
// longer offered: choosing the line copies nothing.
TEST_F(shellIpItems, FailedFetchForgetsTheAddressAndCopiesNothing) {
    setEchoURL(server.origin());
    server.setCannedReply(CannedHttpServer::Reply{200, "203.0.113.7"});
    items->insertExternalLine(0);
    ASSERT_TRUE(waitForTitleOtherThan(kCopyTitle));
    ASSERT_EQ(items->externalIP(), QStringLiteral("203.0.113.7"));

    quint16 closedPort = 0;
    {
        QTcpServer gone;
        gone.listen(QHostAddress::LocalHost);
        closedPort = gone.serverPort();
    }
    struct Case {
        const char* name;
        std::function<void()> breakIt;
        QString title;  // a part of it
    };
    const Case cases[] = {
        {"connection refused",
         [&] { setEchoURL(QStringLiteral("http://127.0.0.1:%1").arg(closedPort)); },
         QStringLiteral("refused")},
        {"no answer in time",
         [&] {
             server.setCannedReply(std::nullopt);
             items->setRequestTimeout(200);
         },
         QStringLiteral("The IP-echo page did not answer in time")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.breakIt();
        items->getIPBGThread();
        ASSERT_TRUE(waitForTitleOtherThan(QStringLiteral("External IP: 203.0.113.7")));
        EXPECT_TRUE(externalTitle().contains(c.title)) << externalTitle().toStdString();
        EXPECT_FALSE(items->externalIP().has_value());
        EXPECT_TRUE(choose(TimeMenu::kExternalIPTag).isEmpty());
        // Back to a known address for the next case.
        setEchoURL(server.origin());
        server.setCannedReply(CannedHttpServer::Reply{200, "203.0.113.7"});
        items->setRequestTimeout(IpAddressItems::kDefaultRequestTimeoutMs);
        items->getIPBGThread();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return externalTitle() == QStringLiteral("External IP: 203.0.113.7"); }, 5000));
    }
}

// A new fetch aborts the one still running: its connection closes, and its answer, should
// one still come, changes nothing.
TEST_F(shellIpItems, ANewFetchAbortsTheOldOne) {
    setEchoURL(server.origin());
    items->insertExternalLine(0);
    ASSERT_TRUE(server.waitForRequests(1));
    items->getIPBGThread();
    ASSERT_TRUE(server.waitForRequests(2));
    ASSERT_TRUE(server.waitForClientGone(0)) << "the first fetch was aborted";
    EXPECT_EQ(fetchesInFlight().size(), 1);

    server.answer(1, {200, "203.0.113.2"});
    ASSERT_TRUE(waitForTitleOtherThan(kCopyTitle));
    EXPECT_EQ(externalTitle(), QStringLiteral("External IP: 203.0.113.2"));
    server.answer(0, {200, "203.0.113.1"});
    ASSERT_TRUE(waitForFetchesToEnd());
    EXPECT_EQ(externalTitle(), QStringLiteral("External IP: 203.0.113.2"));
    EXPECT_EQ(items->externalIP(), QStringLiteral("203.0.113.2"));
    EXPECT_EQ(choose(TimeMenu::kExternalIPTag), QStringList{QStringLiteral("203.0.113.2")});
}

// What a hostile or broken page can do: send without end, send one byte now and then, or
// put words of its own in the status line. Each fetch ends in time, reads little, and the
// line says only our own words.
TEST_F(shellIpItems, HostilePagesNeitherFloodNorHoldNorSpeakInTheMenu) {
    constexpr qint64 kFloodLimit = 64 * 1024 * 1024;  // the server gives up here
    qint64 sent = 0;
    // An endless chunked body, written as fast as the client takes it.
    const auto flood = [&](QTcpSocket& socket) {
        socket.write(
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
            "Transfer-Encoding: chunked\r\n\r\n");
        const QByteArray chunk = "10000\r\n" + QByteArray(0x10000, ' ') + "\r\n";
        const auto pump = [&sent, &socket, chunk] {
            while (socket.state() == QAbstractSocket::ConnectedState &&
                   socket.bytesToWrite() < 1024 * 1024 && sent < kFloodLimit) {
                socket.write(chunk);
                sent += chunk.size();
            }
        };
        QObject::connect(&socket, &QTcpSocket::bytesWritten, &socket, pump);
        pump();
    };
    // A valid start, then one byte every 50 ms: never silent long enough for a transfer
    // timeout. It stops by itself after 20 s.
    const auto trickle = [](QTcpSocket& socket) {
        socket.write(
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
            "Content-Length: 1000\r\n\r\n");
        auto* timer = new QTimer(&socket);
        QObject::connect(timer, &QTimer::timeout, &socket, [&socket, timer, n = 0]() mutable {
            socket.write(" ");
            if (++n == 400) {
                timer->stop();
            }
        });
        timer->start(50);
    };
    struct Case {
        const char* name;
        CannedHttpServer::Streamer streamer;
        CannedHttpServer::Reply reply;
        QString title;
    };
    const QString notAddress = QStringLiteral("The IP-echo page did not answer with an address");
    const Case cases[] = {
        {"chunked flood", flood, {}, notAddress},
        {"trickle", trickle, {}, QStringLiteral("The IP-echo page did not answer in time")},
        {"reason phrase",
         {},
         {503, "203.0.113.7", "Your computer is infected - call +1 555 0100 now"},
         QStringLiteral("The IP-echo page failed (HTTP status 503)")},
        {"long reason phrase",
         {},
         {404, "", QByteArray(4000, 'A')},
         QStringLiteral("The IP-echo page failed (HTTP status 404)")},
        {"words in the body",
         {},
         {200, "Your computer is infected - call +1 555 0100 now"},
         notAddress},
    };
    setEchoURL(server.origin());
    items->setRequestTimeout(1000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.setStreamer(c.streamer);
        server.setCannedReply(c.reply);
        const std::size_t index = server.requests().size();
        items->getIPBGThread();
        ASSERT_TRUE(server.waitForRequests(index + 1));
        ASSERT_TRUE(waitForFetchesToEnd()) << "ended within the request timeout";
        EXPECT_EQ(externalTitle(), QString()) << "no line in this menu";
        EXPECT_EQ(items->tempIP(), c.title);
        EXPECT_FALSE(items->externalIP().has_value());
        EXPECT_TRUE(server.waitForClientGone(index));
    }
    // Socket buffers hold a few megabytes; the client stopped taking long before 64.
    EXPECT_LT(sent, 16 * 1024 * 1024) << "sent " << sent << " bytes before the client left";
}

// A page sending without end, faster than the fetch's thread runs, is cut off as it streams
// a little past the 64 KB the fetch reads, whether it sends chunks or announces a gigabyte;
// nothing piles up while the reply waits for its turn.
TEST_F(shellIpItems, AFastEndlessPageIsCutOffAsItStreams) {
    struct Case {
        const char* name;
        std::string head;
        bool chunked;
        bool redirectFirst;
    };
    const std::string chunks =
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n\r\n";
    const Case cases[] = {
        {"endless chunks", chunks, true, false},
        {"endless chunks after a redirect", chunks, true, true},
        {"a gigabyte announced",
         "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1073741824\r\n\r\n", false,
         false},
    };
    items->setRequestTimeout(5000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FloodServer flood(c.head, c.chunked, c.redirectFirst);
        setEchoURL(QString::fromStdString(flood.url("")));
        items->getIPBGThread();
        ASSERT_TRUE(waitForFetchesToEnd());
        EXPECT_EQ(items->tempIP(),
                  QStringLiteral("The IP-echo page did not answer with an address"));
        // Socket buffers hold a few megabytes; the server would go on to 256.
        EXPECT_LT(flood.bodyBytesSentWhenDone(), 16 * 1024 * 1024);
    }
}

// Going away with a fetch in flight leaves the menu as it was and calls nothing later.
TEST_F(shellIpItems, DestroyedWhileFetching) {
    setEchoURL(server.origin());
    items->insertExternalLine(0);
    ASSERT_TRUE(server.waitForRequests(1));
    items.reset();
    ASSERT_TRUE(server.waitForClientGone(0)) << "the fetch went with its owner";
    server.answer(0, {200, "203.0.113.9"});
    EXPECT_EQ(externalTitle(), kCopyTitle);
    // The line outlives its owner: choosing it does nothing.
    EXPECT_TRUE(choose(TimeMenu::kExternalIPTag).isEmpty());
}

// Without a usable echo page the line says so at once (logged once) and how to set one;
// nothing is sent or copied, and choosing the line opens the address's control.
TEST_F(shellIpItems, NoUsableEchoAddressSaysSo) {
    struct Case {
        QString configured;
        QString title;
    };
    const Case cases[] = {
        {QString(),
         QStringLiteral("External IP: choose to set an IP-echo address (Preferences, Menu Items)")},
        {QStringLiteral("   "),
         QStringLiteral("External IP: choose to set an IP-echo address (Preferences, Menu Items)")},
        {QStringLiteral("ftp://files.example.net"),
         QStringLiteral("External IP: the IP-echo address is not valid (choose to change it)")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.configured.toStdString());
        setEchoURL(c.configured);
        items = std::make_unique<IpAddressItems>(menu, settings);
        test::LogCapture log;
        items->insertExternalLine(0);
        EXPECT_EQ(externalTitle(), c.title);  // at once: nothing to wait for
        items->getIPBGThread();
        EXPECT_EQ(log.lines().size(), 1) << log.lines().join(QLatin1Char('\n')).toStdString();
        EXPECT_FALSE(items->externalIP().has_value());
        EXPECT_TRUE(choose(TimeMenu::kExternalIPTag).isEmpty());
        EXPECT_TRUE(fetchesInFlight().isEmpty()) << "nothing sent";
        int opened = 0;
        items->setOpenEchoAddressSetting([&] { ++opened; });
        EXPECT_TRUE(choose(TimeMenu::kExternalIPTag).isEmpty());
        EXPECT_EQ(opened, 1);
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST(shellIpEcho, ConfiguredAddressBecomesTheEchoPage) {
    struct Case {
        const char* configured;
        std::optional<QString> url;
    };
    const Case cases[] = {
        {"ip.example.net", QStringLiteral("https://ip.example.net/ExIP.php")},
        {" http://127.0.0.1:8080 ", QStringLiteral("http://127.0.0.1:8080/ExIP.php")},
        {"https://ip.example.net/", QStringLiteral("https://ip.example.net/ExIP.php")},
        {"https://echo.example.org/where/am/i",
         QStringLiteral("https://echo.example.org/where/am/i")},
        {"[2001:db8::1]:8443", QStringLiteral("https://[2001:db8::1]:8443/ExIP.php")},
        {"", std::nullopt},
        {"http://", std::nullopt},
        {"ftp://ip.example.net", std::nullopt},
        {"file:///etc/passwd", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<QUrl> url = ipEchoURL(QString::fromLatin1(c.configured));
        EXPECT_EQ(url ? std::optional<QString>(url->toString()) : std::nullopt, c.url)
            << c.configured;
    }
}

TEST_F(shellIpItems, InterfaceEntriesSkipLoopbackAndKeepEveryOtherAddress) {
    EXPECT_EQ(items->getIPAddress(QStringLiteral("IPV4")),
              (QStringList{QStringLiteral("IPv4 (eth0): 192.0.2.2"),
                           QStringLiteral("IPv4 (eth0): 192.0.2.3"),
                           QStringLiteral("IPv4 (wlan0): 10.0.0.5")}));
    EXPECT_EQ(items->getIPAddress(QStringLiteral("IPV6")),
              (QStringList{QStringLiteral("IPv6 (eth0): fe80::1%eth0"),
                           QStringLiteral("IPv6 (wlan0): 2001:db8::5")}));
    EXPECT_TRUE(items->getIPAddress(QStringLiteral("ipv4")).isEmpty());
    interfaces.set(std::nullopt);
    EXPECT_TRUE(items->getIPAddress(QStringLiteral("IPV4")).isEmpty());
}

// The builder's group helpers: tags, titles, actions; a second insertion replaces the
// lines where they stand; removal stops at the first missing tag.
TEST_F(shellIpItems, InterfaceLinesAreInsertedReplacedInPlaceAndRemoved) {
    ASSERT_EQ(items->insertExternalLine(0), 1);
    ASSERT_EQ(items->insertInterfaceLines(Family::IPv4, 1), 3);
    ASSERT_EQ(items->insertInterfaceLines(Family::IPv6, 4), 2);
    EXPECT_EQ(
        titles(),
        (QStringList{QStringLiteral(
                         "External IP: choose to set an IP-echo address (Preferences, Menu Items)"),
                     QStringLiteral("Local IPv4 (eth0): 192.0.2.2"),
                     QStringLiteral("Local IPv4 (eth0): 192.0.2.3"),
                     QStringLiteral("Local IPv4 (wlan0): 10.0.0.5"),
                     QStringLiteral("Local IPv6 (eth0): fe80::1%eth0"),
                     QStringLiteral("Local IPv6 (wlan0): 2001:db8::5"),
                     QStringLiteral("Help/Manual..."), QStringLiteral("Quit")}));
    EXPECT_EQ(tags(), (std::vector<qint64>{1001, 100001, 100002, 100003, 101000, 101001, 7, 8}));
    for (int i = 0; i < 6; ++i) {
        const platform::MenuItem& item = *menu.itemAtIndex(i);
        EXPECT_TRUE(item.keyEquivalent().isEmpty()) << i;
        EXPECT_TRUE(item.hasAction()) << i;
    }
    EXPECT_EQ(items->interfaceLineCount(Family::IPv4), 3);
    EXPECT_EQ(items->interfaceLineCount(Family::IPv6), 2);

    // wlan0 lost its IPv4 address: the lines are rebuilt where they were, whatever index
    // the caller gives.
    std::vector<InterfaceAddress> fewer = machineAddresses();
    std::erase_if(fewer, [](const InterfaceAddress& a) { return a.host == "10.0.0.5"; });
    interfaces.set(fewer);
    EXPECT_EQ(items->insertInterfaceLines(Family::IPv4, 7), 2);
    EXPECT_EQ(tags(), (std::vector<qint64>{1001, 100001, 100002, 101000, 101001, 7, 8}));
    EXPECT_EQ(items->insertExternalLine(5), 1);
    EXPECT_EQ(tags(), (std::vector<qint64>{1001, 100001, 100002, 101000, 101001, 7, 8}));

    // A gap in the tags ends the removal.
    menu.removeItem(menu.itemWithTag(100002));
    auto stray = menu.addItemWithTitle(QStringLiteral("stray"));
    stray->setTag(100003);
    items->removeInterfaceLines(Family::IPv4);
    items->removeInterfaceLines(Family::IPv6);
    items->removeExternalLine();
    EXPECT_EQ(tags(), (std::vector<qint64>{7, 8, 100003}));
    EXPECT_EQ(items->interfaceLineCount(Family::IPv4), 0);
}

// A family with no lines yet gets them under the lines above it; shown families are
// refreshed in place; a family that is not shown is left alone.
TEST_F(shellIpItems, RefreshPlacesNewLinesUnderTheGroupsAboveThem) {
    items->insertExternalLine(0);
    settings.showIPV6IP = true;
    items->setIPV4AndIPV6IP();
    EXPECT_EQ(tags(), (std::vector<qint64>{1001, 101000, 101001, 7, 8}));

    settings.showIPV4IP = true;
    items->setIPV4AndIPV6IP();
    EXPECT_EQ(tags(), (std::vector<qint64>{1001, 100001, 100002, 100003, 101000, 101001, 7, 8}));

    settings.showIPV4IP = false;
    settings.showIPV6IP = false;
    interfaces.set(std::vector<InterfaceAddress>{});
    items->setIPV4AndIPV6IP();
    EXPECT_EQ(items->interfaceLineCount(Family::IPv4), 3);

    settings.showIPV4IP = true;
    items->setIPV4AndIPV6IP();
    EXPECT_EQ(tags(), (std::vector<qint64>{1001, 101000, 101001, 7, 8}));
}

TEST_F(shellIpItems, CopyTakesTheAddressAfterTheInterface) {
    struct Case {
        QString title;
        QStringList copied;
    };
    const Case cases[] = {
        {QStringLiteral("Local IPv4 (en0): 10.0.0.5"), {QStringLiteral("10.0.0.5")}},
        {QStringLiteral("Local IPv6 (eth0): fe80::1%eth0"), {QStringLiteral("fe80::1%eth0")}},
        {QStringLiteral("Local IPv6 (eth0):  2001:db8::5\n"), {QStringLiteral("2001:db8::5")}},
        // No interface part and no external address known: nothing to copy.
        {QStringLiteral("IP Address"), {}},
    };
    for (const Case& c : cases) {
        auto item = platform::MenuItem::create(c.title);
        item->setTag(TimeMenu::kFirstIPv4Tag);
        board.writes.clear();
        items->copyIPtoClipboard(*item);
        EXPECT_EQ(board.writes, c.copied) << c.title.toStdString();
    }
}

TEST_F(shellIpItems, ExternalAddressReadBackFromTheLine) {
    EXPECT_EQ(items->getExternalIP(), std::nullopt);
    struct Case {
        QString title;
        QString address;
    };
    const Case cases[] = {
        {QStringLiteral("External IP: 203.0.113.7"), QStringLiteral("203.0.113.7")},
        {QStringLiteral("External IP: 2001:db8::beef\n"), QStringLiteral("2001:db8::beef")},
        {QStringLiteral("Copy IP Address"), QStringLiteral("Copy IP Address")},
    };
    items->insertExternalLine(0);
    for (const Case& c : cases) {
        menu.itemWithTag(TimeMenu::kExternalIPTag)->setTitle(c.title);
        EXPECT_EQ(items->getExternalIP(), c.address) << c.title.toStdString();
    }
}

TEST_F(shellIpItems, UpdateIPKeepsOneLineAtTheTopWhileShown) {
    settings.showIP = true;
    items->UpdateIP();
    items->UpdateIP();
    EXPECT_EQ(tags(), (std::vector<qint64>{1001, 7, 8}));
    settings.showIP = false;
    items->UpdateIP();
    EXPECT_EQ(tags(), (std::vector<qint64>{7, 8}));
}

// A network change returns at once; a burst of them gives one fetch, a second later, on
// the scheduler's clock; the interface lines follow the change immediately.
TEST_F(shellIpItems, NetworkChangeFetchesOnceASecondLaterWithoutBlocking) {
    setEchoURL(server.origin());
    server.setCannedReply(CannedHttpServer::Reply{200, "203.0.113.7"});
    settings.showIP = true;
    settings.showIPV4IP = true;
    auto source = std::make_unique<test::FakeInterfaceChangeSource>();
    test::FakeInterfaceChangeSource* kernel = source.get();
    items->startObservingNetwork(std::move(source));
    items->insertExternalLine(0);
    ASSERT_TRUE(server.waitForRequests(1));
    ASSERT_TRUE(waitForFetchesToEnd());

    interfaces.set(std::vector<InterfaceAddress>{
        {QStringLiteral("eth1"), AddressFamily::IPv4, QStringLiteral("192.0.2.77"), false}});
    kernel->change({QStringLiteral("State:/Network/Interface/eth1/IPv4"),
                    QStringLiteral("State:/Network/Interface/eth1/Link"),
                    QStringLiteral("State:/Network/Interface/eth1/IPv6")});
    EXPECT_TRUE(items->hasNetwork());
    EXPECT_EQ(titles().at(1), QStringLiteral("Local IPv4 (eth1): 192.0.2.77"));

    // A fetch is sent the moment it starts: none in flight means none was asked for.
    EXPECT_TRUE(fetchesInFlight().isEmpty());
    env.scheduler_.advanceBy(0.25);
    kernel->change({QStringLiteral("State:/Network/Interface/eth1/IPv4")});
    env.scheduler_.advanceBy(0.75);
    EXPECT_TRUE(fetchesInFlight().isEmpty());
    env.scheduler_.advanceBy(0.25);
    ASSERT_TRUE(server.waitForRequests(2));
    ASSERT_TRUE(waitForFetchesToEnd());
    env.scheduler_.advanceBy(5);
    EXPECT_TRUE(fetchesInFlight().isEmpty());
    EXPECT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(externalTitle(), QStringLiteral("External IP: 203.0.113.7"));

    // Without the external line shown, a change asks for nothing.
    settings.showIP = false;
    kernel->change({QStringLiteral("State:/Network/Interface/eth1/IPv4")});
    EXPECT_EQ(env.scheduler_.activeTimerCount(), 0u);
}

}  // namespace
}  // namespace talvor
