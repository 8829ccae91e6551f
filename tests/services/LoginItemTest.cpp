#include "platform/DesktopEntryFile.h"
#include "platform/MediaBackend.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "services/AppStartup.h"
#include "services/PFMoveApplication.h"
#include "services/ProgramCopy.h"
#include "services/SystemEventNames.h"
#include "support/FakeSystemEvents.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <gtest/gtest.h>

#include <limits>

namespace talvor {
namespace {

using platform::UserDefaults;
using platform::DesktopEntryFile::read;

// Makes an executable file at `path` (folders included) and returns its canonical path.
QString makeProgram(const QString& path, const QByteArray& contents = "#!/bin/sh\n") {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(contents);
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return QFileInfo(path).canonicalFilePath();
}

int autostartFiles() {
    return static_cast<int>(QDir(platform::DesktopEntryFile::autostartFolder())
                                .entryList({QStringLiteral("*.desktop")}, QDir::Files)
                                .size());
}

class syseventsLoginItem : public ::testing::Test {
  protected:
    void SetUp() override {
        program = makeProgram(sandbox.root() + QStringLiteral("/opt/Talvor Pro's/talvor"));
        other = makeProgram(sandbox.root() + QStringLiteral("/old copy/talvor"));
    }
    test::XdgSandbox sandbox;
    QString program;
    QString other;
};

using servicesSyseventsLoginItem = syseventsLoginItem;

TEST_F(servicesSyseventsLoginItem, EnablingTwiceLeavesOneEntryThatStartsThisProgram) {
    LoginItems items(program);
    EXPECT_FALSE(items.isEnabled());
    EXPECT_TRUE(items.setEnabled(true));
    EXPECT_TRUE(items.setEnabled(true));
    EXPECT_TRUE(items.isEnabled());
    EXPECT_EQ(autostartFiles(), 1);
    EXPECT_EQ(LoginItems::entryPath(),
              qEnvironmentVariable("XDG_CONFIG_HOME") +
                  QStringLiteral("/autostart/com.larkspindle.TalvorPro.desktop"));
    // The path with a blank and a quote survives the Exec line; the program learns it was
    // started at login.
    const auto entry = read(LoginItems::entryPath());
    ASSERT_TRUE(entry);
    EXPECT_EQ(platform::DesktopEntryFile::splitExec(entry->value(QStringLiteral("Exec"))),
              (QStringList{program, QStringLiteral("--at-login")}));
    EXPECT_EQ(entry->value(QStringLiteral("Type")), QStringLiteral("Application"));
    EXPECT_EQ(entry->value(QStringLiteral("TryExec")), program)
        << "a copy removed without its entry leaves nothing the desktop would start";
    EXPECT_TRUE(UserDefaults::standard().boolForKey(kStartAtLoginKey));

    EXPECT_TRUE(items.setEnabled(false));
    EXPECT_FALSE(items.isEnabled());
    EXPECT_EQ(autostartFiles(), 0);
    EXPECT_TRUE(items.setEnabled(false)) << "disabling when absent changes nothing";
    EXPECT_EQ(autostartFiles(), 0);
    EXPECT_FALSE(UserDefaults::standard().boolForKey(kStartAtLoginKey));
}

// An entry of another copy is not ours: enabling replaces it, disabling leaves it alone.
TEST_F(servicesSyseventsLoginItem, EntryOfAnotherCopyIsReplacedOnlyWhenEnabling) {
    LoginItems theOther(other);
    ASSERT_TRUE(theOther.setEnabled(true));
    LoginItems items(program);
    EXPECT_FALSE(items.isEnabled());

    EXPECT_TRUE(items.setEnabled(false));
    EXPECT_EQ(items.entryProgram(), other);

    EXPECT_TRUE(items.setEnabled(true));
    EXPECT_TRUE(items.isEnabled());
    EXPECT_FALSE(theOther.isEnabled());
    EXPECT_EQ(autostartFiles(), 1);
}

// What the desktop's own settings write counts: hidden or disabled entries are absent, and
// "StartAtLogin" follows the file at start-up.
TEST_F(servicesSyseventsLoginItem, DesktopsOwnMarksAndStartAtLoginFollowTheFile) {
    LoginItems items(program);
    const QString exec = platform::DesktopEntryFile::quoteExecArgument(program);
    struct Case {
        const char* name;
        QList<QPair<QString, QString>> extra;
        bool enabled;
    };
    const Case cases[] = {
        {"plain", {}, true},
        {"hidden", {{QStringLiteral("Hidden"), QStringLiteral("true")}}, false},
        {"gnome off",
         {{QStringLiteral("X-GNOME-Autostart-enabled"), QStringLiteral("false")}},
         false},
        {"gnome on", {{QStringLiteral("X-GNOME-Autostart-enabled"), QStringLiteral("true")}}, true},
    };
    for (const Case& c : cases) {
        QList<QPair<QString, QString>> entries = {
            {QStringLiteral("Type"), QStringLiteral("Application")},
            {QStringLiteral("Exec"), exec + QStringLiteral(" %U")}};
        entries += c.extra;
        ASSERT_TRUE(platform::DesktopEntryFile::write(LoginItems::entryPath(), entries));
        UserDefaults::standard().setBool(!c.enabled, kStartAtLoginKey);
        items.synchronizeStartAtLogin();
        EXPECT_EQ(items.isEnabled(), c.enabled) << c.name;
        EXPECT_EQ(UserDefaults::standard().boolForKey(kStartAtLoginKey), c.enabled) << c.name;
    }
    // Enabling over a hidden entry makes it effective again.
    ASSERT_TRUE(platform::DesktopEntryFile::write(
        LoginItems::entryPath(),
        {{QStringLiteral("Exec"), exec}, {QStringLiteral("Hidden"), QStringLiteral("true")}}));
    EXPECT_TRUE(items.setEnabled(true));
    EXPECT_TRUE(items.isEnabled());
}

// Changes made elsewhere (the desktop's settings, another copy) are heard, so a bound check
// box can follow them.
TEST_F(servicesSyseventsLoginItem, ChangesMadeElsewhereAreHeard) {
    LoginItems items(program);
    std::vector<bool> heard;
    QObject::connect(&items, &LoginItems::changed, [&](bool enabled) { heard.push_back(enabled); });
    items.watch();
    LoginItems elsewhere(program);
    ASSERT_TRUE(elsewhere.setEnabled(true));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !heard.empty(); }, 5000));
    ASSERT_TRUE(QFile::remove(LoginItems::entryPath()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return heard.size() == 2; }, 5000));
    EXPECT_EQ(heard, (std::vector<bool>{true, false}));
}

TEST_F(servicesSyseventsLoginItem, AppStartupOperatesTheSharedService) {
    LoginItems items(program);
    LoginItems::setShared(&items);
    EXPECT_FALSE(AppStartup::isInLoginItems());
    AppStartup::setInLoginItems(true);
    EXPECT_TRUE(AppStartup::isInLoginItems());
    EXPECT_TRUE(AppStartup::ourURL().startsWith(QStringLiteral("file:///")));
    EXPECT_TRUE(AppStartup::ourURL().endsWith(QStringLiteral("/talvor")));
    LoginItems::setShared(nullptr);
}

TEST(servicesSyseventsDesktopEntry, ExecArgumentsRoundTrip) {
    const QString odd[] = {
        QStringLiteral("/usr/bin/talvor"),
        QStringLiteral("/a b/c"),
        QStringLiteral("/it's/\"q\"/$HOME/`x`"),
        QStringLiteral("/back\\slash/100%"),
        QStringLiteral("/tab\there"),
    };
    QString exec;
    QStringList want;
    for (const QString& arg : odd) {
        exec += platform::DesktopEntryFile::quoteExecArgument(arg) + QLatin1Char(' ');
        want.append(arg);
    }
    test::XdgSandbox sandbox;
    const QString path = sandbox.root() + QStringLiteral("/x.desktop");
    ASSERT_TRUE(platform::DesktopEntryFile::write(
        path, {{QStringLiteral("Exec"), exec + QStringLiteral("%f")}}));
    const auto entry = read(path);
    ASSERT_TRUE(entry);
    EXPECT_EQ(platform::DesktopEntryFile::splitExec(entry->value(QStringLiteral("Exec"))), want);
    EXPECT_EQ(platform::DesktopEntryFile::quoteExecArgument(QStringLiteral("/usr/bin/talvor")),
              QStringLiteral("/usr/bin/talvor"));
}

TEST(servicesSyseventsMaxIntegerToZero, OnlyTheNotFoundMarkerBecomesEmpty) {
    const qint64 max = std::numeric_limits<qint64>::max();
    EXPECT_EQ(MaxIntegerToZeroValueTransformer::transformedValue(QVariant(max)),
              QVariant(QString()));
    EXPECT_EQ(MaxIntegerToZeroValueTransformer::transformedValue(QVariant(max - 1)),
              QVariant(max - 1));
    EXPECT_EQ(MaxIntegerToZeroValueTransformer::transformedValue(QVariant(QStringLiteral("x"))),
              QVariant(QStringLiteral("x")));
}

TEST(servicesSyseventsShellQuotedString, SingleQuotesCloseEscapeAndReopen) {
    struct Case {
        QString in, out;
    };
    const Case cases[] = {
        {QStringLiteral("it's"), QStringLiteral("'it'\\''s'")},
        {QStringLiteral("/plain/path"), QStringLiteral("'/plain/path'")},
        {QString(), QStringLiteral("''")},
        {QStringLiteral("''"), QStringLiteral("''\\'''\\'''")},
        {QStringLiteral("$HOME `x` \"q\""), QStringLiteral("'$HOME `x` \"q\"'")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShellQuotedString(c.in), c.out) << c.in.toStdString();
    }
}

// ---- move to ~/.local/bin

class syseventsMoveToApplications : public ::testing::Test {
  protected:
    MoveToApplicationsEnvironment environment(const QString& exe) {
        MoveToApplicationsEnvironment env;
        env.executablePath = exe;
        env.destinationFolder = sandbox.root() + QStringLiteral("/home/.local/bin");
        env.downloadsFolder = sandbox.root() + QStringLiteral("/home/Downloads");
        env.runAlert = [this](const MoveAlert& alert,
                              std::function<void(MoveAlertAnswer)> answered) {
            alerts.push_back(alert);
            if (answerLater) {
                pending = std::move(answered);
            } else {
                answered(answer);
            }
        };
        env.runFailureAlert = [this](const QString& text) { failures.append(text); };
        env.isRunningElsewhere = [this](const QString&) { return runningElsewhere; };
        env.launcher = &launcher;
        env.exitProcess = [this](int status) { exits.push_back(status); };
        return env;
    }
    test::XdgSandbox sandbox;
    test::FakeProcessLauncher launcher;
    std::vector<MoveAlert> alerts;
    QStringList failures;
    std::vector<int> exits;
    // Offers with `keepRunning` counted in keptRunning.
    void offer(const QString& exe) {
        PFMoveToApplicationsFolderIfNecessary(environment(exe), [this] { ++keptRunning; });
    }
    MoveAlertAnswer answer;
    bool answerLater = false;  // the alert stays open until `pending` is called
    std::function<void(MoveAlertAnswer)> pending;
    int keptRunning = 0;
    bool runningElsewhere = false;
};

using servicesSyseventsMoveToApplications = syseventsMoveToApplications;

TEST_F(servicesSyseventsMoveToApplications, OfferedOnlyFromBuildTreesAndDownloads) {
    struct Case {
        const char* where;
        bool buildTree;
        bool offered;
        bool mentionsDownloads;
    };
    const Case cases[] = {
        {"/home/Downloads/talvor", false, true, true},
        {"/work/build/src/app/talvor", true, true, false},
        {"/opt/talvor/bin/talvor", false, false, false},
        {"/home/.local/bin/talvor", false, false, false},
    };
    answer = {1, false};
    for (const Case& c : cases) {
        alerts.clear();
        const QString exe = makeProgram(sandbox.root() + QLatin1String(c.where));
        if (c.buildTree) {
            makeProgram(sandbox.root() + QStringLiteral("/work/build/CMakeCache.txt"), "");
        }
        PFMoveToApplicationsFolderIfNecessary(environment(exe));
        ASSERT_EQ(alerts.size(), c.offered ? 1u : 0u) << c.where;
        if (c.offered) {
            const MoveAlert& a = alerts.front();
            EXPECT_EQ(a.messageText, QStringLiteral("Move to ~/.local/bin?"));
            EXPECT_EQ(a.buttons, (QStringList{QStringLiteral("Move to ~/.local/bin"),
                                              QStringLiteral("Do Not Move")}));
            EXPECT_TRUE(a.showsSuppressionButton);
            EXPECT_EQ(a.informativeText.contains(
                          QStringLiteral("This will keep your Downloads folder uncluttered.")),
                      c.mentionsDownloads)
                << c.where;
            EXPECT_TRUE(a.informativeText.startsWith(
                QStringLiteral("I can move myself to ~/.local/bin if you'd like.")));
        }
    }
    EXPECT_TRUE(exits.empty());
}

TEST_F(servicesSyseventsMoveToApplications, DeclinedWithTheBoxTickedNeverAsksAgain) {
    const QString exe = makeProgram(sandbox.root() + QStringLiteral("/home/Downloads/talvor"));
    answer = {1, false};
    PFMoveToApplicationsFolderIfNecessary(environment(exe));
    PFMoveToApplicationsFolderIfNecessary(environment(exe));
    EXPECT_EQ(alerts.size(), 2u) << "without the tick it asks at the next launch";
    answer = {1, true};
    PFMoveToApplicationsFolderIfNecessary(environment(exe));
    PFMoveToApplicationsFolderIfNecessary(environment(exe));
    EXPECT_EQ(alerts.size(), 3u);
    EXPECT_TRUE(UserDefaults::standard().boolForKey(kMoveToApplicationsFolderAlertSuppressKey));
    EXPECT_TRUE(QFile::exists(exe));
}

TEST_F(servicesSyseventsMoveToApplications, AcceptedCopiesAddsLauncherRemovesOldAndRelaunches) {
    const QString exe =
        makeProgram(sandbox.root() + QStringLiteral("/home/Downloads/it's/talvor"), "binary");
    answer = {0, false};
    PFMoveToApplicationsFolderIfNecessary(environment(exe));

    const QString installed =
        sandbox.root() + QStringLiteral("/home/.local/lib/talvor-pro/bin/talvor");
    QFile copy(installed);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), QByteArray("binary"));
    EXPECT_TRUE(copy.permissions() & QFileDevice::ExeOwner);
    EXPECT_EQ(QFileInfo(sandbox.root() + QStringLiteral("/home/.local/bin/talvor")).symLinkTarget(),
              installed)
        << "the command runs the copy";
    EXPECT_FALSE(QFile::exists(exe)) << "the copy in Downloads goes";
    const auto entry = read(platform::DesktopEntryFile::applicationsFolder() +
                            QStringLiteral("/com.larkspindle.TalvorPro.desktop"));
    ASSERT_TRUE(entry);
    EXPECT_EQ(platform::DesktopEntryFile::splitExec(entry->value(QStringLiteral("Exec"))),
              QStringList{installed});
    EXPECT_EQ(entry->value(QStringLiteral("TryExec")), installed);

    ASSERT_EQ(launcher.launches.size(), 1u);
    EXPECT_EQ(launcher.launches[0].program, QStringLiteral("/bin/sh"));
    const QString script = launcher.launches[0].arguments.value(1);
    EXPECT_TRUE(script.contains(ShellQuotedString(installed))) << script.toStdString();
    EXPECT_TRUE(script.startsWith(QStringLiteral("(while /bin/kill -0 ")));
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_TRUE(failures.isEmpty());
}

TEST_F(servicesSyseventsMoveToApplications, RunningCopyAtTheDestinationIsSwitchedTo) {
    const QString exe =
        makeProgram(sandbox.root() + QStringLiteral("/home/Downloads/talvor"), "new");
    const QString installed =
        makeProgram(sandbox.root() + QStringLiteral("/home/.local/bin/talvor"), "old");
    answer = {0, false};
    runningElsewhere = true;
    PFMoveToApplicationsFolderIfNecessary(environment(exe));
    ASSERT_EQ(launcher.launches.size(), 1u);
    EXPECT_EQ(launcher.launches[0].program, installed);
    EXPECT_EQ(exits, std::vector<int>{0});
    QFile old(installed);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("old")) << "nothing is copied over a running copy";
    EXPECT_TRUE(QFile::exists(exe));
}

TEST_F(servicesSyseventsMoveToApplications, CopyFailureShowsTheAlertAndKeepsRunning) {
    const QString exe = makeProgram(sandbox.root() + QStringLiteral("/home/Downloads/talvor"));
    // A file where the folder should be: nothing can be copied into it.
    makeProgram(sandbox.root() + QStringLiteral("/home/.local/bin"), "");
    answer = {0, false};
    test::LogCapture log;
    PFMoveToApplicationsFolderIfNecessary(environment(exe));
    EXPECT_EQ(failures, QStringList{QStringLiteral("Could not move to ~/.local/bin")});
    EXPECT_TRUE(log.contains(QStringLiteral("ERROR -- Could not copy myself to ")));
    EXPECT_TRUE(exits.empty());
    EXPECT_TRUE(QFile::exists(exe));
}

// The offer returns at once; the start-up goes on once the user answered, unless the
// process is about to end.
TEST_F(servicesSyseventsMoveToApplications, TheStartUpGoesOnAfterTheAnswerUnlessTheProcessEnds) {
    struct Case {
        const char* name;
        MoveAlertAnswer answer;
        bool copyFails;
        int keptRunning;
        std::vector<int> exits;
    };
    const Case cases[] = {
        {"declined", {1, false}, false, 1, {}},
        {"moved", {0, false}, false, 0, {0}},
        {"move failed", {0, false}, true, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::XdgSandbox inner;
        const QString exe =
            makeProgram(inner.root() + QStringLiteral("/home/Downloads/talvor"), "binary");
        if (c.copyFails) {
            // A file where the folder should be: nothing can be copied into it.
            makeProgram(inner.root() + QStringLiteral("/home/.local/bin"), "");
        }
        exits.clear();
        keptRunning = 0;
        pending = nullptr;
        answerLater = true;
        MoveToApplicationsEnvironment env = environment(exe);
        env.downloadsFolder = inner.root() + QStringLiteral("/home/Downloads");
        env.destinationFolder = inner.root() + QStringLiteral("/home/.local/bin");
        PFMoveToApplicationsFolderIfNecessary(env, [this] { ++keptRunning; });
        ASSERT_TRUE(pending) << "the alert is open";
        EXPECT_EQ(keptRunning, 0) << "nothing goes on while the alert is open";
        pending(c.answer);
        EXPECT_EQ(keptRunning, c.keptRunning);
        EXPECT_EQ(exits, c.exits);
    }
    EXPECT_FALSE(UserDefaults::standard().boolForKey(kMoveToApplicationsFolderAlertSuppressKey));
}

TEST_F(servicesSyseventsMoveToApplications, WithNothingToOfferTheStartUpGoesOnAtOnce) {
    answerLater = true;
    offer(makeProgram(sandbox.root() + QStringLiteral("/opt/talvor/bin/talvor")));
    EXPECT_EQ(keptRunning, 1);
    UserDefaults::standard().setBool(true, kMoveToApplicationsFolderAlertSuppressKey);
    offer(makeProgram(sandbox.root() + QStringLiteral("/home/Downloads/talvor")));
    EXPECT_EQ(keptRunning, 2);
    EXPECT_TRUE(alerts.empty());
}

// A build tree as the build lays it out around the program: the libraries and the media
// module where the installed layout has them, the data and icons beside the program's folder.
struct FakeBuildTree {
    explicit FakeBuildTree(const QString& root, const QByteArray& program = "binary") {
        makeProgram(root + QStringLiteral("/CMakeCache.txt"), "");
        exe = makeProgram(root + QStringLiteral("/src/app/talvor"), program);
        const QString libraries = platform::programLibraryFolder(exe);
        makeProgram(libraries + QStringLiteral("/libtalvor_shell.so"), "shell");
        makeProgram(libraries + QStringLiteral("/talvor-media.so"), "media");
        const QString share = root + QStringLiteral("/src/share");
        makeProgram(share + QStringLiteral("/talvor/UserSounds/Bells/Ding.ogg"), "ding");
        makeProgram(share + QStringLiteral("/talvor/TimeFormats.plist"), "the program's formats");
        makeProgram(share + QStringLiteral("/icons/hicolor/scalable/apps/"
                                           "com.larkspindle.TalvorPro.svg"),
                    "<svg/>");
    }
    QString exe;
};

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every file below a folder, as paths relative to it.
QStringList filesBelow(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        found << it.next().mid(folder.size() + 1);
    }
    found.sort();
    return found;
}

// The copy holds everything the program loads, in a folder of its own: the user's data
// folder (~/.local/share/talvor) is not touched, and the build tree keeps its program.
TEST_F(servicesSyseventsMoveToApplications, TheCopyCarriesWhatTheProgramLoadsApartFromUserData) {
    const test::ScopedEnvVar data("XDG_DATA_HOME",
                                  sandbox.root() + QStringLiteral("/home/.local/share"));
    const QString userFormats = platform::Paths::dataDir() + QStringLiteral("/TimeFormats.plist");
    makeProgram(userFormats, "the user's formats");
    const FakeBuildTree build(sandbox.root() + QStringLiteral("/work/build"));
    answer = {0, false};
    PFMoveToApplicationsFolderIfNecessary(environment(build.exe));
    ASSERT_TRUE(failures.isEmpty()) << failures.join(QLatin1Char('\n')).toStdString();

    const PlacedCopy copy(sandbox.root() + QStringLiteral("/home/.local/bin"));
    const QString libraries =
        platform::programLibraryFolder(copy.executable()).mid(copy.folder().size() + 1);
    EXPECT_EQ(filesBelow(copy.folder()),
              (QStringList{QStringLiteral("bin/talvor"),
                           libraries + QStringLiteral("/libtalvor_shell.so"),
                           libraries + QStringLiteral("/talvor-media.so"),
                           QStringLiteral("share/icons/hicolor/scalable/apps/"
                                          "com.larkspindle.TalvorPro.svg"),
                           QStringLiteral("share/talvor/TimeFormats.plist"),
                           QStringLiteral("share/talvor/UserSounds/Bells/Ding.ogg")}));
    EXPECT_EQ(contents(userFormats), QByteArray("the user's formats"));
    EXPECT_EQ(filesBelow(platform::Paths::dataDir()),
              QStringList{QStringLiteral("TimeFormats.plist")})
        << "nothing of the program's lands among the user's data";
    EXPECT_EQ(contents(build.exe), QByteArray("binary")) << "the build tree keeps its program";
    const auto entry = read(PlacedCopy::menuEntryPath());
    ASSERT_TRUE(entry);
    EXPECT_EQ(
        entry->value(QStringLiteral("Icon")),
        copy.folder() +
            QStringLiteral("/share/icons/hicolor/scalable/apps/com.larkspindle.TalvorPro.svg"));
    EXPECT_EQ(exits, std::vector<int>{0});
}

// Every later move replaces the copy; the earlier one is removed, not left in the trash.
TEST_F(servicesSyseventsMoveToApplications, ALaterMoveReplacesTheCopyAndLeavesNothingInTheTrash) {
    const test::ScopedEnvVar data("XDG_DATA_HOME",
                                  sandbox.root() + QStringLiteral("/home/.local/share"));
    const PlacedCopy copy(sandbox.root() + QStringLiteral("/home/.local/bin"));
    answer = {0, false};
    // The program itself, where an earlier version of the move put it.
    makeProgram(copy.link(), "the first version");
    for (const QByteArray& version : {QByteArray("second"), QByteArray("third")}) {
        const FakeBuildTree build(sandbox.root() + QStringLiteral("/work/build"), version);
        PFMoveToApplicationsFolderIfNecessary(environment(build.exe));
        EXPECT_EQ(contents(copy.executable()), version);
        EXPECT_EQ(QFileInfo(copy.link()).symLinkTarget(), copy.executable());
    }
    EXPECT_TRUE(failures.isEmpty());
    EXPECT_EQ(exits, (std::vector<int>{0, 0}));
    EXPECT_EQ(filesBelow(sandbox.root() + QStringLiteral("/home/.local/share/Trash")),
              QStringList{});
    EXPECT_EQ(QDir(copy.folder() + QStringLiteral("/.."))
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("talvor-pro")})
        << "no half-made copy is left beside it";
}

// What a moved copy placed is listed and removed, the user's data and the entries of other
// copies never; afterwards no entry points at nothing.
TEST_F(servicesSyseventsMoveToApplications, RemovalTakesWhatTheCopyPlacedAndNothingElse) {
    const test::ScopedEnvVar data("XDG_DATA_HOME",
                                  sandbox.root() + QStringLiteral("/home/.local/share"));
    const QString binFolder = sandbox.root() + QStringLiteral("/home/.local/bin");
    const QString userFile = platform::Paths::dataDir() + QStringLiteral("/UnsavedAlarms.plist");
    makeProgram(userFile, "alarms");
    const FakeBuildTree build(sandbox.root() + QStringLiteral("/work/build"));
    answer = {0, false};
    PFMoveToApplicationsFolderIfNecessary(environment(build.exe));
    const PlacedCopy copy(binFolder);
    ASSERT_TRUE(LoginItems(copy.executable()).setEnabled(true));

    const QString systemProgram = makeProgram(sandbox.root() + QStringLiteral("/usr/bin/talvor"));
    EXPECT_TRUE(placedFiles(systemProgram, binFolder).isEmpty())
        << "another program's entries and copy are not its own";

    const QList<PlacedFile> placed = placedFiles(copy.executable(), binFolder);
    QStringList what;
    for (const PlacedFile& file : placed) {
        what << file.what + QStringLiteral(": ") + file.path;
    }
    EXPECT_EQ(what, (QStringList{QStringLiteral("autostart entry: ") + LoginItems::entryPath(),
                                 QStringLiteral("menu entry: ") + PlacedCopy::menuEntryPath(),
                                 QStringLiteral("command: ") + copy.link(),
                                 QStringLiteral("program: ") + copy.folder()}));
    const QStringList lines = removePlacedFiles(placed);
    for (const QString& line : lines) {
        EXPECT_TRUE(line.startsWith(QStringLiteral("Removed the "))) << line.toStdString();
    }
    for (const PlacedFile& file : placed) {
        EXPECT_FALSE(QFileInfo(file.path).exists() || QFileInfo(file.path).isSymLink())
            << file.path.toStdString();
    }
    EXPECT_EQ(contents(userFile), QByteArray("alarms"));
    EXPECT_TRUE(QFile::exists(build.exe));
}

}  // namespace
}  // namespace talvor
