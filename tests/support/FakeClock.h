#pragma once

#include "platform/Clock.h"

namespace talvor::test {

// A clock that stands still until told to move.
class FakeClock : public platform::Clock {
    Q_OBJECT
  public:
    explicit FakeClock(Date start = Date::fromReference(0), QTimeZone zone = QTimeZone::utc());

    Date now() const override { return now_; }
    QTimeZone currentZone() const override {
        ++zoneQueries_;
        return zone_;
    }
    // How often the zone was asked for: the system clock reads files for each answer.
    int zoneQueries() const { return zoneQueries_; }

    void set(Date t) { now_ = t; }
    void advance(double seconds) { now_ = now_.addingTimeInterval(seconds); }
    // Changes the zone and says so, as the system clock does.
    void setZone(const QTimeZone& zone);
    // Sets the wall clock and says so, as after a manual clock change.
    void jumpTo(Date t);

  private:
    Date now_;
    QTimeZone zone_;
    mutable int zoneQueries_ = 0;
};

}  // namespace talvor::test
