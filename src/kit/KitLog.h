#pragma once

#include <functional>
#include <string_view>

// The kit's own log (the kit uses no Qt, so not platform::log). Callers put the layer's
// bracketed prefix ("[Trellis]", "[Wreckord]", "[Tally]") into the line themselves.
namespace talvor::kit {

using LogSink = std::function<void(std::string_view line)>;

// Writes one line to the log (standard error unless a sink is installed).
void log(std::string_view line);
// Replaces the log's destination; an empty sink restores standard error. Returns the old one.
LogSink setLogSink(LogSink sink);

}  // namespace talvor::kit
