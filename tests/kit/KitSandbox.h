#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "kit/ApplicationDefaults.h"
#include "kit/KitLog.h"
#include "kit/KitRegistry.h"
#include "kit/MainBundle.h"
#include "kit/PropertyList.h"
#include "kit/Trellis.h"
#include "kit/WRKUserDefaults.h"

namespace talvor::kit::test {

namespace fs = std::filesystem;

// A dictionary from the body of an XML property list's root <dict>.
inline PlistDictionary plist(const std::string& body) {
    const auto value =
        PropertyList::parse(R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>)" +
                            body + "</dict></plist>");
    EXPECT_TRUE(value && value->dictionary()) << body;
    return value && value->dictionary() ? *value->dictionary() : PlistDictionary();
}

// The application's standard defaults, in memory, counting what the kit does to them.
class FakeApplicationDefaults final : public ApplicationDefaults {
  public:
    std::optional<PlistValue> objectForKey(const std::string& key) const override {
        const auto it = values.find(key);
        return it == values.end() ? std::nullopt : std::optional<PlistValue>(it->second);
    }
    void removeObjectForKey(const std::string& key) override {
        values.erase(key);
        ++removals;
    }
    bool synchronize() override {
        ++synchronizations;
        return true;
    }

    std::map<std::string, PlistValue> values;
    int removals = 0;
    int synchronizations = 0;
};

// A private world for the kit: a temporary folder holding the kit's store and the bundle's
// resources, a main bundle, empty application defaults and a registry of the test's kits.
// Everything shared is put back when it goes.
class KitSandbox {
  public:
    KitSandbox()
        : dir(fs::temp_directory_path() /
              ("talvor-kit-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name())),
          defaults(std::make_shared<FakeApplicationDefaults>()) {
        fs::remove_all(dir);
        fs::create_directories(dir / "bundle");
        if (const char* data = std::getenv("XDG_DATA_HOME")) {
            savedDataHome_ = data;
        }
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        if (const char* cache = std::getenv("XDG_CACHE_HOME")) {
            savedCacheHome_ = cache;
        }
        ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
        ApplicationDefaults::setStandard(defaults);
        useBundle(std::nullopt);
    }
    ~KitSandbox() {
        Trellis::setSharedSDK(nullptr);
        setLogLevel(KitLogLevel::Info);  // a host's debug flag lets Debug lines through
        WRKUserDefaults::setStandardUserDefaults(nullptr);
        MainBundle::setMain(nullptr);
        ApplicationDefaults::setStandard(nullptr);
        if (savedDataHome_) {
            ::setenv("XDG_DATA_HOME", savedDataHome_->c_str(), 1);
        } else {
            ::unsetenv("XDG_DATA_HOME");
        }
        if (savedCacheHome_) {
            ::setenv("XDG_CACHE_HOME", savedCacheHome_->c_str(), 1);
        } else {
            ::unsetenv("XDG_CACHE_HOME");
        }
        std::error_code error;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, error);
        fs::remove_all(dir, error);
    }
    KitSandbox(const KitSandbox&) = delete;
    KitSandbox& operator=(const KitSandbox&) = delete;

    // Makes `info` the main bundle's Info.plist (nullopt: the application has none).
    void useBundle(std::optional<PlistDictionary> info) {
        MainBundle::setMain(std::make_shared<MainBundle>(std::move(info), dir / "bundle"));
    }
    // A fresh shared host over the bundle, a store in `storeDir` (default: the sandbox's)
    // and the sandbox's registry.
    Trellis& install(std::optional<PlistDictionary> info, const fs::path& storeDir = {}) {
        useBundle(std::move(info));
        Trellis::setSharedSDK(nullptr);
        WRKUserDefaults::setStandardUserDefaults(
            std::make_unique<WRKUserDefaults>(storeDir.empty() ? dir / "store" : storeDir));
        Trellis::setSharedSDK(std::make_unique<Trellis>(
            MainBundle::main(), WRKUserDefaults::standardUserDefaults(), registry));
        return Trellis::sharedSDK();
    }

    const fs::path dir;
    std::shared_ptr<FakeApplicationDefaults> defaults;
    KitRegistry registry;

  private:
    std::optional<std::string> savedDataHome_;
    std::optional<std::string> savedCacheHome_;
};

}  // namespace talvor::kit::test
