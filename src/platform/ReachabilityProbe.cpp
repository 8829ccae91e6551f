#include "ReachabilityProbe.h"

#include "Log.h"

#include <QFile>
#include <QNetworkInformation>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace talvor::platform {
namespace {

constexpr std::uint32_t kRouteUp = 0x0001;
constexpr std::uint32_t kRouteReject = 0x0200;

// nullopt: unreadable; otherwise whether a usable default route is listed.
std::optional<bool> hasDefaultRoute(const QString& path, bool ipv6) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return std::nullopt;
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> f = line.simplified().split(' ');
        bool ok = false;
        if (ipv6) {
            // dest plen src plen next-hop metric refcnt use flags iface
            if (f.size() < 10 || f[1] != "00" || f[0].count('0') != f[0].size()) {
                continue;
            }
            const std::uint32_t flags = f[8].toUInt(&ok, 16);
            if (ok && (flags & kRouteUp) && !(flags & kRouteReject) && f[9] != "lo") {
                return true;
            }
        } else {
            // iface destination gateway flags refcnt use metric mask ...
            if (f.size() < 8 || f[1] != "00000000" || f[7] != "00000000") {
                continue;
            }
            const std::uint32_t flags = f[3].toUInt(&ok, 16);
            if (ok && (flags & kRouteUp) && !(flags & kRouteReject) && f[0] != "lo") {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

ReachabilityProbe::~ReachabilityProbe() = default;

std::optional<std::uint32_t> defaultRouteFlags(const QString& ipv4Routes,
                                               const QString& ipv6Routes) {
    const std::optional<bool> v4 = hasDefaultRoute(ipv4Routes, false);
    const std::optional<bool> v6 = hasDefaultRoute(ipv6Routes, true);
    if (!v4 && !v6) {
        return std::nullopt;
    }
    return (v4.value_or(false) || v6.value_or(false)) ? kReachabilityReachable : 0u;
}

// ---- RouteReachabilityProbe

RouteReachabilityProbe::RouteReachabilityProbe(QString ipv4Routes, QString ipv6Routes,
                                               QObject* parent)
    : QObject(parent), ipv4Routes_(std::move(ipv4Routes)), ipv6Routes_(std::move(ipv6Routes)) {}

RouteReachabilityProbe::~RouteReachabilityProbe() {
    delete notifier_;
    if (netlinkFd_ >= 0) {
        ::close(netlinkFd_);
    }
}

std::optional<std::uint32_t> RouteReachabilityProbe::flags() const {
    return defaultRouteFlags(ipv4Routes_, ipv6Routes_);
}

void RouteReachabilityProbe::setChangeHandler(ChangeHandler handler) {
    handler_ = std::move(handler);
}

bool RouteReachabilityProbe::watchKernelRoutes() {
    if (netlinkFd_ >= 0) {
        return true;
    }
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) {
        log(QStringLiteral("Network changes are not heard: no routing socket (%1)")
                .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    sockaddr_nl addr{};
    addr.nl_family = AF_NETLINK;
    addr.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE | RTMGRP_IPV4_IFADDR |
                     RTMGRP_IPV6_IFADDR;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        log(QStringLiteral("Network changes are not heard: routing socket refused (%1)")
                .arg(QString::fromLocal8Bit(std::strerror(errno))));
        ::close(fd);
        return false;
    }
    netlinkFd_ = fd;
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read);
    connect(notifier_, &QSocketNotifier::activated, this, &RouteReachabilityProbe::onRoutesChanged);
    return true;
}

void RouteReachabilityProbe::onRoutesChanged() {
    char buffer[8192];
    // The messages only say that something changed; the table is read again instead.
    while (::recv(netlinkFd_, buffer, sizeof buffer, 0) > 0) {
    }
    if (handler_) {
        handler_(flags().value_or(0));
    }
}

// ---- NetworkInformationProbe

std::unique_ptr<NetworkInformationProbe> NetworkInformationProbe::create() {
    if (QNetworkInformation::instance() == nullptr && !QNetworkInformation::loadDefaultBackend() &&
        !QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        return nullptr;
    }
    QNetworkInformation* info = QNetworkInformation::instance();
    if (info == nullptr || !info->supports(QNetworkInformation::Feature::Reachability)) {
        return nullptr;
    }
    return std::unique_ptr<NetworkInformationProbe>(new NetworkInformationProbe(info));
}

NetworkInformationProbe::NetworkInformationProbe(QNetworkInformation* info) : info_(info) {
    connect(info_, &QNetworkInformation::reachabilityChanged, this,
            &NetworkInformationProbe::notify);
    connect(info_, &QNetworkInformation::isBehindCaptivePortalChanged, this,
            &NetworkInformationProbe::notify);
    // While the backend says "unknown" the routing table answers, so its changes count too.
    routes_.setChangeHandler([this](std::uint32_t) { notify(); });
    routes_.watchKernelRoutes();
}

NetworkInformationProbe::~NetworkInformationProbe() = default;

std::optional<std::uint32_t> NetworkInformationProbe::flags() const {
    switch (info_->reachability()) {
        case QNetworkInformation::Reachability::Online:
            return kReachabilityReachable |
                   (info_->isBehindCaptivePortal() ? kReachabilityConnectionRequired : 0u);
        case QNetworkInformation::Reachability::Unknown:
            return routes_.flags();
        case QNetworkInformation::Reachability::Disconnected:
        case QNetworkInformation::Reachability::Local:
        case QNetworkInformation::Reachability::Site:
            break;
    }
    return 0u;
}

void NetworkInformationProbe::setChangeHandler(ChangeHandler handler) {
    handler_ = std::move(handler);
}

void NetworkInformationProbe::notify() {
    if (handler_) {
        handler_(flags().value_or(0));
    }
}

// ---- the system's probe

std::unique_ptr<ReachabilityProbe> ReachabilityProbe::createSystemProbe() {
    if (auto info = NetworkInformationProbe::create()) {
        return info;
    }
    log(QStringLiteral(
        "No network information backend; the network state follows the routing table"));
    auto routes = std::make_unique<RouteReachabilityProbe>();
    routes->watchKernelRoutes();
    return routes;
}

}  // namespace talvor::platform
