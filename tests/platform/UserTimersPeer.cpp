// Hands `<count>` commands over under `<group>` through the real user timers, as a quit
// does, the first due at the Unix time `<first>` and the others a minute apart: for the
// tests that kill a hand-over half-way.
#include "platform/UserTimers.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        return 2;
    }
    using talvor::platform::UserTimers;
    const talvor::Date first = talvor::Date::fromUnix(args[3].toDouble());
    std::vector<UserTimers::Timer> timers;
    for (int i = 0; i < args[2].toInt(); ++i) {
        timers.push_back({first.addingTimeInterval(60.0 * i),
                          {QStringLiteral("/bin/echo"), QStringLiteral("command %1").arg(i)}});
    }
    UserTimers& shared = UserTimers::shared();
    if (!shared.isAvailable()) {
        return 3;
    }
    return shared.handOver(args[1], timers).notTaken.empty() ? 0 : 1;
}
