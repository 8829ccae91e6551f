#pragma once

#include "CalEvent.h"
#include "CalSource.h"
#include "CappedFetch.h"
#include "platform/Date.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace talvor {

class CalMonth;
class VdirCalendarStore;

// The built-in public calendars (a country's holidays, the religious ones, the special day
// calendars) read without any account, from the provider's public iCalendar feed of each.
// A ticked calendar's feed is fetched, bounded in size and time, into a cache folder that is
// read as the user's own calendar folders are (the same iCalendar reader and recurrence
// engine, the same file cap), always on the loading thread; it is fetched again once older
// than the calendar's refresh interval, and shown as cached meanwhile. What arrives later is
// announced in the process with "loadCalendarEvents", so that the windows load their months
// again. A feed that cannot be had is logged once per failure and tried again after a pause.
// Main thread only.
class PublicCalendarFeeds : public QObject {
    Q_OBJECT
  public:
    struct Settings {
        // Feeds are <base>/<the calendar's address, escaped>/public/basic.ics.
        QUrl base = defaultBase();
        // Empty: "PublicCalendars" in the cache folder.
        QString cacheFolder;
        // Of the holiday calendars' names; empty: the interface language.
        QString language;
        CappedFetch::Limits limits = defaultLimits();
        std::chrono::minutes retryAfterFailure{30};
    };
    static QUrl defaultBase();
    static CappedFetch::Limits defaultLimits();

    explicit PublicCalendarFeeds(Settings settings, QObject* parent = nullptr);
    ~PublicCalendarFeeds() override;

    // The process's feeds, made at first use and stopped when the program quits.
    static PublicCalendarFeeds& shared();
    // Replaces the shared feeds (tests); null puts the real ones back.
    static void setShared(PublicCalendarFeeds* feeds);

    // Whether a source is a built-in calendar with a public feed (the sports calendars have
    // none).
    static bool serves(const CalSource& source);
    QUrl feedUrl(const CalSource& source) const;

    // Replaces the month's events of the built-in calendars with those of the ticked ones as
    // cached now (the day lists are left to the caller's finalizeEventAdd); a feed missing or
    // out of date is fetched.
    void fileEvents(CalMonth& month);
    // The events of the ticked built-in calendars in [from, to), as cached now.
    std::vector<CalEventPtr> events(Date from, Date to);
    // Why the last fetch of the source's feed failed; none after a success or before any.
    std::optional<QString> failure(const CalSource& source) const;
    bool isFetching() const { return !fetches_.isEmpty(); }
    // The program is quitting: the fetches and readings under way end now, unanswered, and
    // nothing new starts.
    void stop();

  private:
    struct Failure {
        QDateTime at;
        QString message;
    };
    QString calendarIdOf(const CalSource& source) const;
    QString folderOf(const CalSource& source) const;
    void refresh(const CalSourcePtr& source);
    void fetched(const CalSourcePtr& source, const CappedFetch::Result& result);
    VdirCalendarStore& store();

    Settings settings_;
    std::unique_ptr<VdirCalendarStore> store_;
    QHash<QString, CappedFetch*> fetches_;  // by calendar id; children of this object
    QHash<QString, Failure> failures_;      // by calendar id
    bool stopped_ = false;
};

}  // namespace talvor
