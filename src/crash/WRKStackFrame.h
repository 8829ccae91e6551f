#pragma once

#include <cstdint>
#include <optional>
#include <string>

// One frame of a stack as a report carries it: the address, and what symbol resolution and
// demangling found for it.
namespace talvor::crash {

struct WRKStackFrame {
    std::uint64_t address = 0;
    // The name shown: the demangled one once demangling has run.
    std::optional<std::string> symbol;
    // Distance of the address from the symbol's start.
    std::uint64_t offset = 0;
    // The image's file name.
    std::optional<std::string> library;
    std::optional<std::string> fileName;
    std::uint32_t lineNumber = 0;
    // The name as the image's symbol table gives it.
    std::optional<std::string> rawSymbol;
    // Distance of the address from its image's load address (the image's first byte), kept
    // with `library` whether or not a symbol covers the address, so that the frame can be
    // symbolised later against the image's own file.
    std::optional<std::uint64_t> imageOffset;

    static WRKStackFrame withAddress(std::uint64_t address);
    // `symbol` and `rawSymbol` both set.
    static WRKStackFrame withSymbol(const std::string& symbol);
    // "{[0x1f + 12] name}", or "{[0x1f] file - name:12}" with a file name.
    std::string description() const;
};

}  // namespace talvor::crash
