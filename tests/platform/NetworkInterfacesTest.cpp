#include "platform/NetworkInterfaces.h"
#include "support/FakeNetworkInterfaces.h"

#include <QHostAddress>

#include <gtest/gtest.h>

namespace talvor::platform {
namespace {

// Whatever this machine has: every entry is numeric text of its own family, and the
// loopback interface carries the flag.
TEST(platformNetworkInterfaces, SystemListIsNumericAndFlagsLoopback) {
    SystemNetworkInterfaces system;
    const auto list = system.addresses();
    ASSERT_TRUE(list.has_value());
    for (const InterfaceAddress& a : *list) {
        SCOPED_TRACE((a.name + QLatin1Char(' ') + a.host).toStdString());
        EXPECT_FALSE(a.name.isEmpty());
        QHostAddress parsed;
        ASSERT_TRUE(parsed.setAddress(a.host));
        EXPECT_EQ(parsed.protocol() == QAbstractSocket::IPv4Protocol,
                  a.family == AddressFamily::IPv4);
        if (a.name == QStringLiteral("lo")) {
            EXPECT_TRUE(a.loopback);
        }
        if (parsed.isLoopback()) {
            EXPECT_TRUE(a.loopback);
        }
    }
}

TEST(platformNetworkInterfaces, SharedListCanBeReplaced) {
    NetworkInterfaces* real = &NetworkInterfaces::shared();
    {
        test::FakeNetworkInterfaces fake(std::nullopt);
        EXPECT_EQ(&NetworkInterfaces::shared(), &fake);
        EXPECT_FALSE(NetworkInterfaces::shared().addresses().has_value());
    }
    EXPECT_EQ(&NetworkInterfaces::shared(), real);
}

}  // namespace
}  // namespace talvor::platform
