#include "SystemReachabilityProbe.h"

#include "platform/Log.h"

#include <QNetworkInformation>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace talvor::platform {

// ---- KernelRouteWatcher

KernelRouteWatcher::KernelRouteWatcher(QObject* parent) : QObject(parent) {}

KernelRouteWatcher::~KernelRouteWatcher() {
    delete notifier_;
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool KernelRouteWatcher::watch(std::function<void()> changed) {
    changed_ = std::move(changed);
    if (fd_ >= 0) {
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
    fd_ = fd;
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read);
    connect(notifier_, &QSocketNotifier::activated, this, &KernelRouteWatcher::onReadable);
    return true;
}

void KernelRouteWatcher::onReadable() {
    char buffer[8192];
    // The messages only say that something changed; the table is read again instead.
    while (::recv(fd_, buffer, sizeof buffer, 0) > 0) {
    }
    if (changed_) {
        changed_();
    }
}

// ---- KernelRouteProbe

KernelRouteProbe::KernelRouteProbe() {
    watcher_.watch([this] { routes_.routesChanged(); });
}

void KernelRouteProbe::setChangeHandler(ChangeHandler handler) {
    routes_.setChangeHandler(std::move(handler));
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
    watcher_.watch([this] { notify(); });
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

std::unique_ptr<ReachabilityProbe> createSystemReachabilityProbe() {
    if (auto info = NetworkInformationProbe::create()) {
        return info;
    }
    log(QStringLiteral(
        "No network information backend; the network state follows the routing table"));
    return std::make_unique<KernelRouteProbe>();
}

}  // namespace talvor::platform
