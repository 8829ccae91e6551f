#pragma once

#include <functional>
#include <memory>

namespace talvor::platform {

// Sleep, wake and session changes of the machine and of the desktop session that this
// process belongs to. Handlers run on the main thread.
class SessionEventSource {
  public:
    struct Handlers {
        std::function<void()> willSleep;
        std::function<void()> didWake;
        // The session became the active (foreground) one, or stopped being it.
        std::function<void(bool active)> sessionActiveChanged;
        // The screen of the session was locked or unlocked.
        std::function<void(bool locked)> sessionLockChanged;
        // The machine is about to shut down or restart.
        std::function<void()> willPowerOff;
    };
    virtual ~SessionEventSource();
    virtual void setHandlers(Handlers handlers) = 0;

    // The installed system's source (on Linux logind on the system bus); without one, a
    // source that never reports (after one log line).
    static std::unique_ptr<SessionEventSource> createSystemSource();
};

}  // namespace talvor::platform
