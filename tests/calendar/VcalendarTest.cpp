// The dictionary view of iCalendar text and the Recurrence text object.
#include "calendar/Recurrence.h"
#include "calendar/TalvorVCALENDAR.h"
#include "platform/Clock.h"
#include "support/FakeClock.h"
#include "support/ScopedMachineZone.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using namespace TalvorVCALENDAR;

class Vcalendar : public ::testing::Test {
  protected:
    void SetUp() override { platform::Clock::setShared(&clock); }
    void TearDown() override { platform::Clock::setShared(nullptr); }
    test::ScopedMachineZone machine{"UTC", "en_US"};
    test::FakeClock clock{Date::fromUnix(1715774400), QTimeZone("Europe/Berlin")};
};

QVariantMap firstEvent(const QVariantList& lists) {
    return lists.at(2).toList().value(0).toMap();
}

TEST_F(Vcalendar, ComponentsBecomeDictionaries) {
    const QVariantList lists = arrayFromVCALENDAR(QStringLiteral(
        "BEGIN:VCALENDAR\r\nX-WR-CALNAME:Home\r\n"
        "BEGIN:VEVENT\r\nSUMMARY;LANGUAGE=en:New\r\n  Year\\, again\r\n"
        "DTSTART;VALUE=DATE:20240105\r\nEXDATE:20240106\r\nEXDATE:20240107\r\n"
        "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\nEND:VEVENT\r\n"
        "BEGIN:VJOURNAL\r\nSUMMARY:diary\r\nEND:VJOURNAL\r\n"
        "BEGIN:VFREEBUSY\r\nUID:fb\r\nEND:VFREEBUSY\r\n"
        "BEGIN:VTODO\r\nSUMMARY:todo\r\nEND:VTODO\r\n"
        "BEGIN:VTIMEZONE\r\nTZID:X\r\nBEGIN:STANDARD\r\nTZOFFSETTO:+0100\r\nEND:STANDARD\r\n"
        "END:VTIMEZONE\r\nX-AFTER:kept\r\nEND:VCALENDAR\r\n"));
    ASSERT_EQ(lists.size(), 5);
    const QVariantMap event = firstEvent(lists);
    EXPECT_EQ(event.value(QStringLiteral("SUMMARY")).toString(), QStringLiteral("New Year, again"));
    EXPECT_EQ(event.value(QStringLiteral("DTSTART")).toString(),
              QStringLiteral("VALUE=DATE:20240105"));
    EXPECT_EQ(event.value(QStringLiteral("EXDATE")).toString(),
              QStringLiteral("20240106,20240107"));
    const QVariantMap alarm = event.value(QStringLiteral("VALARM")).toMap();
    EXPECT_EQ(alarm.value(QStringLiteral("ACTION")).toString(), QStringLiteral("DISPLAY"));
    EXPECT_FALSE(event.contains(QStringLiteral("ACTION")));
    EXPECT_EQ(lists.at(1).toList().size(), 1);
    EXPECT_EQ(lists.at(3).toList().size(), 1);
    EXPECT_EQ(lists.at(4).toList().size(), 1);
    const QVariantList calendars = lists.at(0).toList();
    ASSERT_EQ(calendars.size(), 2);
    EXPECT_EQ(calendars[0].toMap().value(QStringLiteral("X-AFTER")).toString(),
              QStringLiteral("kept"));
    EXPECT_FALSE(calendars[0].toMap().contains(QStringLiteral("SUMMARY")));
    EXPECT_EQ(calendars[1].toMap().value(QStringLiteral("TZOFFSETTO")).toString(),
              QStringLiteral("+0100"));
    const QVariantList none = arrayFromVCALENDAR(QStringLiteral("no calendar here"));
    ASSERT_EQ(none.size(), 5);
    for (const QVariant& list : none) {
        EXPECT_TRUE(list.toList().isEmpty());
    }
}

TEST_F(Vcalendar, DatesInEveryForm) {
    auto utc = [](const char* iso) {
        return Date::fromQDateTime(QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate));
    };
    struct Case {
        const char* value;
        std::optional<Date> expected;
    };
    const std::vector<Case> cases = {
        {"20240105", utc("2024-01-04T23:00:00Z")},  // midnight of the clock's zone (Berlin)
        {"VALUE=DATE:20240105", utc("2024-01-04T23:00:00Z")},
        {"VALUE=DATE-TIME:20240105T100000", utc("2024-01-05T09:00:00Z")},
        {"20240105T100000Z", utc("2024-01-05T10:00:00Z")},
        {"20240105T100000", utc("2024-01-05T09:00:00Z")},  // floating: the current zone
        {"TZID=America/New_York:20240105T100000", utc("2024-01-05T15:00:00Z")},
        {"TZID=\"America/New_York\":20240105T100000", utc("2024-01-05T15:00:00Z")},
        {"TZID=Nowhere:20240105T100000", utc("2024-01-05T09:00:00Z")},
        {"yesterday", std::nullopt},
        {"TZID=Europe/Berlin", std::nullopt},
        {"20241305", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dateFromVCALENDAR(QString::fromLatin1(c.value)), c.expected) << c.value;
    }
}

TEST_F(Vcalendar, RulesUrlsPathsAndWriters) {
    const QVariantMap rule = arrayFromRRULE(QStringLiteral("FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE"));
    EXPECT_EQ(rule.keys(), (QStringList{QStringLiteral("BYDAY"), QStringLiteral("FREQ"),
                                        QStringLiteral("INTERVAL")}));
    EXPECT_EQ(urlStrFromVCALENDAR(QStringLiteral("X;VALUE=URI:https://a.example/x")),
              QStringLiteral("https://a.example/x"));
    EXPECT_EQ(urlFromVCALENDAR(QStringLiteral("URI:file://localhost/tmp/a b.ics")),
              QUrl::fromLocalFile(QStringLiteral("/tmp/a b.ics")));
    EXPECT_FALSE(urlFromVCALENDAR(QStringLiteral("no address")));
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    QDir().mkpath(home.path() + QStringLiteral("/talvor/Calendars"));
    for (const char* name : {"b.ics", "a.ics", "notes.txt"}) {
        QFile f(home.path() + QStringLiteral("/talvor/Calendars/") + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(TalvorArrayOfVCAL(), (QStringList{QStringLiteral("a.ics"), QStringLiteral("b.ics")}));
    EXPECT_TRUE(TalvorLoadVCALPath().endsWith(QStringLiteral("/talvor/Calendars")));
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(strFromVCALDetails(QStringLiteral("a, b"), QStringLiteral("x\ny")),
              QStringLiteral("SUMMARY:a\\, b\nDESCRIPTION:x\\ny\n"));
    EXPECT_EQ(strFromVCALDetails(QStringLiteral("a"), std::nullopt), QStringLiteral("SUMMARY:a\n"));
    EXPECT_EQ(strForVCALDateToday(), QStringLiteral("TZID=Europe/Berlin:20240515T140000"));
    EXPECT_TRUE(strVCALHeadertemplate().startsWith(
        QStringLiteral("BEGIN:VCALENDAR\nCALSCALE:GREGORIAN\n")));
}

TEST_F(Vcalendar, RecurrenceReadsAndWritesItsLines) {
    const QString zone = QStringLiteral("BEGIN:VTIMEZONE\nTZID:Europe/Berlin\nEND:VTIMEZONE\n");
    Recurrence r(QStringLiteral("DTSTART;TZID=Europe/Berlin:20240101T100000\n"
                                "DTEND;TZID=Europe/Berlin:20240101T110000\n"
                                "RRULE:FREQ=WEEKLY;COUNT=10;BYDAY=MO,WE;INTERVAL=2\n") +
                 zone);
    EXPECT_EQ(r.dtstart, QStringLiteral("TZID=Europe/Berlin:20240101T100000"));
    EXPECT_EQ(r.unparsed, zone);
    EXPECT_EQ(r.description(),
              QStringLiteral("DTSTART;TZID=Europe/Berlin:20240101T100000\n"
                             "DTEND;TZID=Europe/Berlin:20240101T110000\n"
                             "RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE;COUNT=10\n") +
                  zone);
    // Only BYMONTHDAY: BYMONTH is not read out of it.
    Recurrence monthDay(QStringLiteral("RRULE:FREQ=MONTHLY;BYMONTHDAY=5\n"));
    EXPECT_FALSE(monthDay.byTimeValues.contains(QStringLiteral("BYMONTH")));
    EXPECT_EQ(monthDay.byTimeValues.value(QStringLiteral("BYMONTHDAY")), QStringLiteral("5"));
    // A start without parameters (as in a time zone) is not the event's start.
    Recurrence plain(QStringLiteral("DTSTART:16010101T000000\n"));
    EXPECT_FALSE(plain.dtstart);
    // A rule on the last line without a line feed, and CRLF lines, are read whole.
    Recurrence last(QStringLiteral("DTSTART;VALUE=DATE:20240101\r\nRRULE:FREQ=DAILY;COUNT=3"));
    EXPECT_EQ(last.dtstart, QStringLiteral("VALUE=DATE:20240101"));
    EXPECT_EQ(last.freq(), QStringLiteral("DAILY"));
    EXPECT_EQ(last.count, QStringLiteral("3"));
    EXPECT_EQ(last.unparsed, QString());
    Recurrence built;
    built.setFreq(QStringLiteral("WEEKLY"));
    built.setByTime(QStringLiteral("BYDAY"), {QStringLiteral("MO"), QStringLiteral("FR")});
    built.setCount(4);
    built.setUntil(Date::fromUnix(1715774400));
    EXPECT_FALSE(built.count);
    EXPECT_EQ(built.description(),
              QStringLiteral("RRULE:FREQ=WEEKLY;BYDAY=MO,FR;UNTIL=20240515T120000Z\n"));
    built.setCount(2);
    EXPECT_FALSE(built.until);
    built.setStart(Date::fromUnix(1715774400), Date::fromUnix(1715778000), QTimeZone("Asia/Tokyo"),
                   true);
    EXPECT_EQ(built.dtstart, QStringLiteral("TZID=Asia/Tokyo:20240515"));
    built.setStart(Date::fromUnix(1715774400), Date::fromUnix(1715778000), QTimeZone("Asia/Tokyo"),
                   false);
    EXPECT_EQ(built.dtend, QStringLiteral("TZID=Asia/Tokyo:20240515T220000"));
    // Without a frequency no rule line is written (rather than "FREQ=(null)").
    Recurrence empty;
    EXPECT_EQ(empty.description(), QString());
    EXPECT_FALSE(empty.dateAfter(Date()));
}

}  // namespace
}  // namespace talvor
