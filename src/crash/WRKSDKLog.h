#pragma once

#include <cstddef>

// The crash-time diagnostic log ("sdk.log" in the run's folder): what the recorder and the
// unwinder decided, for the developer who reads a strange report. Async-signal-safe: each
// line is formatted by hand into a stack buffer and written in one call. Formats know %p,
// %s, %u, %d and %x; any other character after '%' is written as it stands and takes no
// argument.
namespace talvor::crash {

enum WRKSDKLogLevel : int {
    WRKSDKLogLevelDebug = 1,
    WRKSDKLogLevelInfo = 2,
    WRKSDKLogLevelWarn = 3,
    WRKSDKLogLevelError = 4,
};

// `format` carries its own prefix ("WARN  [%s:%d] ...\n"); the first two arguments are the
// operation's name and the line.
void WRKSDKFileLog(int level, const char* format, ...);
// The line `WRKSDKFileLog` would write, into `out` (zero-terminated); its length.
std::size_t WRKSDKLogFormat(char* out, std::size_t size, const char* format, ...);
// The minimum level written, and setting it (both through the crash context).
int WRKSDKLogMinimumLevel();
void WRKSDKLogSetMinimumLevel(int level);

}  // namespace talvor::crash

#define WRKSDKLogDebug(format, ...) \
    ::talvor::crash::WRKSDKFileLog(1, "DEBUG [%s:%d] " format, __func__, __LINE__, ##__VA_ARGS__)
#define WRKSDKLogInfo(format, ...) \
    ::talvor::crash::WRKSDKFileLog(2, "INFO  [%s:%d] " format, __func__, __LINE__, ##__VA_ARGS__)
#define WRKSDKLogWarn(format, ...) \
    ::talvor::crash::WRKSDKFileLog(3, "WARN  [%s:%d] " format, __func__, __LINE__, ##__VA_ARGS__)
#define WRKSDKLogError(format, ...) \
    ::talvor::crash::WRKSDKFileLog(4, "ERROR [%s:%d] " format, __func__, __LINE__, ##__VA_ARGS__)
// Inside a lambda __func__ names its call operator: these take the enclosing function's name,
// captured by the lambda.
#define WRKSDKLogWarnIn(function, format, ...) \
    ::talvor::crash::WRKSDKFileLog(3, "WARN  [%s:%d] " format, function, __LINE__, ##__VA_ARGS__)
#define WRKSDKLogErrorIn(function, format, ...) \
    ::talvor::crash::WRKSDKFileLog(4, "ERROR [%s:%d] " format, function, __LINE__, ##__VA_ARGS__)
