#include "TalvorNSApplication.h"

#include "alarms/ActiveAlarms.h"
#include "alarms/AlarmMenuController.h"
#include "alarms/Clock.h"
#include "alarms/TalvorChimeSettings.h"
#include "alarms/UsersNotificationManager.h"
#include "crash/CrashKeys.h"
#include "crash/WRKException.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Log.h"
#include "platform/OpenDialogs.h"
#include "platform/Preferences.h"
#include "platform/TalvorException.h"
#include "platform/UserDefaults.h"

#include <QFileInfo>
#include <QSysInfo>
#include <QThread>

#include <cxxabi.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace talvor {

OnceInTheBackground::OnceInTheBackground(std::function<void()> job) : job_(std::move(job)) {}

OnceInTheBackground::~OnceInTheBackground() {
    if (thread_) {
        thread_->wait();
    }
}

void OnceInTheBackground::start() {
    if (job_ && !thread_) {
        // A QThread, not a bare one: the job may start processes, which want its dispatcher.
        thread_.reset(QThread::create(std::exchange(job_, nullptr)));
        thread_->start();
    }
}

void OnceInTheBackground::finish() {
    if (thread_) {
        thread_->wait();
    } else if (const std::function<void()> job = std::exchange(job_, nullptr)) {
        job();
    }
}

namespace {

// The notice of alarms left behind is sent right before the process ends: long enough for
// the notification service to take it, short against the quit.
constexpr int kQuitNoticeWaitMs = 500;

// What escaped: its name and text as the crash record keeps them, and the throw site when
// our own exception base class took it.
void reportEscapedException() {
    std::string name;
    std::string reason;
    if (!crash::WRKExceptionDescribeCurrent(&name, &reason)) {
        return;
    }
    std::vector<std::uintptr_t> throwSite;
    try {
        throw;
    } catch (const TalvorException& exception) {
        throwSite.assign(exception.throwSite().begin(), exception.throwSite().end());
    } catch (...) {
    }
    const crash::WRKApplicationExceptionReporter reporter =
        crash::WRKApplicationGetExceptionReporter();
    if (reporter != nullptr) {
        reporter(name.c_str(), reason.c_str(), throwSite.empty() ? nullptr : throwSite.data(),
                 throwSite.size());
    } else {
        TalvorNSApplication::reportException(name.c_str(), reason.c_str(), nullptr, 0);
    }
}

}  // namespace

TalvorNSApplication::TalvorNSApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Before the crash kit starts: it looks for an application and its setting then.
    crash::WRKApplicationSetCrashOnExceptionsReader(&TalvorNSApplication::crashesOnExceptions);
    crash::WRKApplicationSetExceptionReporter(&TalvorNSApplication::reportException);
    crash::WRKApplicationSetPresent(true);
}

TalvorNSApplication::~TalvorNSApplication() {
    crash::WRKApplicationSetPresent(false);
    if (handOver_) {
        handOver_->finish();
    }
}

bool TalvorNSApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (abi::__forced_unwind&) {
        throw;  // a thread being cancelled must go on unwinding
    } catch (...) {
        reportEscapedException();
        return false;
    }
}

void TalvorNSApplication::reportException(const char* name, const char* reason,
                                          const std::uintptr_t*, std::size_t) {
    platform::log(QStringLiteral("An exception escaped an event handler: %1: %2")
                      .arg(QString::fromUtf8(name != nullptr ? name : ""),
                           QString::fromUtf8(reason != nullptr ? reason : "")));
    if (crashesOnExceptions()) {
        platform::log(QStringLiteral("Ending on the exception (%1 is on)")
                          .arg(QLatin1String(keys::NSApplicationCrashOnExceptions)));
        std::abort();
    }
}

bool TalvorNSApplication::crashesOnExceptions() {
    return platform::UserDefaults::standard().boolForKey(
        QString::fromLatin1(keys::NSApplicationCrashOnExceptions));
}

TalvorNSApplication* TalvorNSApplication::instance() {
    return qobject_cast<TalvorNSApplication*>(QCoreApplication::instance());
}

void TalvorNSApplication::finishLaunching() {
    restoreActiveAlarms();
    // Nothing touches the notification centre until the quit has waited for this.
    handOver_ = std::make_unique<OnceInTheBackground>(
        [] { UsersNotificationManager::synchronizeWithAlarms({}); });
    amc().updateStatusView();
}

void TalvorNSApplication::handOverScheduledNotifications() {
    if (handOver_) {
        handOver_->start();
    }
}

void TalvorNSApplication::terminate() {
    if (terminating_) {
        return;
    }
    terminating_ = true;
    // A quit before the strip's first frame ends the hold on the settings' writes: while held,
    // a save below would count as done with nothing on disk, and a file that then cannot be
    // written would take the alarms with it instead of having them kept aside.
    platform::Preferences::releaseWrites();
    // First, so that what their cancel branches change is saved with the rest.
    platform::closeOpenPopups();
    platform::closeOpenDialogs();
    // Before the alarms are mirrored, so that clearing the last run's never undoes it.
    if (handOver_) {
        handOver_->finish();
    }
    storeActiveAlarms();
    const ScheduleOutcome handOver =
        UsersNotificationManager::synchronizeWithAlarms(Clock::sharedClock().allAlarms());
    // The program can still say which alarms will stay silent; the log alone would not.
    if (const std::optional<UserNotification> notice =
            UsersNotificationManager::noticeOfAlarmsNotScheduled(handOver)) {
        showDesktopNotification(*notice, kQuitNoticeWaitMs);
    }
    // Not quit(): that first asks every window to close and gives up when one refuses,
    // and does nothing at all before the main loop runs.
    QCoreApplication::exit(0);
}

void TalvorNSApplication::storeActiveAlarms() {
    talvor::storeActiveAlarms();
}

void TalvorNSApplication::restoreActiveAlarms() {
    talvor::restoreActiveAlarms();
}

void TalvorNSApplication::SetAlarmPrefSetControllerDelegate(AlarmEditor* alarmSetController) {
    amc().setAlarmSetController(alarmSetController);
}

QString TalvorNSApplication::ouputRunningInfo() {
    QString executable = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    platform::log(QStringLiteral("%1 v%2 is running on %3")
                      .arg(executable, QCoreApplication::applicationVersion(),
                           QSysInfo::prettyProductName()));
    return executable;
}

void TalvorNSApplication::setTheChimeSettings(std::unique_ptr<TalvorChimeSettings> settings) {
    theChimeSettings_ = std::move(settings);
}

TalvorDateSettings& TalvorNSApplication::theDateSettings() const {
    return TalvorDateSettings::sharedInstance();
}

TalvorTimeSettings& TalvorNSApplication::theTimeSettings() const {
    return TalvorTimeSettings::sharedInstance();
}

AlarmMenuController& TalvorNSApplication::amc() const {
    return AlarmMenuController::mainMenuController();
}

}  // namespace talvor
