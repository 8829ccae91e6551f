#pragma once

#include "support/ScopedMachineZone.h"

#include <optional>

#include "foundation/CalendarExtras.h"
#include "foundation/DateExtras.h"
#include "support/FakeClock.h"

#include <QDateTime>
#include <QTimeZone>

#include <unicode/locid.h>

#include <gtest/gtest.h>

#include <ctime>
#include <memory>

namespace talvor::test {

// The instant of a wall-clock time in a zone ("2024-03-05T17:42:31").
inline Date localDate(const char* isoLocal, const char* zoneId) {
    QDateTime local = QDateTime::fromString(QString::fromLatin1(isoLocal), Qt::ISODate);
    local.setTimeZone(QTimeZone(zoneId));
    return Date::fromQDateTime(local);
}

inline Date utcDate(const char* isoUtc) {
    return Date::fromQDateTime(QDateTime::fromString(QString::fromLatin1(isoUtc), Qt::ISODate));
}

// The wall-clock time of an instant in a zone, as "yyyy-MM-ddTHH:mm:ss".
inline QString wallClock(Date date, const char* zoneId) {
    return date.toQDateTime().toTimeZone(QTimeZone(zoneId)).toString(Qt::ISODate).left(19);
}

// Every date test runs with the machine's zone (TZ) set far from the zones it checks
// (Pacific/Kiritimati, UTC+14) and a fake clock in Berlin, so that anything taking the
// machine's zone instead of the clock's shows; ICU's default locale is en_US.
class DatesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        machineZone_.emplace("Pacific/Kiritimati", "en_US");
        clock_ = std::make_unique<FakeClock>(localDate("2024-03-05T17:42:31", "Europe/Berlin"),
                                             QTimeZone("Europe/Berlin"));
        platform::Clock::setShared(clock_.get());
        CalendarExtras::resetForTesting();
        DateExtras::resetForTesting();
    }

    void TearDown() override {
        CalendarExtras::resetForTesting();
        DateExtras::resetForTesting();
        clock_.reset();
        machineZone_.reset();
    }

    static void setIcuLocale(const char* name) { test::setIcuDefaultLocale(name); }

    FakeClock& clock() { return *clock_; }

  private:
    std::unique_ptr<FakeClock> clock_;
    std::optional<test::ScopedMachineZone> machineZone_;
};

}  // namespace talvor::test
