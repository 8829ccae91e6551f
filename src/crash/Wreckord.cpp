#include "crash/Wreckord.h"

#include "kit/KitLog.h"
#include "kit/MainBundle.h"
#include "kit/Trellis.h"

namespace talvor::crash {
namespace {

std::string infoString(const kit::MainBundle& bundle, const std::string& key) {
    const kit::PlistValue* value = bundle.objectForInfoDictionaryKey(key);
    return value != nullptr && value->string() != nullptr ? *value->string() : std::string();
}

}  // namespace

Wreckord& Wreckord::sharedInstance() {
    static Wreckord instance;
    return instance;
}

std::string Wreckord::bundleIdentifier() {
    return "com.quillon.wreckord.mac";
}

std::string Wreckord::kitDisplayVersion() {
    return "3.9.3";
}

std::string Wreckord::kitBuildVersion() {
    return "128";
}

void Wreckord::initializeIfNeeded() {
    sharedInstance().start();
}

void Wreckord::start() {
    std::call_once(startOnce_, [this] {
        kit::log("[Wreckord] Version " + kitDisplayVersion() + " (" + kitBuildVersion() + ")");
        kit::Trellis& sdk = kit::Trellis::sharedSDK();
        const std::shared_ptr<const kit::MainBundle> bundle = kit::MainBundle::main();
        WRKCaptureIdentity identity;
        identity.apiKey = sdk.APIKey().value_or("");
        identity.installID = sdk.installID();
        identity.executionIdentifier = sdk.executionIdentifier();
        identity.firstInstall = sdk.isFirstInstall();
        identity.bundleIdentifier = bundle->bundleIdentifier().value_or("");
        identity.bundleVersion = infoString(*bundle, "CFBundleVersion");
        identity.shortBundleVersion = infoString(*bundle, "CFBundleShortVersionString");
        crashReportingController_ =
            std::make_unique<WRKCrashReportingController>(WRKFileManager::standard());
        started_ = true;
        if (!crashReportingController_->start(identity)) {
            kit::log("[Wreckord] Crash reporting could not be initialized");
        }
    });
}

bool Wreckord::isWreckordStarted() const {
    return started_;
}

std::optional<std::filesystem::path> Wreckord::currentReportPath() const {
    if (!started_ || !crashReportingController_) {
        return std::nullopt;
    }
    return crashReportingController_->currentReportPath();
}

}  // namespace talvor::crash
