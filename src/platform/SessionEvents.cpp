#include "SessionEvents.h"

#include "Log.h"
#include "SystemServices.h"

namespace talvor::platform {
namespace {

class SilentSessionEvents : public SessionEventSource {
  public:
    void setHandlers(Handlers) override {}
};

}  // namespace

SessionEventSource::~SessionEventSource() = default;

std::unique_ptr<SessionEventSource> SessionEventSource::createSystemSource() {
    if (const auto& make = systemServices().sessionEvents) {
        if (std::unique_ptr<SessionEventSource> source = make()) {
            return source;
        }
    } else {
        log(
            QStringLiteral("Session: no system service; sleep, wake and session changes will "
                           "not be noticed"));
    }
    return std::make_unique<SilentSessionEvents>();
}

}  // namespace talvor::platform
