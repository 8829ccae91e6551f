#include "platform/Clock.h"
#include "support/FakeClock.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <chrono>

namespace talvor::platform {
namespace {

TEST(platformSystemClock, TellsTheWallClockTime) {
    SystemClock clock;
    const auto unixNow =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_NEAR(clock.now().timeIntervalSince1970(), unixNow, 5.0);
}

TEST(platformSystemClock, NoticesAChangeOfTheZoneVariable) {
    const QByteArray old = qgetenv("TZ");
    const bool had = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", "Asia/Tokyo");
    SystemClock clock;
    QSignalSpy changed(&clock, &Clock::zoneChanged);
    clock.checkZone();
    EXPECT_EQ(changed.count(), 0);
    qputenv("TZ", "America/Mexico_City");
    clock.checkZone();
    clock.checkZone();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(clock.currentZone().id(), QByteArray("America/Mexico_City"));
    if (had) {
        qputenv("TZ", old);
    } else {
        qunsetenv("TZ");
    }
}

TEST(platformFakeClock, ChangesSayTheirName) {
    test::FakeClock clock(Date::fromReference(10));
    QSignalSpy zone(&clock, &Clock::zoneChanged);
    QSignalSpy jumped(&clock, &Clock::timeJumped);
    clock.advance(5);
    EXPECT_EQ(clock.now(), Date::fromReference(15));
    clock.setZone(QTimeZone("Europe/Oslo"));
    clock.jumpTo(Date::fromReference(3600));
    EXPECT_EQ(zone.count(), 1);
    EXPECT_EQ(jumped.count(), 1);
    EXPECT_EQ(clock.currentZone().id(), QByteArray("Europe/Oslo"));
}

}  // namespace
}  // namespace talvor::platform
