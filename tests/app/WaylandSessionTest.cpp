// The build-tree program as a native client of a Wayland compositor run headless (sway's
// headless back end, no seat, no GPU): it starts, shows its status items on its own strip or,
// with a panel on the bus, in the desktop's panel, its time menu opens, and SIGTERM ends it
// cleanly with its alarms saved.
#include "RunningTalvor.h"
#include "platform/linux/DBusMenuTypes.h"
#include "support/TestEnvironment.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>
#include <csignal>

namespace talvor {
namespace {

using test::RunningTalvor;
namespace dbus = platform::dbus;

// A compositor of the test's own in a private runtime folder: sway with its headless back end
// and the pixman renderer. sway refuses to run as root, so under root it runs as nobody.
class HeadlessCompositor {
  public:
    HeadlessCompositor() {
        const QString sway = QStandardPaths::findExecutable(QStringLiteral("sway"));
        swaymsg_ = QStandardPaths::findExecutable(QStringLiteral("swaymsg"));
        if (sway.isEmpty() || swaymsg_.isEmpty()) {
            whyNot_ = QStringLiteral("sway is not installed (scripts/setup-deps installs it)");
            return;
        }
        QFile config(runtime_.filePath(QStringLiteral("config")));
        log_.open();
        if (!runtime_.isValid() || !config.open(QIODevice::WriteOnly)) {
            whyNot_ = QStringLiteral("no runtime folder for the compositor");
            return;
        }
        config.write("output HEADLESS-1 resolution 1280x800\nxwayland disable\n");
        config.close();
        QString program = sway;
        QStringList arguments{QStringLiteral("-c"), config.fileName()};
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
            if (nobody == nullptr || setpriv.isEmpty() ||
                ::chown(QFile::encodeName(runtime_.path()).constData(), nobody->pw_uid,
                        nobody->pw_gid) != 0) {
                whyNot_ = QStringLiteral("sway refuses root, and no user nobody or setpriv");
                return;
            }
            arguments = QStringList{QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                                    QStringLiteral("--regid=%1").arg(nobody->pw_gid),
                                    QStringLiteral("--clear-groups"), sway} +
                        arguments;
            program = setpriv;
        }
        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        env.insert(QStringLiteral("HOME"), runtime_.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        env.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
        env.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
        env.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
        sway_.setProcessEnvironment(env);
        // To a file: a pipe nobody reads would stop the compositor once full.
        sway_.setProcessChannelMode(QProcess::MergedChannels);
        sway_.setStandardOutputFile(log_.fileName());
        sway_.start(program, arguments);
        QElapsedTimer waited;
        waited.start();
        while (sway_.state() != QProcess::NotRunning && waited.elapsed() < 20000) {
            findSockets();
            if (!ipc_.isEmpty() && !socket_.isEmpty() &&
                ask({QStringLiteral("-t"), QStringLiteral("get_outputs")}).contains("HEADLESS")) {
                return;
            }
            QThread::msleep(50);
        }
        QFile log(log_.fileName());
        log.open(QIODevice::ReadOnly);
        whyNot_ = QStringLiteral("sway did not start: ") +
                  QString::fromLocal8Bit(log.readAll().right(600));
    }
    ~HeadlessCompositor() {
        sway_.terminate();
        if (!sway_.waitForFinished(5000)) {
            sway_.kill();
            sway_.waitForFinished(5000);
        }
    }
    HeadlessCompositor(const HeadlessCompositor&) = delete;
    HeadlessCompositor& operator=(const HeadlessCompositor&) = delete;

    // Why no compositor runs; empty when one does.
    const QString& whyNot() const { return whyNot_; }
    // The display's socket, a whole path (WAYLAND_DISPLAY takes one), so that the program
    // keeps a runtime folder of its own.
    const QString& socket() const { return socket_; }
    // A request over the compositor's IPC (swaymsg's arguments); its JSON answer.
    QByteArray ask(const QStringList& arguments) const {
        QProcess msg;
        msg.start(swaymsg_,
                  QStringList{QStringLiteral("-s"), ipc_, QStringLiteral("-r")} + arguments);
        msg.waitForFinished(10000);
        return msg.readAllStandardOutput();
    }

  private:
    void findSockets() {
        const QDir dir(runtime_.path());
        for (const QString& name : dir.entryList(QDir::System | QDir::Files | QDir::Hidden)) {
            if (name.startsWith(QLatin1String("sway-ipc."))) {
                ipc_ = dir.filePath(name);
            } else if (name.startsWith(QLatin1String("wayland-")) &&
                       !name.endsWith(QLatin1String(".lock"))) {
                socket_ = dir.filePath(name);
            }
        }
    }

    QTemporaryDir runtime_;
    QTemporaryFile log_{QDir::tempPath() + QStringLiteral("/talvor-sway-XXXXXX.log")};
    QProcess sway_;
    QString swaymsg_;
    QString ipc_;
    QString socket_;
    QString whyNot_;
};

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

// A panel's watcher that takes the items of one process only: other tests' programs share
// the bus.
class PanelWatcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
  public:
    qint64 acceptedPid = 0;
    QStringList registered;
    bool hostRegistered() const { return true; }
    QStringList items() const { return registered; }
    int protocolVersion() const { return 0; }

  public slots:
    void RegisterStatusNotifierItem(const QString& service) {
        const uint pid = connection().interface()->servicePid(message().service()).value();
        if (acceptedPid != 0 && pid == acceptedPid) {
            registered << service;
        }
    }
    void RegisterStatusNotifierHost(const QString&) {}

  signals:
    void StatusNotifierItemRegistered(const QString& service);
};

QVariant propertyOf(const QString& service, const QString& name) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call.setArguments({QStringLiteral("org.kde.StatusNotifierItem"), name});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

// What a panel does when the user clicks an item with a menu: tells the menu it opens, then
// reads its entries; their labels, submenus left out.
QStringList openMenuOf(const QString& service) {
    const QString path =
        propertyOf(service, QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    if (path.isEmpty()) {
        return {};
    }
    const QString menu = QStringLiteral("com.canonical.dbusmenu");
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage opened =
        QDBusMessage::createMethodCall(service, path, menu, QStringLiteral("Event"));
    opened.setArguments(
        {0, QStringLiteral("opened"), QVariant::fromValue(QDBusVariant(QString())), 0u});
    bus.call(opened, QDBus::Block, 10000);
    QDBusMessage layout =
        QDBusMessage::createMethodCall(service, path, menu, QStringLiteral("GetLayout"));
    layout.setArguments({0, -1, QStringList()});
    const QDBusMessage reply = bus.call(layout, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return {};  // an item without a menu (the date's opens the calendar)
    }
    dbus::MenuLayoutItem root;
    reply.arguments().value(1).value<QDBusArgument>() >> root;
    QStringList labels;
    for (const dbus::MenuLayoutItem& entry : root.children) {
        labels << entry.properties.value(QStringLiteral("label")).toString();
    }
    return labels;
}

// The compositor's node of the window titled `name` in its tree (get_tree), or an empty one.
QJsonObject windowNamed(const QJsonObject& node, const QString& name) {
    if (node.value(QStringLiteral("name")).toString() == name) {
        return node;
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node.value(QLatin1String(children)).toArray()) {
            const QJsonObject found = windowNamed(child.toObject(), name);
            if (!found.isEmpty()) {
                return found;
            }
        }
    }
    return {};
}

// Waits for `text` in the program's output while this thread answers the bus.
bool waitServing(RunningTalvor& app, const QByteArray& text, int ms = 60000) {
    return QTest::qWaitFor([&] { return app.waitFor(text, 50); }, ms);
}

class WaylandSession : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!compositor.whyNot().isEmpty()) {
            GTEST_SKIP() << "no headless Wayland compositor: " << compositor.whyNot().toStdString();
        }
        if (!QDBusConnection::sessionBus().isConnected()) {
            GTEST_SKIP() << "no session bus (run under dbus-run-session)";
        }
        test::storeAnAlarmForTomorrow();
    }

    // SIGTERM: out cleanly, the alarm saved back.
    void expectCleanQuit(RunningTalvor& app) {
        test::forgetStoredAlarms();
        app.signal(SIGTERM);
        ASSERT_TRUE(app.waitForExit()) << app.log();
        EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit) << app.log();
        EXPECT_EQ(app.process().exitCode(), 0) << app.log();
        EXPECT_TRUE(app.output().contains("Quitting on signal 15")) << app.log();
        EXPECT_TRUE(app.output().contains("Talvor Pro quit")) << app.log();
        EXPECT_EQ(test::storedAlarmTitles(), QStringList{QStringLiteral("dentist")}) << app.log();
    }

    test::XdgSandbox sandbox;
    HeadlessCompositor compositor;
    const test::ScopedEnvVar display{"WAYLAND_DISPLAY", compositor.socket()};
};

using appWaylandSession = WaylandSession;

// No panel shows status items: they stay on the strip, a plain window the compositor maps,
// and the user is told once what would put them in the top bar.
TEST_F(appWaylandSession, WithoutAPanelTheStripShowsAndItsTimeMenuOpens) {
    RunningTalvor app(RunningTalvor::OnWayland, test::DriverAction{QStringLiteral("time-menu")});
    ASSERT_TRUE(app.waitFor("test time menu shown", 60000)) << app.log();
    EXPECT_TRUE(app.output().contains("test strip 'Talvor menu bar'")) << app.log();
    // Mapped as a band of its own size, not stretched over a tile of the screen.
    const QByteArray tree = compositor.ask({QStringLiteral("-t"), QStringLiteral("get_tree")});
    const QJsonObject strip =
        windowNamed(QJsonDocument::fromJson(tree).object(), QStringLiteral("Talvor menu bar"));
    ASSERT_FALSE(strip.isEmpty()) << tree.toStdString();
    EXPECT_EQ(strip.value(QStringLiteral("type")).toString().toStdString(), "floating_con")
        << tree.toStdString();
    EXPECT_LT(
        strip.value(QStringLiteral("rect")).toObject().value(QStringLiteral("height")).toInt(), 100)
        << tree.toStdString();
    EXPECT_EQ(app.output().count("gnome-shell-extension-appindicator"), 1) << app.log();
    expectCleanQuit(app);
}

// With a panel on the bus the items go there, and the time item's menu is the time menu.
TEST_F(appWaylandSession, WithAPanelTheItemsGoToItAndTheTimeMenuTravelsOverDBus) {
    dbus::registerTypes();
    PanelWatcher watcher;
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.registerService(kWatcher)) << "another watcher holds the name";
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                   QDBusConnection::ExportAllContents));
    RunningTalvor app(RunningTalvor::OnWayland, test::DriverAction{QStringLiteral("time-menu")});
    watcher.acceptedPid = app.process().processId();
    ASSERT_TRUE(waitServing(app, "test items in the desktop panel")) << app.log();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.registered.isEmpty(); }, 20000)) << app.log();
    bool timeMenu = false;
    for (const QString& service : watcher.registered) {
        timeMenu = timeMenu || openMenuOf(service).contains(QStringLiteral("Quit Talvor"));
    }
    EXPECT_TRUE(timeMenu) << app.log();
    EXPECT_FALSE(compositor.ask({QStringLiteral("-t"), QStringLiteral("get_tree")})
                     .contains("Talvor menu bar"))
        << "the strip shows beside the panel's items";
    EXPECT_EQ(app.output().count("gnome-shell-extension-appindicator"), 0) << app.log();
    expectCleanQuit(app);
    bus.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
    bus.unregisterService(kWatcher);
}

}  // namespace
}  // namespace talvor

#include "WaylandSessionTest.moc"
