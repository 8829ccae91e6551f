#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A small reader of Mach-O files: universal ("fat") files and their slices, a slice's load
// commands, sections, UUID and version commands. The program's own images are ELF, so this
// reads files (mapped read-only), such as a dSYM bundle's or a fixture's. Every read is
// bounded by the mapping: a truncated or damaged file makes a reader fail, never read past
// the end or loop.
namespace talvor::crash {

struct WRKMachOFile {
    int fd = -1;
    std::uint64_t mappedSize = 0;
    const std::uint8_t* mappedFile = nullptr;
};

struct WRKMachOSlice {
    const std::uint8_t* startAddress = nullptr;  // the slice's Mach-O header
    std::int32_t cputype = 0;
    std::int32_t cpusubtype = 0;
    std::uint64_t size = 0;  // the bytes readable from `startAddress`
};

struct WRKMachOVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t bugfix = 0;
    friend bool operator==(const WRKMachOVersion&, const WRKMachOVersion&) = default;
};

struct WRKMachOSection {
    std::uint64_t address = 0;  // unslid, from the header
    std::uint64_t size = 0;
    std::uint32_t offset = 0;  // in the slice
};

struct WRKMachOSegment {
    char name[17] = {};
    std::uint64_t address = 0;
    std::uint64_t size = 0;
};

inline constexpr std::uint32_t kWRKLoadCommandSegment = 0x1;
inline constexpr std::uint32_t kWRKLoadCommandLoadDylib = 0xC;
inline constexpr std::uint32_t kWRKLoadCommandSegment64 = 0x19;
inline constexpr std::uint32_t kWRKLoadCommandUUID = 0x1B;
inline constexpr std::uint32_t kWRKLoadCommandEncryptionInfo = 0x21;
inline constexpr std::uint32_t kWRKLoadCommandVersionMinMacOS = 0x24;
inline constexpr std::uint32_t kWRKLoadCommandVersionMinIPhoneOS = 0x25;
inline constexpr std::uint32_t kWRKLoadCommandEncryptionInfo64 = 0x2C;
inline constexpr std::uint32_t kWRKLoadCommandVersionMinTVOS = 0x2F;
inline constexpr std::uint32_t kWRKLoadCommandVersionMinWatchOS = 0x30;
inline constexpr std::uint32_t kWRKLoadCommandBuildVersion = 0x32;

// A load command as the walk hands it out: its bytes are `size` long (at least 8).
struct WRKMachOLoadCommand {
    std::uint32_t command = 0;
    std::uint32_t size = 0;
    const std::uint8_t* at = nullptr;
};

// Opens a regular file of at least 16 bytes and maps it; on failure nothing stays open.
bool WRKMachOFileInitWithPath(WRKMachOFile* file, const char* path);
bool WRKMachOFileInitWithCurrent(WRKMachOFile* file);
void WRKMachOFileDestroy(WRKMachOFile* file);

using WRKMachOSliceCallback = std::function<void(const WRKMachOSlice&)>;
// A fat file's slices in the order of its header, or the one thin slice. False, and no
// slice, when the fat header or an entry lies outside the `size` bytes.
bool WRKMachOEnumerateSlicesAtAddress(const std::uint8_t* address, std::uint64_t size,
                                      const WRKMachOSliceCallback& block);
bool WRKMachOFileEnumerateSlices(const WRKMachOFile& file, const WRKMachOSliceCallback& block);
// The first slice with that architecture name.
std::optional<WRKMachOSlice> WRKMachOFileSliceWithArchitectureName(const WRKMachOFile& file,
                                                                   std::string_view name);
WRKMachOSlice WRKMachOSliceWithHeader(const std::uint8_t* header, std::uint64_t size);
// The running program as a slice. Its image is ELF, so the slice has no Mach-O bytes to read
// (`size` 0: load commands and sections are never found in it): `startAddress` is the
// running executable's own header as the loader gives it (null without a loaded main
// program), and the CPU type and subtype are those this program runs as, in Mach-O numbers
// (x86_64, arm64, i386, armv7; 0 and 0, "unknown", on any other).
WRKMachOSlice WRKMachOSliceGetCurrent();
// The file the loader loaded at the slice's header: the running executable (its path as
// /proc/self/exe names it) for the current slice, a library for a slice at that library's
// header. None for a missing slice or header, and for an address the loader loaded no image
// at, such as the slices of a file this reader mapped.
std::optional<std::string> WRKMachOSliceGetExecutablePath(const WRKMachOSlice* slice);

bool WRKMachOSliceIs64Bit(const WRKMachOSlice& slice);
// "x86_64", "arm64", "armv7s", ...; "unknown" for a CPU it does not know. The capability
// bits of the subtype (the top byte) are ignored.
const char* WRKMachOSliceGetArchitectureName(const WRKMachOSlice& slice);
const char* WRKMachOArchitectureName(std::int32_t cputype, std::int32_t cpusubtype);

using WRKMachOLoadCommandCallback = std::function<void(const WRKMachOLoadCommand&)>;
// Calls the block for each load command, after copying the header's CPU into the slice.
// False for a missing or unknown header, or when a command is shorter than 8 bytes or runs
// past the commands' area or the slice (the commands before it have been handed out).
bool WRKMachOSliceEnumerateLoadCommands(WRKMachOSlice* slice,
                                        const WRKMachOLoadCommandCallback& block);
std::optional<WRKMachOSection> WRKMachOSliceInitSectionByName(const WRKMachOSlice& slice,
                                                              std::string_view segment,
                                                              std::string_view section);
// Where the section's bytes are: the header plus its file offset; none when they do not
// lie inside the slice.
const std::uint8_t* WRKMachOSliceGetSectionByName(const WRKMachOSlice& slice,
                                                  std::string_view segment,
                                                  std::string_view section);
// The call-frame table (__TEXT,__eh_frame) and the compact unwind table
// (__TEXT,__unwind_info) of a slice that stands for a loaded image; false when neither is.
bool WRKMachOSliceGetUnwindInformation(const WRKMachOSlice& slice, const std::uint8_t** dwarf,
                                       const std::uint8_t** unwindInfo);

std::optional<std::array<std::uint8_t, 16>> WRKMachOGetUUID(const WRKMachOLoadCommand& command);
std::optional<std::string> WRKMachOGetDylibPath(const WRKMachOLoadCommand& command);
bool WRKMachOGetEncrypted(const WRKMachOLoadCommand& command);
// From a version-min command or a build-version command; none for any other.
std::optional<WRKMachOVersion> WRKMachOGetMinimumOSVersion(const WRKMachOLoadCommand& command);
std::optional<WRKMachOVersion> WRKMachOGetLinkedSDKVersion(const WRKMachOLoadCommand& command);
WRKMachOSegment WRKMachOGetSegmentCommand(const WRKMachOLoadCommand& command);

std::string WRKMachONormalizeUUID(const std::array<std::uint8_t, 16>& uuid);
std::optional<std::string> WRKMachOFormatVersion(const std::optional<WRKMachOVersion>& version);
WRKMachOVersion WRKMachOUnpackVersion(std::uint32_t packed);
// SHA-1 of the UTF-8 bytes, 40 lower-case hexadecimal digits.
std::string WRKHashNSString(std::string_view text);

// One slice of a binary, read once.
class WRKMachOSliceObject {
  public:
    explicit WRKMachOSliceObject(const WRKMachOSlice& slice);

    const WRKMachOSlice& slice() const { return slice_; }
    std::string architectureName() const { return WRKMachOSliceGetArchitectureName(slice_); }
    const std::string& uuid() const { return uuidString_; }
    const std::vector<std::string>& linkedDylibs() const { return linkedDylibs_; }
    const std::optional<WRKMachOVersion>& minimumOSVersion() const { return minimumOSVersion_; }
    const std::optional<WRKMachOVersion>& linkedSDKVersion() const { return linkedSDKVersion_; }
    bool encrypted() const { return encrypted_; }
    // False when the load commands were damaged (what came before the damage is kept).
    bool complete() const { return complete_; }

  private:
    WRKMachOSlice slice_;
    std::string uuidString_;
    std::vector<std::string> linkedDylibs_;
    std::optional<WRKMachOVersion> minimumOSVersion_;
    std::optional<WRKMachOVersion> linkedSDKVersion_;
    bool encrypted_ = false;
    bool complete_ = true;
};

// An executable or dSYM file with its slices.
class WRKMachOBinary {
  public:
    static std::unique_ptr<WRKMachOBinary> MachOBinaryWithPath(const std::string& path);
    ~WRKMachOBinary();
    WRKMachOBinary(const WRKMachOBinary&) = delete;
    WRKMachOBinary& operator=(const WRKMachOBinary&) = delete;

    const std::string& path() const { return path_; }
    const std::vector<WRKMachOSliceObject>& slices() const { return slices_; }
    // SHA-1 of the slices' UUIDs in the order of their architecture names: the same
    // whatever the order of the slices in the file.
    const std::string& instanceIdentifier() const;
    void enumerateUUIDs(
        const std::function<void(const std::string& uuid, const std::string& arch)>& block) const;
    const WRKMachOSliceObject* sliceForArchitecture(std::string_view name) const;

  private:
    WRKMachOBinary() = default;
    std::string path_;
    WRKMachOFile file_;
    std::vector<WRKMachOSliceObject> slices_;
    mutable std::optional<std::string> instanceIdentifier_;
};

// Where a piece of code came from, as the kit's interface hands it on: the URL it was
// made with (a copy), and a source number and name its owner sets. The kit itself makes
// none.
class WRKCodeMapping {
  public:
    explicit WRKCodeMapping(std::string url) : url_(std::move(url)) {}
    static WRKCodeMapping mappingWithURL(std::string url) { return WRKCodeMapping(std::move(url)); }

    const std::string& URL() const { return url_; }
    std::int32_t source() const { return source_; }
    void setSource(std::int32_t source) { source_ = source; }
    const std::string& sourceName() const { return sourceName_; }
    void setSourceName(std::string name) { sourceName_ = std::move(name); }

  private:
    std::int32_t source_ = 0;
    std::string url_;
    std::string sourceName_;
};

// A dSYM bundle: its Info.plist and the first file of Contents/Resources/DWARF.
class CLSdSYM {
  public:
    static std::unique_ptr<CLSdSYM> dSYMWithPath(const std::string& bundlePath);

    const WRKMachOBinary& binary() const { return *binary_; }
    // Without the "com.apple.xcode.dsym." prefix dsymutil puts before it.
    std::string bundleIdentifier() const;
    std::string bundleVersion() const { return version_; }
    std::string shortBundleVersion() const { return shortVersion_; }
    const std::string& executablePath() const { return binary_->path(); }

  private:
    CLSdSYM() = default;
    std::unique_ptr<WRKMachOBinary> binary_;
    std::string identifier_;
    std::string version_;
    std::string shortVersion_;
};

}  // namespace talvor::crash
