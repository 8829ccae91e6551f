// The floating clocks' per-second refresh with 50 clocks shown: dials, tool tips and the
// labels above them, formatters already made.
#include "foundation/PreferenceDomain.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "support/FakeClock.h"
#include "world/TalvorFloatingClockCtrl.h"
#include "world/WorldKeys.h"

#include <QApplication>
#include <QTimeZone>

#include <benchmark/benchmark.h>

namespace {

using namespace talvor;

LocationTable fiftyLocations() {
    const QList<QByteArray> zones = QTimeZone::availableTimeZoneIds();
    LocationTable table;
    for (qsizetype i = 0; table.size() < 50 && i < zones.size(); i += 7) {
        const QString zone = QString::fromLatin1(zones[i]);
        table.append(QVariant(QVariantList{QString(), zone.section(QLatin1Char('/'), -1), QString(),
                                           QStringLiteral("Land"), zone, QString(), QString(),
                                           QString(), QString(), QString(), true, true}));
    }
    return table;
}

void refreshFiftyClocks(benchmark::State& state) {
    platform::Preferences::install(
        std::make_unique<platform::MemoryPreferenceStore>(appTalvor4Prefs));
    platform::UserDefaults defaults(PreferenceDomain::store());
    PreferenceDomain::store().setValue(keys::Floater, QVariant(true));
    PreferenceDomain::store().setValue(
        keys::FloatingStates,
        QStringLiteral("Floating: 1 1 1 1 0 0 9 1 64.000 2.000 1.000 1 1 1 1 0 0 0 1 1"));
    test::FakeClock clock(Date::fromUnix(1741102830), QTimeZone("Europe/Paris"));
    TalvorFloatingClockCtrl clocks(clock, defaults, [](const QString&) {});
    clocks.LoadFloatingOptions();
    clocks.TimeZoneFloating(fiftyLocations());
    clocks.updateFoatingClockTime();
    for (auto _ : state) {
        clock.advance(1);
        clocks.updateFoatingClockTime();
    }
    state.counters["clocks"] = static_cast<double>(clocks.clocks().size());
    state.counters["formatters"] = clocks.formattersCreated();
    platform::Preferences::resetAll();
}
BENCHMARK(refreshFiftyClocks)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
