// The kernel's address notifications, end to end: a link and addresses made in a private
// network namespace of this thread reach the watcher and the notification centre. Needs
// root (CAP_NET_ADMIN, CAP_SYS_ADMIN); the host's own interfaces are never touched.
#include "platform/linux/NetlinkInterfaceWatcher.h"
#include "services/IXSCNotificationCenter.h"
#include "support/SkipInCI.h"

#include <QTest>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace talvor {
namespace {

// One rtnetlink request with its attributes, answered with an acknowledgement.
class Request {
  public:
    Request(std::uint16_t type, std::uint16_t flags) {
        header()->nlmsg_len = NLMSG_LENGTH(0);
        header()->nlmsg_type = type;
        header()->nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK | flags;
        header()->nlmsg_seq = 1;
    }
    template <typename T>
    void body(const T& value) {
        append(&value, sizeof value);
    }
    void attribute(std::uint16_t type, const void* data, std::size_t len) {
        rtattr a{};
        a.rta_type = type;
        a.rta_len = static_cast<std::uint16_t>(RTA_LENGTH(len));
        append(&a, sizeof a);
        append(data, len);
        pad();
    }
    // Opens a nested attribute; close it with the returned offset.
    std::size_t open(std::uint16_t type) {
        const std::size_t at = header()->nlmsg_len;
        attribute(type, nullptr, 0);
        return at;
    }
    void close(std::size_t at) {
        reinterpret_cast<rtattr*>(buffer_ + at)->rta_len =
            static_cast<std::uint16_t>(header()->nlmsg_len - at);
    }
    // 0 on success, else the kernel's errno.
    int send() const {
        const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
        if (fd < 0) {
            return errno;
        }
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        int result = EIO;
        if (::sendto(fd, buffer_, header()->nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
                     sizeof kernel) >= 0) {
            alignas(nlmsghdr) char reply[4096];
            const ssize_t n = ::recv(fd, reply, sizeof reply, 0);
            const auto* h = reinterpret_cast<const nlmsghdr*>(reply);
            if (n > 0 && h->nlmsg_type == NLMSG_ERROR) {
                result = -static_cast<const nlmsgerr*>(NLMSG_DATA(h))->error;
            }
        }
        ::close(fd);
        return result;
    }

  private:
    nlmsghdr* header() const { return reinterpret_cast<nlmsghdr*>(const_cast<char*>(buffer_)); }
    void append(const void* data, std::size_t len) {
        if (len > 0) {
            std::memcpy(buffer_ + header()->nlmsg_len, data, len);
        }
        header()->nlmsg_len += static_cast<std::uint32_t>(len);
    }
    void pad() { header()->nlmsg_len = NLMSG_ALIGN(header()->nlmsg_len); }
    alignas(nlmsghdr) char buffer_[1024] = {};
};

int addLink(const char* name, const char* kind) {
    Request r(RTM_NEWLINK, NLM_F_CREATE | NLM_F_EXCL);
    r.body(ifinfomsg{});
    r.attribute(IFLA_IFNAME, name, std::strlen(name) + 1);
    const std::size_t info = r.open(IFLA_LINKINFO);
    r.attribute(IFLA_INFO_KIND, kind, std::strlen(kind));
    r.close(info);
    return r.send();
}

int address(std::uint16_t type, int family, unsigned index, const char* text,
            unsigned char prefix) {
    Request r(type, type == RTM_NEWADDR ? NLM_F_CREATE | NLM_F_EXCL : 0);
    ifaddrmsg a{};
    a.ifa_family = static_cast<unsigned char>(family);
    a.ifa_prefixlen = prefix;
    a.ifa_index = index;
    r.body(a);
    unsigned char bytes[16];
    ::inet_pton(family, text, bytes);
    const std::size_t len = family == AF_INET ? 4 : 16;
    r.attribute(IFA_LOCAL, bytes, len);
    r.attribute(IFA_ADDRESS, bytes, len);
    return r.send();
}

// Moves this thread into a new network namespace, and back when destroyed.
class PrivateNetworkNamespace {
  public:
    PrivateNetworkNamespace() {
        original_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        if (original_ >= 0 && ::unshare(CLONE_NEWNET) == 0) {
            entered_ = true;
        }
    }
    ~PrivateNetworkNamespace() {
        if (entered_) {
            EXPECT_EQ(::setns(original_, CLONE_NEWNET), 0);
        }
        if (original_ >= 0) {
            ::close(original_);
        }
    }
    bool entered() const { return entered_; }

  private:
    int original_ = -1;
    bool entered_ = false;
};

TEST(servicesSyseventsNetlink, AddressesOfALinkInAPrivateNamespaceReachObservers) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root for a private network namespace";
    }
    PrivateNetworkNamespace ns;
    if (!ns.entered()) {
        test::maySkipInCI("a container may forbid new network namespaces");
        GTEST_SKIP() << "cannot make a network namespace here: " << std::strerror(errno);
    }
    {
        auto source = std::make_unique<platform::NetlinkInterfaceWatcher>();
        ASSERT_TRUE(source->isWatching());
        platform::NetlinkInterfaceWatcher* watcher = source.get();
        IXSCNotificationCenter center(kIXSCShellPattern, std::move(source));
        QStringList heard;
        int observer = 0;
        center.addObserver(
            &observer, [&](const platform::Notification& n) { heard.append(n.name); }, QString());

        // A dummy link where the kernel has them, else a bridge: either carries no traffic.
        const char* name = "talvortest0";
        int rc = addLink(name, "dummy");
        if (rc == EOPNOTSUPP || rc == ENOENT || rc == EINVAL) {
            rc = addLink(name, "bridge");
        }
        ASSERT_EQ(rc, 0) << std::strerror(rc);
        const unsigned index = ::if_nametoindex(name);
        ASSERT_NE(index, 0u);

        const QString v4 =
            platform::interfaceKey(QString::fromLatin1(name), QStringLiteral("IPv4"));
        const QString v6 =
            platform::interfaceKey(QString::fromLatin1(name), QStringLiteral("IPv6"));
        ASSERT_EQ(address(RTM_NEWADDR, AF_INET, index, "192.0.2.1", 24), 0);  // documentation range
        EXPECT_TRUE(QTest::qWaitFor([&] { return heard.contains(v4); }, 5000))
            << heard.join(' ').toStdString();
        EXPECT_TRUE(watcher->currentKeys().contains(v4));
        EXPECT_FALSE(heard.contains(
            platform::interfaceKey(QString::fromLatin1(name), QStringLiteral("Link"))))
            << "link keys are not watched by this pattern";

        heard.clear();
        if (address(RTM_NEWADDR, AF_INET6, index, "2001:db8::1", 64) == 0) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return heard.contains(v6); }, 5000));
        }
        heard.clear();
        ASSERT_EQ(address(RTM_DELADDR, AF_INET, index, "192.0.2.1", 24), 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return heard.contains(v4); }, 5000));
        EXPECT_FALSE(watcher->currentKeys().contains(v4));
    }
}

}  // namespace
}  // namespace talvor
