#pragma once

#include "TestEnvironment.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace talvor::test {

// The user's service manager as `systemctl --user` shows it, for the real UserTimers: a
// `systemctl` (and a `systemd-run`) of its own first on PATH, which writes each call to a
// log and keeps what it started, and XDG_RUNTIME_DIR pointed at a folder of its own whose
// runtime unit folder it reads units from. Installed while alive.
class FakeServiceManager {
  public:
    FakeServiceManager();
    ~FakeServiceManager();
    FakeServiceManager(const FakeServiceManager&) = delete;
    FakeServiceManager& operator=(const FakeServiceManager&) = delete;

    // Every call, as "systemctl <words after --user>" or "systemd-run <words>", in order.
    QStringList calls() const;
    void clearCalls();
    // $XDG_RUNTIME_DIR/systemd/user: where the manager reads our units.
    QString unitFolder() const;
    // The names of the files there, hidden ones too, sorted.
    QStringList unitFiles() const;
    // The units the manager holds as loaded (started, or made by systemd-run), sorted.
    QStringList loadedUnits() const;
    // A unit an earlier version made with systemd-run: loaded until it is stopped.
    void addTransientUnit(const QString& unit);

    // From now on `start` finds only the unit files there were at the last daemon-reload, as
    // older managers do (a newer one looks at its folders again when it meets a new name).
    void findNewUnitsOnlyAfterAReload();
    // The next `start` takes that long, as on a machine under heavy load.
    void delayNextStart(int seconds);
    // `systemctl <command>` fails from now on (exit 1, a line on stderr).
    void failCommand(const QString& command);
    // Every call but `show` from now on waits far past any deadline (or no longer).
    void hang(bool on = true);

  private:
    QString path(const QString& name) const;

    QTemporaryDir dir_;
    std::unique_ptr<ScopedEnvVar> path_;
    std::unique_ptr<ScopedEnvVar> runtime_;
};

}  // namespace talvor::test
