#include "kit/TLYWriteEventOperation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string_view>

#include "kit/KitLog.h"
#include "kit/TLYEvent.h"
#include "kit/TLYEventLogFile.h"
#include "kit/TLYMetadata.h"

namespace talvor::kit {

namespace {

void logWrite(const std::string& line) {
    log(KitLogLevel::Debug, "[Tally:WriteOperation] " + line);
}

// Cuts the file back to its last line break when a line was left unfinished; answers the
// size afterwards (nullopt when the file cannot be read or cut).
std::optional<off_t> dropUnfinishedLine(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return std::nullopt;
    }
    off_t size = info.st_size;
    if (size == 0) {
        return 0;
    }
    char last = 0;
    if (::pread(fd, &last, 1, size - 1) != 1) {
        return std::nullopt;
    }
    if (last == '\n') {
        return size;
    }
    // Look back for the last whole line.
    char buffer[4096];
    off_t end = size;
    while (end > 0) {
        const off_t start = end > off_t(sizeof buffer) ? end - off_t(sizeof buffer) : 0;
        const ssize_t n = ::pread(fd, buffer, std::size_t(end - start), start);
        if (n != end - start) {
            return std::nullopt;
        }
        const void* found = ::memrchr(buffer, '\n', std::size_t(n));
        if (found) {
            end = start + (static_cast<const char*>(found) - buffer) + 1;
            break;
        }
        end = start;
    }
    if (::ftruncate(fd, end) != 0) {
        return std::nullopt;
    }
    log(KitLogLevel::Info, "[Tally:WriteOperation] Dropped an unfinished line (" +
                               std::to_string(size - end) + " bytes) at the end of an event file");
    return end;
}

}  // namespace

TLYWriteEventOperation::TLYWriteEventOperation(
    std::shared_ptr<const TLYEvent> event, std::shared_ptr<const TLYMetadataSerializable> metadata,
    std::filesystem::path logFileUrl)
    : event_(std::move(event)), metadata_(std::move(metadata)), logFileUrl_(std::move(logFileUrl)) {
    if (event_) {
        const double time = event_->timestamp();
        formattedEvent_ =
            TLYEventLogFile::formatLine(time, event_->name(), event_->dictionaryRepresentation());
        if (metadata_) {
            const double seconds = std::isfinite(time) && time > 0 ? std::floor(time) : 0;
            formattedMetadata_ = TLYEventLogFile::formatLine(
                time, metadata_->eventName(),
                metadata_->dictionaryRepresentationWithStartTime(
                    seconds >= 1.8e19 ? UINT64_MAX : std::uint64_t(seconds)));
        }
    }
}

bool TLYWriteEventOperation::appendLogLine(const std::string& line, int fd,
                                           const WriteFunction& write) {
    const std::string bytes = line + "\n";
    std::size_t offset = 0;
    for (int call = 1;; ++call) {
        const std::size_t remaining = bytes.size() - offset;
        errno = 0;
        const ssize_t written = write(fd, bytes.data() + offset, remaining);
        if (written < 0) {
            logWrite(std::string("Failed to write: ") + std::strerror(errno) + "\n");
        }
        if (written >= 0 && std::size_t(written) == remaining) {
            return true;
        }
        if (written < 0 || std::size_t(written) > remaining) {
            logWrite("Error: length doesn't make sense (" + std::to_string(written) + ", " +
                     std::to_string(remaining) + ")\n");
            return false;
        }
        if (written == 0 || call >= 3) {
            logWrite("Error: exited write loop without success\n");
            return false;
        }
        offset += std::size_t(written);
    }
}

void TLYWriteEventOperation::main() {
    success_ = false;
    std::error_code error;
    if (std::filesystem::is_directory(logFileUrl_, error)) {
        return;
    }
    const int fd = ::open(logFileUrl_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    const WriteFunction write =
        write_ ? write_ : [](int f, const void* b, std::size_t n) { return ::write(f, b, n); };
    // A file with no whole line lost its metadata line too: it starts afresh.
    const auto size = dropUnfinishedLine(fd);
    if (size && formattedEvent_ && formattedMetadata_) {
        bool ok = true;
        if (*size == 0) {
            ok = appendLogLine(*formattedMetadata_, fd, write);
        }
        success_ = ok && appendLogLine(*formattedEvent_, fd, write);
    }
    if (::close(fd) != 0) {
        logWrite(std::string("Failed to close file, error: ") + std::strerror(errno));
        success_ = false;
    }
}

}  // namespace talvor::kit
