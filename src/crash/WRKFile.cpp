#include "crash/WRKFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace talvor::crash {
namespace {

constexpr int kMaximumWriteCalls = 50;
constexpr char kDigits[] = "0123456789abcdef";

bool isValidPointer(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p) >= 0x1000;
}

void writeBytes(WRKFile* file, const char* bytes, std::size_t length) {
    if (!file->bufferWrites || file->writeBuffer == nullptr) {
        if (WRKFileWriteWithRetries(file->fd, bytes, length)) {
            file->writtenLength += length;
        }
        return;
    }
    while (length > 0) {
        if (file->writeBufferLength + length < kWRKFileWriteBufferSize) {
            std::memcpy(file->writeBuffer + file->writeBufferLength, bytes, length);
            file->writeBufferLength += length;
            file->writeBuffer[file->writeBufferLength] = '\0';
            return;
        }
        const std::size_t part = kWRKFileWriteBufferSize - 1 - file->writeBufferLength;
        std::memcpy(file->writeBuffer + file->writeBufferLength, bytes, part);
        file->writeBufferLength += part;
        WRKFileFlushWriteBuffer(file);
        bytes += part;
        length -= part;
    }
}

// Formats into the tail of a 21-byte buffer; returns the first digit.
const char* formatUInt64(std::uint64_t number, bool hex, char (&buffer)[21]) {
    const std::uint64_t base = hex ? 16 : 10;
    std::memset(buffer, 0, sizeof buffer);
    int at = 19;
    for (int digits = 0; digits < 20; ++digits) {
        buffer[at] = kDigits[number % base];
        number /= base;
        if (number == 0) {
            break;
        }
        --at;
    }
    return buffer + at;
}

// Gathers output on the stack and hands it on in chunks, so that a short string goes out
// in one write and a long one needs no allocation.
class Chunk {
  public:
    explicit Chunk(WRKFile* file) : file_(file) {}
    ~Chunk() { flush(); }
    void put(char c) {
        if (fill_ == sizeof buffer_) {
            flush();
        }
        buffer_[fill_++] = c;
    }
    void put(const char* text) {
        while (*text != '\0') {
            put(*text++);
        }
    }
    void flush() {
        if (fill_ > 0) {
            writeBytes(file_, buffer_, fill_);
            fill_ = 0;
        }
    }

  private:
    WRKFile* file_;
    char buffer_[64];
    std::size_t fill_ = 0;
};

// The length of the well-formed UTF-8 sequence at `s`, 0 when it is not one.
std::size_t utf8SequenceLength(const unsigned char* s) {
    std::size_t n = 0;
    std::uint32_t min = 0;
    std::uint32_t cp = 0;
    if (s[0] >= 0xC2 && s[0] <= 0xDF) {
        n = 2, min = 0x80, cp = s[0] & 0x1Fu;
    } else if (s[0] >= 0xE0 && s[0] <= 0xEF) {
        n = 3, min = 0x800, cp = s[0] & 0x0Fu;
    } else if (s[0] >= 0xF0 && s[0] <= 0xF4) {
        n = 4, min = 0x10000, cp = s[0] & 0x07u;
    } else {
        return 0;
    }
    for (std::size_t i = 1; i < n; ++i) {
        if ((s[i] & 0xC0) != 0x80) {  // also stops at the terminating zero
            return 0;
        }
        cp = (cp << 6) | (s[i] & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return n;
}

// The string quoted and escaped, followed by `suffix`.
void writeQuoted(WRKFile* file, const char* string, const char* suffix) {
    Chunk out(file);
    out.put('"');
    const auto* s = reinterpret_cast<const unsigned char*>(string);
    while (*s != 0) {
        const unsigned char c = *s;
        if (c == '"' || c == '\\') {
            out.put('\\');
            out.put(static_cast<char>(c));
            ++s;
        } else if (c < 0x20) {
            out.put("\\u00");
            out.put(kDigits[c >> 4]);
            out.put(kDigits[c & 0xF]);
            ++s;
        } else if (c < 0x80) {
            out.put(static_cast<char>(c));
            ++s;
        } else if (const std::size_t n = utf8SequenceLength(s); n > 0) {
            for (std::size_t i = 0; i < n; ++i) {
                out.put(static_cast<char>(s[i]));
            }
            s += n;
        } else {
            out.put("\\ufffd");
            ++s;
        }
    }
    out.put('"');
    out.put(suffix);
}

void writeNull(WRKFile* file) {
    writeBytes(file, "null", 4);
}

void writeCollectionStart(WRKFile* file, char opener) {
    if (file->needComma) {
        const char bytes[2] = {',', opener};
        writeBytes(file, bytes, 2);
    } else {
        writeBytes(file, &opener, 1);
    }
    ++file->collectionDepth;
    file->needComma = false;
}

void writeCollectionEnd(WRKFile* file, char closer) {
    writeBytes(file, &closer, 1);
    if (file->collectionDepth > 0) {
        --file->collectionDepth;
        file->needComma = file->collectionDepth > 0;
    }
}

void writeArraySeparator(WRKFile* file) {
    if (file->needComma) {
        writeBytes(file, ",", 1);
    }
}

}  // namespace

bool WRKFileInitWithPath(WRKFile* file, const char* path, bool buffered) {
    return WRKFileInitWithPathMode(file, path, true, buffered);
}

bool WRKFileInitWithPathMode(WRKFile* file, const char* path, bool append, bool buffered) {
    if (!isValidPointer(file) || !isValidPointer(path)) {
        return false;
    }
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    int fd = -1;
    do {
        fd = ::open(path, flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        file->fd = -1;
        return false;
    }
    std::uint64_t size = 0;
    if (append) {
        struct stat st {};
        if (::fstat(fd, &st) == 0) {
            size = static_cast<std::uint64_t>(st.st_size);
        }
    }
    file->fd = fd;
    file->collectionDepth = 0;
    file->needComma = false;
    file->bufferWrites = buffered;
    file->writeBuffer = nullptr;
    file->writeBufferLength = 0;
    file->writtenLength = size;
    if (buffered) {
        file->writeBuffer = static_cast<char*>(std::calloc(kWRKFileWriteBufferSize, 1));
        if (file->writeBuffer == nullptr) {
            file->bufferWrites = false;
        }
    }
    return true;
}

bool WRKFileClose(WRKFile* file) {
    return WRKFileCloseWithOffset(file, nullptr);
}

bool WRKFileCloseWithOffset(WRKFile* file, std::uint64_t* finalSize) {
    if (!isValidPointer(file)) {
        return false;
    }
    if (file->bufferWrites && file->writeBuffer != nullptr) {
        if (file->writeBufferLength > 0) {
            WRKFileFlushWriteBuffer(file);
        }
        std::free(file->writeBuffer);
        file->writeBuffer = nullptr;
        file->bufferWrites = false;
    }
    if (isValidPointer(finalSize)) {
        *finalSize = file->writtenLength;
    }
    // Linux closes the descriptor even when close reports EINTR: never retry it.
    if (::close(file->fd) != 0 && errno != EINTR) {
        return false;
    }
    *file = WRKFile{};
    return true;
}

void WRKFileFlushWriteBuffer(WRKFile* file) {
    if (!isValidPointer(file) || file->writeBuffer == nullptr) {
        return;
    }
    if (WRKFileWriteWithRetries(file->fd, file->writeBuffer, file->writeBufferLength)) {
        file->writtenLength += file->writeBufferLength;
    }
    file->writeBufferLength = 0;
}

bool WRKFileIsOpen(const WRKFile* file) {
    return isValidPointer(file) && file->fd >= 0;
}

void WRKFileWriteSectionStart(WRKFile* file, const char* name) {
    WRKFileWriteHashStart(file);
    WRKFileWriteHashKey(file, name);
}

void WRKFileWriteSectionEnd(WRKFile* file) {
    WRKFileWriteHashEnd(file);
    writeBytes(file, "\n", 1);
}

void WRKFileWriteHashStart(WRKFile* file) {
    writeCollectionStart(file, '{');
}

void WRKFileWriteHashEnd(WRKFile* file) {
    writeCollectionEnd(file, '}');
}

void WRKFileWriteArrayStart(WRKFile* file) {
    writeCollectionStart(file, '[');
}

void WRKFileWriteArrayEnd(WRKFile* file) {
    writeCollectionEnd(file, ']');
}

void WRKFileWriteHashKey(WRKFile* file, const char* key) {
    if (file->needComma) {
        writeBytes(file, ",", 1);
    }
    if (key == nullptr) {
        writeBytes(file, "null:", 5);
    } else {
        writeQuoted(file, key, ":");
    }
    file->needComma = false;
}

void WRKFileWriteHashEntryUint64(WRKFile* file, const char* key, std::uint64_t value) {
    WRKFileWriteHashKey(file, key);
    WRKFileWriteUInt64(file, value, false);
    file->needComma = true;
}

void WRKFileWriteHashEntryInt64(WRKFile* file, const char* key, std::int64_t value) {
    WRKFileWriteHashKey(file, key);
    WRKFileWriteInt64(file, value);
    file->needComma = true;
}

void WRKFileWriteHashEntryString(WRKFile* file, const char* key, const char* value) {
    WRKFileWriteHashKey(file, key);
    WRKFileWriteString(file, value);
    file->needComma = true;
}

void WRKFileWriteHashEntryHexEncodedString(WRKFile* file, const char* key, const char* value) {
    WRKFileWriteHashKey(file, key);
    WRKFileWriteHexEncodedString(file, value);
    file->needComma = true;
}

void WRKFileWriteHashEntryBoolean(WRKFile* file, const char* key, bool value) {
    WRKFileWriteHashKey(file, key);
    if (value) {
        writeBytes(file, "true", 4);
    } else {
        writeBytes(file, "false", 5);
    }
    file->needComma = true;
}

void WRKFileWriteArrayEntryUint64(WRKFile* file, std::uint64_t value) {
    writeArraySeparator(file);
    WRKFileWriteUInt64(file, value, false);
    file->needComma = true;
}

void WRKFileWriteArrayEntryString(WRKFile* file, const char* value) {
    writeArraySeparator(file);
    WRKFileWriteString(file, value);
    file->needComma = true;
}

void WRKFileWriteArrayEntryHexEncodedString(WRKFile* file, const char* value) {
    writeArraySeparator(file);
    WRKFileWriteHexEncodedString(file, value);
    file->needComma = true;
}

void WRKFileWriteString(WRKFile* file, const char* string) {
    if (string == nullptr) {
        writeNull(file);
        return;
    }
    writeQuoted(file, string, "");
}

void WRKFileWriteHexEncodedString(WRKFile* file, const char* string) {
    if (string == nullptr) {
        writeNull(file);
        return;
    }
    writeBytes(file, "\"", 1);
    char chunk[32];
    std::size_t fill = 0;
    for (const char* s = string; *s != '\0'; ++s) {
        WRKHexFromByte(static_cast<unsigned char>(*s), chunk + fill);
        fill += 2;
        if (fill == sizeof chunk) {
            writeBytes(file, chunk, fill);
            fill = 0;
        }
    }
    if (fill > 0) {
        writeBytes(file, chunk, fill);
    }
    writeBytes(file, "\"", 1);
}

void WRKFileWriteUInt64(WRKFile* file, std::uint64_t number, bool hex) {
    char buffer[21];
    const char* digits = formatUInt64(number, hex, buffer);
    writeBytes(file, digits, std::strlen(digits));
}

void WRKFileWriteInt64(WRKFile* file, std::int64_t number) {
    if (number < 0) {
        writeBytes(file, "-", 1);
        // The magnitude as unsigned: -INT64_MIN does not fit a signed number.
        WRKFileWriteUInt64(file, 0 - static_cast<std::uint64_t>(number), false);
    } else {
        WRKFileWriteUInt64(file, static_cast<std::uint64_t>(number), false);
    }
}

bool WRKFileWriteWithRetries(int fd, const void* buffer, std::size_t length) {
    const char* bytes = static_cast<const char*>(buffer);
    int calls = 0;
    while (length > 0) {
        if (calls >= kMaximumWriteCalls) {
            return false;
        }
        errno = 0;
        const ssize_t written = ::write(fd, bytes, length);
        if (written < 0 && errno == EINTR) {
            continue;  // interrupted before writing anything: not a failed try
        }
        ++calls;
        if (written < 1 || static_cast<std::size_t>(written) > length) {
            return false;
        }
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

void WRKFileFDWriteUInt64(int fd, std::uint64_t number, bool hex) {
    char buffer[21];
    const char* digits = formatUInt64(number, hex, buffer);
    WRKFileWriteWithRetries(fd, digits, std::strlen(digits));
}

void WRKFileFDWriteInt64(int fd, std::int64_t number) {
    if (number < 0) {
        WRKFileWriteWithRetries(fd, "-", 1);
        WRKFileFDWriteUInt64(fd, 0 - static_cast<std::uint64_t>(number), false);
    } else {
        WRKFileFDWriteUInt64(fd, static_cast<std::uint64_t>(number), false);
    }
}

std::optional<std::vector<JSONValue>> WRKFileReadSections(const std::string& path,
                                                          bool deleteIfUnreadable,
                                                          const WRKSectionTransform& transform) {
    if (path.empty()) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    if (!in || std::filesystem::is_directory(path, ec)) {
        if (deleteIfUnreadable) {
            std::filesystem::remove_all(path, ec);
        }
        return std::nullopt;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return WRKFileParseSections(text, transform);
}

std::vector<JSONValue> WRKFileParseSections(std::string_view text,
                                            const WRKSectionTransform& transform) {
    std::vector<JSONValue> sections;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = text.substr(start, end - start);
        if (!line.empty()) {
            if (auto value = parseJSON(line); value && value->object() != nullptr) {
                if (transform) {
                    value = transform(std::move(*value));
                }
                if (value) {
                    sections.push_back(std::move(*value));
                }
            }
        }
        start = end + 1;
    }
    return sections;
}

std::string WRKFileHexEncodeString(const char* string) {
    std::string out;
    if (string == nullptr) {
        return out;
    }
    for (const char* s = string; *s != '\0'; ++s) {
        char pair[2];
        WRKHexFromByte(static_cast<unsigned char>(*s), pair);
        out.append(pair, 2);
    }
    return out;
}

std::string WRKFileHexDecodeString(const char* string) {
    std::string out;
    if (string == nullptr) {
        return out;
    }
    const std::size_t length = std::strlen(string);
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        const std::uint8_t high = WRKNybbleFromChar(string[i]);
        const std::uint8_t low = WRKNybbleFromChar(string[i + 1]);
        if (high == 255 || low == 255) {
            break;
        }
        out += static_cast<char>((high << 4) | low);
    }
    return out;
}

void WRKHexFromByte(unsigned char byte, char output[2]) {
    output[0] = kDigits[byte >> 4];
    output[1] = kDigits[byte & 0xF];
}

std::uint8_t WRKNybbleFromChar(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<std::uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<std::uint8_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<std::uint8_t>(c - 'A' + 10);
    return 255;
}

void WRKSafeHexToString(const std::uint8_t* bytes, std::size_t length, char* output) {
    if (bytes == nullptr || length == 0 || output == nullptr) {
        return;
    }
    std::memset(output, 0, 2 * length + 1);
    for (std::size_t i = 0; i < length; ++i) {
        WRKHexFromByte(bytes[i], output + 2 * i);
    }
}

}  // namespace talvor::crash
