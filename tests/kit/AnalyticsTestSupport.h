#pragma once

#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kit/RandomSource.h"
#include "kit/TLYEventLogFile.h"
#include "kit/TLYFileUtils.h"

namespace talvor::kit::test {

// Always draws the middle of the range: waits without jitter.
class NoJitter final : public RandomSource {
  public:
    double nextUniform() override { return 0.5; }
};

inline std::string gunzip(const std::string& bytes) {
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        return {};
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    std::string out;
    char buffer[16384];
    int result = Z_OK;
    do {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
    } while (result == Z_OK);
    inflateEnd(&stream);
    return result == Z_STREAM_END ? out : std::string();
}

inline std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The gzip body inside a packaged file's one part.
inline std::string packagedGzip(const std::string& body, const std::string& boundary) {
    const auto headersEnd = body.find("\r\n\r\n");
    const auto end = body.rfind("\r\n--" + boundary + "--");
    if (headersEnd == std::string::npos || end == std::string::npos || end < headersEnd) {
        return {};
    }
    return body.substr(headersEnd + 4, end - headersEnd - 4);
}

// The records of a packaged file (metadata first).
inline std::vector<TLYLogRecord> packagedRecords(const std::filesystem::path& file) {
    return TLYEventLogFile::readRecordsFromBytes(
        gunzip(packagedGzip(readAll(file), file.stem().string())));
}

inline std::vector<std::string> names(const std::vector<TLYLogRecord>& records) {
    std::vector<std::string> out;
    for (const auto& record : records) {
        out.push_back(record.name);
    }
    return out;
}

inline std::vector<std::filesystem::path> filesWithExtension(const std::filesystem::path& dir,
                                                             const char* extension) {
    const auto set = TLYFileUtils::filesWithExtension(extension, dir);
    return {set.begin(), set.end()};
}

// Polls `condition` until it holds, at most `limit`.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace talvor::kit::test
