// talvor-gcal: the Google back end from a terminal, for checking it by hand against the real
// service (docs/google-calendar-check.md). Uses the keyring and the browser as Talvor does.
//
//   talvor-gcal signin | signout | whoami
//   talvor-gcal calendars
//   talvor-gcal month 2026-12
//   talvor-gcal add CALENDAR-ID "Title"                (now, for an hour)
//   talvor-gcal create CALENDAR-ID "Title" 2026-12-24  (all day, yearly, 30 min e-mail)
//   talvor-gcal delete CALENDAR-ID EVENT-ID
#include "calendar/CalMonth.h"
#include "calendar/GCalender.h"
#include "platform/BrowserOpener.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/SessionBus.h"
#include "platform/linux/LinuxSystemServices.h"

#include <QDate>
#include <QGuiApplication>
#include <QTimeZone>

#include <cstdio>

namespace {

using namespace talvor;

// Shows the address too, for a browser on another screen or a terminal without a desktop.
class PrintingOpener : public platform::BrowserOpener {
  public:
    bool openInBrowser(const QUrl& url) override {
        std::fprintf(stderr, "Opening the sign-in page; if no browser comes up, open:\n%s\n",
                     url.toString(QUrl::FullyEncoded).toUtf8().constData());
        platform::BrowserOpener::setShared(nullptr);
        platform::BrowserOpener::shared().openInBrowser(url);
        platform::BrowserOpener::setShared(this);
        return true;  // the printed address serves when no browser came up
    }
};

int usage() {
    std::fputs(
        "usage: talvor-gcal signin | signout | whoami | calendars | month YYYY-MM |\n"
        "       add CALENDAR-ID TITLE | create CALENDAR-ID TITLE YYYY-MM-DD |\n"
        "       delete CALENDAR-ID EVENT-ID\n",
        stderr);
    return 2;
}

void print(const QString& text) {
    std::printf("%s\n", text.toUtf8().constData());
}

CalSourcePtr sourceFor(const QString& calendarId) {
    CalSourcePtr s = CalSource::initWithToken(QString(), calendarId, QUrl());
    s->setIdentifier(calendarId);
    s->setEnabled(true);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    platform::SessionBus::pinAddress();
    QGuiApplication app(argc, argv);
    platform::installSystemServices(platform::linuxSystemServices());
    PrintingOpener opener;
    platform::BrowserOpener::setShared(&opener);

    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        return usage();
    }
    GCalender& google = GCalender::sharedInterface();
    int status = 0;
    auto finish = [&](bool ok, const QString& message) {
        print(ok ? QStringLiteral("ok") : QStringLiteral("failed: ") + message);
        status = ok ? 0 : 1;
        app.quit();
    };
    const QString command = args[0];
    if (command == QLatin1String("signin")) {
        google.loginToGoogle([&](bool ok, const QString& message) {
            if (ok) {
                print(QStringLiteral("signed in as ") + google.loggedInUser());
            }
            finish(ok, message);
        });
    } else if (command == QLatin1String("signout")) {
        google.logoutFromGoogle(finish);
    } else if (command == QLatin1String("whoami")) {
        google.setUpAuthorizationService();
        print(google.isLoggedInViaGoogle() ? google.loggedInUser() : QStringLiteral("signed out"));
        return 0;
    } else if (command == QLatin1String("calendars")) {
        google.loadPersonalSources([&](const auto& sources, const QString& message) {
            for (const CalSourcePtr& s : sources.value_or(std::vector<CalSourcePtr>{})) {
                print(QStringLiteral("%1\t%2\t%3\t%4")
                          .arg(s->identifier(), s->name(),
                               s->enabled() ? QStringLiteral("shown") : QStringLiteral("hidden"),
                               s->displayColor().name()));
            }
            finish(sources.has_value(), message);
        });
    } else if (command == QLatin1String("month") && args.size() == 2) {
        const QDate first = QDate::fromString(args[1] + QStringLiteral("-15"), Qt::ISODate);
        if (!first.isValid()) {
            return usage();
        }
        auto month = CalMonth::initWithDate(
            Date::fromQDateTime(
                QDateTime(first, QTime(12, 0), platform::Clock::shared().currentZone())),
            Calendar::current());
        platform::Observation loaded = platform::NotificationCenter::defaultCenter().addObserver(
            QStringLiteral("EventsLoaded"), QVariant(), [&](const platform::Notification&) {
                for (int day = 1; day <= month->maxDay(); ++day) {
                    if (const auto* events = month->eventsForDay(day)) {
                        for (const CalEventDay& e : *events) {
                            print(QStringLiteral("%1\t%2\t%3\t%4")
                                      .arg(day)
                                      .arg(e.title(),
                                           e.source() ? e.source()->identifier() : QString(),
                                           e.event()->editLink_()));
                        }
                    }
                }
                finish(true, QString());
            });
        google.loadEventsInBatch(month);
        if (!google.hasService()) {
            finish(false, QStringLiteral("not signed in"));
        }
        return status != 0 ? status : app.exec();
    } else if (command == QLatin1String("add") && args.size() == 3) {
        google.addQuickEventwithTitle(args[2], sourceFor(args[1]), finish);
    } else if (command == QLatin1String("create") && args.size() == 4) {
        const QDate day = QDate::fromString(args[3], Qt::ISODate);
        const Date at = Date::fromQDateTime(
            QDateTime(day, QTime(0, 0), platform::Clock::shared().currentZone()));
        google.createNewEventForSource(sourceFor(args[1]), args[2], QStringLiteral("talvor-gcal"),
                                       true, at, at, GCalender::Yearly, 30,
                                       GCalender::kEmailReminder, finish);
    } else if (command == QLatin1String("delete") && args.size() == 3) {
        CalEventPtr e =
            CalEvent::initWithStartTime(Date(), 0, QString(), QString(), sourceFor(args[1]));
        e->setEditLink_(args[2]);
        google.deleteEvent(*e, finish);
    } else {
        return usage();
    }
    return app.exec() == 0 ? status : 1;
}
