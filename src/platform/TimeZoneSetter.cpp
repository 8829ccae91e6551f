#include "TimeZoneSetter.h"

#include "Log.h"
#include "SystemServices.h"

#include <atomic>

namespace talvor::platform {
namespace {

std::atomic<TimeZoneSetter*> gOverride{nullptr};

class NoTimeZoneService : public TimeZoneSetter {
  public:
    void setTimeZone(const QString&, Reply reply) override {
        log(QStringLiteral("No system date and time service: the time zone cannot be set"));
        reply(TimeZoneFailure{TimeZoneFailure::Kind::NoService, QString()});
    }
};

}  // namespace

QString TimeZoneFailure::message() const {
    switch (kind) {
        case Kind::NotAuthorized:
            return QStringLiteral("You are not allowed to change the time zone of this computer.");
        case Kind::UnknownZone:
            return QStringLiteral("The system does not know this time zone.");
        case Kind::NoService:
            return QStringLiteral(
                "The time zone cannot be set: the system's date and time service "
                "is not available.");
        case Kind::Other:
            break;
    }
    return QStringLiteral("The time zone could not be set.");
}

TimeZoneSetter::~TimeZoneSetter() = default;

TimeZoneSetter& TimeZoneSetter::shared() {
    if (TimeZoneSetter* overridden = gOverride.load()) {
        return *overridden;
    }
    static TimeZoneSetter* real = []() -> TimeZoneSetter* {
        if (const auto& make = systemServices().timeZoneSetter) {
            if (std::unique_ptr<TimeZoneSetter> setter = make()) {
                return setter.release();
            }
        }
        return new NoTimeZoneService();
    }();
    return *real;
}

void TimeZoneSetter::setShared(TimeZoneSetter* setter) {
    gOverride.store(setter);
}

}  // namespace talvor::platform
