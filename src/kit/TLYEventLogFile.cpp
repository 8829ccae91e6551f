#include "kit/TLYEventLogFile.h"

#include <charconv>
#include <cmath>

#include "kit/FileBytes.h"

namespace talvor::kit::TLYEventLogFile {

std::uint64_t millisecondsFromSeconds(double seconds) {
    const double ms = std::floor(seconds * 1000.0);
    if (!(ms > 0)) {
        return 0;
    }
    if (ms >= 18446744073709551615.0) {
        return UINT64_MAX;
    }
    return std::uint64_t(ms);
}

std::optional<std::string> formatLine(double seconds, std::string_view name,
                                      const JsonObject& dictionary) {
    if (name.find_first_of("\t\r\n") != std::string_view::npos) {
        return std::nullopt;
    }
    const auto json = json::serialize(JsonValue(dictionary));
    if (!json) {
        return std::nullopt;
    }
    return std::to_string(millisecondsFromSeconds(seconds)) + "\t" + std::string(name) + "\t" +
           std::to_string(json->size()) + "\t" + *json;
}

namespace {

std::optional<std::uint64_t> number(std::string_view text) {
    std::uint64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<TLYLogRecord> parseLine(std::string_view line) {
    const auto first = line.find('\t');
    const auto second = first == std::string_view::npos ? first : line.find('\t', first + 1);
    const auto third = second == std::string_view::npos ? second : line.find('\t', second + 1);
    if (third == std::string_view::npos) {
        return std::nullopt;
    }
    const auto ms = number(line.substr(0, first));
    const auto length = number(line.substr(second + 1, third - second - 1));
    const std::string_view json = line.substr(third + 1);
    if (!ms || !length || *length != json.size()) {
        return std::nullopt;
    }
    const auto value = json::parse(json);
    if (!value || !value->object()) {
        return std::nullopt;
    }
    return TLYLogRecord{*ms, std::string(line.substr(first + 1, second - first - 1)),
                        std::string(json)};
}

std::string_view completeLines(std::string_view bytes) {
    const auto last = bytes.rfind('\n');
    return last == std::string_view::npos ? std::string_view() : bytes.substr(0, last + 1);
}

std::vector<TLYLogRecord> readRecordsFromBytes(std::string_view bytes) {
    std::vector<TLYLogRecord> records;
    std::string_view rest = completeLines(bytes);
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        if (auto record = parseLine(rest.substr(0, end))) {
            records.push_back(std::move(*record));
        }
        rest.remove_prefix(end + 1);
    }
    return records;
}

std::vector<TLYLogRecord> readRecords(const std::filesystem::path& file) {
    const auto bytes = readRegularFile(file, 256 * 1024 * 1024);
    return bytes ? readRecordsFromBytes(*bytes) : std::vector<TLYLogRecord>();
}

}  // namespace talvor::kit::TLYEventLogFile
