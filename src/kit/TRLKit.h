#pragma once

#include <concepts>
#include <functional>
#include <string>
#include <typeinfo>

// The kit protocol. A kit is a class whose class operations (static members) the host calls:
// required `bundleIdentifier` and `kitDisplayVersion`, optional `kitBuildVersion` and
// `initializeIfNeeded`. C++ has no class objects, so `KitClass` stands for one: the host's
// kit lists hold pointers to them, and pointer equality is class identity. Classes are found
// by name through a `KitRegistry`, into which the application registers its kits.
namespace talvor::kit {

// The kit shape from before the protocol: a class whose shared instance answers `start`,
// `bundleIdentifier` and `version` (an empty member: it does not answer that one).
struct LegacyKitInstance {
    std::function<void()> start;
    std::function<std::string()> bundleIdentifier;
    std::function<std::string()> version;
};

template <class T>
concept TRLKit = requires {
    { T::bundleIdentifier() } -> std::convertible_to<std::string>;
    { T::kitDisplayVersion() } -> std::convertible_to<std::string>;
};

struct KitClass {
    std::string name;  // the class's unqualified name, as "KitName" in Info.plist names it
    bool adoptsTRLKit = false;
    std::function<std::string()> bundleIdentifier;
    std::function<std::string()> kitDisplayVersion;
    std::function<std::string()> kitBuildVersion;  // empty when the class does not answer it
    std::function<void()> initializeIfNeeded;      // empty when the class does not answer it
    // The legacy shape's class operation; empty when the class does not answer it.
    std::function<LegacyKitInstance*()> sharedInstance;

    // The one descriptor of kit class T.
    template <TRLKit T>
    static const KitClass& of();
};

// A kit object: in a kit list it stands for its class.
class KitObject {
  public:
    virtual ~KitObject() = default;
    virtual const KitClass& kitClass() const = 0;
};

// One element of a kit list: a kit class, or a kit object.
class KitRef {
  public:
    KitRef(const KitClass* kitClass) : class_(kitClass) {}
    KitRef(const KitClass& kitClass) : class_(&kitClass) {}
    KitRef(const KitObject& object) : class_(&object.kitClass()), object_(true) {}

    const KitClass* kitClass() const { return class_; }
    bool isObject() const { return object_; }

  private:
    const KitClass* class_;
    bool object_ = false;
};

// The unqualified, demangled name of a type ("talvor::crash::Wreckord" -> "Wreckord").
std::string kitClassName(const std::type_info& type);

template <TRLKit T>
const KitClass& KitClass::of() {
    static const KitClass kitClass = [] {
        KitClass k;
        k.name = kitClassName(typeid(T));
        k.adoptsTRLKit = true;
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
