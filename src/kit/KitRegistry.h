#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "kit/TRLKit.h"

// Kit classes by name: how the host finds out which kits exist in the program ("Wreckord",
// "Tally", ...). Nothing registers itself: the application registers the kits it links,
// before the kits start, and tests register fakes in a registry of their own.
namespace talvor::kit {

class KitRegistry {
  public:
    static KitRegistry& shared();

    // Registers `kit` under its name; a class already registered under that name is replaced.
    void add(const KitClass& kit);
    void remove(std::string_view name);
    // The class of that name, or nullptr when the program has none.
    const KitClass* find(std::string_view name) const;

  private:
    mutable std::mutex mutex_;
    std::map<std::string, const KitClass*, std::less<>> classes_;
};

}  // namespace talvor::kit
