#pragma once

#include <QString>

#include <functional>

namespace talvor {

// Gates diagnostic log lines throughout the application; 0 at start.
extern int myDebug;

namespace platform {

using LogSink = std::function<void(const QString& line)>;

// Writes one line to the log (standard error unless a sink is installed).
void log(const QString& line);
// Diagnostic line: written only while myDebug is non-zero.
void debugLog(const QString& line);
// Replaces the log's destination; an empty sink restores standard error. Returns the old one.
LogSink setLogSink(LogSink sink);

using BeepHandler = std::function<void()>;
// The system beep.
void beep();
BeepHandler setBeepHandler(BeepHandler handler);

}  // namespace platform
}  // namespace talvor
