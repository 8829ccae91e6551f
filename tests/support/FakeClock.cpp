#include "FakeClock.h"

namespace talvor::test {

FakeClock::FakeClock(Date start, QTimeZone zone) : now_(start), zone_(std::move(zone)) {}

void FakeClock::setZone(const QTimeZone& zone) {
    zone_ = zone;
    emit zoneChanged();
}

void FakeClock::jumpTo(Date t) {
    now_ = t;
    emit timeJumped();
}

}  // namespace talvor::test
