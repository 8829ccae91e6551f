#include "crash/WRKPackageReport.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <utility>

#include "crash/WRKSDKLog.h"
#include "kit/OutputStream.h"
#include "kit/TRLMultipartMimeStreamEncoder.h"

namespace talvor::crash {
namespace fs = std::filesystem;

namespace {

constexpr int kMaxWriteAttempts = 50;

std::optional<std::string> readBytes(const fs::path& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path withExtension(fs::path path, const char* extension) {
    path += ".";
    path += extension;
    return path;
}

}  // namespace

WRKPackageReportOperation::WRKPackageReportOperation(WRKInternalReport report,
                                                     WRKFileManager fileManager)
    : report_(std::move(report)), fileManager_(std::move(fileManager)) {}

std::optional<fs::path> WRKPackageReportOperation::finalPath() const {
    std::lock_guard lock(mutex_);
    return finalPath_;
}

bool WRKPackageReportOperation::compressData(const std::string& data, const fs::path& path) {
    if (data.empty()) {
        return false;
    }
    gzFile file = ::gzopen(path.c_str(), "w");
    if (file == nullptr) {
        WRKSDKLogError("Error: unable to open file for compression %s\n", std::strerror(errno));
        return false;
    }
    bool written = true;
    std::size_t done = 0;
    for (int attempt = 0; attempt < kMaxWriteAttempts && done < data.size(); ++attempt) {
        const std::size_t chunk =
            std::min<std::size_t>(data.size() - done, std::numeric_limits<unsigned>::max());
        const int count = ::gzwrite(file, data.data() + done, static_cast<unsigned>(chunk));
        if (count <= 0) {
            int zlibError = 0;
            const char* zlibText = ::gzerror(file, &zlibError);
            WRKSDKLogError("Error: failed to write compressed bytes %d, %s, %s \n", zlibError,
                           zlibText != nullptr ? zlibText : "", std::strerror(errno));
            written = false;
            break;
        }
        done += static_cast<std::size_t>(count);
    }
    // A close that cannot flush the last block has not written the file either.
    const bool closed = ::gzclose(file) == Z_OK;
    return written && closed && done == data.size();
}

void WRKPackageReportOperation::encodeFile(kit::TRLMultipartMimeStreamEncoder& encoder,
                                           const std::string& data, const fs::path& path) {
    if (path.empty()) {
        WRKSDKLogError("Error: path is invalid\n");
        return;
    }
    const fs::path compressed = withExtension(path, "gz");
    const std::string fieldName = path.filename().string();
    const std::string fileName = compressed.filename().string();
    if (compressData(data, compressed)) {
        encoder.addFile(compressed, fileName, std::string("application/x-gzip"), fieldName);
        return;
    }
    WRKSDKLogError("Error: compression failed for %s\n", fieldName.c_str());
    encoder.addFile(path, fileName, std::string("text/plain"), fieldName);
}

void WRKPackageReportOperation::main() {
    {
        std::lock_guard lock(mutex_);
        finalPath_.reset();
    }
    const std::string boundary = kit::TRLMultipartMimeStreamEncoder::generateBoundary();
    const fs::path packaged =
        withExtension(fileManager_.preparedPath() / boundary, WRKMultipartMimeExtension);
    // Written inside the report folder under a hidden name, and moved into "prepared" once
    // whole: a run that ends midway never leaves a cut-off body there to be sent; what it
    // leaves goes with the folder.
    const fs::path partial = report_.path() / ("." + packaged.filename().string() + ".partial");
    const std::string identifier = report_.identifier();
    const std::optional<std::string> apiKey = report_.APIKey();
    auto encoder = kit::TRLMultipartMimeStreamEncoder::encoderWithStream(
        std::make_shared<kit::FileOutputStream>(partial), boundary);
    if (!encoder) {
        return;
    }
    const char* const function = __func__;
    const bool complete = encoder->encode([&](kit::TRLMultipartMimeStreamEncoder& parts) {
        if (apiKey) {
            parts.addValue(apiKey, "api_key");
        }
        if (!identifier.empty()) {
            parts.addValue(identifier, "report_id");
        }
        // A snapshot of the folder: the compressed copies made below are not visited.
        fileManager_.enumerateFilesInDirectory(
            report_.path(), [&](const fs::path& file, const std::string& extension) {
                if (isCancelled() || extension == "gz") {
                    return;
                }
                const std::optional<std::string> data = readBytes(file);
                if (!data || data->empty()) {
                    WRKSDKLogErrorIn(function, "Error: unable to read data for compression: %s\n",
                                     file.filename().c_str());
                    return;
                }
                encodeFile(parts, *data, file);
            });
    });
    std::error_code error;
    if (!isCancelled() && complete) {
        fs::rename(partial, packaged, error);
        if (!error) {
            std::lock_guard lock(mutex_);
            finalPath_ = packaged;
            return;
        }
    }
    // A truncated body must never be sent.
    fs::remove(partial, error);
}

}  // namespace talvor::crash
