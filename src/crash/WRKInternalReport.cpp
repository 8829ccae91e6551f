#include "crash/WRKInternalReport.h"

#include <utility>

#include "crash/WRKContext.h"
#include "crash/WRKFile.h"
#include "kit/KitLog.h"

namespace talvor::crash {
namespace fs = std::filesystem;

namespace {

std::optional<WRKInternalReport::Date> dateFromSeconds(const JSONValue* value) {
    if (value == nullptr) {
        return std::nullopt;
    }
    if (const std::uint64_t* seconds = value->uint64()) {
        return WRKInternalReport::Date(std::chrono::seconds(*seconds));
    }
    if (const std::int64_t* seconds = value->int64()) {
        return WRKInternalReport::Date(std::chrono::seconds(*seconds));
    }
    if (const double* seconds = std::get_if<double>(&value->value)) {
        return WRKInternalReport::Date(std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::duration<double>(*seconds)));
    }
    return std::nullopt;
}

}  // namespace

WRKInternalReport::WRKInternalReport(fs::path path, std::string identifier)
    : identifier_(std::move(identifier)), path_(std::move(path)) {}

std::optional<WRKInternalReport> WRKInternalReport::withPath(
    const fs::path& path, const std::string& executionIdentifier) {
    if (path.empty() || executionIdentifier.empty()) {
        return std::nullopt;
    }
    return WRKInternalReport(path, executionIdentifier);
}

std::optional<WRKInternalReport> WRKInternalReport::reportWithPath(const fs::path& path) {
    if (!path.empty()) {
        WRKInternalReport report(path, std::string());
        if (std::optional<std::string> identifier =
                report.metadataString(0, "identity", "session_id");
            identifier && !identifier->empty()) {
            report.identifier_ = std::move(*identifier);
            return report;
        }
    }
    kit::log("[Wreckord:Crash] Unable to read identifier at path " + path.string());
    return std::nullopt;
}

void WRKInternalReport::setPath(const fs::path& path) {
    path_ = path;
    metadataSections_.reset();
}

std::string WRKInternalReport::directoryName() const {
    return path_.filename().string();
}

fs::path WRKInternalReport::pathForContentFile(const std::string& name) const {
    return path_ / name;
}

fs::path WRKInternalReport::metadataPath() const {
    return pathForContentFile(WRKReportMetadataFile);
}

fs::path WRKInternalReport::binaryImagePath() const {
    return pathForContentFile(WRKReportBinaryImageFile);
}

bool WRKInternalReport::needsToBeSubmitted() const {
    static const std::vector<std::string> worthSending = {
        WRKReportExceptionFile,        WRKReportSignalFile,        WRKReportCustomExceptionAFile,
        WRKReportCustomExceptionBFile, WRKReportMachExceptionFile, WRKReportErrorAFile,
        WRKReportErrorBFile,
    };
    return checkExistenceOfAtLeastOneFileInArray(worthSending);
}

const std::vector<std::string>& WRKInternalReport::crashFilenames() {
    static const std::vector<std::string> names = {WRKReportExceptionFile,
                                                   WRKReportMachExceptionFile, WRKReportSignalFile};
    return names;
}

bool WRKInternalReport::isCrash() const {
    return checkExistenceOfAtLeastOneFileInArray(crashFilenames());
}

bool WRKInternalReport::checkExistenceOfAtLeastOneFileInArray(
    const std::vector<std::string>& names) const {
    for (const std::string& name : names) {
        std::error_code error;
        if (fs::exists(pathForContentFile(name), error)) {
            return true;
        }
    }
    return false;
}

void WRKInternalReport::enumerateSymbolicatableFilesInContent(
    const std::function<void(const fs::path&)>& block) const {
    for (const std::string& name : crashFilenames()) {
        block(pathForContentFile(name));
    }
}

const std::vector<JSONValue>& WRKInternalReport::metadataSections() const {
    if (!metadataSections_) {
        metadataSections_ = readCLSFileAtPath(metadataPath()).value_or(std::vector<JSONValue>{});
    }
    return *metadataSections_;
}

const JSONValue* WRKInternalReport::metadataValue(std::size_t line, const char* section,
                                                  const char* key) const {
    const std::vector<JSONValue>& sections = metadataSections();
    if (line >= sections.size()) {
        return nullptr;
    }
    const JSONValue* body = sections[line].find(section);
    return body != nullptr ? body->find(key) : nullptr;
}

std::optional<std::string> WRKInternalReport::metadataString(std::size_t line, const char* section,
                                                             const char* key) const {
    const JSONValue* value = metadataValue(line, section, key);
    if (value == nullptr || value->string() == nullptr) {
        return std::nullopt;
    }
    return *value->string();
}

std::optional<std::string> WRKInternalReport::APIKey() const {
    return metadataString(0, "identity", "api_key");
}

std::optional<std::string> WRKInternalReport::bundleVersion() const {
    return metadataString(2, "application", "build_version");
}

std::optional<std::string> WRKInternalReport::bundleShortVersionString() const {
    return metadataString(2, "application", "display_version");
}

std::optional<std::string> WRKInternalReport::OSVersion() const {
    return metadataString(1, "host", "os_display_version");
}

std::optional<std::string> WRKInternalReport::OSBuildVersion() const {
    return metadataString(1, "host", "os_build_version");
}

std::optional<WRKInternalReport::Date> WRKInternalReport::dateCreated() const {
    return dateFromSeconds(metadataValue(0, "identity", "started_at"));
}

std::optional<WRKInternalReport::Date> WRKInternalReport::crashedOnDate() const {
    if (!isCrash()) {
        return std::nullopt;
    }
    if (auto date = timeFromCrashContentFile(WRKReportMachExceptionFile, "mach_exception")) {
        return date;
    }
    return timeFromCrashContentFile(WRKReportSignalFile, "signal");
}

std::optional<WRKInternalReport::Date> WRKInternalReport::timeFromCrashContentFile(
    const std::string& name, const std::string& section) const {
    const std::optional<std::vector<JSONValue>> sections =
        readCLSFileAtPath(pathForContentFile(name));
    if (!sections) {
        return std::nullopt;
    }
    const JSONValue* body = sections->front().find(section);
    return dateFromSeconds(body != nullptr ? body->find("time") : nullptr);
}

std::optional<std::vector<JSONValue>> WRKInternalReport::readCLSFileAtPath(const fs::path& path) {
    std::optional<std::vector<JSONValue>> sections = WRKFileReadSections(path.string(), false);
    if (!sections || sections->empty()) {
        return std::nullopt;
    }
    return sections;
}

}  // namespace talvor::crash
