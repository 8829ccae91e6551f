#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace talvor::platform {

enum class AddressFamily { IPv4, IPv6 };

// One address of one network interface, as the system lists it.
struct InterfaceAddress {
    QString name;  // "eth0"
    AddressFamily family = AddressFamily::IPv4;
    QString host;  // numeric text; link-local IPv6 carries its scope ("fe80::1%eth0")
    bool loopback = false;

    bool operator==(const InterfaceAddress&) const = default;
};

// The machine's interface addresses (IPv4 and IPv6 only).
class NetworkInterfaces {
  public:
    virtual ~NetworkInterfaces();

    // In the system's order; nullopt when the list cannot be read.
    virtual std::optional<std::vector<InterfaceAddress>> addresses() const = 0;

    // The process-wide list; tests put a fake in its place (nullptr: the real one).
    static NetworkInterfaces& shared();
    static void setShared(NetworkInterfaces* interfaces);
};

// getifaddrs, with each address turned into numeric text by getnameinfo.
class SystemNetworkInterfaces : public NetworkInterfaces {
  public:
    std::optional<std::vector<InterfaceAddress>> addresses() const override;
};

}  // namespace talvor::platform
