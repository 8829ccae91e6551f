#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "kit/KitJson.h"
#include "kit/Operation.h"
#include "kit/TLYMetadata.h"

// The steps an event file goes through after it stops being written: compressed (gzip),
// packaged (a multipart body around the compressed file) and, at start, the clean-up of what
// an earlier run left. Each step reports `success`; its input may be deleted only then, so a
// full disk or a crash part way never loses events (a step left unfinished is redone at the
// next start).
namespace talvor::kit {

class TLYCompressLogOperation final : public Operation {
  public:
    TLYCompressLogOperation(std::filesystem::path uncompressedLogURL,
                            std::filesystem::path compressedLogURL);
    static std::filesystem::path compressedURLForUncompressedURL(const std::filesystem::path& log);
    void main() override;
    // The compressed file is there and whole (made now, or already there).
    bool success() const { return success_; }

  private:
    std::filesystem::path uncompressed_;
    std::filesystem::path compressed_;
    bool success_ = false;
};

class TLYPackageLogOperation final : public Operation {
  public:
    static constexpr char kMimeType[] = "application/vnd.wreckord.mac.events";

    TLYPackageLogOperation(std::filesystem::path compressedLogURL,
                           std::filesystem::path packagedLogURL, std::string boundary);
    static std::filesystem::path multipartURLForCompressedURL(
        const std::filesystem::path& compressed, const std::string& boundary);
    // Writes beside the packaged file and renames when every byte is written, so the folder
    // never holds a half-written body under the packaged name. The packaged file's date is
    // the kit clock's time.
    void main() override;
    bool success() const { return success_; }

  private:
    std::filesystem::path compressed_;
    std::filesystem::path packaged_;
    std::string boundary_;
    bool success_ = false;
};

class TLYCleanupFilesOperation final : public Operation {
  public:
    using SuccessBlock = std::function<void(const std::set<std::filesystem::path>& eventFiles,
                                            const std::set<std::filesystem::path>& compressedFiles,
                                            const std::set<std::filesystem::path>& packagedFiles)>;

    TLYCleanupFilesOperation(std::filesystem::path directory,
                             std::uint64_t maximumPendingMulitpartFiles);
    void main() override;
    void setSuccessBlock(SuccessBlock block) { successBlock_ = std::move(block); }

  private:
    std::filesystem::path directory_;
    std::uint64_t maximum_;
    SuccessBlock successBlock_;
};

class TLYRotateCrashMetadataOperation final : public Operation {
  public:
    // The current record is made now, for the kit clock's time.
    TLYRotateCrashMetadataOperation(std::filesystem::path crashMetadataURL,
                                    const TLYMetadata& currentMetadata);
    // Reads what the previous execution left (an empty record when there is none or it is
    // damaged: a crash is still reported), then writes the current record.
    void main() override;
    const std::shared_ptr<TLYCrashMetadata>& crashMetadata() const { return crashMetadata_; }

  private:
    std::filesystem::path file_;
    JsonObject current_;
    std::shared_ptr<TLYCrashMetadata> crashMetadata_;
};

}  // namespace talvor::kit
