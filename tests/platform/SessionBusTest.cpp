#include "platform/SessionBus.h"

#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <optional>

namespace talvor::platform {
namespace {

// A listening Unix socket at `path`, as a session bus leaves in the runtime folder.
class SocketAt {
  public:
    explicit SocketAt(const QString& path) : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::copy_n(name.constData(), std::min<size_t>(name.size(), sizeof address.sun_path - 1),
                    address.sun_path);
        ok_ = fd_ >= 0 &&
              ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
              ::listen(fd_, 1) == 0;
    }
    ~SocketAt() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    bool ok() const { return ok_; }

  private:
    int fd_;
    bool ok_ = false;
};

TEST(platformSessionBus, FoundFromTheVariableOrTheRuntimeSocketAndNeverLaunched) {
    QTemporaryDir withBus;
    QTemporaryDir withoutBus;
    QTemporaryDir withPlainFile;
    const SocketAt socket(QDir(withBus.path()).filePath(QStringLiteral("bus")));
    ASSERT_TRUE(socket.ok());
    QFile plain(QDir(withPlainFile.path()).filePath(QStringLiteral("bus")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    const QString userBus = QStringLiteral("unix:path=") + withBus.path() + QStringLiteral("/bus");
    const QString set = QStringLiteral("unix:path=/run/some/bus");

    struct Case {
        const char* name;
        QString variable;  // null: unset
        QString runtime;   // null: unset
        std::optional<QString> found;
        QString pinned;  // the variable after pinning
    };
    const Case cases[] = {
        {"the variable wins", set, withBus.path(), set, set},
        {"the user's bus socket", QString(), withBus.path(), userBus, userBus},
        {"an empty variable counts as unset", QLatin1String(""), withBus.path(), userBus, userBus},
        {"no socket: no bus", QString(), withoutBus.path(), std::nullopt,
         QStringLiteral("disabled:")},
        {"a plain file is no bus", QString(), withPlainFile.path(), std::nullopt,
         QStringLiteral("disabled:")},
        {"no runtime folder", QString(), QString(), std::nullopt, QStringLiteral("disabled:")},
        {"disabled stays disabled", QStringLiteral("disabled:"), withBus.path(), std::nullopt,
         QStringLiteral("disabled:")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedEnvVar variable("DBUS_SESSION_BUS_ADDRESS", c.variable);
        test::ScopedEnvVar runtime("XDG_RUNTIME_DIR", c.runtime);
        EXPECT_EQ(SessionBus::address(), c.found);
        SessionBus::pinAddress();
        EXPECT_EQ(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), c.pinned);
        EXPECT_EQ(SessionBus::address(), c.found) << "pinning changes nothing found";
        if (!c.found) {
            EXPECT_FALSE(SessionBus::connection().isConnected());
        }
    }
}

}  // namespace
}  // namespace talvor::platform
