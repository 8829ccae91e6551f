// The Google back end against a Google of the test's own on 127.0.0.1: sign-in in a
// "browser" that follows the authorization page's redirect back to our listener, the
// keyring, the calendar list, a month's events, creating and deleting events, failures.
// Every test ends by searching the captured log for each token and secret handed out.
#include "calendar/CalMonth.h"
#include "calendar/GCalender.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/FakeBrowserOpener.h"
#include "support/FakeClock.h"
#include "support/FakeGoogleServer.h"
#include "support/FakeSecretStore.h"
#include "support/ManualScheduler.h"
#include "support/ScopedMachineZone.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string_view>

namespace talvor {
namespace {

using namespace std::chrono_literals;
using test::FakeGoogleServer;

Date berlin(int y, int m, int d, int h = 0, int min = 0) {
    return Date::fromQDateTime(
        QDateTime(QDate(y, m, d), QTime(h, min), QTimeZone(QByteArrayLiteral("Europe/Berlin"))));
}

QJsonObject timed(const char* start, const char* end) {
    return {
        {QStringLiteral("start"), QJsonObject{{QStringLiteral("dateTime"), QLatin1String(start)}}},
        {QStringLiteral("end"), QJsonObject{{QStringLiteral("dateTime"), QLatin1String(end)}}}};
}

QJsonObject event(const QString& id, const QString& summary, QJsonObject times) {
    times.insert(QStringLiteral("id"), id);
    times.insert(QStringLiteral("summary"), summary);
    times.insert(QStringLiteral("status"), QStringLiteral("confirmed"));
    return times;
}

QJsonObject calendar(const char* id, const char* summary, std::optional<bool> selected,
                     const char* colour = "#9fe1e7") {
    QJsonObject o{{QStringLiteral("id"), QLatin1String(id)},
                  {QStringLiteral("summary"), QLatin1String(summary)},
                  {QStringLiteral("backgroundColor"), QLatin1String(colour)},
                  {QStringLiteral("accessRole"), QStringLiteral("owner")}};
    if (selected) {
        o.insert(QStringLiteral("selected"), *selected);
    }
    return o;
}

struct Outcome {
    int calls = 0;
    bool ok = false;
    QString message;
};

class GoogleCalendar : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::setShared(&clock);
        CalSource::resetRegistryForTesting();
        savedDebug = myDebug;
        myDebug = 1;  // the diagnostic lines must not leak either
        browser.browse = [this](const QUrl& url) { userAgrees(url); };
        cal = std::make_unique<GCalender>(services());
    }
    void TearDown() override {
        cal.reset();
        myDebug = savedDebug;
        platform::Clock::setShared(nullptr);
        CalSource::resetRegistryForTesting();
        for (const QString& secret : server.secrets()) {
            for (const QString& line : log.lines()) {
                EXPECT_FALSE(line.contains(secret))
                    << "a secret in the log: " << line.toStdString();
            }
        }
    }

    GCalender::Services services(std::chrono::milliseconds timeout = 10s,
                                 const GoogleLimits& limits = {}) {
        GCalender::Services s;
        s.limits = limits;
        s.network = &network;
        s.scheduler = &scheduler;
        s.secrets = &secrets;
        s.browser = &browser;
        s.center = &center;
        s.endpoints = GoogleEndpoints::under(server.base());
        s.credentials = {FakeGoogleServer::kClientId, FakeGoogleServer::kClientSecret};
        s.signInTimeout = timeout;
        return s;
    }

    // The user in the browser: the authorization page answers with a redirect, which the
    // browser follows to our listener.
    void userAgrees(const QUrl& url) {
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);
        QNetworkReply* page = network.get(request);
        QObject::connect(page, &QNetworkReply::finished, page, [this, page] {
            page->deleteLater();
            const QUrl back = page->header(QNetworkRequest::LocationHeader).toUrl();
            if (!back.isValid()) {
                browserPage = "no redirect";
                ++browserWalks;
                return;
            }
            QNetworkReply* landing = network.get(QNetworkRequest(back));
            QObject::connect(landing, &QNetworkReply::finished, landing, [this, landing] {
                landing->deleteLater();
                browserPage = landing->readAll();
                ++browserWalks;
            });
        });
    }

    // Waits for `done`. With passRetryWaits, time passes on the scheduler whenever a wait of
    // under a minute is next (a retry's): the deadlines, minutes away, never pass by themselves.
    bool waitUntil(const std::function<bool()>& done) {
        return QTest::qWaitFor(
            [&] {
                if (done()) {
                    return true;
                }
                const std::optional<Date> next = scheduler.nextFireDate();
                if (passRetryWaits && next && next->timeIntervalSince(clock.now()) < 60) {
                    scheduler.advanceTo(*next);
                }
                return done();
            },
            10000);
    }

    // Nothing more can come: every call has ended (each keeps its deadline on the scheduler,
    // the sign-in its time-out) and the completions they queued have run.
    void settle() {
        EXPECT_TRUE(QTest::qWaitFor([&] { return scheduler.activeTimerCount() == 0; }, 10000));
        QCoreApplication::processEvents();
    }

    Outcome signIn() {
        Outcome out;
        cal->loginToGoogle([&out](bool ok, const QString& message) {
            ++out.calls;
            out.ok = ok;
            out.message = message;
        });
        EXPECT_TRUE(waitUntil([&] { return out.calls > 0; }));
        return out;
    }

    std::pair<std::optional<std::vector<CalSourcePtr>>, QString> listCalendars() {
        bool done = false;
        std::pair<std::optional<std::vector<CalSourcePtr>>, QString> out;
        cal->loadPersonalSources(
            [&](const std::optional<std::vector<CalSourcePtr>>& sources, const QString& message) {
                out = {sources, message};
                done = true;
            });
        EXPECT_TRUE(waitUntil([&] { return done; }));
        return out;
    }

    Outcome wait(const std::function<void(GCalender::Completion)>& call) {
        Outcome out;
        call([&out](bool ok, const QString& message) {
            ++out.calls;
            out.ok = ok;
            out.message = message;
        });
        EXPECT_TRUE(waitUntil([&] { return out.calls > 0; }));
        return out;
    }

    // Loads the month and waits for "EventsLoaded"; titles by day.
    std::map<int, QStringList> load(const std::shared_ptr<CalMonth>& month, int* posts = nullptr) {
        int loaded = 0;
        platform::Observation watch = center.addObserver(QStringLiteral("EventsLoaded"), QVariant(),
                                                         [&](const auto&) { ++loaded; });
        cal->loadEventsInBatch(month);
        EXPECT_TRUE(waitUntil([&] { return loaded > 0; }));
        settle();  // a second post would have come by now
        if (posts) {
            *posts = loaded;
        }
        std::map<int, QStringList> byDay;
        for (int day = 1; day <= month->maxDay(); ++day) {
            if (const auto* events = month->eventsForDay(day)) {
                for (const CalEventDay& e : *events) {
                    byDay[day].append(e.title());
                }
            }
        }
        return byDay;
    }

    std::shared_ptr<CalMonth> month(int y, int m) {
        return CalMonth::initWithDate(
            berlin(y, m, 15, 12), Calendar::create(QStringLiteral("gregorian"))
                                      .withTimeZone(QTimeZone(QByteArrayLiteral("Europe/Berlin"))));
    }

    // The lines logged since `from` (an earlier count of them) that contain `part`.
    qsizetype loggedSince(qsizetype from, const QString& part) const {
        const QStringList lines = log.lines();
        return std::count_if(lines.begin() + std::min(from, lines.size()), lines.end(),
                             [&](const QString& line) { return line.contains(part); });
    }

    std::optional<GoogleAuthorization> kept() const {
        if (!secrets.items.contains(GCalender::kAuthorizationName)) {
            return std::nullopt;
        }
        return GoogleAuthorization::fromJson(secrets.items.value(GCalender::kAuthorizationName));
    }

    test::ScopedMachineZone machine{"Europe/Berlin", "en_US"};
    test::FakeClock clock{berlin(2026, 12, 10, 9, 0),
                          QTimeZone(QByteArrayLiteral("Europe/Berlin"))};
    test::ManualScheduler scheduler{clock};
    test::LogCapture log;
    FakeGoogleServer server;
    test::FakeSecretStore secrets{false};
    test::FakeBrowserOpener browser;
    QNetworkAccessManager network;
    platform::NotificationCenter center;
    QByteArray browserPage;
    int browserWalks = 0;  // the browser's visits that came to an end
    bool passRetryWaits = false;
    std::unique_ptr<GCalender> cal;
    int savedDebug = 0;
};

quint16 redirectPort(const QUrl& authorizationRequest) {
    return static_cast<quint16>(
        QUrl(QUrlQuery(authorizationRequest)
                 .queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded))
            .port());
}

bool accepts(const QHostAddress& address, quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(address, port);
    return socket.waitForConnected(1000);
}

TEST_F(GoogleCalendar, SignInStoresAuthorizationAndRestoresItLater) {
    EXPECT_FALSE(cal->isLoggedInViaGoogle());
    EXPECT_EQ(cal->loggedInUser(), QStringLiteral("NA"));

    const Outcome out = signIn();
    ASSERT_TRUE(out.ok) << out.message.toStdString();
    EXPECT_EQ(out.calls, 1);

    // What the browser was sent to: a loopback redirect, PKCE S256, both scopes.
    ASSERT_EQ(browser.opened.size(), 1);
    const QUrlQuery asked(browser.opened.front());
    const QUrl redirect(asked.queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded));
    EXPECT_EQ(redirect.host(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(asked.queryItemValue(QStringLiteral("code_challenge_method")),
              QStringLiteral("S256"));
    EXPECT_EQ(asked.queryItemValue(QStringLiteral("access_type")), QStringLiteral("offline"));
    const QString scope = asked.queryItemValue(QStringLiteral("scope"), QUrl::FullyDecoded);
    EXPECT_TRUE(scope.contains(QStringLiteral("/auth/calendar"))) << scope.toStdString();
    EXPECT_TRUE(scope.split(QLatin1Char(' ')).contains(QStringLiteral("email")));

    // The exchange: the code with its slashes intact, the verifier, the client's secret.
    const auto exchanges = server.requestsTo("/token");
    ASSERT_EQ(exchanges.size(), 1u);
    EXPECT_EQ(exchanges[0].params.value(QStringLiteral("code")), FakeGoogleServer::kCode);
    EXPECT_EQ(exchanges[0].params.value(QStringLiteral("code_verifier")).size(), 43);
    EXPECT_EQ(exchanges[0].params.value(QStringLiteral("client_secret")),
              FakeGoogleServer::kClientSecret);

    // Kept under the item's name, with the refresh token and the account.
    const std::optional<GoogleAuthorization> a = kept();
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->refreshToken, server.refreshToken());
    EXPECT_EQ(a->email, FakeGoogleServer::kEmail);
    EXPECT_TRUE(cal->isLoggedInViaGoogle());
    EXPECT_EQ(cal->loggedInUser(), FakeGoogleServer::kEmail);

    // The browser was told, and the listener is gone.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !browserPage.isEmpty(); }, 5000));
    EXPECT_TRUE(browserPage.contains("Signed in")) << browserPage.constData();
    EXPECT_FALSE(accepts(QHostAddress::LocalHost, static_cast<quint16>(redirect.port())));

    // A new start finds the sign-in without the browser.
    cal = std::make_unique<GCalender>(services());
    server.addCalendar(calendar("work@example.org", "Work", true));
    ASSERT_TRUE(cal->setUpAuthorizationService());
    EXPECT_TRUE(listCalendars().first.has_value());
    EXPECT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(cal->loggedInUser(), FakeGoogleServer::kEmail);
}

TEST_F(GoogleCalendar, RefusedSignInsReportOnceAndStoreNothing) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* messagePart;
        std::size_t exchanges = 0;
    };
    const std::vector<Case> cases = {
        {"state from another request",
         [&] { server.setRedirectState(QStringLiteral("forged-state")); }, "did not belong"},
        {"user refuses", [&] { server.setAuthorizationError(QStringLiteral("access_denied")); },
         "access_denied"},
        {"no browser", [&] { browser.opens = false; }, "browser"},
        {"no refresh token", [&] { server.setIssuesRefreshTokens(false); }, "no lasting sign-in",
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.setRedirectState(std::nullopt);
        server.setAuthorizationError(std::nullopt);
        server.setIssuesRefreshTokens(true);
        browser.opens = true;
        const std::size_t exchangesBefore = server.requestsTo("/token").size();
        cal = std::make_unique<GCalender>(services(300ms));
        c.arrange();
        const Outcome out = signIn();
        scheduler.advanceBy(0.6);  // past the time-out: no second report
        settle();
        EXPECT_EQ(out.calls, 1);
        EXPECT_FALSE(out.ok);
        EXPECT_TRUE(out.message.contains(QLatin1String(c.messagePart)))
            << out.message.toStdString();
        EXPECT_EQ(server.requestsTo("/token").size() - exchangesBefore, c.exchanges);
        EXPECT_FALSE(kept().has_value());
        EXPECT_FALSE(cal->isLoggedInViaGoogle());
        EXPECT_FALSE(accepts(QHostAddress::LocalHost, redirectPort(browser.opened.back())));
    }
}

TEST_F(GoogleCalendar, TimeOutReportsOnceAndStopsTheListener) {
    cal = std::make_unique<GCalender>(services(200ms));
    browser.browse = nullptr;  // the user never comes back
    Outcome out;
    cal->loginToGoogle([&out](bool ok, const QString& message) {
        ++out.calls;
        out.ok = ok;
        out.message = message;
    });
    ASSERT_EQ(browser.opened.size(), 1);
    const quint16 port = redirectPort(browser.opened.front());
    EXPECT_TRUE(accepts(QHostAddress::LocalHost, port));
    scheduler.advanceBy(0.19);
    QCoreApplication::processEvents();
    EXPECT_EQ(out.calls, 0) << "before its time";
    scheduler.advanceBy(0.02);
    ASSERT_TRUE(QTest::qWaitFor([&] { return out.calls > 0; }, 5000));
    scheduler.advanceBy(0.5);
    settle();
    EXPECT_EQ(out.calls, 1);
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.message, QStringLiteral("Time Out"));
    EXPECT_FALSE(cal->isSigningIn());
    EXPECT_FALSE(accepts(QHostAddress::LocalHost, port));

    // A browser that comes back late reaches nothing, and changes nothing.
    const int walks = browserWalks;
    userAgrees(browser.opened.front());
    ASSERT_TRUE(QTest::qWaitFor([&] { return browserWalks > walks; }, 5000));
    settle();
    EXPECT_EQ(out.calls, 1);
    EXPECT_FALSE(kept().has_value());
}

TEST_F(GoogleCalendar, ListenerAnswersOnLoopbackOnly) {
    browser.browse = nullptr;
    cal->loginToGoogle([](bool, const QString&) {});
    ASSERT_EQ(browser.opened.size(), 1);
    const quint16 port = redirectPort(browser.opened.front());
    EXPECT_TRUE(accepts(QHostAddress::LocalHost, port));
    int others = 0;
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.isLoopback() || address.protocol() != QAbstractSocket::IPv4Protocol) {
            continue;
        }
        ++others;
        EXPECT_FALSE(accepts(address, port)) << address.toString().toStdString();
    }
    if (others == 0) {
        GTEST_LOG_(INFO) << "no address but loopback here: only the loopback side was checked";
    }
}

TEST_F(GoogleCalendar, StaleTokensAreRefreshedAndTheCallRepeatedOnce) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        bool succeeds;
        std::size_t listRequests;
    };
    const std::vector<Case> cases = {
        {"service says 401", [&] { server.revokeAccessTokens(); }, true, 2},
        {"token ran out by the clock", [&] { clock.advance(3600); }, true, 1},
        {"401 again after refreshing",
         [&] {
             server.addFault(
                 {"/calendar/v3/users/me/calendarList", 401, R"({"error":{"code":401}})"});
             server.addFault(
                 {"/calendar/v3/users/me/calendarList", 401, R"({"error":{"code":401}})"});
         },
         false, 2},
    };
    server.addCalendar(calendar("work@example.org", "Work", true));
    ASSERT_TRUE(signIn().ok);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int refreshesBefore = server.refreshes();
        const std::size_t before = server.requestsTo("/calendar/v3/users/me/calendarList").size();
        c.arrange();
        const auto [sources, message] = listCalendars();
        EXPECT_EQ(sources.has_value(), c.succeeds) << message.toStdString();
        EXPECT_EQ(server.refreshes(), refreshesBefore + 1);
        EXPECT_EQ(server.requestsTo("/calendar/v3/users/me/calendarList").size() - before,
                  c.listRequests);
        // The keyring has the new token, and the refresh token is still there.
        ASSERT_TRUE(kept().has_value());
        EXPECT_EQ(kept()->accessToken, server.currentAccessToken());
        EXPECT_EQ(kept()->refreshToken, server.refreshToken());
    }
}

TEST_F(GoogleCalendar, ARefusedRenewalForgetsTheSignInAFailedOneKeepsIt) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        bool forgotten;
        const char* messagePart;
    };
    const std::vector<Case> cases = {
        {"the user took the access away", [&] { server.revokeAccess(); }, true, "sign in"},
        {"the token endpoint fails",
         [&] {
             server.revokeAccessTokens();
             server.addFault({"/token", 500, R"({"error":"internal_failure"})"});
         },
         false, "status 500"},
    };
    server.addCalendar(calendar("work@example.org", "Work", true));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cal = std::make_unique<GCalender>(services());
        ASSERT_TRUE(signIn().ok);
        const int opened = static_cast<int>(browser.opened.size());
        c.arrange();
        const auto [sources, message] = listCalendars();
        EXPECT_FALSE(sources.has_value());
        EXPECT_TRUE(message.contains(QLatin1String(c.messagePart))) << message.toStdString();
        EXPECT_EQ(kept().has_value(), !c.forgotten);
        EXPECT_EQ(cal->isLoggedInViaGoogle(), !c.forgotten);
        if (c.forgotten) {
            // Signing in again goes to Google, and works.
            ASSERT_TRUE(signIn().ok);
            EXPECT_EQ(static_cast<int>(browser.opened.size()), opened + 1);
            ASSERT_TRUE(kept().has_value());
            EXPECT_EQ(kept()->refreshToken, server.refreshToken());
        } else {
            ASSERT_TRUE(kept().has_value());
            EXPECT_EQ(kept()->refreshToken, server.refreshToken());
        }
        EXPECT_TRUE(listCalendars().first.has_value());
        ASSERT_TRUE(wait([&](auto done) { cal->logoutFromGoogle(done); }).ok);
    }
}

TEST_F(GoogleCalendar, CalendarsBecomeSourcesWithTheirSelectedValue) {
    server.setPageSize(2);  // three calendars: two pages
    server.addCalendar(calendar("a@example.org", "Shown", true, "#9fe1e7"));
    server.addCalendar(calendar("b@example.org", "Hidden", false, "#ff0000"));
    server.addCalendar(calendar("c@example.org", "Unsaid", std::nullopt, "#00ff00"));
    ASSERT_TRUE(signIn().ok);
    EXPECT_FALSE(cal->personalCalendarsLoaded());
    const auto [sources, message] = listCalendars();
    EXPECT_TRUE(cal->personalCalendarsLoaded());
    ASSERT_TRUE(sources.has_value()) << message.toStdString();
    ASSERT_EQ(sources->size(), 3u);
    struct Want {
        const char* id;
        const char* name;
        bool enabled;
        QColor colour;
    };
    const Want want[] = {{"a@example.org", "Shown", true, QColor(0x9f, 0xe1, 0xe7)},
                         {"b@example.org", "Hidden", false, QColor(0xff, 0, 0)},
                         {"c@example.org", "Unsaid", false, QColor(0, 0xff, 0)}};
    for (std::size_t i = 0; i < 3; ++i) {
        const CalSource& s = *(*sources)[i];
        SCOPED_TRACE(want[i].id);
        EXPECT_EQ(s.identifier(), QLatin1String(want[i].id));
        EXPECT_EQ(s.name(), QLatin1String(want[i].name));
        EXPECT_EQ(s.enabled(), want[i].enabled);
        EXPECT_EQ(s.displayColor(), want[i].colour);
        EXPECT_TRUE(s.canCreate());
        EXPECT_TRUE(s.token().isEmpty());
    }
    EXPECT_EQ(cal->personalCalendars().size(), 3u);
    EXPECT_TRUE(CalSource::enabledSources().empty());  // nothing registered

    // Only the shown calendar is asked for events.
    load(month(2026, 12));
    const auto asked = server.requestsTo("/calendar/v3/calendars/");
    ASSERT_FALSE(asked.empty());
    for (const auto& r : asked) {
        EXPECT_TRUE(r.path.startsWith("/calendar/v3/calendars/a@example.org/"))
            << r.path.constData();
    }
}

TEST_F(GoogleCalendar, ChoicesMadeInTalvorWinOverGooglesList) {
    test::XdgSandbox sandbox;
    const QColor chosen(10, 20, 30);
    CalSourcePtr model = CalSource::initWithToken(QString(), QString(), QUrl());
    model->setDisplayColor(chosen);
    model->setEnabled(true);
    const QVariantList shownInTalvor = model->prefEncoding();
    model->setEnabled(false);
    const QVariantList hiddenInTalvor = model->prefEncoding();
    platform::UserDefaults::standard().setObject(
        QVariantMap{{QStringLiteral("b@example.org"), shownInTalvor},
                    {QStringLiteral("a@example.org"), hiddenInTalvor},
                    {QStringLiteral("c@example.org"), QStringLiteral("not a choice")}},
        QStringLiteral("SubscribedEvents"));
    GCalender::Services s = services();
    s.storedChoices = GCalender::subscribedEventsChoice;
    cal = std::make_unique<GCalender>(s);

    server.addCalendar(calendar("a@example.org", "Shown at Google", true, "#9fe1e7"));
    server.addCalendar(calendar("b@example.org", "Hidden at Google", false, "#ff0000"));
    server.addCalendar(calendar("c@example.org", "Untouched", true, "#00ff00"));
    ASSERT_TRUE(signIn().ok);
    const auto [sources, message] = listCalendars();
    ASSERT_TRUE(sources.has_value()) << message.toStdString();
    ASSERT_EQ(sources->size(), 3u);
    EXPECT_FALSE((*sources)[0]->enabled());
    EXPECT_EQ((*sources)[0]->displayColor(), chosen);
    EXPECT_TRUE((*sources)[1]->enabled());
    EXPECT_EQ((*sources)[1]->displayColor(), chosen);
    EXPECT_TRUE((*sources)[2]->enabled());
    EXPECT_EQ((*sources)[2]->displayColor(), QColor(0, 0xff, 0));

    load(month(2026, 12));
    std::set<QByteArray> asked;
    for (const auto& r : server.requestsTo("/calendar/v3/calendars/")) {
        asked.insert(r.path);
    }
    EXPECT_EQ(asked, (std::set<QByteArray>{"/calendar/v3/calendars/b@example.org/events",
                                           "/calendar/v3/calendars/c@example.org/events"}));
}

TEST_F(GoogleCalendar, PagingBringsEveryEventOfEveryCalendar) {
    server.setPageSize(3);
    server.addCalendar(calendar("work@example.org", "Work", true));
    server.addCalendar(calendar("home@example.org", "Home", true));
    for (int day = 1; day <= 8; ++day) {
        const QByteArray start = QStringLiteral("2026-12-%1T10:00:00+01:00")
                                     .arg(day * 3, 2, 10, QLatin1Char('0'))
                                     .toLatin1();
        const QByteArray end = QStringLiteral("2026-12-%1T11:00:00+01:00")
                                   .arg(day * 3, 2, 10, QLatin1Char('0'))
                                   .toLatin1();
        server.addEvent(QStringLiteral("work@example.org"),
                        event(QStringLiteral("w%1").arg(day), QStringLiteral("Work %1").arg(day),
                              timed(start.constData(), end.constData())));
    }
    server.addEvent(QStringLiteral("home@example.org"),
                    event(QStringLiteral("h1"), QStringLiteral("Home"),
                          timed("2026-12-05T18:00:00+01:00", "2026-12-05T19:00:00+01:00")));
    // Outside the month: not asked for.
    server.addEvent(QStringLiteral("work@example.org"),
                    event(QStringLiteral("w0"), QStringLiteral("November"),
                          timed("2026-11-20T10:00:00+01:00", "2026-11-20T11:00:00+01:00")));
    ASSERT_TRUE(signIn().ok);

    int posts = 0;
    const auto byDay = load(month(2026, 12), &posts);
    EXPECT_EQ(posts, 1);
    int count = 0;
    for (const auto& [day, titles] : byDay) {
        count += static_cast<int>(titles.size());
    }
    EXPECT_EQ(count, 9);
    EXPECT_EQ(byDay.at(24), QStringList{QStringLiteral("Work 8")});
    EXPECT_EQ(byDay.at(5), QStringList{QStringLiteral("Home")});

    const auto asked = server.requestsTo("/calendar/v3/calendars/work@example.org/events");
    ASSERT_EQ(asked.size(), 3u);  // 8 events, 3 a page
    for (const auto& r : asked) {
        EXPECT_EQ(r.params.value(QStringLiteral("singleEvents")), QStringLiteral("true"));
        EXPECT_EQ(r.params.value(QStringLiteral("timeMin")),
                  QStringLiteral("2026-11-30T23:00:00Z"));
    }
    EXPECT_EQ(asked[2].params.value(QStringLiteral("pageToken")), QStringLiteral("6"));
}

TEST_F(GoogleCalendar, RepeatingEventsAppearInLaterMonthsAndSpanningEventsOnEachDay) {
    server.addCalendar(calendar("work@example.org", "Work", true));
    QJsonObject master = event(QStringLiteral("weekly"), QStringLiteral("Standup"),
                               timed("2026-12-03T09:00:00+01:00", "2026-12-03T09:15:00+01:00"));
    master.insert(QStringLiteral("recurrence"), QJsonArray{QStringLiteral("RRULE:FREQ=WEEKLY")});
    server.addEvent(QStringLiteral("work@example.org"), master);
    for (const char* day : {"2026-12-03", "2026-12-10", "2026-12-17", "2026-12-24", "2026-12-31",
                            "2027-01-07", "2027-01-14", "2027-01-21", "2027-01-28"}) {
        const QByteArray s = QByteArray(day) + "T09:00:00+01:00";
        const QByteArray e = QByteArray(day) + "T09:15:00+01:00";
        QJsonObject occurrence =
            event(QStringLiteral("weekly_") + QLatin1String(day), QStringLiteral("Standup"),
                  timed(s.constData(), e.constData()));
        occurrence.insert(QStringLiteral("recurringEventId"), QStringLiteral("weekly"));
        server.addEvent(QStringLiteral("work@example.org"), occurrence);
    }
    // New Year's Eve party into the first of January; a two-day all-day trip.
    server.addEvent(QStringLiteral("work@example.org"),
                    event(QStringLiteral("party"), QStringLiteral("Party"),
                          timed("2026-12-31T22:00:00+01:00", "2027-01-01T02:00:00+01:00")));
    server.addEvent(QStringLiteral("work@example.org"),
                    event(QStringLiteral("trip"), QStringLiteral("Trip"),
                          {{QStringLiteral("start"),
                            QJsonObject{{QStringLiteral("date"), QStringLiteral("2027-01-09")}}},
                           {QStringLiteral("end"),
                            QJsonObject{{QStringLiteral("date"), QStringLiteral("2027-01-11")}}}}));
    ASSERT_TRUE(signIn().ok);

    const auto january = month(2027, 1);
    const auto byDay = load(january);
    for (int day : {7, 14, 21, 28}) {
        ASSERT_TRUE(byDay.count(day)) << day;
        EXPECT_TRUE(byDay.at(day).contains(QStringLiteral("Standup"))) << day;
    }
    EXPECT_EQ(byDay.at(1), QStringList{QStringLiteral("Party")});
    EXPECT_EQ(byDay.at(9), QStringList{QStringLiteral("Trip")});
    EXPECT_EQ(byDay.at(10), QStringList{QStringLiteral("Trip")});
    EXPECT_FALSE(byDay.count(11));  // the end date is exclusive
    const auto& tripFirst = january->eventsForDay(9)->front();
    const auto& tripLast = january->eventsForDay(10)->front();
    EXPECT_TRUE(tripFirst.isFirst());
    EXPECT_FALSE(tripFirst.isLast());
    EXPECT_TRUE(tripLast.isLast());
    EXPECT_TRUE(tripFirst.event()->isAllDay());
    EXPECT_EQ(tripFirst.event()->editLink_(), QStringLiteral("trip"));
}

TEST_F(GoogleCalendar, CreatedEventsSendWhatTheServiceExpects) {
    server.addCalendar(calendar("work@example.org", "Work", true));
    ASSERT_TRUE(signIn().ok);
    ASSERT_TRUE(listCalendars().first.has_value());
    const CalSourcePtr work = cal->personalCalendars().front();

    struct Case {
        const char* name;
        std::function<void(GCalender::Completion)> create;
        QJsonObject start, end;
        QJsonValue recurrence;  // undefined: none sent
        QJsonValue reminders;   // undefined: none sent
    };
    const QJsonValue none(QJsonValue::Undefined);
    const QString zone = QStringLiteral("Europe/Berlin");
    auto dt = [&](const char* s) {
        return QJsonObject{{QStringLiteral("dateTime"), QLatin1String(s)},
                           {QStringLiteral("timeZone"), zone}};
    };
    auto d = [&](const char* s) {
        return QJsonObject{{QStringLiteral("date"), QLatin1String(s)},
                           {QStringLiteral("timeZone"), zone}};
    };
    auto reminder = [](const char* method, int minutes) {
        return QJsonObject{
            {QStringLiteral("useDefault"), false},
            {QStringLiteral("overrides"),
             QJsonArray{QJsonObject{{QStringLiteral("method"), QLatin1String(method)},
                                    {QStringLiteral("minutes"), minutes}}}}};
    };
    const std::vector<Case> cases = {
        {"quick add: now for an hour",
         [&](auto done) {
             cal->addQuickEventwithTitle(QStringLiteral("quick add: now for an hour"), work, done);
         },
         dt("2026-12-10T09:00:00+01:00"), dt("2026-12-10T10:00:00+01:00"), none, none},
        {"weekly with a pop-up",
         [&](auto done) {
             cal->createNewEventForSource(work, QStringLiteral("weekly with a pop-up"),
                                          QStringLiteral("notes"), false, berlin(2026, 12, 14, 8),
                                          berlin(2026, 12, 14, 12), GCalender::Weekly, 15, 1, done);
         },
         dt("2026-12-14T08:00:00+01:00"), dt("2026-12-14T12:00:00+01:00"),
         QJsonArray{QStringLiteral("RRULE:FREQ=WEEKLY")}, reminder("popup", 15)},
        {"one all-day day, yearly, by e-mail",
         [&](auto done) {
             cal->createNewEventForSource(
                 work, QStringLiteral("one all-day day, yearly, by e-mail"), QString(), true,
                 berlin(2026, 12, 24, 8), berlin(2026, 12, 24, 12), GCalender::Yearly, 30,
                 GCalender::kEmailReminder, done);
         },
         d("2026-12-24"), d("2026-12-25"), QJsonArray{QStringLiteral("RRULE:FREQ=YEARLY")},
         reminder("email", 30)},
        {"three all-day days in summer, daily, no reminder",
         [&](auto done) {
             cal->createNewEventForSource(
                 work, QStringLiteral("three all-day days in summer, daily, no reminder"),
                 QString(), true, berlin(2027, 7, 1), berlin(2027, 7, 3), GCalender::Daily, 0, 0,
                 done);
         },
         d("2027-07-01"), d("2027-07-04"), QJsonArray{QStringLiteral("RRULE:FREQ=DAILY")}, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome out = wait(c.create);
        EXPECT_TRUE(out.ok) << out.message.toStdString();
        const auto posts = server.requestsTo("/calendar/v3/calendars/work@example.org/events");
        ASSERT_FALSE(posts.empty());
        const QJsonObject sent = QJsonDocument::fromJson(posts.back().body).object();
        EXPECT_EQ(posts.back().method, QByteArray("POST"));
        EXPECT_EQ(sent.value(QStringLiteral("summary")).toString(), QLatin1String(c.name));
        EXPECT_EQ(sent.value(QStringLiteral("start")).toObject(), c.start);
        EXPECT_EQ(sent.value(QStringLiteral("end")).toObject(), c.end);
        EXPECT_EQ(sent.value(QStringLiteral("recurrence")), c.recurrence);
        EXPECT_EQ(sent.value(QStringLiteral("reminders")), c.reminders);
    }
    EXPECT_EQ(server.eventsOf(QStringLiteral("work@example.org")).size(), cases.size());
}

TEST_F(GoogleCalendar, DeletingRemovesTheEventTheOccurrenceOrTheSeries) {
    server.addCalendar(calendar("work@example.org", "Work", true));
    server.addEvent(QStringLiteral("work@example.org"),
                    event(QStringLiteral("gone"), QStringLiteral("Dentist"),
                          timed("2026-12-11T10:00:00+01:00", "2026-12-11T11:00:00+01:00")));
    QJsonObject master = event(QStringLiteral("series"), QStringLiteral("Yoga"),
                               timed("2026-12-01T18:00:00+01:00", "2026-12-01T19:00:00+01:00"));
    master.insert(QStringLiteral("recurrence"), QJsonArray{QStringLiteral("RRULE:FREQ=WEEKLY")});
    server.addEvent(QStringLiteral("work@example.org"), master);
    for (const char* day : {"2026-12-01", "2026-12-08", "2026-12-15"}) {
        QJsonObject occurrence =
            event(QStringLiteral("series_") + QLatin1String(day), QStringLiteral("Yoga"),
                  timed((QByteArray(day) + "T18:00:00+01:00").constData(),
                        (QByteArray(day) + "T19:00:00+01:00").constData()));
        occurrence.insert(QStringLiteral("recurringEventId"), QStringLiteral("series"));
        server.addEvent(QStringLiteral("work@example.org"), occurrence);
    }
    ASSERT_TRUE(signIn().ok);
    const auto december = month(2026, 12);
    load(december);
    auto firstOn = [&](int day) { return december->eventsForDay(day)->front().event(); };
    ASSERT_NE(december->eventsForDay(11), nullptr);
    ASSERT_NE(december->eventsForDay(8), nullptr);
    const CalEventPtr dentist = firstOn(11);
    const CalEventPtr yogaOnThe8th = firstOn(8);
    const CalEventPtr yogaOnThe15th = firstOn(15);

    struct Case {
        const char* name;
        CalEventPtr event;
        GCalender::DeleteScope scope;
        const char* deletedId;
    };
    const std::vector<Case> cases = {
        {"a single event, whatever the scope", dentist, GCalender::DeleteScope::WholeSeries,
         "gone"},
        {"one occurrence", yogaOnThe8th, GCalender::DeleteScope::ThisOccurrence,
         "series_2026-12-08"},
        {"the series", yogaOnThe15th, GCalender::DeleteScope::WholeSeries, "series"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome out = wait([&](auto done) { cal->deleteEvent(*c.event, done, c.scope); });
        EXPECT_TRUE(out.ok) << out.message.toStdString();
        const auto deletes = server.requestsTo("/calendar/v3/calendars/work@example.org/events/");
        ASSERT_FALSE(deletes.empty());
        EXPECT_EQ(deletes.back().method, QByteArray("DELETE"));
        EXPECT_EQ(deletes.back().path,
                  QByteArray("/calendar/v3/calendars/work@example.org/events/") + c.deletedId);
    }
    // Once more: it is not there any more, and that is said.
    EXPECT_FALSE(wait([&](auto done) { cal->deleteEvent(*dentist, done); }).ok);
}

// What the create and delete sheets reach through the calendar interface, whichever back
// end is chosen.
TEST_F(GoogleCalendar, TheCalendarInterfaceWritesThroughGoogle) {
    server.addCalendar(calendar("work@example.org", "Work", true));
    ASSERT_TRUE(signIn().ok);
    ASSERT_TRUE(listCalendars().first.has_value());
    CalendarBackEnd& backEnd = *cal;
    ASSERT_EQ(backEnd.getLocalEventCalendars_Parsed().size(), 1u);
    const CalSourcePtr work = backEnd.getLocalEventCalendars_Parsed().front();

    struct Answer {
        int calls = 0;
        bool ok = false;
        std::optional<QString> message;
    };
    auto run = [this](const std::function<void(CalendarBackEnd::Completion)>& call) {
        auto answer = std::make_shared<Answer>();
        call([answer](bool ok, std::optional<QString> message) {
            ++answer->calls;
            answer->ok = ok;
            answer->message = std::move(message);
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer->calls > 0; }, 10000));
        settle();
        EXPECT_EQ(answer->calls, 1);
        return *answer;
    };

    // The interface numbers repetitions from -1 (none); an unknown number repeats nothing.
    struct Create {
        int recurrance;
        QJsonValue recurrence;
    };
    const std::vector<Create> creates = {
        {-1, QJsonValue(QJsonValue::Undefined)},
        {0, QJsonArray{QStringLiteral("RRULE:FREQ=DAILY")}},
        {1, QJsonArray{QStringLiteral("RRULE:FREQ=WEEKLY")}},
        {2, QJsonArray{QStringLiteral("RRULE:FREQ=MONTHLY")}},
        {3, QJsonArray{QStringLiteral("RRULE:FREQ=YEARLY")}},
        {9, QJsonValue(QJsonValue::Undefined)},
    };
    for (const Create& c : creates) {
        SCOPED_TRACE(c.recurrance);
        const Answer a = run([&](auto done) {
            backEnd.createNewEventForSource(work, QStringLiteral("Standup"), QString(), false,
                                            berlin(2026, 12, 14, 9), berlin(2026, 12, 14, 10),
                                            c.recurrance, 10, 1, done);
        });
        EXPECT_TRUE(a.ok);
        EXPECT_FALSE(a.message.has_value());
        const QJsonObject sent =
            QJsonDocument::fromJson(server.requestsTo("/calendar/v3/calendars/").back().body)
                .object();
        EXPECT_EQ(sent.value(QStringLiteral("recurrence")), c.recurrence);
        // The interface's reminders are pop-ups.
        EXPECT_EQ(sent.value(QStringLiteral("reminders"))
                      .toObject()
                      .value(QStringLiteral("overrides"))
                      .toArray()
                      .first()
                      .toObject()
                      .value(QStringLiteral("method"))
                      .toString(),
                  QStringLiteral("popup"));
    }
    const Answer quick = run(
        [&](auto done) { backEnd.addQuickEventwithTitle(QStringLiteral("Call Bo"), work, done); });
    EXPECT_TRUE(quick.ok);
    EXPECT_EQ(
        server.eventsOf(QStringLiteral("work@example.org")).back().value(QStringLiteral("summary")),
        QStringLiteral("Call Bo"));
    // A failure carries the service's message.
    server.addFault({"/calendar/v3/calendars/work@example.org/events", 500,
                     R"({"error":{"code":500,"message":"Backend Error"}})"});
    const Answer failed = run(
        [&](auto done) { backEnd.addQuickEventwithTitle(QStringLiteral("Lost?"), work, done); });
    EXPECT_FALSE(failed.ok);
    ASSERT_TRUE(failed.message.has_value());
    EXPECT_FALSE(failed.message->isEmpty());
}

TEST_F(GoogleCalendar, DeletingThisAndLaterOccurrencesEndsTheSeries) {
    const QString id = QStringLiteral("home@example.org");
    server.addCalendar(calendar("home@example.org", "Home", true));
    // A timed weekly series with a count, and an all-day monthly one with a date left out.
    QJsonObject yoga = event(QStringLiteral("yoga"), QStringLiteral("Yoga"),
                             timed("2026-12-01T18:00:00+01:00", "2026-12-01T19:00:00+01:00"));
    yoga.insert(QStringLiteral("recurrence"),
                QJsonArray{QStringLiteral("RRULE:FREQ=WEEKLY;COUNT=10;BYDAY=TU")});
    server.addEvent(id, yoga);
    QJsonObject rent{{QStringLiteral("id"), QStringLiteral("rent")},
                     {QStringLiteral("summary"), QStringLiteral("Rent")},
                     {QStringLiteral("status"), QStringLiteral("confirmed")},
                     {QStringLiteral("start"), QJsonObject{{QStringLiteral("date"), "2026-11-03"}}},
                     {QStringLiteral("end"), QJsonObject{{QStringLiteral("date"), "2026-11-04"}}},
                     {QStringLiteral("recurrence"),
                      QJsonArray{QStringLiteral("EXDATE;VALUE=DATE:20270203"),
                                 QStringLiteral("RRULE:FREQ=MONTHLY;UNTIL=20271231")}}};
    server.addEvent(id, rent);
    auto occurrence = [&](const char* series, const char* occurrenceId, QJsonObject times) {
        QJsonObject o = event(QLatin1String(occurrenceId), QLatin1String(series), times);
        o.insert(QStringLiteral("recurringEventId"), QLatin1String(series));
        server.addEvent(id, o);
    };
    occurrence("yoga", "yoga_1201",
               timed("2026-12-01T18:00:00+01:00", "2026-12-01T19:00:00+01:00"));
    occurrence("yoga", "yoga_1215",
               timed("2026-12-15T18:00:00+01:00", "2026-12-15T19:00:00+01:00"));
    occurrence(
        "rent", "rent_1203",
        QJsonObject{{QStringLiteral("start"), QJsonObject{{QStringLiteral("date"), "2026-12-03"}}},
                    {QStringLiteral("end"), QJsonObject{{QStringLiteral("date"), "2026-12-04"}}}});
    ASSERT_TRUE(signIn().ok);
    const auto december = month(2026, 12);
    load(december);
    auto on = [&](int day) {
        EXPECT_NE(december->eventsForDay(day), nullptr);
        return december->eventsForDay(day)->front().event();
    };
    const CalEventPtr yogaOnThe15th = on(15);
    const CalEventPtr rentOnThe3rd = on(3);
    const CalEventPtr yogaOnThe1st = on(1);
    CalendarBackEnd& backEnd = *cal;

    struct Case {
        const char* name;
        CalEventPtr event;
        QByteArray method;
        QByteArray path;
        QJsonValue recurrence;  // of the PATCH
    };
    const std::vector<Case> cases = {
        {"a later occurrence: the rule ends the second before, its count goes", yogaOnThe15th,
         "PATCH", "/calendar/v3/calendars/home@example.org/events/yoga",
         QJsonArray{QStringLiteral("RRULE:FREQ=WEEKLY;BYDAY=TU;UNTIL=20261215T165959Z")}},
        {"all day: the day before, other lines kept", rentOnThe3rd, "PATCH",
         "/calendar/v3/calendars/home@example.org/events/rent",
         QJsonArray{QStringLiteral("EXDATE;VALUE=DATE:20270203"),
                    QStringLiteral("RRULE:FREQ=MONTHLY;UNTIL=20261202")}},
        {"the first occurrence: the whole series goes", yogaOnThe1st, "DELETE",
         "/calendar/v3/calendars/home@example.org/events/yoga", QJsonValue()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool answered = false;
        bool ok = false;
        backEnd.deleteEvent(*c.event, platform::RemoveScope::ThisAndFuture,
                            [&](bool success, std::optional<QString>) {
                                answered = true;
                                ok = success;
                            });
        ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }, 10000));
        EXPECT_TRUE(ok);
        const auto last = server.requests().back();
        EXPECT_EQ(last.method, c.method);
        EXPECT_EQ(last.path, c.path);
        if (c.method == "PATCH") {
            EXPECT_EQ(
                QJsonDocument::fromJson(last.body).object().value(QStringLiteral("recurrence")),
                c.recurrence);
        }
    }
    // The interface's other scopes: the occurrence itself, and the whole series.
    const std::vector<std::pair<platform::RemoveScope, QByteArray>> scopes = {
        {platform::RemoveScope::ThisEvent,
         "/calendar/v3/calendars/home@example.org/events/rent_1203"},
        {platform::RemoveScope::All, "/calendar/v3/calendars/home@example.org/events/rent"},
    };
    for (const auto& [scope, path] : scopes) {
        bool answered = false;
        backEnd.deleteEvent(*rentOnThe3rd, scope,
                            [&](bool, std::optional<QString>) { answered = true; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }, 10000));
        EXPECT_EQ(server.requests().back().method, QByteArray("DELETE"));
        EXPECT_EQ(server.requests().back().path, path);
    }
}

TEST_F(GoogleCalendar, FailuresGiveAClearMessageAndLoseNothing) {
    GoogleLimits noRetries;  // each fault answers once; retrying has its own test
    noRetries.maxRetries = 0;
    cal = std::make_unique<GCalender>(services(10s, noRetries));
    server.addCalendar(calendar("work@example.org", "Work", true));
    server.addCalendar(calendar("home@example.org", "Home", true));
    server.addEvent(QStringLiteral("home@example.org"),
                    event(QStringLiteral("h1"), QStringLiteral("Home"),
                          timed("2026-12-05T18:00:00+01:00", "2026-12-05T19:00:00+01:00")));
    ASSERT_TRUE(signIn().ok);
    ASSERT_TRUE(listCalendars().first.has_value());
    const QByteArray keptBefore = secrets.items.value(GCalender::kAuthorizationName);

    struct Case {
        const char* name;
        FakeGoogleServer::Fault fault;
        const char* messagePart;
    };
    const std::vector<Case> cases = {
        {"server error with Google's error",
         {"/", 500, R"({"error":{"code":500,"message":"Backend Error"}})"},
         "status 500): Backend Error"},
        {"server error as a web page", {"/", 503, "<html>oops</html>", "text/html"}, "status 503"},
        {"broken JSON", {"/", 200, R"({"items": [ {"id": )"}, "cannot read"},
        {"JSON that is no object", {"/", 200, "[1, 2]"}, "cannot read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The calendar list.
        server.addFault(c.fault);
        const auto [sources, message] = listCalendars();
        EXPECT_FALSE(sources.has_value());
        EXPECT_TRUE(message.contains(QLatin1String(c.messagePart))) << message.toStdString();
        EXPECT_EQ(cal->personalCalendars().size(), 2u);

        // Creating an event.
        server.addFault(c.fault);
        const Outcome created = wait([&](auto done) {
            cal->addQuickEventwithTitle(QStringLiteral("x"), cal->personalCalendars().front(),
                                        done);
        });
        EXPECT_FALSE(created.ok);
        EXPECT_TRUE(created.message.contains(QLatin1String(c.messagePart)))
            << created.message.toStdString();

        // A month: the failing calendar is skipped, the other's events are there.
        FakeGoogleServer::Fault onWork = c.fault;
        onWork.pathPrefix = "/calendar/v3/calendars/work@example.org/";
        server.addFault(onWork);
        int posts = 0;
        const auto byDay = load(month(2026, 12), &posts);
        EXPECT_EQ(posts, 1);
        EXPECT_EQ(byDay.size(), 1u);
        EXPECT_EQ(byDay.count(5), 1u);

        EXPECT_EQ(secrets.items.value(GCalender::kAuthorizationName), keptBefore);
        EXPECT_TRUE(cal->isLoggedInViaGoogle());
    }
    EXPECT_EQ(server.eventsOf(QStringLiteral("work@example.org")).size(), 0u);
}

const QByteArray kCalendarList = "/calendar/v3/users/me/calendarList";

// A server that drips, or sends more than the cap, ends the listing at the deadline or at the
// cap whatever the framing, without reading the rest; the user hears of it once.
TEST_F(GoogleCalendar, RepliesThatDripOrOverflowEndTheListingWithOneMessage) {
    ASSERT_TRUE(signIn().ok);
    constexpr qint64 kCap = 64 << 10;
    constexpr qint64 kFlood = 64 << 20;  // in a second, were it read whole
    constexpr std::chrono::milliseconds kPace = 1ms;
    GoogleLimits limits;
    limits.maxReplyBytes = kCap;
    using Framing = FakeGoogleServer::Framing;
    const QByteArray empty = R"({"items":[]})";
    struct Case {
        const char* name;
        FakeGoogleServer::Stream stream;
        std::optional<QString> message;    // none: listed
        bool outlivesTheDeadline = false;  // time passes once it has begun
    };
    const std::vector<Case> cases = {
        {"a byte every 20 ms",
         {kCalendarList, Framing::ContentLength, 1000, empty, 1, 20ms},
         GoogleApi::kTooSlowMessage,
         true},
        {"Content-Length beyond the cap",
         {kCalendarList, Framing::ContentLength, kFlood, empty, 64 << 10, kPace},
         GoogleApi::tooLargeMessage(kCap)},
        {"chunked beyond the cap",
         {kCalendarList, Framing::Chunked, kFlood, empty, 64 << 10, kPace},
         GoogleApi::tooLargeMessage(kCap)},
        {"until the connection closes, beyond the cap",
         {kCalendarList, Framing::CloseDelimited, kFlood, empty, 64 << 10, kPace},
         GoogleApi::tooLargeMessage(kCap)},
        {"Content-Length at the cap", {kCalendarList, Framing::ContentLength, kCap}, std::nullopt},
        {"chunked up to the cap", {kCalendarList, Framing::Chunked, kCap}, std::nullopt},
        {"until the connection closes, at the cap",
         {kCalendarList, Framing::CloseDelimited, kCap},
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cal = std::make_unique<GCalender>(services(10s, limits));
        server.addStream(c.stream);
        const qint64 streamedBefore = server.streamedBytes();
        const qsizetype logBefore = log.lines().size();
        int answers = 0;
        bool listed = false;
        QString message;
        cal->loadPersonalSources([&](const auto& sources, const QString& m) {
            ++answers;
            listed = sources.has_value();
            message = m;
        });
        if (c.outlivesTheDeadline) {
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return server.streamedBytes() > streamedBefore; }, 10000));
            scheduler.advanceBy(std::chrono::duration<double>(limits.syncDeadline).count());
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return answers > 0; }, 10000));
        settle();
        EXPECT_EQ(answers, 1);
        if (!c.message) {
            EXPECT_TRUE(listed) << message.toStdString();
            continue;
        }
        EXPECT_FALSE(listed);
        EXPECT_EQ(message, *c.message) << message.toStdString();
        EXPECT_EQ(loggedSince(logBefore, *c.message), 1);
        EXPECT_LT(server.streamedBytes() - streamedBefore, c.stream.bytes / 2);
    }
}

// A month's load is one sync: the listing first and every calendar's pages share its
// deadline, and what failed is logged in one line.
TEST_F(GoogleCalendar, AMonthsLoadHasOneDeadlineAndLogsItsFailuresOnce) {
    server.addCalendar(calendar("work@example.org", "Work", true));
    server.addCalendar(calendar("home@example.org", "Home", true));
    server.addCalendar(calendar("club@example.org", "Club", true));
    server.addEvent(QStringLiteral("club@example.org"),
                    event(QStringLiteral("c1"), QStringLiteral("Match"),
                          timed("2026-12-05T18:00:00+01:00", "2026-12-05T19:00:00+01:00")));
    ASSERT_TRUE(signIn().ok);
    GoogleLimits limits;
    limits.syncDeadline = 3s;
    cal = std::make_unique<GCalender>(services(10s, limits));
    for (const char* id : {"work@example.org", "home@example.org"}) {
        // They would take 20 s.
        server.addStream({"/calendar/v3/calendars/" + QByteArray(id) + "/events",
                          FakeGoogleServer::Framing::Chunked, 1000, R"({"items":[]})", 1, 20ms});
    }
    const qsizetype logBefore = log.lines().size();
    int posts = 0;
    platform::Observation watch = center.addObserver(QStringLiteral("EventsLoaded"), QVariant(),
                                                     [&](const auto&) { ++posts; });
    const auto december = month(2026, 12);
    cal->loadEventsInBatch(december);
    scheduler.advanceBy(2);  // the listing takes two of the three seconds
    // The club has answered, the two drips go on: their two calls are left.
    const QByteArray club = "/calendar/v3/calendars/club@example.org/events";
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return server.requestsTo(club).size() == 1 && scheduler.activeTimerCount() == 2; },
        10000));
    EXPECT_EQ(posts, 0);
    scheduler.advanceBy(1);  // the month's deadline, not three seconds after the listing
    ASSERT_TRUE(QTest::qWaitFor([&] { return posts > 0; }, 10000));
    settle();
    EXPECT_EQ(posts, 1);
    std::map<int, QStringList> byDay;
    for (int day = 1; day <= december->maxDay(); ++day) {
        if (const auto* events = december->eventsForDay(day)) {
            for (const CalEventDay& e : *events) {
                byDay[day].append(e.title());
            }
        }
    }
    EXPECT_EQ(byDay, (std::map<int, QStringList>{{5, {QStringLiteral("Match")}}}));
    EXPECT_EQ(loggedSince(logBefore, GoogleApi::kTooSlowMessage), 1);
    EXPECT_EQ(loggedSince(logBefore, QStringLiteral("\"Work\"")), 1);
    EXPECT_EQ(loggedSince(logBefore, QStringLiteral("\"Home\"")), 1);
}

// A page token seen before would list for ever, and no listing needs more than the cap's
// pages: both stop the listing there, with one line in the log.
TEST_F(GoogleCalendar, ListingsStopAtARepeatedPageTokenAndAtThePageCap) {
    for (const char* id : {"c1@example.org", "c2@example.org", "c3@example.org", "c4@example.org",
                           "c5@example.org"}) {
        server.addCalendar(calendar(id, id, id == std::string_view("c1@example.org")));
    }
    for (int day = 1; day <= 5; ++day) {
        const QByteArray start = QStringLiteral("2026-12-%1T10:00:00+01:00")
                                     .arg(day, 2, 10, QLatin1Char('0'))
                                     .toLatin1();
        const QByteArray end = QByteArray(start).replace("T10", "T11");
        server.addEvent(QStringLiteral("c1@example.org"),
                        event(QStringLiteral("e%1").arg(day), QStringLiteral("Event"),
                              timed(start.constData(), end.constData())));
    }
    ASSERT_TRUE(signIn().ok);
    GoogleLimits limits;
    limits.maxPages = 3;
    cal = std::make_unique<GCalender>(services(10s, limits));
    ASSERT_TRUE(listCalendars().first.has_value());  // two pages of three

    const QByteArray events = "/calendar/v3/calendars/c1@example.org/events";
    const QByteArray again = R"({"items":[],"nextPageToken":"again"})";
    struct Case {
        const char* name;
        QByteArray path;
        bool sameTokenAgain;  // else one item a page
        std::size_t requests;
        QString messagePart;
    };
    const std::vector<Case> cases = {
        {"the calendars, the same token again", kCalendarList, true, 2,
         QStringLiteral("same page")},
        {"the calendars, more pages than the cap", kCalendarList, false, 3,
         QStringLiteral("past 3 pages")},
        {"a month's events, the same token again", events, true, 2, QStringLiteral("same page")},
        {"a month's events, more pages than the cap", events, false, 3,
         QStringLiteral("past 3 pages")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.sameTokenAgain) {
            server.addFault({c.path, 200, again, "application/json", {}, 1000});
        } else {
            server.setPageSize(1);
        }
        const std::size_t before = server.requestsTo(c.path).size();
        const qsizetype logBefore = log.lines().size();
        if (c.path == kCalendarList) {
            const auto [sources, message] = listCalendars();
            EXPECT_FALSE(sources.has_value());
            EXPECT_TRUE(message.contains(c.messagePart)) << message.toStdString();
            EXPECT_EQ(cal->personalCalendars().size(), 5u);  // the last good list stays
        } else {
            int posts = 0;
            EXPECT_TRUE(load(month(2026, 12), &posts).empty());
            EXPECT_EQ(posts, 1);
        }
        EXPECT_EQ(server.requestsTo(c.path).size() - before, c.requests);
        EXPECT_EQ(loggedSince(logBefore, c.messagePart), 1);
        server.clearFaults();
        server.setPageSize(3);
    }
}

// A call Google refused (429) is sent again after the wait it names, one it failed (5xx)
// after a growing wait; at the retry cap, or when the wait asked for is beyond the cap, the
// listing fails with one message. A failed creation is not sent again: it may have landed.
TEST_F(GoogleCalendar, RefusedCallsAreSentAgainWithinTheRetryCap) {
    server.addCalendar(calendar("work@example.org", "Work", true));
    ASSERT_TRUE(signIn().ok);
    GoogleLimits limits;
    limits.maxRetries = 2;
    limits.firstRetryDelay = 1s;
    cal = std::make_unique<GCalender>(services(10s, limits));
    passRetryWaits = true;
    const QByteArray busy = R"({"error":{"code":429,"message":"Rate Limit Exceeded"}})";
    struct Case {
        const char* name;
        int status;
        std::string retryAfter;  // empty: none
        int times;               // the refusals in a row
        std::size_t requests;
        bool listed;
        double waited;  // seconds, in all
    };
    const std::vector<Case> cases = {
        {"429, wait 0 s", 429, "0", 1, 2, true, 0},
        {"429, wait 5 s", 429, "5", 1, 2, true, 5},
        {"503 twice, no wait named", 503, "", 2, 3, true, 1 + 2},
        {"429 every time", 429, "0", 1000, 3, false, 0},
        {"429, wait an hour", 429, "3600", 1, 1, false, 0},
        // The clock says 08:00 UTC.
        {"429, wait until a date an hour ahead", 429, "Thu, 10 Dec 2026 09:00:00 GMT", 1, 1, false,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeGoogleServer::Fault fault{kCalendarList, c.status, busy};
        fault.times = c.times;
        if (!c.retryAfter.empty()) {
            fault.headers = {{"Retry-After", c.retryAfter}};
        }
        server.addFault(fault);
        const std::size_t before = server.requestsTo(kCalendarList).size();
        const qsizetype logBefore = log.lines().size();
        const Date started = clock.now();
        const auto [sources, message] = listCalendars();
        EXPECT_EQ(sources.has_value(), c.listed) << message.toStdString();
        EXPECT_DOUBLE_EQ(clock.now().timeIntervalSince(started), c.waited);
        EXPECT_EQ(server.requestsTo(kCalendarList).size() - before, c.requests);
        if (!c.listed) {
            EXPECT_TRUE(message.contains(QStringLiteral("status %1").arg(c.status)))
                << message.toStdString();
            EXPECT_EQ(loggedSince(logBefore, message), 1);
        }
        server.clearFaults();
    }

    const QByteArray events = "/calendar/v3/calendars/work@example.org/events";
    const CalSourcePtr work = cal->personalCalendars().front();
    auto create = [&] {
        return wait(
            [&](auto done) { cal->addQuickEventwithTitle(QStringLiteral("x"), work, done); });
    };
    server.addFault({events, 429, busy, "application/json", {{"Retry-After", "0"}}});
    EXPECT_TRUE(create().ok);
    EXPECT_EQ(server.requestsTo(events).size(), 2u);
    server.addFault({events, 503, R"({"error":{"code":503,"message":"Backend Error"}})"});
    EXPECT_FALSE(create().ok);
    EXPECT_EQ(server.requestsTo(events).size(), 3u);
    EXPECT_EQ(server.eventsOf(QStringLiteral("work@example.org")).size(), 1u);
}

// Quitting does not wait on a call under way: it ends at once, and no completion follows.
TEST_F(GoogleCalendar, QuittingEndsTheCallsUnderWayUnanswered) {
    ASSERT_TRUE(signIn().ok);
    server.addStream({kCalendarList, FakeGoogleServer::Framing::ContentLength, 1000,
                      R"({"items":[]})", 1, 20ms});
    int answers = 0;
    cal->loadPersonalSources([&](const auto&, const QString&) { ++answers; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.streamedBytes() > 0; }, 10000));
    const int endedBefore = server.streamsEnded();
    cal->stopAtQuit();
    EXPECT_FALSE(cal->hasService());
    const qint64 atQuit = server.streamedBytes();
    // It would take 20 s, were the connection still open.
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.streamsEnded() > endedBefore; }, 10000));
    settle();
    EXPECT_EQ(answers, 0);
    EXPECT_LE(server.streamedBytes() - atQuit, 2);  // the writes under way when it closed
}

TEST_F(GoogleCalendar, OverlappingLoadsFileEachEventOnceAndAGoneMonthIsLeftAlone) {
    server.addCalendar(calendar("work@example.org", "Work", true));
    server.addEvent(QStringLiteral("work@example.org"),
                    event(QStringLiteral("w1"), QStringLiteral("Review"),
                          timed("2026-12-07T10:00:00+01:00", "2026-12-07T11:00:00+01:00")));
    ASSERT_TRUE(signIn().ok);
    ASSERT_TRUE(listCalendars().first.has_value());
    int posts = 0;
    platform::Observation watch = center.addObserver(QStringLiteral("EventsLoaded"), QVariant(),
                                                     [&](const auto&) { ++posts; });

    const auto december = month(2026, 12);
    cal->loadEventsInBatch(december);
    cal->loadEventsInBatch(december);  // the month asked again before the first answer
    auto gone = month(2027, 1);
    cal->loadEventsInBatch(gone);
    gone.reset();  // a month the windows let go while its events are on their way
    ASSERT_TRUE(QTest::qWaitFor([&] { return posts > 0; }, 10000));
    settle();
    EXPECT_EQ(posts, 1);
    ASSERT_NE(december->eventsForDay(7), nullptr);
    EXPECT_EQ(december->eventsForDay(7)->size(), 1u);
}

// Google's events are shown beside this computer's: a load replaces only its own.
TEST_F(GoogleCalendar, AMonthsLoadKeepsTheEventsOfThisComputer) {
    server.addCalendar(calendar("work@example.org", "Work", true));
    server.addEvent(QStringLiteral("work@example.org"),
                    event(QStringLiteral("w1"), QStringLiteral("Review"),
                          timed("2026-12-07T10:00:00+01:00", "2026-12-07T11:00:00+01:00")));
    ASSERT_TRUE(signIn().ok);
    const auto december = month(2026, 12);
    auto local = CalEvent::initWithStartTime(berlin(2026, 12, 7, 19, 0), 3600,
                                             QStringLiteral("Choir"), QString(), nullptr);
    local->setOrigin(CalendarBackEnds::Kind::Apple);
    december->addEvent(local->adjustedDaysForCalendar(december->calendar()).front(), 7);
    for (int load = 1; load <= 2; ++load) {
        SCOPED_TRACE(load);
        EXPECT_EQ(this->load(december)[7], (QStringList{"Review", "Choir"}));
    }
    EXPECT_EQ(december->eventsForDay(7)->front().event()->origin(), CalendarBackEnds::Kind::Google);
}

TEST_F(GoogleCalendar, AnUnreachableGoogleIsSaidSoAndLosesNothing) {
    ASSERT_TRUE(signIn().ok);
    const QByteArray keptBefore = secrets.items.value(GCalender::kAuthorizationName);
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    GCalender::Services s = services();
    s.endpoints = GoogleEndpoints::under(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port)));
    cal = std::make_unique<GCalender>(s);
    const auto [sources, message] = listCalendars();
    EXPECT_FALSE(sources.has_value());
    EXPECT_TRUE(message.startsWith(QStringLiteral("Google could not be reached")))
        << message.toStdString();
    EXPECT_EQ(secrets.items.value(GCalender::kAuthorizationName), keptBefore);
}

TEST_F(GoogleCalendar, SigningOutForgetsTheAuthorizationAndTheCalendars) {
    server.addCalendar(calendar("work@example.org", "Work", true));
    ASSERT_TRUE(signIn().ok);
    ASSERT_TRUE(listCalendars().first.has_value());
    EXPECT_TRUE(wait([&](auto done) { cal->logoutFromGoogle(done); }).ok);
    EXPECT_FALSE(kept().has_value());
    EXPECT_FALSE(cal->isLoggedInViaGoogle());
    EXPECT_TRUE(cal->personalCalendars().empty());
    EXPECT_FALSE(cal->personalCalendarsLoaded());
    EXPECT_EQ(cal->loggedInUser(), QStringLiteral("NA"));
    const auto [sources, message] = listCalendars();
    EXPECT_FALSE(sources.has_value());
    EXPECT_FALSE(message.isEmpty());
}

TEST_F(GoogleCalendar, SigningOutAnswersTheCallsUnderWayOnce) {
    server.addCalendar(calendar("work@example.org", "Work", true));
    ASSERT_TRUE(signIn().ok);
    ASSERT_TRUE(listCalendars().first.has_value());
    const CalSourcePtr work = cal->personalCalendars().front();
    Outcome created;
    int listed = 0;
    QString listMessage;
    cal->addQuickEventwithTitle(QStringLiteral("under way"), work,
                                [&](bool ok, const QString& message) {
                                    ++created.calls;
                                    created.ok = ok;
                                    created.message = message;
                                });
    cal->loadPersonalSources([&](const auto& sources, const QString& message) {
        ++listed;
        EXPECT_FALSE(sources.has_value());
        listMessage = message;
    });
    Outcome out;
    cal->logoutFromGoogle([&](bool ok, const QString&) { out.ok = ok, ++out.calls; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return out.calls && created.calls && listed; }, 5000));
    settle();
    EXPECT_EQ(created.calls, 1);
    EXPECT_FALSE(created.ok);
    EXPECT_EQ(listed, 1);
    EXPECT_FALSE(created.message.isEmpty());
    EXPECT_FALSE(listMessage.isEmpty());
    EXPECT_FALSE(kept().has_value());
}

TEST_F(GoogleCalendar, NoClientConfiguredSaysHowToGiveOne) {
    GCalender::Services s = services();
    s.credentials = {};
    cal = std::make_unique<GCalender>(s);
    const Outcome out = signIn();
    EXPECT_FALSE(out.ok);
    EXPECT_TRUE(out.message.contains(QStringLiteral("TALVOR_GOOGLE_CLIENT_ID")))
        << out.message.toStdString();
    EXPECT_TRUE(browser.opened.isEmpty());
}

// The Calendar API's "gadget" of an event: only a web page is taken, its icon only when it is
// a web address too, and a size beyond any screen is cut down.
TEST(GoogleEvents, AGadgetIsTakenFromTheEventThatCarriesOne) {
    struct Case {
        const char* name;
        QJsonObject gadget;
        std::optional<Gadget> expected;
    };
    const QString page = QStringLiteral("https://example.org/gadget.html");
    const QString icon = QStringLiteral("https://example.org/icon.png");
    const std::vector<Case> cases = {
        {"a web gadget",
         {{QStringLiteral("link"), page},
          {QStringLiteral("iconLink"), icon},
          {QStringLiteral("width"), 300},
          {QStringLiteral("height"), 200}},
         Gadget{300, 200, page, icon}},
        {"no gadget", {}, std::nullopt},
        {"a page that is no web address",
         {{QStringLiteral("link"), QStringLiteral("javascript:alert(1)")}},
         std::nullopt},
        {"a local file",
         {{QStringLiteral("link"), QStringLiteral("file:///etc/passwd")}},
         std::nullopt},
        {"an icon that is no web address, a giant size",
         {{QStringLiteral("link"), page},
          {QStringLiteral("iconLink"), QStringLiteral("file:///icon.png")},
          {QStringLiteral("width"), 1e9},
          {QStringLiteral("height"), -5}},
         Gadget{2000, 0, page, QString()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QJsonObject item{
            {QStringLiteral("id"), QStringLiteral("e1")},
            {QStringLiteral("summary"), QStringLiteral("Weather")},
            {QStringLiteral("start"),
             QJsonObject{{QStringLiteral("dateTime"), QStringLiteral("2026-12-11T10:00:00Z")}}},
            {QStringLiteral("end"),
             QJsonObject{{QStringLiteral("dateTime"), QStringLiteral("2026-12-11T11:00:00Z")}}}};
        if (!c.gadget.isEmpty()) {
            item.insert(QStringLiteral("gadget"), c.gadget);
        }
        const CalEventPtr e = GCalender::eventFromResource(item, nullptr);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->gadget(), c.expected);
    }
}

TEST(GoogleClientCredentials, EnvironmentWinsOverSettings) {
    test::XdgSandbox sandbox;
    test::ScopedEnvVar id("TALVOR_GOOGLE_CLIENT_ID", QStringLiteral("env-id"));
    test::ScopedEnvVar secret("TALVOR_GOOGLE_CLIENT_SECRET", QString());
    platform::UserDefaults::standard().setObject(QStringLiteral("pref-id"),
                                                 QStringLiteral("GoogleClientID"));
    platform::UserDefaults::standard().setObject(QStringLiteral("pref-secret"),
                                                 QStringLiteral("GoogleClientSecret"));
    const GoogleClientCredentials c =
        GoogleClientCredentials::fromEnvironment(platform::UserDefaults::standard());
    EXPECT_EQ(c.clientId, QStringLiteral("env-id"));
    EXPECT_EQ(c.clientSecret, QStringLiteral("pref-secret"));
    EXPECT_TRUE(c.isComplete());
}

// The built-in client is the last resort, and taken whole: a user's own id never goes out
// with the packager's secret.
TEST(GoogleClientCredentials, EnteredClientWinsOverTheBuiltInOneWhole) {
    struct Case {
        const char* name;
        const char* envId;
        const char* storedId;
        const char* storedSecret;
        const char* expectedId;
        const char* expectedSecret;
    };
    const GoogleClientCredentials builtIn{QStringLiteral("built-id"),
                                          QStringLiteral("built-secret")};
    const std::vector<Case> cases = {
        {"nothing entered", "", "", "", "built-id", "built-secret"},
        {"a client entered", "", "own-id", "own-secret", "own-id", "own-secret"},
        {"only an id entered", "", "own-id", "", "own-id", ""},
        {"the environment's id", "env-id", "", "", "env-id", "built-secret"},
        {"the environment's id over an entered one", "env-id", "own-id", "own-secret", "env-id",
         "own-secret"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::XdgSandbox sandbox;
        const QString envId = QLatin1String(c.envId);
        test::ScopedEnvVar id("TALVOR_GOOGLE_CLIENT_ID", envId.isEmpty() ? QString() : envId);
        test::ScopedEnvVar secret("TALVOR_GOOGLE_CLIENT_SECRET", QString());
        platform::UserDefaults& d = platform::UserDefaults::standard();
        for (const auto& [key, value] :
             {std::pair{GoogleClientCredentials::kIdKey, c.storedId},
              std::pair{GoogleClientCredentials::kSecretKey, c.storedSecret}}) {
            if (*value == '\0') {
                d.removeObjectForKey(key);
            } else {
                d.setObject(QString(QLatin1String(value)), key);
            }
        }
        const GoogleClientCredentials got = GoogleClientCredentials::fromEnvironment(d, builtIn);
        EXPECT_EQ(got.clientId, QLatin1String(c.expectedId));
        EXPECT_EQ(got.clientSecret, QLatin1String(c.expectedSecret));
    }
}

TEST(GoogleAuthorization, RefreshAnswerKeepsWhatItLeavesOut) {
    GoogleAuthorization before{QStringLiteral("old"), QStringLiteral("refresh"),
                               QStringLiteral("a@example.org"), QStringLiteral("email"), 100};
    const auto after = GoogleAuthorization::fromTokenResponse(
        QJsonObject{{QStringLiteral("access_token"), QStringLiteral("new")},
                    {QStringLiteral("expires_in"), 3599}},
        1000, &before);
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(after->accessToken, QStringLiteral("new"));
    EXPECT_EQ(after->refreshToken, QStringLiteral("refresh"));
    EXPECT_EQ(after->email, QStringLiteral("a@example.org"));
    EXPECT_EQ(after->expiresAtUnix, 4599);
    EXPECT_EQ(GoogleAuthorization::fromJson(after->toJson()), after);
    EXPECT_FALSE(GoogleAuthorization::fromTokenResponse(QJsonObject{}, 0, &before).has_value());
    // Nothing to refresh with is no authorization.
    EXPECT_FALSE(GoogleAuthorization::fromJson(R"({"access_token":"x"})").has_value());
    EXPECT_FALSE(GoogleAuthorization::fromJson("not json").has_value());
}

TEST(GoogleRetry, WaitsAsGoogleAsksWithinTheCaps) {
    GoogleLimits limits;
    limits.maxRetries = 10;
    limits.firstRetryDelay = 1s;
    limits.maxRetryDelay = 30s;
    struct Case {
        const char* name;
        int retriesSoFar;
        std::optional<std::chrono::milliseconds> retryAfter;
        std::chrono::milliseconds timeLeft;
        std::optional<std::chrono::milliseconds> wait;
    };
    const std::vector<Case> cases = {
        {"Google's wait", 0, 5s, 2min, 5s},
        {"Google's wait, later tries too", 4, 5s, 2min, 5s},
        {"Google's wait at the cap", 0, 30s, 2min, 30s},
        {"Google asks for more than the cap", 0, 31s, 2min, std::nullopt},
        {"no wait named: the first", 0, std::nullopt, 2min, 1s},
        {"no wait named: doubled", 2, std::nullopt, 2min, 4s},
        {"no wait named: no more than the cap", 6, std::nullopt, 2min, 30s},
        {"the retries used up", 10, 0s, 2min, std::nullopt},
        {"the wait would outlast the sync", 0, 10s, 10s, std::nullopt},
        {"a doubled wait would outlast it", 3, std::nullopt, 7s, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(googleRetryDelay(limits, c.retriesSoFar, c.retryAfter, c.timeLeft), c.wait)
            << c.name;
    }
}

TEST(GoogleRetry, RetryAfterIsSecondsOrADate) {
    const QDateTime now(QDate(2026, 12, 10), QTime(8, 0), Qt::UTC);
    struct Case {
        QByteArray header;
        std::optional<std::chrono::milliseconds> wait;
    };
    const std::vector<Case> cases = {
        {"0", 0s},
        {"120", 120s},
        {" 7 ", 7s},
        {"Thu, 10 Dec 2026 08:00:30 GMT", 30s},
        {"Thu, 10 Dec 2026 09:00:30 +0100", 30s},
        {"Thu, 10 Dec 2026 07:00:00 GMT", 0s},  // passed: at once
        {"99999999999999999", std::chrono::hours(366 * 24)},
        {"", std::nullopt},
        {"-5", std::nullopt},
        {"soon", std::nullopt},
        {"1.5", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(googleRetryAfter(c.header, now), c.wait) << c.header.constData();
    }
}

TEST(GooglePkce, ChallengeIsTheVerifiersHash) {
    // Worked out with Python's hashlib and base64.urlsafe_b64encode, padding dropped.
    EXPECT_EQ(GooglePkce::challengeFor("dBjftJeZ4CVP-mJ92K9qkWItgBWXmeDd4ODqcBcvt6E"),
              QByteArray("vinS5ztjlWuxN7AEN1RoAU1zdkuZJcgE2jPmmPOfd30"));
    const QByteArray v = GooglePkce::newVerifier();
    EXPECT_EQ(v.size(), 43);
    EXPECT_NE(v, GooglePkce::newVerifier());
    EXPECT_FALSE(v.contains('=') || v.contains('+') || v.contains('/'));
}

}  // namespace
}  // namespace talvor
