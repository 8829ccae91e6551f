#pragma once

#include <QDateTime>
#include <QMetaType>

#include <unicode/utypes.h>
#include <compare>

namespace talvor {

// An instant: seconds since 2001-01-01 00:00:00 UTC, as a double. Every stored date and
// every time computation in the application passes through this type.
class Date {
  public:
    // Seconds between the Unix epoch and the reference date.
    static constexpr double kUnixToReference = 978307200.0;

    constexpr Date() = default;
    static constexpr Date fromReference(double seconds) { return Date(seconds); }
    static constexpr Date fromUnix(double seconds) { return Date(seconds - kUnixToReference); }
    // ICU's UDate counts milliseconds since the Unix epoch.
    static constexpr Date fromUDate(UDate ms) { return fromUnix(ms / 1000.0); }
    // An invalid QDateTime has no instant; it maps to the reference date itself.
    static Date fromQDateTime(const QDateTime& dt);

    constexpr double timeIntervalSinceReferenceDate() const { return seconds_; }
    constexpr double timeIntervalSince1970() const { return seconds_ + kUnixToReference; }
    constexpr UDate toUDate() const { return timeIntervalSince1970() * 1000.0; }
    // Millisecond precision, in UTC.
    QDateTime toQDateTime() const;

    constexpr Date addingTimeInterval(double seconds) const { return Date(seconds_ + seconds); }
    constexpr double timeIntervalSince(Date other) const { return seconds_ - other.seconds_; }

    constexpr auto operator<=>(const Date&) const = default;

  private:
    constexpr explicit Date(double seconds) : seconds_(seconds) {}
    double seconds_ = 0.0;
};

}  // namespace talvor

Q_DECLARE_METATYPE(talvor::Date)
