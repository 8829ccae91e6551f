#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace talvor::platform {

// Why the system refused a new zone.
struct TimeZoneFailure {
    enum class Kind { NotAuthorized, UnknownZone, NoService, Other };
    Kind kind = Kind::Other;
    QString detail;  // the service's own words, for the log

    // The sentence shown to the user.
    QString message() const;
};

// Sets the machine's time zone. The answer may take a while (the system may ask for a
// password), so it comes later, on the main thread; nullopt means the zone was set.
class TimeZoneSetter {
  public:
    using Reply = std::function<void(std::optional<TimeZoneFailure> failure)>;

    virtual ~TimeZoneSetter();

    virtual void setTimeZone(const QString& zoneId, Reply reply) = 0;

    // The process-wide setter: the installed system's, else one that answers NoService.
    // Tests put a fake in its place (nullptr: the real one).
    static TimeZoneSetter& shared();
    static void setShared(TimeZoneSetter* setter);
};

}  // namespace talvor::platform
