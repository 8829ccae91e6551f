#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "kit/Operation.h"

// Appends one event's line to an event file (the metadata line first when the write
// creates the file). A line left half written by a process that died is cut away before
// anything is appended, so it never runs into the next record.
namespace talvor::kit {

class TLYEvent;
class TLYMetadataSerializable;

class TLYWriteEventOperation final : public Operation {
  public:
    // The system's write(2) unless a test puts a short or failing writer in its place.
    using WriteFunction = std::function<ssize_t(int fd, const void* bytes, std::size_t length)>;

    TLYWriteEventOperation(std::shared_ptr<const TLYEvent> event,
                           std::shared_ptr<const TLYMetadataSerializable> metadata,
                           std::filesystem::path logFileUrl);

    void main() override;

    // The line plus "\n", in at most three write calls; false (with a log line) otherwise.
    static bool appendLogLine(const std::string& line, int fd, const WriteFunction& write);

    bool success() const { return success_; }
    const std::optional<std::string>& formattedEvent() const { return formattedEvent_; }
    const std::optional<std::string>& formattedMetadata() const { return formattedMetadata_; }
    const std::filesystem::path& logFileUrl() const { return logFileUrl_; }
    void setWriteFunction(WriteFunction write) { write_ = std::move(write); }

  private:
    std::shared_ptr<const TLYEvent> event_;
    std::shared_ptr<const TLYMetadataSerializable> metadata_;
    std::filesystem::path logFileUrl_;
    std::optional<std::string> formattedEvent_;
    std::optional<std::string> formattedMetadata_;
    WriteFunction write_;
    bool success_ = false;
};

}  // namespace talvor::kit
