#include "Reminder.h"

#include "CalendarBackEnd.h"
#include "ICalValues.h"
#include "TalvorVCALENDAR.h"
#include "alarms/UserNotificationCenter.h"
#include "foundation/IcuDates.h"
#include "foundation/ObjectExtras.h"
#include "platform/Clock.h"
#include "platform/KeyedArchiver.h"

#include <QDateTime>

#include <unicode/locid.h>
#include <algorithm>
#include <iterator>

namespace talvor {
namespace {

constexpr int32_t kReminderPriority = 1;

Reminder::Poster& poster() {
    static Reminder::Poster p;
    return p;
}

}  // namespace

void Reminder::setPoster(Poster p) {
    poster() = std::move(p);
}

std::shared_ptr<Reminder> Reminder::reminderForEvent(CalEventPtr event, uint32_t type, Date time) {
    return std::make_shared<Reminder>(std::move(event), type, time);
}

Reminder::Reminder(CalEventPtr event, uint32_t type, Date time)
    : event_(std::move(event)), time_(time), type_(type) {}

Reminder::~Reminder() {
    unschedule();
}

void Reminder::scheduleIfAfter(Date date) {
    if (timedEvent_ || hasFired_ || !(date < time_)) {
        return;
    }
    timedEvent_ = TimedEvent::newTimedEvent(
        ObjectExtras::buildInvocation(weak_from_this(), &Reminder::alertNow), time_,
        kReminderPriority);
}

void Reminder::unschedule() {
    if (timedEvent_) {
        TimedEvent::cancelTimedEvent(timedEvent_);
        timedEvent_.reset();
    }
}

QString Reminder::beginsText(Date start) {
    const icu::Locale english("en_US");
    const auto day =
        IcuDates::createPatternFormat(QStringLiteral("MMMM dd"), IcuDates::currentZone(), english);
    const auto hour =
        IcuDates::createPatternFormat(QStringLiteral("HH:mm"), IcuDates::currentZone(), english);
    return QStringLiteral("Begins on %1 at %2")
        .arg(day ? IcuDates::format(*day, start) : QString(),
             hour ? IcuDates::format(*hour, start) : QString());
}

void Reminder::alertNow() {
    // The scheduler has let go of the entry that called this.
    timedEvent_.reset();
    if (!event_ || !event_->isValid() || hasFired_) {
        return;
    }
    hasFired_ = true;
    if (type_ != Display && type_ != Sound) {
        return;
    }
    const UserNotification n{QStringLiteral("Minnow"), event_->title(),
                             beginsText(event_->startDate()), time_};
    if (poster()) {
        poster()(n);
    } else {
        showDesktopNotification(n);
    }
}

void Reminder::encodeWithCoder(platform::KeyedArchiver& coder) const {
    coder.encodeDate(QStringLiteral("time"), time_);
    coder.encodeInt32(QStringLiteral("type"), static_cast<qint32>(type_));
    coder.encodeBool(QStringLiteral("hasfired"), hasFired_);
}

std::shared_ptr<Reminder> Reminder::initWithCoder(const platform::KeyedUnarchiver& coder) {
    auto reminder =
        reminderForEvent(nullptr, static_cast<uint32_t>(coder.decodeInt32(QStringLiteral("type"))),
                         coder.decodeDate(QStringLiteral("time")).value_or(Date()));
    reminder->hasFired_ = coder.decodeBool(QStringLiteral("hasfired"));
    return reminder;
}

QString Reminder::description() const {
    return QStringLiteral("%1: %2").arg(event_ ? event_->title() : QStringLiteral("(no event)"),
                                        time_.toQDateTime().toString(Qt::ISODate));
}

int Reminder::compare(const Reminder& other) const {
    if (time_ < other.time_) {
        return -1;
    }
    return other.time_ < time_ ? 1 : 0;
}

std::optional<ReminderTrigger> reminderTriggerFromVALARM(const CalEvent& event,
                                                         const QVariantMap& alarm) {
    const QString action = alarm.value(QStringLiteral("ACTION")).toString().trimmed().toUpper();
    ReminderTrigger trigger;
    if (action == QLatin1String("DISPLAY")) {
        trigger.type = Reminder::Display;
    } else if (action == QLatin1String("AUDIO")) {
        trigger.type = Reminder::Sound;
    } else if (action == QLatin1String("EMAIL")) {
        trigger.type = Reminder::Email;
    }
    const QString text = alarm.value(QStringLiteral("TRIGGER")).toString().trimmed();
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    const QStringList params =
        colon < 0 ? QStringList() : text.left(colon).toUpper().split(QLatin1Char(';'));
    const QString value = text.mid(colon + 1);
    if (params.contains(QLatin1String("VALUE=DATE-TIME"))) {
        const std::optional<Date> at = TalvorVCALENDAR::dateFromVCALENDAR(value);
        if (!at) {
            return std::nullopt;
        }
        trigger.time = *at;
        return trigger;
    }
    const std::optional<ical::Duration> offset = ical::parseDuration(value.toStdString());
    if (!offset) {
        return std::nullopt;
    }
    Date base = event.startDate();
    if (params.contains(QLatin1String("RELATED=END"))) {
        base = base.addingTimeInterval(event.duration());
    }
    // Days of a duration are days of the wall clock, whatever daylight saving does.
    const QDateTime local = base.toQDateTime().toTimeZone(IcuDates::currentZone());
    trigger.time = Date::fromQDateTime(
        local.addDays(offset->days).addSecs(static_cast<qint64>(offset->seconds)));
    return trigger;
}

void EventReminders::setAlarms(const std::vector<EventAlarm>& alarms, Date now) {
    std::vector<ReminderPtr> fresh;
    for (const EventAlarm& a : alarms) {
        if (!a.event) {
            continue;
        }
        const std::optional<ReminderTrigger> t = reminderTriggerFromVALARM(*a.event, a.alarm);
        if (!t) {
            continue;
        }
        auto reminder = Reminder::reminderForEvent(a.event, t->type, t->time);
        // A calendar read again must not announce what was already announced.
        const auto given = std::find_if(reminders_.begin(), reminders_.end(), [&](const auto& r) {
            return r->hasFired() && r->time() == t->time && r->event() &&
                   r->event()->title() == a.event->title() &&
                   r->event()->startDate() == a.event->startDate();
        });
        reminder->setHasFired(given != reminders_.end());
        fresh.push_back(std::move(reminder));
    }
    clear();
    reminders_ = std::move(fresh);
    std::stable_sort(reminders_.begin(), reminders_.end(),
                     [](const auto& a, const auto& b) { return a->compare(*b) < 0; });
    for (const ReminderPtr& r : reminders_) {
        r->scheduleIfAfter(now);
    }
}

void EventReminders::reloadFrom(CalendarBackEnd* backEnd, Date now) {
    if (!backEnd) {
        clear();
        return;
    }
    setAlarms(backEnd->eventAlarms(now, now.addingTimeInterval(kLookAhead)), now);
}

void EventReminders::clear() {
    for (const ReminderPtr& r : reminders_) {
        r->unschedule();
    }
    reminders_.clear();
}

ReminderFeed::ReminderFeed(Key, platform::UserDefaults& defaults) : defaults_(defaults) {}

ReminderFeed::~ReminderFeed() {
    if (hourly_) {
        TimedEvent::cancelTimedEvent(hourly_);
    }
    reminders_.clear();
}

std::shared_ptr<ReminderFeed> ReminderFeed::start(platform::UserDefaults& defaults) {
    auto feed = std::make_shared<ReminderFeed>(Key{}, defaults);
    const std::weak_ptr<ReminderFeed> weak = feed;
    for (const QString& name :
         {QStringLiteral("loadCalendarEvents"), QStringLiteral("CalendarsLoaded")}) {
        feed->observations_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
            name, QVariant(), [weak](const platform::Notification&) {
                if (const auto f = weak.lock()) {
                    f->reload();
                }
            }));
    }
    feed->hourly_ =
        TimedEvent::newTimedEvent(ObjectExtras::buildInvocation(weak, &ReminderFeed::reload),
                                  platform::Clock::shared().now().addingTimeInterval(3600), 0);
    feed->hourly_->setRepeats(60);
    feed->reload();
    return feed;
}

void ReminderFeed::reload() {
    const Date now = platform::Clock::shared().now();
    std::vector<EventAlarm> alarms;
    for (const auto& entry : CalendarBackEnds::shown(defaults_)) {
        std::vector<EventAlarm> some =
            entry.second->eventAlarms(now, now.addingTimeInterval(EventReminders::kLookAhead));
        alarms.insert(alarms.end(), std::make_move_iterator(some.begin()),
                      std::make_move_iterator(some.end()));
    }
    reminders_.setAlarms(alarms, now);
}

}  // namespace talvor
