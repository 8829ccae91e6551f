#pragma once

#include "platform/Preferences.h"

#include <memory>

namespace talvor::test {

// Puts an in-memory store in place of a preference domain for the life of the object.
class ScopedMemoryDomain {
  public:
    explicit ScopedMemoryDomain(const QString& appId) {
        auto store = std::make_unique<platform::MemoryPreferenceStore>(appId);
        store_ = store.get();
        platform::Preferences::install(std::move(store));
    }
    ~ScopedMemoryDomain() { platform::Preferences::resetAll(); }
    platform::MemoryPreferenceStore& store() const { return *store_; }

  private:
    platform::MemoryPreferenceStore* store_;
};

}  // namespace talvor::test
