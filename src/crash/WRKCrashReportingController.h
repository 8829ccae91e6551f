#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "crash/WRKContext.h"
#include "crash/WRKFileManager.h"
#include "crash/WRKInternalReport.h"
#include "crash/WRKNetworkClient.h"
#include "crash/WRKProfiling.h"
#include "crash/WRKReportsController.h"
#include "crash/WRKSettings.h"
#include "kit/KitClock.h"
#include "kit/Operation.h"

// Crash reporting for one process. At start it decides whether the previous run died
// before its first turn of the main queue (the launch marker), makes the current run's
// folder (active/<execution id>, held by a lock for the run's life so that a second
// instance leaves it alone) and starts the capture into it. Folders earlier runs left move
// through processing (symbolication) and packaging into "prepared" and are uploaded, after
// asking the application's delegate or the user where required. Two seconds after a
// successful start it checks once that its handlers are still the ones in place. All
// report handling runs on one work queue, one item at a time.
namespace talvor::crash {

// What the capture needs to know of the kit host and the application.
struct WRKCaptureIdentity {
    std::string apiKey;
    std::string installID;
    std::string executionIdentifier;
    bool firstInstall = false;
    std::string bundleIdentifier;
    std::string bundleVersion;
    std::string shortBundleVersion;
};

// The controller's questions to its owner; every answer has a default.
class WRKCrashReportingControllerDelegate {
  public:
    virtual ~WRKCrashReportingControllerDelegate() = default;
    virtual WRKSettings settingsForCrashReportingController() { return WRKSettings::current(); }
    virtual bool reportingControllerMustInformDelegateOfReports() { return false; }
    virtual bool reportingControllerCanUseBackgroundSessions() { return true; }
    virtual bool reportingControllerEnsureDeliveryOfUnixSignal(int /*signal*/) { return false; }
    // Every report of an earlier run that is worth sending, as it is found (start thread).
    virtual void reportingControllerInternalDidDetectReportForLastExecution(
        const WRKInternalReport& /*report*/) {}
    // Whether to send it (true) or delete it (false); `completion` may be called later, from
    // any thread.
    virtual void reportingControllerDidDetectReportForLastExecution(
        // NOLINTNEXTLINE(performance-unnecessary-value-param): overriders keep the completion
        const WRKInternalReport& /*report*/, std::function<void(bool submit)> completion) {
        completion(true);
    }
    virtual bool shouldInstallCrashCallback() { return false; }
    // On the crashing thread, inside the signal handler.
    virtual void detectedCrash() {}
};

// The texts of the question before a report is sent; no always-send text: two buttons.
struct WRKPromptTexts {
    std::string title, message, cancel, send, alwaysSend;
};
// Shows the question without blocking and calls `answer` at most once (on any thread) with
// whether to send and whether always to send for this run. No answer (the dialog closed
// without a choice) leaves the report for the next run and asks nothing more this run.
using WRKPermissionPrompt = std::function<void(
    const WRKPromptTexts& texts, std::function<void(bool submit, bool always)> answer)>;

struct WRKCrashReportingControllerSeams {
    kit::Clock* clock = nullptr;  // the shared clock when none
    WRKNetworkClientSeams network;
    // Whether the kit host's debug flag is on; the host's own when empty.
    std::function<bool()> debug;
};

class WRKCrashReportingController final : private WRKNetworkClientDelegate,
                                          private WRKReportsControllerDelegate {
  public:
    // The user's choice at the prompt, for this run only.
    enum PromptChoice : std::int64_t { NotAsked = 0, Declined = 1, Send = 2, AlwaysSend = 3 };
    inline static const std::chrono::seconds kRetryDelay{600};

    using Seams = WRKCrashReportingControllerSeams;

    // `delegate` (none: the defaults above) must outlive the controller; `clock` times the
    // check after the start and the retries.
    explicit WRKCrashReportingController(WRKFileManager fileManager,
                                         WRKCrashReportingControllerDelegate* delegate = nullptr,
                                         Seams seams = {});
    // Drops what is queued and waits for the work item that runs.
    ~WRKCrashReportingController() override;
    WRKCrashReportingController(const WRKCrashReportingController&) = delete;
    WRKCrashReportingController& operator=(const WRKCrashReportingController&) = delete;

    // True when the current run has a report folder and its capture started. `mark` is when
    // the kit's start began; the time since then is kept with the run's record.
    bool start(const WRKCaptureIdentity& identity, WRKProfileMark mark);
    // The program quits (the kit host's quit notice, on the quitting thread): queued report
    // work is dropped for the next start, the symbolication or packaging under way stops at
    // its next step, and this waits at most `wait` for it. Reports stay whole on disk either
    // way (see WRKReportsController::stop).
    void applicationWillTerminate(std::chrono::milliseconds wait);
    const WRKFileManager& fileManager() const { return fileManager_; }
    // The current run's report folder, once made.
    const std::optional<std::filesystem::path>& currentReportPath() const { return current_; }
    const std::shared_ptr<kit::OperationQueue>& operationQueue() const { return queue_; }
    const WRKSettings& settings();
    PromptChoice promptChoice() const { return promptChoice_; }

    // The application's question before sending (the shell's dialog); none: a report that
    // needs the user's word stays where it is.
    static void setPermissionPrompt(WRKPermissionPrompt prompt);

    bool needsToPrompt();
    // Whether anyone can answer that question: the application's delegate or its dialog.
    bool canAskTheUser();
    bool canProcessUrgentReports();
    std::uint32_t machExceptionMask();
    // The lock file of the run folder named `name` (in a hidden folder beside "active").
    std::filesystem::path lockPathForRun(const std::string& name) const;
    // Whether a live run holds the lock of that folder.
    bool isRunFolderInUse(const std::filesystem::path& folder) const;

  private:
    struct Token {};

    bool startCrashReporter(const WRKCaptureIdentity& identity,
                            const std::filesystem::path& folder);
    void createLaunchMarker() const;
    std::filesystem::path launchMarkerPath() const;
    bool lockCurrentRun(const std::string& name);
    void processExistingActiveReport(const std::filesystem::path& folder, bool urgent);
    void processExistingProcessingReports();
    void processExistingPreparedReports();
    void displayPermissionAlertForReport(const WRKInternalReport& report);
    void showNextPrompt();
    void permissionAnswered(const WRKInternalReport& report, bool submit);
    void submit(const WRKInternalReport& report);
    WRKReportsController& reportsController();
    bool debugging() const;
    kit::Clock& clock() const;
    // Runs `work` on the work queue while the controller lives.
    void enqueue(std::function<void()> work);
    void onMain(std::function<void()> work);

    // WRKNetworkClientDelegate
    bool networkClientCanUseBackgroundSessions() override;
    void networkClientDidFinishUpload(const std::filesystem::path& path,
                                      const std::optional<kit::KitError>& error) override;
    // WRKReportsControllerDelegate
    const WRKSettings& settingsForReportsController() override { return settings(); }
    std::string APIKeyForReportsController() override { return identity_.apiKey; }
    std::string bundleIdentifierForReportsController() override {
        return identity_.bundleIdentifier;
    }
    void reportsControllerDidCompletePackageSubmission(
        const std::filesystem::path& path, const std::optional<kit::KitError>& error) override;

    WRKFileManager fileManager_;
    WRKCrashReportingControllerDelegate defaultDelegate_;
    WRKCrashReportingControllerDelegate* delegate_;
    Seams seams_;
    std::shared_ptr<kit::OperationQueue> queue_;
    std::shared_ptr<Token> alive_ = std::make_shared<Token>();
    std::unique_ptr<WRKNetworkClient> networkClient_;
    std::mutex mutex_;  // guards settings_ and reportsController_
    std::optional<WRKSettings> settings_;
    std::unique_ptr<WRKReportsController> reportsController_;
    std::atomic<PromptChoice> promptChoice_{NotAsked};
    std::mutex workMutex_;  // guards the two below
    bool quitting_ = false;
    int working_ = 0;  // work items running on the work queue
    std::condition_variable workDone_;
    WRKCaptureIdentity identity_;
    std::optional<std::filesystem::path> current_;
    int runLock_ = -1;
    std::vector<std::uint64_t> activeTokens_;
    // Main queue only: reports waiting for the user's word, and whether a question is open.
    std::deque<std::pair<WRKInternalReport, WRKPromptTexts>> waitingForPrompt_;
    bool promptOpen_ = false;
};

// The host facts of this machine (model, machine, processor, system versions, locale).
struct WRKHostFactsText {
    std::string model;
    std::string machine;
    std::string cpu;
    std::string osBuildVersion;
    std::string osDisplayVersion;
    std::string locale;
};
WRKHostFactsText WRKHostCurrentFacts();

// The delay between a start and the check of the handlers.
inline constexpr std::chrono::seconds kWRKHandlerCheckDelay{2};
// How long a quit waits for report work to stop: its share of the quit's second, beside
// the analytics' (kit/HostApplication.h).
inline constexpr std::chrono::milliseconds kWRKQuitWait{150};
// Internal keys: seconds from the start of the kit to the end of the controller's start,
// and to the first turn of the main queue; whether the application is in the background.
inline constexpr char WRKKitStartTimeKey[] = "com.wreckord.kit-start-time";
inline constexpr char WRKFirstRunLoopTimeKey[] = "com.wreckord.first-run-loop-time";
inline constexpr char WRKInBackgroundKey[] = "com.wreckord.in-background";
inline constexpr char WRKLaunchMarkerName[] = "launchmarker";
// Posted by the application (kit notification centre) as it comes to the front or leaves
// it; the run's record keeps whether it was in the background.
inline constexpr char WRKApplicationWillBecomeActiveNotification[] =
    "NSApplicationWillBecomeActiveNotification";
inline constexpr char WRKApplicationDidBecomeActiveNotification[] =
    "NSApplicationDidBecomeActiveNotification";
inline constexpr char WRKApplicationDidResignActiveNotification[] =
    "NSApplicationDidResignActiveNotification";
inline constexpr char WRKApplicationWillResignActiveNotification[] =
    "NSApplicationWillResignActiveNotification";
inline constexpr char WRKApplicationWillTerminateNotification[] =
    "NSApplicationWillTerminateNotification";
// A number as the record keeps it: the shortest text that reads back as the same value.
std::string WRKNumberText(double value);

}  // namespace talvor::crash
