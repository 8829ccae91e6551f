// The workspace on a real X server (Xvfb, no window manager) with small X clients of our own:
// the bare windows stand in for the window manager's list until one is set, the test then
// plays the window manager; and our own windows keep out of the taskbar when asked.
#include "platform/TaskbarPresence.h"
#include "platform/linux/XdgWorkspace.h"

#include "support/FakeSystemEvents.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QProcess>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace talvor::platform {
namespace {

// One window of another process, there until the object goes.
class XClient {
  public:
    explicit XClient(const QStringList& arguments) {
        process_.start(QStringLiteral(TALVOR_TEST_XCLIENT), arguments);
        if (process_.waitForReadyRead(10000)) {
            window_ = process_.readLine().trimmed().toUInt();
            pid_ = process_.processId();
        }
    }
    ~XClient() { quit(); }
    void quit() {
        if (process_.state() != QProcess::NotRunning) {
            process_.closeWriteChannel();
            if (!process_.waitForFinished(5000)) {
                process_.kill();
                process_.waitForFinished();
            }
        }
    }
    quint32 window() const { return window_; }
    qint64 pid() const { return pid_; }

  private:
    QProcess process_;
    quint32 window_ = 0;
    qint64 pid_ = 0;  // kept: the process forgets it once it ended
};

// The test's own connection: plays the window manager on the root window's properties and
// reads the state of windows. Removes what it set from the root when it goes.
class XServer {
  public:
    XServer() : c_(xcb_connect(nullptr, nullptr)) {
        if (ok()) {
            root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        }
    }
    ~XServer() {
        if (!ok()) {
            xcb_disconnect(c_);
            return;
        }
        for (const char* name : {"_NET_CLIENT_LIST", "_NET_ACTIVE_WINDOW"}) {
            xcb_delete_property(c_, root_, atom(name));
        }
        sync();
        xcb_disconnect(c_);
    }
    bool ok() const { return xcb_connection_has_error(c_) == 0; }

    void setRootWindows(const char* property, const std::vector<quint32>& windows) {
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, root_, atom(property), XCB_ATOM_WINDOW, 32,
                            static_cast<uint32_t>(windows.size()), windows.data());
        sync();
    }
    QStringList atomNames(quint32 window, const char* property) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, window, atom(property), XCB_ATOM_ATOM, 0, 64), nullptr);
        QStringList names;
        if (reply != nullptr && reply->format == 32) {
            const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
            for (int i = 0; i < xcb_get_property_value_length(reply) / 4; ++i) {
                xcb_get_atom_name_reply_t* name =
                    xcb_get_atom_name_reply(c_, xcb_get_atom_name(c_, atoms[i]), nullptr);
                names << QString::fromLatin1(xcb_get_atom_name_name(name),
                                             xcb_get_atom_name_name_length(name));
                std::free(name);
            }
        }
        std::free(reply);
        return names;
    }

  private:
    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = reply->atom;
        std::free(reply);
        return a;
    }
    void sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
};

class WorkspaceX11Test : public ::testing::Test {
  protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY") || !server.ok()) {
            GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        }
    }

    // Opens the workspace and records what it posts.
    std::unique_ptr<XdgWorkspace> openWorkspace() {
        QString why;
        std::unique_ptr<X11ClientWindows> windows = X11ClientWindows::open(&why);
        EXPECT_NE(windows, nullptr) << why.toStdString();
        auto workspace = std::make_unique<XdgWorkspace>(std::move(windows), launcher);
        NotificationCenter& center = workspace->notificationCenter();
        const auto record = [](std::vector<qint64>& into) {
            return [&into](const Notification& n) { into.push_back(n.object.toLongLong()); };
        };
        observations.push_back(
            center.addObserver(NSWorkspaceDidLaunchApplicationNotification, {}, record(launched)));
        observations.push_back(center.addObserver(NSWorkspaceDidTerminateApplicationNotification,
                                                  {}, record(terminated)));
        observations.push_back(center.addObserver(NSWorkspaceDidActivateApplicationNotification, {},
                                                  record(activated)));
        return workspace;
    }

    static std::optional<RunningApplication> find(const Workspace& workspace, qint64 pid) {
        for (const RunningApplication& app : workspace.runningApplications()) {
            if (app.processIdentifier == pid) {
                return app;
            }
        }
        return std::nullopt;
    }
    static bool contains(const std::vector<qint64>& pids, qint64 pid) {
        return std::find(pids.begin(), pids.end(), pid) != pids.end();
    }
    static QColor iconColour(const RunningApplication& app) {
        return QColor(app.icon.pixmap(16, 16).toImage().pixel(8, 8));
    }

    XServer server;
    test::FakeProcessLauncher launcher;
    std::vector<qint64> launched, terminated, activated;
    std::vector<Observation> observations;
};

using platformWorkspaceX11 = WorkspaceX11Test;

TEST_F(platformWorkspaceX11, ListsTheRunningClientsAndHearsThemComeAndGo) {
    std::unique_ptr<XdgWorkspace> workspace = openWorkspace();
    // Classes no desktop entry names.
    XClient alpha({"alpha", "TalvorProbeAlpha", "Alpha window", "ff0000"});
    XClient beta({"beta", "TalvorProbeBeta", "Beta window", "00ff00"});
    XClient gamma({"gamma", "TalvorProbeGamma", "Gamma window", "0000ff", "skip-taskbar"});
    for (const XClient* client : {&alpha, &beta, &gamma}) {
        ASSERT_NE(client->window(), 0u);
    }

    // Heard through the event loop: nothing polls the server.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return contains(launched, alpha.pid()) && contains(launched, beta.pid()) &&
                   contains(launched, gamma.pid());
        },
        5000));
    const std::vector<RunningApplication> running = workspace->runningApplications();
    const auto position = [&](qint64 pid) {
        return std::find_if(
                   running.begin(), running.end(),
                   [pid](const RunningApplication& a) { return a.processIdentifier == pid; }) -
               running.begin();
    };
    EXPECT_LT(position(alpha.pid()), position(beta.pid()));
    const std::optional<RunningApplication> a = find(*workspace, alpha.pid());
    ASSERT_TRUE(a);
    EXPECT_EQ(a->localizedName, "TalvorProbeAlpha");
    EXPECT_EQ(a->activationPolicy, ActivationPolicy::Regular);
    EXPECT_EQ(iconColour(*a), QColor(Qt::red));
    const std::optional<RunningApplication> g = find(*workspace, gamma.pid());
    ASSERT_TRUE(g);
    EXPECT_EQ(g->activationPolicy, ActivationPolicy::Accessory);
    EXPECT_EQ(find(*workspace, beta.pid())->activationPolicy, ActivationPolicy::Regular);

    beta.quit();
    ASSERT_TRUE(QTest::qWaitFor([&] { return contains(terminated, beta.pid()); }, 5000));
    EXPECT_FALSE(find(*workspace, beta.pid()));
    EXPECT_TRUE(find(*workspace, alpha.pid()));
    EXPECT_FALSE(contains(terminated, alpha.pid()));
}

TEST_F(platformWorkspaceX11, FollowsTheWindowManagersListAndActiveWindow) {
    XClient alpha({"alpha", "TalvorProbeAlpha", "Alpha window", "ff0000"});
    XClient beta({"beta", "TalvorProbeBeta", "Beta window", "00ff00"});
    ASSERT_NE(alpha.window(), 0u);
    ASSERT_NE(beta.window(), 0u);
    server.setRootWindows("_NET_CLIENT_LIST", {alpha.window(), beta.window()});
    std::unique_ptr<XdgWorkspace> workspace = openWorkspace();

    server.setRootWindows("_NET_ACTIVE_WINDOW", {beta.window()});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return activated == (std::vector<qint64>{beta.pid()}); }, 5000))
        << activated.size();
    std::optional<RunningApplication> front = workspace->frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->localizedName, "TalvorProbeBeta");
    EXPECT_EQ(iconColour(*front), QColor(Qt::green));

    server.setRootWindows("_NET_ACTIVE_WINDOW", {alpha.window()});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return activated == (std::vector<qint64>{beta.pid(), alpha.pid()});
        },
        5000))
        << activated.size();

    // The window manager's list decides, though beta's window is still mapped.
    server.setRootWindows("_NET_CLIENT_LIST", {alpha.window()});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return terminated == (std::vector<qint64>{beta.pid()}); }, 5000))
        << terminated.size();
    EXPECT_FALSE(find(*workspace, beta.pid()));
    EXPECT_TRUE(launched.empty());
}

TEST_F(platformWorkspaceX11, OurWindowsSkipTheTaskbarWhileAsked) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        GTEST_SKIP() << "needs Qt on X11";
    }
    const QStringList skips{"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"};
    const auto skipped = [&](WId window) {
        const QStringList state = server.atomNames(quint32(window), "_NET_WM_STATE");
        return state.contains(skips[0]) && state.contains(skips[1]);
    };
    WindowTaskbarPresence presence;
    presence.setShowsInTaskbar(false);
    EXPECT_FALSE(presence.showsInTaskbar());

    QWidget widget;
    widget.setWindowFlag(Qt::WindowStaysOnTopHint);  // a state of Qt's own, which must stay
    widget.resize(120, 80);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    EXPECT_TRUE(skipped(widget.winId()));
    EXPECT_TRUE(
        server.atomNames(quint32(widget.winId()), "_NET_WM_STATE").contains("_NET_WM_STATE_ABOVE"));

    QWindow window;
    window.resize(120, 80);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(skipped(window.winId()));

    widget.hide();
    presence.setShowsInTaskbar(true);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    EXPECT_FALSE(skipped(widget.winId()));
    EXPECT_TRUE(
        server.atomNames(quint32(widget.winId()), "_NET_WM_STATE").contains("_NET_WM_STATE_ABOVE"));
}

}  // namespace
}  // namespace talvor::platform
