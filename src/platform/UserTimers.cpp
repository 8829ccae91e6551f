#include "UserTimers.h"

#include "AtomicFile.h"
#include "Paths.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTimeZone>

#include <algorithm>
#include <atomic>
#include <optional>
#include <set>

namespace talvor::platform {

namespace {

// Quitting hands the alarms over and must still end soon: a manager that does not answer
// this fast is taken as absent.
constexpr int kWaitMs = 700;
// A reload runs the manager's generators again: 0.6 s to 1.1 s here, with the machine busy.
constexpr int kReloadWaitMs = 1500;
// The runtime folder does not outlive the manager (a tmpfs, gone at logout and at a power
// cut): a unit need only outlast a kill, and 2,000 waits for the disk would cost seconds
// where it is not one.
constexpr Durability kUnitDurability = Durability::Kill;

struct Result {
    bool ran = false;
    bool timedOut = false;
    int exitCode = -1;
    QString output;
    QString error;

    bool ok() const { return ran && exitCode == 0; }
};

Result run(const QString& program, const QStringList& arguments, int waitMs) {
    Result r;
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        return r;
    }
    // One deadline for starting and finishing: each wait alone would double the call.
    const QDeadlineTimer deadline(waitMs);
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
    r.error = QString::fromUtf8(p.readAllStandardError()).trimmed();
    return r;
}

// The runtime unit folder of the user's manager, as this process sees it.
std::optional<QString> runtimeUnitFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QDir::isAbsolutePath(runtime)) {
        return std::nullopt;
    }
    return QDir::cleanPath(runtime) + QStringLiteral("/systemd/user");
}

// Removes the group's files, of every hand-over: whatever is left of it with the manager
// then finds nothing to start.
void removeGroupFiles(const QString& folder, const QString& group) {
    QDir dir(folder);
    const QStringList names =
        dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (UserTimerUnits::owns(group, name)) {
            dir.remove(name);
        }
    }
}

// A name no earlier hand-over of this process or another had: the time and a count.
QString newHandOverName() {
    static std::atomic<unsigned> count{0};
    return QString::number(QDateTime::currentMSecsSinceEpoch(), 36) + QString::number(++count, 36);
}

// Starts the services whose time has come, runs once more for those due within two seconds
// of the end of a pass (the timer's own start would find this still running; a long pass
// may outlast a due time), and removes its own two files when nothing is left. $1 the
// folder, $2 the commands' prefix, $3 its own name.
const QString kStarterScript = QStringLiteral(
    "cd \"$1\" || exit 0\n"
    "while :; do\n"
    "  now=$(date +%s)\n"
    "  next=\n"
    "  for unit in \"$2\"-*.service; do\n"
    "    [ -e \"$unit\" ] || continue\n"
    "    due=${unit#\"$2\"-}\n"
    "    due=${due%%-*}\n"
    "    if [ \"$due\" -le \"$now\" ]; then\n"
    "      systemctl --user start --no-block \"$unit\"\n"
    "      rm -f \"$unit\"\n"
    "    elif [ -z \"$next\" ] || [ \"$due\" -lt \"$next\" ]; then\n"
    "      next=$due\n"
    "    fi\n"
    "  done\n"
    "  if [ -z \"$next\" ]; then\n"
    "    rm -f \"$3.timer\" \"$3.service\"\n"
    "    exit 0\n"
    "  fi\n"
    "  now=$(date +%s)\n"
    "  [ \"$next\" -le $((now + 2)) ] || exit 0\n"
    "  sleep 1\n"
    "done\n");

QByteArray execLine(const char* key, const QStringList& words) {
    QStringList quoted;
    quoted.reserve(words.size());
    for (const QString& word : words) {
        quoted << unitFileWord(word);
    }
    return QByteArray(key) + '=' + quoted.join(QLatin1Char(' ')).toUtf8() + '\n';
}

qint64 unixSeconds(Date when) {
    return std::max<qint64>(0, when.toQDateTime().toSecsSinceEpoch());
}

class SystemdUserTimers : public UserTimers {
  public:
    bool isAvailable() override {
        // A fresh question: the manager may answer again since it last did not.
        unresponsive_ = false;
        folder_.reset();
        const std::optional<QString> folder = runtimeUnitFolder();
        const Result r =
            call(QStringLiteral("systemctl"),
                 {QStringLiteral("--user"), QStringLiteral("show"),
                  QStringLiteral("--property=Version"), QStringLiteral("--property=UnitPath")},
                 kWaitMs);
        if (!folder || !r.ok() || !r.output.startsWith(QStringLiteral("Version="))) {
            return false;
        }
        // Units written where this manager does not look would never run.
        for (const QString& line : r.output.split(QLatin1Char('\n'))) {
            if (line.startsWith(QStringLiteral("UnitPath=")) &&
                (QLatin1Char(' ') + line.mid(9) + QLatin1Char(' '))
                    .contains(QLatin1Char(' ') + *folder + QLatin1Char(' '))) {
                folder_ = folder;
            }
        }
        return folder_.has_value();
    }

    HandOver handOver(const QString& group, const std::vector<Timer>& timers) override {
        HandOver out;
        const auto none = [&](const QString& why) {
            out.notTaken.resize(timers.size());
            for (std::size_t i = 0; i < timers.size(); ++i) {
                out.notTaken[i] = i;
            }
            out.reason = why;
            return out;
        };
        if (!folder_) {
            return timers.empty() ? out : none(QStringLiteral("no user service manager answers"));
        }
        // What an earlier hand-over left must not run beside these.
        removeGroupFiles(*folder_, group);
        if (timers.empty()) {
            return out;
        }
        if (unresponsive_) {
            return none(QStringLiteral("the service manager did not answer in time"));
        }
        const UserTimerUnits units(*folder_, group, newHandOverName());
        if (!Paths::makePath(units.folder())) {
            return none(QStringLiteral("cannot make the folder %1").arg(units.folder()));
        }
        std::vector<Date> dues;
        for (std::size_t i = 0; i < timers.size(); ++i) {
            QString error;
            const QString path =
                units.folder() + QLatin1Char('/') + units.commandUnit(timers[i].when, i);
            if (writeFileAtomically(path, UserTimerUnits::commandService(timers[i].command), &error,
                                    kUnitDurability)) {
                dues.push_back(timers[i].when);
            } else {
                out.notTaken.push_back(i);
                if (out.reason.isEmpty()) {
                    out.reason = QStringLiteral("cannot write %1: %2").arg(path, error);
                }
            }
        }
        if (dues.empty()) {
            return none(out.reason);
        }
        // The timer last: until it is written, nothing of the hand-over can run.
        const auto fail = [&](const QString& why) {
            removeGroupFiles(units.folder(), group);
            return none(why);
        };
        QString error;
        if (!writeFileAtomically(units.folder() + QLatin1Char('/') + units.starterUnit(),
                                 units.starterService(), &error, kUnitDurability) ||
            !writeFileAtomically(units.folder() + QLatin1Char('/') + units.timerUnit(),
                                 UserTimerUnits::timer(dues), &error, kUnitDurability)) {
            return fail(QStringLiteral("cannot write the timer: %1").arg(error));
        }
        const QStringList start = {QStringLiteral("--user"), QStringLiteral("start"),
                                   units.timerUnit()};
        Result started = call(QStringLiteral("systemctl"), start, kWaitMs);
        if (!started.ok() && !started.timedOut) {
            // An older manager finds a new unit only after a reload, which runs its generators
            // again (0.6 s to 1.1 s here on a busy machine): only for that one.
            const Result reload =
                call(QStringLiteral("systemctl"),
                     {QStringLiteral("--user"), QStringLiteral("daemon-reload")}, kReloadWaitMs);
            if (!reload.ok()) {
                return fail(failure(QStringLiteral("daemon-reload"), reload));
            }
            started = call(QStringLiteral("systemctl"), start, kWaitMs);
        }
        if (!started.ok()) {
            return fail(failure(QStringLiteral("start"), started));
        }
        return out;
    }

    bool takeBack(const QString& group, const QString& legacyPrefix) override {
        // The files first: a timer that the manager cannot be asked to stop finds nothing.
        if (const std::optional<QString> folder = runtimeUnitFolder()) {
            removeGroupFiles(*folder, group);
        }
        // The timers and starters of every hand-over; never a command that runs now.
        QStringList patterns{group + QStringLiteral(".*")};
        if (!legacyPrefix.isEmpty()) {
            patterns << legacyPrefix + QStringLiteral("*");
        }
        const Result r = call(
            QStringLiteral("systemctl"),
            QStringList{QStringLiteral("--user"), QStringLiteral("list-units"),
                        QStringLiteral("--all"), QStringLiteral("--plain"),
                        QStringLiteral("--no-legend"), QStringLiteral("--type=timer,service")} +
                patterns,
            kWaitMs);
        if (!r.ok()) {
            return false;
        }
        // Only what is loaded: stopping a unit the manager does not know fails.
        QStringList stop = {QStringLiteral("--user"), QStringLiteral("stop")};
        QStringList reset = {QStringLiteral("--user"), QStringLiteral("reset-failed")};
        for (const QString& line : r.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QString unit = line.trimmed().section(QLatin1Char(' '), 0, 0);
            if (unit.endsWith(QStringLiteral(".timer")) ||
                unit.endsWith(QStringLiteral(".service"))) {
                stop << unit;
                reset << unit;
            }
        }
        if (stop.size() == 2) {
            return true;
        }
        const bool stopped = call(QStringLiteral("systemctl"), stop, kWaitMs).ok();
        // Units that failed stay listed until they are reset.
        call(QStringLiteral("systemctl"), reset, kWaitMs);
        return stopped;
    }

  private:
    // Once the manager has not answered in time, the calls after it until the next
    // isAvailable() fail at once: a quit waits on it once, not once per call.
    Result call(const QString& program, const QStringList& arguments, int waitMs) {
        if (unresponsive_) {
            Result r;
            r.timedOut = true;
            return r;
        }
        Result r = run(program, arguments, waitMs);
        unresponsive_ = r.timedOut;
        return r;
    }

    static QString failure(const QString& what, const Result& r) {
        if (r.timedOut) {
            return QStringLiteral("the service manager did not answer in time");
        }
        if (!r.ran) {
            return QStringLiteral("systemctl could not run");
        }
        return QStringLiteral("systemctl %1 failed (%2)")
            .arg(what, r.error.isEmpty() ? QStringLiteral("exit %1").arg(r.exitCode)
                                         : r.error.section(QLatin1Char('\n'), 0, 0));
    }

    bool unresponsive_ = false;
    // Where the manager reads our units; known once isAvailable() said yes.
    std::optional<QString> folder_;
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

UserTimerUnits::UserTimerUnits(QString folder, QString group, QString handOver)
    : folder_(std::move(folder)), group_(std::move(group)), handOver_(std::move(handOver)) {}

QString UserTimerUnits::commandUnit(Date when, std::size_t index) const {
    return QStringLiteral("%1-%2-%3-%4.service")
        .arg(group_, handOver_)
        .arg(unixSeconds(when))
        .arg(static_cast<qulonglong>(index + 1));
}

QString UserTimerUnits::timerUnit() const {
    return group_ + QLatin1Char('.') + handOver_ + QStringLiteral(".timer");
}

QString UserTimerUnits::starterUnit() const {
    return group_ + QLatin1Char('.') + handOver_ + QStringLiteral(".service");
}

QByteArray UserTimerUnits::commandService(const QStringList& command) {
    // Collected when it has run, failed or not: nothing of it stays loaded.
    return "[Unit]\nDescription=Talvor Pro: a command handed over at quit\n"
           "CollectMode=inactive-or-failed\n\n[Service]\n" +
           execLine("ExecStart", command);
}

QByteArray UserTimerUnits::timer(const std::vector<Date>& dues) {
    std::set<qint64> seconds;
    for (const Date when : dues) {
        seconds.insert(unixSeconds(when));
    }
    QByteArray text = "[Unit]\nDescription=Talvor Pro: commands handed over at quit\n\n[Timer]\n";
    for (const qint64 s : seconds) {
        text += "OnCalendar=" +
                QDateTime::fromSecsSinceEpoch(s, QTimeZone::utc())
                    .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                    .toLatin1() +
                " UTC\n";
    }
    // To the second, as the commands were set; once past its last time the timer goes.
    return text + "AccuracySec=1s\nRemainAfterElapse=no\n";
}

QByteArray UserTimerUnits::starterService() const {
    return "[Unit]\nDescription=Talvor Pro: starts the commands whose time has come\n"
           "CollectMode=inactive-or-failed\n\n[Service]\nType=oneshot\n" +
           execLine("ExecStart", starterCommand());
}

QStringList UserTimerUnits::starterCommand() const {
    return {QStringLiteral("/bin/sh"),
            QStringLiteral("-c"),
            kStarterScript,
            QStringLiteral("talvor-timers"),
            folder_,
            group_ + QLatin1Char('-') + handOver_,
            group_ + QLatin1Char('.') + handOver_};
}

bool UserTimerUnits::owns(const QString& group, const QString& fileName) {
    const QString name = fileName.startsWith(QLatin1Char('.')) ? fileName.mid(1) : fileName;
    return name.startsWith(group) && name.size() > group.size() &&
           (name[group.size()] == QLatin1Char('.') || name[group.size()] == QLatin1Char('-'));
}

QString unitFileWord(const QString& word) {
    QString out = QStringLiteral("\"");
    out.reserve(word.size() + 2);
    for (const QChar c : word) {
        const char16_t u = c.unicode();
        if (u == u'\\' || u == u'"') {
            out += QLatin1Char('\\');
            out += c;
        } else if (u == u'$' || u == u'%') {
            out += c;
            out += c;
        } else if (u == u'\n') {
            out += QStringLiteral("\\n");
        } else if (u == u'\t') {
            out += QStringLiteral("\\t");
        } else if (u == 0) {
            // No unit file can carry it: the manager refuses the whole line.
            continue;
        } else if (u < 0x20 || u == 0x7f) {
            out += QStringLiteral("\\x%1").arg(static_cast<int>(u), 2, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out + QLatin1Char('"');
}

}  // namespace talvor::platform
