#include "NetworkMonitor.h"

#include <mutex>

namespace talvor {
namespace {

// Not a SharedInstance: the monitor is co-owned (an installer keeps its shared_ptr, and one that
// is replaced goes when its last holder lets go), and it is made on first use from any
// thread, so the slot is a shared_ptr under a lock.
std::mutex gSharedMutex;
std::shared_ptr<NetworkMonitor> gShared;

}  // namespace

NetworkMonitor::NetworkMonitor(std::unique_ptr<platform::ReachabilityProbe> probe,
                               platform::NotificationCenter& center)
    : probe_(std::move(probe)), center_(center) {
    // Unreadable flags count as offline.
    processFlags(probe_->flags().value_or(0), false);
    probe_->setChangeHandler([this](std::uint32_t flags) { ConnectionChangedCallback(flags); });
}

NetworkMonitor::~NetworkMonitor() {
    probe_->setChangeHandler({});
}

NetworkMonitor& NetworkMonitor::sharedMonitor() {
    std::lock_guard lock(gSharedMutex);
    if (!gShared) {
        gShared =
            std::make_shared<NetworkMonitor>(platform::ReachabilityProbe::createSystemProbe());
    }
    return *gShared;
}

void NetworkMonitor::setSharedMonitor(std::shared_ptr<NetworkMonitor> monitor) {
    std::lock_guard lock(gSharedMutex);
    gShared = std::move(monitor);
}

bool NetworkMonitor::flagsAreOnline(std::uint32_t flags) {
    return (flags & platform::kReachabilityReachable) != 0 &&
           (flags & platform::kReachabilityConnectionRequired) == 0;
}

void NetworkMonitor::processFlags(std::uint32_t flags, bool notify) {
    const bool online = flagsAreOnline(flags);
    const bool was = online_.exchange(online);
    if (notify && was != online) {
        center_.post(NetworkMonitorStatusChanged, platform::senderObject(this));
    }
}

}  // namespace talvor
