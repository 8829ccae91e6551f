#include "kit/KitLog.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

namespace talvor::kit {
namespace {

std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}

LogSink& currentSink() {
    static LogSink sink;
    return sink;
}

std::atomic<KitLogLevel>& threshold() {
    static std::atomic<KitLogLevel> level{KitLogLevel::Info};
    return level;
}

}  // namespace

KitLogLevel logLevel() {
    return threshold().load();
}

void setLogLevel(KitLogLevel minimum) {
    threshold().store(minimum);
}

void log(KitLogLevel level, std::string_view line) {
    if (level >= threshold().load()) {
        log(line);
    }
}

void log(std::string_view line) {
    LogSink sink;
    {
        std::lock_guard lock(sinkMutex());
        sink = currentSink();
    }
    if (sink) {
        sink(line);
        return;
    }
    // One write per line, so lines from several threads do not interleave.
    std::string text(line);
    text.push_back('\n');
    std::fwrite(text.data(), 1, text.size(), stderr);
}

LogSink setLogSink(LogSink sink) {
    std::lock_guard lock(sinkMutex());
    return std::exchange(currentSink(), std::move(sink));
}

}  // namespace talvor::kit
