// The content-line reader: folding, parameters, escapes, components, and what damaged or
// hostile text gives (a reason, the rest of the file, never a crash or a hang).
#include "calendar/ICalEvents.h"
#include "calendar/ICalParser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace talvor::ical {
namespace {

TEST(ICalParser, UnfoldsLinesAndReadsParametersAndValues) {
    // Folded inside a two-byte character; a quoted parameter holding ":" and ";"; LF and CRLF.
    const ParseResult r = parse(
        "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY;LANGUAGE=de:Gr\xC3\r\n \xBC\xC3\x9F"
        "e\\, Welt\\; \\\\ \\nzwei\n"
        "ATTENDEE;CN=\"Doe; John: Jr\";ROLE=REQ-PARTICIPANT,CHAIR:mailto:j@example.org\r\n"
        "x-custom;x-p=a,\"b,c\":v\r\n"
        "END:VEVENT\r\nEND:VCALENDAR\r\n");
    EXPECT_TRUE(r.errors.empty()) << r.errorSummary();
    ASSERT_EQ(r.components.size(), 1u);
    ASSERT_EQ(r.components[0].components.size(), 1u);
    const Component& event = r.components[0].components[0];
    ASSERT_EQ(event.properties.size(), 3u);
    const Property& summary = event.properties[0];
    EXPECT_EQ(summary.name, "SUMMARY");
    EXPECT_EQ(*summary.parameter("language"), "de");
    EXPECT_EQ(unescapeText(summary.value),
              "Gr\xC3\xBC\xC3\x9F"
              "e, Welt; \\ \nzwei");
    const Property& attendee = event.properties[1];
    EXPECT_EQ(*attendee.parameter("CN"), "Doe; John: Jr");
    EXPECT_EQ(attendee.parameters[1].values,
              (std::vector<std::string>{"REQ-PARTICIPANT", "CHAIR"}));
    EXPECT_EQ(attendee.value, "mailto:j@example.org");
    EXPECT_EQ(event.properties[2].name, "X-CUSTOM");
    EXPECT_EQ(event.properties[2].parameters[0].values, (std::vector<std::string>{"a", "b,c"}));
    EXPECT_EQ(attendee.line, 5);
}

TEST(ICalParser, KeepsEveryComponentKindAndRepeatedProperties) {
    const ParseResult r = parse(
        "BEGIN:VCALENDAR\nBEGIN:VTODO\nSUMMARY:t\nEND:VTODO\nBEGIN:VJOURNAL\nEND:VJOURNAL\n"
        "BEGIN:VFREEBUSY\nEND:VFREEBUSY\nBEGIN:VEVENT\nEXDATE:20240101\nEXDATE:20240102\n"
        "BEGIN:VALARM\nACTION:DISPLAY\nEND:VALARM\nEND:VEVENT\nX-WR-CALNAME:after\n"
        "END:VCALENDAR\n");
    EXPECT_TRUE(r.errors.empty()) << r.errorSummary();
    const Component& cal = r.components.at(0);
    ASSERT_EQ(cal.components.size(), 4u);
    EXPECT_EQ(cal.components[1].name, "VJOURNAL");
    EXPECT_EQ(cal.components[3].properties.size(), 2u);
    EXPECT_EQ(cal.components[3].components.at(0).property("ACTION")->value, "DISPLAY");
    EXPECT_EQ(cal.property("X-WR-CALNAME")->value, "after");
}

TEST(ICalParser, DamagedTextGivesItsReasonAndTheRest) {
    struct Case {
        const char* name;
        std::string text;
        const char* problem;
        size_t eventsKept;
    };
    const std::string ok = "BEGIN:VEVENT\r\nDTSTART:20240101T000000Z\r\nEND:VEVENT\r\n";
    std::string deep = "BEGIN:VCALENDAR\r\n";
    for (int i = 0; i < 100000; ++i) {
        deep += "BEGIN:X\r\n";
    }
    const size_t cap = ParseLimits{}.maxLineBytes;
    std::string longLine =
        "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nDTSTART:20240101T000000Z\r\n"
        "DESCRIPTION:" +
        std::string(cap, 'a') + "\r\nEND:VEVENT\r\n";
    std::string longFolded = "BEGIN:VCALENDAR\r\nX-A:";
    for (size_t i = 0; i <= cap / 74; ++i) {
        longFolded += std::string(74, 'b') + "\r\n ";
    }
    longFolded += "\r\n" + ok + "END:VCALENDAR\r\n";
    const std::vector<Case> cases = {
        {"missing END", "BEGIN:VCALENDAR\r\n" + ok + "BEGIN:VEVENT\r\nDTSTART:20240102\r\n",
         "missing END:VEVENT", 2},
        {"END without BEGIN", "BEGIN:VCALENDAR\r\n" + ok + "END:VTODO\r\nEND:VCALENDAR\r\n",
         "END:VTODO without BEGIN", 1},
        {"deep nesting", deep + ok, "nested deeper", 0},
        {"over-long line", longLine, "longer than", 1},
        {"over-long folded line", longFolded, "longer than", 1},
        {"invalid UTF-8",
         "BEGIN:VCALENDAR\r\n" + ok +
             "BEGIN:VEVENT\r\nSUMMARY:\xC0\xAF\r\n"
             "DTSTART:20240101T000000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n",
         "invalid UTF-8", 2},
        {"surrogate in UTF-8", "BEGIN:VCALENDAR\r\nX:\xED\xA0\x80\r\n" + ok + "END:VCALENDAR\r\n",
         "invalid UTF-8", 1},
        {"no colon", "BEGIN:VCALENDAR\r\nSUMMARY\r\n" + ok + "END:VCALENDAR\r\n", "no ':'", 1},
        {"open quote", "BEGIN:VCALENDAR\r\nX;P=\"abc:d\r\n" + ok + "END:VCALENDAR\r\n",
         "unterminated quote", 1},
        {"property outside", "SUMMARY:x\r\nBEGIN:VCALENDAR\r\n" + ok + "END:VCALENDAR\r\n",
         "outside any component", 1},
        {"event without start",
         "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nEND:VEVENT\r\n" + ok + "END:VCALENDAR\r\n",
         "without DTSTART", 1},
        {"bad date",
         "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nDTSTART:20240230\r\nEND:VEVENT\r\n" + ok +
             "END:VCALENDAR\r\n",
         "not a date", 1},
        {"INTERVAL=0 keeps the event",
         "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\n"
         "DTSTART:20240101T000000Z\r\nRRULE:FREQ=DAILY;INTERVAL=0\r\nEND:VEVENT\r\nEND:"
         "VCALENDAR\r\n",
         "INTERVAL", 1},
        {"unknown zone",
         "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nDTSTART;TZID=Nowhere/Else:20240101T100000\r\n"
         "END:VEVENT\r\nEND:VCALENDAR\r\n",
         "unknown time zone", 1},
        {"empty", "", "", 0},
        {"binary", std::string("\0\x01\xff\xfe BEGIN", 10), "", 0},
    };
    for (const Case& c : cases) {
        const CalendarData data = readEvents(c.text);
        EXPECT_EQ(data.events.size(), c.eventsKept) << c.name;
        if (*c.problem) {
            EXPECT_NE(data.errorSummary().find(c.problem), std::string::npos)
                << c.name << ": " << data.errorSummary();
        }
    }
    ParseLimits small;
    small.maxInputBytes = 10;
    EXPECT_NE(parse(ok, small).errorSummary().find("larger than"), std::string::npos);
}

// A long property (a document pasted into a DESCRIPTION) is kept whole up to the cap; past it
// only that property goes, with one problem noted, and its event keeps the rest.
TEST(ICalParser, LongPropertiesAreKeptAndOnlyWhatPassesTheCapIsSkipped) {
    const size_t cap = ParseLimits{}.maxLineBytes;
    ASSERT_GE(cap, size_t(4) << 20);
    struct Case {
        const char* what;
        std::string description;     // as written, folded or not
        std::optional<size_t> kept;  // the description's length once read, null when skipped
    };
    std::string folded;
    for (size_t i = 0; i < (256u << 10) / 64; ++i) {
        folded += std::string(63, 'f') + "\\n\r\n ";  // an escaped line feed, then a fold
    }
    const std::vector<Case> cases = {
        {"256 KiB on one line", std::string(256u << 10, 'd'), 256u << 10},
        {"256 KiB folded", folded, (256u << 10)},
        {"exactly the cap", std::string(cap - std::string("DESCRIPTION:").size(), 'e'),
         cap - std::string("DESCRIPTION:").size()},
        {"past the cap", std::string(cap, 'x'), std::nullopt},
    };
    for (const Case& c : cases) {
        const CalendarData data = readEvents(
            "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:long\r\nDESCRIPTION:" + c.description +
            "\r\nDTSTART:20240101T100000Z\r\nSUMMARY:after\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        ASSERT_EQ(data.events.size(), 1u) << c.what << ": " << data.errorSummary();
        const CalendarEvent& e = data.events[0];
        EXPECT_EQ(e.summary, "after") << c.what;
        EXPECT_EQ(e.uid, "long") << c.what;
        if (c.kept) {
            EXPECT_TRUE(data.errors.empty()) << c.what << ": " << data.errorSummary();
            ASSERT_TRUE(e.description) << c.what;
            EXPECT_EQ(e.description->size(), *c.kept) << c.what;
        } else {
            EXPECT_FALSE(e.description) << c.what;
            ASSERT_EQ(data.errors.size(), 1u) << c.what << ": " << data.errorSummary();
            EXPECT_EQ(data.errors[0],
                      "line 4: DESCRIPTION longer than " + std::to_string(cap) + " bytes skipped");
        }
    }
}

// A quitting program stops a long reading: nothing more is read or made into events.
TEST(ICalParser, AReadingStopsWhenAskedTo) {
    std::string text = "BEGIN:VCALENDAR\r\n";
    for (int i = 0; i < 20000; ++i) {
        text += "BEGIN:VEVENT\r\nUID:" + std::to_string(i) +
                "\r\nDTSTART:20250101T100000Z\r\nEND:VEVENT\r\n";
    }
    text += "END:VCALENDAR\r\n";
    std::atomic<bool> stop{false};
    ParseLimits limits;
    limits.stop = &stop;
    EXPECT_EQ(readEvents(text, limits).events.size(), 20000u);
    stop = true;
    const CalendarData stopped = readEvents(text, limits);
    EXPECT_TRUE(stopped.events.empty());
    EXPECT_EQ(stopped.errors, std::vector<std::string>{"reading stopped"});
}

TEST(ICalParser, ZonesComeFromTheSystemThenTheFileThenThePathInTheName) {
    const CalendarData data = readEvents(
        "BEGIN:VCALENDAR\r\n"
        "BEGIN:VTIMEZONE\r\nTZID:Custom Standard Time\r\n"
        "BEGIN:STANDARD\r\nDTSTART:16011104T020000\r\n"
        "RRULE:FREQ=YEARLY;BYDAY=1SU;BYMONTH=11\r\nTZOFFSETFROM:-0400\r\nTZOFFSETTO:-0500\r\n"
        "END:STANDARD\r\nBEGIN:DAYLIGHT\r\nDTSTART:16010311T020000\r\n"
        "RRULE:FREQ=YEARLY;BYDAY=2SU;BYMONTH=3\r\nTZOFFSETFROM:-0500\r\nTZOFFSETTO:-0400\r\n"
        "END:DAYLIGHT\r\nEND:VTIMEZONE\r\n"
        "BEGIN:VEVENT\r\nDTSTART;TZID=Custom Standard Time:20240701T120000\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;TZID=Custom Standard Time:20240101T120000\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;TZID=/example.org/2005_1/Europe/Berlin:20240101T120000\r\n"
        "END:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;TZID=\"Asia/Tokyo\":20240101T120000\r\nEND:VEVENT\r\n"
        "END:VCALENDAR\r\n");
    EXPECT_TRUE(data.errors.empty()) << data.errorSummary();
    ASSERT_EQ(data.events.size(), 4u);
    const ZoneRules& utc = *ZoneRules::utc();
    EXPECT_EQ(formatUtc(data.events[0].start.utc(utc)), "2024-07-01T16:00:00Z");
    EXPECT_EQ(formatUtc(data.events[1].start.utc(utc)), "2024-01-01T17:00:00Z");
    EXPECT_EQ(formatUtc(data.events[2].start.utc(utc)), "2024-01-01T11:00:00Z");
    EXPECT_EQ(formatUtc(data.events[3].start.utc(utc)), "2024-01-01T03:00:00Z");
}

// A damaged VTIMEZONE is refused whole rather than read as half of its rules: its events
// read as floating time with the reason given.
TEST(ICalParser, DamagedZoneRulesAreRefused) {
    const std::string damaged[] = {
        // A DAYLIGHT part cut off after its DTSTART (found by the fuzzer).
        "BEGIN:STANDARD\r\nDTSTART:16011028T030000\r\nTZOFFSETFROM:+0200\r\n"
        "TZOFFSETTO:+0100\r\nEND:STANDARD\r\nBEGIN:DAYLIGHT\r\nDTSTART:16010325T020000\r\n"
        "RRULE:Fdard Time:20240320T100000\r\nEND:DAYLIGHT\r\n",
        "BEGIN:STANDARD\r\nDTSTART:16011028T030000\r\nTZOFFSETTO:+0100\r\nEND:STANDARD\r\n",
        "BEGIN:STANDARD\r\nDTSTART:16011028T030000\r\nTZOFFSETFROM:+2500\r\n"
        "TZOFFSETTO:+0100\r\nEND:STANDARD\r\n",
        "BEGIN:STANDARD\r\nDTSTART:16011028\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\n"
        "END:STANDARD\r\n",
        "BEGIN:STANDARD\r\nDTSTART:16011028T030000\r\nTZOFFSETFROM:+0200\r\n"
        "TZOFFSETTO:+0100\r\nRRULE:FREQ=DAILY\r\nEND:STANDARD\r\n",
        "BEGIN:STANDARD\r\nDTSTART:16011028T030000\r\nTZOFFSETFROM:+0200\r\n"
        "TZOFFSETTO:+0100\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYHOUR=0,1,2,3\r\nEND:STANDARD\r\n",
        "BEGIN:STANDARD\r\nDTSTART:16011028T030000\r\nTZOFFSETFROM:+0200\r\n"
        "TZOFFSETTO:+0100\r\nRDATE;VALUE=DATE:20241027\r\nEND:STANDARD\r\n",
        "BEGIN:STANDARD\r\nDTSTART:16011028T030000\r\nTZOFFSETFROM:+0200\r\n"
        "TZOFFSETTO:+0100\r\nRDATE;VALUE=PERIOD:20241027T030000/PT1H\r\nEND:STANDARD\r\n",
        "",
    };
    for (const std::string& parts : damaged) {
        const CalendarData data = readEvents(
            "BEGIN:VCALENDAR\r\nBEGIN:VTIMEZONE\r\nTZID:Broken Time\r\n" + parts +
            "END:VTIMEZONE\r\nBEGIN:VEVENT\r\nDTSTART;TZID=Broken Time:20240320T100000\r\n"
            "END:VEVENT\r\nEND:VCALENDAR\r\n");
        ASSERT_EQ(data.events.size(), 1u) << parts;
        EXPECT_EQ(data.events[0].start.zone, nullptr) << parts;
        EXPECT_NE(data.errorSummary().find("unknown time zone"), std::string::npos) << parts;
    }
}

// A zone's parts are expanded by our own recurrence engine, whatever mix of RRULE, RDATE and
// UNTIL they hold: a STANDARD part with both an RRULE and an RDATE once gave a zone that
// crashed when asked for an offset.
TEST(ICalParser, ZonePartsMixRulesDatesAndEnds) {
    const std::string daylight =
        "BEGIN:DAYLIGHT\r\nDTSTART:19810329T020000\r\nTZOFFSETFROM:+0100\r\n"
        "TZOFFSETTO:+0200\r\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=3\r\nEND:DAYLIGHT\r\n";
    struct Case {
        const char* what;
        std::string parts;
        const char* local;     // an event's wall-clock start in the zone
        const char* expected;  // its start in UTC
    };
    const Case cases[] = {
        {"rule, then a date: the date's onset",
         daylight + "BEGIN:STANDARD\r\nDTSTART:19961027T030000\r\nTZOFFSETFROM:+0200\r\n"
                    "TZOFFSETTO:+0100\r\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\r\n"
                    "RDATE:20240701T000000\r\nEND:STANDARD\r\n",
         "20240702T120000", "2024-07-02T11:00:00Z"},
        {"rule, then a date: the rule's onsets",
         daylight + "BEGIN:STANDARD\r\nDTSTART:19961027T030000\r\nTZOFFSETFROM:+0200\r\n"
                    "TZOFFSETTO:+0100\r\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\r\n"
                    "RDATE:20240701T000000\r\nEND:STANDARD\r\n",
         "20240630T120000", "2024-06-30T10:00:00Z"},
        {"a date, then a rule",
         daylight + "BEGIN:STANDARD\r\nDTSTART:19961027T030000\r\nTZOFFSETFROM:+0200\r\n"
                    "TZOFFSETTO:+0100\r\nRDATE:20240701T000000\r\n"
                    "RRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\r\nEND:STANDARD\r\n",
         "20240702T120000", "2024-07-02T11:00:00Z"},
        {"a date in UTC",
         daylight + "BEGIN:STANDARD\r\nDTSTART:19961027T030000\r\nTZOFFSETFROM:+0200\r\n"
                    "TZOFFSETTO:+0100\r\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\r\n"
                    "RDATE:20240702T113000Z\r\nEND:STANDARD\r\n",
         "20240702T120000", "2024-07-02T10:00:00Z"},
        {"daylight saving ended by UNTIL",
         "BEGIN:DAYLIGHT\r\nDTSTART:19810329T020000\r\nTZOFFSETFROM:+0100\r\n"
         "TZOFFSETTO:+0200\r\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=3;UNTIL=20100328T010000Z\r\n"
         "END:DAYLIGHT\r\nBEGIN:STANDARD\r\nDTSTART:19961027T030000\r\n"
         "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\r\n"
         "END:STANDARD\r\n",
         "20240701T120000", "2024-07-01T11:00:00Z"},
        {"the last summer under UNTIL",
         "BEGIN:DAYLIGHT\r\nDTSTART:19810329T020000\r\nTZOFFSETFROM:+0100\r\n"
         "TZOFFSETTO:+0200\r\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=3;UNTIL=20100328T010000Z\r\n"
         "END:DAYLIGHT\r\nBEGIN:STANDARD\r\nDTSTART:19961027T030000\r\n"
         "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\r\n"
         "END:STANDARD\r\n",
         "20100701T120000", "2010-07-01T10:00:00Z"},
        {"before the first onset: the offset it changes from",
         "BEGIN:STANDARD\r\nDTSTART:20000101T000000\r\nTZOFFSETFROM:+0530\r\n"
         "TZOFFSETTO:+0545\r\nEND:STANDARD\r\n",
         "19990601T120000", "1999-06-01T06:30:00Z"},
        {"after a lone onset: its new offset",
         "BEGIN:STANDARD\r\nDTSTART:20000101T000000\r\nTZOFFSETFROM:+0530\r\n"
         "TZOFFSETTO:+0545\r\nEND:STANDARD\r\n",
         "20000601T120000", "2000-06-01T06:15:00Z"},
        {"a skipped wall-clock hour keeps the offset before it",
         daylight +
             "BEGIN:STANDARD\r\nDTSTART:19961027T030000\r\nTZOFFSETFROM:+0200\r\n"
             "TZOFFSETTO:+0100\r\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\r\nEND:STANDARD\r\n",
         "20240331T023000", "2024-03-31T01:30:00Z"},
    };
    for (const Case& c : cases) {
        const CalendarData data =
            readEvents("BEGIN:VCALENDAR\r\nBEGIN:VTIMEZONE\r\nTZID:Mixed Time\r\n" + c.parts +
                       "END:VTIMEZONE\r\nBEGIN:VEVENT\r\nDTSTART;TZID=Mixed Time:" + c.local +
                       "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        EXPECT_TRUE(data.errors.empty()) << c.what << ": " << data.errorSummary();
        ASSERT_EQ(data.events.size(), 1u) << c.what;
        ASSERT_NE(data.events[0].start.zone, nullptr) << c.what;
        EXPECT_EQ(formatUtc(data.events[0].start.utc(*ZoneRules::utc())), c.expected) << c.what;
    }
}

// The first VTIMEZONE of a TZID is the one used; a later one of the same name, damaged or
// not, changes nothing.
TEST(ICalParser, FirstZoneOfANameWins) {
    const std::string zone =
        "BEGIN:VTIMEZONE\r\nTZID:Twice\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
        "TZOFFSETFROM:+0300\r\nTZOFFSETTO:+0300\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
    const std::string other[] = {
        "BEGIN:VTIMEZONE\r\nTZID:Twice\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
        "TZOFFSETFROM:-0800\r\nTZOFFSETTO:-0800\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n",
        "BEGIN:VTIMEZONE\r\nTZID:Twice\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
        "RDATE:20240101T000000\r\nRRULE:FREQ=YEARLY\r\nTZOFFSETFROM:-0800\r\n"
        "TZOFFSETTO:-0700\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n",
    };
    for (const std::string& second : other) {
        const CalendarData data =
            readEvents("BEGIN:VCALENDAR\r\n" + zone + second +
                       "BEGIN:VEVENT\r\nDTSTART;TZID=Twice:20240320T100000\r\nEND:VEVENT\r\n"
                       "BEGIN:VEVENT\r\nDTSTART;TZID=Twice:20240321T100000\r\nEND:VEVENT\r\n"
                       "END:VCALENDAR\r\n");
        ASSERT_EQ(data.events.size(), 2u);
        EXPECT_EQ(formatUtc(data.events[0].start.utc(*ZoneRules::utc())), "2024-03-20T07:00:00Z");
        EXPECT_EQ(formatUtc(data.events[1].start.utc(*ZoneRules::utc())), "2024-03-21T07:00:00Z");
    }
}

TEST(ICalParser, EventEndsFromDtendDurationOrKind) {
    const CalendarData data = readEvents(
        "BEGIN:VCALENDAR\r\n"
        "BEGIN:VEVENT\r\nDTSTART;TZID=Europe/"
        "Berlin:20240330T120000\r\nDURATION:P1D\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;TZID=Europe/"
        "Berlin:20240330T120000\r\nDURATION:PT24H\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20240330\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART:20240330T120000Z\r\nDTEND:20240330T133000Z\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART:20240330T120000Z\r\nEND:VEVENT\r\n"
        "END:VCALENDAR\r\n");
    ASSERT_EQ(data.events.size(), 5u);
    const ZoneRules& utc = *ZoneRules::utc();
    auto length = [&](size_t i) {
        return data.events[i].endUtc(utc) - data.events[i].start.utc(utc);
    };
    EXPECT_EQ(length(0), 23 * 3600);  // a day of the wall clock, shortened by the change
    EXPECT_EQ(length(1), 24 * 3600);
    EXPECT_EQ(length(2), 86400);
    EXPECT_EQ(length(3), 5400);
    EXPECT_EQ(length(4), 0);
}

}  // namespace
}  // namespace talvor::ical
