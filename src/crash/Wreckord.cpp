#include "crash/Wreckord.h"

#include <charconv>
#include <cstdlib>

#include "kit/KitLog.h"
#include "kit/MainBundle.h"
#include "kit/Trellis.h"

namespace talvor::crash {
namespace {

void recordInternal(const char* key, const std::optional<std::string>& value) {
    WRKUserLoggingRecordInternalKeyValue(key, value ? value->c_str() : nullptr);
}

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
        const WRKProfileMark mark = WRKProfilingStart();
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
        if (!crashReportingController_->start(identity, mark)) {
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

void Wreckord::setUserIdentifier(const std::optional<std::string>& identifier) {
    recordInternal(WRKUserIdentifierKey, identifier);
}

void Wreckord::setUserName(const std::optional<std::string>& name) {
    recordInternal(WRKUserNameKey, name);
}

void Wreckord::setUserEmail(const std::optional<std::string>& email) {
    recordInternal(WRKUserEmailKey, email);
}

void Wreckord::setObjectValue(const std::optional<std::string>& value, const std::string& key) {
    WRKUserLoggingRecordUserKeyValue(key.c_str(), value ? value->c_str() : nullptr);
}

void Wreckord::setIntValue(long long value, const std::string& key) {
    setObjectValue(std::to_string(value), key);
}

void Wreckord::setBoolValue(bool value, const std::string& key) {
    setObjectValue(value ? "1" : "0", key);
}

void Wreckord::setFloatValue(float value, const std::string& key) {
    // The shortest text that reads back as the same float ("0.1", not "0.100000001").
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    setObjectValue(error == std::errc() ? std::string(text, end) : std::string("0"), key);
}

void Wreckord::setDevelopmentPlatformName(const std::optional<std::string>& name) {
    recordInternal(WRKDevelopmentPlatformNameKey, name);
}

void Wreckord::setDevelopmentPlatformVersion(const std::optional<std::string>& version) {
    recordInternal(WRKDevelopmentPlatformVersionKey, version);
}

std::optional<std::string> Wreckord::developmentPlatformName() const {
    kit::log("[Wreckord] developmentPlatformName is write-only");
    return std::nullopt;
}

std::optional<std::string> Wreckord::developmentPlatformVersion() const {
    kit::log("[Wreckord] developmentPlatformVersion is write-only");
    return std::nullopt;
}

void Wreckord::recordError(const WRKError& error, const WRKInfoPairs& additionalUserInfo) {
    WRKUserLoggingRecordError(error, additionalUserInfo);
}

void Wreckord::recordCustomException(const std::string& name, const std::string& reason,
                                     const std::vector<WRKStackFrame>& frames) {
    WRKExceptionRecord(WRKExceptionTypeCustom, name.c_str(), reason.c_str(),
                       frames.empty() ? nullptr : frames.data(), frames.size(), false);
}

bool Wreckord::monitorErrorsForWebViewConfiguration(WRKWebViewConfiguration* configuration) {
    if (configuration != nullptr) {
        configuration->addScriptMessageHandler(
            WRKWebViewMessageHandlerName, [](const WRKWebViewScriptMessage& message) {
                if (!WRKWebViewHandleScriptMessage(message)) {
                    kit::log("[Wreckord] Unable to record exception from WKWebView");
                }
            });
    }
    if (!WRKWebViewSetupConfigurationForMonitoring(configuration)) {
        kit::log("[Wreckord] Unable to monitor the web view configuration");
        return false;
    }
    return true;
}

void Wreckord::crash() {
    __builtin_trap();
}

void Wreckord::throwException() {
    WRKExceptionRaiseTestCppException();
}

}  // namespace talvor::crash
