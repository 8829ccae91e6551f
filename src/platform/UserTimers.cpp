#include "UserTimers.h"

#include "Log.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>

namespace talvor::platform {

namespace {

// Quitting hands the alarms over and must still end within a second: a manager that does
// not answer this fast is taken as absent.
constexpr int kWaitMs = 700;

struct Result {
    bool ran = false;
    bool timedOut = false;
    int exitCode = -1;
    QString output;
};

Result run(const QString& program, const QStringList& arguments) {
    Result r;
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        return r;
    }
    // One deadline for starting and finishing: each wait alone would double the call.
    const QDeadlineTimer deadline(kWaitMs);
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(path, arguments);
    if (!p.waitForStarted(static_cast<int>(deadline.remainingTime())) ||
        !p.waitForFinished(static_cast<int>(deadline.remainingTime()))) {
        p.kill();
        // A killed child ends at once; this only reaps it.
        p.waitForFinished(100);
        r.timedOut = true;
        return r;
    }
    r.ran = p.exitStatus() == QProcess::NormalExit;
    r.exitCode = p.exitCode();
    r.output = QString::fromUtf8(p.readAllStandardOutput());
    return r;
}

class SystemdUserTimers : public UserTimers {
  public:
    bool isAvailable() override {
        // A fresh question: the manager may answer again since it last did not.
        unresponsive_ = false;
        const Result r =
            call(QStringLiteral("systemctl"), {QStringLiteral("--user"), QStringLiteral("show"),
                                               QStringLiteral("--property=Version")});
        return r.ran && r.exitCode == 0 && r.output.startsWith(QStringLiteral("Version="));
    }

    bool schedule(const Timer& timer) override {
        const Result r = call(QStringLiteral("systemd-run"), systemdRunArguments(timer));
        return r.ran && r.exitCode == 0;
    }

    QStringList list(const QString& prefix) override {
        const Result r =
            call(QStringLiteral("systemctl"),
                 {QStringLiteral("--user"), QStringLiteral("list-units"), QStringLiteral("--all"),
                  QStringLiteral("--plain"), QStringLiteral("--no-legend"),
                  QStringLiteral("--type=timer"), prefix + QStringLiteral("*")});
        QStringList units;
        if (!r.ran || r.exitCode != 0) {
            return units;
        }
        for (const QString& line : r.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QString unit = line.trimmed().section(QLatin1Char(' '), 0, 0);
            if (unit.startsWith(prefix) && unit.endsWith(QStringLiteral(".timer"))) {
                units << unit.chopped(6);
            }
        }
        return units;
    }

    void removeAll(const QString& prefix) override {
        const QStringList units = list(prefix);
        if (units.isEmpty()) {
            return;
        }
        QStringList stop = {QStringLiteral("--user"), QStringLiteral("stop")};
        QStringList reset = {QStringLiteral("--user"), QStringLiteral("reset-failed")};
        for (const QString& unit : units) {
            stop << unit + QStringLiteral(".timer") << unit + QStringLiteral(".service");
            reset << unit + QStringLiteral(".timer") << unit + QStringLiteral(".service");
        }
        call(QStringLiteral("systemctl"), stop);
        // Units that failed stay listed until they are reset.
        call(QStringLiteral("systemctl"), reset);
    }

  private:
    // Once the manager has not answered in time, the calls after it until the next
    // isAvailable() fail at once: a quit waits on it once, not once per call.
    Result call(const QString& program, const QStringList& arguments) {
        if (unresponsive_) {
            return {};
        }
        Result r = run(program, arguments);
        unresponsive_ = r.timedOut;
        return r;
    }

    bool unresponsive_ = false;
};

UserTimers* replacement = nullptr;

}  // namespace

UserTimers::~UserTimers() = default;

UserTimers& UserTimers::shared() {
    if (replacement != nullptr) {
        return *replacement;
    }
    static SystemdUserTimers real;
    return real;
}

void UserTimers::setShared(UserTimers* timers) {
    replacement = timers;
}

QStringList systemdRunArguments(const UserTimers::Timer& timer) {
    const QString when =
        timer.when.toQDateTime().toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QStringList arguments{QStringLiteral("--user"),
                          QStringLiteral("--quiet"),
                          QStringLiteral("--unit=") + timer.unit,
                          QStringLiteral("--on-calendar=") + when + QStringLiteral(" UTC"),
                          QStringLiteral("--timer-property=AccuracySec=1s"),
                          QStringLiteral("--")};
    // The manager expands $NAME and ${NAME} in a command when it runs it: "$$" keeps a
    // dollar of a title or a path as written.
    for (QString word : timer.command) {
        arguments << word.replace(QLatin1Char('$'), QStringLiteral("$$"));
    }
    return arguments;
}

}  // namespace talvor::platform
