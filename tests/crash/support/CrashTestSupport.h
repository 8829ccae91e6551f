#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/KitLog.h"
#include "kit/MainBundle.h"
#include "kit/PropertyList.h"

// Small tools of the report-sending tests.
namespace talvor::crash::test {

// Sets (or, with nullopt, unsets) an environment variable for a scope.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) {
            saved_ = old;
        }
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    ~ScopedEnv() {
        if (saved_) {
            ::setenv(name_.c_str(), saved_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> saved_;
};

// The kit's log lines while it lives.
class LogLines {
  public:
    LogLines() {
        previous_ = kit::setLogSink([this](std::string_view line) { lines_.emplace_back(line); });
    }
    ~LogLines() { kit::setLogSink(std::move(previous_)); }
    const std::vector<std::string>& lines() const { return lines_; }
    bool contains(std::string_view text) const {
        for (const std::string& line : lines_) {
            if (line.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

  private:
    std::vector<std::string> lines_;
    kit::LogSink previous_;
};

// A main bundle with `info` for a scope.
class ScopedBundle {
  public:
    explicit ScopedBundle(kit::PlistDictionary info) {
        previous_ = kit::MainBundle::setMain(std::make_shared<kit::MainBundle>(
            std::move(info), std::filesystem::path("/nonexistent")));
    }
    ~ScopedBundle() { kit::MainBundle::setMain(std::move(previous_)); }

  private:
    std::shared_ptr<const kit::MainBundle> previous_;
};

// A folder of its own under the temporary folder, removed at the end.
class TempFolder {
  public:
    explicit TempFolder(const std::string& name)
        : path_(std::filesystem::temp_directory_path() /
                ("talvor-" + name + "-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace talvor::crash::test
