#pragma once

#include <concepts>
#include <functional>
#include <string>
#include <typeinfo>

// The kit protocol. A kit is a class whose class operations (static members) the host calls:
// required `bundleIdentifier` and `kitDisplayVersion`, optional `kitBuildVersion` and
// `initializeIfNeeded`. C++ has no class objects, so `KitClass` stands for one: the host's
// kit lists hold pointers to them, and pointer equality is class identity.
namespace talvor::kit {

template <class T>
concept TRLKit = requires {
    { T::bundleIdentifier() } -> std::convertible_to<std::string>;
    { T::kitDisplayVersion() } -> std::convertible_to<std::string>;
};

struct KitClass {
    std::string name;  // the class's unqualified name, as "KitName" in Info.plist names it
    std::function<std::string()> bundleIdentifier;
    std::function<std::string()> kitDisplayVersion;
    std::function<std::string()> kitBuildVersion;  // empty when the class does not answer it
    std::function<void()> initializeIfNeeded;      // empty when the class does not answer it

    // The one descriptor of kit class T.
    template <TRLKit T>
    static const KitClass& of();
};

// The unqualified, demangled name of a type ("talvor::crash::Wreckord" -> "Wreckord").
std::string kitClassName(const std::type_info& type);

template <TRLKit T>
const KitClass& KitClass::of() {
    static const KitClass kitClass = [] {
        KitClass k;
        k.name = kitClassName(typeid(T));
        k.bundleIdentifier = [] { return std::string(T::bundleIdentifier()); };
        k.kitDisplayVersion = [] { return std::string(T::kitDisplayVersion()); };
        if constexpr (requires {
                          { T::kitBuildVersion() } -> std::convertible_to<std::string>;
                      }) {
            k.kitBuildVersion = [] { return std::string(T::kitBuildVersion()); };
        }
        if constexpr (requires { T::initializeIfNeeded(); }) {
            k.initializeIfNeeded = [] { T::initializeIfNeeded(); };
        }
        return k;
    }();
    return kitClass;
}

}  // namespace talvor::kit
