#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/KitJson.h"

// The analytics event file: one line per record, "<ms since 1970>\t<name>\t<bytes of the
// JSON>\t<JSON>\n", headed by the metadata record. The byte count and the closing line break
// make each line self-checking, so a line half written when the process died is told apart
// from a whole one.
namespace talvor::kit {

struct TLYLogRecord {
    std::uint64_t milliseconds = 0;
    std::string name;
    std::string json;

    bool operator==(const TLYLogRecord&) const = default;
};

namespace TLYEventLogFile {

// Milliseconds since 1970, the fraction dropped; a time before 1970 (or not a number) is 0.
std::uint64_t millisecondsFromSeconds(double seconds);
// The line for a record, without its line break; none when the dictionary cannot be written
// as JSON or the name holds a tab or a line break (it would split the record).
std::optional<std::string> formatLine(double seconds, std::string_view name,
                                      const JsonObject& dictionary);
// The record a whole line (without its line break) holds; none for a damaged one.
std::optional<TLYLogRecord> parseLine(std::string_view line);
// The whole lines of `bytes`: the bytes after the last line break (a line cut short) are not
// part of it.
std::string_view completeLines(std::string_view bytes);
// Every whole, well-formed record of the file, in order; a damaged or unfinished line is
// skipped and the rest still read.
std::vector<TLYLogRecord> readRecords(const std::filesystem::path& file);
std::vector<TLYLogRecord> readRecordsFromBytes(std::string_view bytes);

}  // namespace TLYEventLogFile

}  // namespace talvor::kit
