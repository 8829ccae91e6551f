#pragma once

#include <QApplication>
#include <QString>

class QThread;

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace talvor {

class AlarmEditor;
class AlarmMenuController;
class TalvorChimeSettings;
class TalvorDateSettings;
class TalvorTimeSettings;

// A job that runs once, on a thread of its own when started, or on the caller's thread
// when finished without having been started; finish() returns once it has run.
class OnceInTheBackground {
  public:
    explicit OnceInTheBackground(std::function<void()> job);
    ~OnceInTheBackground();
    OnceInTheBackground(const OnceInTheBackground&) = delete;
    OnceInTheBackground& operator=(const OnceInTheBackground&) = delete;

    // Starts the job on its thread and returns at once; nothing when it has run or runs.
    void start();
    // Waits for the started job, or runs it now when never started.
    void finish();

  private:
    std::function<void()> job_;
    std::unique_ptr<QThread> thread_;
};

// The application: it carries the settings objects the whole program reaches through it,
// and hands the active alarms over from one run to the next (restored at launch, archived
// and mirrored into scheduled notifications at quit). An exception that escapes an event
// handler goes to the application's exception reporter (the crash kit puts its own in front
// when "NSApplicationCrashOnExceptions" is on); then the application ends when that setting
// is on, and goes on otherwise.
class TalvorNSApplication : public QApplication {
    Q_OBJECT
  public:
    TalvorNSApplication(int& argc, char** argv);
    ~TalvorNSApplication() override;

    static TalvorNSApplication* instance();

    bool notify(QObject* receiver, QEvent* event) override;
    // The application's own reporter: logs the exception, and ends the process when it
    // crashes on exceptions.
    static void reportException(const char* name, const char* reason,
                                const std::uintptr_t* returnAddresses, std::size_t count);
    // "NSApplicationCrashOnExceptions" of the standard user defaults.
    static bool crashesOnExceptions();

    // The launch work of the application itself: restores the active alarms and refreshes
    // the alarm item. Clearing the notifications scheduled at the last quit waits for
    // handOverScheduledNotifications(), which the delegate calls once the strip is drawn.
    void finishLaunching();
    // Clears the notifications scheduled at the last quit, once, on a thread of its own:
    // the user's service manager may take most of a second to answer each question. A quit
    // waits for it (or does it first), so that the clearing never undoes the quit's own.
    void handOverScheduledNotifications();
    // The one way out: closes the open dialogs as cancelled, archives and mirrors the
    // alarms (a desktop notification names those the service manager did not take), then
    // ends every event loop, nested ones included. The Quit command, a
    // shutdown of the machine and termination signals come here. Asked before the main
    // loop runs, it is remembered: main then does not enter the loop at all.
    void terminate();
    bool terminationRequested() const { return terminating_; }

    void storeActiveAlarms();
    void restoreActiveAlarms();
    // Forwards the alarm editor to the alarm menu controller.
    void SetAlarmPrefSetControllerDelegate(AlarmEditor* alarmSetController);

    // "<executable> v<version> is running on <system>" in the log; returns the executable name.
    QString ouputRunningInfo();

    TalvorChimeSettings* theChimeSettings() const { return theChimeSettings_.get(); }
    void setTheChimeSettings(std::unique_ptr<TalvorChimeSettings> settings);
    TalvorDateSettings& theDateSettings() const;
    TalvorTimeSettings& theTimeSettings() const;
    AlarmMenuController& amc() const;

  private:
    std::unique_ptr<TalvorChimeSettings> theChimeSettings_;
    bool terminating_ = false;
    std::unique_ptr<OnceInTheBackground> handOver_;
};

}  // namespace talvor
