#pragma once

#include "Date.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>
#include <vector>

namespace talvor::platform {

class UserDefaults;

// Whether the user lets the program read and write their calendars.
enum class CalendarAccess { NotDetermined = 0, Restricted = 1, Denied = 2, Authorized = 3 };

struct StoreCalendar {
    enum class Type { Local = 0, Other = 1 };
    QString identifier;  // stable across runs
    QString title;
    Type type = Type::Local;
    QColor color;
    bool allowsModifications = true;
};

// One occurrence of an event in a range, recurrences expanded.
struct StoreOccurrence {
    QString eventId;  // names the series in its calendar (what removal takes)
    QString calendarId;
    QString title;
    QString notes;
    Date start;
    Date end;  // exclusive; an all-day event ends at the first instant of the day after
    bool allDay = false;
    bool hasRecurrence = false;
    // For a repeating event: which occurrence this is (its original start).
    std::optional<Date> occurrenceDate;
    // The event's alarms as dictionaries of their properties ("ACTION", "TRIGGER" with its
    // parameters in front of the value, as in "RELATED=END:-PT5M", ...).
    std::vector<QVariantMap> alarms;
};

enum class StoreFrequency { Daily = 0, Weekly = 1, Monthly = 2, Yearly = 3 };

struct NewStoreEvent {
    QString calendarId;
    QString title;
    QString notes;
    Date start;
    Date end;
    bool allDay = false;
    std::optional<StoreFrequency> recurrence;  // interval 1, no end
    // One alarm, seconds from the start (negative: before it).
    std::optional<int64_t> alarmOffset;
};

enum class RemoveScope { ThisEvent, ThisAndFuture, All };

// A to-do kept in one of the calendars (a VTODO), as far as a list of them shows it.
struct StoreTodo {
    QString uid;
    QString calendarId;
    QString title;
    std::optional<Date> due;
    bool completed = false;
    // As a calendar file keeps it: 1 the most urgent ... 9 the least, 0 none.
    int priority = 0;
    QString notes;
    std::optional<Date> completedAt;
};

struct StoreSaveResult {
    QString eventId;               // empty on failure
    std::optional<QString> error;  // a text for the user
    bool ok() const { return !error.has_value(); }
};

// The user's calendars on this machine: which there are, the occurrences of a range,
// saving and removing events. Access is a consent kept in the settings: undetermined until
// the user answers once. Main thread only; `changed` fires when the calendars change
// behind the program's back (another program, a sync, a hand edit).
class CalendarStore : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    // The process-wide store; with nothing installed, a store with no calendars.
    static CalendarStore& shared();
    // Not owned; nullptr puts the empty store back.
    static void setShared(CalendarStore* store);

    // Asks the user; the answer (granted) is given back later, on the main thread.
    using ConsentPrompt = std::function<void(std::function<void(bool granted)>)>;
    // Not set: a request is refused without asking (no way to ask).
    static void setConsentPrompt(ConsentPrompt prompt);

    // The consent, kept in the settings under "CalendarStoreAccess".
    static CalendarAccess authorizationStatus(const UserDefaults& defaults);
    static void setAuthorizationStatus(UserDefaults& defaults, CalendarAccess access);
    CalendarAccess authorizationStatus() const;
    // Forgets the answer, so that the next request asks again.
    void resetAuthorization();
    // Keeps the user's answer to the question asked elsewhere than the prompt (the welcome
    // window asks it early); a later request answers at once.
    void answerAccessQuestion(bool granted);
    // Answers at once when the user has already answered; else asks through the prompt and
    // keeps the answer. The completion gets (granted, none) or (refused, a reason).
    void requestAccess(std::function<void(bool, std::optional<QString>)> completion);

    virtual std::vector<StoreCalendar> calendars() const = 0;
    // The occurrences overlapping [start, end) of the given calendars (all when empty), in
    // order of start.
    virtual std::vector<StoreOccurrence> events(Date start, Date end,
                                                const QStringList& calendarIds) const = 0;
    // Saves a new event, committed at once.
    virtual StoreSaveResult saveEvent(const NewStoreEvent& event) = 0;
    // Removes the occurrence, the occurrence and those after it, or the whole series. None
    // on success, else a text for the user.
    virtual std::optional<QString> removeEvent(const StoreOccurrence& occurrence,
                                               RemoveScope scope) = 0;
    // The to-dos of the given calendars (all when empty); none for a store that keeps none.
    virtual std::vector<StoreTodo> todos(const QStringList& calendarIds) const {
        (void)calendarIds;
        return {};
    }

  protected:
    // The settings the consent is kept in (the standard defaults unless set).
    UserDefaults& defaults() const;

  public:
    void setDefaults(UserDefaults* defaults) { defaults_ = defaults; }

  signals:
    void changed();

  private:
    UserDefaults* defaults_ = nullptr;
};

}  // namespace talvor::platform
