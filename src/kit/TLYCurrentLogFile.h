#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

// The event file that new events go to, and when it is rolled over: once it holds more
// bytes than the payload limit, or once its first record is older than the age limit (by
// the kit clock). A rolled-over file is handed to compression; new events start a new file.
namespace talvor::kit {

class TLYCurrentLogFile {
  public:
    explicit TLYCurrentLogFile(std::filesystem::path eventDirectory);

    // The events folder + a new UUID + ".log".
    static std::filesystem::path generateNewLogPath(const std::filesystem::path& eventDirectory);
    // Strictly more bytes than `maximumPayloadSize` (a missing file has none).
    static bool shouldSubmitLogAtURL(const std::filesystem::path& file,
                                     std::int64_t maximumPayloadSize);
    // Seconds since 1970 of the file's first whole record; none for a file without one.
    static std::optional<double> firstRecordTime(const std::filesystem::path& file);

    const std::filesystem::path& currentLogURL() const { return current_; }
    // Whether the current file is due: over `maximumPayloadSize`, or, with a `maximumAge`
    // above 0, its first record at least that many seconds old.
    bool isDue(std::int64_t maximumPayloadSize, double maximumAge) const;
    // Starts a new current file and answers the old one.
    std::filesystem::path rollOver();
    // rollOver when isDue; the old file, or none.
    std::optional<std::filesystem::path> rollOverIfDue(std::int64_t maximumPayloadSize,
                                                       double maximumAge);

  private:
    std::filesystem::path directory_;
    std::filesystem::path current_;
};

}  // namespace talvor::kit
