#include "crash/WRKCrashReportingController.h"

#include <gnu/libc-version.h>
#include <sys/utsname.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>

#include "crash/WRKException.h"
#include "crash/WRKMachException.h"
#include "crash/WRKSDKLog.h"
#include "crash/WRKSignal.h"
#include "crash/WRKUserLogging.h"
#include "kit/DispatchQueue.h"
#include "kit/ExecutableImage.h"
#include "kit/KitLog.h"
#include "kit/NotificationCenter.h"
#include "kit/TRLHost.h"
#include "kit/Trellis.h"

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

namespace {

std::mutex& promptMutex() {
    static std::mutex mutex;
    return mutex;
}

WRKPermissionPrompt& promptSlot() {
    static WRKPermissionPrompt prompt;
    return prompt;
}

}  // namespace

void WRKCrashReportingController::setPermissionPrompt(WRKPermissionPrompt prompt) {
    std::lock_guard lock(promptMutex());
    promptSlot() = std::move(prompt);
}

WRKCrashReportingController::WRKCrashReportingController(
    WRKFileManager fileManager, WRKCrashReportingControllerDelegate* delegate, Seams seams)
    : fileManager_(std::move(fileManager)),
      delegate_(delegate != nullptr ? delegate : &defaultDelegate_),
      seams_(std::move(seams)),
      queue_(std::make_shared<kit::OperationQueue>("com.quillon.wreckord.mac.work-queue")) {
    queue_->setMaxConcurrentOperationCount(1);
    WRKNetworkClient::Seams network = seams_.network;
    if (!network.clock) {
        network.clock = seams_.clock;
    }
    if (!network.debug) {
        network.debug = seams_.debug;
    }
    networkClient_ = std::make_unique<WRKNetworkClient>(
        queue_, fileManager_, static_cast<WRKNetworkClientDelegate*>(this), std::move(network));
}

WRKCrashReportingController::~WRKCrashReportingController() {
    for (const kit::NotificationCenter::Token token : activeTokens_) {
        kit::NotificationCenter::defaultCenter().removeObserver(token);
    }
    alive_.reset();
    queue_->cancelAllOperations();
    queue_->waitUntilAllOperationsAreFinished();
    networkClient_.reset();
    queue_->waitUntilAllOperationsAreFinished();
    if (runLock_ >= 0) {
        ::close(runLock_);
    }
}

kit::Clock& WRKCrashReportingController::clock() const {
    return seams_.clock != nullptr ? *seams_.clock : kit::Clock::shared();
}

bool WRKCrashReportingController::debugging() const {
    return seams_.debug ? seams_.debug() : kit::Trellis::sharedSDK().debug();
}

void WRKCrashReportingController::enqueue(std::function<void()> work) {
    std::weak_ptr<Token> weak = alive_;
    queue_->addOperation([this, weak, work = std::move(work)] {
        const auto alive = weak.lock();
        if (!alive) {
            return;
        }
        {
            std::lock_guard lock(workMutex_);
            if (quitting_) {
                return;  // what it would have done waits for the next start
            }
            ++working_;
        }
        work();
        std::lock_guard lock(workMutex_);
        --working_;
        workDone_.notify_all();
    });
}

void WRKCrashReportingController::applicationWillTerminate(std::chrono::milliseconds wait) {
    {
        std::lock_guard lock(workMutex_);
        quitting_ = true;
    }
    queue_->cancelAllOperations();
    {
        std::lock_guard lock(mutex_);
        if (reportsController_) {
            reportsController_->stop();
        }
    }
    std::unique_lock lock(workMutex_);
    if (!workDone_.wait_for(lock, wait, [this] { return working_ == 0; })) {
        kit::log("[Wreckord:Crash] Quitting while a report is handled; it is whole on disk");
    }
}

void WRKCrashReportingController::onMain(std::function<void()> work) {
    std::weak_ptr<Token> weak = alive_;
    kit::DispatchQueue::main().async([weak, work = std::move(work)] {
        if (const auto alive = weak.lock()) {
            work();
        }
    });
}

const WRKSettings& WRKCrashReportingController::settings() {
    std::lock_guard lock(mutex_);
    if (!settings_) {
        settings_ = delegate_->settingsForCrashReportingController();
    }
    return *settings_;
}

WRKReportsController& WRKCrashReportingController::reportsController() {
    std::lock_guard lock(mutex_);
    if (!reportsController_) {
        reportsController_ = std::make_unique<WRKReportsController>(
            queue_, static_cast<WRKReportsControllerDelegate*>(this), networkClient_.get(),
            fileManager_, [this] { return debugging(); });
    }
    return *reportsController_;
}

bool WRKCrashReportingController::needsToPrompt() {
    const PromptChoice choice = promptChoice_;
    if (choice == Send || choice == AlwaysSend) {
        return false;
    }
    return settings().userPromptEnabled();
}

bool WRKCrashReportingController::canAskTheUser() {
    if (delegate_->reportingControllerMustInformDelegateOfReports()) {
        return true;
    }
    std::lock_guard lock(promptMutex());
    return static_cast<bool>(promptSlot());
}

bool WRKCrashReportingController::canProcessUrgentReports() {
    return settings().canProcessUrgentReports() && !needsToPrompt() &&
           !delegate_->reportingControllerMustInformDelegateOfReports();
}

std::uint32_t WRKCrashReportingController::machExceptionMask() {
    std::uint32_t mask = 0;
    for (const int signal : WRKFatalSignals) {
        if (delegate_->reportingControllerEnsureDeliveryOfUnixSignal(signal)) {
            mask |= WRKMachExceptionMaskForSignal(signal);
        }
    }
    return mask;
}

fs::path WRKCrashReportingController::launchMarkerPath() const {
    return fileManager_.structurePath() / WRKLaunchMarkerName;
}

void WRKCrashReportingController::createLaunchMarker() const {
    const int fd =
        ::open(launchMarkerPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ::close(fd);
    }
}

fs::path WRKCrashReportingController::lockPathForRun(const std::string& name) const {
    return fileManager_.structurePath() / ".locks" / (name + ".lock");
}

bool WRKCrashReportingController::lockCurrentRun(const std::string& name) {
    std::error_code ec;
    fs::create_directories(lockPathForRun(name).parent_path(), ec);
    const int fd = ::open(lockPathForRun(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        kit::log("[Wreckord:Crash] Unable to lock the run's report folder " + name);
        return false;
    }
    runLock_ = fd;
    return true;
}

bool WRKCrashReportingController::isRunFolderInUse(const fs::path& folder) const {
    const fs::path lock = lockPathForRun(folder.filename().string());
    const int fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (!held) {
        // The run that held it has ended: its lock file goes before its folder is handled.
        ::unlink(lock.c_str());
    }
    ::close(fd);
    return held;
}

bool WRKCrashReportingController::start(const WRKCaptureIdentity& identity, WRKProfileMark mark) {
    identity_ = identity;
    if (identity.bundleIdentifier.empty()) {
        kit::log("[Wreckord] An application must have a valid bundle idenifier in its Info.plist");
        return false;
    }
    if (!settings().crashReportingEnabled()) {
        kit::log("[Wreckord:Crash] Reporting is disabled");
        fileManager_.removeContentsOfAllPaths();
        return false;
    }
    enqueue([this] { fileManager_.removeLegacyDirectories(); });
    queue_->waitUntilAllOperationsAreFinished();
    // The quit stops report handling, within its part of the quit's second.
    activeTokens_.push_back(kit::NotificationCenter::defaultCenter().addObserver(
        WRKApplicationWillTerminateNotification,
        [this] { applicationWillTerminate(kWRKQuitWait); }));
    if (!fileManager_.prepareForNewLaunch()) {
        return false;
    }
    const bool urgent = fs::exists(launchMarkerPath());
    if (urgent) {
        if (debugging()) {
            kit::log(
                "[Wreckord:Crash] Last launch failed: this may indicate a crash shortly after app "
                "launch.");
        }
    } else {
        createLaunchMarker();
    }
    // The current run's lock is taken before its folder exists, so that no other instance
    // ever sees the folder unlocked.
    std::vector<fs::path> earlier;
    createLaunchMarker();
    if (lockCurrentRun(identity.executionIdentifier)) {
        earlier = fileManager_.activePathContents();
        current_ = fileManager_.setupNewPathForExecutionIdentifier(identity.executionIdentifier);
    }
    if (!current_) {
        kit::log("[Wreckord:Crash] Unable to setup a new report");
    } else if (!startCrashReporter(identity, *current_)) {
        kit::log("[Wreckord:Crash] Unable to start crash reporter");
        current_.reset();
    }
    // A marker still there at the next launch means this run ended before its first turn of
    // the main queue.
    onMain([this, mark] {
        std::error_code ec;
        fs::remove(launchMarkerPath(), ec);
        const std::string seconds = WRKNumberText(WRKProfileEnd(mark) / 1000.0);
        WRKUserLoggingRecordInternalKeyValue(WRKFirstRunLoopTimeKey, seconds.c_str());
    });
    for (const fs::path& folder : earlier) {
        if (folder.filename() == identity.executionIdentifier) {
            continue;
        }
        if (isRunFolderInUse(folder)) {
            kit::log("[Wreckord:Crash] Leaving " + folder.string() +
                     " alone: another instance is running with it");
            continue;
        }
        processExistingActiveReport(folder, urgent);
    }
    processExistingProcessingReports();
    processExistingPreparedReports();
    const std::string seconds = WRKNumberText(WRKProfileEnd(mark) / 1000.0);
    WRKUserLoggingRecordInternalKeyValue(WRKKitStartTimeKey, seconds.c_str());
    return current_.has_value();
}

void WRKCrashReportingController::processExistingActiveReport(const fs::path& folder, bool urgent) {
    std::optional<WRKInternalReport> report =
        WRKInternalReport::withPath(folder, folder.filename().string());
    if (!report) {
        return;
    }
    if (!report->needsToBeSubmitted()) {
        enqueue([this, path = report->path()] { fileManager_.removeItemAtPath(path); });
        return;
    }
    delegate_->reportingControllerInternalDidDetectReportForLastExecution(*report);
    if (urgent && canProcessUrgentReports()) {
        reportsController().prepareAndSubmitReport(*report, true, true);
        return;
    }
    std::weak_ptr<Token> weak = alive_;
    delegate_->reportingControllerDidDetectReportForLastExecution(
        *report, [this, weak, report = *report](bool submitIt) {
            if (!weak.lock()) {
                return;
            }
            enqueue([this, report, submitIt] {
                if (!submitIt) {
                    if (debugging()) {
                        kit::log("[Wreckord:Crash] Removing report at request of delegate");
                    }
                    fileManager_.removeItemAtPath(report.path());
                } else if (needsToPrompt()) {
                    displayPermissionAlertForReport(report);
                } else {
                    submit(report);
                }
            });
        });
}

void WRKCrashReportingController::submit(const WRKInternalReport& report) {
    reportsController().prepareAndSubmitReport(report, false, true);
}

void WRKCrashReportingController::processExistingProcessingReports() {
    enqueue([this] {
        fileManager_.removeDiscardedItemsInDirectory(fileManager_.processingPath());
        for (const fs::path& folder : fileManager_.processingPathContents()) {
            if (auto report = WRKInternalReport::withPath(folder, folder.filename().string())) {
                // Left by a quit midway through its symbolication: done again (the mark goes
                // first, so that a crash while doing it does not bring it back every start).
                std::error_code ec;
                const bool again = fs::remove(folder / WRKReportSymbolicateAgainFile, ec);
                reportsController().prepareAndSubmitReport(*report, false, again);
            }
        }
    });
}

void WRKCrashReportingController::processExistingPreparedReports() {
    networkClient_->attemptToReconnectBackgroundSessionWithCompletionBlock([this] {
        enqueue([this] {
            for (const fs::path& file : fileManager_.preparedPathContents()) {
                std::error_code ec;
                if (fs::exists(file, ec)) {
                    reportsController().uploadPackagedReportAtPath(file, false);
                }
            }
        });
    });
}

void WRKCrashReportingController::displayPermissionAlertForReport(const WRKInternalReport& report) {
    WRKPromptTexts texts;
    texts.title = settings().interactivePromptTitle();
    texts.message = settings().interactivePromptMessage();
    texts.cancel = settings().interactivePromptCancelTitle();
    texts.send = settings().interactivePromptSendTitle();
    texts.alwaysSend = settings().interactivePromptAlwaysSendTitle();
    if (debugging()) {
        kit::log("[Wreckord:Crash] Displaying permission alert");
    }
    onMain([this, texts, report] {
        waitingForPrompt_.emplace_back(report, texts);
        showNextPrompt();
    });
}

// On the main queue. One question at a time: the answer to the first may settle the rest.
void WRKCrashReportingController::showNextPrompt() {
    while (!promptOpen_ && !waitingForPrompt_.empty()) {
        // Named members, not a structured binding: the answer's closures capture the report.
        const auto next = waitingForPrompt_.front();
        waitingForPrompt_.pop_front();
        const WRKInternalReport& report = next.first;
        const WRKPromptTexts& texts = next.second;
        const PromptChoice choice = promptChoice_;
        if (choice == Send || choice == AlwaysSend) {
            permissionAnswered(report, true);
            continue;
        }
        if (choice == Declined) {
            permissionAnswered(report, false);
            continue;
        }
        WRKPermissionPrompt prompt;
        {
            std::lock_guard lock(promptMutex());
            prompt = promptSlot();
        }
        if (!prompt) {
            kit::log("[Wreckord:Crash] No way to ask the user; the report at " +
                     report.path().string() + " waits for a later run");
            continue;
        }
        promptOpen_ = true;
        std::weak_ptr<Token> weak = alive_;
        prompt(texts, [this, weak, report](bool submitIt, bool always) {
            if (!weak.lock()) {
                return;
            }
            onMain([this, report, submitIt, always] {
                promptChoice_ = !submitIt ? Declined : always ? AlwaysSend : Send;
                promptOpen_ = false;
                permissionAnswered(report, submitIt);
                showNextPrompt();
            });
        });
    }
}

void WRKCrashReportingController::permissionAnswered(const WRKInternalReport& report,
                                                     bool submitIt) {
    enqueue([this, report, submitIt] {
        if (!submitIt) {
            if (debugging()) {
                kit::log("[Wreckord:Crash] Removing report at request of user");
            }
            fileManager_.removeItemAtPath(report.path());
            return;
        }
        submit(report);
    });
}

bool WRKCrashReportingController::networkClientCanUseBackgroundSessions() {
    return delegate_->reportingControllerCanUseBackgroundSessions();
}

void WRKCrashReportingController::networkClientDidFinishUpload(
    const fs::path& path, const std::optional<kit::KitError>& error) {
    reportsController().reportUploadAtPathCompletedWithError(path, error);
}

void WRKCrashReportingController::reportsControllerDidCompletePackageSubmission(
    const fs::path& path, const std::optional<kit::KitError>& error) {
    if (!error) {
        if (debugging()) {
            kit::log("[Wreckord:Crash] report submission successful");
        }
        return;
    }
    if (debugging()) {
        kit::log("[Wreckord:Crash] report submission failed with error " + kit::describe(*error));
    }
    const std::string description = kit::describe(*error);
    WRKSDKLogWarn("Error: failed to submit report '%s'\n", description.c_str());
    std::weak_ptr<Token> weak = alive_;
    kit::DispatchQueue::global().after(clock(), kRetryDelay, [this, weak, path] {
        if (!weak.lock()) {
            return;
        }
        enqueue([this, path] {
            if (debugging()) {
                kit::log("[Wreckord:Crash] re-attempting report submission");
            }
            reportsController().uploadPackagedReportAtPath(path, false);
        });
    });
}

bool WRKCrashReportingController::startCrashReporter(const WRKCaptureIdentity& identity,
                                                     const fs::path& folder) {
    const WRKSettings& config = settings();
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
    data.machExceptionMask = machExceptionMask();
    data.errorsEnabled = config.errorReportingEnabled();
    data.customExceptionsEnabled = config.customExceptionsEnabled();
    data.maxCustomExceptions = config.maxCustomExceptions();
    data.errorLogBufferSize = config.errorLogBufferSize();
    data.logBufferSize = config.logBufferSize();
    data.maxKeyValues = config.maxCustomKeys();
    if (delegate_->shouldInstallCrashCallback()) {
        data.crashCallback = [](void* context) {
            static_cast<WRKCrashReportingControllerDelegate*>(context)->detectedCrash();
        };
        data.crashCallbackContext = delegate_;
    }
    if (!WRKContextInitialize(&data)) {
        return false;
    }
    WRKUserLoggingRecordInternalKeyValue(WRKInBackgroundKey, "0");
    // Either spelling of each change: the application posts one of them.
    kit::NotificationCenter& center = kit::NotificationCenter::defaultCenter();
    for (const char* name :
         {WRKApplicationWillBecomeActiveNotification, WRKApplicationDidBecomeActiveNotification}) {
        activeTokens_.push_back(center.addObserver(
            name, [] { WRKUserLoggingRecordInternalKeyValue(WRKInBackgroundKey, "0"); }));
    }
    for (const char* name :
         {WRKApplicationDidResignActiveNotification, WRKApplicationWillResignActiveNotification}) {
        activeTokens_.push_back(center.addObserver(
            name, [] { WRKUserLoggingRecordInternalKeyValue(WRKInBackgroundKey, "1"); }));
    }
    // Something started after the kit may have put its own handlers in front of ours; by
    // now the application's start-up is mostly done. The check holds nothing of this object.
    const bool askingWithNoOneToAsk = config.userPromptEnabled() && !canAskTheUser();
    kit::DispatchQueue::global().after(clock(), kWRKHandlerCheckDelay, [askingWithNoOneToAsk] {
        WRKExceptionCheckHandlers();
        WRKSignalCheckHandlers();
        if (askingWithNoOneToAsk) {
            kit::log(
                "[Wreckord:Crash] The service asks that the user agree before each crash "
                "report is sent, and this program has no way to ask: reports are kept, not "
                "sent.");
        }
    });
    return true;
}

}  // namespace talvor::crash
