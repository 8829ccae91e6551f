#include "kit/ExecutableImage.h"

#include <elf.h>
#include <link.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cstring>

#include "kit/TRLEncoding.h"

namespace talvor::kit {
namespace {

constexpr std::size_t align4(std::size_t n) {
    return (n + 3) & ~std::size_t{3};
}

}  // namespace

void readImageNotes(const unsigned char* p, std::size_t size, ImageIdentity& identity) {
    std::size_t at = 0;
    while (at + sizeof(ElfW(Nhdr)) <= size) {
        ElfW(Nhdr) header;
        std::memcpy(&header, p + at, sizeof header);
        const std::size_t nameAt = at + sizeof header;
        const std::size_t descAt = nameAt + align4(header.n_namesz);
        const std::size_t next = descAt + align4(header.n_descsz);
        if (descAt > size || header.n_descsz > size - descAt) {
            return;  // a damaged note ends the walk
        }
        const bool gnu = header.n_namesz == 4 && std::memcmp(p + nameAt, "GNU", 4) == 0;
        if (gnu && header.n_type == NT_GNU_BUILD_ID && header.n_descsz > 0) {
            identity.buildID.assign(p + descAt, p + descAt + header.n_descsz);
        } else if (gnu && header.n_type == NT_GNU_ABI_TAG && header.n_descsz >= 16) {
            std::uint32_t words[4];
            std::memcpy(words, p + descAt, sizeof words);
            if (words[0] == ELF_NOTE_OS_LINUX) {
                identity.minimumOS = {words[1], words[2], words[3]};
            }
        }
        at = next;
    }
}

namespace {

int visitMainProgram(dl_phdr_info* info, std::size_t, void* data) {
    auto* identity = static_cast<std::optional<ImageIdentity>*>(data);
    identity->emplace();
    (*identity)->architecture = imageArchitectureName();
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_NOTE) {
            // The loader hands addresses over as integers.
            const auto* notes =
                reinterpret_cast<const unsigned char*>(  // NOLINT(performance-no-int-to-ptr)
                    info->dlpi_addr + segment.p_vaddr);
            readImageNotes(notes, segment.p_memsz, **identity);
        }
    }
    return 1;  // the loader lists the main program first: nothing more to see
}

}  // namespace

std::string imageArchitectureName() {
#if defined(__x86_64__)
    return "x86_64";
#elif defined(__aarch64__)
    return "aarch64";
#elif defined(__i386__)
    return "i686";
#elif defined(__arm__)
    return "armv7l";
#elif defined(__riscv) && __riscv_xlen == 64
    return "riscv64";
#else
    utsname name{};
    ::uname(&name);
    return name.machine;
#endif
}

std::optional<ImageIdentity> mainExecutableIdentity() {
    std::optional<ImageIdentity> identity;
    dl_iterate_phdr(visitMainProgram, &identity);
    return identity;
}

std::string imageUUIDString(const PlistData& buildID) {
    const std::size_t bytes = std::min(buildID.size(), kImageUUIDHexDigits / 2);
    return TRLNSDataPrettyDescription(
        std::string_view(reinterpret_cast<const char*>(buildID.data()), bytes));
}

}  // namespace talvor::kit
