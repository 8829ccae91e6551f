// The calendar folders: listing, a month's occurrences, changes from outside, damaged files,
// writing and removing, and the access consent.
#include "calendar/CalSource.h"
#include "calendar/CalendarFileLoader.h"
#include "calendar/TalvorVCALENDAR.h"
#include "calendar/VdirCalendarStore.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"
#include "support/FakeClock.h"
#include "support/ScopedMachineZone.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

namespace talvor {
namespace {

using platform::RemoveScope;
using platform::StoreOccurrence;

Date berlin(const char* iso) {
    QDateTime t = QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
    t.setTimeZone(QTimeZone("Europe/Berlin"));
    return Date::fromQDateTime(t);
}

QString berlinText(Date date) {
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(date.timeIntervalSince1970()),
                                         QTimeZone("Europe/Berlin"))
        .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray vevents(const QByteArray& body) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n" + body + "END:VCALENDAR\r\n";
}

class CalendarStore : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        platform::Clock::setShared(&clock);
        previousSink = platform::setLogSink([this](const QString& line) { logLines << line; });
    }
    void TearDown() override {
        platform::setLogSink(previousSink);
        platform::Clock::setShared(nullptr);
    }
    QString folder(const QString& name) const { return root.path() + QLatin1Char('/') + name; }

    // "title start end" lines of the occurrences, on Berlin's wall clock.
    static std::vector<std::string> listed(const std::vector<StoreOccurrence>& list) {
        std::vector<std::string> out;
        for (const auto& o : list) {
            out.push_back((o.title + QLatin1Char(' ') + berlinText(o.start) +
                           QStringLiteral(" - ") + berlinText(o.end) +
                           (o.allDay ? QStringLiteral(" all-day") : QString()))
                              .toStdString());
        }
        return out;
    }

    // One event in March 2025 in "home", beside the files a test puts there.
    void writeGoodEvent() const {
        writeFile(folder("home/good.ics"),
                  vevents("BEGIN:VEVENT\r\nUID:good\r\nSUMMARY:Good\r\nDTSTART:"
                          "20250305T080000Z\r\nEND:VEVENT\r\n"));
    }
    static void expectOnlyTheGoodEvent(const VdirCalendarStore& store) {
        const auto list =
            store.events(berlin("2025-03-01T00:00:00"), berlin("2025-04-01T00:00:00"), {});
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].title, "Good");
    }

    test::ScopedMachineZone machine{"Europe/Berlin", "en_US"};
    test::FakeClock clock{berlin("2025-03-04T15:40:00"), QTimeZone("Europe/Berlin")};
    QTemporaryDir root;
    QStringList logLines;
    platform::LogSink previousSink;
};

TEST_F(CalendarStore, ListsEachFolderAsACalendarWithItsNameAndColour) {
    struct Case {
        const char* folder;
        QByteArray displayname, color;  // empty: no file
        const char* title;
        QColor expected;
    };
    const std::vector<Case> cases = {
        {"a-work", "Work\n", "#FF000080", "Work", QColor(255, 0, 0, 128)},  // RRGGBBAA
        {"b-home", "Home", "#00ff00\n", "Home", QColor(0, 255, 0)},
        {"c-plain", "", "", "c-plain", CalSource::defaultColor()},
        {"d-odd", "Odd\nsecond line", "not a colour", "Odd", CalSource::defaultColor()},
    };
    for (const Case& c : cases) {
        QDir().mkpath(folder(c.folder));
        if (!c.displayname.isEmpty()) {
            writeFile(folder(c.folder) + "/displayname", c.displayname);
        }
        if (!c.color.isEmpty()) {
            writeFile(folder(c.folder) + "/color", c.color);
        }
    }
    writeFile(folder("loose.ics"), vevents(""));  // a file at the root is no calendar

    VdirCalendarStore store({root.path()});
    const auto calendars = store.calendars();
    ASSERT_EQ(calendars.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].folder);
        EXPECT_EQ(calendars[i].identifier, QDir::cleanPath(folder(cases[i].folder)));
        EXPECT_EQ(calendars[i].title, cases[i].title);
        EXPECT_EQ(calendars[i].color, cases[i].expected);
        EXPECT_EQ(calendars[i].type, platform::StoreCalendar::Type::Local);
    }
}

TEST_F(CalendarStore, AFileAtTheRootIsNamedOnceWithWhereCalendarsGo) {
    QDir().mkpath(folder("home"));
    writeFile(folder("dropped.ics"), vevents(""));
    VdirCalendarStore store({root.path()});
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(store.calendars().size(), 1u);
    }
    const QString said =
        QStringLiteral(
            "%1 is not read: each calendar is a folder in %2; move "
            "the file into one")
            .arg(QDir::cleanPath(folder("dropped.ics")), QDir::cleanPath(root.path()));
    EXPECT_EQ(logLines.filter(said).size(), 1) << logLines.join(QLatin1Char('\n')).toStdString();
}

TEST_F(CalendarStore, ExpandsTheOccurrencesOfAMonth) {
    writeFile(
        folder("work/weekly.ics"),
        vevents("BEGIN:VEVENT\r\nUID:weekly\r\nSUMMARY:Stand-up\r\n"
                "DTSTART;TZID=Europe/Berlin:20250203T093000\r\nDTEND;TZID=Europe/"
                "Berlin:20250203T094500\r\n"
                "RRULE:FREQ=WEEKLY;BYDAY=MO\r\nEXDATE;TZID=Europe/"
                "Berlin:20250317T093000\r\nEND:VEVENT\r\n"
                "BEGIN:VEVENT\r\nUID:weekly\r\nRECURRENCE-ID;TZID=Europe/Berlin:20250310T093000\r\n"
                "SUMMARY:Stand-up (late)\r\nDTSTART;TZID=Europe/Berlin:20250310T110000\r\n"
                "DTEND;TZID=Europe/Berlin:20250310T111500\r\nEND:VEVENT\r\n"));
    writeFile(folder("work/trip.ics"),
              vevents("BEGIN:VEVENT\r\nUID:trip\r\nSUMMARY:Trip\r\nDTSTART;VALUE=DATE:20250312\r\n"
                      "DTEND;VALUE=DATE:20250315\r\nEND:VEVENT\r\n"));
    writeFile(folder("home/party.ics"),
              vevents("BEGIN:VEVENT\r\nUID:party\r\nSUMMARY:Party\r\nDTSTART:20250321T220000Z\r\n"
                      "DURATION:PT4H\r\nEND:VEVENT\r\n"));
    writeFile(
        folder("home/holiday.ics"),
        vevents(  // started in February, ends in March
            "BEGIN:VEVENT\r\nUID:holiday\r\nSUMMARY:Holiday\r\nDTSTART;VALUE=DATE:20250226\r\n"
            "DTEND;VALUE=DATE:20250303\r\nEND:VEVENT\r\n"));
    writeFile(folder("home/april.ics"),
              vevents("BEGIN:VEVENT\r\nUID:april\r\nSUMMARY:April\r\nDTSTART;VALUE=DATE:"
                      "20250401\r\nEND:VEVENT\r\n"));
    writeFile(folder("home/yearly.ics"),
              vevents(  // summer time from 30 March 2025
                  "BEGIN:VEVENT\r\nUID:yearly\r\nSUMMARY:Clocks\r\nDTSTART:20240331T080000\r\n"
                  "DTEND:20240331T090000\r\nRRULE:FREQ=YEARLY\r\nEND:VEVENT\r\n"));

    VdirCalendarStore store({root.path()});
    const auto march =
        store.events(berlin("2025-03-01T00:00:00"), berlin("2025-04-01T00:00:00"), {});
    const std::vector<std::string> expected = {
        "Holiday 2025-02-26 00:00 - 2025-03-03 00:00 all-day",
        "Stand-up 2025-03-03 09:30 - 2025-03-03 09:45",
        "Stand-up (late) 2025-03-10 11:00 - 2025-03-10 11:15",
        "Trip 2025-03-12 00:00 - 2025-03-15 00:00 all-day",
        "Stand-up 2025-03-24 09:30 - 2025-03-24 09:45",  // 17 March is excluded
        "Party 2025-03-21 23:00 - 2025-03-22 03:00",
        "Stand-up 2025-03-31 09:30 - 2025-03-31 09:45",
        "Clocks 2025-03-31 08:00 - 2025-03-31 09:00",  // on the wall clock after the change
    };
    std::vector<std::string> sortedExpected = expected;
    std::vector<std::string> got = listed(march);
    std::sort(sortedExpected.begin(), sortedExpected.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, sortedExpected);
    for (size_t i = 1; i < march.size(); ++i) {
        EXPECT_LE(march[i - 1].start, march[i].start) << "in order of start";
    }
    const auto standUp = std::find_if(march.begin(), march.end(),
                                      [](const auto& o) { return o.title == "Stand-up"; });
    ASSERT_NE(standUp, march.end());
    EXPECT_TRUE(standUp->hasRecurrence);
    ASSERT_TRUE(standUp->occurrenceDate.has_value());
    EXPECT_EQ(*standUp->occurrenceDate, standUp->start);
    EXPECT_EQ(standUp->calendarId, QDir::cleanPath(folder("work")));

    // One calendar only.
    const auto home = store.events(berlin("2025-03-01T00:00:00"), berlin("2025-04-01T00:00:00"),
                                   {QDir::cleanPath(folder("home"))});
    EXPECT_EQ(home.size(), 3u);
    EXPECT_TRUE(logLines.isEmpty()) << logLines.join('\n').toStdString();
}

TEST_F(CalendarStore, AFileAddedOrChangedByHandShowsWithoutARestart) {
    writeFile(folder("home/displayname"), "Home");
    VdirCalendarStore store({root.path()});
    const Date from = berlin("2025-03-01T00:00:00");
    const Date to = berlin("2025-04-01T00:00:00");
    EXPECT_TRUE(store.events(from, to, {}).empty());

    QSignalSpy changed(&store, &platform::CalendarStore::changed);
    // The way a sync writes: a temporary name, then a rename into place.
    writeFile(folder("home/.new.tmp"),
              vevents("BEGIN:VEVENT\r\nUID:new\r\nSUMMARY:Dentist\r\nDTSTART:"
                      "20250305T080000Z\r\nEND:VEVENT\r\n"));
    ASSERT_TRUE(QFile::rename(folder("home/.new.tmp"), folder("home/new.ics")));
    ASSERT_TRUE(changed.wait(5000));
    ASSERT_EQ(listed(store.events(from, to, {})),
              std::vector<std::string>{"Dentist 2025-03-05 09:00 - 2025-03-05 09:00"});

    // An edit in place (no rename) is seen too.
    changed.clear();
    writeFile(
        folder("home/new.ics"),
        vevents("BEGIN:VEVENT\r\nUID:new\r\nSUMMARY:Dentist, moved\r\nDTSTART:20250306T080000Z\r\n"
                "END:VEVENT\r\n"));
    ASSERT_TRUE(changed.wait(5000)) << "an edit in place fires a change";
    EXPECT_EQ(listed(store.events(from, to, {})),
              std::vector<std::string>{"Dentist, moved 2025-03-06 09:00 - 2025-03-06 09:00"});

    // A new calendar folder, and a file in it.
    changed.clear();
    QDir().mkpath(folder("work"));
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_EQ(store.calendars().size(), 2u);
    changed.clear();
    writeFile(folder("work/w.ics"), vevents("BEGIN:VEVENT\r\nUID:w\r\nSUMMARY:Review\r\nDTSTART:"
                                            "20250307T080000Z\r\nEND:VEVENT\r\n"));
    ASSERT_TRUE(changed.wait(5000)) << "the new folder is watched too";
    EXPECT_EQ(store.events(from, to, {}).size(), 2u);
    EXPECT_EQ(store.keptFiles(), 2);

    // Removed files are forgotten, also when only their calendar is asked for.
    ASSERT_TRUE(QFile::remove(folder("home/new.ics")));
    EXPECT_TRUE(store.events(from, to, {QDir::cleanPath(folder("home"))}).empty());
    EXPECT_EQ(store.keptFiles(), 1);
    ASSERT_TRUE(QDir(folder("work")).removeRecursively());
    EXPECT_TRUE(store.events(from, to, {QDir::cleanPath(folder("home"))}).empty());
    EXPECT_EQ(store.keptFiles(), 0) << "and those of a calendar that went away";
}

// Sync tools and editors write files in place as often as they rename them into place.
TEST_F(CalendarStore, EditsInPlaceFireOneChangePerBurst) {
    const Date from = berlin("2025-03-01T00:00:00");
    const Date to = berlin("2025-04-01T00:00:00");
    auto event = [](const char* uid, const char* title, const char* day) {
        return vevents(QByteArray("BEGIN:VEVENT\r\nUID:") + uid + "\r\nSUMMARY:" + title +
                       "\r\nDTSTART;VALUE=DATE:202503" + day + "\r\nEND:VEVENT\r\n");
    };
    writeFile(folder("home/displayname"), "Home");
    writeFile(folder("home/a.ics"), event("a", "A", "03"));
    writeFile(folder("home/b.ics"), event("b", "B", "04"));
    VdirCalendarStore store({root.path()});
    QSignalSpy changed(&store, &platform::CalendarStore::changed);
    auto titles = [&] {
        std::vector<std::string> out;
        for (const auto& o : store.events(from, to, {})) {
            out.push_back(o.title.toStdString());
        }
        return out;
    };
    ASSERT_EQ(titles(), (std::vector<std::string>{"A", "B"}));

    struct Case {
        const char* name;
        std::function<void()> edit;
        std::vector<std::string> titles;  // afterwards
        const char* calendarTitle;
    };
    auto overwrite = [&](const char* name, const QByteArray& bytes) {
        QFile file(folder(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));  // no truncation: the same inode
        file.write(bytes);
        file.resize(bytes.size());
    };
    auto append = [&](const char* name, const QByteArray& bytes) {
        QFile file(folder(name));
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(bytes);
    };
    const std::vector<Case> cases = {
        {"rewritten in place",
         [&] { overwrite("home/a.ics", event("a", "A2", "03")); },
         {"A2", "B"},
         "Home"},
        {"appended to",
         [&] {
             append("home/b.ics",
                    "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:c\r\nSUMMARY:C\r\n"
                    "DTSTART;VALUE=DATE:20250305\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
         },
         {"A2", "B", "C"},
         "Home"},
        {"replaced by a rename",
         [&] {
             writeFile(folder("home/.a.tmp"), event("a", "A3", "03"));
             // Over the old file, as a sync does (QFile::rename would refuse).
             ASSERT_EQ(std::rename(QFile::encodeName(folder("home/.a.tmp")).constData(),
                                   QFile::encodeName(folder("home/a.ics")).constData()),
                       0);
         },
         {"A3", "B", "C"},
         "Home"},
        {"then edited in place: the watch follows the new file",
         [&] { overwrite("home/a.ics", event("a", "A4", "03")); },
         {"A4", "B", "C"},
         "Home"},
        {"rewritten in place keeping its size and time stamp, as rsync does",
         [&] {
             const QDateTime stamp = QFileInfo(folder("home/a.ics")).lastModified();
             overwrite("home/a.ics", event("a", "A5", "03"));
             QFile file(folder("home/a.ics"));
             ASSERT_TRUE(file.open(QIODevice::ReadWrite));  // setFileTime needs it open
             ASSERT_TRUE(file.setFileTime(stamp, QFileDevice::FileModificationTime));
         },
         {"A5", "B", "C"},
         "Home"},
        {"the calendar's name edited in place",
         [&] { overwrite("home/displayname", "Haus"); },
         {"A5", "B", "C"},
         "Haus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        changed.clear();
        c.edit();
        ASSERT_TRUE(changed.wait(5000));
        EXPECT_EQ(titles(), c.titles);
        ASSERT_EQ(store.calendars().size(), 1u);
        EXPECT_EQ(store.calendars()[0].title, c.calendarTitle);
    }

    // A sync rewriting many files in place reloads once, after the last.
    changed.clear();
    for (int i = 0; i < 5; ++i) {
        overwrite("home/a.ics", event("a", "A6", "03"));
        overwrite("home/b.ics", event("b", "B6", "04"));
    }
    ASSERT_TRUE(changed.wait(5000));
    QTest::qWait(600);
    EXPECT_EQ(changed.size(), 1);
    EXPECT_EQ(titles(), (std::vector<std::string>{"A6", "B6"}));
    EXPECT_TRUE(logLines.isEmpty()) << logLines.join('\n').toStdString();
}

TEST_F(CalendarStore, DamagedFilesAreSkippedWithOneLineAndNeverRewritten) {
    writeGoodEvent();
    const std::vector<std::pair<QString, QByteArray>> damaged = {
        {"home/binary.ics", QByteArray("\x00\xff\xfe garbage \x01", 14)},
        {"home/cut.ics", "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:cut\r\nSUMMARY:Cut\r\n"},
        {"home/nodate.ics",
         vevents("BEGIN:VEVENT\r\nUID:nodate\r\nSUMMARY:No date\r\nEND:VEVENT\r\n")},
    };
    for (const auto& [name, bytes] : damaged) {
        writeFile(folder(name), bytes);
    }
    VdirCalendarStore store({root.path()});
    for (int load = 0; load < 2; ++load) {
        expectOnlyTheGoodEvent(store);
    }
    EXPECT_EQ(logLines.size(), static_cast<qsizetype>(damaged.size()))
        << "one line per damaged file, not per load: " << logLines.join('\n').toStdString();
    for (const auto& [name, bytes] : damaged) {
        EXPECT_EQ(readFile(folder(name)), bytes) << name.toStdString();
        EXPECT_TRUE(logLines.join('\n').contains(name)) << name.toStdString();
    }

    // Removing from a damaged file is refused and leaves it as it is.
    StoreOccurrence cut;
    cut.eventId = folder("home/cut.ics") + "#cut";
    EXPECT_TRUE(store.removeEvent(cut, RemoveScope::All).has_value());
    EXPECT_EQ(readFile(folder("home/cut.ics")), damaged[1].second);
}

// Files a calendar folder may hold by accident or malice: a link to /dev/zero, a FIFO, a
// huge sparse file, a FIFO for a name. None is read (nothing hangs or fills memory), each is
// named once in the log, and the rest of the calendar shows.
TEST_F(CalendarStore, SpecialAndHugeFilesAreRefusedWithOneLineEach) {
    writeGoodEvent();
    ASSERT_EQ(::symlink("/dev/zero", QFile::encodeName(folder("home/zero.ics")).constData()), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder("home/fifo.ics")).constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder("home/displayname")).constData(), 0600), 0);
    {
        QFile huge(folder("home/huge.ics"));
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        ASSERT_TRUE(huge.resize(65LL * 1024 * 1024));
    }
    VdirCalendarStore store({root.path()});
    for (int load = 0; load < 2; ++load) {
        expectOnlyTheGoodEvent(store);
        EXPECT_TRUE(store.todos({}).empty());
        ASSERT_EQ(store.calendars().size(), 1u);
        EXPECT_EQ(store.calendars()[0].title, "home");
    }
    const QString log = logLines.join('\n');
    for (const char* name : {"zero.ics", "huge.ics"}) {
        EXPECT_EQ(log.count(QLatin1String(name)), 1) << name << "\n" << log.toStdString();
    }
    EXPECT_LE(log.count(QLatin1String("fifo.ics")), 1) << log.toStdString();
}

// An export of 100,000 single events in one file (17 MB): read off the windows' thread, the
// store showing nothing of it at first rather than making the caller wait, then every event
// of the month once it is read. Matching each event against every other (to find a series'
// overrides) took hours on such a file.
TEST_F(CalendarStore, AHugeExportIsReadInTheBackground) {
    QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n";
    int inMarch = 0;
    const QDate first(2024, 1, 1);
    for (int i = 0; i < 100000; ++i) {
        const QDate day = first.addDays((i * 7919) % 731);
        inMarch += day.year() == 2025 && day.month() == 3 ? 1 : 0;
        text += "BEGIN:VEVENT\r\nUID:ev-" + QByteArray::number(i) +
                "@export\r\nDTSTAMP:20240101T000000Z\r\nDTSTART:" +
                day.toString(QStringLiteral("yyyyMMdd")).toLatin1() +
                "T100000Z\r\nDURATION:PT30M\r\nSUMMARY:Exported event " + QByteArray::number(i) +
                "\r\nEND:VEVENT\r\n";
    }
    writeFile(folder("home/export.ics"), text + "END:VCALENDAR\r\n");
    writeGoodEvent();
    const Date from = berlin("2025-03-01T00:00:00");
    const Date to = berlin("2025-04-01T00:00:00");

    VdirCalendarStore store({root.path()});
    QSignalSpy changed(&store, &platform::CalendarStore::changed);
    EXPECT_TRUE(store.events(from, to, {}).empty()) << "nothing is read on the caller's thread";
    EXPECT_TRUE(store.loading());
    store.waitUntilLoaded();
    EXPECT_FALSE(changed.isEmpty()) << "the windows hear that more is there";
    EXPECT_EQ(store.events(from, to, {}).size(), static_cast<size_t>(inMarch) + 1);

    // Gone while loading: it stops after the file in hand, however much is left.
    auto another = std::make_unique<VdirCalendarStore>(QStringList{root.path()});
    another->events(from, to, {});
    EXPECT_TRUE(another->loading());
    another.reset();
}

TEST_F(CalendarStore, SavedEventsReadBackAndRemoveByScope) {
    QDir().mkpath(folder("home"));
    VdirCalendarStore store({root.path()});
    const QString home = QDir::cleanPath(folder("home"));
    platform::NewStoreEvent weekly;
    weekly.calendarId = home;
    weekly.title = QStringLiteral(
        "Choir; tenors, basses\nand a very long title that goes on past "
        "the width of one content line — with ünïcödé");
    weekly.notes = QStringLiteral("Bring the score");
    weekly.start = berlin("2025-03-04T19:00:00");
    weekly.end = berlin("2025-03-04T21:00:00");
    weekly.recurrence = platform::StoreFrequency::Weekly;
    weekly.alarmOffset = -900;
    const auto savedWeekly = store.saveEvent(weekly);
    ASSERT_TRUE(savedWeekly.ok()) << savedWeekly.error->toStdString();

    platform::NewStoreEvent trip;
    trip.calendarId = home;
    trip.title = QStringLiteral("Trip");
    trip.start = berlin("2025-03-12T00:00:00");
    trip.end = berlin("2025-03-15T00:00:00");
    trip.allDay = true;
    ASSERT_TRUE(store.saveEvent(trip).ok());

    platform::NewStoreEvent nowhere = trip;
    nowhere.calendarId = folder("missing");
    EXPECT_FALSE(store.saveEvent(nowhere).ok());

    const Date from = berlin("2025-03-01T00:00:00");
    const Date to = berlin("2025-04-01T00:00:00");
    auto list = store.events(from, to, {});
    ASSERT_EQ(list.size(), 5u);  // four Tuesdays and the trip
    EXPECT_EQ(list[0].title, weekly.title);
    EXPECT_EQ(list[0].notes, weekly.notes);
    EXPECT_EQ(list[0].start, weekly.start);
    EXPECT_EQ(list[0].end, weekly.end);
    EXPECT_EQ(listed({list[2]}),
              std::vector<std::string>{"Trip 2025-03-12 00:00 - 2025-03-15 00:00 all-day"});

    const QStringList files = QDir(home).entryList({"*.ics"}, QDir::Files);
    ASSERT_EQ(files.size(), 2);
    for (const QString& name : files) {
        const QByteArray text = readFile(home + "/" + name);
        for (const QByteArray& line : text.split('\n')) {
            EXPECT_LE(line.size(), 76) << "folded: " << line.toStdString();
        }
    }

#ifdef TALVOR_LIBICAL_PEER
    QProcess peer;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TZ", "Europe/Berlin");
    peer.setProcessEnvironment(env);
    QStringList args{"--from", "2025-03-01T00:00:00Z", "--to", "2025-04-01T00:00:00Z"};
    for (const QString& name : files) {
        args << home + "/" + name;
    }
    peer.start(QStringLiteral(TALVOR_LIBICAL_PEER), args);
    ASSERT_TRUE(peer.waitForFinished(30000));
    const QJsonObject cases =
        QJsonDocument::fromJson(peer.readAllStandardOutput()).object().value("cases").toObject();
    ASSERT_EQ(cases.size(), 2);
    QStringList summaries;
    for (const QJsonValue& c : cases) {
        const QJsonObject report = c.toObject();
        EXPECT_TRUE(report.value("error").isNull())
            << report.value("error").toString().toStdString();
        const QJsonObject event = report.value("events").toArray().at(0).toObject();
        summaries << event.value("summary").toString();
        if (event.value("all_day").toBool()) {
            EXPECT_EQ(event.value("start").toString(), "2025-03-12");
            EXPECT_EQ(event.value("end").toString(), "2025-03-15");
        } else {
            EXPECT_EQ(event.value("description").toString(), weekly.notes);
            EXPECT_EQ(event.value("occurrences").toArray().size(), 4);
            EXPECT_EQ(event.value("start").toString(), "2025-03-04T18:00:00Z");
        }
    }
    summaries.sort();
    EXPECT_EQ(summaries, QStringList({weekly.title, trip.title}));
#endif

    // This occurrence only, then this and the following ones, then the whole series.
    auto tuesdays = [&] {
        std::vector<StoreOccurrence> out;
        for (const auto& o : store.events(from, to, {})) {
            if (o.hasRecurrence) {
                out.push_back(o);
            }
        }
        return out;
    };
    ASSERT_EQ(tuesdays().size(), 4u);
    EXPECT_EQ(store.removeEvent(tuesdays()[1], RemoveScope::ThisEvent), std::nullopt);
    auto left = tuesdays();
    ASSERT_EQ(left.size(), 3u);
    EXPECT_EQ(berlinText(left[1].start), "2025-03-18 19:00");
    EXPECT_EQ(store.removeEvent(left[1], RemoveScope::ThisAndFuture), std::nullopt);
    left = tuesdays();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(berlinText(left[0].start), "2025-03-04 19:00");
    EXPECT_EQ(store.removeEvent(left[0], RemoveScope::All), std::nullopt);
    EXPECT_TRUE(tuesdays().empty());
    EXPECT_EQ(QDir(home).entryList({"*.ics"}, QDir::Files).size(), 1) << "the series' file is gone";
    EXPECT_TRUE(logLines.isEmpty()) << logLines.join('\n').toStdString();
}

TEST_F(CalendarStore, AccessIsAskedOnceAndKept) {
    platform::MemoryPreferenceStore prefs{QStringLiteral("test")};
    platform::UserDefaults defaults{prefs};
    VdirCalendarStore store({root.path()});
    store.setDefaults(&defaults);
    int asked = 0;
    bool answer = false;
    platform::CalendarStore::setConsentPrompt([&](std::function<void(bool)> reply) {
        ++asked;
        reply(answer);
    });
    struct Result {
        bool granted = false;
        std::optional<QString> text;
    };
    auto request = [&] {
        Result r;
        store.requestAccess([&](bool granted, std::optional<QString> text) {
            r = {granted, std::move(text)};
        });
        return r;
    };
    EXPECT_EQ(store.authorizationStatus(), platform::CalendarAccess::NotDetermined);
    Result refused = request();
    EXPECT_FALSE(refused.granted);
    EXPECT_TRUE(refused.text.has_value());
    EXPECT_EQ(store.authorizationStatus(), platform::CalendarAccess::Denied);
    answer = true;
    EXPECT_FALSE(request().granted) << "a refusal is kept, not asked again";
    EXPECT_EQ(asked, 1);

    platform::CalendarStore::setAuthorizationStatus(defaults,
                                                    platform::CalendarAccess::NotDetermined);
    EXPECT_TRUE(request().granted);
    EXPECT_EQ(store.authorizationStatus(), platform::CalendarAccess::Authorized);
    EXPECT_TRUE(request().granted);
    EXPECT_EQ(asked, 2);

    platform::CalendarStore::setConsentPrompt(nullptr);
    platform::CalendarStore::setAuthorizationStatus(defaults,
                                                    platform::CalendarAccess::NotDetermined);
    EXPECT_FALSE(request().granted) << "no way to ask: refused";
}

TEST_F(CalendarStore, RootsComeFromTheSettingsAndAnEmptyRootGetsACalendar) {
    platform::MemoryPreferenceStore prefs{QStringLiteral("test")};
    platform::UserDefaults defaults{prefs};
    const QString standard = TalvorVCALENDAR::TalvorLoadVCALPath();
    EXPECT_EQ(VdirCalendarStore::configuredRoots(defaults), QStringList{standard});
    defaults.setObject(QVariantList{folder("synced"), standard, folder("synced/"), QString()},
                       QStringLiteral("CalendarFolders"));
    EXPECT_EQ(VdirCalendarStore::configuredRoots(defaults),
              QStringList({standard, QDir::cleanPath(folder("synced"))}))
        << "the standard folder first, no repeats, no empty paths";

    VdirCalendarStore fresh({folder("fresh")});
    fresh.ensureDefaultCalendar();
    auto calendars = fresh.calendars();
    ASSERT_EQ(calendars.size(), 1u);
    EXPECT_EQ(calendars[0].title, "Personal");
    fresh.ensureDefaultCalendar();
    EXPECT_EQ(fresh.calendars().size(), 1u) << "made once";

    QDir().mkpath(folder("used/work"));
    VdirCalendarStore used({folder("used")});
    used.ensureDefaultCalendar();
    ASSERT_EQ(used.calendars().size(), 1u);
    EXPECT_EQ(used.calendars()[0].title, "work") << "a root with calendars is left alone";
}

TEST_F(CalendarStore, RemovalByScopeOnHandWrittenFiles) {
    const QByteArray dailyAllDay = vevents(
        "BEGIN:VEVENT\r\nUID:walk\r\nSUMMARY:Walk\r\nDTSTART;VALUE=DATE:20250310\r\n"
        "RRULE:FREQ=DAILY;COUNT=5\r\nEND:VEVENT\r\n");
    const QByteArray twoSeries = vevents(
        "BEGIN:VEVENT\r\nUID:a\r\nSUMMARY:A\r\nDTSTART:20250305T080000Z\r\n"
        "RRULE:FREQ=WEEKLY\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:b\r\nSUMMARY:B\r\nDTSTART:20250306T080000Z\r\nEND:VEVENT\r\n");
    struct Case {
        const char* name;
        QByteArray text;
        const char* title;  // of the occurrence removed
        int index;          // its place among that title's occurrences
        RemoveScope scope;
        std::vector<std::string> left;  // titles and days left in March
        bool fileKept;
    };
    const std::vector<Case> cases = {
        {"all-day, one day",
         dailyAllDay,
         "Walk",
         2,
         RemoveScope::ThisEvent,
         {"Walk 10", "Walk 11", "Walk 13", "Walk 14"},
         true},
        {"all-day, from a day on",
         dailyAllDay,
         "Walk",
         2,
         RemoveScope::ThisAndFuture,
         {"Walk 10", "Walk 11"},
         true},
        {"from the first on is all", dailyAllDay, "Walk", 0, RemoveScope::ThisAndFuture, {}, false},
        {"one series of two", twoSeries, "A", 1, RemoveScope::All, {"B 06"}, true},
        {"single event of two",
         twoSeries,
         "B",
         0,
         RemoveScope::ThisEvent,
         {"A 05", "A 12", "A 19", "A 26"},
         true},
    };
    const Date from = berlin("2025-03-01T00:00:00");
    const Date to = berlin("2025-04-01T00:00:00");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folder("cal")).removeRecursively();
        writeFile(folder("cal/file.ics"), c.text);
        VdirCalendarStore store({root.path()});
        std::vector<StoreOccurrence> mine;
        for (const auto& o : store.events(from, to, {})) {
            if (o.title == QLatin1String(c.title)) {
                mine.push_back(o);
            }
        }
        ASSERT_GT(mine.size(), static_cast<size_t>(c.index));
        ASSERT_EQ(store.removeEvent(mine[c.index], c.scope), std::nullopt);
        std::vector<std::string> left;
        for (const auto& o : store.events(from, to, {})) {
            left.push_back(o.title.toStdString() + " " +
                           berlinText(o.start).mid(8, 2).toStdString());
        }
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(QFile::exists(folder("cal/file.ics")), c.fileKept);
    }
    EXPECT_TRUE(logLines.isEmpty()) << logLines.join('\n').toStdString();
}

// Ending a series at an occurrence also takes off its later moved occurrences (by the
// occurrence they replace) and its later RDATEs and EXDATEs; earlier ones stay.
TEST_F(CalendarStore, EndingASeriesDropsItsLaterOverridesAndDates) {
    struct Case {
        const char* name;
        QByteArray text;
        const char* title;                   // of the occurrence removed from on
        int index;                           // its place among that title's occurrences
        std::vector<std::string> left;       // titles and days left in March
        std::vector<QByteArray> gone, kept;  // text no longer in the file, and still in it
    };
    const std::vector<Case> cases = {
        {"zoned weekly series",
         vevents("BEGIN:VEVENT\r\nUID:s\r\nSUMMARY:S\r\n"
                 "DTSTART;TZID=Europe/Berlin:20250303T093000\r\nRRULE:FREQ=WEEKLY\r\n"
                 "RDATE;TZID=Europe/Berlin:20250312T120000,20250326T120000\r\n"
                 "EXDATE;TZID=Europe/Berlin:20250331T093000\r\nEND:VEVENT\r\n"
                 // moved from before the cut to after it: stays
                 "BEGIN:VEVENT\r\nUID:s\r\nRECURRENCE-ID;TZID=Europe/Berlin:20250310T093000\r\n"
                 "SUMMARY:S early\r\nDTSTART;TZID=Europe/Berlin:20250325T100000\r\nEND:VEVENT\r\n"
                 // moved from after the cut to before it: goes
                 "BEGIN:VEVENT\r\nUID:s\r\nRECURRENCE-ID;TZID=Europe/Berlin:20250324T093000\r\n"
                 "SUMMARY:S late\r\nDTSTART;TZID=Europe/Berlin:20250314T100000\r\nEND:VEVENT\r\n"
                 "BEGIN:VEVENT\r\nUID:other\r\nSUMMARY:Other\r\nDTSTART:20250320T080000Z\r\n"
                 "END:VEVENT\r\n"),
         "S",
         2,  // 3, 12 (RDATE), 17
         {"S 03", "S 12", "Other 20", "S early 25"},
         {"20250324", "20250326", "20250331", "EXDATE"},
         {"RDATE;TZID=Europe/Berlin:20250312T120000\r\n", "UNTIL=20250317T082959Z\r\n",
          "20250310T093000", "UID:other"}},
        {"all-day series",
         vevents("BEGIN:VEVENT\r\nUID:w\r\nSUMMARY:Walk\r\nDTSTART;VALUE=DATE:20250310\r\n"
                 "RRULE:FREQ=DAILY;COUNT=10\r\nEXDATE;VALUE=DATE:20250311\r\n"
                 "RDATE;VALUE=DATE:20250325\r\nEND:VEVENT\r\n"
                 "BEGIN:VEVENT\r\nUID:w\r\nRECURRENCE-ID;VALUE=DATE:20250315\r\n"
                 "SUMMARY:Walk moved\r\nDTSTART;VALUE=DATE:20250308\r\nEND:VEVENT\r\n"),
         "Walk",
         2,  // 10, 12, 13
         {"Walk 10", "Walk 12"},
         {"20250315", "20250308", "RDATE", "COUNT"},
         {"EXDATE;VALUE=DATE:20250311\r\n", "UNTIL=20250312\r\n"}},
        {"floating series of dates only",
         vevents("BEGIN:VEVENT\r\nUID:r\r\nSUMMARY:R\r\nDTSTART:20250303T180000\r\n"
                 "RDATE:20250310T180000,20250317T180000,20250324T180000\r\nEND:VEVENT\r\n"),
         "R",
         2,
         {"R 03", "R 10"},
         {"20250317", "20250324", "RRULE"},
         {"RDATE:20250310T180000\r\n"}},
        {"from a moved occurrence on",
         vevents("BEGIN:VEVENT\r\nUID:a\r\nSUMMARY:A\r\nDTSTART:20250305T080000Z\r\n"
                 "RRULE:FREQ=WEEKLY\r\nEND:VEVENT\r\n"
                 "BEGIN:VEVENT\r\nUID:a\r\nRECURRENCE-ID:20250319T080000Z\r\n"
                 "SUMMARY:A moved\r\nDTSTART:20250320T080000Z\r\nEND:VEVENT\r\n"),
         "A moved",
         0,
         {"A 05", "A 12"},
         {"RECURRENCE-ID", "A moved"},
         {"RRULE:FREQ=WEEKLY;UNTIL=20250319T075959Z\r\n"}},
    };
    const Date from = berlin("2025-03-01T00:00:00");
    const Date to = berlin("2025-04-01T00:00:00");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folder("cal")).removeRecursively();
        writeFile(folder("cal/file.ics"), c.text);
        VdirCalendarStore store({root.path()});
        std::vector<StoreOccurrence> mine;
        for (const auto& o : store.events(from, to, {})) {
            if (o.title == QLatin1String(c.title)) {
                mine.push_back(o);
            }
        }
        ASSERT_GT(mine.size(), static_cast<size_t>(c.index));
        ASSERT_EQ(store.removeEvent(mine[c.index], RemoveScope::ThisAndFuture), std::nullopt);
        std::vector<std::string> left;
        for (const auto& o : store.events(from, to, {})) {
            left.push_back(o.title.toStdString() + " " +
                           berlinText(o.start).mid(8, 2).toStdString());
        }
        EXPECT_EQ(left, c.left);
        const QByteArray text = readFile(folder("cal/file.ics"));
        for (const QByteArray& gone : c.gone) {
            EXPECT_FALSE(text.contains(gone)) << gone.toStdString() << " in\n"
                                              << text.toStdString();
        }
        for (const QByteArray& kept : c.kept) {
            EXPECT_TRUE(text.contains(kept)) << kept.toStdString() << " not in\n"
                                             << text.toStdString();
        }
    }
    EXPECT_TRUE(logLines.isEmpty()) << logLines.join('\n').toStdString();
}

// A series' end and its excluded occurrences are written in the form of its start, and read
// back: a floating series keeps its wall-clock end when the calendar is shown in another zone.
TEST_F(CalendarStore, SeriesEndsAndExclusionsTakeTheFormOfTheStart) {
    struct Case {
        const char* name;
        const char* start;   // the DTSTART line of a daily series from 3 March
        const char* rule;    // the RRULE line after removing from 5 March on
        const char* exdate;  // the EXDATE line after removing 4 March
    };
    const std::vector<Case> cases = {
        {"date", "DTSTART;VALUE=DATE:20250303", "RRULE:FREQ=DAILY;UNTIL=20250304",
         "EXDATE;VALUE=DATE:20250304"},
        {"floating", "DTSTART:20250303T090000", "RRULE:FREQ=DAILY;UNTIL=20250305T085959",
         "EXDATE:20250304T090000"},
        {"zoned", "DTSTART;TZID=America/New_York:20250303T090000",
         "RRULE:FREQ=DAILY;UNTIL=20250305T135959Z", "EXDATE:20250304T140000Z"},
        {"UTC", "DTSTART:20250303T090000Z", "RRULE:FREQ=DAILY;UNTIL=20250305T085959Z",
         "EXDATE:20250304T090000Z"},
    };
    const Date from = berlin("2025-02-01T00:00:00");
    const Date to = berlin("2025-05-01T00:00:00");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clock.setZone(QTimeZone("Europe/Berlin"));
        QDir(folder("cal")).removeRecursively();
        writeFile(folder("cal/file.ics"),
                  vevents(QByteArray("BEGIN:VEVENT\r\nUID:d\r\nSUMMARY:D\r\n") + c.start +
                          "\r\nRRULE:FREQ=DAILY;COUNT=10\r\nEND:VEVENT\r\n"));
        VdirCalendarStore store({root.path()});
        auto occurrences = store.events(from, to, {});
        ASSERT_EQ(occurrences.size(), 10u);
        ASSERT_EQ(store.removeEvent(occurrences[2], RemoveScope::ThisAndFuture), std::nullopt);
        ASSERT_EQ(store.removeEvent(occurrences[1], RemoveScope::ThisEvent), std::nullopt);
        QStringList lines;
        for (const QByteArray& line : readFile(folder("cal/file.ics")).split('\n')) {
            lines << QString::fromUtf8(line).trimmed();
        }
        EXPECT_TRUE(lines.contains(c.rule)) << lines.join('\n').toStdString();
        EXPECT_TRUE(lines.contains(c.exdate)) << lines.join('\n').toStdString();

#ifdef TALVOR_LIBICAL_PEER
        {  // another reader agrees
            QProcess peer;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("TZ", "Europe/Berlin");
            peer.setProcessEnvironment(env);
            peer.start(QStringLiteral(TALVOR_LIBICAL_PEER),
                       {"--from", "2025-02-01T00:00:00Z", "--to", "2025-05-01T00:00:00Z",
                        folder("cal/file.ics")});
            ASSERT_TRUE(peer.waitForFinished(30000));
            const QJsonObject report = QJsonDocument::fromJson(peer.readAllStandardOutput())
                                           .object()
                                           .value("cases")
                                           .toObject()
                                           .begin()
                                           ->toObject();
            EXPECT_TRUE(report.value("error").isNull())
                << report.value("error").toString().toStdString();
            EXPECT_EQ(report.value("events")
                          .toArray()
                          .at(0)
                          .toObject()
                          .value("occurrences")
                          .toArray()
                          .size(),
                      1);
        }
#endif
        for (const char* zone : {"Europe/Berlin", "Asia/Tokyo", "America/Los_Angeles"}) {
            SCOPED_TRACE(zone);
            clock.setZone(QTimeZone(zone));
            occurrences = store.events(from, to, {});
            EXPECT_EQ(occurrences.size(), 1u) << "the first day only";
        }
    }
    EXPECT_TRUE(logLines.isEmpty()) << logLines.join('\n').toStdString();
}

}  // namespace
}  // namespace talvor

namespace talvor {
namespace {

int threadsOfThisProcess() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/task"))
                                .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                                .size());
}

}  // namespace

// The loader is made at start-up for every user, most with no calendar files: it starts its
// threads with the first files to read, and reads each file it is given once.
TEST(CalendarFileLoaderThreads, StartWithTheFirstFilesAndReadEachOnce) {
    const int before = threadsOfThisProcess();
    CalendarFileLoader loader;
    EXPECT_LE(threadsOfThisProcess(), before);

    QTemporaryDir dir;
    std::vector<CalendarFileLoader::Job> jobs;
    for (int i = 0; i < 12; ++i) {
        const QString path = dir.filePath(QStringLiteral("e%1.ics").arg(i));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:x" +
                   QByteArray::number(i) +
                   "\r\nDTSTART:20261211T100000Z\r\nSUMMARY:s\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        jobs.push_back({path, static_cast<quint64>(i)});
    }
    std::vector<quint64> tickets;
    QObject::connect(&loader, &CalendarFileLoader::loaded,
                     [&](const std::vector<CalendarFileLoader::Result>& batch) {
                         for (const auto& r : batch) {
                             EXPECT_EQ(r.file->data.events.size(), 1U);
                             tickets.push_back(r.job.ticket);
                         }
                     });
    loader.load(jobs);
    EXPECT_GT(threadsOfThisProcess(), before);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tickets.size() >= jobs.size(); }, 5000));
    std::sort(tickets.begin(), tickets.end());
    EXPECT_EQ(tickets, (std::vector<quint64>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    // A second round while the workers wait is read by them.
    loader.load({jobs.front()});
    ASSERT_TRUE(QTest::qWaitFor([&] { return tickets.size() == jobs.size() + 1; }, 5000));
}

}  // namespace talvor
