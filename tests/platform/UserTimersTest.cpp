#include "platform/UserTimers.h"
#include "support/FakeServiceManager.h"
#include "support/QtPrinters.h"
#include "support/SkipInCI.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <csignal>
#include <map>

namespace talvor::test {
namespace {

using platform::UserTimers;
using platform::UserTimerUnits;

const QString kGroup = QStringLiteral("talvor-test-1a2b3c4d");

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

Date inSeconds(qint64 seconds) {
    return Date::fromUnix(static_cast<double>(QDateTime::currentSecsSinceEpoch() + seconds));
}

// `/bin/echo command <n>`, the nth of a hand-over.
std::vector<UserTimers::Timer> echoes(int count, Date first) {
    std::vector<UserTimers::Timer> timers;
    for (int i = 0; i < count; ++i) {
        timers.push_back({first.addingTimeInterval(60.0 * i),
                          {QStringLiteral("/bin/echo"), QStringLiteral("command %1").arg(i)}});
    }
    return timers;
}

// Units a hand-over may leave in the folder, file by file, with what each must hold.
std::map<QString, QByteArray> wholeUnits(const UserTimerUnits& units,
                                         const std::vector<UserTimers::Timer>& timers) {
    std::map<QString, QByteArray> whole;
    std::vector<Date> dues;
    for (std::size_t i = 0; i < timers.size(); ++i) {
        whole[units.commandUnit(timers[i].when, i)] =
            UserTimerUnits::commandService(timers[i].command);
        dues.push_back(timers[i].when);
    }
    whole[units.starterUnit()] = units.starterService();
    whole[units.timerUnit()] = UserTimerUnits::timer(dues);
    return whole;
}

// The real timers (systemctl), whatever the other tests of the program installed.
class platformUserTimers : public ::testing::Test {
  protected:
    void SetUp() override { UserTimers::setShared(nullptr); }
    UserTimers& timers() { return UserTimers::shared(); }
    // The units of the hand-over of `group` in the folder, by the name its files carry.
    UserTimerUnits units(const QString& group = kGroup) const {
        for (const QString& name : manager_.unitFiles()) {
            if (name.startsWith(group + QLatin1Char('-'))) {
                return {manager_.unitFolder(), group,
                        name.mid(group.size() + 1).section(QLatin1Char('-'), 0, 0)};
            }
        }
        return {manager_.unitFolder(), group, QString()};
    }

    FakeServiceManager manager_;
};

TEST(platformUserTimersWords, AWordReachesTheCommandAsWritten) {
    struct Case {
        const char* word;
        const char* inUnitFile;
    };
    const Case cases[] = {
        {"plain", R"("plain")"},
        {"", R"("")"},
        {"two words", R"("two words")"},
        // The manager's variable expansion and its specifiers.
        {"${HOME} $USER 100%", R"("$${HOME} $$USER 100%%")"},
        {"%n%%", R"("%%n%%%%")"},
        {R"(say "hi" \ 'there')", R"("say \"hi\" \\ 'there'")"},
        {"line\nnext\ttab\rcr\x1b", R"("line\nnext\ttab\x0dcr\x1b")"},
        // A separator of commands only when it stands unquoted.
        {";", R"(";")"},
        {"-rf", R"("-rf")"},
        {"Grüße ☕", "\"Grüße ☕\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::unitFileWord(QString::fromUtf8(c.word)),
                  QString::fromUtf8(c.inUnitFile))
            << c.word;
    }
}

TEST_F(platformUserTimers, AThousandCommandsGoOverWithOneStart) {
    const std::vector<UserTimers::Timer> given = echoes(1000, inSeconds(3600));
    ASSERT_TRUE(timers().isAvailable());
    const UserTimers::HandOver handOver = timers().handOver(kGroup, given);
    EXPECT_TRUE(handOver.notTaken.empty()) << handOver.reason.toStdString();

    // Names the manager never saw: it reads them without a reload.
    EXPECT_EQ(manager_.calls(),
              QStringList({"systemctl show --property=Version --property=UnitPath",
                           "systemctl start " + units().timerUnit()}));
    // Every unit whole, nothing else (no temporary file left).
    const std::map<QString, QByteArray> whole = wholeUnits(units(), given);
    QStringList expected;
    for (const auto& [name, text] : whole) {
        expected << name;
        ASSERT_EQ(readAll(manager_.unitFolder() + QLatin1Char('/') + name), text)
            << name.toStdString();
    }
    expected.sort();
    EXPECT_EQ(manager_.unitFiles(), expected);
    EXPECT_EQ(manager_.loadedUnits(), QStringList{units().timerUnit()});
    // One calendar time per due second.
    const QByteArray timer = whole.at(units().timerUnit());
    EXPECT_EQ(timer.count("OnCalendar="), 1000);
    EXPECT_TRUE(timer.contains("OnCalendar=" +
                               given[0]
                                   .when.toQDateTime()
                                   .toUTC()
                                   .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                   .toLatin1() +
                               " UTC\n"));

    // The next hand-over has names of its own, and the first one's files are gone.
    const UserTimerUnits first = units();
    ASSERT_TRUE(timers().handOver(kGroup, echoes(2, inSeconds(60))).notTaken.empty());
    EXPECT_NE(units().handOver(), first.handOver());
    EXPECT_EQ(manager_.unitFiles().size(), 4);
}

// An older manager finds a new unit only after a reload: asked once, then started again.
TEST_F(platformUserTimers, AManagerThatFindsNewUnitsOnlyAfterAReloadIsReloadedOnce) {
    manager_.findNewUnitsOnlyAfterAReload();
    ASSERT_TRUE(timers().isAvailable());
    const UserTimers::HandOver handOver = timers().handOver(kGroup, echoes(3, inSeconds(60)));
    EXPECT_TRUE(handOver.notTaken.empty()) << handOver.reason.toStdString();
    const QString start = "systemctl start " + units().timerUnit();
    EXPECT_EQ(manager_.calls(),
              QStringList({"systemctl show --property=Version --property=UnitPath", start,
                           "systemctl daemon-reload", start}));
    EXPECT_EQ(manager_.loadedUnits(), QStringList{units().timerUnit()});
}

TEST_F(platformUserTimers, UnitFilesSayWhatRunsAndWhen) {
    const UserTimerUnits u(QStringLiteral("/run/user/1000/systemd/user"), kGroup,
                           QStringLiteral("lq8z3k2a1"));
    EXPECT_EQ(u.commandUnit(Date::fromUnix(1709564700.9), 0),
              "talvor-test-1a2b3c4d-lq8z3k2a1-1709564700-1.service");
    EXPECT_EQ(u.timerUnit(), "talvor-test-1a2b3c4d.lq8z3k2a1.timer");
    EXPECT_EQ(u.starterUnit(), "talvor-test-1a2b3c4d.lq8z3k2a1.service");
    EXPECT_EQ(UserTimerUnits::commandService({QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                              QStringLiteral("echo \"$1\""), QStringLiteral("x"),
                                              QStringLiteral("Tea at 5%")}),
              "[Unit]\nDescription=Talvor Pro: a command handed over at quit\n"
              "CollectMode=inactive-or-failed\n\n[Service]\n"
              "ExecStart=\"/bin/sh\" \"-c\" \"echo \\\"$$1\\\"\" \"x\" \"Tea at 5%%\"\n");
    // Two commands in the same second share a calendar time; the times go in order.
    EXPECT_EQ(UserTimerUnits::timer({Date::fromUnix(1709568000), Date::fromUnix(1709564700.2),
                                     Date::fromUnix(1709564700.7)}),
              "[Unit]\nDescription=Talvor Pro: commands handed over at quit\n\n[Timer]\n"
              "OnCalendar=2024-03-04 15:05:00 UTC\nOnCalendar=2024-03-04 16:00:00 UTC\n"
              "AccuracySec=1s\nRemainAfterElapse=no\n");
    // The group's files of any hand-over, the temporary ones of a killed write too; no other
    // group's.
    for (const char* name :
         {"talvor-test-1a2b3c4d.lq8z3k2a1.timer", "talvor-test-1a2b3c4d.other.service",
          "talvor-test-1a2b3c4d-lq8z3k2a1-1709564700-1.service",
          ".talvor-test-1a2b3c4d-lq8z3k2a1-1709564700-1.service.Xy12Ab"}) {
        EXPECT_TRUE(UserTimerUnits::owns(kGroup, QString::fromLatin1(name))) << name;
    }
    for (const char* name : {"talvor-test-1a2b3c4d9.lq8z3k2a1.timer", "talvor-test-1a2b3c4",
                             "other.timer", "talvor-alarm-1.timer"}) {
        EXPECT_FALSE(UserTimerUnits::owns(kGroup, QString::fromLatin1(name))) << name;
    }
}

TEST_F(platformUserTimers, ACommandThatCannotBeWrittenIsTheOneLeftOut) {
    std::vector<UserTimers::Timer> given = echoes(3, inSeconds(3600));
    given[1].command << QString(64 * 1024, QLatin1Char('x'));
    // Files may grow to 32 KiB: the second command's unit cannot be written whole.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 32 * 1024;
    const sighandler_t oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    ASSERT_TRUE(timers().isAvailable());
    const UserTimers::HandOver handOver = timers().handOver(kGroup, given);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(handOver.notTaken, std::vector<std::size_t>{1});
    EXPECT_TRUE(handOver.reason.contains(units().commandUnit(given[1].when, 1)))
        << handOver.reason.toStdString();
    // The timer calls at the times of the two that went over, and only at theirs.
    EXPECT_EQ(readAll(manager_.unitFolder() + QLatin1Char('/') + units().timerUnit()),
              UserTimerUnits::timer({given[0].when, given[2].when}));
    EXPECT_EQ(manager_.unitFiles(), QStringList({units().commandUnit(given[0].when, 0),
                                                 units().commandUnit(given[2].when, 2),
                                                 units().starterUnit(), units().timerUnit()}));
    EXPECT_EQ(manager_.loadedUnits(), QStringList{units().timerUnit()});
}

// Whatever the manager refuses, nothing of the hand-over is left to run.
TEST_F(platformUserTimers, AManagerThatFailsTakesNothingAndNothingOfItCanRun) {
    struct Case {
        QStringList failing;
        const char* reason;
    };
    const Case cases[] = {
        {{"start"}, "systemctl start failed (Failed to start: the fake says no)"},
        {{"start", "daemon-reload"},
         "systemctl daemon-reload failed (Failed to daemon-reload: the fake says no)"},
    };
    for (const Case& c : cases) {
        FakeServiceManager manager;
        for (const QString& command : c.failing) {
            manager.failCommand(command);
        }
        ASSERT_TRUE(timers().isAvailable());
        const UserTimers::HandOver handOver = timers().handOver(kGroup, echoes(3, inSeconds(60)));
        EXPECT_EQ(handOver.notTaken, (std::vector<std::size_t>{0, 1, 2})) << c.reason;
        EXPECT_EQ(handOver.reason, QString::fromLatin1(c.reason));
        EXPECT_TRUE(manager.unitFiles().isEmpty()) << c.reason;
    }
}

TEST_F(platformUserTimers, WithoutTheRuntimeFolderInTheManagersPathNothingIsTried) {
    // The manager reads another runtime folder than ours: our units would never run.
    const ScopedEnvVar elsewhere("XDG_RUNTIME_DIR", manager_.unitFolder() + QStringLiteral("/x"));
    EXPECT_FALSE(timers().isAvailable());
    const UserTimers::HandOver handOver = timers().handOver(kGroup, echoes(2, inSeconds(60)));
    EXPECT_EQ(handOver.notTaken, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(manager_.calls().size(), 1);
}

TEST_F(platformUserTimers, TakingBackStopsTheGroupAndTheOldTimersAndLeavesOthersAlone) {
    const std::vector<UserTimers::Timer> given = echoes(2, inSeconds(3600));
    const QString otherGroup = QStringLiteral("talvor-test-99999999");
    ASSERT_TRUE(timers().isAvailable());
    ASSERT_TRUE(timers().handOver(otherGroup, given).notTaken.empty());
    ASSERT_TRUE(timers().handOver(kGroup, given).notTaken.empty());
    const UserTimerUnits ours = units();
    const UserTimerUnits other = units(otherGroup);
    // What an earlier version made with systemd-run, and a write of ours a kill cut short.
    manager_.addTransientUnit(QStringLiteral("talvor-alarm-3.timer"));
    manager_.addTransientUnit(QStringLiteral("talvor-alarm-3.service"));
    QFile(manager_.unitFolder() + QStringLiteral("/.") + ours.timerUnit() +
          QStringLiteral(".a1B2c3"))
        .open(QIODevice::WriteOnly);
    QStringList othersFiles = {other.commandUnit(given[0].when, 0),
                               other.commandUnit(given[1].when, 1), other.starterUnit(),
                               other.timerUnit()};
    othersFiles.sort();
    manager_.clearCalls();

    EXPECT_TRUE(timers().takeBack(kGroup, QStringLiteral("talvor-alarm-")));
    EXPECT_EQ(manager_.unitFiles(), othersFiles);
    EXPECT_EQ(manager_.loadedUnits(), QStringList{other.timerUnit()});
    const QString stopped =
        QStringLiteral("talvor-alarm-3.service talvor-alarm-3.timer ") + ours.timerUnit();
    EXPECT_EQ(manager_.calls(),
              QStringList({"systemctl list-units --all --plain --no-legend --type=timer,service " +
                               kGroup + ".* talvor-alarm-*",
                           "systemctl stop " + stopped, "systemctl reset-failed " + stopped}));
}

// What the timer starts: its hand-over's commands whose time has come, each once.
TEST_F(platformUserTimers, TheStarterStartsWhatIsDueAndRemovesItselfWhenNoneIsLeft) {
    const UserTimerUnits u(manager_.unitFolder(), kGroup, QStringLiteral("h1"));
    const auto place = [&](const QString& name) {
        QFile f(manager_.unitFolder() + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(UserTimerUnits::commandService({QStringLiteral("/bin/true")}));
    };
    const QString past = u.commandUnit(inSeconds(-90), 0);
    const QString now = u.commandUnit(inSeconds(0), 1);
    const QString later = u.commandUnit(inSeconds(3600), 2);
    for (const QString& name : {past, now, later, u.timerUnit(), u.starterUnit()}) {
        place(name);
    }
    // Due too, but another group's, and another hand-over's of this group.
    const QString othersDue =
        UserTimerUnits(manager_.unitFolder(), QStringLiteral("talvor-test-99999999"),
                       QStringLiteral("h1"))
            .commandUnit(inSeconds(-90), 0);
    const QString earlierDue = UserTimerUnits(manager_.unitFolder(), kGroup, QStringLiteral("h0"))
                                   .commandUnit(inSeconds(-90), 0);
    place(othersDue);
    place(earlierDue);
    const auto runStarter = [&] {
        const QStringList command = u.starterCommand();
        QProcess starter;
        starter.start(command.front(), command.mid(1));
        ASSERT_TRUE(starter.waitForFinished(10000));
        EXPECT_EQ(starter.exitCode(), 0) << starter.readAllStandardError().toStdString();
    };

    runStarter();
    EXPECT_EQ(manager_.calls(), QStringList({"systemctl start --no-block " + past,
                                             "systemctl start --no-block " + now}));
    QStringList left = {later, u.timerUnit(), u.starterUnit(), othersDue, earlierDue};
    left.sort();
    EXPECT_EQ(manager_.unitFiles(), left);

    // The last one due in a second: the starter waits for it rather than leave it to a
    // timer that would find the starter still running; then its own files go too.
    const QString soon = u.commandUnit(inSeconds(1), 2);
    ASSERT_TRUE(QDir(manager_.unitFolder()).rename(later, soon));
    manager_.clearCalls();
    runStarter();
    EXPECT_EQ(manager_.calls(), QStringList{"systemctl start --no-block " + soon});
    left = QStringList{othersDue, earlierDue};
    left.sort();
    EXPECT_EQ(manager_.unitFiles(), left);
}

// A pass that takes long (a busy machine, many alarms due after a resume) may outlast the
// next alarm's time, when the timer finds the starter still running: the starter looks at
// the clock again and starts that one itself.
TEST_F(platformUserTimers, TheStarterStartsWhatCameDueWhileItWasStarting) {
    const UserTimerUnits u(manager_.unitFolder(), kGroup, QStringLiteral("h1"));
    const QString due = u.commandUnit(inSeconds(-1), 0);
    const QString whileStarting = u.commandUnit(inSeconds(3), 1);
    for (const QString& name : {due, whileStarting, u.timerUnit(), u.starterUnit()}) {
        QFile f(manager_.unitFolder() + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    manager_.delayNextStart(3);
    const QStringList command = u.starterCommand();
    QProcess starter;
    starter.start(command.front(), command.mid(1));
    ASSERT_TRUE(starter.waitForFinished(20000));
    EXPECT_EQ(manager_.calls(), QStringList({"systemctl start --no-block " + due,
                                             "systemctl start --no-block " + whileStarting}));
    EXPECT_TRUE(manager_.unitFiles().isEmpty());
}

// A hand-over killed at any moment leaves whole units or none, and the next start's
// taking back removes all of it.
TEST_F(platformUserTimers, AKillMidHandOverLeavesNoHalfWrittenUnit) {
    const Date first = inSeconds(3600);
    for (const int killAfterFiles : {1, 400, 1002}) {
        // At the last, the start never answers: the kill finds every unit written.
        manager_.hang(killAfterFiles == 1002);
        QProcess peer;
        peer.start(QStringLiteral(TALVOR_USER_TIMERS_PEER),
                   {kGroup, QStringLiteral("1000"),
                    QString::number(first.timeIntervalSince1970(), 'f', 0)});
        ASSERT_TRUE(peer.waitForStarted(10000));
        QElapsedTimer waited;
        waited.start();
        while (manager_.unitFiles().size() < killAfterFiles && waited.elapsed() < 20000 &&
               !peer.waitForFinished(0)) {
            QThread::usleep(200);
        }
        peer.kill();
        peer.waitForFinished(10000);
        const std::map<QString, QByteArray> whole = wholeUnits(units(), echoes(1000, first));
        for (const QString& name : manager_.unitFiles()) {
            if (name.startsWith(QLatin1Char('.'))) {
                continue;  // a temporary file: the manager reads no hidden file
            }
            ASSERT_TRUE(whole.count(name)) << name.toStdString();
            EXPECT_EQ(readAll(manager_.unitFolder() + QLatin1Char('/') + name), whole.at(name))
                << "killed after " << killAfterFiles << ": " << name.toStdString();
        }
        manager_.hang(false);
        EXPECT_TRUE(timers().takeBack(kGroup, {}));
        EXPECT_TRUE(manager_.unitFiles().isEmpty()) << killAfterFiles;
    }
}

// Where the user's service manager answers: a command goes over, runs at its time with its
// words as they were, and leaves nothing of the group behind.
TEST(platformUserTimersReal, TheUsersManagerRunsTheCommandAsWritten) {
    UserTimers::setShared(nullptr);
    UserTimers& timers = UserTimers::shared();
    if (!timers.isAvailable()) {
        test::maySkipInCI("a container runs no systemd user manager");
        GTEST_SKIP() << "no user service manager answers (systemctl --user)";
    }
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const QString words = out.filePath(QStringLiteral("words"));
    const QStringList tricky = {QStringLiteral("Tea \"Earl Grey\" & 'cake' for ${USER}"),
                                QStringLiteral("100% %n $(rm -rf ~) \\ ;"),
                                QStringLiteral("line\nnext\ttab"), QString(),
                                QString::fromUtf8("Grüße ☕")};
    const QString group = QStringLiteral("talvor-test-%1").arg(QCoreApplication::applicationPid());
    const UserTimers::HandOver handOver = timers.handOver(
        group,
        {{inSeconds(2), QStringList{QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                    QStringLiteral("printf '%s\\0' \"$@\" > \"$0\""), words} +
                            tricky}});
    ASSERT_TRUE(handOver.notTaken.empty()) << handOver.reason.toStdString();
    const QString folder =
        QDir::cleanPath(qEnvironmentVariable("XDG_RUNTIME_DIR")) + QStringLiteral("/systemd/user");
    const auto groupFiles = [&] {
        QStringList left;
        for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
            if (UserTimerUnits::owns(group, name)) {
                left << name;
            }
        }
        return left;
    };
    QElapsedTimer waited;
    waited.start();
    while (!groupFiles().isEmpty() && waited.elapsed() < 20000) {
        QThread::msleep(100);
    }
    EXPECT_TRUE(groupFiles().isEmpty());
    while (!QFile::exists(words) && waited.elapsed() < 20000) {
        QThread::msleep(100);
    }
    QThread::msleep(300);
    QStringList got = QString::fromUtf8(readAll(words)).split(QChar(0), Qt::KeepEmptyParts);
    ASSERT_FALSE(got.isEmpty());
    got.removeLast();
    EXPECT_EQ(got, tricky);
    timers.takeBack(group, {});
}

}  // namespace
}  // namespace talvor::test
