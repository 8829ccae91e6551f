#include "crash/WRKMachO.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "crash/WRKBinaryImage.h"
#include "kit/Digest.h"
#include "kit/PropertyList.h"

namespace talvor::crash {
namespace {

constexpr std::uint32_t kFatMagic = 0xCAFEBABE;
constexpr std::uint32_t kFatCigam = 0xBEBAFECA;
constexpr std::uint32_t kMagic32 = 0xFEEDFACE;
constexpr std::uint32_t kCigam32 = 0xCEFAEDFE;
constexpr std::uint32_t kMagic64 = 0xFEEDFACF;
constexpr std::uint32_t kCigam64 = 0xCFFAEDFE;
constexpr std::int32_t kCPUArch64 = 0x01000000;
constexpr std::int32_t kCPUTypeX86 = 7;
constexpr std::int32_t kCPUTypeARM = 12;

std::uint32_t load32(const std::uint8_t* at) {
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

std::uint64_t load64(const std::uint8_t* at) {
    std::uint64_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

std::uint32_t loadBig32(const std::uint8_t* at) {
    return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) |
           (std::uint32_t{at[2]} << 8) | at[3];
}

std::uint32_t byteSwapped(std::uint32_t v) {
    return __builtin_bswap32(v);
}

// Whether `length` bytes at `offset` lie inside `size`, without overflowing.
bool inside(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

bool nameIs(const std::uint8_t* field, std::string_view name) {
    // 16 bytes, zero-padded unless the name fills them.
    const std::size_t length = ::strnlen(reinterpret_cast<const char*>(field), 16);
    return std::string_view(reinterpret_cast<const char*>(field), length) == name;
}

struct ArchName {
    std::int32_t cputype;
    std::int32_t cpusubtype;  // -1: any
    const char* name;
};

constexpr ArchName kArchNames[] = {
    {kCPUTypeX86 | kCPUArch64, 8, "x86_64h"},
    {kCPUTypeX86 | kCPUArch64, -1, "x86_64"},
    {kCPUTypeX86, -1, "i386"},
    {kCPUTypeARM | kCPUArch64, 2, "arm64e"},
    {kCPUTypeARM | kCPUArch64, -1, "arm64"},
    {kCPUTypeARM | 0x02000000, -1, "arm64_32"},
    {kCPUTypeARM, 6, "armv6"},
    {kCPUTypeARM, 9, "armv7"},
    {kCPUTypeARM, 11, "armv7s"},
    {kCPUTypeARM, 12, "armv7k"},
    {kCPUTypeARM, 13, "armv8"},
    {kCPUTypeARM, 14, "armv6m"},
    {kCPUTypeARM, 15, "armv7m"},
    {kCPUTypeARM, 16, "armv7em"},
    {kCPUTypeARM, -1, "arm"},
    {18, -1, "ppc"},
    {18 | kCPUArch64, -1, "ppc64"},
};

}  // namespace

bool WRKMachOFileInitWithPath(WRKMachOFile* file, const char* path) {
    if (file == nullptr || path == nullptr) {
        return false;
    }
    *file = WRKMachOFile{};
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 16) {
        ::close(fd);
        return false;
    }
    void* mapping =
        ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_SHARED, fd, 0);
    if (mapping == MAP_FAILED) {
        ::close(fd);
        return false;
    }
    file->fd = fd;
    file->mappedSize = static_cast<std::uint64_t>(info.st_size);
    file->mappedFile = static_cast<const std::uint8_t*>(mapping);
    return true;
}

bool WRKMachOFileInitWithCurrent(WRKMachOFile* file) {
    return WRKMachOFileInitWithPath(file, "/proc/self/exe");
}

void WRKMachOFileDestroy(WRKMachOFile* file) {
    if (file == nullptr) {
        return;
    }
    if (file->mappedFile != nullptr && file->mappedSize != 0) {
        ::munmap(const_cast<std::uint8_t*>(file->mappedFile),
                 static_cast<std::size_t>(file->mappedSize));
    }
    if (file->fd >= 0) {
        ::close(file->fd);
    }
    *file = WRKMachOFile{};
}

bool WRKMachOEnumerateSlicesAtAddress(const std::uint8_t* address, std::uint64_t size,
                                      const WRKMachOSliceCallback& block) {
    if (address == nullptr || size < 4 || !block) {
        return false;
    }
    const std::uint32_t magic = load32(address);
    if (magic == kFatMagic || magic == kFatCigam) {
        if (size < 8) {
            return false;
        }
        const std::uint32_t count = loadBig32(address + 4);
        if (!inside(8, std::uint64_t{count} * 20, size)) {
            return false;
        }
        // All entries are checked first, so that a damaged file gives no slice at all.
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* entry = address + 8 + std::uint64_t{i} * 20;
            if (!inside(loadBig32(entry + 8), loadBig32(entry + 12), size)) {
                return false;
            }
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* entry = address + 8 + std::uint64_t{i} * 20;
            WRKMachOSlice slice;
            slice.cputype = static_cast<std::int32_t>(loadBig32(entry));
            slice.cpusubtype = static_cast<std::int32_t>(loadBig32(entry + 4));
            slice.startAddress = address + loadBig32(entry + 8);
            slice.size = loadBig32(entry + 12);
            block(slice);
        }
        return true;
    }
    WRKMachOSlice slice;
    slice.startAddress = address;
    slice.size = size;
    if ((magic == kMagic32 || magic == kMagic64) && size >= 12) {
        slice.cputype = static_cast<std::int32_t>(load32(address + 4));
        slice.cpusubtype = static_cast<std::int32_t>(load32(address + 8));
    } else if ((magic == kCigam32 || magic == kCigam64) && size >= 12) {
        slice.cputype = static_cast<std::int32_t>(byteSwapped(load32(address + 4)));
        slice.cpusubtype = static_cast<std::int32_t>(byteSwapped(load32(address + 8)));
    }
    block(slice);
    return true;
}

bool WRKMachOFileEnumerateSlices(const WRKMachOFile& file, const WRKMachOSliceCallback& block) {
    return WRKMachOEnumerateSlicesAtAddress(file.mappedFile, file.mappedSize, block);
}

std::optional<WRKMachOSlice> WRKMachOFileSliceWithArchitectureName(const WRKMachOFile& file,
                                                                   std::string_view name) {
    std::optional<WRKMachOSlice> found;
    WRKMachOFileEnumerateSlices(file, [&](const WRKMachOSlice& slice) {
        if (!found && name == WRKMachOSliceGetArchitectureName(slice)) {
            found = slice;
        }
    });
    return found;
}

WRKMachOSlice WRKMachOSliceWithHeader(const std::uint8_t* header, std::uint64_t size) {
    WRKMachOSlice slice;
    WRKMachOEnumerateSlicesAtAddress(header, size, [&](const WRKMachOSlice& s) { slice = s; });
    slice.startAddress = header;
    slice.size = header != nullptr ? size : 0;
    return slice;
}

WRKMachOSlice WRKMachOSliceGetCurrent() {
    WRKMachOSlice slice;
#if defined(__x86_64__)
    slice.cputype = kCPUTypeX86 | kCPUArch64;
    slice.cpusubtype = 3;  // x86_64 "all"
#elif defined(__aarch64__)
    slice.cputype = kCPUTypeARM | kCPUArch64;
    slice.cpusubtype = 0;  // arm64 "all"
#elif defined(__i386__)
    slice.cputype = kCPUTypeX86;
    slice.cpusubtype = 3;  // i386 "all"
#elif defined(__arm__)
    slice.cputype = kCPUTypeARM;
    slice.cpusubtype = 9;  // armv7
#endif
    if (const std::optional<WRKBinaryImageDetails> main = WRKBinaryImageMainExecutable()) {
        // An ELF header: `size` stays 0, so no Mach-O reader reads from it.
        slice.startAddress =
            reinterpret_cast<const std::uint8_t*>(  // NOLINT(performance-no-int-to-ptr)
                main->range.loadAddress);
    }
    return slice;
}

std::optional<std::string> WRKMachOSliceGetExecutablePath(const WRKMachOSlice* slice) {
    if (slice == nullptr || slice->startAddress == nullptr) {
        return std::nullopt;
    }
    const std::optional<WRKBinaryImageDetails> image = WRKBinaryImageFindImageForLoadAddress(
        reinterpret_cast<std::uintptr_t>(slice->startAddress));
    if (!image || image->path.empty()) {
        return std::nullopt;
    }
    return image->path;
}

bool WRKMachOSliceIs64Bit(const WRKMachOSlice& slice) {
    return (slice.cputype & kCPUArch64) != 0;
}

const char* WRKMachOArchitectureName(std::int32_t cputype, std::int32_t cpusubtype) {
    const std::int32_t subtype = cpusubtype & 0x00FFFFFF;
    for (const ArchName& arch : kArchNames) {
        if (arch.cputype == cputype && (arch.cpusubtype < 0 || arch.cpusubtype == subtype)) {
            return arch.name;
        }
    }
    return "unknown";
}

const char* WRKMachOSliceGetArchitectureName(const WRKMachOSlice& slice) {
    return WRKMachOArchitectureName(slice.cputype, slice.cpusubtype);
}

bool WRKMachOSliceEnumerateLoadCommands(WRKMachOSlice* slice,
                                        const WRKMachOLoadCommandCallback& block) {
    if (slice == nullptr || !block || slice->startAddress == nullptr || slice->size < 4) {
        return false;
    }
    const std::uint8_t* header = slice->startAddress;
    const std::uint32_t magic = load32(header);
    std::uint64_t headerSize = 0;
    if (magic == kMagic32 || magic == kCigam32) {
        headerSize = 28;
    } else if (magic == kMagic64 || magic == kCigam64) {
        headerSize = 32;
    } else {
        return false;
    }
    if (slice->size < headerSize) {
        return false;
    }
    const bool swapped = magic == kCigam32 || magic == kCigam64;
    auto word = [swapped](const std::uint8_t* at) {
        return swapped ? byteSwapped(load32(at)) : load32(at);
    };
    slice->cputype = static_cast<std::int32_t>(word(header + 4));
    slice->cpusubtype = static_cast<std::int32_t>(word(header + 8));
    const std::uint32_t count = word(header + 16);
    const std::uint64_t area = std::min<std::uint64_t>(headerSize + word(header + 20), slice->size);
    std::uint64_t offset = headerSize;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!inside(offset, 8, area)) {
            return false;
        }
        WRKMachOLoadCommand command;
        command.command = word(header + offset);
        command.size = word(header + offset + 4);
        command.at = header + offset;
        if (command.size < 8 || !inside(offset, command.size, area)) {
            return false;
        }
        block(command);
        offset += command.size;
    }
    return true;
}

std::optional<WRKMachOSection> WRKMachOSliceInitSectionByName(const WRKMachOSlice& slice,
                                                              std::string_view segment,
                                                              std::string_view section) {
    std::optional<WRKMachOSection> found;
    WRKMachOSlice walked = slice;
    WRKMachOSliceEnumerateLoadCommands(&walked, [&](const WRKMachOLoadCommand& command) {
        const bool is64 = command.command == kWRKLoadCommandSegment64;
        if (found || (!is64 && command.command != kWRKLoadCommandSegment)) {
            return;
        }
        const std::uint64_t headerSize = is64 ? 72 : 56;
        const std::uint64_t sectionSize = is64 ? 80 : 68;
        // An object file's one segment has no name; its sections carry theirs.
        if (command.size < headerSize ||
            !(nameIs(command.at + 8, segment) || nameIs(command.at + 8, ""))) {
            return;
        }
        const std::uint32_t count = load32(command.at + (is64 ? 64 : 48));
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t at = headerSize + std::uint64_t{i} * sectionSize;
            if (!inside(at, sectionSize, command.size)) {
                return;
            }
            const std::uint8_t* record = command.at + at;
            if (!nameIs(record, section) || !nameIs(record + 16, segment)) {
                continue;
            }
            WRKMachOSection result;
            if (is64) {
                result.address = load64(record + 32);
                result.size = load64(record + 40);
                result.offset = load32(record + 48);
            } else {
                result.address = load32(record + 32);
                result.size = load32(record + 36);
                result.offset = load32(record + 40);
            }
            found = result;
            return;
        }
    });
    return found;
}

const std::uint8_t* WRKMachOSliceGetSectionByName(const WRKMachOSlice& slice,
                                                  std::string_view segment,
                                                  std::string_view section) {
    const auto found = WRKMachOSliceInitSectionByName(slice, segment, section);
    if (!found || !inside(found->offset, found->size, slice.size)) {
        return nullptr;
    }
    return slice.startAddress + found->offset;
}

bool WRKMachOSliceGetUnwindInformation(const WRKMachOSlice& slice, const std::uint8_t** dwarf,
                                       const std::uint8_t** unwindInfo) {
    if (dwarf == nullptr && unwindInfo == nullptr) {
        return false;
    }
    const std::uint8_t* ehFrame = WRKMachOSliceGetSectionByName(slice, "__TEXT", "__eh_frame");
    const std::uint8_t* compact = WRKMachOSliceGetSectionByName(slice, "__TEXT", "__unwind_info");
    if (dwarf != nullptr) {
        *dwarf = ehFrame;
    }
    if (unwindInfo != nullptr) {
        *unwindInfo = compact;
    }
    return ehFrame != nullptr || compact != nullptr;
}

std::optional<std::array<std::uint8_t, 16>> WRKMachOGetUUID(const WRKMachOLoadCommand& command) {
    if (command.command != kWRKLoadCommandUUID || command.size < 24) {
        return std::nullopt;
    }
    std::array<std::uint8_t, 16> uuid;
    std::memcpy(uuid.data(), command.at + 8, uuid.size());
    return uuid;
}

std::optional<std::string> WRKMachOGetDylibPath(const WRKMachOLoadCommand& command) {
    if (command.size < 12) {
        return std::nullopt;
    }
    const std::uint32_t offset = load32(command.at + 8);
    if (offset < 12 || offset >= command.size) {
        return std::nullopt;
    }
    const char* name = reinterpret_cast<const char*>(command.at + offset);
    return std::string(name, ::strnlen(name, command.size - offset));
}

bool WRKMachOGetEncrypted(const WRKMachOLoadCommand& command) {
    if ((command.command != kWRKLoadCommandEncryptionInfo &&
         command.command != kWRKLoadCommandEncryptionInfo64) ||
        command.size < 20) {
        return false;
    }
    return load32(command.at + 16) != 0;
}

namespace {

std::optional<WRKMachOVersion> versionField(const WRKMachOLoadCommand& command, bool sdk) {
    switch (command.command) {
        case kWRKLoadCommandVersionMinMacOS:
        case kWRKLoadCommandVersionMinIPhoneOS:
        case kWRKLoadCommandVersionMinTVOS:
        case kWRKLoadCommandVersionMinWatchOS:
            if (command.size < 16) {
                return std::nullopt;
            }
            return WRKMachOUnpackVersion(load32(command.at + (sdk ? 12 : 8)));
        case kWRKLoadCommandBuildVersion:
            // platform, minos, sdk
            if (command.size < 24) {
                return std::nullopt;
            }
            return WRKMachOUnpackVersion(load32(command.at + (sdk ? 16 : 12)));
        default:
            return std::nullopt;
    }
}

}  // namespace

std::optional<WRKMachOVersion> WRKMachOGetMinimumOSVersion(const WRKMachOLoadCommand& command) {
    return versionField(command, false);
}

std::optional<WRKMachOVersion> WRKMachOGetLinkedSDKVersion(const WRKMachOLoadCommand& command) {
    return versionField(command, true);
}

WRKMachOSegment WRKMachOGetSegmentCommand(const WRKMachOLoadCommand& command) {
    WRKMachOSegment segment;
    if (command.command == kWRKLoadCommandSegment64 && command.size >= 72) {
        std::memcpy(segment.name, command.at + 8, 16);
        segment.address = load64(command.at + 24);
        segment.size = load64(command.at + 32);
    } else if (command.command == kWRKLoadCommandSegment && command.size >= 56) {
        std::memcpy(segment.name, command.at + 8, 16);
        segment.address = load32(command.at + 24);
        segment.size = load32(command.at + 28);
    }
    return segment;
}

WRKMachOVersion WRKMachOUnpackVersion(std::uint32_t packed) {
    return {packed >> 16, (packed >> 8) & 0xFF, packed & 0xFF};
}

std::string WRKMachONormalizeUUID(const std::array<std::uint8_t, 16>& uuid) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : uuid) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

std::optional<std::string> WRKMachOFormatVersion(const std::optional<WRKMachOVersion>& version) {
    if (!version) {
        return std::nullopt;
    }
    return std::to_string(version->major) + "." + std::to_string(version->minor) + "." +
           std::to_string(version->bugfix);
}

std::string WRKHashNSString(std::string_view text) {
    const auto digest = kit::sha1Digest(text.data(), text.size());
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return hex;
}

WRKMachOSliceObject::WRKMachOSliceObject(const WRKMachOSlice& slice) : slice_(slice) {
    complete_ = WRKMachOSliceEnumerateLoadCommands(&slice_, [this](const WRKMachOLoadCommand& c) {
        switch (c.command) {
            case kWRKLoadCommandVersionMinMacOS:
            case kWRKLoadCommandVersionMinIPhoneOS:
            case kWRKLoadCommandVersionMinTVOS:
            case kWRKLoadCommandVersionMinWatchOS:
            case kWRKLoadCommandBuildVersion:
                // Files for recent systems carry the build version instead of a version-min.
                minimumOSVersion_ = WRKMachOGetMinimumOSVersion(c);
                linkedSDKVersion_ = WRKMachOGetLinkedSDKVersion(c);
                break;
            case kWRKLoadCommandLoadDylib:
                if (auto path = WRKMachOGetDylibPath(c)) {
                    linkedDylibs_.push_back(std::move(*path));
                }
                break;
            case kWRKLoadCommandUUID:
                if (auto uuid = WRKMachOGetUUID(c)) {
                    uuidString_ = WRKMachONormalizeUUID(*uuid);
                }
                break;
            case kWRKLoadCommandEncryptionInfo:
            case kWRKLoadCommandEncryptionInfo64:
                encrypted_ = encrypted_ || WRKMachOGetEncrypted(c);
                break;
            default:
                break;
        }
    });
}

std::unique_ptr<WRKMachOBinary> WRKMachOBinary::MachOBinaryWithPath(const std::string& path) {
    std::unique_ptr<WRKMachOBinary> binary(new WRKMachOBinary());
    if (!WRKMachOFileInitWithPath(&binary->file_, path.c_str())) {
        return nullptr;
    }
    binary->path_ = path;
    if (!WRKMachOFileEnumerateSlices(binary->file_, [&](const WRKMachOSlice& slice) {
            binary->slices_.emplace_back(slice);
        })) {
        return nullptr;
    }
    return binary;
}

WRKMachOBinary::~WRKMachOBinary() {
    WRKMachOFileDestroy(&file_);
}

const std::string& WRKMachOBinary::instanceIdentifier() const {
    if (!instanceIdentifier_) {
        std::vector<const WRKMachOSliceObject*> sorted;
        for (const auto& slice : slices_) {
            sorted.push_back(&slice);
        }
        std::stable_sort(sorted.begin(), sorted.end(), [](const auto* a, const auto* b) {
            return a->architectureName() < b->architectureName();
        });
        std::string joined;
        for (const auto* slice : sorted) {
            joined += slice->uuid();
        }
        instanceIdentifier_ = WRKHashNSString(joined);
    }
    return *instanceIdentifier_;
}

void WRKMachOBinary::enumerateUUIDs(
    const std::function<void(const std::string&, const std::string&)>& block) const {
    for (const auto& slice : slices_) {
        block(slice.uuid(), slice.architectureName());
    }
}

const WRKMachOSliceObject* WRKMachOBinary::sliceForArchitecture(std::string_view name) const {
    for (const auto& slice : slices_) {
        if (slice.architectureName() == name) {
            return &slice;
        }
    }
    return nullptr;
}

std::unique_ptr<CLSdSYM> CLSdSYM::dSYMWithPath(const std::string& bundlePath) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path dwarf = fs::path(bundlePath) / "Contents" / "Resources" / "DWARF";
    if (!fs::is_directory(dwarf, error)) {
        return nullptr;
    }
    // The first entry by name: a directory's own order is not stable.
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(dwarf, error), end; !error && it != end; it.increment(error)) {
        entries.push_back(it->path());
    }
    if (error || entries.empty()) {
        return nullptr;
    }
    std::sort(entries.begin(), entries.end());
    std::unique_ptr<CLSdSYM> dsym(new CLSdSYM());
    dsym->binary_ = WRKMachOBinary::MachOBinaryWithPath(entries.front().string());
    if (!dsym->binary_) {
        return nullptr;
    }
    std::ifstream plist(fs::path(bundlePath) / "Contents" / "Info.plist", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(plist)),
                            std::istreambuf_iterator<char>());
    if (const auto value = kit::PropertyList::parse(bytes)) {
        if (const auto* dictionary = value->dictionary()) {
            auto text = [dictionary](const char* key) {
                const kit::PlistValue* entry = kit::find(*dictionary, key);
                return entry != nullptr && entry->string() != nullptr ? *entry->string()
                                                                      : std::string();
            };
            dsym->identifier_ = text("CFBundleIdentifier");
            dsym->version_ = text("CFBundleVersion");
            dsym->shortVersion_ = text("CFBundleShortVersionString");
        }
    }
    return dsym;
}

std::string CLSdSYM::bundleIdentifier() const {
    static constexpr std::string_view kPrefix = "com.apple.xcode.dsym.";
    if (identifier_.rfind(kPrefix, 0) == 0) {
        return identifier_.substr(kPrefix.size());
    }
    return identifier_;
}

}  // namespace talvor::crash
