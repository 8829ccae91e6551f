#include "TalvorNSApplication.h"

#include "alarms/ActiveAlarms.h"
#include "alarms/AlarmMenuController.h"
#include "alarms/Clock.h"
#include "alarms/TalvorChimeSettings.h"
#include "alarms/UsersNotificationManager.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Log.h"
#include "platform/OpenDialogs.h"

#include <QFileInfo>
#include <QSysInfo>
#include <QThread>

#include <utility>

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

TalvorNSApplication::TalvorNSApplication(int& argc, char** argv) : QApplication(argc, argv) {}

TalvorNSApplication::~TalvorNSApplication() {
    if (handOver_) {
        handOver_->finish();
    }
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
    // First, so that what their cancel branches change is saved with the rest.
    platform::closeOpenPopups();
    platform::closeOpenDialogs();
    // Before the alarms are mirrored, so that clearing the last run's never undoes it.
    if (handOver_) {
        handOver_->finish();
    }
    storeActiveAlarms();
    UsersNotificationManager::synchronizeWithAlarms(Clock::sharedClock().allAlarms());
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

void TalvorNSApplication::SetAlarmPrefSetControllerDelegate(QObject* alarmSetController) {
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
