#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crash/WRKJSON.h"

// The crash record files: text files of one JSON object per line, {"section":value}\n.
// The writer runs inside a signal handler after a crash: unbuffered it uses only the stack
// and the write system call (no allocation, no lock, no formatted output), and numbers, hex
// and strings are formatted by hand. Buffered (logs, key-value files) it gathers 1000-byte
// blocks from the heap.
//
// Plain strings are escaped ('"', '\\' and control characters; malformed UTF-8 becomes
// U+FFFD), so a path, a thread name or a symbol never breaks its line. Texts supplied by a
// user or an error are hex-encoded by their writers.
namespace talvor::crash {

struct WRKFile {
    int fd = -1;
    std::int32_t collectionDepth = 0;
    bool needComma = false;  // a value was just completed
    bool bufferWrites = false;
    char* writeBuffer = nullptr;  // 1000 bytes, only when buffered
    std::uint64_t writeBufferLength = 0;
    std::uint64_t writtenLength = 0;  // the file's size at opening plus every byte written
};

inline constexpr std::size_t kWRKFileWriteBufferSize = 1000;

// Append mode: write-only, created (0644), continued at its current size.
bool WRKFileInitWithPath(WRKFile* file, const char* path, bool buffered);
// Not append: truncated, offset 0.
bool WRKFileInitWithPathMode(WRKFile* file, const char* path, bool append, bool buffered);
bool WRKFileClose(WRKFile* file);
// Flushes, frees the buffer, hands out the final offset and closes; on success the record
// is cleared and its descriptor is -1.
bool WRKFileCloseWithOffset(WRKFile* file, std::uint64_t* finalSize);
void WRKFileFlushWriteBuffer(WRKFile* file);
bool WRKFileIsOpen(const WRKFile* file);

void WRKFileWriteSectionStart(WRKFile* file, const char* name);
void WRKFileWriteSectionEnd(WRKFile* file);
void WRKFileWriteHashStart(WRKFile* file);
void WRKFileWriteHashEnd(WRKFile* file);
void WRKFileWriteArrayStart(WRKFile* file);
void WRKFileWriteArrayEnd(WRKFile* file);
void WRKFileWriteHashKey(WRKFile* file, const char* key);

void WRKFileWriteHashEntryUint64(WRKFile* file, const char* key, std::uint64_t value);
void WRKFileWriteHashEntryInt64(WRKFile* file, const char* key, std::int64_t value);
void WRKFileWriteHashEntryString(WRKFile* file, const char* key, const char* value);
void WRKFileWriteHashEntryHexEncodedString(WRKFile* file, const char* key, const char* value);
void WRKFileWriteHashEntryBoolean(WRKFile* file, const char* key, bool value);
void WRKFileWriteArrayEntryUint64(WRKFile* file, std::uint64_t value);
void WRKFileWriteArrayEntryString(WRKFile* file, const char* value);
void WRKFileWriteArrayEntryHexEncodedString(WRKFile* file, const char* value);

// The value alone (null for a null pointer).
void WRKFileWriteString(WRKFile* file, const char* string);
void WRKFileWriteHexEncodedString(WRKFile* file, const char* string);
// `hex`: lower-case hexadecimal without prefix (for diagnostic lines only).
void WRKFileWriteUInt64(WRKFile* file, std::uint64_t number, bool hex);
void WRKFileWriteInt64(WRKFile* file, std::int64_t number);

// The same writes straight to a bare descriptor. Retries partial writes (at most 50 calls)
// and EINTR (not counted).
bool WRKFileWriteWithRetries(int fd, const void* buffer, std::size_t length);
void WRKFileFDWriteUInt64(int fd, std::uint64_t number, bool hex);
void WRKFileFDWriteInt64(int fd, std::int64_t number);

// Reading back: the parsed line objects in file order, skipping lines that are empty or not
// valid JSON; nullopt when the file cannot be read (then removed when asked). A transform
// may replace each object or drop it (nullopt).
using WRKSectionTransform = std::function<std::optional<JSONValue>(JSONValue)>;
std::optional<std::vector<JSONValue>> WRKFileReadSections(
    const std::string& path, bool deleteIfUnreadable, const WRKSectionTransform& transform = {});
// The same for a file's text.
std::vector<JSONValue> WRKFileParseSections(std::string_view text,
                                            const WRKSectionTransform& transform = {});

// Hex helpers.
std::string WRKFileHexEncodeString(const char* string);
// Decodes pairs from the start and stops at the first pair with a bad digit.
std::string WRKFileHexDecodeString(const char* string);
void WRKHexFromByte(unsigned char byte, char output[2]);
// 0-15 for a hex digit (either case); 255 otherwise.
std::uint8_t WRKNybbleFromChar(char c);
// Clears 2 * length + 1 bytes of `output`, then writes two digits per byte.
void WRKSafeHexToString(const std::uint8_t* bytes, std::size_t length, char* output);

}  // namespace talvor::crash
