#include "crash/WRKStackFrame.h"

#include <cstdio>

namespace talvor::crash {

WRKStackFrame WRKStackFrame::withAddress(std::uint64_t address) {
    WRKStackFrame frame;
    frame.address = address;
    return frame;
}

WRKStackFrame WRKStackFrame::withSymbol(const std::string& symbol) {
    WRKStackFrame frame;
    frame.symbol = symbol;
    frame.rawSymbol = symbol;
    return frame;
}

std::string WRKStackFrame::description() const {
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(address));
    const std::string name = symbol.value_or("(null)");
    if (fileName) {
        return "{[" + std::string(hex) + "] " + *fileName + " - " + name + ":" +
               std::to_string(lineNumber) + "}";
    }
    return "{[" + std::string(hex) + " + " + std::to_string(lineNumber) + "] " + name + "}";
}

}  // namespace talvor::crash
