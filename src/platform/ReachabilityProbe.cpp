#include "ReachabilityProbe.h"

#include "Log.h"

#include "SystemServices.h"

#include <QFile>

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

RouteReachabilityProbe::RouteReachabilityProbe(QString ipv4Routes, QString ipv6Routes)
    : ipv4Routes_(std::move(ipv4Routes)), ipv6Routes_(std::move(ipv6Routes)) {}

std::optional<std::uint32_t> RouteReachabilityProbe::flags() const {
    return defaultRouteFlags(ipv4Routes_, ipv6Routes_);
}

void RouteReachabilityProbe::setChangeHandler(ChangeHandler handler) {
    handler_ = std::move(handler);
}

void RouteReachabilityProbe::routesChanged() {
    if (handler_) {
        handler_(flags().value_or(0));
    }
}

// ---- the system's probe

std::unique_ptr<ReachabilityProbe> ReachabilityProbe::createSystemProbe() {
    if (const auto& make = systemServices().reachability) {
        if (std::unique_ptr<ReachabilityProbe> probe = make()) {
            return probe;
        }
    }
    log(
        QStringLiteral("No network service; the network state follows the routing table, "
                       "read when asked"));
    return std::make_unique<RouteReachabilityProbe>();
}

}  // namespace talvor::platform
