#include "GCalender.h"

#include "CalMonth.h"
#include "PublicCalendarFeeds.h"
#include "platform/BrowserOpener.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/SecretStore.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QTimeZone>
#include <QTimer>

#include <set>

namespace talvor {

namespace {

const QString kEventsLoaded = QStringLiteral("EventsLoaded");

QByteArray pathSegment(const QString& text) {
    return QUrl::toPercentEncoding(text);
}

QByteArray queryPair(const char* key, const QString& value) {
    return QByteArray(key) + '=' + QUrl::toPercentEncoding(value);
}

QString rfc3339Utc(Date date) {
    return date.toQDateTime().toUTC().toString(Qt::ISODate);
}

QTimeZone localZone() {
    return platform::Clock::shared().currentZone();
}

Date localMidnight(QDate day) {
    return Date::fromQDateTime(QDateTime(day, QTime(0, 0), localZone()));
}

// An event's start or end: a date-time with its offset, or an all-day date.
struct EventTime {
    std::optional<Date> instant;
    std::optional<QDate> day;
};

EventTime eventTime(const QJsonObject& o) {
    EventTime t;
    if (const QString dt = o.value(QStringLiteral("dateTime")).toString(); !dt.isEmpty()) {
        const QDateTime parsed = QDateTime::fromString(dt, Qt::ISODateWithMs);
        if (parsed.isValid()) {
            t.instant = Date::fromQDateTime(parsed);
        }
    } else if (const QString d = o.value(QStringLiteral("date")).toString(); !d.isEmpty()) {
        const QDate parsed = QDate::fromString(d, Qt::ISODate);
        if (parsed.isValid()) {
            t.day = parsed;
            t.instant = localMidnight(parsed);
        }
    }
    return t;
}

// The completion later, on the main loop, unless the back end is gone by then.
void later(const std::shared_ptr<bool>& alive, GCalender::Completion completion, bool ok,
           QString message) {
    QTimer::singleShot(
        0, [alive, completion = std::move(completion), ok, message = std::move(message)] {
            if (*alive && completion) {
                completion(ok, message);
            }
        });
}

// Dropped on the next turn of the loop: the call delivering to us may be inside it.
template <typename T>
void retire(std::unique_ptr<T> object) {
    if (object) {
        QTimer::singleShot(0, [held = std::shared_ptr<T>(std::move(object))] {});
    }
}

const QString kNotSignedIn = QStringLiteral("Not signed in to Google Calendar");

// Only web addresses: the page opens in the browser, and the event is someone else's text.
bool isWebAddress(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

// An event's gadget as the Calendar API gives it ("link", "iconLink", "width", "height");
// none without a page. Its icon is fetched when a day view shows it.
std::optional<Gadget> gadgetOf(const QJsonObject& o) {
    const QString link = o.value(QStringLiteral("link")).toString();
    if (!isWebAddress(link)) {
        return std::nullopt;
    }
    Gadget g;
    g.urlString = link;
    if (const QString icon = o.value(QStringLiteral("iconLink")).toString(); isWebAddress(icon)) {
        g.imageUrlString = icon;
    }
    // A page larger than any screen is someone's mistake.
    const auto side = [&](const char* key) {
        return static_cast<float>(std::clamp(o.value(QLatin1String(key)).toDouble(), 0.0, 2000.0));
    };
    g.width = side("width");
    g.height = side("height");
    return g;
}

}  // namespace

GCalender::GCalender(Services services) : services_(std::move(services)) {}

GCalender::~GCalender() {
    *alive_ = false;
}

GCalender& GCalender::sharedInterface() {
    // Never destroyed: the network manager must not outlive the application object's end.
    static GCalender* shared = [] {
        Services s;
        s.network = new QNetworkAccessManager();
        s.secrets = &platform::SecretStore::shared();
        s.browser = &platform::BrowserOpener::shared();
        s.center = &platform::NotificationCenter::defaultCenter();
        s.currentCredentials = [] {
            return GoogleClientCredentials::fromEnvironment(platform::UserDefaults::standard());
        };
        s.storedChoices = subscribedEventsChoice;
        auto* made = new GCalender(std::move(s));
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QObject::connect(app, &QCoreApplication::aboutToQuit, app,
                             [made] { made->stopAtQuit(); });
        }
        return made;
    }();
    return *shared;
}

GCalender* GCalender::installed() {
    return dynamic_cast<GCalender*>(CalendarBackEnds::installed(CalendarBackEnds::Kind::Google));
}

std::optional<QVariantList> GCalender::subscribedEventsChoice(const QString& calendarId) {
    const QVariant stored = platform::UserDefaults::standard()
                                .dictionaryForKey(QStringLiteral("SubscribedEvents"))
                                .value(calendarId);
    if (stored.typeId() != QMetaType::QVariantList) {
        return std::nullopt;
    }
    return stored.toList();
}

GoogleClientCredentials GCalender::credentials() const {
    return services_.currentCredentials ? services_.currentCredentials() : services_.credentials;
}

bool GCalender::isLoggedInViaGoogle() const {
    const platform::SecretStore::Loaded kept = services_.secrets->load(kAuthorizationName);
    return kept.secret && GoogleAuthorization::fromJson(*kept.secret).has_value();
}

QString GCalender::loggedInUser() const {
    if (!api_ || api_->authorization().email.isEmpty()) {
        return QStringLiteral("NA");
    }
    return api_->authorization().email;
}

bool GCalender::setUpAuthorizationService() {
    const platform::SecretStore::Loaded kept = services_.secrets->load(kAuthorizationName);
    std::optional<GoogleAuthorization> a;
    if (kept.secret) {
        a = GoogleAuthorization::fromJson(*kept.secret);
        if (!a) {
            platform::log(QStringLiteral("Google: the kept sign-in cannot be read; sign in again"));
        }
    }
    if (!a) {
        return false;
    }
    installService(*a);
    return true;
}

void GCalender::setAuthorization(const std::optional<GoogleAuthorization>& authorization) {
    if (authorization && authorization->canAuthorize()) {
        if (services_.secrets->save(kAuthorizationName, authorization->toJson()) !=
            platform::SecretStore::Outcome::Done) {
            platform::log(QStringLiteral(
                "Google: the sign-in could not be kept; it lasts until Talvor quits"));
        }
    } else {
        services_.secrets->remove(kAuthorizationName);
    }
}

void GCalender::installService(const GoogleAuthorization& authorization) {
    dropService(
        QStringLiteral("The Google sign-in changed while this was under way; "
                       "please try again"));
    std::weak_ptr<bool> alive = alive_;
    const std::uint64_t generation = ++serviceGeneration_;
    auto current = [this, alive, generation] {
        const std::shared_ptr<bool> a = alive.lock();
        return a && *a && generation == serviceGeneration_;
    };
    api_ = std::make_unique<GoogleApi>(
        *services_.network, scheduler(), services_.endpoints, credentials(), authorization,
        [this, current](const GoogleAuthorization& fresh) {
            if (current()) {
                setAuthorization(fresh);
            }
        },
        [this, current] {
            // Nothing can renew it: forget it, so that signing in again asks Google anew.
            if (current()) {
                setAuthorization(std::nullopt);
                dropService(GoogleApi::kRevokedMessage);
            }
        },
        services_.limits);
}

void GCalender::dropService(const QString& message) {
    ++serviceGeneration_;
    std::unique_ptr<GoogleApi> old = std::move(api_);
    if (old) {
        old->abandon(message);
    }
    retire(std::move(old));
}

bool GCalender::ensureService(Completion* failWith) {
    if (api_ || setUpAuthorizationService()) {
        return true;
    }
    if (failWith) {
        later(alive_, std::move(*failWith), false, kNotSignedIn);
    }
    return false;
}

void GCalender::loginToGoogle(Completion completion) {
    const platform::SecretStore::Loaded kept = services_.secrets->load(kAuthorizationName);
    if (kept.secret) {
        if (std::optional<GoogleAuthorization> a = GoogleAuthorization::fromJson(*kept.secret)) {
            installService(*a);
            later(alive_, std::move(completion), true, QString());
            return;
        }
    }
    if (signIn_) {
        signIn_->cancel();  // one sign-in at a time; the one replaced reports nothing
    }
    retire(std::move(signIn_));
    signIn_ =
        std::make_unique<GoogleSignIn>(*services_.network, scheduler(), *services_.browser,
                                       services_.endpoints, credentials(), services_.signInTimeout);
    std::shared_ptr<bool> alive = alive_;
    signIn_->start([this, alive, completion = std::move(completion)](
                       std::optional<GoogleAuthorization> a, const QString& message) {
        if (!*alive) {
            return;
        }
        if (a) {
            setAuthorization(a);
            installService(*a);
        }
        // A failure before the browser opened comes inside start(): the caller hears it later.
        later(alive, completion, a.has_value(), a ? QString() : message);
    });
}

void GCalender::logoutFromGoogle(Completion completion) {
    if (signIn_) {
        signIn_->cancel();
    }
    retire(std::move(signIn_));
    setAuthorization(std::nullopt);
    personalSources_.clear();
    personalSourcesLoaded_ = false;
    dropService(kNotSignedIn);
    later(alive_, std::move(completion), true, QString());
}

void GCalender::loadPersonalSources(SourcesCompletion completion) {
    if (!api_) {
        platform::debugLog(QStringLiteral("nil"));
    }
    if (!ensureService(nullptr)) {
        std::shared_ptr<bool> alive = alive_;
        QTimer::singleShot(0, [alive, completion = std::move(completion)] {
            if (*alive) {
                completion(std::nullopt, kNotSignedIn);
            }
        });
        return;
    }
    listCalendars(googleDeadline(scheduler(), services_.limits), std::move(completion));
}

platform::Scheduler& GCalender::scheduler() const {
    return services_.scheduler ? *services_.scheduler : platform::Scheduler::shared();
}

void GCalender::listCalendars(Date deadline, SourcesCompletion completion) {
    listCalendarsPage(
        GooglePaging(deadline, services_.limits.maxPages), {},
        [completion = std::move(completion)](
            const std::optional<std::vector<CalSourcePtr>>& sources, const QString& message) {
            if (!sources) {
                platform::log(
                    QStringLiteral("Google: the calendars could not be listed: %1").arg(message));
            }
            completion(sources, message);
        });
}

void GCalender::listCalendarsPage(GooglePaging paging, std::vector<CalSourcePtr> sources,
                                  SourcesCompletion completion) {
    if (!api_) {  // signed out while the pages came in
        completion(std::nullopt, kNotSignedIn);
        return;
    }
    QByteArray path = "/calendar/v3/users/me/calendarList?minAccessRole=owner";
    if (!paging.token().isEmpty()) {
        path += '&' + queryPair("pageToken", paging.token());
    }
    const Date deadline = paging.deadline();
    auto onPage = [this, paging = std::move(paging), sources = std::move(sources),
                   completion = std::move(completion)](const GoogleReply& reply) mutable {
        if (!reply.ok()) {
            // The calendars known so far stay: a failed refresh blanks nothing.
            completion(std::nullopt, reply.message);
            return;
        }
        const QJsonObject page = reply.json.object();
        for (const QJsonValue v : page.value(QStringLiteral("items")).toArray()) {
            const QJsonObject entry = v.toObject();
            const QString id = entry.value(QStringLiteral("id")).toString();
            if (id.isEmpty()) {
                continue;
            }
            CalSourcePtr s = CalSource::initWithToken(
                QString(), entry.value(QStringLiteral("summary")).toString(), QUrl());
            s->setCanCreate(true);
            s->setIdentifier(id);
            // The value, not its presence: "selected": false is a calendar the user hid.
            s->setEnabled(entry.value(QStringLiteral("selected")).toBool(false));
            s->setDisplayColor(QColor(entry.value(QStringLiteral("backgroundColor")).toString()));
            if (services_.storedChoices) {
                s->updateFromPrefEncoding(services_.storedChoices(id));
            }
            sources.push_back(std::move(s));
        }
        const QString next = page.value(QStringLiteral("nextPageToken")).toString();
        if (!next.isEmpty()) {
            if (const std::optional<QString> stop = paging.advance(next)) {
                completion(std::nullopt, *stop);
                return;
            }
            listCalendarsPage(std::move(paging), std::move(sources), std::move(completion));
            return;
        }
        personalSources_ = std::move(sources);
        personalSourcesLoaded_ = true;
        completion(personalSources_, QString());
    };
    api_->get(path, std::move(onPage), deadline);
}

void GCalender::listEventsPage(
    const QString& calendarId, Date from, Date to, GooglePaging paging,
    std::vector<QJsonObject> items,
    std::function<void(std::vector<QJsonObject> items, QString message)> done) {
    if (!api_) {  // signed out while the pages came in
        done({}, kNotSignedIn);
        return;
    }
    // Repeating events come as their occurrences, in order, page after page.
    QByteArray path = "/calendar/v3/calendars/" + pathSegment(calendarId) + "/events?" +
                      queryPair("timeMin", rfc3339Utc(from)) + '&' +
                      queryPair("timeMax", rfc3339Utc(to)) +
                      "&singleEvents=true&orderBy=startTime&maxResults=2500";
    if (!paging.token().isEmpty()) {
        path += '&' + queryPair("pageToken", paging.token());
    }
    const Date deadline = paging.deadline();
    auto onPage = [this, calendarId, from, to, paging = std::move(paging), items = std::move(items),
                   done = std::move(done)](const GoogleReply& reply) mutable {
        if (!reply.ok()) {
            done({}, reply.message);
            return;
        }
        const QJsonObject page = reply.json.object();
        for (const QJsonValue v : page.value(QStringLiteral("items")).toArray()) {
            items.push_back(v.toObject());
        }
        const QString next = page.value(QStringLiteral("nextPageToken")).toString();
        if (!next.isEmpty()) {
            if (const std::optional<QString> stop = paging.advance(next)) {
                done({}, *stop);
                return;
            }
            listEventsPage(calendarId, from, to, std::move(paging), std::move(items),
                           std::move(done));
            return;
        }
        done(std::move(items), QString());
    };
    api_->get(path, std::move(onPage), deadline);
}

void GCalender::loadEventsInBatch(const std::shared_ptr<CalMonth>& month) {
    if (!month) {
        return;
    }
    month->removeEventsOf(CalendarBackEnds::Kind::Google);
    if (!ensureService(nullptr)) {
        return;
    }
    const Date deadline = googleDeadline(scheduler(), services_.limits);
    if (!personalSources_.empty()) {
        loadEventsOfSources(month, deadline);
        return;
    }
    std::weak_ptr<CalMonth> weak = month;
    ++listingForMonths_;
    const std::uint64_t cancels = loadsCancelled_;
    std::shared_ptr<bool> alive = alive_;
    listCalendars(deadline,
                  [this, alive, weak, cancels, deadline](
                      const std::optional<std::vector<CalSourcePtr>>& sources, const QString&) {
                      if (!*alive || cancels != loadsCancelled_) {
                          return;  // cancelled: already counted out
                      }
                      --listingForMonths_;
                      if (!sources) {
                          // The month was emptied: the windows show that, and stop waiting.
                          services_.center->post(kEventsLoaded);
                          return;
                      }
                      if (std::shared_ptr<CalMonth> m = weak.lock(); m && !sources->empty()) {
                          loadEventsOfSources(m, deadline);
                      } else {
                          services_.center->post(kEventsLoaded);
                      }
                  });
}

void GCalender::cancelLoads() {
    if (!isLoading()) {
        return;
    }
    loads_.clear();
    listingForMonths_ = 0;
    ++loadsCancelled_;
    services_.center->post(kEventsLoaded);
}

void GCalender::stopAtQuit() {
    ++serviceGeneration_;
    api_.reset();  // its calls end unanswered
    if (signIn_) {
        signIn_->cancel();
    }
    loads_.clear();
    listingForMonths_ = 0;
    ++loadsCancelled_;
}

void GCalender::loadEventsOfSources(const std::shared_ptr<CalMonth>& month, Date deadline) {
    std::vector<CalSourcePtr> sources;
    std::set<QString> seen;
    auto consider = [&](const CalSourcePtr& s) {
        // A source without a calendar id is nothing Google can be asked for.
        if (s && s->enabled() && !s->identifier().isEmpty() &&
            seen.insert(s->identifier()).second) {
            sources.push_back(s);
        }
    };
    for (const CalSourcePtr& s : personalSources_) {
        consider(s);
    }
    for (const CalSourcePtr& s : CalSource::enabledSources()) {
        // The public calendars are read from their feeds, signed in or not.
        if (!PublicCalendarFeeds::serves(*s)) {
            consider(s);
        }
    }
    const std::uint64_t load = nextLoad_++;
    loads_[month.get()] = load;
    struct Gathering {
        std::size_t left = 0;
        std::vector<CalEventPtr> events;
        QStringList failures;  // logged together: one sync, one line
    };
    auto gathering = std::make_shared<Gathering>();
    gathering->left = sources.size();
    std::weak_ptr<CalMonth> weak = month;
    const CalMonth* key = month.get();
    auto finishOne = [this, gathering, weak, key, load] {
        if (--gathering->left > 0) {
            return;
        }
        if (!gathering->failures.isEmpty()) {
            platform::log(QStringLiteral("Google: the events of %1 could not be loaded")
                              .arg(gathering->failures.join(QStringLiteral("; "))));
        }
        const auto it = loads_.find(key);
        if (it == loads_.end() || it->second != load) {
            return;  // a later load of this month owns it now
        }
        loads_.erase(it);
        std::shared_ptr<CalMonth> m = weak.lock();
        if (!m) {
            return;
        }
        for (const CalEventPtr& e : gathering->events) {
            for (const CalEventDay& d : e->adjustedDaysForCalendar(m->calendar())) {
                if (d.era() == m->era() && d.year() == m->year() && d.month() == m->month()) {
                    m->addEvent(d, d.day());
                }
            }
        }
        PublicCalendarFeeds::shared().fileEvents(*m);
        m->finalizeEventAdd();
        services_.center->post(kEventsLoaded);
    };
    if (sources.empty()) {
        gathering->left = 1;
        finishOne();
        return;
    }
    const Date from = month->earliestDate();
    const Date to = month->latestDate();
    for (const CalSourcePtr& source : sources) {
        listEventsPage(source->identifier(), from, to,
                       GooglePaging(deadline, services_.limits.maxPages), {},
                       [gathering, source, finishOne](const std::vector<QJsonObject>& items,
                                                      const QString& message) {
                           if (!message.isEmpty()) {
                               gathering->failures.append(
                                   QStringLiteral("\"%1\" (%2)").arg(source->name(), message));
                           }
                           for (const QJsonObject& item : items) {
                               if (CalEventPtr e = eventFromResource(item, source)) {
                                   gathering->events.push_back(std::move(e));
                               }
                           }
                           finishOne();
                       });
    }
}

CalEventPtr GCalender::eventFromResource(const QJsonObject& item, const CalSourcePtr& source) {
    if (item.value(QStringLiteral("status")).toString() == QLatin1String("cancelled")) {
        return nullptr;
    }
    const EventTime start = eventTime(item.value(QStringLiteral("start")).toObject());
    if (!start.instant) {
        return nullptr;
    }
    const EventTime end = eventTime(item.value(QStringLiteral("end")).toObject());
    double duration = 0;
    if (end.instant && *end.instant > *start.instant) {
        duration = end.instant->timeIntervalSince(*start.instant);
    } else if (start.day) {
        duration = localMidnight(start.day->addDays(1)).timeIntervalSince(*start.instant);
    }
    CalEventPtr e = CalEvent::initWithStartTime(
        *start.instant, duration, item.value(QStringLiteral("summary")).toString(),
        item.value(QStringLiteral("description")).toString(), source);
    e->setIsAllDay(start.day.has_value());
    e->setEditLink_(item.value(QStringLiteral("id")).toString());
    e->setOriginalEditLink(item.value(QStringLiteral("recurringEventId")).toString());
    e->setGadget(gadgetOf(item.value(QStringLiteral("gadget")).toObject()));
    e->setOrigin(CalendarBackEnds::Kind::Google);
    return e;
}

QJsonObject GCalender::eventResource(const QString& title, const QString& description, bool allDay,
                                     Date startDate, Date endDate, int32_t recurrance,
                                     int32_t reminderMinutes, int32_t reminderType) {
    const QTimeZone zone = localZone();
    const QString zoneName = QString::fromUtf8(zone.id());
    QJsonObject start;
    QJsonObject end;
    if (allDay) {
        const QDate first = startDate.toQDateTime().toTimeZone(zone).date();
        const QDate last = std::max(first, endDate.toQDateTime().toTimeZone(zone).date());
        // Google's all-day end is the day after the last one: the same day would be an
        // empty event, which it refuses.
        start.insert(QStringLiteral("date"), first.toString(Qt::ISODate));
        end.insert(QStringLiteral("date"), last.addDays(1).toString(Qt::ISODate));
    } else {
        start.insert(QStringLiteral("dateTime"),
                     startDate.toQDateTime().toTimeZone(zone).toString(Qt::ISODate));
        end.insert(QStringLiteral("dateTime"),
                   endDate.toQDateTime().toTimeZone(zone).toString(Qt::ISODate));
    }
    start.insert(QStringLiteral("timeZone"), zoneName);
    end.insert(QStringLiteral("timeZone"), zoneName);

    QJsonObject event;
    event.insert(QStringLiteral("summary"), title);
    if (!description.isEmpty()) {
        event.insert(QStringLiteral("description"), description);
    }
    event.insert(QStringLiteral("start"), start);
    event.insert(QStringLiteral("end"), end);

    if (recurrance == None) {
        platform::debugLog(QStringLiteral("No Recurrance"));
    } else {
        const char* word = recurrance == Daily    ? "DAILY"
                           : recurrance == Weekly ? "WEEKLY"
                           : recurrance == Yearly ? "YEARLY"
                                                  : "MONTHLY";
        event.insert(QStringLiteral("recurrence"),
                     QJsonArray{QStringLiteral("RRULE:FREQ=") + QLatin1String(word)});
    }
    if (reminderMinutes != 0) {
        QJsonObject override;
        override.insert(QStringLiteral("method"), reminderType == kEmailReminder
                                                      ? QStringLiteral("email")
                                                      : QStringLiteral("popup"));
        override.insert(QStringLiteral("minutes"), reminderMinutes);
        QJsonObject reminders;
        reminders.insert(QStringLiteral("useDefault"), false);
        reminders.insert(QStringLiteral("overrides"), QJsonArray{override});
        event.insert(QStringLiteral("reminders"), reminders);
    } else {
        platform::debugLog(QStringLiteral("No Reminder"));
    }
    return event;
}

void GCalender::insertEvent(const CalSourcePtr& source, const QJsonObject& resource,
                            Completion completion) {
    if (!source || source->identifier().isEmpty()) {
        later(alive_, std::move(completion), false,
              QStringLiteral("Choose a Google calendar for the event"));
        return;
    }
    if (!ensureService(&completion)) {
        return;
    }
    api_->post("/calendar/v3/calendars/" + pathSegment(source->identifier()) + "/events", resource,
               [completion = std::move(completion)](const GoogleReply& reply) {
                   if (reply.ok()) {
                       platform::debugLog(QStringLiteral("Event Added"));
                   }
                   completion(reply.ok(), reply.message);
               });
}

void GCalender::addQuickEventwithTitle(const QString& title, const CalSourcePtr& source,
                                       Completion completion) {
    const Date now = platform::Clock::shared().now();
    insertEvent(source,
                eventResource(title, QString(), false, now,
                              now.addingTimeInterval(kQuickEventLength), None, 0, 0),
                std::move(completion));
}

void GCalender::createNewEventForSource(const CalSourcePtr& source, const QString& title,
                                        const QString& description, bool allDay, Date startDate,
                                        Date endDate, int32_t recurrance, int32_t reminderMinutes,
                                        int32_t reminderType, Completion completion) {
    insertEvent(source,
                eventResource(title, description, allDay, startDate, endDate, recurrance,
                              reminderMinutes, reminderType),
                std::move(completion));
}

void GCalender::deleteEvent(const CalEvent& event, Completion completion, DeleteScope scope) {
    const CalSourcePtr& source = event.source();
    if (!source || source->identifier().isEmpty() || event.editLink_().isEmpty()) {
        later(alive_, std::move(completion), false,
              QStringLiteral("This event is not one of your Google calendars'"));
        return;
    }
    if (!ensureService(&completion)) {
        return;
    }
    if (scope == DeleteScope::ThisAndFollowing && !event.originalEditLink().isEmpty()) {
        endSeriesBefore(source, event, std::move(completion));
        return;
    }
    const QString& id = scope == DeleteScope::WholeSeries && !event.originalEditLink().isEmpty()
                            ? event.originalEditLink()
                            : event.editLink_();
    api_->deleteResource("/calendar/v3/calendars/" + pathSegment(source->identifier()) +
                             "/events/" + pathSegment(id),
                         [completion = std::move(completion)](const GoogleReply& reply) {
                             // Gone already is what was asked for.
                             const bool ok = reply.ok() || reply.status == 410;
                             completion(ok, ok ? QString() : reply.message);
                         });
}

void GCalender::endSeriesBefore(const CalSourcePtr& source, const CalEvent& occurrence,
                                Completion completion) {
    const QByteArray path = "/calendar/v3/calendars/" + pathSegment(source->identifier()) +
                            "/events/" + pathSegment(occurrence.originalEditLink());
    const Date start = occurrence.startDate();
    const bool allDay = occurrence.isAllDay();
    const std::uint64_t generation = serviceGeneration_;
    std::shared_ptr<bool> alive = alive_;
    api_->get(path, [this, alive, generation, path, start, allDay,
                     completion = std::move(completion)](const GoogleReply& reply) mutable {
        if (!reply.ok()) {
            completion(false, reply.message);
            return;
        }
        if (!*alive || generation != serviceGeneration_ || !api_) {
            completion(false, kNotSignedIn);
            return;
        }
        const QJsonObject series = reply.json.object();
        const EventTime first = eventTime(series.value(QStringLiteral("start")).toObject());
        const QJsonArray rules = series.value(QStringLiteral("recurrence")).toArray();
        auto done = [completion = std::move(completion)](const GoogleReply& r) {
            const bool ok = r.ok() || r.status == 410;
            completion(ok, ok ? QString() : r.message);
        };
        // From the first occurrence on, nothing of the series is left.
        if (rules.isEmpty() || !first.instant || start <= *first.instant) {
            api_->deleteResource(path, std::move(done));
            return;
        }
        api_->patch(path,
                    QJsonObject{{QStringLiteral("recurrence"),
                                 recurrenceEndedBefore(rules, start, allDay)}},
                    std::move(done));
    });
}

QJsonArray GCalender::recurrenceEndedBefore(const QJsonArray& recurrence, Date occurrence,
                                            bool allDay) {
    const QString until = allDay ? occurrence.toQDateTime()
                                       .toTimeZone(localZone())
                                       .date()
                                       .addDays(-1)
                                       .toString(QStringLiteral("yyyyMMdd"))
                                 : occurrence.addingTimeInterval(-1).toQDateTime().toUTC().toString(
                                       QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QJsonArray lines;
    for (const QJsonValue v : recurrence) {
        const QString line = v.toString();
        if (!line.startsWith(QLatin1String("RRULE:"), Qt::CaseInsensitive)) {
            lines.append(line);  // dates added or left out stay as they are
            continue;
        }
        QStringList parts = line.mid(6).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        parts.removeIf([](const QString& p) {
            return p.startsWith(QLatin1String("UNTIL="), Qt::CaseInsensitive) ||
                   p.startsWith(QLatin1String("COUNT="), Qt::CaseInsensitive);
        });
        parts.append(QStringLiteral("UNTIL=") + until);
        lines.append(QStringLiteral("RRULE:") + parts.join(QLatin1Char(';')));
    }
    return lines;
}

namespace {

std::function<void(bool, const QString&)> toInterface(CalendarBackEnd::Completion completion) {
    return [completion = std::move(completion)](bool ok, const QString& message) {
        if (completion) {
            completion(ok,
                       ok || message.isEmpty() ? std::nullopt : std::optional<QString>(message));
        }
    };
}

}  // namespace

void GCalender::addQuickEventwithTitle(const QString& title, const CalSourcePtr& source,
                                       const CalendarBackEnd::Completion& completion) {
    addQuickEventwithTitle(title, source, Completion(toInterface(completion)));
}

void GCalender::createNewEventForSource(const CalSourcePtr& source, const QString& title,
                                        const QString& description, bool allDay, Date startDate,
                                        Date endDate, int recurrance, int reminderMinutes,
                                        int reminderType,
                                        const CalendarBackEnd::Completion& completion) {
    // The interface counts repetitions from -1 (none); ours from 0. Out of range is none,
    // not a guess.
    const int32_t ours = recurrance >= -1 && recurrance <= 3 ? recurrance + 1 : None;
    createNewEventForSource(source, title, description, allDay, startDate, endDate, ours,
                            std::max(0, reminderMinutes), reminderType,
                            Completion(toInterface(completion)));
}

void GCalender::deleteEvent(const CalEvent& event, platform::RemoveScope scope,
                            const CalendarBackEnd::Completion& completion) {
    const DeleteScope ours = scope == platform::RemoveScope::ThisEvent ? DeleteScope::ThisOccurrence
                             : scope == platform::RemoveScope::All     ? DeleteScope::WholeSeries
                                                                   : DeleteScope::ThisAndFollowing;
    deleteEvent(event, Completion(toInterface(completion)), ours);
}

}  // namespace talvor
