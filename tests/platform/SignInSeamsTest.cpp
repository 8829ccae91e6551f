// The seams a browser sign-in stands on: the keyring with its private-file fallback, and
// the loopback listener the browser comes back to.
#include "platform/Log.h"
#include "platform/LoopbackRedirectListener.h"
#include "platform/SecretStore.h"
#include "support/FakeSecretStore.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace talvor::platform {
namespace {

const QString kName = QStringLiteral("Talvor Authorization");

int modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0
               ? static_cast<int>(st.st_mode & 0777)
               : -1;
}

int warnings(const test::LogCapture& log) {
    int n = 0;
    for (const QString& line : log.lines()) {
        n += line.contains(QStringLiteral("no keyring answers")) ? 1 : 0;
    }
    return n;
}

TEST(KeyringOrFileSecretStore, FallsBackToAPrivateFileOnlyWhenNoKeyringAnswers) {
    struct Case {
        const char* name;
        std::optional<SecretStore::Outcome> keyring;  // none: no keyring adapter at all
        SecretStore::Outcome saved;
        bool inFile;
        bool inKeyring;
        int warned;
    };
    using O = SecretStore::Outcome;
    const std::vector<Case> cases = {
        {"no keyring adapter", std::nullopt, O::Done, true, false, 1},
        {"keyring not running", O::Unavailable, O::Done, true, false, 1},
        // A keyring that refuses (locked, the user said no) is not bypassed.
        {"keyring refuses", O::Failed, O::Failed, false, false, 0},
        {"keyring works", O::Done, O::Done, false, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/Secrets");
        test::LogCapture log;
        std::unique_ptr<test::FakeSecretStore> keyring;
        test::FakeSecretStore* keyringView = nullptr;
        if (c.keyring) {
            keyring = std::make_unique<test::FakeSecretStore>(false);
            keyring->answer = *c.keyring;
            keyringView = keyring.get();
        }
        auto file = std::make_unique<FileSecretStore>(folder);
        const QString path = file->pathFor(kName);
        KeyringOrFileSecretStore store(std::move(keyring), std::move(file));

        EXPECT_EQ(store.save(kName, "first"), c.saved);
        EXPECT_EQ(store.save(kName, QByteArray("second\0bytes", 12)), c.saved);
        const SecretStore::Loaded back = store.load(kName);
        if (c.saved == O::Done) {
            ASSERT_TRUE(back.secret.has_value());
            EXPECT_EQ(*back.secret, QByteArray("second\0bytes", 12));
        } else {
            EXPECT_EQ(back.outcome, O::Failed);
            EXPECT_FALSE(back.secret.has_value());
        }
        EXPECT_EQ(QFileInfo::exists(path), c.inFile);
        if (c.inFile) {
            EXPECT_EQ(modeOf(path), 0600);
            EXPECT_EQ(modeOf(folder), 0700);
        }
        if (keyringView) {
            EXPECT_EQ(keyringView->items.contains(kName), c.inKeyring);
        }
        EXPECT_EQ(warnings(log), c.warned);

        EXPECT_NE(store.remove(kName), c.saved == O::Done ? O::Failed : O::Done);
        EXPECT_FALSE(QFileInfo::exists(path));
        if (c.saved == O::Done) {
            EXPECT_FALSE(store.load(kName).secret.has_value());
        }
    }
}

TEST(KeyringOrFileSecretStore, FindsWhatWasKeptWhileNoKeyringRanAndMovesIt) {
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/Secrets");
    FileSecretStore earlier(folder);
    ASSERT_EQ(earlier.save(kName, "kept without keyring"), SecretStore::Outcome::Done);

    auto keyring = std::make_unique<test::FakeSecretStore>(false);
    test::FakeSecretStore* view = keyring.get();
    KeyringOrFileSecretStore store(std::move(keyring), std::make_unique<FileSecretStore>(folder));
    const auto found = store.load(kName);
    ASSERT_TRUE(found.secret.has_value());
    EXPECT_EQ(*found.secret, QByteArray("kept without keyring"));

    // Saved again with a keyring: the file copy goes.
    ASSERT_EQ(store.save(kName, *found.secret), SecretStore::Outcome::Done);
    EXPECT_EQ(view->items.value(kName), QByteArray("kept without keyring"));
    EXPECT_FALSE(QFileInfo::exists(earlier.pathFor(kName)));
}

TEST(FileSecretStore, TightensAFileThatOthersCouldRead) {
    QTemporaryDir dir;
    FileSecretStore store(dir.path());
    const QString path = store.pathFor(kName);
    EXPECT_EQ(QFileInfo(path).fileName(), QStringLiteral("Talvor%0020Authorization"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    ::chmod(QFile::encodeName(path).constData(), 0644);
    ASSERT_EQ(store.save(kName, "new"), SecretStore::Outcome::Done);
    EXPECT_EQ(modeOf(path), 0600);
    // Names cannot climb out of the folder.
    EXPECT_TRUE(QFileInfo(store.pathFor(QStringLiteral("../x"))).absolutePath() ==
                QFileInfo(dir.path()).absoluteFilePath());
}

// One raw HTTP exchange with the listener; the whole answer.
QByteArray exchange(quint16 port, const QByteArray& request) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000)) {
        return "no connection";
    }
    socket.write(request);
    QByteArray answer;
    (void)QTest::qWaitFor(
        [&] {
            answer += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        3000);
    return answer + socket.readAll();
}

TEST(LoopbackRedirectListener, HandsTheFirstReturnOverOnceAndAnswersTheBrowser) {
    LoopbackRedirectListener listener;
    int calls = 0;
    QString code;
    QString error;
    ASSERT_TRUE(listener.start(
        [&](const QUrlQuery& query) {
            ++calls;
            code = query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
            listener.stop();  // as a sign-in does once it has its code
            return LoopbackRedirectListener::Page{QStringLiteral("Signed <in>"),
                                                  QStringLiteral("Close me")};
        },
        &error))
        << error.toStdString();
    EXPECT_EQ(listener.redirectUri().host(), QStringLiteral("127.0.0.1"));
    const quint16 port = listener.port();

    struct Case {
        const char* request;
        const char* statusLine;
    };
    // Each on a fresh listener state: wrong path and method first, then the return.
    const std::vector<Case> before = {
        {"GET /favicon.ico HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 404"},
        {"POST /?code=x HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 405"},
    };
    for (const Case& c : before) {
        SCOPED_TRACE(c.request);
        EXPECT_TRUE(exchange(port, c.request).startsWith(c.statusLine));
    }
    EXPECT_EQ(calls, 0);

    const QByteArray page =
        exchange(port, "GET /?code=4%2F0Ab%2Fc&state=s HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(page.startsWith("HTTP/1.1 200")) << page.constData();
    EXPECT_TRUE(page.contains("Signed &lt;in&gt;")) << page.constData();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(code, QStringLiteral("4/0Ab/c"));
    EXPECT_FALSE(listener.isListening());
    EXPECT_EQ(exchange(port, "GET /?code=again HTTP/1.1\r\n\r\n"), QByteArray("no connection"));
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace talvor::platform
