#include "platform/Menu.h"
#include "shell/TimeMenu.h"
#include "support/BuiltManual.h"
#include "support/QtPrinters.h"
#include "support/ShellHarness.h"
#include "support/TestEnvironment.h"

#include <QAbstractButton>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

namespace talvor {
namespace {

Date utc(int y, int mo, int d, int h, int mi, int s) {
    return Date::fromQDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()));
}

// The launched application with the build tree's manual; the desktop's opener records.
class shellHelp : public ::testing::Test {
  protected:
    // Help/Manual... of the time menu, chosen as a user would.
    void chooseHelp() {
        const std::shared_ptr<platform::Menu> menu = harness.delegate->timeMenu();
        const int index = menu->indexOfItemWithTag(TimeMenu::kHelpTag);
        ASSERT_GE(index, 0);
        ASSERT_EQ(menu->itemAtIndex(index)->title(), QStringLiteral("Help/Manual..."));
        ASSERT_TRUE(menu->performActionForItemAtIndex(index));
    }
    QStringList opened() const {
        QStringList urls;
        for (const QUrl& url : harness.workspace.openedURLs) {
            urls << url.toString();
        }
        return urls;
    }

    test::ScopedBuiltManual manual;
    test::ShellHarness harness{utc(2024, 7, 1, 9, 30, 0)};
};

TEST_F(shellHelp, HelpManualOpensTheInstalledManualThroughTheDesktop) {
    harness.launch();
    chooseHelp();
    ASSERT_EQ(opened(), QStringList{manual.page(QStringLiteral("contents"))});

    // The page is there, with the heading the URL points at.
    const QUrl url = harness.workspace.openedURLs.front();
    QFile page(url.toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << url.toLocalFile().toStdString();
    EXPECT_TRUE(page.readAll().contains("id=\"" + url.fragment().toUtf8() + "\""));
}

// Every pane with a help button, shown in the settings window as the sidebar shows it.
TEST_F(shellHelp, EachPanesHelpButtonOpensItsSection) {
    AppDelegate& delegate = harness.launch();
    struct Case {
        PaneTag tag;
        const char* anchor;
    };
    const Case cases[] = {
        {PaneTag::menuItems, "pane-menu-items"},
        {PaneTag::chimes, "pane-chimes"},
        {PaneTag::setTimeZone, "pane-set-timezone"},
        {PaneTag::applicationsMenu, "pane-applications-menu"},
        {PaneTag::about, "pane-about"},
        {PaneTag::menubarCalendar, "pane-menubar-calendar"},
        {PaneTag::lightDark, "pane-light-dark"},
        {PaneTag::createAlarm, "pane-create-alarm"},
        {PaneTag::take5, "pane-take-5"},
        {PaneTag::countDown, "pane-countdown-timer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.anchor);
        harness.workspace.openedURLs.clear();
        delegate.doOnMain(c.tag);
        QAbstractButton* help = nullptr;
        for (QAbstractButton* b :
             delegate.settingsWindow().window()->findChildren<QAbstractButton*>()) {
            if (b->isVisibleTo(delegate.settingsWindow().window()) && b->text() == "?") {
                ASSERT_EQ(help, nullptr) << "one help button per pane";
                help = b;
            }
        }
        ASSERT_NE(help, nullptr);
        help->click();
        EXPECT_EQ(opened(), QStringList{manual.page(QString::fromLatin1(c.anchor))});
    }
}

TEST_F(shellHelp, WithoutTheManualHelpSaysSoOnceAndOpensNothing) {
    QTemporaryDir empty;
    const test::ScopedEnvVar elsewhere("TALVOR_SYSTEM_DATA_DIR", empty.path());
    harness.launch();
    test::LogCapture log;
    chooseHelp();
    EXPECT_TRUE(harness.workspace.openedURLs.empty());
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().front().contains(QStringLiteral("manual")));
    // The menu still works.
    chooseHelp();
    EXPECT_EQ(log.lines().size(), 2);
}

}  // namespace
}  // namespace talvor
