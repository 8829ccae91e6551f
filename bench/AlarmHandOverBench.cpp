// Quitting with 1,000 pending alarms: the alarms handed to the user's service manager as the
// quit does (the real notification centre and user timers), the last run's taken back
// first as at start-up (not timed). Against a fake `systemctl` that answers at once (our own
// side: the texts, 1,002 unit files, the two questions to the manager), and against the
// user's own systemd where one answers (the alarms are taken back after each run).
#include "alarms/Alarm.h"
#include "alarms/UsersNotificationManager.h"
#include "platform/UserTimers.h"
#include "support/FakeServiceManager.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDateTime>

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>

namespace {

using talvor::AlarmList;
using talvor::Date;
using talvor::ScheduleOutcome;
using talvor::UsersNotificationManager;

// Date alarms a minute apart from an hour from now on.
AlarmList pendingAlarms(int count) {
    const Date first =
        Date::fromUnix(static_cast<double>(QDateTime::currentSecsSinceEpoch() + 3600));
    AlarmList alarms;
    for (int i = 0; i < count; ++i) {
        auto a = talvor::Alarm::initWithTime(first.addingTimeInterval(60.0 * i),
                                             QStringLiteral("Alarm %1").arg(i + 1));
        a->setSelRowNo(1);
        a->setIsTimeWithDate(true);
        alarms.push_back(a);
    }
    return alarms;
}

void handOverAtQuit(benchmark::State& state, bool realManager) {
    // Our own settings folder: the hand-over's unit names follow it, never the user's copy's.
    const talvor::test::XdgSandbox sandbox;
    std::optional<talvor::test::FakeServiceManager> fake;
    if (!realManager) {
        fake.emplace();
    }
    if (!talvor::platform::UserTimers::shared().isAvailable()) {
        state.SkipWithError("no user service manager answers (systemctl --user)");
        return;
    }
    const AlarmList alarms = pendingAlarms(static_cast<int>(state.range(0)));
    int handedOver = 0;
    int calls = 0;
    for (auto _ : state) {
        state.PauseTiming();
        UsersNotificationManager::synchronizeWithAlarms({});  // as the start does
        if (fake) {
            fake->clearCalls();
        }
        state.ResumeTiming();
        const ScheduleOutcome outcome = UsersNotificationManager::synchronizeWithAlarms(alarms);
        state.PauseTiming();
        handedOver = outcome.scheduled;
        if (fake) {
            calls = static_cast<int>(fake->calls().size());
        }
        state.ResumeTiming();
    }
    UsersNotificationManager::synchronizeWithAlarms({});
    state.counters["handed_over"] = handedOver;
    if (fake) {
        state.counters["manager_calls"] = calls;
    }
}

void BM_QuitHandOver_FakeManager(benchmark::State& state) {
    handOverAtQuit(state, false);
}
BENCHMARK(BM_QuitHandOver_FakeManager)
    ->Arg(1000)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_QuitHandOver_UsersManager(benchmark::State& state) {
    handOverAtQuit(state, true);
}
BENCHMARK(BM_QuitHandOver_UsersManager)
    ->Arg(1000)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // The questions to the manager are processes, which want an application.
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
