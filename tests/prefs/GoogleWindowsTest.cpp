// The Google Calendar parts of the windows against a Google of the test's own on 127.0.0.1:
// the mini calendar pane's Google tab (signing in and out, the account, the calendars, the
// back end choice) and the mini calendar's Google paths (restoring the sign-in, its months,
// the reload button, the quick add's sign-in prompt). Every test ends by searching the
// captured log for each token and secret handed out.
#include "calendar/AppleCal.h"
#include "calendar/CalendarBackEnd.h"
#include "calendar/GCalender.h"
#include "calendarui/CalWindow.h"
#include "calendarui/ColorPickerController.h"
#include "calendarui/CreateEventController.h"
#include "calendarui/MinnowCalendarController.h"
#include "foundation/CalendarExtras.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "prefs/TCalendarPrefs.h"
#include "services/HotKeyManager.h"
#include "support/FakeBrowserOpener.h"
#include "support/FakeCalendarStore.h"
#include "support/FakeClock.h"
#include "support/FakeGoogleServer.h"
#include "support/FakeHotKeyBackend.h"
#include "support/FakeReachabilityProbe.h"
#include "support/FakeScreens.h"
#include "support/FakeSecretStore.h"
#include "support/ScopedMachineZone.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"
#include "widgets/ProgressController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QUrlQuery>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using namespace std::chrono_literals;
using test::FakeGoogleServer;

Date berlin(int y, int m, int d, int h = 0, int min = 0) {
    return Date::fromQDateTime(
        QDateTime(QDate(y, m, d), QTime(h, min), QTimeZone(QByteArrayLiteral("Europe/Berlin"))));
}

QJsonObject calendar(const char* id, const char* summary, bool selected) {
    return {{QStringLiteral("id"), QLatin1String(id)},
            {QStringLiteral("summary"), QLatin1String(summary)},
            {QStringLiteral("backgroundColor"), QStringLiteral("#9fe1e7")},
            {QStringLiteral("selected"), selected},
            {QStringLiteral("accessRole"), QStringLiteral("owner")}};
}

QJsonObject timedEvent(const char* id, const char* summary, const char* start, const char* end) {
    return {
        {QStringLiteral("id"), QLatin1String(id)},
        {QStringLiteral("summary"), QLatin1String(summary)},
        {QStringLiteral("status"), QStringLiteral("confirmed")},
        {QStringLiteral("start"), QJsonObject{{QStringLiteral("dateTime"), QLatin1String(start)}}},
        {QStringLiteral("end"), QJsonObject{{QStringLiteral("dateTime"), QLatin1String(end)}}}};
}

class GoogleWindows : public ::testing::Test {
  protected:
    GoogleWindows() : defaults(domain.store()) {
        platform::UserDefaults::setStandard(&defaults);
        platform::Clock::setShared(&clock);
        HotKeyManager::setSharedManager(&hotKeys);
        AppleCal::setSharedInterface(&apple);
        CalSource::resetRegistryForTesting();
        browser.browse = [this](const QUrl& url) {
            if (userAnswers) {
                userAgrees(url);
            }
        };
        GCalender::Services s = services();
        s.credentials = {FakeGoogleServer::kClientId, FakeGoogleServer::kClientSecret};
        s.signInTimeout = 400ms;
        s.storedChoices = GCalender::subscribedEventsChoice;
        cal = std::make_unique<GCalender>(std::move(s));
        CalendarBackEnds::install(CalendarBackEnds::Kind::Google, cal.get());
        heard = platform::NotificationCenter::defaultCenter().addObserver(
            QString(), QVariant(), [this](const platform::Notification& n) {
                if (n.name == QLatin1String("CalendarsLoaded") ||
                    n.name == QLatin1String("loadCalendarEvents")) {
                    notices << n.name;
                }
            });
        server.addCalendar(calendar("work@example.org", "Work", true));
        server.addCalendar(calendar("home@example.org", "Home", false));
        server.addEvent(QStringLiteral("work@example.org"),
                        timedEvent("dentist", "Dentist", "2026-12-11T10:00:00+01:00",
                                   "2026-12-11T11:00:00+01:00"));
    }
    ~GoogleWindows() override {
        pane.reset();
        mini.reset();
        CalendarBackEnds::install(CalendarBackEnds::Kind::Google, nullptr);
        cal.reset();
        AppleCal::setSharedInterface(nullptr);
        HotKeyManager::setSharedManager(nullptr);
        CalSource::resetRegistryForTesting();
        CalendarExtras::resetForTesting();
        platform::Clock::setShared(nullptr);
        platform::UserDefaults::setStandard(nullptr);
        for (const QString& secret : server.secrets()) {
            for (const QString& line : log.lines()) {
                EXPECT_FALSE(line.contains(secret))
                    << "a secret in the log: " << line.toStdString();
            }
        }
    }

    // The back end's ways out, all to the test's Google.
    GCalender::Services services() {
        GCalender::Services s;
        s.network = &network;
        s.secrets = &secrets;
        s.browser = &browser;
        s.center = &platform::NotificationCenter::defaultCenter();
        s.endpoints = GoogleEndpoints::under(server.base());
        s.limits.maxRetries = 0;  // a scripted failure is the answer; retries are tested apart
        return s;
    }

    // The user in the browser: the authorization page redirects back to our listener.
    void userAgrees(const QUrl& url) {
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);
        QNetworkReply* page = network.get(request);
        QObject::connect(page, &QNetworkReply::finished, page, [this, page] {
            page->deleteLater();
            const QUrl back = page->header(QNetworkRequest::LocationHeader).toUrl();
            if (back.isValid()) {
                QNetworkReply* landing = network.get(QNetworkRequest(back));
                QObject::connect(landing, &QNetworkReply::finished, landing, &QObject::deleteLater);
            }
        });
    }

    TCalendarPrefs& openPane() {
        pane = std::make_unique<TCalendarPrefs>(QStringLiteral("Nib"));
        pane->setReachabilityProbe(&reachability);
        pane->view();
        return *pane;
    }
    template <class W>
    W* get(const char* id) {
        W* w = pane->view()->findChild<W*>(QLatin1String(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
    QString status() { return get<QLabel>("loginStatus")->text(); }
    QString button() { return get<QPushButton>("googleLoginLogoutButton")->text(); }
    QStringList rows() {
        QStringList out;
        auto* table = get<QTableWidget>("personalTable");
        for (int r = 0; r < table->rowCount(); ++r) {
            out << table->item(r, 1)->text();
        }
        return out;
    }
    bool signInDirectly() {
        bool done = false;
        bool ok = false;
        cal->loginToGoogle([&](bool success, const QString&) {
            done = true;
            ok = success;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
        return ok;
    }
    QStringList takeNotices() {
        QCoreApplication::processEvents();
        return std::exchange(notices, {});
    }

    test::ScopedMachineZone machine{"Europe/Berlin", "en_US"};
    test::XdgSandbox sandbox;
    test::ScopedEnvVar noBus{"DBUS_SESSION_BUS_ADDRESS", QStringLiteral("disabled:")};
    test::ScopedMemoryDomain domain{QStringLiteral("com.example.googlewindows")};
    platform::UserDefaults defaults;
    test::FakeClock clock{berlin(2026, 12, 10, 9, 0),
                          QTimeZone(QByteArrayLiteral("Europe/Berlin"))};
    test::LogCapture log;
    test::FakeHotKeyBackend hotKeyBackend;
    HotKeyManager hotKeys{&hotKeyBackend};
    test::FakeCalendarStore store;
    AppleCal apple{&store};
    test::FakeScreens screens;
    test::FakeReachabilityProbe reachability{platform::kReachabilityReachable};
    FakeGoogleServer server;
    test::FakeSecretStore secrets{false};
    test::FakeBrowserOpener browser;
    QNetworkAccessManager network;
    std::unique_ptr<GCalender> cal;
    bool userAnswers = true;
    platform::Observation heard;
    QStringList notices;
    std::unique_ptr<TCalendarPrefs> pane;
    std::unique_ptr<MinnowCalendarController> mini;
};

TEST_F(GoogleWindows, TheGoogleTabSignsInWithoutWaitingShowsTheAccountAndSignsOut) {
    openPane();
    EXPECT_EQ(status(), QStringLiteral("Please login to google"));
    EXPECT_EQ(button(), QStringLiteral("Google Login"));
    EXPECT_FALSE(get<QPushButton>("loadButton")->isEnabled());
    EXPECT_TRUE(rows().isEmpty());

    get<QPushButton>("googleLoginLogoutButton")->click();
    // The click returns at once; the pane says what is going on meanwhile.
    EXPECT_EQ(status(), QStringLiteral("Logging in..."));
    EXPECT_EQ(button(), QStringLiteral("Cancel"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows().size() == 2; }, 10000));
    EXPECT_EQ(status(), FakeGoogleServer::kEmail);
    EXPECT_EQ(button(), QStringLiteral("Google Logout"));
    EXPECT_TRUE(get<QPushButton>("loadButton")->isEnabled());
    EXPECT_EQ(rows(), (QStringList{QStringLiteral("Work"), QStringLiteral("Home")}));
    EXPECT_TRUE(secrets.items.contains(GCalender::kAuthorizationName));
    // The account decides which Google Calendar page the mini calendar opens.
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("Username")), FakeGoogleServer::kEmail);
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("AccountType")), 2);
    EXPECT_EQ(MinnowCalendarController::googleCalendarUrl(defaults).path(),
              QStringLiteral("/calendar/hosted/example.org"));
    EXPECT_EQ(takeNotices(), (QStringList{QStringLiteral("CalendarsLoaded"),
                                          QStringLiteral("loadCalendarEvents")}));
    EXPECT_EQ(pane->alert(), nullptr);

    // A pane opened later finds the sign-in as it stands.
    openPane();
    EXPECT_EQ(status(), FakeGoogleServer::kEmail);
    EXPECT_EQ(rows().size(), 2);

    get<QPushButton>("googleLoginLogoutButton")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows().isEmpty(); }, 10000));
    EXPECT_EQ(status(), QStringLiteral("Please login to google"));
    EXPECT_EQ(button(), QStringLiteral("Google Login"));
    EXPECT_FALSE(get<QPushButton>("loadButton")->isEnabled());
    EXPECT_FALSE(secrets.items.contains(GCalender::kAuthorizationName));
    EXPECT_TRUE(takeNotices().contains(QStringLiteral("loadCalendarEvents")));
}

// A user with no client built in makes one in Google Cloud console and enters it in the
// Google tab: the next sign-in uses it (PKCE, a loopback redirect) without a restart. The
// environment still wins over what is entered.
TEST_F(GoogleWindows, AClientEnteredInTheGoogleTabSignsIn) {
    test::ScopedEnvVar noId("TALVOR_GOOGLE_CLIENT_ID", QString());
    test::ScopedEnvVar noSecret("TALVOR_GOOGLE_CLIENT_SECRET", QString());
    GCalender::Services s = services();
    s.currentCredentials = [this] {
        return GoogleClientCredentials::fromEnvironment(defaults, GoogleClientCredentials{});
    };
    CalendarBackEnds::install(CalendarBackEnds::Kind::Google, nullptr);
    cal = std::make_unique<GCalender>(std::move(s));
    CalendarBackEnds::install(CalendarBackEnds::Kind::Google, cal.get());

    openPane();
    auto* id = get<QLineEdit>("googleClientIdField");
    auto* secret = get<QLineEdit>("googleClientSecretField");
    ASSERT_TRUE(id->isEnabled());
    EXPECT_TRUE(id->text().isEmpty());
    // Without a client the sign-in says where to enter one, and no browser opens.
    get<QPushButton>("googleLoginLogoutButton")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane->alert() != nullptr; }, 5000));
    EXPECT_TRUE(pane->lastAlertText().contains(QStringLiteral("Google tab")))
        << pane->lastAlertText().toStdString();
    EXPECT_TRUE(browser.opened.isEmpty());
    pane->alert()->close();

    QTest::keyClicks(id, QStringLiteral(" ") + FakeGoogleServer::kClientId);
    QTest::keyClicks(secret, FakeGoogleServer::kClientSecret + QStringLiteral(" "));
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("GoogleClientID")), FakeGoogleServer::kClientId);
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("GoogleClientSecret")),
              FakeGoogleServer::kClientSecret);
    get<QPushButton>("googleLoginLogoutButton")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows().size() == 2; }, 10000));
    EXPECT_EQ(status(), FakeGoogleServer::kEmail);
    ASSERT_EQ(browser.opened.size(), 1);
    const QUrlQuery asked(browser.opened.first());
    EXPECT_EQ(asked.queryItemValue(QStringLiteral("client_id")), FakeGoogleServer::kClientId);
    EXPECT_EQ(asked.queryItemValue(QStringLiteral("code_challenge_method")),
              QStringLiteral("S256"));
    EXPECT_TRUE(asked.queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded)
                    .startsWith(QStringLiteral("http://127.0.0.1:")));
    const auto exchanges = server.requestsTo("/token");
    ASSERT_FALSE(exchanges.empty());
    EXPECT_FALSE(exchanges.front().params.value(QStringLiteral("code_verifier")).isEmpty());

    // A pane opened later shows the client; the environment's client wins and is shown so.
    openPane();
    EXPECT_EQ(get<QLineEdit>("googleClientIdField")->text(), FakeGoogleServer::kClientId);
    test::ScopedEnvVar envId("TALVOR_GOOGLE_CLIENT_ID", QStringLiteral("env-client"));
    openPane();
    EXPECT_FALSE(get<QLineEdit>("googleClientIdField")->isEnabled());
    EXPECT_TRUE(get<QLineEdit>("googleClientIdField")
                    ->placeholderText()
                    .contains(QStringLiteral("TALVOR_GOOGLE_CLIENT_ID")));
    EXPECT_TRUE(get<QLineEdit>("googleClientSecretField")->isEnabled());
}

TEST_F(GoogleWindows, SignInFailuresAreSaidOnceAndLeaveThePaneSignedOut) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* says;  // part of the alert's text
        bool browserOpens;
    };
    const std::vector<Case> cases = {
        {"no connection", [&] { reachability.change(0); },
         "Please check your internet connection or try again later", false},
        {"the user refuses", [&] { server.setAuthorizationError(QStringLiteral("access_denied")); },
         "", true},
        {"the user never answers", [&] { userAnswers = false; }, "Time Out", true},
        {"the token exchange fails",
         [&] {
             server.addFault({"/token", 500, "{not json"});
         },
         "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reachability.change(platform::kReachabilityReachable);
        server.setAuthorizationError(std::nullopt);
        userAnswers = true;
        browser.opened.clear();
        c.arrange();
        openPane();
        get<QPushButton>("googleLoginLogoutButton")->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return pane->alert() != nullptr; }, 10000));
        EXPECT_TRUE(pane->lastAlertText().contains(QLatin1String(c.says)))
            << pane->lastAlertText().toStdString();
        EXPECT_FALSE(pane->lastAlertText().isEmpty());
        EXPECT_EQ(!browser.opened.isEmpty(), c.browserOpens);
        EXPECT_EQ(status(), QStringLiteral("Please login to google"));
        EXPECT_EQ(button(), QStringLiteral("Google Login"));
        EXPECT_FALSE(secrets.items.contains(GCalender::kAuthorizationName));
        // One report only: no second alert replaces the first.
        QMessageBox* first = pane->alert();
        QTest::qWait(600);
        EXPECT_EQ(pane->alert(), first);
    }
}

TEST_F(GoogleWindows, ACancelledSignInReportsNothingLater) {
    userAnswers = false;
    openPane();
    get<QPushButton>("googleLoginLogoutButton")->click();
    ASSERT_EQ(button(), QStringLiteral("Cancel"));
    get<QPushButton>("googleLoginLogoutButton")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return button() == QLatin1String("Google Login"); }, 5000));
    EXPECT_EQ(status(), QStringLiteral("Please login to google"));
    QTest::qWait(700);  // past the sign-in's time-out
    EXPECT_EQ(pane->alert(), nullptr);
    EXPECT_EQ(button(), QStringLiteral("Google Login"));
}

TEST_F(GoogleWindows, ReloadingTheCalendarsFailsClearlyAndKeepsTheRowsShown) {
    ASSERT_TRUE(signInDirectly());
    openPane();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows().size() == 2; }, 10000));
    struct Case {
        const char* name;
        FakeGoogleServer::Fault fault;
    };
    const std::vector<Case> cases = {
        {"a server error",
         {"/calendar/v3/users/me/calendarList", 500,
          R"({"error":{"code":500,"message":"Backend Error"}})"}},
        {"a broken body", {"/calendar/v3/users/me/calendarList", 200, "{\"items\": [ {"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.addFault(c.fault);
        takeNotices();
        get<QPushButton>("loadButton")->click();
        EXPECT_FALSE(get<QPushButton>("loadButton")->isEnabled()) << "busy while listing";
        ASSERT_TRUE(QTest::qWaitFor([&] { return pane->alert() != nullptr; }, 10000));
        EXPECT_FALSE(pane->lastAlertText().isEmpty());
        EXPECT_EQ(rows().size(), 2);
        EXPECT_TRUE(get<QPushButton>("loadButton")->isEnabled());
        EXPECT_EQ(takeNotices(), QStringList()) << "nothing to reload";
        pane->alert()->close();
        QCoreApplication::processEvents();
    }
}

TEST_F(GoogleWindows, ShowingAndColouringAGoogleCalendarAreKeptAtOnceByItsId) {
    ASSERT_TRUE(signInDirectly());
    openPane();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows().size() == 2; }, 10000));
    auto* table = get<QTableWidget>("personalTable");
    // "Home" is not selected in Google: shown unchecked; the user turns it on.
    ASSERT_EQ(table->item(1, 0)->checkState(), Qt::Unchecked);
    takeNotices();
    table->item(1, 0)->setCheckState(Qt::Checked);
    const QVariantMap kept = defaults.dictionaryForKey(QStringLiteral("SubscribedEvents"));
    ASSERT_TRUE(kept.contains(QStringLiteral("home@example.org")));
    EXPECT_TRUE(
        domain.store().dictionaryRepresentation().contains(QStringLiteral("SubscribedEvents")));
    EXPECT_TRUE(takeNotices().contains(QStringLiteral("loadCalendarEvents")));
    // The next listing keeps the user's choice over Google's.
    get<QPushButton>("loadButton")->click();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return get<QPushButton>("loadButton")->isEnabled(); }, 10000));
    ASSERT_EQ(cal->personalCalendars().size(), 2u);
    EXPECT_TRUE(cal->personalCalendars()[1]->enabled());
    EXPECT_EQ(get<QTableWidget>("personalTable")->item(1, 0)->checkState(), Qt::Checked);

    // A colour picked for "Work" is kept under its id too, and the months redraw.
    ColorPickerController picker;
    ColorPickerController::setController(&picker);
    table = get<QTableWidget>("personalTable");
    table->selectRow(0);
    pane->showColorPanel(table);
    QStringList changed;
    platform::Observation prefs = platform::NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("PrefsChanged"), QVariant(),
        [&](const platform::Notification&) { changed << QStringLiteral("PrefsChanged"); });
    pane->highlightChanged(SourceHighlight::sourceHighlightWithColor(QColor(200, 10, 10)));
    EXPECT_EQ(cal->personalCalendars()[0]->displayColor(), QColor(200, 10, 10));
    EXPECT_EQ(defaults.dictionaryForKey(QStringLiteral("SubscribedEvents"))
                  .value(QStringLiteral("work@example.org"))
                  .toList(),
              cal->personalCalendars()[0]->prefEncoding());
    QCoreApplication::processEvents();
    EXPECT_EQ(changed, QStringList{QStringLiteral("PrefsChanged")});
    if (picker.window()) {
        picker.window()->close();
    }
    ColorPickerController::setController(nullptr);
}

TEST_F(GoogleWindows, TheRadioButtonsAndTabsChooseTheBackEnd) {
    openPane();
    EXPECT_TRUE(get<QRadioButton>("radioButtonApple")->isChecked());
    EXPECT_TRUE(defaults.objectForKey(QStringLiteral("SelectedCalendar")).isNull())
        << "opening writes nothing";
    get<QRadioButton>("radioButtonGoogle")->click();
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("SelectedCalendar")), QStringLiteral("Google"));
    EXPECT_EQ(get<QTabWidget>("sourceTabs")->currentWidget()->objectName(),
              QStringLiteral("google"));
    EXPECT_TRUE(get<QRadioButton>("radioButtonGoogle")->isChecked());
    // Signed out: the windows are told, nothing is listed.
    EXPECT_EQ(takeNotices(), (QStringList{QStringLiteral("CalendarsLoaded"),
                                          QStringLiteral("loadCalendarEvents")}));
    EXPECT_TRUE(server.requestsTo("/calendar/").empty());

    // A pane opened now shows the Google tab.
    openPane();
    EXPECT_TRUE(get<QRadioButton>("radioButtonGoogle")->isChecked());
    EXPECT_EQ(get<QTabWidget>("sourceTabs")->currentWidget()->objectName(),
              QStringLiteral("google"));
    // The computer's tab chooses the computer's calendars.
    auto* tabs = get<QTabWidget>("sourceTabs");
    tabs->setCurrentWidget(get<QTableWidget>("personalTable_Apple"));
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("SelectedCalendar")), QStringLiteral("Apple"));
    EXPECT_TRUE(get<QRadioButton>("radioButtonApple")->isChecked());
    // Other tabs choose nothing.
    tabs->setCurrentIndex(0);
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("SelectedCalendar")), QStringLiteral("Apple"));
}

// Choosing Google again while its calendars are being listed keeps the sign-in as it is: a
// new one would end the listing under way with an error.
TEST_F(GoogleWindows, ChoosingGoogleAgainLeavesTheCallsUnderWayAlone) {
    ASSERT_TRUE(signInDirectly());
    defaults.setObject(QStringLiteral("Google"), QStringLiteral("SelectedCalendar"));
    openPane();
    // The pane lists the calendars on opening; choose Google again at once, twice.
    QCoreApplication::sendPostedEvents(pane.get(), QEvent::MetaCall);
    QCoreApplication::processEvents();
    get<QRadioButton>("radioButtonGoogle")->click();
    get<QRadioButton>("radioButtonGoogle")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows().size() == 2; }, 10000));
    QTest::qWait(50);
    EXPECT_EQ(pane->alert(), nullptr) << pane->lastAlertText().toStdString();
    EXPECT_EQ(server.refreshes(), 0);
}

// --- the mini calendar ---

void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    }
}

TEST_F(GoogleWindows, TheMiniCalendarRestoresTheSignInAndShowsGoogleEvents) {
    ASSERT_TRUE(signInDirectly());
    // A new run of the program: only the keyring remembers the sign-in.
    CalendarBackEnds::install(CalendarBackEnds::Kind::Google, nullptr);
    cal.reset();
    GCalender::Services s = services();
    s.limits = {};
    s.credentials = {FakeGoogleServer::kClientId, FakeGoogleServer::kClientSecret};
    cal = std::make_unique<GCalender>(std::move(s));
    CalendarBackEnds::install(CalendarBackEnds::Kind::Google, cal.get());
    defaults.setObject(QStringLiteral("Google"), QStringLiteral("SelectedCalendar"));
    // The user's choice for "Work", kept by its id: the mini calendar registers every kept
    // key as a source, which must not become a calendar Google is asked for.
    CalSourcePtr choice = CalSource::initWithToken(QString(), QStringLiteral("Work"), QUrl());
    choice->setIdentifier(QStringLiteral("work@example.org"));
    choice->setEnabled(true);
    defaults.setObject(QVariantMap{{QStringLiteral("work@example.org"), choice->prefEncoding()}},
                       QStringLiteral("SubscribedEvents"));

    mini = std::make_unique<MinnowCalendarController>(clock, defaults, screens);
    EXPECT_FALSE(cal->hasService()) << "the keyring is not read while the window is made";
    auto december = [&] { return mini->monthsForCalendar(Calendar(), 1, 0, false).front(); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return december()->eventsForDay(11) != nullptr; }, 10000));
    EXPECT_EQ(december()->eventsForDay(11)->front().title(), QStringLiteral("Dentist"));
    for (const auto& request : server.requestsTo("/calendar/v3/calendars/")) {
        EXPECT_TRUE(request.path.startsWith("/calendar/v3/calendars/work@example.org/"))
            << request.path.toStdString();
    }
    settle();
    QToolButton* reload = mini->calWindow()->cancelButton();
    EXPECT_FALSE(reload->isHidden());
    EXPECT_EQ(reload->toolTip(), QStringLiteral("Reload"));
    EXPECT_TRUE(mini->calWindow()->quickAddButton()->isEnabled());

    // While Google loads, the button cancels; cancelled, the month keeps what it shows and
    // the button reloads again.
    mini->reloadCalendarEvents();
    QCoreApplication::sendPostedEvents(mini.get(), QEvent::MetaCall);
    ASSERT_TRUE(cal->isLoading());
    EXPECT_EQ(reload->toolTip(), QStringLiteral("Cancel"));
    reload->click();
    EXPECT_FALSE(cal->isLoading());
    EXPECT_EQ(reload->toolTip(), QStringLiteral("Reload"));
    QTest::qWait(300);  // the cancelled answers come in and are dropped
    EXPECT_EQ(reload->toolTip(), QStringLiteral("Reload"));

    // No Google calendar shown: nothing to reload.
    for (const CalSourcePtr& c : cal->personalCalendars()) {
        c->setEnabled(false);
    }
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("loadCalendarEvents"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return reload->isHidden(); }, 10000));
}

TEST_F(GoogleWindows, SignedOutTheMiniCalendarIsEmptyAndQuickAddOffersToSignIn) {
    defaults.setObject(QStringLiteral("Google"), QStringLiteral("SelectedCalendar"));
    mini = std::make_unique<MinnowCalendarController>(clock, defaults, screens);
    int quickAdds = 0;
    mini->setQuickAddHandler([&] { ++quickAdds; });
    settle();
    QTest::qWait(100);
    EXPECT_TRUE(server.requestsTo("/calendar/").empty());
    // Enabled, so that it can say what to do.
    EXPECT_TRUE(mini->calWindow()->quickAddButton()->isEnabled());
    mini->calWindow()->quickAddButton()->click();
    EXPECT_EQ(quickAdds, 0);
    EXPECT_EQ(mini->lastAlertText(), QStringLiteral("Please login to google"));
    auto* alert = mini->calWindow()->findChild<QMessageBox*>(QStringLiteral("minnowAlert"));
    ASSERT_NE(alert, nullptr);
    QStringList buttons;
    for (QAbstractButton* b : alert->buttons()) {
        buttons << b->text();
    }
    EXPECT_TRUE(buttons.contains(QStringLiteral("Open Settings")));
    alert->close();

    // Signed in, the quick add goes to the sheet.
    ASSERT_TRUE(signInDirectly());
    mini->calWindow()->quickAddButton()->click();
    EXPECT_EQ(quickAdds, 1);
}

// The new-event form on the real Google back end: the repeat and the reminder's kind the user
// chose are what reaches the service.
TEST_F(GoogleWindows, TheNewEventFormSendsTheChosenRepeatAndReminderToGoogle) {
    defaults.setObject(QStringLiteral("Google"), QStringLiteral("SelectedCalendar"));
    ASSERT_TRUE(signInDirectly());
    bool listed = false;
    cal->loadPersonalSources([&](auto&&...) { listed = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed; }, 10000));
    struct Case {
        int repeatIndex;
        QJsonValue recurrence;
        int typeIndex;
        const char* method;
    };
    const Case cases[] = {
        {0, QJsonValue(QJsonValue::Undefined), 0, "popup"},
        {1, QJsonArray{QStringLiteral("RRULE:FREQ=DAILY")}, 1, "email"},
        {2, QJsonArray{QStringLiteral("RRULE:FREQ=WEEKLY")}, 0, "popup"},
        {4, QJsonArray{QStringLiteral("RRULE:FREQ=YEARLY")}, 1, "email"},
    };
    CreateEventController sheet(defaults);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.repeatIndex);
        const size_t before =
            server.requestsTo("/calendar/v3/calendars/work@example.org/events").size();
        sheet.startWithDate(berlin(2026, 12, 14, 9));
        const int work = sheet.sourcePopup()->findText(QStringLiteral("Work"));
        ASSERT_GE(work, 0);
        sheet.sourcePopup()->setCurrentIndex(work);
        sheet.titleField()->setText(QStringLiteral("Choir"));
        sheet.repeatPopup()->setCurrentIndex(c.repeatIndex);
        sheet.reminderTimePopup()->setCurrentIndex(sheet.reminderTimePopup()->findData(30));
        sheet.reminderTypePopup()->setCurrentIndex(c.typeIndex);
        sheet.submit();
        std::vector<FakeGoogleServer::Request> posts;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                posts = server.requestsTo("/calendar/v3/calendars/work@example.org/events");
                return posts.size() > before && posts.back().method == "POST";
            },
            10000));
        const QJsonObject sent = QJsonDocument::fromJson(posts.back().body).object();
        EXPECT_EQ(sent.value(QStringLiteral("summary")).toString(), QStringLiteral("Choir"));
        EXPECT_EQ(sent.value(QStringLiteral("recurrence")), c.recurrence);
        const QJsonObject reminder = sent.value(QStringLiteral("reminders"))
                                         .toObject()
                                         .value(QStringLiteral("overrides"))
                                         .toArray()
                                         .at(0)
                                         .toObject();
        EXPECT_EQ(reminder.value(QStringLiteral("method")).toString(), QLatin1String(c.method));
        EXPECT_EQ(reminder.value(QStringLiteral("minutes")).toInt(), 30);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !sheet.window()->isVisible(); }, 2000));
    }
    ProgressController::controller().close();
}

}  // namespace
}  // namespace talvor
