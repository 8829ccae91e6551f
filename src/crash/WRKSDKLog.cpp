#include "crash/WRKSDKLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "crash/WRKContext.h"
#include "crash/WRKFile.h"

namespace talvor::crash {
namespace {

class LineBuffer {
  public:
    void put(char c) {
        if (length_ < sizeof text_) {
            text_[length_++] = c;
        }
    }
    void put(const char* s) {
        for (; *s != '\0'; ++s) {
            put(*s);
        }
    }
    void number(std::uint64_t value, unsigned base) {
        char digits[24];
        std::size_t n = 0;
        do {
            digits[n++] = "0123456789abcdef"[value % base];
            value /= base;
        } while (value != 0);
        while (n > 0) {
            put(digits[--n]);
        }
    }
    const char* data() const { return text_; }
    std::size_t size() const { return length_; }

  private:
    char text_[512];
    std::size_t length_ = 0;
};

void formatInto(LineBuffer& line, const char* format, va_list args) {
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            line.put(*p);
            continue;
        }
        switch (p[1]) {
            case 'p':
                line.put("0x");
                line.number(reinterpret_cast<std::uintptr_t>(va_arg(args, void*)), 16);
                break;
            case 's': {
                const char* s = va_arg(args, const char*);
                line.put(s != nullptr ? s : "(null)");
                break;
            }
            case 'u':
                line.number(va_arg(args, unsigned), 10);
                break;
            case 'd': {
                const int value = va_arg(args, int);
                if (value < 0) {
                    line.put('-');
                }
                line.number(
                    value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value),
                    10);
                break;
            }
            case 'x':
                line.number(va_arg(args, unsigned), 16);
                break;
            case '\0':
                line.put('%');
                --p;
                break;
            default:
                line.put('%');
                line.put(p[1]);
                break;
        }
        ++p;
    }
}

}  // namespace

void WRKSDKFileLog(int level, const char* format, ...) {
    const WRKContextReadOnly* ro = _clsContext.readonly;
    WRKContextWritable* rw = _clsContext.writable;
    if (ro == nullptr || rw == nullptr || format == nullptr ||
        reinterpret_cast<std::uintptr_t>(ro->logPath) < 0x1000 || level < rw->logLevel) {
        return;
    }
    if (rw->logFd < 0) {
        rw->logFd = ::open(ro->logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (rw->logFd < 0) {
            return;
        }
    }
    LineBuffer line;
    va_list args;
    va_start(args, format);
    formatInto(line, format, args);
    va_end(args);
    WRKFileWriteWithRetries(rw->logFd, line.data(), line.size());
}

std::size_t WRKSDKLogFormat(char* out, std::size_t size, const char* format, ...) {
    LineBuffer line;
    va_list args;
    va_start(args, format);
    formatInto(line, format, args);
    va_end(args);
    const std::size_t length = line.size() < size ? line.size() : (size > 0 ? size - 1 : 0);
    if (size > 0) {
        std::memcpy(out, line.data(), length);
        out[length] = '\0';
    }
    return length;
}

int WRKSDKLogMinimumLevel() {
    return _clsContext.writable != nullptr ? _clsContext.writable->logLevel : 1;
}

void WRKSDKLogSetMinimumLevel(int level) {
    if (_clsContext.writable != nullptr) {
        _clsContext.writable->logLevel = level;
    }
}

}  // namespace talvor::crash
