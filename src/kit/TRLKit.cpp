#include "kit/TRLKit.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace talvor::kit {

std::string kitClassName(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    std::string name = status == 0 && demangled ? demangled.get() : type.name();
    if (const auto colons = name.rfind("::"); colons != std::string::npos) {
        name.erase(0, colons + 2);
    }
    return name;
}

}  // namespace talvor::kit
