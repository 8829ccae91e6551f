// The keyring adapter where no keyring answers: on the test's private session bus nobody
// owns the Secret Service, and without any bus libsecret is not even asked (it would have
// one launched). Either way the secret lands in the private file, with one warning.
#include "platform/SecretStore.h"
#include "platform/SessionBus.h"
#include "platform/linux/LibsecretStore.h"
#include "support/TestEnvironment.h"

#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace talvor::platform {
namespace {

TEST(LibsecretStore, WithoutAKeyringServiceEverythingIsUnavailableAndTheFileServes) {
    struct Case {
        const char* name;
        std::optional<QString> busAddress;  // none: the test's own bus
    };
    const std::vector<Case> cases = {
        {"a bus without a Secret Service", std::nullopt},
        {"no bus at all", QStringLiteral("disabled:")},
    };
    const QString name = QStringLiteral("Talvor Authorization");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.busAddress &&
            SessionBus::connection().interface()->activatableServiceNames().value().contains(
                QStringLiteral("org.freedesktop.secrets"))) {
            // An installed keyring starts on demand on any session bus, the test's too.
            continue;
        }
        std::optional<test::ScopedEnvVar> bus;
        if (c.busAddress) {
            bus.emplace("DBUS_SESSION_BUS_ADDRESS", *c.busAddress);
        }
        LibsecretStore keyring;
        EXPECT_EQ(keyring.save(name, "secret"), SecretStore::Outcome::Unavailable);
        EXPECT_EQ(keyring.load(name).outcome, SecretStore::Outcome::Unavailable);
        EXPECT_EQ(keyring.remove(name), SecretStore::Outcome::Unavailable);

        QTemporaryDir dir;
        test::LogCapture log;
        auto file = std::make_unique<FileSecretStore>(dir.path());
        const QString path = file->pathFor(name);
        KeyringOrFileSecretStore store(std::make_unique<LibsecretStore>(), std::move(file));
        EXPECT_EQ(store.save(name, "secret"), SecretStore::Outcome::Done);
        ASSERT_TRUE(store.load(name).secret.has_value());
        EXPECT_EQ(*store.load(name).secret, QByteArray("secret"));
        EXPECT_TRUE(QFileInfo::exists(path));
        EXPECT_EQ(log.lines().size(), 1) << log.lines().join(QLatin1Char('\n')).toStdString();
    }
}

// A real keyring on the test's bus: GNOME Keyring with a fresh login keyring, made and
// unlocked with a password on its standard input, in folders of the test's own.
TEST(LibsecretStore, KeepsFindsReplacesAndForgetsInARealKeyring) {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
    if (daemon.isEmpty()) {
        GTEST_SKIP() << "gnome-keyring-daemon is not installed (scripts/setup-deps installs it)";
    }
    QDBusConnection bus = SessionBus::connection();
    ASSERT_TRUE(bus.isConnected());
    const QString service = QStringLiteral("org.freedesktop.secrets");

    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    QProcess keyring;
    keyring.setProcessEnvironment(env);
    // Replacing one the bus may have started on demand, locked.
    keyring.start(daemon, {QStringLiteral("--replace"), QStringLiteral("--foreground"),
                           QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    ASSERT_TRUE(keyring.waitForStarted(5000));
    keyring.write("talvor-test");  // the login keyring's password
    keyring.closeWriteChannel();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return bus.interface()->isServiceRegistered(service).value(); }, 10000));

    LibsecretStore store;
    const QString name = QStringLiteral("Talvor Authorization");
    const QByteArray bytes("{\"refresh_token\":\"1//x\"}\0\xff", 26);
    EXPECT_EQ(store.load(name).outcome, SecretStore::Outcome::Done);
    EXPECT_FALSE(store.load(name).secret.has_value());
    ASSERT_EQ(store.save(name, bytes), SecretStore::Outcome::Done);
    ASSERT_TRUE(store.load(name).secret.has_value());
    EXPECT_EQ(*store.load(name).secret, bytes);
    // Another name is another item; saving again replaces.
    ASSERT_EQ(store.save(QStringLiteral("Other"), "other"), SecretStore::Outcome::Done);
    ASSERT_EQ(store.save(name, "second"), SecretStore::Outcome::Done);
    EXPECT_EQ(store.load(name).secret, std::optional<QByteArray>("second"));
    EXPECT_EQ(store.remove(name), SecretStore::Outcome::Done);
    EXPECT_FALSE(store.load(name).secret.has_value());
    EXPECT_EQ(store.load(QStringLiteral("Other")).secret, std::optional<QByteArray>("other"));
    EXPECT_EQ(store.remove(name), SecretStore::Outcome::Done);

    keyring.terminate();
    keyring.waitForFinished(5000);
}

}  // namespace
}  // namespace talvor::platform
