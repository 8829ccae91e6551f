#include "crash/WRKElfSymbols.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <string_view>

namespace talvor::crash {
namespace {

// A read-only view of a whole file; every read checks its bounds.
class MappedFile {
  public:
    explicit MappedFile(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return;
        }
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
            void* bytes = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ,
                                 MAP_PRIVATE, fd, 0);
            if (bytes != MAP_FAILED) {
                bytes_ = static_cast<const unsigned char*>(bytes);
                size_ = static_cast<std::size_t>(info.st_size);
            }
        }
        ::close(fd);
    }
    ~MappedFile() {
        if (bytes_ != nullptr) {
            ::munmap(const_cast<unsigned char*>(bytes_), size_);
        }
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool valid() const { return bytes_ != nullptr; }
    // A copy of the `T` at `offset`, when the file holds it whole.
    template <typename T>
    std::optional<T> read(std::uint64_t offset) const {
        if (offset > size_ || size_ - offset < sizeof(T)) {
            return std::nullopt;
        }
        T value;
        std::memcpy(&value, bytes_ + offset, sizeof(T));
        return value;
    }
    // The zero-terminated text at `offset`, within [begin, end) of the file.
    std::optional<std::string_view> text(std::uint64_t begin, std::uint64_t end,
                                         std::uint64_t offset) const {
        end = std::min<std::uint64_t>(end, size_);
        if (begin > end || offset >= end - begin) {
            return std::nullopt;
        }
        const char* start = reinterpret_cast<const char*>(bytes_ + begin + offset);
        const void* zero = std::memchr(start, 0, end - begin - offset);
        if (zero == nullptr) {
            return std::nullopt;
        }
        return std::string_view(start, static_cast<const char*>(zero) - start);
    }

  private:
    const unsigned char* bytes_ = nullptr;
    std::size_t size_ = 0;
};

bool isNativeElf64(const Elf64_Ehdr& header) {
    constexpr unsigned char kNativeOrder =
        std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB;
    return std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
           header.e_ident[EI_CLASS] == ELFCLASS64 && header.e_ident[EI_DATA] == kNativeOrder;
}

// The function symbols of one symbol table section.
void readSymbols(const MappedFile& file, const Elf64_Ehdr& header, const Elf64_Shdr& table,
                 std::vector<WRKElfSymbol>& out) {
    if (table.sh_entsize != sizeof(Elf64_Sym) || table.sh_link >= header.e_shnum) {
        return;
    }
    const auto strings =
        file.read<Elf64_Shdr>(header.e_shoff + std::uint64_t{table.sh_link} * header.e_shentsize);
    if (!strings) {
        return;
    }
    const std::uint64_t count = table.sh_size / sizeof(Elf64_Sym);
    for (std::uint64_t i = 1; i < count; ++i) {
        const auto symbol = file.read<Elf64_Sym>(table.sh_offset + i * sizeof(Elf64_Sym));
        if (!symbol) {
            return;
        }
        const unsigned type = ELF64_ST_TYPE(symbol->st_info);
        if ((type != STT_FUNC && type != STT_GNU_IFUNC) || symbol->st_shndx == SHN_UNDEF ||
            symbol->st_value == 0 || symbol->st_size == 0) {
            continue;
        }
        const auto name =
            file.text(strings->sh_offset, strings->sh_offset + strings->sh_size, symbol->st_name);
        if (!name || name->empty()) {
            continue;
        }
        const unsigned binding = ELF64_ST_BIND(symbol->st_info);
        out.push_back({symbol->st_value, symbol->st_size, std::string(*name),
                       binding == STB_GLOBAL || binding == STB_WEAK});
    }
}

}  // namespace

std::optional<WRKElfSymbolTable> WRKElfSymbolTable::load(const std::string& path) {
    const MappedFile file(path);
    if (!file.valid()) {
        return std::nullopt;
    }
    const auto header = file.read<Elf64_Ehdr>(0);
    if (!header || !isNativeElf64(*header)) {
        return std::nullopt;
    }
    WRKElfSymbolTable table;
    std::uint64_t lowest = std::numeric_limits<std::uint64_t>::max();
    if (header->e_phentsize == sizeof(Elf64_Phdr)) {
        for (std::uint16_t i = 0; i < header->e_phnum; ++i) {
            const auto segment =
                file.read<Elf64_Phdr>(header->e_phoff + std::uint64_t{i} * sizeof(Elf64_Phdr));
            if (segment && segment->p_type == PT_LOAD) {
                lowest = std::min<std::uint64_t>(lowest, segment->p_vaddr);
            }
        }
    }
    table.firstLoad_ = lowest != std::numeric_limits<std::uint64_t>::max() ? lowest : 0;
    if (header->e_shentsize != sizeof(Elf64_Shdr)) {
        return table;
    }
    // The full table holds the dynamic one's names as well; the dynamic one is all a
    // stripped file has.
    std::vector<WRKElfSymbol> full;
    std::vector<WRKElfSymbol> dynamic;
    for (std::uint16_t i = 0; i < header->e_shnum; ++i) {
        const auto section =
            file.read<Elf64_Shdr>(header->e_shoff + std::uint64_t{i} * sizeof(Elf64_Shdr));
        if (section && section->sh_type == SHT_SYMTAB) {
            readSymbols(file, *header, *section, full);
        } else if (section && section->sh_type == SHT_DYNSYM) {
            readSymbols(file, *header, *section, dynamic);
        }
    }
    table.symbols_ = full.empty() ? std::move(dynamic) : std::move(full);
    std::stable_sort(table.symbols_.begin(), table.symbols_.end(),
                     [](const WRKElfSymbol& a, const WRKElfSymbol& b) {
                         return a.start != b.start ? a.start < b.start : a.global > b.global;
                     });
    return table;
}

const WRKElfSymbol* WRKElfSymbolTable::symbolFor(std::uint64_t address) const {
    auto it = std::upper_bound(
        symbols_.begin(), symbols_.end(), address,
        [](std::uint64_t value, const WRKElfSymbol& symbol) { return value < symbol.start; });
    // Walk back over the few functions that start at or before the address: the nearest one
    // usually covers it, an enclosing larger one rarely.
    for (int looked = 0; it != symbols_.begin() && looked < 8; ++looked) {
        --it;
        // The first of the same start: a global name before its local aliases.
        auto first = it;
        while (first != symbols_.begin() && std::prev(first)->start == it->start) {
            --first;
        }
        for (auto candidate = first; candidate != std::next(it); ++candidate) {
            if (address - candidate->start < candidate->size) {
                return &*candidate;
            }
        }
        it = first;
    }
    return nullptr;
}

}  // namespace talvor::crash
