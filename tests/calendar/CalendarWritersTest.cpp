// Other writers of the same calendar file: a second copy of the program and a sync tool that
// rewrites the file behind our back. Nothing either writes is lost, and no removal is
// reported done that did not land.
#include "calendar/ICalEvents.h"
#include "calendar/VdirCalendarStore.h"
#include "platform/AtomicFile.h"
#include "platform/Date.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

namespace talvor {
namespace {

constexpr qint64 kFirst = 1767258000;  // 2026-01-01 09:00 UTC
constexpr qint64 kDay = 86400;

struct SeriesFile {
    QTemporaryDir root;
    QString folder = root.path() + QStringLiteral("/work");
    QString path = folder + QStringLiteral("/standup.ics");
    QString eventId = path + QStringLiteral("#standup");

    SeriesFile() {
        QDir().mkpath(folder);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\n"
            "UID:standup\r\nDTSTART:20260101T090000Z\r\nDURATION:PT15M\r\n"
            "SUMMARY:Stand-up\r\nRRULE:FREQ=DAILY\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    }

    // The exclusions in the file now, as UTC seconds.
    std::set<qint64> exdates() const {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray bytes = f.readAll();
        const ical::CalendarData data = ical::readEvents({bytes.constData(), size_t(bytes.size())});
        std::set<qint64> out;
        if (!data.events.empty()) {
            for (const ical::EventTime& t : data.events.front().exdates) {
                out.insert(t.utc(*ical::ZoneRules::utc()));
            }
        }
        return out;
    }
};

// The occurrences a writer process reports it could not remove; a failure that does not say
// the calendar was busy (which a loaded machine may cause) fails the test.
std::set<qint64> failuresOf(QProcess& p) {
    EXPECT_TRUE(p.waitForFinished(120000));
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("removed ")))
        << lines.join(QLatin1Char('\n')).toStdString() << p.readAllStandardError().toStdString();
    std::set<qint64> out;
    for (const QString& line : lines.mid(1)) {
        if (line.isEmpty()) {
            continue;
        }
        EXPECT_TRUE(line.contains(QStringLiteral("Another program is changing this calendar")) ||
                    line.contains(QStringLiteral("keeps changing")))
            << line.toStdString();
        out.insert(line.section(QLatin1Char(' '), 1, 1).toLongLong());
    }
    return out;
}

void startWriter(QProcess& p, const SeriesFile& f, qint64 first, qint64 step, int count) {
    p.start(QStringLiteral(TALVOR_CALENDAR_WRITER),
            {f.root.path(), f.eventId, QString::number(first), QString::number(step),
             QString::number(count)});
    ASSERT_TRUE(p.waitForStarted());
}

TEST(CalendarWriters, TwoCopiesOfTheProgramLoseNoRemoval) {
    SeriesFile f;
    QProcess even;
    QProcess odd;
    startWriter(even, f, kFirst, 2 * kDay, 200);
    startWriter(odd, f, kFirst + kDay, 2 * kDay, 200);
    std::set<qint64> failed = failuresOf(even);
    failed.merge(failuresOf(odd));
    EXPECT_LT(failed.size(), 10U);
    std::set<qint64> expected;
    for (int i = 0; i < 400; ++i) {
        if (!failed.count(kFirst + i * kDay)) {
            expected.insert(kFirst + i * kDay);
        }
    }
    EXPECT_EQ(f.exdates(), expected);
}

// A sync tool that takes no lock and replaces the file by rename, each time from what it
// just read plus a line of its own: none of its lines may be taken out by our removals, and
// every removal reported done is in the file unless the tool's own rewrite took it out.
TEST(CalendarWriters, ASyncToolRewritingTheFileKeepsEveryEditOfIts) {
    SeriesFile f;
    std::atomic<bool> started{false};
    std::thread tool([&] {
        for (int i = 0; i < 200; ++i) {
            QFile in(f.path);
            in.open(QIODevice::ReadOnly);
            QByteArray bytes = in.readAll();
            in.close();
            bytes.replace("END:VEVENT", "X-TOOL-" + QByteArray::number(i) + ":1\r\nEND:VEVENT");
            ASSERT_TRUE(platform::writeFileAtomically(f.path, bytes));
            started = true;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    while (!started) {
        std::this_thread::yield();
    }
    QProcess writer;
    startWriter(writer, f, kFirst, kDay, 200);
    failuresOf(writer);
    tool.join();
    QFile in(f.path);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    int missing = 0;
    for (int i = 0; i < 200; ++i) {
        missing += bytes.contains("X-TOOL-" + QByteArray::number(i) + ":1") ? 0 : 1;
    }
    EXPECT_EQ(missing, 0) << "of the tool's 200 edits";
    EXPECT_TRUE(QDir(f.folder)
                    .entryList({QStringLiteral(".standup.ics.*")}, QDir::Files | QDir::Hidden)
                    .isEmpty());
}

}  // namespace
}  // namespace talvor
