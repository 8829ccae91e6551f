// A second copy of the program's calendar writing, for the tests of writers side by side:
//   calendar_store_writer ROOT EVENT-ID FIRST-UNIX STEP-SECONDS COUNT
// removes COUNT single occurrences of the series EVENT-ID (FIRST-UNIX, then every
// STEP-SECONDS) and prints "removed N failed M", then "failed <unix> <message>" for each
// failure.
#include "calendar/VdirCalendarStore.h"
#include "platform/Date.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s ROOT EVENT-ID FIRST-UNIX STEP-SECONDS COUNT\n", argv[0]);
        return 2;
    }
    talvor::VdirCalendarStore store({QString::fromLocal8Bit(argv[1])});
    const QString eventId = QString::fromLocal8Bit(argv[2]);
    const qint64 first = QByteArray(argv[3]).toLongLong();
    const qint64 step = QByteArray(argv[4]).toLongLong();
    const int count = QByteArray(argv[5]).toInt();
    int removed = 0;
    QStringList failures;
    for (int i = 0; i < count; ++i) {
        talvor::platform::StoreOccurrence o;
        o.eventId = eventId;
        o.hasRecurrence = true;
        o.occurrenceDate = talvor::Date::fromUnix(static_cast<double>(first + i * step));
        if (const auto error = store.removeEvent(o, talvor::platform::RemoveScope::ThisEvent)) {
            failures << QStringLiteral("failed %1 %2").arg(first + i * step).arg(*error);
        } else {
            ++removed;
        }
    }
    std::printf("removed %d failed %d\n", removed, static_cast<int>(failures.size()));
    for (const QString& f : failures) {
        std::printf("%s\n", qPrintable(f));
    }
    return 0;
}
