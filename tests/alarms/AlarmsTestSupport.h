#pragma once

#include "support/ScopedMachineZone.h"

#include <optional>

#include "alarms/Alarm.h"
#include "alarms/AlarmMenuController.h"
#include "alarms/Clock.h"
#include "alarms/UserNotificationCenter.h"
#include "foundation/PreferenceDomain.h"
#include "platform/Scheduler.h"
#include "platform/UserDefaults.h"
#include "support/FakeClock.h"
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QTimeZone>

#include <unicode/locid.h>

#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <vector>

namespace talvor::test {

inline constexpr const char* kZone = "Europe/Berlin";

// The instant of a wall-clock time in Berlin ("2024-03-04T07:00:00"; fractions allowed).
inline Date at(const char* isoLocal) {
    QDateTime local = QDateTime::fromString(QString::fromLatin1(isoLocal), Qt::ISODateWithMs);
    local.setTimeZone(QTimeZone(kZone));
    return Date::fromQDateTime(local);
}

// The wall-clock time of an instant in Berlin, "yyyy-MM-ddTHH:mm:ss".
inline QString wall(Date date) {
    return date.toQDateTime().toTimeZone(QTimeZone(kZone)).toString(Qt::ISODate).left(19);
}

inline void setIcuLocale(const char* name) {
    test::setIcuDefaultLocale(name);
}

// Records scheduled notifications instead of showing them.
class FakeUserNotificationCenter : public UserNotificationCenter {
  public:
    void scheduleNotification(const UserNotification& n) override { scheduled.push_back(n); }
    void removeAllScheduledNotifications() override { scheduled.clear(); }
    std::vector<UserNotification> scheduledNotifications() const override { return scheduled; }
    std::vector<UserNotification> scheduled;
};

// Remembers which alarms came due, and when.
class RecordingDelegate : public AlarmDelegate {
  public:
    explicit RecordingDelegate(FakeClock& clock) : clock_(clock) {}
    void alarmTriggered(Alarm& alarm) override {
        fired.push_back(&alarm);
        firedAt.push_back(clock_.now());
        if (onFire) {
            onFire(alarm);
        }
    }
    std::vector<const Alarm*> fired;
    std::vector<Date> firedAt;
    std::function<void(Alarm&)> onFire;

  private:
    FakeClock& clock_;
};

// Every alarms test: a private home (files kept beside the settings land there), the machine's zone
// far from the one checked (so that anything reading the machine's zone shows), a fake clock in
// Berlin on Monday 2024-03-04, a manual scheduler, an in-memory preference domain as the standard
// defaults, ICU in en_US, a fake notification centre, and a fresh shared alarm clock (saving its
// changes) and alarm menu controller.
class AlarmsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        machineZone_.emplace("Pacific/Kiritimati", "en_US");
        platform::Clock::setShared(&clock_);
        platform::Scheduler::setShared(&scheduler_);
        platform::UserDefaults::setStandard(&defaults_);
        UserNotificationCenter::setDefaultUserNotificationCenter(&notifications_);
        AlarmMenuController::setMainMenuController(&controller_);
        controller_.setNotifier([this](const UserNotification& n) { shown_.push_back(n); });
        makeAlarmClock();
    }

    void TearDown() override {
        alarmClock_.reset();
        Clock::setSharedClock(nullptr);
        AlarmMenuController::setMainMenuController(nullptr);
        UserNotificationCenter::setDefaultUserNotificationCenter(nullptr);
        platform::UserDefaults::setStandard(nullptr);
        platform::Scheduler::setShared(nullptr);
        platform::Clock::setShared(nullptr);
        machineZone_.reset();
    }

    // A new shared alarm clock, as a fresh launch has.
    Clock& makeAlarmClock() {
        alarmClock_.reset();
        alarmClock_ = std::make_unique<Clock>(scheduler_);
        alarmClock_->setSavesChanges(true);
        Clock::setSharedClock(alarmClock_.get());
        return *alarmClock_;
    }

    Clock& alarmClock() { return *alarmClock_; }
    platform::MemoryPreferenceStore& store() { return domain_.store(); }

    // The alarms archived under "AcitveAlarmsStoredKey", or none when absent or unreadable.
    std::optional<AlarmList> storedAlarms() {
        const QVariant v = defaults_.objectForKey(QStringLiteral("AcitveAlarmsStoredKey"));
        if (!v.isValid()) {
            return std::nullopt;
        }
        return unarchivedAlarms(defaults_.dataForKey(QStringLiteral("AcitveAlarmsStoredKey")));
    }

    // First: it forgets the preference domains, so the in-memory one must come after it.
    XdgSandbox sandbox_;
    FakeClock clock_{at("2024-03-04T10:00:00"), QTimeZone(kZone)};
    ManualScheduler scheduler_{clock_};
    ScopedMemoryDomain domain_{appTalvor4Prefs};
    platform::UserDefaults defaults_{domain_.store()};
    FakeUserNotificationCenter notifications_;
    // What ringing alarms showed on the desktop.
    std::vector<UserNotification> shown_;
    AlarmMenuController controller_;

  private:
    std::unique_ptr<Clock> alarmClock_;
    std::optional<test::ScopedMachineZone> machineZone_;
};

// Alarm makers.
inline std::shared_ptr<Alarm> relativeAlarm(int64_t units, bool minutes, Date runTime) {
    auto a = Alarm::create();
    a->setSelRowNo(0);
    a->setRingWithinUnits(units);
    a->setIsMinuteUnits(minutes);
    a->setRunTime(runTime);
    return a;
}

inline std::shared_ptr<Alarm> dateAlarm(Date time, bool everyDay = false) {
    auto a = Alarm::initWithTime(time, QStringLiteral("date"));
    a->setSelRowNo(1);
    a->setIsTimeWithDate(true);
    a->setShouldUseEveryDay(everyDay);
    return a;
}

}  // namespace talvor::test
