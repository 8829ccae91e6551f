#include "AppleCal.h"

#include "CalEvent.h"
#include "CalMonth.h"
#include "PublicCalendarFeeds.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <cstdlib>

namespace talvor {
namespace {

AppleCal*& replacement() {
    static AppleCal* backEnd = nullptr;
    return backEnd;
}

// A repeating occurrence's edit link names its series and its original start, so that one
// occurrence can be removed.
QString occurrenceLink(const platform::StoreOccurrence& o) {
    if (!o.hasRecurrence || !o.occurrenceDate) {
        return o.eventId;
    }
    return o.eventId + QLatin1Char('|') +
           QString::number(static_cast<qint64>(o.occurrenceDate->timeIntervalSince1970()));
}

}  // namespace

QString AppleCal::accessRefusedText() {
    return QStringLiteral(
        "Talvor Pro may not read your calendars. Allow it to show their events "
        "and reminders.");
}

AppleCal::AppleCal(platform::CalendarStore* store) : store_(nullptr) {
    setEventStore(store);
}

AppleCal& AppleCal::sharedInterface() {
    if (replacement() != nullptr) {
        return *replacement();
    }
    static AppleCal* const made = new AppleCal;
    return *made;
}

void AppleCal::setSharedInterface(AppleCal* backEnd) {
    replacement() = backEnd;
}

platform::CalendarStore& AppleCal::eventStore() const {
    return store_ != nullptr ? *store_ : platform::CalendarStore::shared();
}

void AppleCal::setEventStore(platform::CalendarStore* store) {
    store_ = store;
    disconnect(storeChanged_);
    calendarsListed_ = false;
    sourcesMade_ = false;
    if (store_ != nullptr) {
        // Calendars changed by another program or a sync show without a restart.
        storeChanged_ = connect(store_, &platform::CalendarStore::changed, this, [this] {
            calendarsListed_ = false;
            sourcesMade_ = false;
            platform::NotificationCenter::defaultCenter().post(
                QStringLiteral("loadCalendarEvents"));
        });
    }
}

bool AppleCal::checkEventStoreAccessForCalendar() const {
    return eventStore().authorizationStatus() == platform::CalendarAccess::Authorized;
}

void AppleCal::requestCalendarAccess(const Completion& handler) {
    eventStore().requestAccess([handler](bool granted, const std::optional<QString>&) {
        handler(granted, granted ? std::nullopt : std::optional<QString>(accessRefusedText()));
    });
}

const std::vector<platform::StoreCalendar>& AppleCal::getLocalEventCalendars() {
    localCalendars_.clear();
    for (platform::StoreCalendar& c : eventStore().calendars()) {
        if (c.type == platform::StoreCalendar::Type::Local) {
            localCalendars_.push_back(std::move(c));
        }
    }
    calendarsListed_ = true;
    return localCalendars_;
}

std::vector<CalSourcePtr> AppleCal::getLocalEventCalendars_Parsed() {
    std::vector<CalSourcePtr> made;
    const QVariantMap storedPrefs = prefs().dictionaryForKey(QStringLiteral("SubscribedEvents"));
    for (const platform::StoreCalendar& c : getLocalEventCalendars()) {
        // Kept sources keep their place in the user's order and their highlight.
        auto old =
            std::find_if(localCalendars_Parsed_.begin(), localCalendars_Parsed_.end(),
                         [&](const CalSourcePtr& s) { return s->identifier() == c.identifier; });
        const QVariant stored = storedPrefs.value(c.identifier);
        CalSourcePtr source;
        if (old != localCalendars_Parsed_.end()) {
            source = *old;  // shown or hidden as the user left it in this run
            if (!stored.isValid()) {
                source->setDisplayColor(c.color);
            }
        } else {
            source = CalSource::initWithToken(QString(), c.title, QUrl());
            source->setIdentifier(c.identifier);
            source->setEnabled(true);
            source->setDisplayColor(c.color);
            // The choices made in the calendar pane: shown or not, colour, highlight.
            if (stored.canConvert<QVariantList>()) {
                source->updateFromPrefEncoding(stored.toList());
            }
        }
        source->setName(c.title);
        source->setCanCreate(true);
        made.push_back(std::move(source));
    }
    localCalendars_Parsed_ = std::move(made);
    sourcesMade_ = true;
    return localCalendars_Parsed_;
}

CalSourcePtr AppleCal::getLocalEventCalendar(const QString& calendarIdentifier) {
    if (!sourcesMade_) {
        getLocalEventCalendars_Parsed();
    }
    for (const CalSourcePtr& source : localCalendars_Parsed_) {
        if (source->identifier() == calendarIdentifier) {
            return source;
        }
    }
    return nullptr;
}

std::optional<platform::StoreCalendar> AppleCal::getEventCalendar(const CalSource& source) {
    if (!calendarsListed_) {
        getLocalEventCalendars();
    }
    for (const platform::StoreCalendar& c : localCalendars_) {
        if (c.identifier == source.identifier()) {
            return c;
        }
    }
    return std::nullopt;
}

platform::UserDefaults& AppleCal::prefs() const {
    return defaults_ != nullptr ? *defaults_ : platform::UserDefaults::standard();
}

QStringList AppleCal::shownCalendarIds() {
    getLocalEventCalendars_Parsed();
    QStringList ids;
    for (const platform::StoreCalendar& c : localCalendars_) {
        const CalSourcePtr source = getLocalEventCalendar(c.identifier);
        if (!source || source->enabled()) {
            ids << c.identifier;
        }
    }
    return ids;
}

CalEventPtr AppleCal::eventOf(const platform::StoreOccurrence& o) {
    auto event =
        CalEvent::initWithStartTime(o.start, std::max(0.0, o.end.timeIntervalSince(o.start)),
                                    o.title, o.notes, getLocalEventCalendar(o.calendarId));
    event->setIsAllDay(o.allDay);
    event->setEditLink_(occurrenceLink(o));
    event->setOriginalEditLink(o.eventId);
    event->setOrigin(CalendarBackEnds::Kind::Apple);
    return event;
}

std::vector<EventAlarm> AppleCal::eventAlarms(Date from, Date to) {
    std::vector<EventAlarm> alarms;
    // The user's own reminders are read until the user says no: one due before the access
    // question is answered (it comes with the first look at a calendar) is not lost.
    const platform::CalendarAccess access = eventStore().authorizationStatus();
    if (access == platform::CalendarAccess::Denied ||
        access == platform::CalendarAccess::Restricted) {
        return alarms;
    }
    const QStringList ids = shownCalendarIds();
    if (ids.isEmpty()) {
        return alarms;
    }
    for (const platform::StoreOccurrence& o : eventStore().events(from, to, ids)) {
        if (o.alarms.empty() || o.start < from) {
            continue;
        }
        CalEventPtr event = eventOf(o);
        for (const QVariantMap& alarm : o.alarms) {
            alarms.push_back({event, alarm});
        }
    }
    return alarms;
}

std::vector<platform::StoreTodo> AppleCal::todos() {
    if (!checkEventStoreAccessForCalendar()) {
        return {};
    }
    const QStringList ids = shownCalendarIds();
    if (ids.isEmpty()) {
        return {};
    }
    std::vector<platform::StoreTodo> out = eventStore().todos(ids);
    std::stable_sort(out.begin(), out.end(),
                     [](const platform::StoreTodo& a, const platform::StoreTodo& b) {
                         if (a.completed != b.completed) {
                             return !a.completed;
                         }
                         if (a.due.has_value() != b.due.has_value()) {
                             return a.due.has_value();
                         }
                         if (a.due && *a.due != *b.due) {
                             return *a.due < *b.due;
                         }
                         return a.title.localeAwareCompare(b.title) < 0;
                     });
    return out;
}

void AppleCal::loadEventsInBatch(const std::shared_ptr<CalMonth>& month) {
    if (!month) {
        return;
    }
    month->removeEventsOf(CalendarBackEnds::Kind::Apple);
    const QStringList ids = shownCalendarIds();
    if (!ids.isEmpty()) {
        const auto occurrences =
            eventStore().events(month->earliestDate(), month->latestDate(), ids);
        for (const platform::StoreOccurrence& o : occurrences) {
            CalEventPtr event = eventOf(o);
            // Every day of the event that lies in this month, not only its first.
            for (const CalEventDay& day : event->adjustedDaysForCalendar(month->calendar())) {
                if (day.year() == month->year() && day.month() == month->month() &&
                    day.era() == month->era()) {
                    month->addEvent(day, day.day());
                }
            }
        }
    }
    // The ticked holiday calendars need no account: they show with this computer's calendars.
    PublicCalendarFeeds::shared().fileEvents(*month);
    month->finalizeEventAdd();
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("EventsLoaded"));
}

void AppleCal::addQuickEventwithTitle(const QString& title, const CalSourcePtr& source,
                                      const Completion& completion) {
    const Date now = platform::Clock::shared().now();
    createNewEventForSource(
        source, title, QString(), false, now, now.addingTimeInterval(3600), -1, 0, 0,
        [completion](bool ok, std::optional<QString> error) { completion(ok, std::move(error)); });
}

void AppleCal::createNewEventForSource(const CalSourcePtr& source, const QString& title,
                                       const QString& description, bool allDay, Date startDate,
                                       Date endDate, int recurrance, int reminderMinutes,
                                       int /*reminderType*/, const Completion& completion) {
    const std::optional<platform::StoreCalendar> calendar =
        source ? getEventCalendar(*source) : std::nullopt;
    if (!calendar) {
        completion(false, QStringLiteral("The calendar of the event no longer exists."));
        return;
    }
    platform::NewStoreEvent event;
    event.calendarId = calendar->identifier;
    event.title = title;
    event.notes = description;
    event.start = startDate;
    event.end = endDate;
    event.allDay = allDay;
    if (recurrance >= 0 && recurrance <= 3) {
        event.recurrence = static_cast<platform::StoreFrequency>(recurrance);
    }
    // A lead time: the alarm rings before the start; none for 0.
    if (reminderMinutes != 0) {
        event.alarmOffset = -static_cast<int64_t>(std::abs(reminderMinutes)) * 60;
    }
    const platform::StoreSaveResult saved = eventStore().saveEvent(event);
    completion(saved.ok(), saved.error);
}

void AppleCal::deleteEvent(const CalEvent& event, platform::RemoveScope scope,
                           const Completion& completion) {
    platform::StoreOccurrence occurrence;
    occurrence.eventId = event.originalEditLink();
    occurrence.allDay = event.isAllDay();
    const QString& link = event.editLink_();
    const qsizetype bar = link.lastIndexOf(QLatin1Char('|'));
    if (bar > 0 && link.left(bar) == event.originalEditLink()) {
        occurrence.hasRecurrence = true;
        occurrence.occurrenceDate = Date::fromUnix(link.mid(bar + 1).toDouble());
    }
    if (occurrence.eventId.isEmpty()) {
        completion(false, QStringLiteral("The event is not in a calendar of this computer."));
        return;
    }
    const std::optional<QString> error = eventStore().removeEvent(occurrence, scope);
    completion(!error, error);
}

}  // namespace talvor
