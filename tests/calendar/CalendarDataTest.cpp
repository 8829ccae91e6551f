// Sources, event days across midnight and daylight saving, months and their index.
#include "calendar/CalEvent.h"
#include "calendar/CalMonth.h"
#include "calendar/CalSource.h"
#include "calendar/CalendarBackEnd.h"
#include "calendar/MonthIndex.h"
#include "foundation/StringsBundle.h"
#include "foundation/TimeRange.h"
#include "platform/Clock.h"
#include "platform/KeyedArchiver.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "support/FakeClock.h"
#include "support/ScopedMachineZone.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace talvor {
namespace {

Date at(const char* iso, const char* zone) {
    return Date::fromQDateTime(
        QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toTimeZone(QTimeZone(zone)));
}

Date local(int y, int m, int d, int h, int min, const char* zone) {
    return Date::fromQDateTime(QDateTime(QDate(y, m, d), QTime(h, min), QTimeZone(zone)));
}

Calendar gregorianIn(const char* zone) {
    return Calendar::create(QStringLiteral("gregorian")).withTimeZone(QTimeZone(zone));
}

class CalendarData : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::setShared(&clock);
        CalSource::resetRegistryForTesting();
    }
    void TearDown() override {
        platform::Clock::setShared(nullptr);
        CalSource::resetRegistryForTesting();
        CalMonth::setFirstWeekDay(1);
    }
    test::ScopedMachineZone machine{"UTC", "en_US"};
    test::FakeClock clock{at("2024-05-15T12:00:00Z", "UTC"), QTimeZone::utc()};
};

// Where the months of a second calendar start in a shown month, against known dates: Rosh
// Hashanah (1 Tishri), 1 Ramadan of the tabular Islamic calendar, Chinese New Year.
TEST_F(CalendarData, MonthStartsOfASecondCalendarFallOnTheirKnownDays) {
    struct Case {
        const char* calendar;
        int year, month;  // Gregorian, shown in Berlin
        std::vector<int32_t> starts;
    };
    const Case cases[] = {
        {"hebrew", 2023, 9, {16}},           {"hebrew", 2024, 10, {3}},
        {"hebrew", 2025, 9, {23}},           {"islamic-civil", 2024, 3, {11}},
        {"islamic-civil", 2025, 3, {1, 31}}, {"chinese", 2023, 1, {22}},
        {"chinese", 2024, 2, {10}},          {"chinese", 2025, 1, {29}},
    };
    const Calendar gregorian = gregorianIn("Europe/Berlin");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.calendar) + " " + std::to_string(c.year) + "-" +
                     std::to_string(c.month));
        const auto month = CalMonth::initWithDate(
            Date::fromQDateTime(QDateTime(QDate(c.year, c.month, 15), QTime(12, 0),
                                          QTimeZone(QByteArrayLiteral("Europe/Berlin")))),
            gregorian);
        EXPECT_EQ(month->firstDaysOfCalendar(Calendar::create(QString::fromLatin1(c.calendar))),
                  c.starts);
    }
    EXPECT_FALSE(CalMonth::initWithDate(clock.now(), gregorian)->firstDaysOfCalendar(Calendar()));
}

TEST_F(CalendarData, TimeRangesUniteIntersectAndContain) {
    struct Case {
        TimeRange a, b, unite, intersect;
        bool contains;
    };
    const std::vector<Case> cases = {
        {{10, 5}, {12, 10}, {10, 12}, {12, 3}, false},
        {{10, 5}, {11, 2}, {10, 5}, {11, 2}, true},
        {{0, 5}, {5, 5}, {0, 10}, {5, 0}, true},  // b starts at a's end with length beyond it
        {{0, 5}, {6, 2}, {0, 8}, {0, 0}, false},
        {{INT32_MAX - 1, 1}, {INT32_MAX - 1, 1}, {INT32_MAX - 1, 1}, {INT32_MAX - 1, 1}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UnionTimeRange(c.a, c.b), c.unite);
        EXPECT_EQ(IntersectionTimeRange(c.a, c.b), c.intersect);
    }
    EXPECT_FALSE(ContainsTimeRange({10, 5}, {12, 10}));
    EXPECT_TRUE(ContainsTimeRange({10, 5}, {11, 2}));
    EXPECT_FALSE(ContainsTimeRange({0, 5}, {5, 5}));
}

TEST_F(CalendarData, SourcesRegisterRestoreAndCompare) {
    auto a = CalSource::findOrCreateSourceWithToken(QStringLiteral("t1"));
    EXPECT_EQ(CalSource::findOrCreateSourceWithToken(QStringLiteral("t1")), a);
    a->setOrder(5);
    a->setDisplayColor(QColor());  // none: the default colour
    EXPECT_EQ(a->displayColor(), CalSource::defaultColor());
    a->updateFromPrefEncoding(QVariantList{QByteArray("junk"), true, 1});
    EXPECT_TRUE(a->enabled());
    EXPECT_EQ(a->order(), 5);  // 0 and 1 leave the order alone
    a->setHighlightType(3);
    a->updateFromPrefEncoding(QVariantList{QVariant(), QStringLiteral("yes"), 7});
    EXPECT_EQ(a->order(), 7);
    EXPECT_EQ(a->highlightType(), 3);  // three elements: highlight untouched
    EXPECT_TRUE(a->enabled());         // a text is not a flag
    auto b = CalSource::initWithToken(QStringLiteral("t2"), QStringLiteral("B"), QUrl());
    b->setAltURL(QUrl(QStringLiteral("https://example.org/en")));
    EXPECT_TRUE(b->fallBackToAltURL());
    EXPECT_FALSE(b->fallBackToAltURL());
    EXPECT_EQ(b->url(), QUrl(QStringLiteral("https://example.org/en")));
    EXPECT_LT(b->compare(*a), 0);
    // Sources without a token (parsed personal calendars) are equal only to themselves.
    auto p = CalSource::initWithToken({}, QStringLiteral("P"), QUrl());
    auto q = CalSource::initWithToken({}, QStringLiteral("Q"), QUrl());
    EXPECT_FALSE(p->isEqual(*q));
    EXPECT_TRUE(p->isEqual(*p));
    EXPECT_EQ(CalSource::findSourceWithToken({}), nullptr);
    EXPECT_EQ(CalSource::publicCalendars().size(), 228u);
    EXPECT_EQ(CalSource::publicCalendars_Religious().size(), 4u);
    EXPECT_EQ(CalSource::publicCalendars_Misc().size(), 3u);
    CalSource::removeSourceWithToken(CalSource::publicCalendars().front()->token());
    EXPECT_EQ(CalSource::publicCalendars().size(), 227u);
}

TEST_F(CalendarData, SourcesAndEventsSurviveTheirArchives) {
    auto source = CalSource::initWithToken(QStringLiteral("tok"), QStringLiteral("Work"),
                                           QUrl(QStringLiteral("https://example.org/a")));
    source->setAltURL(QUrl(QStringLiteral("https://example.org/b")));
    source->setOrder(4);
    source->setEnabled(true);
    source->setHighlightType(2);
    source->setDisplayColor(QColor(10, 20, 30));
    source->setCanCreate(true);
    const QByteArray sourceData = platform::KeyedArchiver::archivedDataWithRootObject(*source);
    const auto coder = platform::KeyedUnarchiver::fromData(sourceData);
    ASSERT_TRUE(coder);
    const auto decoded = CalSource::initWithCoder(*coder);
    EXPECT_NE(decoded, source);
    EXPECT_TRUE(decoded->isEqual(*source));
    EXPECT_EQ(CalSource::findSourceWithToken(QStringLiteral("tok")), decoded);  // replaced
    EXPECT_EQ(decoded->altURL(), source->altURL());
    EXPECT_EQ(decoded->order(), 4);
    EXPECT_TRUE(decoded->canCreate());
    EXPECT_EQ(decoded->displayColor().rgb(), QColor(10, 20, 30).rgb());
    EXPECT_FALSE(decoded->enabled());  // the preferences restore these two
    EXPECT_EQ(decoded->highlightType(), 0);

    auto e = CalEvent::initWithStartTime(Date::fromUnix(1715774400.5), 5400.25,
                                         QStringLiteral("Meet"), QStringLiteral("notes"), decoded);
    e->setIsAllDay(true);
    e->setEditLink_(QStringLiteral("edit"));
    const auto eventCoder = platform::KeyedUnarchiver::fromData(
        platform::KeyedArchiver::archivedDataWithRootObject(*e));
    ASSERT_TRUE(eventCoder);
    const auto back = CalEvent::initWithCoder(*eventCoder);
    EXPECT_EQ(back->source(), decoded);
    EXPECT_EQ(back->startDate(), e->startDate());
    EXPECT_EQ(back->duration(), 5400.25);
    EXPECT_TRUE(back->isAllDay());
    EXPECT_EQ(back->editLink_(), QStringLiteral("edit"));
    EXPECT_EQ(back->descrip(), QString());  // notes are not archived

    const SourceHighlight dot(QColor(1, 2, 3), 2);
    EXPECT_EQ(platform::KeyedUnarchiver::unarchiveObjectWithData<SourceHighlight>(
                  platform::KeyedArchiver::archivedDataWithRootObject(dot)),
              dot);
}

TEST_F(CalendarData, ThePreferredHolidayCalendarComesFirst) {
    StringsBundle::mainBundle().setTable(
        QStringLiteral("Localizable"),
        {{QStringLiteral("preferred holiday calendar"), QStringLiteral("german")},
         {QStringLiteral("german"), QStringLiteral("Deutschland")}});
    CalSource::resetRegistryForTesting();
    const auto& holidays = CalSource::publicCalendars();
    StringsBundle::mainBundle().setTable(QStringLiteral("Localizable"), {});
    const auto german = std::find_if(holidays.begin(), holidays.end(), [](const auto& s) {
        return s->name() == QStringLiteral("Deutschland");
    });
    ASSERT_NE(german, holidays.end());
    EXPECT_EQ((*german)->order(), 99);
    for (const auto& s : holidays) {
        EXPECT_TRUE(s == *german || s->compare(**german) > 0) << s->name().toStdString();
        EXPECT_EQ(s->refreshInterval(), 1440);
    }
    EXPECT_TRUE((*german)->identifier().startsWith(QStringLiteral("en.german#holiday@")));
    EXPECT_EQ(CalSource::findSourceWithToken((*german)->token()), *german);
    // Names sort the list; the colours follow the rows.
    EXPECT_TRUE(std::is_sorted(holidays.begin(), holidays.end(), [](const auto& a, const auto& b) {
        return a->compareNames(*b) < 0;
    }));
}

struct SpreadCase {
    const char* name;
    const char* zone;
    Date start;
    double duration;
    bool allDay;
    std::vector<const char*> days;  // local start of each entry, "yyyy-MM-dd HH:mm"
};

TEST_F(CalendarData, EventDaysSpreadAcrossMidnightAndDaylightSaving) {
    const std::vector<SpreadCase> cases = {
        {"half an hour over midnight",
         "Europe/Berlin",
         local(2024, 5, 14, 23, 45, "Europe/Berlin"),
         1800,
         false,
         {"2024-05-14 23:45", "2024-05-15 00:00"}},
        {"one hour at ten",
         "Europe/Berlin",
         local(2024, 5, 14, 10, 0, "Europe/Berlin"),
         3600,
         false,
         {"2024-05-14 10:00"}},
        {"all day",
         "Europe/Berlin",
         local(2024, 5, 14, 0, 0, "Europe/Berlin"),
         86400,
         true,
         {"2024-05-14 00:00"}},
        {"Berlin, the 23-hour day as an all-day event",
         "Europe/Berlin",
         local(2024, 3, 31, 0, 0, "Europe/Berlin"),
         86400,
         true,
         {"2024-03-31 00:00"}},
        {"Berlin, three all-day days over the change",
         "Europe/Berlin",
         local(2024, 3, 30, 0, 0, "Europe/Berlin"),
         3 * 86400,
         true,
         {"2024-03-30 00:00", "2024-03-31 00:00", "2024-04-01 00:00"}},
        {"Berlin, a night over the spring change",
         "Europe/Berlin",
         local(2024, 3, 30, 22, 0, "Europe/Berlin"),
         5 * 3600,
         false,
         {"2024-03-30 22:00", "2024-03-31 00:00"}},
        {"Berlin, 23 hours from midnight stay in the short day",
         "Europe/Berlin",
         local(2024, 3, 31, 0, 0, "Europe/Berlin"),
         23 * 3600,
         false,
         {"2024-03-31 00:00"}},
        {"Berlin, 25 hours from midnight stay in the long day",
         "Europe/Berlin",
         local(2024, 10, 27, 0, 0, "Europe/Berlin"),
         25 * 3600,
         false,
         {"2024-10-27 00:00"}},
        // Daylight saving began at midnight: 4 November 2018 starts at 01:00.
        {"Sao Paulo, over the missing midnight",
         "America/Sao_Paulo",
         local(2018, 11, 3, 23, 30, "America/Sao_Paulo"),
         3600,
         false,
         {"2018-11-03 23:30", "2018-11-04 01:00"}},
        {"Sao Paulo, the day without midnight, all day",
         "America/Sao_Paulo",
         local(2018, 11, 4, 1, 0, "America/Sao_Paulo"),
         82800,
         true,
         {"2018-11-04 01:00"}},
        // Samoa skipped 30 December 2011.
        {"Apia, over the skipped day",
         "Pacific/Apia",
         local(2011, 12, 29, 22, 0, "Pacific/Apia"),
         4 * 3600,
         false,
         {"2011-12-29 22:00", "2011-12-31 00:00"}},
        {"Apia, two all-day days",
         "Pacific/Apia",
         local(2011, 12, 29, 0, 0, "Pacific/Apia"),
         2 * 86400,
         true,
         {"2011-12-29 00:00", "2011-12-31 00:00"}},
    };
    for (const SpreadCase& c : cases) {
        const Calendar k = gregorianIn(c.zone);
        auto e = CalEvent::initWithStartTime(c.start, c.duration, QStringLiteral("e"), {}, nullptr);
        e->setIsAllDay(c.allDay);
        const auto days = e->adjustedDaysForCalendar(k);
        std::vector<std::string> got;
        for (const CalEventDay& d : days) {
            got.push_back(d.date()
                              .toQDateTime()
                              .toTimeZone(QTimeZone(c.zone))
                              .toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                              .toStdString());
            EXPECT_EQ(d.event(), e) << c.name;
        }
        EXPECT_EQ(got, std::vector<std::string>(c.days.begin(), c.days.end())) << c.name;
        ASSERT_FALSE(days.empty());
        EXPECT_TRUE(days.front().isFirst()) << c.name;
        EXPECT_TRUE(days.back().isLast()) << c.name;
        for (size_t i = 1; i + 1 < days.size(); ++i) {
            EXPECT_FALSE(days[i].isFirst() || days[i].isLast()) << c.name;
        }
        if (days.size() > 1) {
            EXPECT_FALSE(days.front().isLast()) << c.name;
            EXPECT_FALSE(days.back().isFirst()) << c.name;
        }
        EXPECT_EQ(days.front().startTime().has_value(), !c.allDay) << c.name;
        // The day components are those of the calendar's own zone.
        int16_t day = 0;
        days.back().valueOfYear(nullptr, nullptr, &day, nullptr);
        EXPECT_EQ(day, std::stoi(std::string(c.days.back()).substr(8, 2))) << c.name;
    }
}

TEST_F(CalendarData, EventDaysAreCachedForOneCalendar) {
    auto e = CalEvent::initWithStartTime(local(2024, 5, 14, 23, 0, "UTC"), 7200, {}, {}, nullptr);
    const Calendar utc = gregorianIn("UTC");
    const Calendar tokyo =
        Calendar::create(QStringLiteral("japanese")).withTimeZone(QTimeZone("Asia/Tokyo"));
    EXPECT_EQ(e->adjustedDaysForCalendar(utc).size(), 2u);
    EXPECT_EQ(e->adjustedDaysForCalendar(tokyo).size(), 1u);          // 08:00-10:00 in Tokyo
    EXPECT_EQ(e->adjustedDaysForCalendar(tokyo).front().era(), 236);  // Reiwa
}

TEST_F(CalendarData, DaysOfOneMomentPutAllDayFirstThenBySource) {
    auto first = CalSource::initWithToken(QStringLiteral("a"), QStringLiteral("A"), QUrl());
    auto second = CalSource::initWithToken(QStringLiteral("b"), QStringLiteral("B"), QUrl());
    second->setOrder(0);
    const Date midnight = local(2024, 5, 14, 0, 0, "UTC");
    auto timed = CalEvent::initWithStartTime(midnight, 60, {}, {}, second);
    auto allDay = CalEvent::initWithStartTime(midnight, 86400, {}, {}, first);
    allDay->setIsAllDay(true);
    const Calendar k = gregorianIn("UTC");
    const CalEventDay t = timed->adjustedDaysForCalendar(k).front();
    const CalEventDay a = allDay->adjustedDaysForCalendar(k).front();
    EXPECT_LT(a.compare(t), 0);
    EXPECT_GT(t.compare(a), 0);
    EXPECT_EQ(a.mark().displayColor, first->displayColor());
    EXPECT_TRUE(a.mark().isFirst && a.mark().isLast);
    auto sourceless = CalEvent::initWithStartTime(midnight, 60, {}, {}, nullptr);
    const CalEventDay s = sourceless->adjustedDaysForCalendar(k).front();
    EXPECT_GT(s.compare(t), 0);  // no source sorts last, and nothing crashes
    EXPECT_EQ(s.toolTip(), QString());
}

TEST_F(CalendarData, MonthGeometryAndEdges) {
    CalMonth::setFirstWeekDay(1);
    const Calendar k = gregorianIn("UTC");
    // February 2015 starts on a Sunday: offset 0, four rows.
    auto feb = CalMonth::initWithDate(local(2015, 2, 10, 12, 0, "UTC"), k);
    EXPECT_EQ(feb->firstDayOffset(), 0);
    EXPECT_EQ(feb->numRows(), 4);
    EXPECT_EQ(feb->maxDay(), 28);
    EXPECT_EQ(feb->lastMaxDay(), 31);
    // May 2024 starts on a Wednesday: offset 3; row 0 column 0 is 28 April.
    auto may = CalMonth::initWithDate(local(2024, 5, 15, 12, 0, "UTC"), k);
    bool inMonth = true;
    EXPECT_EQ(may->firstDayOffset(), 3);
    EXPECT_EQ(may->dateForRow(0, 0, &inMonth), 28);
    EXPECT_FALSE(inMonth);
    int32_t row = 0;
    int32_t col = 0;
    may->cellForDate(31, &row, &col);
    EXPECT_EQ(row, 4);
    EXPECT_EQ(col, 5);
    EXPECT_EQ(may->dayOfDate(local(2024, 6, 1, 0, 0, "UTC")), -1);
    EXPECT_EQ(may->dayOfToday(), 15);
    // The last minute belongs to the month.
    EXPECT_EQ(may->dayOfDate(local(2024, 5, 31, 23, 59, "UTC").addingTimeInterval(30)), 31);
    EXPECT_EQ(may->name(), QStringLiteral("May"));
    EXPECT_EQ(may->weekDays(true).front(), QStringLiteral("S"));
    EXPECT_EQ(may->descriptionForDay(15), QStringLiteral("Wednesday, May 15, 2024"));
    EXPECT_FALSE(may->descriptionForDay(15, Calendar()));
    EXPECT_NE(may->descriptionForDay(15, Calendar::create(QStringLiteral("hebrew")))
                  ->indexOf(QStringLiteral("Iyar")),
              -1);
    // January 2021 starts in ISO week 53 (Monday first): the rows after it count 1, 2, ...
    CalMonth::setFirstWeekDay(2);
    auto jan = CalMonth::initWithDate(local(2021, 1, 10, 12, 0, "UTC"), k);
    EXPECT_EQ(jan->weekNumForRow(0), 53);
    EXPECT_EQ(jan->weekNumForRow(1), 1);
    EXPECT_EQ(jan->weekNumForRow(4), 4);
    EXPECT_EQ(jan->weekDays(false).front(), QStringLiteral("Mon"));
}

class RecordingBackEnd : public CalendarBackEnd {
  public:
    void loadEventsInBatch(const std::shared_ptr<CalMonth>& month) override {
        asked.push_back(month);
    }
    bool canLoadEvents() override { return ready; }
    std::vector<std::weak_ptr<CalMonth>> asked;
    bool ready = true;
};

// A month's events by the back end that delivered them, without asking one: the windows
// drop those of a back end that will not load (not chosen, signed out, no access).
TEST_F(CalendarData, AMonthDropsTheEventsOfBackEndsThatDoNotLoad) {
    platform::MemoryPreferenceStore store{QStringLiteral("test")};
    platform::UserDefaults defaults{store};
    RecordingBackEnd apple;
    RecordingBackEnd google;
    CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, &apple);
    CalendarBackEnds::install(CalendarBackEnds::Kind::Google, &google);
    struct Case {
        bool googleChosen, appleReady, googleReady;
        QStringList kept;
        int appleAsked, googleAsked;
        bool loads;
    };
    const Case cases[] = {
        {true, true, true, {"Lunch", "Standup"}, 1, 1, true},
        {false, true, true, {"Lunch"}, 1, 0, true},
        {true, true, false, {"Lunch"}, 1, 0, true},  // signed out of Google
        {true, false, true, {"Standup"}, 0, 1, true},
        {true, false, false, {}, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kept.join(QLatin1Char(',')).toStdString());
        defaults.setObject(c.googleChosen ? QStringLiteral("Google") : QStringLiteral("Apple"),
                           QStringLiteral("SelectedCalendar"));
        apple.ready = c.appleReady;
        google.ready = c.googleReady;
        apple.asked.clear();
        google.asked.clear();
        auto month = CalMonth::initWithDate(clock.now(), gregorianIn("UTC"));
        for (const auto& [title, kind] : {std::pair{"Lunch", CalendarBackEnds::Kind::Apple},
                                          std::pair{"Standup", CalendarBackEnds::Kind::Google}}) {
            auto e = CalEvent::initWithStartTime(clock.now(), 600, QString::fromLatin1(title),
                                                 QString(), nullptr);
            e->setOrigin(kind);
            month->addEvent(e->adjustedDaysForCalendar(month->calendar()).front(), 1);
        }
        EXPECT_EQ(CalendarBackEnds::loadMonth(month, defaults), c.loads);
        QStringList kept;
        if (const auto* events = month->eventsForDay(1)) {
            for (const CalEventDay& d : *events) {
                kept << d.title();
            }
        }
        EXPECT_EQ(kept, c.kept);
        EXPECT_EQ(static_cast<int>(apple.asked.size()), c.appleAsked);
        EXPECT_EQ(static_cast<int>(google.asked.size()), c.googleAsked);
    }
    CalendarBackEnds::install(CalendarBackEnds::Kind::Google, nullptr);
    CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, nullptr);
}

TEST_F(CalendarData, MonthsLoadFromTheSelectedBackEnd) {
    platform::MemoryPreferenceStore store{QStringLiteral("test")};
    platform::UserDefaults defaults{store};
    platform::UserDefaults::setStandard(&defaults);
    RecordingBackEnd apple;
    RecordingBackEnd google;
    CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, &apple);
    CalendarBackEnds::install(CalendarBackEnds::Kind::Google, &google);
    auto month = CalMonth::initWithDate(clock.now(), gregorianIn("UTC"));
    month->loadEvents();
    defaults.setObject(QStringLiteral("Google"), QStringLiteral("SelectedCalendar"));
    month->loadEvents();
    // This computer's calendars are asked whichever is chosen; Google's only when chosen.
    EXPECT_EQ(apple.asked.size(), 2u);
    EXPECT_EQ(google.asked.size(), 1u);
    CalendarBackEnds::install(CalendarBackEnds::Kind::Google, nullptr);
    month->loadEvents();  // none installed: nothing, no crash

    // One made on demand is made when first chosen, once; until then nothing asks for it.
    int made = 0;
    RecordingBackEnd later;
    CalendarBackEnds::installLazily(CalendarBackEnds::Kind::Google, [&] {
        ++made;
        return &later;
    });
    defaults.setObject(QStringLiteral("Apple"), QStringLiteral("SelectedCalendar"));
    month->loadEvents();
    EXPECT_EQ(made, 0);
    defaults.setObject(QStringLiteral("Google"), QStringLiteral("SelectedCalendar"));
    month->loadEvents();
    month->loadEvents();
    EXPECT_EQ(made, 1);
    EXPECT_EQ(later.asked.size(), 2u);
    EXPECT_EQ(CalendarBackEnds::installed(CalendarBackEnds::Kind::Google), &later);
    // Installing in its place drops the maker.
    CalendarBackEnds::installLazily(CalendarBackEnds::Kind::Google, [&] {
        ++made;
        return &later;
    });
    CalendarBackEnds::install(CalendarBackEnds::Kind::Google, nullptr);
    EXPECT_EQ(CalendarBackEnds::installed(CalendarBackEnds::Kind::Google), nullptr);
    EXPECT_EQ(made, 1);
    CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, nullptr);
    platform::UserDefaults::setStandard(nullptr);
}

TEST_F(CalendarData, IndexFilesEventsIntoEveryMonthTheyTouch) {
    MonthIndex index(gregorianIn("UTC"));
    index.monthsInRange(-1, 1);
    ASSERT_EQ(index.firstMonthRef()->month()->month(), 4);
    ASSERT_EQ(index.lastMonthRef()->month()->month(), 6);
    auto on = CalSource::initWithToken(QStringLiteral("on"), QStringLiteral("On"), QUrl());
    auto off = CalSource::initWithToken(QStringLiteral("off"), QStringLiteral("Off"), QUrl());
    on->setEnabled(true);
    off->setEnabled(true);
    // Three days over the end of April, and an event in the last minute of May.
    auto trip = CalEvent::initWithStartTime(local(2024, 4, 30, 9, 0, "UTC"), 2 * 86400,
                                            QStringLiteral("trip"), {}, on);
    auto late = CalEvent::initWithStartTime(local(2024, 5, 31, 23, 59, "UTC"), 30,
                                            QStringLiteral("late"), {}, off);
    index.addEvents({late, trip});
    const auto* april30 = index.eventsForDate(local(2024, 4, 30, 12, 0, "UTC"));
    const auto* may2 = index.eventsForDate(local(2024, 5, 2, 12, 0, "UTC"));
    const auto* may31 = index.eventsForDate(local(2024, 5, 31, 12, 0, "UTC"));
    ASSERT_TRUE(april30 && may2 && may31);
    EXPECT_TRUE(april30->front().isFirst());
    EXPECT_TRUE(may2->front().isLast());
    EXPECT_EQ(may31->front().title(), QStringLiteral("late"));
    EXPECT_EQ(index.eventsForDate(local(2024, 9, 1, 12, 0, "UTC")), nullptr);  // not in the chain
    off->setEnabled(false);
    index.monthsInRange(0, 0);
    EXPECT_EQ(index.eventsForDate(local(2024, 5, 31, 12, 0, "UTC")), nullptr);
    EXPECT_NE(index.eventsForDate(local(2024, 5, 1, 12, 0, "UTC")), nullptr);
    clock.set(local(2024, 8, 3, 0, 0, "UTC"));
    index.updateCurrentMonth();
    EXPECT_EQ(index.currentMonthRef()->month()->month(), 8);
    EXPECT_EQ(index.lastMonthRef()->month()->month(), 8);
    EXPECT_NE(index.debug().indexOf(QStringLiteral("August 2024 (current)")), -1);
}

}  // namespace
}  // namespace talvor
