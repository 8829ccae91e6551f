#include "foundation/CalendarFormat.h"
#include "foundation/TokenString.h"
#include "platform/KeyedArchiver.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace talvor {
namespace {

// The C library's strftime in the C locale, for the escapes both languages share.
std::string strftimeC(const char* format, std::time_t t, const char* tz) {
    const std::string oldTz = std::getenv("TZ") ? std::getenv("TZ") : "";
    const bool hadTz = std::getenv("TZ") != nullptr;
    setenv("TZ", tz, 1);
    tzset();
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[256];
    const std::size_t n = std::strftime(buf, sizeof buf, format, &tm);
    if (hadTz) {
        setenv("TZ", oldTz.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
    return std::string(buf, n);
}

TEST(foundationCalendarFormat, AgreesWithStrftimeOnTheSharedEscapes) {
    const char* format = "%a %A %b %B %d %e %H %I %j %m %M %p %S %w %y %Y %Z %z %% plain text";
    const char* zones[] = {"UTC", "Europe/Berlin", "America/New_York", "Asia/Kolkata",
                           "Australia/Adelaide"};
    // Noon and midnight, both sides of DST changes, a leap day, single-digit days.
    const std::time_t instants[] = {
        1719835200,  // 2024-07-01 12:00 UTC
        1709164800,  // 2024-02-29 00:00 UTC
        1711846800,  // 2024-03-31 01:00 UTC
        1730016000,  // 2024-10-27 08:00 UTC
        946684799,   // 1999-12-31 23:59:59 UTC
        1735776000,  // 2025-01-02 00:00 UTC
    };
    for (const char* zone : zones) {
        for (std::time_t t : instants) {
            SCOPED_TRACE(std::string(zone) + " " + std::to_string(t));
            const QString ours = formatCalendarDate(QString::fromLatin1(format),
                                                    Date::fromUnix(static_cast<double>(t)),
                                                    QTimeZone(zone), QLocale::c());
            EXPECT_EQ(ours.toStdString(), strftimeC(format, t, zone));
        }
    }
}

TEST(foundationCalendarFormat, EscapesOfItsOwn) {
    const Date d = Date::fromUnix(1719835200.25);  // 2024-07-01 12:00:00.250 UTC
    const QTimeZone utc = QTimeZone::utc();
    struct Case {
        const char* format;
        const char* expected;
    };
    const Case cases[] = {
        {"%H:%M:%S.%F", "12:00:00.250"},
        {"%c", "Mon Jul  1 12:00:00 2024"},
        {"%q and %", "%q and %"},
        {"", ""},
        {"%%W", "%W"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formatCalendarDate(QString::fromLatin1(c.format), d, utc, QLocale::c()),
                  QString::fromLatin1(c.expected))
            << c.format;
    }
}

TEST(foundationTalvorDateFormat, SubstitutesEveryOccurrenceInOnePass) {
    struct Case {
        const char* format;
        const char* week;
        const char* zone;
        const char* expected;
    };
    const Case cases[] = {
        {"Week %W, again %W", "7", "CET", "Week 7, again 7"},
        {"no escapes", "7", "CET", "no escapes"},
        {"%H:%M %Z", "7", "CEST", "%H:%M CEST"},
        // Replacements holding the escape itself are not searched again.
        {"%W|%Z", "%W%W", "%Z", "%W%W|%Z"},
        // A literal percent sign before the letter is no escape.
        {"100%%W %%Z %W", "7", "CET", "100%%W %%Z 7"},
    };
    for (const Case& c : cases) {
        QString f = QString::fromLatin1(c.format);
        TalvorDateFormat::fixTimeZone(TalvorDateFormat::fixWeekNum(f, QString::fromLatin1(c.week)),
                                      QString::fromLatin1(c.zone));
        EXPECT_EQ(f, QString::fromLatin1(c.expected));
    }
}

TEST(foundationTokenString, ArchivesOnlyItsName) {
    const TokenString token{QStringLiteral("hh"), 9, 1};
    const auto back = platform::KeyedUnarchiver::unarchiveObjectWithData<TokenString>(
        platform::KeyedArchiver::archivedDataWithRootObject(token));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->name, QStringLiteral("hh"));
    EXPECT_EQ(back->MenuType, 0);
    EXPECT_EQ(back->hasMenu, 0);
}

}  // namespace
}  // namespace talvor
