#pragma once

#include "alarms/Alarm.h"
#include "foundation/PreferenceDomain.h"
#include "platform/PlistPreferenceStore.h"
#include "platform/Preferences.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/types.h>
#include <unistd.h>
#include <csignal>

namespace talvor::test {

// What the test driver (talvor-test-driver, driver/TestDriver.cpp) does in the program it
// starts: an action and the driver's options for it ("--day=10").
struct DriverAction {
    QString name;
    QStringList options = {};
};

// A running copy of the application in the sandbox's home: offscreen and without the move
// offer, or on the display as a user starts it from the build tree, or as a native client of
// the Wayland compositor WAYLAND_DISPLAY names (no X display to fall back on). The product itself,
// or the test driver where the test needs an action done inside the program.
class RunningTalvor {
  public:
    enum Where { Offscreen, OnDisplay, OnDisplayWithoutMoveOffer, OnWayland };
    // `executable`: another copy of the program (an upgraded or second install).
    explicit RunningTalvor(Where where = Offscreen,
                           const QString& executable = QStringLiteral(TALVOR_EXECUTABLE)) {
        start(where, executable, {});
    }
    // The driver at `driver` (a copy of it beside a moved program), doing `action`.
    RunningTalvor(Where where, const DriverAction& action,
                  const QString& driver = QStringLiteral(TALVOR_TEST_DRIVER)) {
        start(where, driver, QStringList{action.name} + action.options);
    }
    ~RunningTalvor() {
        if (app_.state() != QProcess::NotRunning) {
            app_.kill();
            app_.waitForFinished(5000);
        }
    }
    bool waitFor(const QByteArray& text, int ms = 30000) {
        while (!output_.contains(text) && app_.waitForReadyRead(ms)) {
            output_ += app_.readAll();
        }
        output_ += app_.readAll();
        return output_.contains(text);
    }
    bool waitForExit(int ms = 30000) {
        const bool done = app_.waitForFinished(ms);
        output_ += app_.readAll();
        return done;
    }
    void signal(int number) { ::kill(static_cast<pid_t>(app_.processId()), number); }
    QProcess& process() { return app_; }
    const QByteArray& output() const { return output_; }
    std::string log() const { return output_.toStdString(); }

  private:
    void start(Where where, const QString& executable, const QStringList& arguments) {
        if (where != OnWayland) {
            keepTheItemsOnTheStrip();
        }
        app_.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (where == Offscreen) {
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        } else if (where == OnWayland) {
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
            env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
            env.remove(QStringLiteral("DISPLAY"));
        } else {
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        }
        if (where == OnDisplay) {
            env.remove(QStringLiteral("TALVOR_NO_MOVE_OFFER"));
        } else {
            env.insert(QStringLiteral("TALVOR_NO_MOVE_OFFER"), QStringLiteral("1"));
        }
        app_.setProcessEnvironment(env);
        app_.start(executable, arguments);
        app_.waitForStarted();
    }

    // The tests share one session bus, where another test's panel (a StatusNotifierWatcher)
    // comes and goes: unless the sandbox's settings chose already, the program keeps its
    // items on its own strip, as a user who chose "our own strip".
    static void keepTheItemsOnTheStrip();

    QProcess app_;
    QByteArray output_;
};

inline const QString kStoredAlarms = QStringLiteral("AcitveAlarmsStoredKey");

// The application's settings file as another process sees it.
inline platform::PlistPreferenceStore settingsFile() {
    return platform::PlistPreferenceStore(appTalvor4Prefs,
                                          platform::Preferences::filePathFor(appTalvor4Prefs));
}

// Writes the store's changes while a running copy may be writing too. That copy holds the
// writers' lock for the whole of a write, which waits for the disk (seconds on a loaded
// machine), and a busy lock only leaves the changes pending for another try.
inline bool synchronizeBesideARunningCopy(platform::PreferenceStore& store) {
    QElapsedTimer waited;
    waited.start();
    while (!store.synchronize()) {
        if (store.failure() || waited.elapsed() > 30000) {
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

inline void RunningTalvor::keepTheItemsOnTheStrip() {
    platform::PlistPreferenceStore store = settingsFile();
    if (!store.contains(QStringLiteral("StatusItemsPlace"))) {
        store.setValue(QStringLiteral("StatusItemsPlace"), QStringLiteral("strip"));
        synchronizeBesideARunningCopy(store);
    }
}

// Leaves an alarm for tomorrow in the settings, as a previous run would have.
inline void storeAnAlarmForTomorrow() {
    platform::PlistPreferenceStore store = settingsFile();
    const Date tomorrow = Date::fromQDateTime(QDateTime::currentDateTimeUtc().addDays(1));
    // An alarm on a date: one made with a time alone counts from its start and would ring at once.
    auto dentist = Alarm::initWithTime(tomorrow, QStringLiteral("dentist"));
    dentist->setSelRowNo(1);
    dentist->setIsTimeWithDate(true);
    store.setValue(kStoredAlarms, archivedAlarms({dentist}));
    ASSERT_TRUE(synchronizeBesideARunningCopy(store));
}

inline QStringList storedAlarmTitles() {
    platform::PlistPreferenceStore store = settingsFile();
    QStringList titles;
    if (const std::optional<AlarmList> alarms =
            unarchivedAlarms(store.value(kStoredAlarms).toByteArray())) {
        for (const auto& alarm : *alarms) {
            titles << alarm->title();
        }
    }
    return titles;
}

// Empties the stored alarms, so that only a quitting copy can put them back.
inline void forgetStoredAlarms() {
    platform::PlistPreferenceStore store = settingsFile();
    store.setValue(kStoredAlarms, QByteArray());
    ASSERT_TRUE(synchronizeBesideARunningCopy(store));
}

// Holds the writers' lock of the settings file, as every writer of it does. Meanwhile a running
// copy has no write half done: one that has read the file and not yet renamed its new copy
// into place would put a plain file back over whatever is done to the path now.
class SettingsWritersLock {
  public:
    SettingsWritersLock() {
        const QFileInfo settings(platform::Preferences::filePathFor(appTalvor4Prefs));
        const QByteArray path = QFile::encodeName(settings.absolutePath() + QStringLiteral("/.") +
                                                  settings.fileName() + QStringLiteral(".lock"));
        fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        // A live writer holds it for one write; a copy hung with it held fails the test.
        QElapsedTimer waited;
        waited.start();
        while (fd_ >= 0 && !held_ && waited.elapsed() < 10000) {
            held_ = ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
            if (!held_) {
                ::usleep(5000);
            }
        }
    }
    ~SettingsWritersLock() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    SettingsWritersLock(const SettingsWritersLock&) = delete;
    SettingsWritersLock& operator=(const SettingsWritersLock&) = delete;

    bool held() const { return held_; }

  private:
    int fd_ = -1;
    bool held_ = false;
};

}  // namespace talvor::test
