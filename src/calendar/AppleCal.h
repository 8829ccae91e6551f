#pragma once

#include "CalSource.h"
#include "CalendarBackEnd.h"
#include "platform/CalendarStore.h"
#include "platform/Date.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace talvor {

// The back end of the calendars of this computer (the calendar store): access, the
// calendars as sources, a month's events, new events.
class AppleCal : public QObject, public CalendarBackEnd {
    Q_OBJECT
  public:
    // The refusal text handed to callers when access is refused.
    static QString accessRefusedText();

    // Not owned; null: the shared store, asked anew at each use.
    explicit AppleCal(platform::CalendarStore* store = nullptr);

    static AppleCal& sharedInterface();
    // Replaces the shared back end (tests); nullptr restores the real one.
    static void setSharedInterface(AppleCal* backEnd);

    platform::CalendarStore& eventStore() const;
    void setEventStore(platform::CalendarStore* store);
    // Where the calendar pane keeps its choices ("SubscribedEvents", by calendar identifier);
    // null: the standard defaults. Not owned.
    void setDefaults(platform::UserDefaults* defaults) { defaults_ = defaults; }

    bool checkEventStoreAccessForCalendar() const;
    // (granted, none) or (refused, accessRefusedText()).
    void requestCalendarAccess(const Completion& handler);

    // Replaces the month's events of this computer's calendars with every day each event of
    // the month's span covers (first and last days flagged), then posts "EventsLoaded" once.
    void loadEventsInBatch(const std::shared_ptr<CalMonth>& month) override;
    // Access granted.
    bool canLoadEvents() override { return checkEventStoreAccessForCalendar(); }
    // The alarms of the local calendars' events starting in [from, to), nothing without
    // access.
    std::vector<EventAlarm> eventAlarms(Date from, Date to) override;
    // The to-dos of the shown calendars: open ones first, by due day (none last), then by
    // title; nothing without access.
    std::vector<platform::StoreTodo> todos();

    CalSourcePtr getLocalEventCalendar(const QString& calendarIdentifier);
    std::optional<platform::StoreCalendar> getEventCalendar(const CalSource& source);
    const std::vector<platform::StoreCalendar>& getLocalEventCalendars();
    std::vector<CalSourcePtr> getLocalEventCalendars_Parsed() override;
    const std::vector<platform::StoreCalendar>& localCalendars() const { return localCalendars_; }

    // From now to an hour later.
    void addQuickEventwithTitle(const QString& title, const CalSourcePtr& source,
                                const Completion& completion) override;
    // `recurrance` -1: none; 0 daily, 1 weekly, 2 monthly, 3 yearly. `reminderMinutes`: one
    // alarm that many minutes before the start (its sign is ignored); none for 0. The store
    // has no e-mail alarms: every reminder is shown on this computer.
    void createNewEventForSource(const CalSourcePtr& source, const QString& title,
                                 const QString& description, bool allDay, Date startDate,
                                 Date endDate, int recurrance, int reminderMinutes,
                                 int reminderType, const Completion& completion) override;
    void deleteEvent(const CalEvent& event, platform::RemoveScope scope,
                     const Completion& completion) override;

  private:
    std::shared_ptr<CalEvent> eventOf(const platform::StoreOccurrence& occurrence);
    platform::UserDefaults& prefs() const;
    // The calendars whose source is shown (all of them until the user hides one).
    QStringList shownCalendarIds();

    platform::CalendarStore* store_;
    platform::UserDefaults* defaults_ = nullptr;
    std::vector<platform::StoreCalendar> localCalendars_;
    std::vector<CalSourcePtr> localCalendars_Parsed_;
    bool calendarsListed_ = false;
    bool sourcesMade_ = false;
    QMetaObject::Connection storeChanged_;
};

}  // namespace talvor
