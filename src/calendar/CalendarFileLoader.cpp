#include "CalendarFileLoader.h"

#include "platform/BoundedFile.h"
#include "platform/Log.h"

#include <sched.h>

#include <algorithm>
#include <chrono>

namespace talvor {
namespace {

// How often a long load shows its progress.
constexpr auto kBatchInterval = std::chrono::milliseconds(150);
// How long a worker waits for more files before it ends.
constexpr auto kIdleEnd = std::chrono::seconds(60);

}  // namespace

std::shared_ptr<const ParsedCalendarFile> ParsedCalendarFile::read(const QString& path,
                                                                   const std::atomic<bool>* stop) {
    auto file = std::make_shared<ParsedCalendarFile>();
    // Bounded: a link to /dev/zero, a FIFO or a huge export must not hang or fill memory.
    const platform::BoundedRead read = platform::readRegularFile(path, kCalendarFileCap);
    if (!read.bytes) {
        file->unreadable = true;
        // Not tried again until it changes.
        if (const std::optional<platform::FileVersion> now = platform::versionOf(path)) {
            file->modifiedNs = now->modifiedNs;
            file->size = now->size;
        }
        if (read.refusal == platform::ReadRefusal::Missing) {
            platform::log(QStringLiteral("calendar store: skipped %1: %2").arg(path, read.reason));
        }
        return file;
    }
    file->modifiedNs = read.version.modifiedNs;
    file->size = read.version.size;
    ical::ParseLimits limits;
    limits.stop = stop;
    file->data =
        ical::readEvents(std::string_view(read.bytes->constData(), read.bytes->size()), limits);
    if (stop != nullptr && stop->load()) {
        return file;  // for nobody: nothing to index or log
    }
    file->overrides.emplace(file->data.events);
    if (!file->data.errors.empty()) {
        file->damaged = true;
        platform::log(QStringLiteral("calendar store: skipped damaged parts of %1: %2")
                          .arg(path, QString::fromStdString(file->data.errorSummary())));
    }
    return file;
}

CalendarFileLoader::CalendarFileLoader(QObject* parent) : QObject(parent) {
    // A few threads, leaving a core of those the program may use to the windows.
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    const int cores = ::sched_getaffinity(0, sizeof allowed, &allowed) == 0
                          ? CPU_COUNT(&allowed)
                          : static_cast<int>(std::thread::hardware_concurrency());
    maxWorkers_ = std::clamp(cores - 1, 1, 4);
}

CalendarFileLoader::~CalendarFileLoader() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        stop_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    for (Worker& worker : workers_) {
        worker.thread.join();
    }
}

void CalendarFileLoader::load(std::vector<Job> jobs) {
    std::list<Worker> ended;
    {
        const std::lock_guard lock(mutex_);
        for (Job& job : jobs) {
            queue_.push_back(std::move(job));
        }
        for (auto it = workers_.begin(); it != workers_.end();) {
            auto next = std::next(it);
            if (it->finished) {
                ended.splice(ended.end(), workers_, it);
            }
            it = next;
        }
        // As many workers as there are files to read, up to the few allowed.
        while (static_cast<int>(workers_.size()) < maxWorkers_ &&
               idle_ < static_cast<int>(queue_.size())) {
            Worker& worker = workers_.emplace_back();
            ++idle_;
            worker.thread = std::thread([this, &worker] { run(worker); });
        }
    }
    wake_.notify_all();
    // They have returned or are about to: joining takes no time.
    for (Worker& worker : ended) {
        worker.thread.join();
    }
}

void CalendarFileLoader::run(Worker& self) {
    std::vector<Result> batch;
    auto batchStart = std::chrono::steady_clock::now();
    std::unique_lock lock(mutex_);
    for (;;) {
        if (queue_.empty() && !batch.empty()) {
            lock.unlock();
            deliver(std::move(batch));
            batch.clear();
            lock.lock();
            continue;
        }
        if (!wake_.wait_for(lock, kIdleEnd, [this] { return stopping_ || !queue_.empty(); })) {
            // Nothing to read for a while: the next load starts a worker again.
            --idle_;
            self.finished = true;
            return;
        }
        if (stopping_) {
            return;
        }
        Job job = std::move(queue_.front());
        queue_.pop_front();
        --idle_;
        lock.unlock();
        if (batch.empty()) {
            batchStart = std::chrono::steady_clock::now();
        }
        auto file = ParsedCalendarFile::read(job.path, &stop_);
        if (stop_) {
            return;
        }
        batch.push_back({std::move(job), std::move(file)});
        if (std::chrono::steady_clock::now() - batchStart >= kBatchInterval) {
            deliver(std::move(batch));
            batch.clear();
        }
        lock.lock();
        ++idle_;
    }
}

void CalendarFileLoader::deliver(std::vector<Result> batch) {
    // Queued to the owner's thread; dropped there if the loader is gone by then.
    QMetaObject::invokeMethod(
        this, [this, batch = std::move(batch)] { emit loaded(batch); }, Qt::QueuedConnection);
}

}  // namespace talvor
