// The crash record reader on arbitrary bytes never crashes; and the writer turns any bytes
// into a line that a strict JSON reader accepts: the plain string comes back unchanged when
// it was well-formed UTF-8, the hex-encoded one always.
#include "crash/WRKFile.h"
#include "crash/WRKJSON.h"
#include "kit/KitLog.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace crash = talvor::crash;

namespace {

bool wellFormedUTF8(const std::string& text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size;) {
        const unsigned char lead = s[i];
        std::size_t n = 1;
        std::uint32_t cp = lead;
        std::uint32_t min = 0;
        if (lead >= 0x80) {
            if (lead >= 0xC2 && lead <= 0xDF) {
                n = 2, cp = lead & 0x1Fu, min = 0x80;
            } else if (lead >= 0xE0 && lead <= 0xEF) {
                n = 3, cp = lead & 0x0Fu, min = 0x800;
            } else if (lead >= 0xF0 && lead <= 0xF4) {
                n = 4, cp = lead & 0x07u, min = 0x10000;
            } else {
                return false;
            }
            if (i + n > size) {
                return false;
            }
            for (std::size_t k = 1; k < n; ++k) {
                if ((s[i + k] & 0xC0) != 0x80) {
                    return false;
                }
                cp = (cp << 6) | (s[i + k] & 0x3Fu);
            }
            if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
                return false;
            }
        }
        i += n;
    }
    return true;
}

std::string writtenLine(const std::string& text) {
    const int fd = ::memfd_create("record", 0);
    if (fd < 0) {
        std::abort();
    }
    crash::WRKFile file;
    file.fd = fd;
    // Two sections, so the text used as a key never meets the hex entry's key: a repeated key
    // is read as its last value, which would hide the first.
    crash::WRKFileWriteSectionStart(&file, "s");
    crash::WRKFileWriteHashStart(&file);
    crash::WRKFileWriteHashEntryString(&file, text.c_str(), text.c_str());
    crash::WRKFileWriteHashEnd(&file);
    crash::WRKFileWriteSectionEnd(&file);
    crash::WRKFileWriteSectionStart(&file, "h");
    crash::WRKFileWriteHashStart(&file);
    crash::WRKFileWriteHashEntryHexEncodedString(&file, "hex", text.c_str());
    crash::WRKFileWriteHashEnd(&file);
    crash::WRKFileWriteSectionEnd(&file);
    std::string bytes(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
    if (::pread(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
        std::abort();
    }
    ::close(fd);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        talvor::kit::setLogSink([](std::string_view) {});
        return true;
    }();
    (void)quiet;
    const std::string input(reinterpret_cast<const char*>(data), size);
    (void)crash::WRKFileParseSections(input);

    const std::string text = input.substr(0, input.find('\0'));
    const std::string written = writtenLine(text);
    if (written.empty() || written.back() != '\n') {
        std::abort();
    }
    const auto sections = crash::WRKFileParseSections(written);
    if (sections.size() != 2) {
        std::abort();
    }
    const crash::JSONValue* plain = sections[0].find("s");
    const crash::JSONValue* hex = sections[1].find("h");
    const crash::JSONValue::Object* members = plain ? plain->object() : nullptr;
    const crash::JSONValue::Object* hexMembers = hex ? hex->object() : nullptr;
    if (members == nullptr || members->size() != 1 || !members->at(0).value.string() ||
        hexMembers == nullptr || hexMembers->size() != 1 || !hexMembers->at(0).value.string()) {
        std::abort();
    }
    if (crash::WRKFileHexDecodeString(hexMembers->at(0).value.string()->c_str()) != text) {
        std::abort();
    }
    // Well-formed UTF-8 comes back as it was, key and value.
    if (wellFormedUTF8(text) &&
        (*members->at(0).value.string() != text || members->at(0).key != text)) {
        std::abort();
    }
    return 0;
}
