#include "crash/WRKCrashReportingController.h"

#include <gnu/libc-version.h>
#include <sys/utsname.h>

#include <charconv>
#include <cstdlib>
#include <fstream>

#include "crash/WRKException.h"
#include "crash/WRKSignal.h"
#include "crash/WRKUserLogging.h"
#include "kit/DispatchQueue.h"
#include "kit/ExecutableImage.h"
#include "kit/KitLog.h"
#include "kit/TRLHost.h"

namespace talvor::crash {
namespace fs = std::filesystem;
namespace {

std::string cpuBrand() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) == 0) {
            if (const auto colon = line.find(':'); colon != std::string::npos) {
                std::string value = line.substr(colon + 1);
                value.erase(0, value.find_first_not_of(' '));
                return value.substr(0, 127);
            }
        }
    }
    return "(failed)";
}

// The locale identifier of the messages' locale ("de_CH" of "de_CH.UTF-8@euro").
std::string currentLocale() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(variable); value != nullptr && *value != '\0') {
            std::string locale(value);
            locale = locale.substr(0, locale.find_first_of(".@"));
            if (locale == "C" || locale == "POSIX") {
                break;
            }
            return locale;
        }
    }
    return "en_US_POSIX";
}

std::string documentsFolder() {
    const char* home = std::getenv("HOME");
    const fs::path base = home != nullptr && *home != '\0' ? fs::path(home) : fs::path("/");
    std::error_code ec;
    return fs::is_directory(base / "Documents", ec) ? (base / "Documents").string() : base.string();
}

std::string versionText(const kit::SDKVersion& version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.bugfix);
}

}  // namespace

WRKHostFactsText WRKHostCurrentFacts() {
    WRKHostFactsText facts;
    struct utsname names {};
    const bool haveNames = ::uname(&names) == 0;
    facts.machine = haveNames ? names.machine : "(failed)";
    facts.model = kit::TRLHostModelInfo().value_or(facts.machine);
    facts.cpu = cpuBrand();
    facts.osBuildVersion = kit::TRLHostOSBuildVersion().value_or("");
    facts.osDisplayVersion = kit::TRLHostOSDisplayVersion();
    facts.locale = currentLocale();
    return facts;
}

std::string WRKNumberText(double value) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}

WRKCrashReportingController::WRKCrashReportingController(WRKFileManager fileManager,
                                                         kit::Clock& clock)
    : fileManager_(std::move(fileManager)), clock_(clock) {}

bool WRKCrashReportingController::start(const WRKCaptureIdentity& identity, WRKProfileMark mark) {
    if (identity.bundleIdentifier.empty()) {
        kit::log("[Wreckord] An application must have a valid bundle idenifier in its Info.plist");
        return false;
    }
    fileManager_.removeLegacyDirectories();
    if (!fileManager_.prepareForNewLaunch()) {
        return false;
    }
    // Earlier runs' folders stay where they are until they are reported.
    const auto earlier = fileManager_.activePathContents();
    if (!earlier.empty()) {
        kit::log("[Wreckord:Crash] " + std::to_string(earlier.size()) +
                 " report folder(s) of earlier runs kept in " + fileManager_.activePath().string());
    }
    current_ = fileManager_.setupNewPathForExecutionIdentifier(identity.executionIdentifier);
    if (!current_) {
        kit::log("[Wreckord:Crash] Unable to setup a new report");
        return false;
    }
    if (!startCrashReporter(identity, *current_)) {
        kit::log("[Wreckord:Crash] Unable to start crash reporter");
        current_.reset();
        return false;
    }
    // Something started after the kit may have put its own handlers in front of ours; by
    // now the application's start-up is mostly done. The check holds nothing of this object.
    kit::DispatchQueue::global().after(clock_, kWRKHandlerCheckDelay, [] {
        WRKExceptionCheckHandlers();
        WRKSignalCheckHandlers();
    });
    const std::string seconds = WRKNumberText(WRKProfileEnd(mark) / 1000.0);
    WRKUserLoggingRecordInternalKeyValue(WRKKitStartTimeKey, seconds.c_str());
    return true;
}

bool WRKCrashReportingController::startCrashReporter(const WRKCaptureIdentity& identity,
                                                     const fs::path& folder) {
    const WRKHostFactsText host = WRKHostCurrentFacts();
    const std::optional<WRKBinaryImageDetails> image = WRKBinaryImageMainExecutable();
    const std::string uuid = image ? image->uuid : std::string();
    const std::string architecture = image ? image->architecture : kit::imageArchitectureName();
    const std::string minimum = image ? versionText(image->minimumOS) : "0.0.0";
    const std::string built = std::string(::gnu_get_libc_version()) + ".0";
    const std::string folderText = folder.string();
    const std::string documents = documentsFolder();

    WRKContextInitData data;
    data.apiKey = identity.apiKey.c_str();
    data.firstInstall = identity.firstInstall;
    data.previouslyCrashedFileRootPath = folderText.c_str();
    data.sessionID = identity.executionIdentifier.c_str();
    data.installID = identity.installID.c_str();
    data.host.model = host.model.c_str();
    data.host.machine = host.machine.c_str();
    data.host.cpu = host.cpu.c_str();
    data.host.osBuildVersion = host.osBuildVersion.c_str();
    data.host.osDisplayVersion = host.osDisplayVersion.c_str();
    data.host.locale = host.locale.c_str();
    data.application.bundleID = identity.bundleIdentifier.c_str();
    data.application.buildVersion = identity.bundleVersion.c_str();
    data.application.displayVersion = identity.shortBundleVersion.c_str();
    data.executable.architecture = architecture.c_str();
    data.executable.uuid = uuid.empty() ? nullptr : uuid.c_str();
    data.executable.base = image ? image->range.loadAddress : 0;
    data.executable.size = image ? image->size() : 0;
    data.executable.minimumSDKVersion = minimum.c_str();
    data.executable.builtSDKVersion = built.c_str();
    data.documentsPath = documents.c_str();
    return WRKContextInitialize(&data);
}

}  // namespace talvor::crash
