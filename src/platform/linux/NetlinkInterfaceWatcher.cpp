#include "NetlinkInterfaceWatcher.h"

#include "platform/Log.h"

#include <QSet>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace talvor::platform {
namespace {

QString familyEntity(int family) {
    return family == AF_INET6 ? QStringLiteral("IPv6") : QStringLiteral("IPv4");
}

// NLMSG_OK with its signs spelled out: the macro compares the unsigned message length with
// the signed remainder, which clang flags.
bool messageFits(const nlmsghdr* h, int remaining) {
    return remaining >= static_cast<int>(sizeof(nlmsghdr)) && h->nlmsg_len >= sizeof(nlmsghdr) &&
           h->nlmsg_len <= static_cast<unsigned>(remaining);
}

}  // namespace

NetlinkInterfaceWatcher::NetlinkInterfaceWatcher(QObject* parent) : QObject(parent) {
    fd_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd_ < 0) {
        log(QStringLiteral("Cannot watch network interfaces: %1")
                .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    sockaddr_nl addr{};
    addr.nl_family = AF_NETLINK;
    addr.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
    socklen_t len = sizeof addr;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        log(QStringLiteral("Cannot watch network interfaces: %1")
                .arg(QString::fromLocal8Bit(std::strerror(errno))));
        ::close(fd_);
        fd_ = -1;
        return;
    }
    portId_ = addr.nl_pid;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { onReadable(); });
    requestLinkNames();
}

NetlinkInterfaceWatcher::~NetlinkInterfaceWatcher() {
    delete notifier_;
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

// The names of links already present, so that address changes of them can be named in the
// watcher's own namespace.
void NetlinkInterfaceWatcher::requestLinkNames() {
    struct {
        nlmsghdr header;
        ifinfomsg info;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = dumpSeq_ = 1;
    request.info.ifi_family = AF_UNSPEC;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd_, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) < 0) {
        dumpSeq_ = 0;
    }
}

void NetlinkInterfaceWatcher::onReadable() {
    QStringList keys;
    QSet<QString> seen;
    auto add = [&](const QString& key) {
        if (!seen.contains(key)) {
            seen.insert(key);
            keys.append(key);
        }
    };
    alignas(nlmsghdr) char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == ENOBUFS) {
                // Notifications were lost: say that everything may have changed.
                for (const QString& key : currentKeys()) {
                    add(key);
                }
                continue;
            }
            break;  // EAGAIN: drained
        }
        int remaining = static_cast<int>(n);
        for (auto* h = reinterpret_cast<nlmsghdr*>(buffer); messageFits(h, remaining);
             h = NLMSG_NEXT(h, remaining)) {
            const bool ownDump =
                dumpSeq_ != 0 && h->nlmsg_seq == dumpSeq_ && h->nlmsg_pid == portId_;
            if (h->nlmsg_type == NLMSG_DONE || h->nlmsg_type == NLMSG_ERROR) {
                if (ownDump) {
                    dumpSeq_ = 0;
                }
                continue;
            }
            if (h->nlmsg_type == RTM_NEWLINK || h->nlmsg_type == RTM_DELLINK) {
                const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(h));
                int attrLen = static_cast<int>(IFLA_PAYLOAD(h));
                QString name;
                for (auto* a = IFLA_RTA(info); RTA_OK(a, attrLen); a = RTA_NEXT(a, attrLen)) {
                    if (a->rta_type == IFLA_IFNAME) {
                        name = QString::fromLocal8Bit(static_cast<const char*>(RTA_DATA(a)));
                    }
                }
                if (name.isEmpty()) {
                    name = names_.value(info->ifi_index);
                }
                if (h->nlmsg_type == RTM_NEWLINK) {
                    names_.insert(info->ifi_index, name);
                } else {
                    names_.remove(info->ifi_index);
                }
                if (!ownDump && !name.isEmpty()) {
                    add(interfaceKey(name, QStringLiteral("Link")));
                }
            } else if (h->nlmsg_type == RTM_NEWADDR || h->nlmsg_type == RTM_DELADDR) {
                const auto* info = static_cast<const ifaddrmsg*>(NLMSG_DATA(h));
                QString name = names_.value(static_cast<int>(info->ifa_index));
                if (name.isEmpty()) {
                    char buf[IF_NAMESIZE] = {};
                    name = ::if_indextoname(info->ifa_index, buf) != nullptr
                               ? QString::fromLocal8Bit(buf)
                               : QStringLiteral("if%1").arg(info->ifa_index);
                }
                add(interfaceKey(name, familyEntity(info->ifa_family)));
            }
        }
    }
    if (!keys.isEmpty() && handler_) {
        handler_(keys);
    }
}

QStringList NetlinkInterfaceWatcher::currentKeys() const {
    QStringList keys;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return keys;
    }
    for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr == nullptr ||
            (a->ifa_addr->sa_family != AF_INET && a->ifa_addr->sa_family != AF_INET6)) {
            continue;
        }
        const QString key =
            interfaceKey(QString::fromLocal8Bit(a->ifa_name), familyEntity(a->ifa_addr->sa_family));
        if (!keys.contains(key)) {
            keys.append(key);
        }
    }
    ::freeifaddrs(list);
    return keys;
}

}  // namespace talvor::platform
