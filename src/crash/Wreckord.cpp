#include "crash/Wreckord.h"

#include <charconv>
#include <chrono>
#include <cstdlib>

#include "crash/WRKReport.h"
#include "kit/AnalyticsHandOff.h"
#include "kit/DispatchQueue.h"
#include "kit/KitLog.h"
#include "kit/MainBundle.h"
#include "kit/Tally.h"
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

bool WRKHandOffPreviousSessionCrash(const WRKInternalReport& report) {
    WRKReport object(report);
    if (!object.isCrash()) {
        return false;
    }
    const auto created = object.dateCreated();
    if (!created) {
        return false;
    }
    const double seconds = std::chrono::duration<double>(created->time_since_epoch()).count();
    kit::DispatchQueue::main().async([seconds, id = object.identifier()] {
        kit::log("[Wreckord:Crash] The analytics hear of the crash of session " + id);
        kit::reportPreviousSessionCrash(seconds);
    });
    return true;
}

Wreckord& Wreckord::sharedInstance() {
    // Never released: uploads and the crash handler may still use it while the process
    // ends, after other statics are gone.
    static Wreckord* const instance = new Wreckord;
    return *instance;
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

Wreckord& Wreckord::startWithAPIKey(const std::string& apiKey) {
    return startWithAPIKey(apiKey, std::shared_ptr<WreckordDelegate>());
}

Wreckord& Wreckord::startWithAPIKey(const std::string& apiKey,
                                    std::shared_ptr<WreckordDelegate> delegate) {
    Wreckord& instance = sharedInstance();
    if (delegate) {
        instance.setDelegate(std::move(delegate));
    }
    // The host has no operation of its own for starting its kits with a key, so the key
    // is stored on it and it is started with this kit, as a configured host.
    kit::Trellis& sdk = kit::Trellis::sharedSDK();
    const std::uint64_t mode = sdk.installationMode();
    sdk.setInstallationMode(kit::Trellis::Configured);
    if (mode == kit::Trellis::Nimbus) {
        kit::log(
            "[Wreckord] Warning, calling startWithAPIKey:... after [NMBApp configure] or "
            "NimbusApp.configure() is not supported");
        return instance;
    }
    sdk.setAPIKey(apiKey);
    kit::Trellis::with({&kit::KitClass::of<Wreckord>()});
    return instance;
}

Wreckord& Wreckord::startWithAPIKey(const std::string& apiKey, double) {
    kit::log("[Wreckord] Warning, startWithAPIKey:afterDelay: is deprecated.");
    return startWithAPIKey(apiKey);
}

Wreckord& Wreckord::startWithAPIKey(const std::string& apiKey,
                                    std::shared_ptr<WreckordDelegate> delegate, double) {
    kit::log("[Wreckord] Warning, startWithAPIKey:delegate:afterDelay: is deprecated.");
    return startWithAPIKey(apiKey, std::move(delegate));
}

void Wreckord::start() {
    std::call_once(startOnce_, [this] {
        const WRKProfileMark mark = WRKProfilingStart();
        kit::log("[Wreckord] Version " + kitDisplayVersion() + " (" + kitBuildVersion() + ")");
        kit::Trellis& sdk = kit::Trellis::sharedSDK();
        if (sdk.debug()) {
            const WRKHostFactsText host = WRKHostCurrentFacts();
            kit::log("[Wreckord] Running on " + host.model + ", " + host.osDisplayVersion + " (" +
                     host.osBuildVersion + ")");
        }
        kit::DispatchQueue::main().async([this] { warnDelegateAboutMethods(); });
        const std::shared_ptr<const kit::MainBundle> bundle = kit::MainBundle::main();
        WRKCaptureIdentity identity;
        identity.apiKey = sdk.APIKey().value_or("");
        identity.installID = installID();
        identity.executionIdentifier = sdk.executionIdentifier();
        identity.firstInstall = sdk.isFirstInstall();
        identity.bundleIdentifier = bundle->bundleIdentifier().value_or("");
        identity.bundleVersion = infoString(*bundle, "CFBundleVersion");
        identity.shortBundleVersion = infoString(*bundle, "CFBundleShortVersionString");
        if (const auto current = delegate(); current && current->didDetectCrash) {
            crashCallback_ = current->didDetectCrash;
        }
        crashReportingController_ = std::make_unique<WRKCrashReportingController>(
            WRKFileManager::standard(), static_cast<WRKCrashReportingControllerDelegate*>(this));
        started_ = true;
        if (!crashReportingController_->start(identity, mark)) {
            kit::log("[Wreckord] Crash reporting could not be initialized");
        }
        // There is no beta channel here, so the analytics start without a token.
        kit::startAnalytics(std::nullopt);
    });
}

void Wreckord::warnDelegateAboutMethods() {
    const auto current = delegate();
    if (!current) {
        return;
    }
    if (current->didDetectCrashDuringPreviousExecutionWithReport ||
        current->didDetectCrashDuringPreviousExecution) {
        kit::log(
            "[Wreckord] The Wreckord delegate implements deprecated methods.  Please see "
            "Wreckord.h for details.");
    }
}

void Wreckord::setDelegate(std::shared_ptr<WreckordDelegate> delegate) {
    {
        std::lock_guard lock(delegateMutex_);
        delegate_ = std::move(delegate);
    }
    if (started_) {
        kit::log(
            "[Wreckord] Warning, setting delegate after start. Make sure to set the Wreckord "
            "delegate before calling startWithAPIKey:.., or +[Trellis with...] to avoid missing "
            "some delegate callbacks.");
    }
}

std::shared_ptr<WreckordDelegate> Wreckord::delegate() const {
    std::lock_guard lock(delegateMutex_);
    return delegate_;
}

std::string Wreckord::installID() const {
    // No earlier version kept an identifier of its own here: the kit's store is the only
    // one (and it lives where such a file would).
    return kit::Trellis::sharedSDK().installID();
}

std::optional<std::string> Wreckord::APIKey() const {
    return kit::Trellis::sharedSDK().APIKey();
}

bool Wreckord::isFirstInstall() const {
    return kit::Trellis::sharedSDK().isFirstInstall();
}

std::string Wreckord::version() const {
    return kitDisplayVersion();
}

std::optional<kit::PlistDictionary> Wreckord::kitInfo() const {
    return std::nullopt;
}

void Wreckord::setKitInfo(const std::optional<kit::PlistDictionary>&) {}

std::optional<kit::PlistDictionary> Wreckord::settingsDictionary() const {
    return std::nullopt;
}

void Wreckord::logEvent(const std::string& name) {
    logEvent(name, std::nullopt);
}

void Wreckord::logEvent(const std::string& name,
                        const std::optional<kit::TLYAttributes>& attributes) {
    kit::Tally::logCustomEventWithName(name, attributes);
}

void Wreckord::setDebugMode(bool debug) {
    kit::Trellis::sharedSDK().setDebug(debug);
    if (started_) {
        kit::log("[Wreckord] Warning, consider enabling debug mode before starting Wreckord");
    }
}

bool Wreckord::debugMode() const {
    return kit::Trellis::sharedSDK().debug();
}

bool Wreckord::reportingControllerMustInformDelegateOfReports() {
    const auto current = delegate();
    return current && (current->didDetectReportForLastExecutionWithCompletion ||
                       current->didDetectCrashDuringPreviousExecutionWithReport ||
                       current->didDetectCrashDuringPreviousExecution);
}

bool Wreckord::reportingControllerCanUseBackgroundSessions() {
    const auto current = delegate();
    return current && current->canUseBackgroundSessions ? current->canUseBackgroundSessions()
                                                        : true;
}

bool Wreckord::reportingControllerEnsureDeliveryOfUnixSignal(int signal) {
    const auto current = delegate();
    return current && current->ensureDeliveryOfUnixSignal
               ? current->ensureDeliveryOfUnixSignal(signal)
               : false;
}

void Wreckord::reportingControllerInternalDidDetectReportForLastExecution(
    const WRKInternalReport& report) {
    WRKHandOffPreviousSessionCrash(report);
}

void Wreckord::reportingControllerDidDetectReportForLastExecution(
    const WRKInternalReport& report, std::function<void(bool submit)> completion) {
    const auto current = delegate();
    std::shared_ptr<WRKReport> object;
    if (current && current->didDetectReportForLastExecution) {
        object = std::make_shared<WRKReport>(report, true);
        kit::DispatchQueue::main().async(
            [current, object] { current->didDetectReportForLastExecution(object); });
    }
    if (!reportingControllerMustInformDelegateOfReports()) {
        completion(true);
        return;
    }
    if (!object) {
        object = std::make_shared<WRKReport>(report, true);
    }
    if (current->didDetectReportForLastExecutionWithCompletion) {
        kit::DispatchQueue::main().async([current, object, completion] {
            current->didDetectReportForLastExecutionWithCompletion(object, completion);
        });
    } else {
        completion(true);
    }
    kit::DispatchQueue::main().async([current, object] {
        if (current->didDetectCrashDuringPreviousExecutionWithReport) {
            current->didDetectCrashDuringPreviousExecutionWithReport(object);
        }
        if (current->didDetectCrashDuringPreviousExecution) {
            current->didDetectCrashDuringPreviousExecution();
        }
    });
}

bool Wreckord::shouldInstallCrashCallback() {
    return static_cast<bool>(crashCallback_);
}

void Wreckord::detectedCrash() {
    if (crashCallback_) {
        crashCallback_();
    }
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
