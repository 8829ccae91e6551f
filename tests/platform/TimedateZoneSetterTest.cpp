// The zone setter against a timedated of our own on the session bus (run under
// dbus-run-session).

#include "platform/linux/TimedateZoneSetter.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QTest>

#include <gtest/gtest.h>

namespace talvor {
namespace {

const QString kService = QStringLiteral("org.freedesktop.timedate1");
const QString kPath = QStringLiteral("/org/freedesktop/timedate1");

// Takes any zone, or refuses every request with `refusal` when one is set.
class FakeTimedate : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.timedate1")
  public:
    QStringList calls;
    QString refusal;

  public slots:
    void SetTimezone(const QString& zone, bool interactive) {
        calls << QStringLiteral("%1 %2").arg(
            zone, interactive ? QStringLiteral("interactive") : QStringLiteral("quiet"));
        if (!refusal.isEmpty()) {
            sendErrorReply(refusal, QStringLiteral("refused"));
        }
    }
};

class TimedateBus : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!QDBusConnection::sessionBus().isConnected()) {
            GTEST_SKIP() << "no session bus (run under dbus-run-session)";
        }
    }
    void TearDown() override {
        if (serving) {
            fakeBus.unregisterObject(kPath);
            fakeBus.unregisterService(kService);
            QDBusConnection::disconnectFromBus(QStringLiteral("fake-timedate"));
        }
    }
    void serve() {
        ASSERT_TRUE(fakeBus.registerService(kService));
        ASSERT_TRUE(fakeBus.registerObject(kPath, &timedate, QDBusConnection::ExportAllSlots));
        serving = true;
    }
    // The answer to one request, once it has come.
    std::optional<platform::TimeZoneFailure> set(const QString& zone) {
        platform::TimedateZoneSetter setter(QDBusConnection::sessionBus());
        bool answered = false;
        std::optional<platform::TimeZoneFailure> result;
        setter.setTimeZone(zone, [&](std::optional<platform::TimeZoneFailure> failure) {
            answered = true;
            result = std::move(failure);
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return answered; }, 10000));
        return result;
    }

    QDBusConnection fakeBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-timedate"));
    FakeTimedate timedate;
    bool serving = false;
};

using platformTimedateBus = TimedateBus;

TEST_F(platformTimedateBus, AcceptedZoneIsSetInteractively) {
    serve();
    EXPECT_EQ(set(QStringLiteral("Europe/Paris")), std::nullopt);
    EXPECT_EQ(timedate.calls, QStringList{QStringLiteral("Europe/Paris interactive")});
}

TEST_F(platformTimedateBus, RefusalsComeBackAsFailures) {
    using Kind = platform::TimeZoneFailure::Kind;
    serve();
    const std::pair<QString, Kind> cases[] = {
        {QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"), Kind::NotAuthorized},
        {QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"), Kind::UnknownZone},
        {QStringLiteral("org.freedesktop.timedate1.Failed"), Kind::Other},
    };
    for (const auto& [refusal, kind] : cases) {
        SCOPED_TRACE(refusal.toStdString());
        timedate.refusal = refusal;
        const auto failure = set(QStringLiteral("Europe/Paris"));
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->kind, kind);
        EXPECT_EQ(failure->detail, QStringLiteral("refused"));
    }
}

TEST_F(platformTimedateBus, NoServiceIsAFailureWithOneLogLine) {
    test::LogCapture log;
    const auto failure = set(QStringLiteral("Europe/Paris"));
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->kind, platform::TimeZoneFailure::Kind::NoService);
    EXPECT_EQ(log.lines().size(), 1);
}

TEST(platformTimedateNoBus, NoBusIsAFailureWithOneLogLine) {
    test::LogCapture log;
    platform::TimedateZoneSetter setter(QDBusConnection(QStringLiteral("never-connected")));
    std::optional<platform::TimeZoneFailure> result;
    setter.setTimeZone(QStringLiteral("Europe/Paris"),
                       [&](std::optional<platform::TimeZoneFailure> failure) { result = failure; });
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->kind, platform::TimeZoneFailure::Kind::NoService);
    EXPECT_EQ(log.lines().size(), 1);
}

TEST(platformTimedateErrors, EachRefusalHasItsOwnMessage) {
    using Kind = platform::TimeZoneFailure::Kind;
    const std::pair<const char*, Kind> cases[] = {
        {"org.freedesktop.DBus.Error.AccessDenied", Kind::NotAuthorized},
        {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", Kind::NotAuthorized},
        {"org.freedesktop.PolicyKit1.Error.NotAuthorized", Kind::NotAuthorized},
        {"org.freedesktop.DBus.Error.InvalidArgs", Kind::UnknownZone},
        {"org.freedesktop.DBus.Error.ServiceUnknown", Kind::NoService},
        {"org.freedesktop.DBus.Error.NoReply", Kind::Other},
    };
    for (const auto& [name, kind] : cases) {
        SCOPED_TRACE(name);
        const platform::TimeZoneFailure f =
            platform::TimedateZoneSetter::failureFor(QLatin1String(name), QStringLiteral("words"));
        EXPECT_EQ(f.kind, kind);
        EXPECT_EQ(f.detail, QStringLiteral("words"));
    }
}

}  // namespace
}  // namespace talvor

#include "TimedateZoneSetterTest.moc"
