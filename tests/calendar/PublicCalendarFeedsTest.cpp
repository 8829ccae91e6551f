// The built-in public calendars: their names, and their events read without an account from
// their public iCalendar feeds, here served by a loopback server.
#include "calendar/AppleCal.h"
#include "calendar/CalMonth.h"
#include "calendar/CalSource.h"
#include "calendar/CalendarBackEnd.h"
#include "calendar/PublicCalendarFeeds.h"
#include "calendar/PublicCalendarNames.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"
#include "support/FakeCalendarStore.h"
#include "support/FakeClock.h"
#include "support/LoopbackHttpServer.h"
#include "support/ScopedMachineZone.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

namespace talvor {
namespace {

using namespace std::chrono_literals;

Date utc(const char* iso) {
    QDateTime t = QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
    t.setTimeZone(QTimeZone::utc());
    return Date::fromQDateTime(t);
}

std::string feed(const char* summary, const char* day) {
    return std::string(
               "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//Holidays//EN\r\n"
               "BEGIN:VEVENT\r\nUID:") +
           day + "@example\r\nDTSTART;VALUE=DATE:" + day + "\r\nSUMMARY:" + summary +
           "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

CalSourcePtr builtIn(const char* key) {
    const QString id = QStringLiteral("en.") + QLatin1String(key) +
                       QStringLiteral("#holiday@group.v.calendar.google.com");
    for (const CalSourcePtr& s : CalSource::publicCalendars()) {
        if (s->identifier() == id) {
            return s;
        }
    }
    for (const CalSourcePtr& s : CalSource::publicCalendars_Religious()) {
        if (s->identifier() == id) {
            return s;
        }
    }
    return nullptr;
}

class PublicFeeds : public ::testing::Test {
  protected:
    PublicFeeds() {
        CalSource::resetRegistryForTesting();
        platform::Clock::setShared(&clock);
        store.setDefaults(&defaults);
        platform::CalendarStore::setAuthorizationStatus(defaults,
                                                        platform::CalendarAccess::Authorized);
        http.server().Get(R"(/ical/(.*)/public/basic\.ics)",
                          [this](const httplib::Request& req, httplib::Response& res) {
                              std::lock_guard lock(mutex);
                              paths.push_back(req.path);
                              res.status = status;
                              res.set_content(body, contentType);
                          });
        http.start();
        feeds = std::make_unique<PublicCalendarFeeds>(settings());
        PublicCalendarFeeds::setShared(feeds.get());
        reloads = platform::NotificationCenter::defaultCenter().addObserver(
            QStringLiteral("loadCalendarEvents"), QVariant(),
            [this](const platform::Notification&) { ++reloadsAsked; });
    }
    ~PublicFeeds() override {
        PublicCalendarFeeds::setShared(nullptr);
        feeds.reset();
        http.stop();
        platform::CalendarStore::setConsentPrompt(nullptr);
        platform::Clock::setShared(nullptr);
        CalSource::resetRegistryForTesting();
    }

    PublicCalendarFeeds::Settings settings() const {
        PublicCalendarFeeds::Settings s;
        s.base = QUrl(QString::fromStdString(http.url("/ical")));
        s.language = QStringLiteral("en");
        s.limits.maxBytes = 16 * 1024;
        s.limits.timeout = 5s;
        return s;
    }
    void serve(int code, std::string text, std::string type = "text/calendar") {
        std::lock_guard lock(mutex);
        status = code;
        body = std::move(text);
        contentType = std::move(type);
    }
    size_t requests() {
        std::lock_guard lock(mutex);
        return paths.size();
    }
    QString cacheFile(const char* key) const {
        return sandbox.root() + QStringLiteral("/cache/talvor/PublicCalendars/en.") +
               QLatin1String(key) +
               QStringLiteral("#holiday@group.v.calendar.google.com/basic.ics");
    }
    // A feed kept in the cache, written `age` ago.
    void writeCached(const char* key, const std::string& text, std::chrono::hours age) const {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(cacheFile(key)).absolutePath()));
        QFile file(cacheFile(key));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray::fromStdString(text));
        file.close();  // a write after setting the time would move it again
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600 * age.count()),
                                     QFileDevice::FileModificationTime));
    }
    // The titles of the month's filed days, "day: title".
    static QStringList filed(const CalMonth& month) {
        QStringList out;
        for (int32_t day : month.allEventDays()) {
            for (const CalEventDay& e : *month.eventsForDay(day)) {
                out << QString::number(day) + QStringLiteral(": ") + e.title();
            }
        }
        return out;
    }
    // Loads the month through the back end of this computer until `wanted` shows.
    bool loadUntil(const CalMonthPtr& month, const QStringList& wanted) {
        return QTest::qWaitFor(
            [&] {
                apple.loadEventsInBatch(month);
                return filed(*month) == wanted;
            },
            10000);
    }

    test::ScopedMachineZone machine{"UTC", "en_US"};
    test::XdgSandbox sandbox;
    test::FakeClock clock{utc("2026-12-10T09:00:00"), QTimeZone::utc()};
    platform::MemoryPreferenceStore prefs{QStringLiteral("test")};
    platform::UserDefaults defaults{prefs};
    test::FakeCalendarStore store;
    AppleCal apple{&store};
    test::LoopbackHttpServer http;
    std::mutex mutex;
    std::vector<std::string> paths;
    int status = 200;
    std::string body = feed("Christmas Day", "20261225");
    std::string contentType = "text/calendar";
    std::unique_ptr<PublicCalendarFeeds> feeds;
    platform::Observation reloads;
    int reloadsAsked = 0;
    test::LogCapture log;
};

TEST(PublicCalendarNames, EveryHolidayCalendarIsNamedAndCountriesAsICUNamesThem) {
    test::ScopedMachineZone machine{"UTC", "en_US"};
    CalSource::resetRegistryForTesting();
    QStringList unnamed;
    for (const CalSourcePtr& s : CalSource::publicCalendars()) {
        const QString key =
            s->identifier().section(QLatin1Char('.'), 1).section(QLatin1Char('#'), 0, 0);
        if (s->name() == key || s->name().isEmpty()) {
            unnamed << key;
        }
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(QLatin1Char(' ')).toStdString();
    const icu::Locale english("en_US");
    const icu::Locale german("de_DE");
    struct Case {
        const char* key;
        const icu::Locale& locale;
        const char* name;
    };
    for (const Case& c :
         {Case{"af", english, "Afghanistan"}, Case{"usa", english, "United States"},
          Case{"uk", english, "United Kingdom"}, Case{"german", english, "Germany"},
          Case{"german", german, "Deutschland"}, Case{"new_zealand", english, "New Zealand"},
          Case{"sa", english, "South Africa"}, Case{"saudiarabian", english, "Saudi Arabia"},
          Case{"jewish", english, "Israel"}, Case{"judaism", english, "Jewish Holidays"},
          Case{"orthodox_christianity", english, "Orthodox Christian Holidays"},
          Case{"#daynum", english, "Day of the Year"},
          Case{"no_such_calendar", english, "no_such_calendar"}}) {
        EXPECT_EQ(publicCalendarName(QLatin1String(c.key), c.locale), QLatin1String(c.name))
            << c.key;
    }
    // The lists are sorted by what they show.
    const auto& holidays = CalSource::publicCalendars();
    EXPECT_TRUE(std::is_sorted(holidays.begin(), holidays.end(), [](const auto& a, const auto& b) {
        return a->compareNames(*b) < 0;
    }));
    CalSource::resetRegistryForTesting();
}

// Two rows of one name in the pane cannot be told apart: every built-in calendar's name is its
// own, in each language, whether it comes from ICU or from our table.
TEST(PublicCalendarNames, NoTwoBuiltInCalendarsShareAName) {
    test::ScopedMachineZone machine{"UTC", "en_US"};
    CalSource::resetRegistryForTesting();
    // The key is the identifier's part between "en." and "#holiday", or before "@".
    const auto keyOf = [](const CalSource& s) {
        const QString id = s.identifier();
        return id.contains(QLatin1String("#holiday@"))
                   ? id.section(QLatin1Char('.'), 1).section(QLatin1String("#holiday@"), 0, 0)
                   : id.section(QLatin1Char('@'), 0, 0);
    };
    QStringList keys;
    for (const auto* list : {&CalSource::publicCalendars(), &CalSource::publicCalendars_Religious(),
                             &CalSource::publicCalendars_Misc()}) {
        for (const CalSourcePtr& s : *list) {
            keys << keyOf(*s);
        }
    }
    ASSERT_EQ(keys.size(), 228 + 4 + 3);
    EXPECT_EQ(keys.removeDuplicates(), 0);
    for (const char* language : {"en_US", "de_DE", "fr_FR", "es_ES", "ja_JP", "ar_SA"}) {
        SCOPED_TRACE(language);
        const icu::Locale locale(language);
        QHash<QString, QString> keyOfName;
        QStringList clashes;
        for (const QString& key : keys) {
            const QString name = publicCalendarName(key, locale);
            EXPECT_NE(name, key) << "unnamed: " << key.toStdString();
            if (const auto it = keyOfName.constFind(name); it != keyOfName.constEnd()) {
                clashes << it.value() + QLatin1Char('/') + key + QStringLiteral(": ") + name;
            }
            keyOfName.insert(name, key);
        }
        EXPECT_TRUE(clashes.isEmpty()) << clashes.join(QStringLiteral("; ")).toStdString();
    }
    // And as the pane shows them.
    QHash<QString, QString> shown;
    for (const auto* list : {&CalSource::publicCalendars(), &CalSource::publicCalendars_Religious(),
                             &CalSource::publicCalendars_Misc()}) {
        for (const CalSourcePtr& s : *list) {
            EXPECT_FALSE(shown.contains(s->name()))
                << s->name().toStdString() << ": " << shown.value(s->name()).toStdString()
                << " and " << keyOf(*s).toStdString();
            shown.insert(s->name(), keyOf(*s));
        }
    }
    CalSource::resetRegistryForTesting();
}

TEST_F(PublicFeeds, ATickedHolidayCalendarShowsWithoutAnAccountAndIsCached) {
    const CalSourcePtr usa = builtIn("usa");
    ASSERT_NE(usa, nullptr);
    EXPECT_EQ(
        feeds->feedUrl(*usa).toString(QUrl::FullyEncoded),
        QString::fromStdString(http.url("/ical")) +
            QStringLiteral("/en.usa%23holiday%40group.v.calendar.google.com/public/basic.ics"));
    auto december = CalMonth::initWithDate(utc("2026-12-15T12:00:00"), Calendar());
    apple.loadEventsInBatch(december);
    EXPECT_TRUE(filed(*december).isEmpty()) << "nothing ticked";
    EXPECT_EQ(requests(), 0u);

    usa->setEnabled(true);
    apple.loadEventsInBatch(december);  // returns at once; the feed comes later
    ASSERT_TRUE(loadUntil(december, {QStringLiteral("25: Christmas Day")}));
    EXPECT_GT(reloadsAsked, 0) << "the windows are told to load again";
    EXPECT_EQ(december->eventsForDay(25)->front().source(), usa);
    EXPECT_TRUE(december->eventsForDay(25)->front().event()->isAllDay());
    EXPECT_EQ(requests(), 1u) << "fetched once, then read from the cache";
    EXPECT_TRUE(QFile::exists(cacheFile("usa")));

    // Unticked, it goes at the next load.
    usa->setEnabled(false);
    apple.loadEventsInBatch(december);
    EXPECT_TRUE(filed(*december).isEmpty());

    // The next start reads the cache while it is fresh, asking nobody.
    usa->setEnabled(true);
    feeds = std::make_unique<PublicCalendarFeeds>(settings());
    PublicCalendarFeeds::setShared(feeds.get());
    ASSERT_TRUE(loadUntil(december, {QStringLiteral("25: Christmas Day")}));
    EXPECT_EQ(requests(), 1u);
}

// The holiday calendars need no access to this computer's calendars and no account: when
// access is refused or not yet answered, and Google is not chosen, a ticked one still shows
// in the months the windows load.
TEST_F(PublicFeeds, ATickedHolidayCalendarShowsWithoutCalendarAccess) {
    const CalSourcePtr usa = builtIn("usa");
    ASSERT_NE(usa, nullptr);
    usa->setEnabled(true);
    CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, &apple);
    int loaded = 0;
    const platform::Observation loads = platform::NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("EventsLoaded"), QVariant(),
        [&loaded](const platform::Notification&) { ++loaded; });
    for (const auto access :
         {platform::CalendarAccess::Denied, platform::CalendarAccess::NotDetermined}) {
        SCOPED_TRACE(static_cast<int>(access));
        platform::CalendarStore::setAuthorizationStatus(defaults, access);
        auto december = CalMonth::initWithDate(utc("2026-12-15T12:00:00"), Calendar());
        loaded = 0;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                CalendarBackEnds::loadMonth(december, defaults);
                return filed(*december) == QStringList{QStringLiteral("25: Christmas Day")};
            },
            10000))
            << filed(*december).join(QLatin1Char(',')).toStdString();
        EXPECT_GT(loaded, 0) << "the windows are told the month is loaded";
    }
    // Unticked, it goes at the next load, as with access.
    usa->setEnabled(false);
    auto december = CalMonth::initWithDate(utc("2026-12-15T12:00:00"), Calendar());
    december->addEvent(CalEvent::initWithStartTime(utc("2026-12-25T00:00:00"), 86400,
                                                   QStringLiteral("Stale"), QString(), usa)
                           ->adjustedDaysForCalendar(december->calendar())
                           .front(),
                       25);
    CalendarBackEnds::loadMonth(december, defaults);
    EXPECT_TRUE(filed(*december).isEmpty())
        << filed(*december).join(QLatin1Char(',')).toStdString();
    CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, nullptr);
}

TEST_F(PublicFeeds, AnOutdatedFeedShowsUntilItsNewVersionArrives) {
    const CalSourcePtr usa = builtIn("usa");
    ASSERT_NE(usa, nullptr);
    usa->setEnabled(true);
    // Older than the calendar's refresh interval (a day).
    writeCached("usa", feed("Old Holiday", "20261224"), 48h);
    auto december = CalMonth::initWithDate(utc("2026-12-15T12:00:00"), Calendar());
    ASSERT_TRUE(loadUntil(december, {QStringLiteral("25: Christmas Day")}));
    EXPECT_EQ(requests(), 1u);
}

TEST_F(PublicFeeds, AFeedThatCannotBeHadIsLoggedOnceAndKeepsTheCachedOne) {
    struct Case {
        const char* name;
        int status;
        std::string body;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"not found", 404, "no such calendar", "Not Found"},
        {"larger than the cap", 200, feed(std::string(20000, 'x').c_str(), "20261225"), ""},
        {"not a calendar", 200, "<html>Sign in</html>", "no iCalendar"},
    };
    const CalSourcePtr usa = builtIn("usa");
    ASSERT_NE(usa, nullptr);
    usa->setEnabled(true);
    auto december = CalMonth::initWithDate(utc("2026-12-15T12:00:00"), Calendar());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A cached feed of the day before yesterday, out of date.
        writeCached("usa", feed("Cached Holiday", "20261224"), 48h);
        feeds = std::make_unique<PublicCalendarFeeds>(settings());
        PublicCalendarFeeds::setShared(feeds.get());
        serve(c.status, c.body);
        const size_t before = requests();
        const int logged = static_cast<int>(log.lines().size());

        ASSERT_TRUE(loadUntil(december, {QStringLiteral("24: Cached Holiday")}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !feeds->isFetching(); }, 10000));
        ASSERT_TRUE(feeds->failure(*usa).has_value());
        EXPECT_TRUE(feeds->failure(*usa)->contains(QLatin1String(c.says)))
            << feeds->failure(*usa)->toStdString();
        const QStringList lines = log.lines().mid(logged);
        EXPECT_EQ(lines.filter(QStringLiteral("United States")).size(), 1)
            << lines.join(QLatin1Char('\n')).toStdString();
        // Loading again soon asks the server nothing more, and shows the cached feed.
        apple.loadEventsInBatch(december);
        EXPECT_EQ(filed(*december), QStringList{QStringLiteral("24: Cached Holiday")});
        EXPECT_EQ(requests(), before + 1);
        QFile kept(cacheFile("usa"));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_TRUE(kept.readAll().contains("Cached Holiday"));
    }
}

TEST_F(PublicFeeds, StoppingAtQuitEndsTheFetchUnderWay) {
    std::atomic<bool> release{false};
    http.stop();
    test::LoopbackHttpServer slow;
    slow.server().Get(R"(/ical/(.*)/public/basic\.ics)",
                      [&](const httplib::Request&, httplib::Response& res) {
                          for (int i = 0; i < 1000 && !release; ++i) {
                              std::this_thread::sleep_for(10ms);
                          }
                          res.set_content(feed("Late", "20261225"), "text/calendar");
                      });
    slow.start();
    PublicCalendarFeeds::Settings s = settings();
    s.base = QUrl(QString::fromStdString(slow.url("/ical")));
    feeds = std::make_unique<PublicCalendarFeeds>(s);
    PublicCalendarFeeds::setShared(feeds.get());
    const CalSourcePtr usa = builtIn("usa");
    ASSERT_NE(usa, nullptr);
    usa->setEnabled(true);
    auto december = CalMonth::initWithDate(utc("2026-12-15T12:00:00"), Calendar());
    apple.loadEventsInBatch(december);
    ASSERT_TRUE(feeds->isFetching());
    feeds->stop();
    EXPECT_FALSE(feeds->isFetching());
    release = true;
    QTest::qWait(100);
    apple.loadEventsInBatch(december);
    EXPECT_TRUE(filed(*december).isEmpty());
    EXPECT_FALSE(feeds->isFetching()) << "nothing new starts once stopped";
    EXPECT_FALSE(QFile::exists(cacheFile("usa")));
    slow.stop();
}

}  // namespace
}  // namespace talvor
