#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace talvor::platform {

// Reachability flags, with the original system's values.
enum ReachabilityFlag : std::uint32_t {
    kReachabilityTransientConnection = 1u << 0,
    kReachabilityReachable = 1u << 1,
    kReachabilityConnectionRequired = 1u << 2,
};

// Whether the network can be reached, as flags, with a call when that may have changed.
class ReachabilityProbe {
  public:
    using ChangeHandler = std::function<void(std::uint32_t flags)>;
    virtual ~ReachabilityProbe();

    // The current flags; nullopt when they cannot be read.
    virtual std::optional<std::uint32_t> flags() const = 0;
    // Called on the main loop with the new flags whenever they may have changed (possibly
    // with unchanged flags). One handler; an empty one stops the calls.
    virtual void setChangeHandler(ChangeHandler handler) = 0;

    // The installed system's probe (on Linux Qt's network information, else the routing
    // table with the kernel's route changes); without one, the routing table read when
    // asked, which never calls.
    static std::unique_ptr<ReachabilityProbe> createSystemProbe();
};

// Reachable when the kernel has a usable default route (IPv4 or IPv6), as the route tables
// tell when asked.
class RouteReachabilityProbe : public ReachabilityProbe {
  public:
    // The route tables in the /proc/net format (tests give files of their own).
    explicit RouteReachabilityProbe(QString ipv4Routes = QStringLiteral("/proc/net/route"),
                                    QString ipv6Routes = QStringLiteral("/proc/net/ipv6_route"));

    std::optional<std::uint32_t> flags() const override;
    void setChangeHandler(ChangeHandler handler) override;

    // Tells the handler the flags read again: for whoever hears that the routes changed.
    void routesChanged();

  private:
    QString ipv4Routes_;
    QString ipv6Routes_;
    ChangeHandler handler_;
};

// The flags of the default route in the given tables: reachable when either table holds
// an up, non-rejecting default route off the loopback; nullopt when neither can be read.
std::optional<std::uint32_t> defaultRouteFlags(const QString& ipv4Routes,
                                               const QString& ipv6Routes);

}  // namespace talvor::platform
