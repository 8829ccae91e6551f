#include "kit/TLYLogFileOperations.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "kit/FileBytes.h"
#include "kit/KitClock.h"
#include "kit/KitLog.h"
#include "kit/OutputStream.h"
#include "kit/TLYEventLogFile.h"
#include "kit/TLYFileUtils.h"
#include "kit/TRLMultipartMimeStreamEncoder.h"

namespace talvor::kit {

namespace fs = std::filesystem;

namespace {

void tallyLog(const std::string& line) {
    log(KitLogLevel::Debug, "[Tally] " + line);
}

bool isRegularFile(const fs::path& file) {
    std::error_code error;
    return fs::is_regular_file(file, error);
}

// Event files are a few kilobytes; this only keeps a runaway file from filling memory.
constexpr std::size_t kMaximumEventFile = 64 * 1024 * 1024;

}  // namespace

TLYCompressLogOperation::TLYCompressLogOperation(fs::path uncompressedLogURL,
                                                 fs::path compressedLogURL)
    : uncompressed_(std::move(uncompressedLogURL)), compressed_(std::move(compressedLogURL)) {}

fs::path TLYCompressLogOperation::compressedURLForUncompressedURL(const fs::path& log) {
    fs::path compressed = log;
    return compressed.replace_extension("gz");
}

void TLYCompressLogOperation::main() {
    success_ = false;
    if (!isRegularFile(uncompressed_)) {
        tallyLog("Error: attempting to compress nonexistent file: " + uncompressed_.string());
        return;
    }
    std::error_code error;
    if (fs::exists(compressed_, error)) {
        success_ = isRegularFile(compressed_);
        return;
    }
    const auto bytes = readRegularFile(uncompressed_, kMaximumEventFile);
    // A line cut short by a crash is not sent: the receiver would reject the whole file.
    const std::string_view lines =
        bytes ? TLYEventLogFile::completeLines(*bytes) : std::string_view();
    bool ok = bytes.has_value();
    if (ok) {
        gzFile gz = gzopen(compressed_.c_str(), "wb");
        ok = gz != nullptr;
        if (ok) {
            const int written =
                lines.empty() ? 0 : gzwrite(gz, lines.data(), static_cast<unsigned>(lines.size()));
            ok = written == static_cast<int>(lines.size());
            ok = gzclose(gz) == Z_OK && ok;
        }
    }
    if (!ok) {
        tallyLog("Failed to compress file at " + uncompressed_.string());
        fs::remove(compressed_, error);  // the event file stays and is compressed again later
        return;
    }
    success_ = true;
}

TLYPackageLogOperation::TLYPackageLogOperation(fs::path compressedLogURL, fs::path packagedLogURL,
                                               std::string boundary)
    : compressed_(std::move(compressedLogURL)),
      packaged_(std::move(packagedLogURL)),
      boundary_(std::move(boundary)) {}

fs::path TLYPackageLogOperation::multipartURLForCompressedURL(const fs::path& compressed,
                                                              const std::string& boundary) {
    return compressed.parent_path() / (boundary + ".multipartmime");
}

void TLYPackageLogOperation::main() {
    success_ = false;
    if (!isRegularFile(compressed_)) {
        tallyLog("Error: attempting to package nonexistent file: " + compressed_.string());
        return;
    }
    // "partial" is not one of the folder's extensions, so the clean-up removes a leftover.
    fs::path partial = packaged_;
    partial.replace_extension("partial");
    auto stream = std::make_shared<FileOutputStream>(partial);
    auto encoder = TRLMultipartMimeStreamEncoder::encoderWithStream(stream, boundary_);
    bool ok = false;
    if (encoder) {
        bool added = false;
        ok = encoder->encode([&](TRLMultipartMimeStreamEncoder& e) {
            const std::string name = compressed_.filename().string();
            if (!compressed_.empty() && isRegularFile(compressed_)) {
                const auto before = e.length();
                e.addFile(compressed_, name, std::string(kMimeType), name);
                added = e.length() > before;
            } else {
                tallyLog("Error packaging: " + compressed_.string() + " is an invalid path.");
            }
        });
        ok = ok && added;
    }
    std::error_code error;
    if (!ok) {
        fs::remove(partial, error);
        return;
    }
    TLYFileUtils::setModificationDate(partial, Clock::shared().wallSeconds());
    fs::rename(partial, packaged_, error);
    if (error) {
        fs::remove(partial, error);
        return;
    }
    success_ = true;
}

TLYCleanupFilesOperation::TLYCleanupFilesOperation(fs::path directory,
                                                   std::uint64_t maximumPendingMulitpartFiles)
    : directory_(std::move(directory)), maximum_(maximumPendingMulitpartFiles) {}

void TLYCleanupFilesOperation::main() {
    std::map<std::string, fs::path> logs;
    std::map<std::string, fs::path> compressed;
    std::map<std::string, fs::path> packaged;
    std::error_code error;
    for (const auto& file : TLYFileUtils::allFilesInDirectory(directory_)) {
        const std::string extension = TLYFileUtils::extensionOf(file);
        const std::string base = file.stem().string();
        if (extension == "log") {
            logs[base] = file;
        } else if (extension == "gz") {
            compressed[base] = file;
        } else if (extension == "multipartmime") {
            packaged[base] = file;
        } else {
            fs::remove_all(file, error);
        }
    }
    // A compressed file beside its event file did not finish: it is made again.
    for (const auto& [base, log] : logs) {
        const auto it = compressed.find(base);
        if (it == compressed.end()) {
            continue;
        }
        if (!fs::remove(it->second, error) && error) {
            kit::log(KitLogLevel::Debug, "[Tally:CleanupOperation] Failed to remove " +
                                             it->second.string() + ": " + error.message());
        }
        compressed.erase(it);
    }
    std::set<fs::path> kept;
    std::vector<std::pair<double, fs::path>> byDate;
    byDate.reserve(packaged.size());
    for (const auto& [base, file] : packaged) {
        byDate.emplace_back(TLYFileUtils::fileCreatedDateAtURL(file, -INFINITY), file);
    }
    std::sort(byDate.begin(), byDate.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;  // newest first
    });
    for (std::size_t i = 0; i < byDate.size(); ++i) {
        if (i < maximum_) {
            kept.insert(byDate[i].second);
        } else {
            fs::remove(byDate[i].second, error);
        }
    }
    if (successBlock_) {
        std::set<fs::path> logSet;
        std::set<fs::path> compressedSet;
        for (const auto& entry : logs) {
            logSet.insert(entry.second);
        }
        for (const auto& entry : compressed) {
            compressedSet.insert(entry.second);
        }
        successBlock_(logSet, compressedSet, kept);
    }
}

TLYRotateCrashMetadataOperation::TLYRotateCrashMetadataOperation(fs::path crashMetadataURL,
                                                                 const TLYMetadata& currentMetadata)
    : file_(std::move(crashMetadataURL)) {
    const double now = Clock::shared().wallSeconds();
    current_ = currentMetadata.dictionaryRepresentationWithStartTime(
        now > 0 ? std::uint64_t(std::floor(now)) : 0);
}

void TLYRotateCrashMetadataOperation::main() {
    std::error_code error;
    JsonObject previous;
    if (fs::exists(file_, error)) {
        if (auto read = TLYCrashMetadata::readSerializedDictionaryFromURL(file_)) {
            previous = std::move(*read);
        } else {
            log(KitLogLevel::Info,
                "[Tally] The previous execution's metadata could not be read; a crash of it is "
                "reported without");
        }
        fs::remove_all(file_, error);
    }
    crashMetadata_ = std::make_shared<TLYCrashMetadata>(std::move(previous));
    TLYCrashMetadata::writeSerializedDictionary(current_, file_);
}

}  // namespace talvor::kit
