#pragma once

#include <functional>
#include <string_view>

// The kit's own log (the kit uses no Qt, so not platform::log). Callers put the layer's
// bracketed prefix ("[Trellis]", "[Wreckord]", "[Tally]") into the line themselves.
namespace talvor::kit {

// Debug lines are progress reports, shown only while the kit host's debug flag is on;
// failures are always shown.
enum class KitLogLevel { Debug = 0, Info = 1, Warning = 2, Error = 3 };

using LogSink = std::function<void(std::string_view line)>;

// Writes one line to the log (standard error unless a sink is installed), whatever the level.
void log(std::string_view line);
// Writes one line when `level` is at or above the log's threshold.
void log(KitLogLevel level, std::string_view line);
// The lowest level written; Info at start.
KitLogLevel logLevel();
void setLogLevel(KitLogLevel minimum);
// Replaces the log's destination; an empty sink restores standard error. Returns the old one.
LogSink setLogSink(LogSink sink);

}  // namespace talvor::kit
