#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <random>

namespace talvor::bench {

// Calendar folders under `root` (one per name, with its "displayname") holding `files` event
// files between them, one series each, like a person's synced calendars: mostly single
// meetings over 2024 and 2025, weekly series, multi-day all-day events, in a named zone and
// UTC. The same seed gives the same files.
inline void makeEventFolders(const QString& root, const QStringList& calendars, int files,
                             unsigned seed = 20250301) {
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (const QString& c : calendars) {
        QDir(root).mkpath(c);
        QFile name(root + QLatin1Char('/') + c + QStringLiteral("/displayname"));
        name.open(QIODevice::WriteOnly);
        name.write(c.toUtf8());
    }
    char body[512];
    for (int i = 0; i < files; ++i) {
        const int kind = pick(100);
        const int year = 2024 + pick(2);
        const int month = 1 + pick(12);
        const int day = 1 + pick(28);
        const int hour = 7 + pick(11);
        if (kind < 80) {
            std::snprintf(body, sizeof body,
                          "DTSTART;TZID=Europe/Berlin:%04d%02d%02dT%02d0000\r\n"
                          "DTEND;TZID=Europe/Berlin:%04d%02d%02dT%02d3000\r\n",
                          year, month, day, hour, year, month, day, hour);
        } else if (kind < 95) {
            std::snprintf(body, sizeof body,
                          "DTSTART:%04d%02d%02dT%02d0000Z\r\nDURATION:PT45M\r\n"
                          "RRULE:FREQ=WEEKLY;COUNT=%d\r\n",
                          year, month, day, hour, 10 + pick(80));
        } else {
            std::snprintf(body, sizeof body, "DTSTART;VALUE=DATE:%04d%02d%02d\r\nDURATION:P%dD\r\n",
                          year, month, day, 1 + pick(5));
        }
        const QString& calendar = calendars[pick(static_cast<int>(calendars.size()))];
        QFile file(root + QStringLiteral("/%1/event-%2.ics").arg(calendar).arg(i));
        file.open(QIODevice::WriteOnly);
        file.write(QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\n"
                                  "BEGIN:VEVENT\r\nUID:event-%1\r\nDTSTAMP:20250101T000000Z\r\n"
                                  "SUMMARY:Event %1\r\n")
                       .arg(i)
                       .toUtf8() +
                   body + "END:VEVENT\r\nEND:VCALENDAR\r\n");
    }
}

}  // namespace talvor::bench
