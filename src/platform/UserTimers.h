#pragma once

#include "Date.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <vector>

namespace talvor::platform {

// Commands that run at set times whether or not the program still runs, handed to the
// user's service manager (systemd --user) as a group, all in one go. One thread at a time;
// each question to the manager waits 0.7 s at most (a reload, asked only of a manager that
// does not find new units by itself, 1.5 s), and one that does not answer counts as a
// failure, as do the questions after it until the next isAvailable().
class UserTimers {
  public:
    struct Timer {
        Date when;
        // The program and its arguments, never a shell string of ours.
        QStringList command;

        friend bool operator==(const Timer&, const Timer&) = default;
    };

    // What a hand-over came to.
    struct HandOver {
        // The positions of the timers that will not run, in order; empty when all will.
        std::vector<std::size_t> notTaken;
        // Why they will not, for the log; empty when all will.
        QString reason;
    };

    virtual ~UserTimers();

    // Whether a user service manager answers and reads our units where we write them.
    virtual bool isAvailable() = 0;
    // Makes `timers` everything handed over under `group` (a unit name prefix of our own):
    // each runs its command once at its time. Whatever cannot be handed over whole is taken
    // back, so that what the result names as not taken never runs.
    virtual HandOver handOver(const QString& group, const std::vector<Timer>& timers) = 0;
    // Takes back everything handed over under `group`, and the timers named `<legacy>*`
    // that earlier versions started one per command: none of it runs after this. What has
    // started already runs to its end. True when the manager answered, so that nothing of
    // the group is left with it.
    virtual bool takeBack(const QString& group, const QString& legacyPrefix) = 0;

    // The process's timers (systemctl unless replaced).
    static UserTimers& shared();
    // nullptr restores the real one.
    static void setShared(UserTimers* timers);
};

// How the user unit files of a hand-over are laid out, in the runtime unit folder
// ($XDG_RUNTIME_DIR/systemd/user): it lives exactly as long as the user's service manager,
// so that nothing of ours outlives a reboot or a logout, and the user's own unit folder
// stays theirs. Each hand-over has names of its own (`<group>.<handOver>`), which the
// manager has never loaded, so that it reads them from the folder without a reload: one
// service per command, `<group>-<handOver>-<due Unix time>-<n>.service`, never started by
// itself; one timer `<group>.<handOver>.timer` with a calendar time per due time, which
// starts `<group>.<handOver>.service`: that one starts the services whose time has come and
// removes their files, and once none is left removes its own two. The manager then loads
// two units per hand-over, however many commands it holds.
class UserTimerUnits {
  public:
    UserTimerUnits(QString folder, QString group, QString handOver);

    const QString& folder() const { return folder_; }
    const QString& group() const { return group_; }
    const QString& handOver() const { return handOver_; }

    // The file name of the service of the `index`th timer (from 0) due at `when`.
    QString commandUnit(Date when, std::size_t index) const;
    QString timerUnit() const;
    QString starterUnit() const;

    // The unit files' texts.
    static QByteArray commandService(const QStringList& command);
    // One calendar time per distinct second of `dues`, in UTC, earliest first.
    static QByteArray timer(const std::vector<Date>& dues);
    QByteArray starterService() const;
    // What the starter service runs.
    QStringList starterCommand() const;

    // Whether a file of the folder belongs to the group, of any hand-over (its units, and
    // the temporary files a write of one leaves behind when it is killed).
    static bool owns(const QString& group, const QString& fileName);

  private:
    QString folder_;
    QString group_;
    QString handOver_;
};

// A word of a command line in a unit file: quoted, with backslash, quote and control
// characters escaped, "%" doubled against the manager's specifiers and "$" doubled against
// its variable expansion, so that the command runs with the word as it is.
QString unitFileWord(const QString& word);

}  // namespace talvor::platform
