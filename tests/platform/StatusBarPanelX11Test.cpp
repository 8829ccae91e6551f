// The panel on a real X server (Xvfb, no window manager): a dock at the top with a strut,
// its menu opened by a synthetic click, and both seen in a screenshot of the screen.
#include "platform/Menu.h"
#include "platform/MenuMirror.h"
#include "platform/PreferenceStore.h"
#include "platform/StatusBar.h"
#include "platform/StatusBarPanel.h"

#include "support/QtPrinters.h"
#include "support/ScreenPixels.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <iostream>
#include <memory>

using namespace talvor::platform;

namespace {

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(20000) || p.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString()
                      << " failed: " << p.readAllStandardError().toStdString();
    }
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

bool have(const char* tool) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty();
}

TEST(platformStatusBarPanelX11, DocksAtTheTopAndOpensItsMenuOnAClick) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    }
    for (const char* tool : {"xprop", "xwininfo", "xdotool", "import"}) {
        if (!have(tool)) {
            GTEST_SKIP() << tool << " is missing (scripts/setup-deps installs it)";
        }
    }

    StatusBar bar;
    auto date = bar.statusItemWithLength(VariableStatusItemLength);
    date->setTitle(QStringLiteral("Mon 12 May"));
    auto time = bar.statusItemWithLength(VariableStatusItemLength);
    time->setTitle(QStringLiteral("12:00:01 PM"));
    time->setHighlightMode(true);
    auto menu = Menu::create(QStringLiteral("Time"));
    int opened = 0;
    menu->setDelegate({.menuWillOpen = [&](Menu&) { ++opened; }});
    menu->addItemWithTitle(QStringLiteral("Alarms..."), [](MenuItem&) {});
    menu->addItem(MenuItem::separatorItem());
    menu->addItemWithTitle(QStringLiteral("Quit Talvor"), [](MenuItem&) {});
    time->setMenu(menu);

    MemoryPreferenceStore store;
    StatusBarPanel panel(bar, {StatusBarPanel::Mode::Automatic, &store});
    ASSERT_EQ(panel.mode(), StatusBarPanel::Mode::Dock);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    const QString wid = QString::number(panel.winId());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const int thickness = static_cast<int>(bar.thickness());

    const QString props =
        run("xprop", {"-id", wid, "_NET_WM_WINDOW_TYPE", "_NET_WM_STRUT_PARTIAL"});
    EXPECT_TRUE(props.contains("_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_DOCK"))
        << props.toStdString();
    const QString strut =
        QStringLiteral("_NET_WM_STRUT_PARTIAL(CARDINAL) = 0, 0, %1, 0, 0, 0, 0, 0, %2, %3, 0, 0")
            .arg(screen.top() + thickness)
            .arg(screen.left())
            .arg(screen.right());
    EXPECT_TRUE(props.contains(strut)) << props.toStdString();
    const QString info = run("xwininfo", {"-id", wid});
    EXPECT_TRUE(info.contains(QStringLiteral("Absolute upper-left Y:  %1\n").arg(screen.top())))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("Width: %1\n").arg(screen.width())))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("Height: %1\n").arg(thickness))) << info.toStdString();
    EXPECT_EQ(store.value(StatusBarPanel::PositionKey).toMap().value("Screen").toString(),
              QGuiApplication::primaryScreen()->name());

    // A popup of another client on the same display may hold the pointer for a moment and
    // take a click: click again then.
    const QPoint click = time->windowFrame().center().toPoint();
    bool menuShown = false;
    for (int attempt = 0; attempt < 3 && !menuShown; ++attempt) {
        run("xdotool", {"mousemove", "--sync", QString::number(click.x()),
                        QString::number(click.y()), "click", "1"});
        menuShown = QTest::qWaitFor([&] { return panel.openMenuMirror() != nullptr; }, 5000);
    }
    ASSERT_TRUE(menuShown);
    QMenu* shown = panel.openMenuMirror()->menu();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(shown));
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(QApplication::activePopupWidget(), shown);
    EXPECT_TRUE(time->isHighlighted());
    EXPECT_EQ(shown->geometry().topLeft(), time->windowFrame().bottomLeft().toPoint());

    // The windows reach the server in their own time: take screenshots until both show. The
    // last one stays beside the test program (in the build tree, wherever the test was started
    // from) to be looked at.
    const QString path = QDir(QCoreApplication::applicationDirPath())
                             .absoluteFilePath(QStringLiteral("statusbar-x11-screen.png"));
    const QImage barPixels = panel.grab().toImage();
    const QImage menuPixels = shown->grab().toImage();
    double barShare = 0;
    double menuShare = 0;
    const bool bothSeen = QTest::qWaitFor(
        [&] {
            run("import", {"-window", "root", path});
            const QImage screenshot(path);
            if (screenshot.isNull()) {
                return false;
            }
            barShare = talvor::test::pixelShare(screenshot, barPixels, panel.geometry().topLeft());
            menuShare =
                talvor::test::pixelShare(screenshot, menuPixels, shown->geometry().topLeft());
            return barShare > 0.95 && menuShare > 0.95;
        },
        10000);
    std::cout << "screenshot: " << path.toStdString() << "\n";
    EXPECT_TRUE(bothSeen) << "bar " << barShare << ", menu " << menuShare;

    shown->hide();
    EXPECT_FALSE(time->isHighlighted());
    EXPECT_FALSE(menu->isOpen());
}

// The application may end with a menu open: the panel goes first and takes the menu with it.
TEST(platformStatusBarPanelX11, GoingWithItsMenuOpenClosesTheMenuFirst) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    }
    StatusBar bar;
    auto time = bar.statusItemWithLength(VariableStatusItemLength);
    time->setTitle(QStringLiteral("12:00:01 PM"));
    time->setHighlightMode(true);
    auto menu = Menu::create(QStringLiteral("Time"));
    menu->addItemWithTitle(QStringLiteral("Quit Talvor"), [](MenuItem&) {});
    time->setMenu(menu);
    MemoryPreferenceStore store;
    auto panel = std::make_unique<StatusBarPanel>(
        bar, StatusBarPanel::Options{StatusBarPanel::Mode::Automatic, &store});
    panel->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
    time->popUpStatusItemMenu(menu);
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel->openMenuMirror() != nullptr; }, 5000));
    const QPointer<QMenu> shown = panel->openMenuMirror()->menu();
    panel.reset();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_FALSE(time->isHighlighted());
    EXPECT_FALSE(menu->isOpen());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shown.isNull());
}

}  // namespace
