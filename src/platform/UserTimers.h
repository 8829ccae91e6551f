#pragma once

#include "Date.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace talvor::platform {

// Commands that run at a set time whether or not the program still runs: transient timers
// of the user's service manager (systemd --user). One thread at a time; each call waits for
// the manager 0.7 s at most, and one that does not answer counts as a failure, as do the
// calls after it until the next isAvailable().
class UserTimers {
  public:
    struct Timer {
        // The unit's name without suffix; the manager adds ".timer" and ".service".
        QString unit;
        Date when;
        // The program and its arguments, never a shell string of ours.
        QStringList command;

        friend bool operator==(const Timer&, const Timer&) = default;
    };

    virtual ~UserTimers();

    // Whether a user service manager answers.
    virtual bool isAvailable() = 0;
    // Starts a timer that runs its command once at its time. False when it could not.
    virtual bool schedule(const Timer& timer) = 0;
    // Stops and forgets every timer whose unit name begins with `prefix`.
    virtual void removeAll(const QString& prefix) = 0;
    // The names of the timers whose unit names begin with `prefix`.
    virtual QStringList list(const QString& prefix) = 0;

    // The process's timers (systemd-run and systemctl unless replaced).
    static UserTimers& shared();
    // nullptr restores the real one.
    static void setShared(UserTimers* timers);
};

// The arguments of `systemd-run` that start the timer: a user unit, its calendar time in
// UTC to the second, then the command after "--", each "$" doubled so that the manager's
// variable expansion gives back the words as they are.
QStringList systemdRunArguments(const UserTimers::Timer& timer);

}  // namespace talvor::platform
