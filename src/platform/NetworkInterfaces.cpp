#include "NetworkInterfaces.h"

#include "Log.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace talvor::platform {
namespace {
std::atomic<NetworkInterfaces*> gOverride{nullptr};
}

NetworkInterfaces::~NetworkInterfaces() = default;

NetworkInterfaces& NetworkInterfaces::shared() {
    if (NetworkInterfaces* overridden = gOverride.load()) {
        return *overridden;
    }
    static SystemNetworkInterfaces real;
    return real;
}

void NetworkInterfaces::setShared(NetworkInterfaces* interfaces) {
    gOverride.store(interfaces);
}

std::optional<std::vector<InterfaceAddress>> SystemNetworkInterfaces::addresses() const {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        static std::atomic<bool> logged{false};
        if (!logged.exchange(true)) {
            log(QStringLiteral("Cannot list the network interfaces: %1")
                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
        }
        return std::nullopt;
    }
    std::vector<InterfaceAddress> result;
    for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr == nullptr) {
            continue;
        }
        const int family = a->ifa_addr->sa_family;
        if (family != AF_INET && family != AF_INET6) {
            continue;
        }
        const socklen_t length = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
        char host[NI_MAXHOST] = {};
        if (::getnameinfo(a->ifa_addr, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) !=
            0) {
            continue;
        }
        result.push_back({QString::fromLocal8Bit(a->ifa_name),
                          family == AF_INET ? AddressFamily::IPv4 : AddressFamily::IPv6,
                          QString::fromLatin1(host), (a->ifa_flags & IFF_LOOPBACK) != 0});
    }
    ::freeifaddrs(list);
    return result;
}

}  // namespace talvor::platform
