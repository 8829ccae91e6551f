#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "crash/WRKJSON.h"

// One report folder as the sending side sees it: where its files are, whether it holds
// anything worth sending, whether it is a crash, and the facts of its metadata file (read
// once and kept). Missing files and keys give no value; nothing throws.
namespace talvor::crash {

class WRKInternalReport {
  public:
    using Date = std::chrono::system_clock::time_point;

    // A report for the folder and identifier; nullopt when either is empty.
    static std::optional<WRKInternalReport> withPath(const std::filesystem::path& path,
                                                     const std::string& executionIdentifier);
    // The identifier read from the folder's metadata ("identity" "session_id"); nullopt, said
    // in the log, when there is none.
    static std::optional<WRKInternalReport> reportWithPath(const std::filesystem::path& path);

    const std::string& identifier() const { return identifier_; }
    const std::filesystem::path& path() const { return path_; }
    void setPath(const std::filesystem::path& path);
    std::string directoryName() const;
    std::filesystem::path pathForContentFile(const std::string& name) const;
    std::filesystem::path metadataPath() const;
    std::filesystem::path binaryImagePath() const;

    // Something to send: a crash, a custom exception or a recorded error.
    bool needsToBeSubmitted() const;
    // The crash files, in the order they are looked at.
    static const std::vector<std::string>& crashFilenames();
    bool isCrash() const;
    bool checkExistenceOfAtLeastOneFileInArray(const std::vector<std::string>& names) const;
    // Each crash file's full path in order, present or not.
    void enumerateSymbolicatableFilesInContent(
        const std::function<void(const std::filesystem::path&)>& block) const;

    const std::vector<JSONValue>& metadataSections() const;
    std::optional<std::string> APIKey() const;
    // Custom keys are not read from here.
    std::optional<std::map<std::string, std::string>> customKeys() const { return std::nullopt; }
    std::optional<std::string> bundleVersion() const;
    std::optional<std::string> bundleShortVersionString() const;
    std::optional<std::string> OSVersion() const;
    std::optional<std::string> OSBuildVersion() const;
    std::optional<Date> dateCreated() const;
    // When the crash happened, from the signal or Mach exception record; none for a crash
    // recorded only as an exception.
    std::optional<Date> crashedOnDate() const;
    std::optional<Date> timeFromCrashContentFile(const std::string& name,
                                                 const std::string& section) const;

    // The parsed lines of a record file (an unreadable file is left in place); nullopt when
    // it has no readable line.
    static std::optional<std::vector<JSONValue>> readCLSFileAtPath(
        const std::filesystem::path& path);

  private:
    WRKInternalReport(std::filesystem::path path, std::string identifier);
    // The `key` of the metadata line `line` (0-based) under `section`.
    const JSONValue* metadataValue(std::size_t line, const char* section, const char* key) const;
    std::optional<std::string> metadataString(std::size_t line, const char* section,
                                              const char* key) const;

    std::string identifier_;
    std::filesystem::path path_;
    mutable std::optional<std::vector<JSONValue>> metadataSections_;
};

}  // namespace talvor::crash
