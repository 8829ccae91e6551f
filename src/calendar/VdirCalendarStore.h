#pragma once

#include "CalendarFileLoader.h"
#include "platform/CalendarStore.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <memory>

class QTimer;

namespace talvor {

namespace platform {
class FolderWatcher;
class UserDefaults;
}  // namespace platform

// The user's calendars as folders of iCalendar files, the layout khal and vdirsyncer use:
// each folder under a root is one calendar, named by its "displayname" file and coloured
// by its "color" file, holding one ".ics" file per event series. Files are read through the
// iCalendar reader and expanded by the recurrence engine; parsed files are kept until they
// change on disk. A few changed files are read at once; a big load (a new store over
// thousands of files, a huge export) is read on a thread of its own, the calendars showing
// what is read so far and `changed` firing as more comes in. Unreadable or damaged files are
// skipped with one log line each and never rewritten; new files are written whole beside
// and renamed into place, and edits of a file never replace a version they did not read
// (see removeEvent). The roots and the calendar folders are watched: a calendar or file
// added, removed, renamed or edited in place by another program fires `changed`, once for a
// burst of changes.
class VdirCalendarStore : public platform::CalendarStore {
    Q_OBJECT
  public:
    explicit VdirCalendarStore(QStringList roots, QObject* parent = nullptr);
    ~VdirCalendarStore() override;

    // The default root ($XDG_DATA_HOME/talvor/Calendars), then the folders of the
    // "CalendarFolders" setting (a list of paths), without repeats.
    static QStringList configuredRoots(const platform::UserDefaults& defaults);
    // Makes the first root, with a "Personal" calendar in it, when it holds no calendar.
    void ensureDefaultCalendar();

    const QStringList& roots() const { return roots_; }
    // Every file is read on the loading thread, however small (calendars fetched from the
    // network: the windows never wait on them).
    void setReadsInBackground(bool on) { readsInBackground_ = on; }
    // How many files' contents are kept (parsed once, read again when they change).
    int keptFiles() const { return static_cast<int>(files_.size()); }
    // Whether files are being read in the background.
    bool loading() const { return !loading_.isEmpty(); }
    // Runs the event loop until the files asked for so far are read (tools and benchmarks).
    void waitUntilLoaded();

    std::vector<platform::StoreCalendar> calendars() const override;
    std::vector<platform::StoreOccurrence> events(Date start, Date end,
                                                  const QStringList& calendarIds) const override;
    platform::StoreSaveResult saveEvent(const platform::NewStoreEvent& event) override;
    // Holds the calendar's lock (".talvor.lock" in its folder) against other copies of the
    // program, and puts the edited file in place only while the file there is the version
    // that was read: a sync tool's write in between is kept and the edit made again on it.
    std::optional<QString> removeEvent(const platform::StoreOccurrence& occurrence,
                                       platform::RemoveScope scope) override;
    // Read from the files each time: asked for seldom, unlike the events.
    std::vector<platform::StoreTodo> todos(const QStringList& calendarIds) const override;

  private:
    using ParsedFile = ParsedCalendarFile;
    using FilePtr = std::shared_ptr<const ParsedFile>;

    bool isCurrent(const QString& folder, const QString& path, const ParsedFile& file) const;
    // The paths of a calendar's files; files gone from it are forgotten.
    const QStringList& listingOf(const QString& folder) const;
    void forgetGoneCalendars(const QStringList& folders) const;
    const ParsedFile& parsed(const QString& folder, const QString& path) const;
    void watchFolders();
    void fileChanged(const QString& folder, const QString& name);
    void takeLoaded(const std::vector<CalendarFileLoader::Result>& batch);
    void appendOccurrences(const QString& calendarId, const QString& path, const ParsedFile& file,
                           int64_t fromUtc, int64_t toUtc, const ical::ZoneRules& floating,
                           std::vector<platform::StoreOccurrence>& out) const;

    QStringList roots_;
    mutable QHash<QString, FilePtr> files_;
    mutable QHash<QString, QStringList> listings_;  // by calendar folder
    // The files handed to the loader, with the ticket of the latest request: a result for an
    // older one (the file changed meanwhile) is dropped.
    mutable QHash<QString, quint64> loading_;
    mutable quint64 nextTicket_ = 1;
    CalendarFileLoader* loader_ = nullptr;
    platform::FolderWatcher* watcher_ = nullptr;
    QTimer* settle_ = nullptr;
    QTimer* announce_ = nullptr;
    bool readsInBackground_ = false;
};

}  // namespace talvor
