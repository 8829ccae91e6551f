#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "crash/WRKFileManager.h"
#include "crash/WRKInternalReport.h"
#include "kit/Operation.h"

namespace talvor::kit {
class TRLMultipartMimeStreamEncoder;
}

// Turns one report folder into one upload body: "<boundary>.multipartmime" in the prepared
// folder, a multipart/form-data file whose parts are "api_key", "report_id" and each record
// file gzip-compressed ("<name>.gz", "application/x-gzip"; a file that cannot be compressed
// goes as it is, "text/plain"). The compressed copies lie beside their sources and go with
// the report folder. The packaged file appears in "prepared" whole or not at all.
namespace talvor::crash {

inline constexpr char WRKMultipartMimeExtension[] = "multipartmime";

class WRKPackageReportOperation final : public kit::Operation {
  public:
    WRKPackageReportOperation(WRKInternalReport report, WRKFileManager fileManager);

    // The packaged file once packaging succeeded.
    std::optional<std::filesystem::path> finalPath() const;
    void main() override;

    // Writes `data` gzip-compressed to `path`; false for empty data or a failed write.
    static bool compressData(const std::string& data, const std::filesystem::path& path);

  private:
    void encodeFile(kit::TRLMultipartMimeStreamEncoder& encoder, const std::string& data,
                    const std::filesystem::path& path);

    WRKInternalReport report_;
    WRKFileManager fileManager_;
    mutable std::mutex mutex_;
    std::optional<std::filesystem::path> finalPath_;
};

}  // namespace talvor::crash
