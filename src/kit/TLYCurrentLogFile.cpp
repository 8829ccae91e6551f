#include "kit/TLYCurrentLogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "kit/KitClock.h"
#include "kit/TLYEventLogFile.h"
#include "kit/TLYFileUtils.h"
#include "kit/TRLEncoding.h"

namespace talvor::kit {

namespace fs = std::filesystem;

TLYCurrentLogFile::TLYCurrentLogFile(fs::path eventDirectory)
    : directory_(std::move(eventDirectory)), current_(generateNewLogPath(directory_)) {}

fs::path TLYCurrentLogFile::generateNewLogPath(const fs::path& eventDirectory) {
    return eventDirectory / (TRLGenerateUUID() + ".log");
}

bool TLYCurrentLogFile::shouldSubmitLogAtURL(const fs::path& file,
                                             std::int64_t maximumPayloadSize) {
    const std::uint64_t size = TLYFileUtils::fileSizeAtURL(file);
    return maximumPayloadSize < 0 || size > std::uint64_t(maximumPayloadSize);
}

std::optional<double> TLYCurrentLogFile::firstRecordTime(const fs::path& file) {
    // The metadata line is well under this; only its head is read.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string head(64 * 1024, '\0');
    const ssize_t n = ::read(fd, head.data(), head.size());
    ::close(fd);
    if (n <= 0) {
        return std::nullopt;
    }
    head.resize(std::size_t(n));
    const auto lines = TLYEventLogFile::readRecordsFromBytes(std::string_view(head).substr(
        0, head.find('\n') == std::string::npos ? 0 : head.find('\n') + 1));
    if (lines.empty()) {
        return std::nullopt;
    }
    return double(lines.front().milliseconds) / 1000.0;
}

bool TLYCurrentLogFile::isDue(std::int64_t maximumPayloadSize, double maximumAge) const {
    std::error_code error;
    if (!fs::exists(current_, error)) {
        return false;
    }
    if (shouldSubmitLogAtURL(current_, maximumPayloadSize)) {
        return true;
    }
    if (maximumAge > 0) {
        const auto first = firstRecordTime(current_);
        return first && Clock::shared().wallSeconds() - *first >= maximumAge;
    }
    return false;
}

fs::path TLYCurrentLogFile::rollOver() {
    fs::path old = current_;
    current_ = generateNewLogPath(directory_);
    return old;
}

std::optional<fs::path> TLYCurrentLogFile::rollOverIfDue(std::int64_t maximumPayloadSize,
                                                         double maximumAge) {
    if (!isDue(maximumPayloadSize, maximumAge)) {
        return std::nullopt;
    }
    return rollOver();
}

}  // namespace talvor::kit
