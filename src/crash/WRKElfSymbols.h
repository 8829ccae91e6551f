#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The function symbols of an ELF file on disk (its full symbol table, else the dynamic one),
// so that a report names static functions too and never lends a function the name of the
// exported one before it.
namespace talvor::crash {

struct WRKElfSymbol {
    std::uint64_t start = 0;  // link-time address
    std::uint64_t size = 0;
    std::string name;  // as the file has it (mangled)
    bool global = false;
};

class WRKElfSymbolTable {
  public:
    // nullopt when the file cannot be read or is no 64-bit ELF file of this machine's byte
    // order; a file without symbols gives an empty table.
    static std::optional<WRKElfSymbolTable> load(const std::string& path);

    // The lowest link-time address of a loaded segment: where the image's first byte goes.
    std::uint64_t firstLoadAddress() const { return firstLoad_; }
    // The function covering `address` (link-time), a global name before a local alias.
    const WRKElfSymbol* symbolFor(std::uint64_t address) const;
    const std::vector<WRKElfSymbol>& symbols() const { return symbols_; }

  private:
    std::uint64_t firstLoad_ = 0;
    std::vector<WRKElfSymbol> symbols_;  // by start, globals first among equal starts
};

}  // namespace talvor::crash
