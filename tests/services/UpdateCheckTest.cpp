#include "platform/UserDefaults.h"
#include "services/UpdateCheck.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QProcess>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace talvor {
namespace {

using namespace std::chrono_literals;
using Outcome = UpdateCheck::Outcome;

QByteArray feed(const QString& version, const QString& notes) {
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
               "<rss version=\"2.0\" "
               "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n"
               "<channel><title>Talvor</title>\n"
               "<item><title>Talvor 1.0</title><description>Old</description>"
               "<enclosure url=\"https://example.invalid/t-1.0.tar.gz\" sparkle:version=\"1.0\"/>"
               "</item>\n"
               "<item><title>Talvor %1</title><description><![CDATA[%2]]></description>"
               "<enclosure url=\"https://example.invalid/t-%1.tar.gz\" sparkle:version=\"%1\"/>"
               "</item>\n"
               "</channel></rss>\n")
        .arg(version, notes)
        .toUtf8();
}

// A loopback HTTPS server with a certificate made for the test: each path answers one way.
class FeedServer {
  public:
    FeedServer() {
        const QString cert = dir_.filePath(QStringLiteral("cert.pem"));
        const QString key = dir_.filePath(QStringLiteral("key.pem"));
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                       "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
                       "-keyout", key, "-out", cert});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) {
            return;
        }
        const QList<QSslCertificate> certs = QSslCertificate::fromPath(cert);
        QFile keyFile(key);
        if (certs.isEmpty() || !keyFile.open(QIODevice::ReadOnly)) {
            return;
        }
        certificate_ = certs.first();
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificate(certificate_);
        config.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa));
        server_.setSslConfiguration(config);
        QObject::connect(&server_, &QTcpServer::pendingConnectionAvailable, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                serve(socket);
            }
        });
        ready_ = server_.listen(QHostAddress::LocalHost, 0);
    }
    bool ready() const { return ready_; }
    QUrl url(const char* path) const {
        return QUrl(QStringLiteral("https://127.0.0.1:%1%2")
                        .arg(server_.serverPort())
                        .arg(QLatin1String(path)));
    }
    // What a client must trust to reach this server.
    QSslConfiguration clientConfiguration() const {
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setCaCertificates({certificate_});
        return config;
    }

  private:
    void serve(QTcpSocket* socket) {
        auto request = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, request] {
            request->append(socket->readAll());
            if (!request->contains("\r\n\r\n")) {
                return;
            }
            const QByteArray path = request->split(' ').value(1);
            QByteArray body;
            if (path == "/newer") {
                body = feed(QStringLiteral("9.1"), QStringLiteral("<p>Faster & nicer</p>"));
            } else if (path == "/same") {
                body = feed(QStringLiteral("4.2"), QStringLiteral("Same"));
            } else if (path == "/broken") {
                body = "<rss><channel><item><title>Talvor</ti";
            } else if (path == "/slow") {
                return;  // never answers
            } else {
                socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
                socket->disconnectFromHost();
                return;
            }
            socket->write(
                "HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\n"
                "Content-Length: " +
                QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
            socket->disconnectFromHost();
        });
    }

    QTemporaryDir dir_;
    QSslServer server_;
    QSslCertificate certificate_;
    bool ready_ = false;
};

class servicesUpdateCheck : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server = new FeedServer; }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        if (!server->ready()) {
            GTEST_SKIP() << "no openssl or no TLS backend: the loopback server did not start";
        }
    }
    // Runs one check to its end.
    UpdateCheck::Result run(const std::optional<QUrl>& url, const QString& current,
                            std::chrono::milliseconds timeout = 10s) {
        UpdateCheck check(url, current);
        check.setTimeout(timeout);
        check.setSslConfiguration(server->clientConfiguration());
        std::optional<UpdateCheck::Result> result;
        check.check([&](const UpdateCheck::Result& r) { result = r; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 20000));
        return result.value_or(UpdateCheck::Result{Outcome::NoChannel, std::nullopt, {}});
    }

    static FeedServer* server;
};
FeedServer* servicesUpdateCheck::server = nullptr;

TEST_F(servicesUpdateCheck, TheFeedDecidesBetweenNewerSameAndFailed) {
    struct Case {
        const char* path;
        const char* current;
        Outcome outcome;
    };
    const Case cases[] = {
        {"/newer", "4.2", Outcome::NewerVersion}, {"/newer", "9.1", Outcome::UpToDate},
        {"/newer", "10.0", Outcome::UpToDate},  // a build newer than the feed is offered nothing
        {"/same", "4.2", Outcome::UpToDate},      {"/broken", "4.2", Outcome::Failed},
        {"/missing", "4.2", Outcome::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.current);
        const UpdateCheck::Result r = run(server->url(c.path), QLatin1String(c.current));
        EXPECT_EQ(r.outcome, c.outcome) << r.message.toStdString();
        EXPECT_FALSE(r.message.isEmpty());
        EXPECT_EQ(r.offer.has_value(), c.outcome == Outcome::NewerVersion);
    }
    const UpdateCheck::Result newer = run(server->url("/newer"), QStringLiteral("4.2"));
    ASSERT_TRUE(newer.offer);
    EXPECT_EQ(newer.offer->version, QStringLiteral("9.1"));
    EXPECT_EQ(newer.offer->notes, QStringLiteral("<p>Faster & nicer</p>"));
    EXPECT_EQ(newer.offer->download, QUrl(QStringLiteral("https://example.invalid/t-9.1.tar.gz")));
}

TEST_F(servicesUpdateCheck, AFeedThatDoesNotAnswerTimesOut) {
    const UpdateCheck::Result r = run(server->url("/slow"), QStringLiteral("4.2"), 300ms);
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_TRUE(r.message.contains(QStringLiteral("in time"))) << r.message.toStdString();
}

TEST_F(servicesUpdateCheck, AnUntrustedCertificateFails) {
    UpdateCheck check(server->url("/newer"), QStringLiteral("4.2"));
    std::optional<UpdateCheck::Result> result;
    check.check([&](const UpdateCheck::Result& r) { result = r; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 20000));
    EXPECT_EQ(result->outcome, Outcome::Failed);
}

TEST(servicesUpdateFeed, NoChannelWithoutAnHttpsFeed) {
    test::ScopedMemoryDomain domain{platform::kMainBundleIdentifier};
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    for (const char* stored :
         {"", "http://example.com/appcast.xml", "not a url", "file:///tmp/a"}) {
        defaults.setObject(QString::fromLatin1(stored), QStringLiteral("SUFeedURL"));
        EXPECT_FALSE(UpdateCheck::configuredFeed()) << stored;
    }
    defaults.setObject(QStringLiteral("https://example.com/appcast.xml"),
                       QStringLiteral("SUFeedURL"));
    EXPECT_EQ(UpdateCheck::configuredFeed(),
              QUrl(QStringLiteral("https://example.com/appcast.xml")));

    UpdateCheck none(std::nullopt, QStringLiteral("4.2"));
    std::optional<UpdateCheck::Result> result;
    none.check([&](const UpdateCheck::Result& r) { result = r; });
    ASSERT_TRUE(result);  // at once, no network
    EXPECT_EQ(result->outcome, Outcome::NoChannel);
    EXPECT_EQ(result->message, UpdateCheck::noChannelMessage());
}

TEST(servicesUpdateFeed, VersionsCompareNumberByNumber) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {{"1.10", "1.9", 1}, {"2.0", "2", 0},     {"2.0.1", "2.0", 1},
                          {"3", "10", -1},    {"1.2b", "1.2a", 1}, {"4.2", "4.2", 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(Appcast::compareVersions(QLatin1String(c.a), QLatin1String(c.b)), c.sign)
            << c.a << " vs " << c.b;
        EXPECT_EQ(Appcast::compareVersions(QLatin1String(c.b), QLatin1String(c.a)), -c.sign);
    }
}

TEST(servicesUpdateFeed, TextThatIsNotAFeedIsRefusedWithAReason) {
    for (const QByteArray& text :
         {QByteArray(), QByteArray("<html><body>hi</body></html>"),
          QByteArray("<rss><channel></channel></rss>"), QByteArray("<rss><channel><item>")}) {
        QString error;
        EXPECT_FALSE(Appcast::newest(text, &error)) << text.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

}  // namespace
}  // namespace talvor
