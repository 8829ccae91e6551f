#include "SystemEventMonitor.h"

#include "SystemEventNames.h"
#include "foundation/TimedEvent.h"

namespace talvor {

SystemEventMonitor::SystemEventMonitor(std::unique_ptr<platform::SessionEventSource> source,
                                       platform::NotificationCenter& center)
    : source_(source ? std::move(source) : platform::SessionEventSource::createSystemSource()),
      center_(center) {
    platform::SessionEventSource::Handlers handlers;
    handlers.willSleep = [this] { center_.post(NSWorkspaceWillSleepNotification); };
    handlers.didWake = [this] {
        // Timers missed while asleep run now, before the wake observers redraw.
        TimedEvent::wakeUp();
        center_.post(NSWorkspaceDidWakeNotification);
    };
    handlers.sessionActiveChanged = [this](bool active) {
        center_.post(active ? NSWorkspaceSessionDidBecomeActiveNotification
                            : NSWorkspaceSessionDidResignActiveNotification);
    };
    handlers.sessionLockChanged = [this](bool locked) {
        center_.post(locked ? kScreenIsLockedNotification : kScreenIsUnlockedNotification);
    };
    handlers.willPowerOff = [this] { center_.post(NSWorkspaceWillPowerOffNotification); };
    source_->setHandlers(std::move(handlers));
}

SystemEventMonitor::~SystemEventMonitor() {
    source_->setHandlers({});
}

SystemEventMonitor& SystemEventMonitor::sharedMonitor() {
    static SystemEventMonitor* monitor = new SystemEventMonitor();
    return *monitor;
}

}  // namespace talvor
