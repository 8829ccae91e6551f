#pragma once

#include "CalEvent.h"
#include "CalSource.h"
#include "CalendarBackEnd.h"
#include "GoogleApi.h"
#include "GoogleAuth.h"
#include "platform/Date.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QVariantList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QNetworkAccessManager;

namespace talvor {

namespace platform {
class BrowserOpener;
class NotificationCenter;
class SecretStore;
}  // namespace platform

class CalMonth;

// The Google Calendar back end: the user's sign-in (kept in the keyring under
// kAuthorizationName), the calendars he owns as sources, a month's events, and creating and
// deleting events. Main thread only; every completion runs once, later, on the main thread
// (signing out ends the calls under way with a message); none runs once the back end is
// destroyed.
//
// What the windows call:
// - settings: isLoggedInViaGoogle(), loggedInUser(), loginToGoogle(), logoutFromGoogle(),
//   loadPersonalSources() then personalCalendars();
// - the mini calendar: setUpAuthorizationService() at start, loadEventsInBatch() through
//   CalendarBackEnds, "EventsLoaded" on the notification centre;
// - the create sheet: addQuickEventwithTitle(), createNewEventForSource(), and
//   deleteEvent() for an event this back end delivered.
class GCalender : public CalendarBackEnd {
  public:
    using Completion = std::function<void(bool success, const QString& message)>;
    // The sources, or none with a message.
    using SourcesCompletion = std::function<void(
        const std::optional<std::vector<CalSourcePtr>>& sources, const QString& message)>;

    static inline const QString kAuthorizationName = QStringLiteral("Talvor Authorization");
    static constexpr double kQuickEventLength = 3600;

    // What the back end talks through; sharedInterface() uses the real ones.
    struct Services {
        QNetworkAccessManager* network = nullptr;
        // Keeps the deadlines, waits and the sign-in's time-out; none: the shared one.
        platform::Scheduler* scheduler = nullptr;
        platform::SecretStore* secrets = nullptr;
        platform::BrowserOpener* browser = nullptr;
        platform::NotificationCenter* center = nullptr;
        GoogleEndpoints endpoints = GoogleEndpoints::google();
        GoogleClientCredentials credentials;
        // Asked at each sign-in instead, when set: the client entered in the pane takes
        // effect without a restart.
        std::function<GoogleClientCredentials()> currentCredentials;
        std::chrono::milliseconds signInTimeout = GoogleSignIn::kDefaultTimeout;
        // Deadlines, size and page caps, retries: tests make them short.
        GoogleLimits limits;
        // The user's stored choices for a calendar (its prefEncoding), by calendar id: they
        // win over Google's "selected" and colour. Empty: none.
        std::function<std::optional<QVariantList>(const QString& calendarId)> storedChoices;
    };

    // The stored choices as the settings keep them: "SubscribedEvents", by calendar id.
    static std::optional<QVariantList> subscribedEventsChoice(const QString& calendarId);

    // The repetition of a created event, as the create sheet numbers it.
    enum Recurrence : int32_t { None = 0, Daily = 1, Weekly = 2, Monthly = 3, Yearly = 4 };
    // The reminder kind: 2 e-mail, anything else a pop-up.
    static constexpr int32_t kEmailReminder = 2;

    explicit GCalender(Services services);
    ~GCalender() override;
    GCalender(const GCalender&) = delete;
    GCalender& operator=(const GCalender&) = delete;

    // The process-wide back end: Google's service, the desktop's keyring and browser, the
    // client from the environment or settings.
    static GCalender& sharedInterface();
    // The Google back end installed for the windows (made on first use), or null.
    static GCalender* installed();

    // An authorization is kept in the keyring.
    bool isLoggedInViaGoogle() const;
    // The signed-in account's address, else "NA".
    QString loggedInUser() const;
    // Restores the service from the keyring (at start-up); false when nothing is kept.
    bool setUpAuthorizationService();
    bool hasService() const { return api_ != nullptr; }

    // A kept sign-in is used at once; otherwise the browser opens and the completion comes
    // once: signed in, refused, failed, or "Time Out" after the time-out.
    void loginToGoogle(Completion completion);
    bool isSigningIn() const { return signIn_ && signIn_->isRunning(); }
    void logoutFromGoogle(Completion completion);

    // The calendars the user owns, in Google's order; each source is unregistered and keyed
    // by the calendar's id (its identifier), shown and coloured as the user last chose here,
    // else as in Google's list. A failure is logged once and told to the completion.
    void loadPersonalSources(SourcesCompletion completion);
    const std::vector<CalSourcePtr>& personalCalendars() const { return personalSources_; }
    // Whether the calendars were listed since the sign-in (an empty list is a known answer).
    bool personalCalendarsLoaded() const { return personalSourcesLoaded_; }

    // Drops the month's Google events, files those of every enabled calendar that touch it and
    // posts "EventsLoaded" once all have answered (a calendar that fails is skipped, and the
    // failures logged in one line). Before the calendars are known, they are listed first,
    // within the same deadline.
    void loadEventsInBatch(const std::shared_ptr<CalMonth>& month) override;
    // Whether months are being loaded (their calendars listed first, or their events).
    bool isLoading() const { return !loads_.empty() || listingForMonths_ > 0; }
    // Signed in (a kept sign-in is restored first).
    bool canLoadEvents() override { return hasService() || setUpAuthorizationService(); }
    // The loads under way end now: their answers are dropped and the months stay as they
    // are; "EventsLoaded" is posted once, so that the windows take note.
    void cancelLoads();
    // The program is quitting: the calls under way end now, unanswered, and the sign-in
    // under way with them. Nothing waits on the network.
    void stopAtQuit();

    // The calendars the user owns as last listed (none before the first listing).
    std::vector<CalSourcePtr> getLocalEventCalendars_Parsed() override { return personalSources_; }

    // The back-end interface's forms: the same calls, with the interface's numbering of
    // repetitions (-1 none, 0 daily .. 3 yearly).
    void addQuickEventwithTitle(const QString& title, const CalSourcePtr& source,
                                const CalendarBackEnd::Completion& completion) override;
    void createNewEventForSource(const CalSourcePtr& source, const QString& title,
                                 const QString& description, bool allDay, Date startDate,
                                 Date endDate, int recurrance, int reminderMinutes,
                                 int reminderType,
                                 const CalendarBackEnd::Completion& completion) override;
    // "This and future" ends the series before the occurrence (from its first occurrence on,
    // that is the whole series).
    void deleteEvent(const CalEvent& event, platform::RemoveScope scope,
                     const CalendarBackEnd::Completion& completion) override;

    // From now to an hour later.
    void addQuickEventwithTitle(const QString& title, const CalSourcePtr& source,
                                Completion completion);
    // All-day events take the days from start to end, both included.
    void createNewEventForSource(const CalSourcePtr& source, const QString& title,
                                 const QString& description, bool allDay, Date startDate,
                                 Date endDate, int32_t recurrance, int32_t reminderMinutes,
                                 int32_t reminderType, Completion completion);
    // Of a repeating event: the one occurrence, or the whole series.
    enum class DeleteScope { ThisOccurrence, WholeSeries, ThisAndFollowing };
    // An event delivered by loadEventsInBatch (its edit link is the event's id, the original
    // edit link its series' id). A single event is deleted whatever the scope.
    void deleteEvent(const CalEvent& event, Completion completion,
                     DeleteScope scope = DeleteScope::ThisOccurrence);

    // The Calendar API's event resource for a new event (exposed for the create sheet's
    // preview and for tests).
    static QJsonObject eventResource(const QString& title, const QString& description, bool allDay,
                                     Date startDate, Date endDate, int32_t recurrance,
                                     int32_t reminderMinutes, int32_t reminderType);
    // An event of an events list as the month grids hold it; none for a cancelled or
    // undated item.
    static CalEventPtr eventFromResource(const QJsonObject& item, const CalSourcePtr& source);
    // A series' recurrence lines ended before `occurrence` (its rules' UNTIL; a COUNT goes):
    // a date for an all-day series, else the instant a second before, in UTC.
    static QJsonArray recurrenceEndedBefore(const QJsonArray& recurrence, Date occurrence,
                                            bool allDay);

  private:
    GoogleClientCredentials credentials() const;
    void setAuthorization(const std::optional<GoogleAuthorization>& authorization);
    void installService(const GoogleAuthorization& authorization);
    // Calls under way end with `message`.
    void dropService(const QString& message);
    bool ensureService(Completion* failWith);
    void insertEvent(const CalSourcePtr& source, const QJsonObject& resource,
                     Completion completion);
    platform::Scheduler& scheduler() const;
    void listCalendars(Date deadline, SourcesCompletion completion);
    void listCalendarsPage(GooglePaging paging, std::vector<CalSourcePtr> sources,
                           SourcesCompletion completion);
    void listEventsPage(const QString& calendarId, Date from, Date to, GooglePaging paging,
                        std::vector<QJsonObject> items,
                        std::function<void(std::vector<QJsonObject> items, QString message)> done);
    void loadEventsOfSources(const std::shared_ptr<CalMonth>& month, Date deadline);
    void endSeriesBefore(const CalSourcePtr& source, const CalEvent& occurrence,
                         Completion completion);

    Services services_;
    std::unique_ptr<GoogleApi> api_;
    std::uint64_t serviceGeneration_ = 0;  // which api_ a call's news is about
    std::unique_ptr<GoogleSignIn> signIn_;
    std::vector<CalSourcePtr> personalSources_;
    bool personalSourcesLoaded_ = false;
    // Which load of a month is the latest: an older one's answers are dropped.
    std::map<const CalMonth*, std::uint64_t> loads_;
    std::uint64_t nextLoad_ = 1;
    int listingForMonths_ = 0;
    std::uint64_t loadsCancelled_ = 0;  // listings begun before a cancel are dropped
    // Outlives calls in flight so that their completions can tell the back end is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace talvor
