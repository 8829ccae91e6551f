#pragma once

#include "ICalEvents.h"
#include "OverrideIndex.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace talvor {

// Far above any calendar a person keeps; a file past it is refused rather than read whole.
inline constexpr qint64 kCalendarFileCap = 64LL * 1024 * 1024;

// One calendar file as read: its events with their overrides indexed, or why it was not
// read. Never changed once made, so it is shared between the loading thread and the store.
struct ParsedCalendarFile {
    qint64 modifiedNs = 0;
    qint64 size = -1;
    bool damaged = false;  // the reader reported errors: never rewritten
    bool unreadable = false;
    ical::CalendarData data;
    std::optional<ical::OverrideIndex> overrides;  // into `data`

    ParsedCalendarFile() = default;
    ParsedCalendarFile(const ParsedCalendarFile&) = delete;
    ParsedCalendarFile& operator=(const ParsedCalendarFile&) = delete;

    // Reads the file bounded (no special files, at most kCalendarFileCap) and parses it;
    // refusals and damage are logged in one line. The version is the file's as it was read.
    // `stop` turning true ends the reading early (its result is for nobody then).
    static std::shared_ptr<const ParsedCalendarFile> read(const QString& path,
                                                          const std::atomic<bool>* stop = nullptr);
    bool isCurrent(qint64 listedModifiedNs, qint64 listedSize) const {
        return modifiedNs == listedModifiedNs && size == listedSize;
    }
};

// Reads and parses calendar files on threads of its own (a few, for a folder of thousands of
// files), so that a huge calendar never holds up the windows; what is read comes back in
// batches on the owner's thread, a few times a second. The threads start with the first files
// to read and end after a minute without any. Destroying it stops the work, the reading of
// the files in hand too, so quitting never waits on a load.
class CalendarFileLoader : public QObject {
    Q_OBJECT
  public:
    struct Job {
        QString path;
        quint64 ticket = 0;  // given back with the result
    };
    struct Result {
        Job job;
        std::shared_ptr<const ParsedCalendarFile> file;
    };

    explicit CalendarFileLoader(QObject* parent = nullptr);
    ~CalendarFileLoader() override;

    void load(std::vector<Job> jobs);

  signals:
    void loaded(const std::vector<CalendarFileLoader::Result>& batch);

  private:
    struct Worker {
        std::thread thread;
        bool finished = false;  // under mutex_
    };

    void run(Worker& self);
    void deliver(std::vector<Result> batch);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_;
    bool stopping_ = false;
    std::atomic<bool> stop_{false};  // also ends the reading of the files in hand
    int maxWorkers_ = 1;
    int idle_ = 0;               // workers without a file in hand, under mutex_
    std::list<Worker> workers_;  // changed on the owner's thread only
};

}  // namespace talvor
