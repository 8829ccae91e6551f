#pragma once

#include "ICalEvents.h"
#include "platform/CalendarStore.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <memory>

class QFileInfo;
class QFileSystemWatcher;
class QTimer;

namespace talvor {

namespace platform {
class UserDefaults;
}

// The user's calendars as folders of iCalendar files, the layout khal and vdirsyncer use:
// each folder under a root is one calendar, named by its "displayname" file and coloured
// by its "color" file, holding one ".ics" file per event series. Files are read through the
// iCalendar reader and expanded by the recurrence engine; parsed files are kept until they
// change on disk. Unreadable or damaged files are skipped with one log line each and never
// rewritten; new and changed files are written whole beside the old one and renamed into
// place. The roots, the calendar folders and their files are watched: a calendar or file
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
    // How many files' contents are kept (parsed once, read again when they change).
    int keptFiles() const { return static_cast<int>(files_.size()); }

    std::vector<platform::StoreCalendar> calendars() const override;
    std::vector<platform::StoreOccurrence> events(Date start, Date end,
                                                  const QStringList& calendarIds) const override;
    platform::StoreSaveResult saveEvent(const platform::NewStoreEvent& event) override;
    std::optional<QString> removeEvent(const platform::StoreOccurrence& occurrence,
                                       platform::RemoveScope scope) override;
    // Read from the files each time: asked for seldom, unlike the events.
    std::vector<platform::StoreTodo> todos(const QStringList& calendarIds) const override;

  private:
    struct ParsedFile {
        QDateTime modified;
        qint64 size = -1;
        bool damaged = false;  // the reader reported errors: never rewritten
        bool unreadable = false;
        ical::CalendarData data;
    };

    const ParsedFile& parsed(const QString& path) const;
    const ParsedFile& parsed(const QFileInfo& info) const;
    void watchFolders();
    void appendOccurrences(const QString& calendarId, const QString& path, const ParsedFile& file,
                           int64_t fromUtc, int64_t toUtc, const ical::ZoneRules& floating,
                           std::vector<platform::StoreOccurrence>& out) const;

    QStringList roots_;
    mutable QHash<QString, std::shared_ptr<ParsedFile>> files_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* settle_ = nullptr;
    QSet<QString> unwatchable_;
    bool watchFailureLogged_ = false;
};

}  // namespace talvor
