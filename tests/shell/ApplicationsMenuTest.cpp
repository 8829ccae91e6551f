#include "prefs/PrefsKeys.h"
#include "shell/ApplicationsMenu.h"

#include "foundation/PreferenceDomain.h"
#include "platform/Clock.h"
#include "support/FakeClock.h"
#include "support/FakeWorkspace.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <QPixmap>

#include <optional>

namespace talvor {
namespace {

using platform::ActivationPolicy;
using platform::Menu;
using platform::RunningApplication;

QIcon solidIcon(const QColor& colour) {
    QPixmap pixmap(32, 32);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

RunningApplication app(const QString& name, qint64 pid, const QColor& colour = Qt::red,
                       ActivationPolicy policy = ActivationPolicy::Regular) {
    RunningApplication a;
    a.processIdentifier = pid;
    a.localizedName = name;
    a.bundleIdentifier = name.toLower();
    a.bundleURL = QUrl::fromLocalFile(QStringLiteral("/apps/%1.desktop").arg(name.toLower()));
    a.icon = solidIcon(colour);
    a.activationPolicy = policy;
    return a;
}

// Titles in order: "-" for a separator, a trailing ">" for a submenu.
QStringList outline(const Menu& menu) {
    QStringList lines;
    for (const auto& item : menu.itemArray()) {
        lines << (item->isSeparatorItem() ? QStringLiteral("-")
                                          : item->title() + (item->hasSubmenu() ? ">" : ""));
    }
    return lines;
}

class ApplicationsMenuTest : public ::testing::Test {
  protected:
    ApplicationsMenuTest() {
        workspace.frontmost = app(QStringLiteral("Frontmost"), 7, Qt::blue);
        workspace.running = {app(QStringLiteral("Alpha"), 1),
                             app(QStringLiteral("Panel"), 2, Qt::red, ActivationPolicy::Accessory),
                             app(QStringLiteral("Beta"), 3)};
        workspace.recentNames = {QStringLiteral("Gamma")};
        workspace.applicationPaths[QStringLiteral("Gamma")] = QStringLiteral("/apps/gamma.desktop");
        workspace.panelFolders = {QStringLiteral("/panels")};
        workspace.panels[QStringLiteral("/panels")] = {QStringLiteral("/panels/network.desktop")};
    }

    void set(const QString& key, std::optional<qint64> value) {
        domain.store().setValue(key, value ? QVariant(*value) : QVariant());
    }
    std::shared_ptr<Menu> submenu(const QString& title) const {
        platform::MenuItem* item = menu.asmMenu()->itemWithTitle(title);
        return item != nullptr ? item->submenu() : nullptr;
    }

    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    platform::StatusBar bar;
    test::FakeWorkspace workspace;
    test::FakeTaskbarPresence presence;
    int preferencesShown = 0;
    ApplicationsMenu menu{[this] { ++preferencesShown; }, workspace, bar, presence};
};

using shellApplicationsMenu = ApplicationsMenuTest;

TEST_F(shellApplicationsMenu, TheItemFollowsTheFlagsAndShowsTheFrontmostApplication) {
    using Flag = std::optional<qint64>;
    struct Case {
        Flag asm_, icon, lists;
        bool item;
        QString title;
    };
    const Case cases[] = {
        // No "ASMFlag": no item, whatever the others say.
        {std::nullopt, 0, 1, false, {}},
        {0, 0, 1, false, {}},
        {1, std::nullopt, std::nullopt, true, {}},
        {1, 1, 0, true, {}},
        {1, 0, 0, true, QStringLiteral("Frontmost")},
        {-3, 2, 1, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "ASMFlag " << c.asm_.value_or(-99) << " ASMIconFlag "
                                        << c.icon.value_or(-99));
        set(keys::ASMFlag, c.asm_);
        set(keys::ASMIconFlag, c.icon);
        for (const QString& key : {keys::RecentList, keys::RecentFlag, keys::PrefsFlag}) {
            set(key, c.lists);
        }
        menu.setupASMMenu();
        ASSERT_EQ(menu.TalvorASM() != nullptr, c.item);
        ASSERT_EQ(bar.statusItems().size(), c.item ? 1u : 0u);
        if (c.item) {
            const platform::StatusItem& item = *menu.TalvorASM();
            EXPECT_EQ(item.title(), c.title);
            EXPECT_EQ(item.image().size(), QSize(16, 16));
            EXPECT_EQ(QColor(item.image().pixel(8, 8)), QColor(Qt::blue));
            EXPECT_EQ(item.menu(), menu.asmMenu());
            EXPECT_DOUBLE_EQ(item.length(), platform::VariableStatusItemLength);
        }
    }
}

TEST_F(shellApplicationsMenu, EachListKeyRemovesItsPart) {
    using Flag = std::optional<qint64>;
    struct Case {
        Flag runningList, recent, prefs;
        QStringList outline;
    };
    const QString prefs = QStringLiteral("Talvor Preferences");
    const Case cases[] = {
        {std::nullopt,
         std::nullopt,
         std::nullopt,
         {"Beta", "Alpha", "-", "Recent Items>", "-", "System Settings>", "-", prefs}},
        {1, 1, 1, {"Beta", "Alpha", "-", "Recent Items>", "-", "System Settings>", "-", prefs}},
        {0, 1, 1, {"-", "Recent Items>", "-", "System Settings>", "-", prefs}},
        {1, 0, 1, {"Beta", "Alpha", "-", "System Settings>", "-", prefs}},
        {1, 1, 0, {"Beta", "Alpha", "-", "Recent Items>", "-", prefs}},
        {0, 0, 0, {"-", prefs}},
    };
    set(keys::ASMFlag, 1);
    for (const Case& c : cases) {
        set(keys::RecentList, c.runningList);
        set(keys::RecentFlag, c.recent);
        set(keys::PrefsFlag, c.prefs);
        menu.setupASMMenu();
        EXPECT_EQ(outline(*menu.asmMenu()), c.outline);
        EXPECT_EQ(menu.asmMenu()->itemWithTag(ApplicationsMenu::kTalvorPreferencesTag)->title(),
                  prefs);
    }
}

TEST_F(shellApplicationsMenu, RunningApplicationsOpenByTheirURL) {
    workspace.failingOpens.insert(QStringLiteral("file:///apps/beta.desktop"));
    test::LogCapture log;
    menu.applicationChange();
    const Menu& m = *menu.asmMenu();
    ASSERT_EQ(m.itemAtIndex(0)->title(), "Beta");
    EXPECT_EQ(m.itemAtIndex(0)->representedObject().toUrl(),
              QUrl::fromLocalFile(QStringLiteral("/apps/beta.desktop")));
    EXPECT_EQ(m.itemAtIndex(1)->image().size(), QSize(16, 16));
    EXPECT_EQ(QColor(m.itemAtIndex(1)->image().pixel(3, 3)), QColor(Qt::red));

    ASSERT_TRUE(menu.asmMenu()->performActionForItemAtIndex(1));
    ASSERT_TRUE(menu.asmMenu()->performActionForItemAtIndex(0));
    EXPECT_EQ(workspace.openedURLs,
              (std::vector<QUrl>{QUrl::fromLocalFile(QStringLiteral("/apps/alpha.desktop")),
                                 QUrl::fromLocalFile(QStringLiteral("/apps/beta.desktop"))}));
    EXPECT_EQ(log.lines().size(), 1);
}

TEST_F(shellApplicationsMenu, RecentApplicationsAreSortedAndThoseNotFoundLeftOut) {
    workspace.recentNames = {"zeta",        "Alpha", "beta.desktop",  "Unknown",
                             "Text Editor", "gedit", "org.gnome.Maps"};
    workspace.applicationPaths = {{"zeta", "/a/zeta.desktop"},
                                  {"Alpha", "/a/alpha.desktop"},
                                  {"beta.desktop", "/a/beta.desktop"},
                                  {"gedit", "/a/org.gnome.gedit.desktop"},
                                  {"Text Editor", "/a/org.gnome.gedit.desktop"},
                                  {"org.gnome.Maps", "/a/org.gnome.Maps.desktop"}};
    workspace.icons[QStringLiteral("/a/zeta.desktop")] = solidIcon(Qt::green);
    menu.applicationChange();
    const std::shared_ptr<Menu> recent = submenu(QStringLiteral("Recent Items"));
    ASSERT_NE(recent, nullptr);
    EXPECT_EQ(recent->title(), "Recent Items");
    // One entry per application; its dots are no extension.
    EXPECT_EQ(outline(*recent), (QStringList{"Alpha", "beta", "gedit", "org.gnome.Maps", "zeta"}));
    EXPECT_EQ(recent->itemAtIndex(4)->representedObject().toString(), "/a/zeta.desktop");
    EXPECT_EQ(QColor(recent->itemAtIndex(4)->image().pixel(0, 0)), QColor(Qt::green));
    EXPECT_TRUE(recent->itemAtIndex(0)->image().isNull());
}

TEST_F(shellApplicationsMenu, OpeningAPanelFallsBackToTheSettingsApplication) {
    struct Case {
        QStringList failing;
        QStringList opened;
        QStringList log;
    };
    const QString path = QStringLiteral("/panels/network.desktop");
    const QString fallback = QStringLiteral("gnome-control-center: ") + path;
    const Case cases[] = {
        {{}, {path}, {}},
        {{path}, {path, fallback}, {"failed 1"}},
        {{path, "gnome-control-center"}, {path, fallback}, {"failed 1", "failed"}},
    };
    menu.applicationChange();
    for (const Case& c : cases) {
        workspace.failingOpens = QSet<QString>(c.failing.begin(), c.failing.end());
        workspace.openedFiles.clear();
        test::LogCapture log;
        const std::shared_ptr<Menu> panels = submenu(QStringLiteral("System Settings"));
        ASSERT_TRUE(panels->performActionForItemAtIndex(0));
        EXPECT_EQ(workspace.openedFiles, c.opened);
        EXPECT_EQ(log.lines(), c.log);
    }
}

TEST_F(shellApplicationsMenu, PanelFoldersAreSortedByNameWithMarkersBetweenThem) {
    workspace.panelFolders = {"/usr/local/share/applications", "/usr/share/applications",
                              "/home/u/.local/share/applications"};
    // The middle folder is missing: its markers stay.
    workspace.panels = {
        {"/usr/local/share/applications",
         {"/usr/local/share/applications/b.desktop", "/usr/local/share/applications/.DS_Store",
          "/usr/local/share/applications/zz-sound.desktop",
          "/usr/local/share/applications/A.desktop"}},
        {"/home/u/.local/share/applications",
         {"/home/u/.local/share/applications/.hidden.desktop",
          "/home/u/.local/share/applications/c.desktop"}}};
    workspace.displayNames["/usr/local/share/applications/zz-sound.desktop"] = "Audio";
    menu.applicationChange();
    const std::shared_ptr<Menu> panels = submenu(QStringLiteral("System Settings"));
    ASSERT_NE(panels, nullptr);
    EXPECT_EQ(panels->title(), "System Settings");
    EXPECT_EQ(outline(*panels), (QStringList{"A", "Audio", "b", "-", "-", "c"}));
    EXPECT_EQ(panels->itemAtIndex(1)->representedObject().toString(),
              "/usr/local/share/applications/zz-sound.desktop");
}

TEST_F(shellApplicationsMenu, SetupTwiceKeepsOneItemAndOneSetOfObservers) {
    set(keys::ASMFlag, 1);
    menu.setupASMMenu();
    const std::shared_ptr<platform::StatusItem> first = menu.TalvorASM();
    menu.setupASMMenu();
    EXPECT_EQ(menu.TalvorASM(), first);
    ASSERT_EQ(bar.statusItems().size(), 1u);

    workspace.runningApplicationsCalls = 0;
    workspace.running.push_back(app(QStringLiteral("Delta"), 9));
    workspace.post(platform::NSWorkspaceDidLaunchApplicationNotification, 9);
    EXPECT_EQ(workspace.runningApplicationsCalls, 1);
    EXPECT_EQ(menu.asmMenu()->itemAtIndex(0)->title(), "Delta");
    workspace.running.pop_back();
    workspace.post(platform::NSWorkspaceDidTerminateApplicationNotification, 9);
    EXPECT_EQ(workspace.runningApplicationsCalls, 2);
    EXPECT_EQ(menu.asmMenu()->itemAtIndex(0)->title(), "Beta");

    workspace.frontmost = app(QStringLiteral("Other"), 4, Qt::green);
    workspace.post(platform::NSWorkspaceDidActivateApplicationNotification, 4);
    EXPECT_EQ(QColor(first->image().pixel(8, 8)), QColor(Qt::green));
    EXPECT_EQ(workspace.runningApplicationsCalls, 2);

    // Nothing in front: no picture.
    workspace.frontmost.reset();
    workspace.post(platform::NSWorkspaceDidActivateApplicationNotification);
    EXPECT_TRUE(first->image().isNull());
}

TEST_F(shellApplicationsMenu, TheFlagOffRemovesTheItemAndQuietsTheObservers) {
    set(keys::ASMFlag, 1);
    menu.setupASMMenu();
    set(keys::ASMFlag, 0);
    menu.setupASMMenu();
    EXPECT_EQ(menu.TalvorASM(), nullptr);
    EXPECT_TRUE(bar.statusItems().empty());

    workspace.runningApplicationsCalls = 0;
    workspace.post(platform::NSWorkspaceDidLaunchApplicationNotification);
    workspace.post(platform::NSWorkspaceDidActivateApplicationNotification);
    EXPECT_EQ(workspace.runningApplicationsCalls, 0);

    set(keys::ASMFlag, 1);
    menu.setupASMMenu();
    ASSERT_EQ(bar.statusItems().size(), 1u);
    workspace.runningApplicationsCalls = 0;
    workspace.post(platform::NSWorkspaceDidLaunchApplicationNotification);
    EXPECT_EQ(workspace.runningApplicationsCalls, 1);
}

TEST_F(shellApplicationsMenu, AnOpenMenuIsRebuiltWhenItCloses) {
    set(keys::ASMFlag, 1);
    menu.setupASMMenu();
    Menu& m = *menu.asmMenu();
    m.notifyWillOpen();
    workspace.running.push_back(app(QStringLiteral("Delta"), 9));
    workspace.post(platform::NSWorkspaceDidLaunchApplicationNotification, 9);
    EXPECT_EQ(m.itemAtIndex(0)->title(), "Beta");
    m.notifyDidClose();
    // The item chosen as the menu closed still runs: the rebuild comes just after.
    EXPECT_EQ(m.itemAtIndex(0)->title(), "Beta");
    QCoreApplication::processEvents();
    EXPECT_EQ(m.itemAtIndex(0)->title(), "Delta");
    EXPECT_EQ(m.itemArray().size(), 9u);
}

TEST_F(shellApplicationsMenu, TalvorPreferencesOpensTheSettings) {
    menu.applicationChange();
    const int index = menu.asmMenu()->indexOfItemWithTag(ApplicationsMenu::kTalvorPreferencesTag);
    ASSERT_EQ(index, menu.asmMenu()->numberOfItems() - 1);
    EXPECT_TRUE(menu.asmMenu()->itemAtIndex(index - 1)->isSeparatorItem());
    ASSERT_TRUE(menu.asmMenu()->performActionForItemAtIndex(index));
    EXPECT_EQ(preferencesShown, 1);
}

TEST_F(shellApplicationsMenu, RunningApplicationsSubmenuUsesTheirEntries) {
    workspace.applicationPaths = {{"alpha", "/apps/alpha.desktop"}};
    menu.applicationChange();
    menu.addRunningAppsItemsSubMenu();
    const std::shared_ptr<Menu> running = menu.asmMenu()->itemArray().back()->submenu();
    ASSERT_NE(running, nullptr);
    // Beta's entry cannot be found.
    EXPECT_EQ(outline(*running), (QStringList{"Alpha"}));
    ASSERT_TRUE(running->performActionForItemAtIndex(0));
    EXPECT_EQ(workspace.openedFiles, (QStringList{"/apps/alpha.desktop"}));
}

TEST_F(shellApplicationsMenu, TheTaskbarPresenceFollowsAppDockIconFlag) {
    const std::pair<std::optional<qint64>, bool> cases[] = {
        {std::nullopt, true}, {0, true}, {1, false}, {-1, false}, {0, true}};
    for (const auto& [flag, shows] : cases) {
        set(keys::AppDockIconFlag, flag);
        menu.UpdateAppDockIcon();
        EXPECT_EQ(presence.shows, shows) << flag.value_or(-99);
    }
}

// With no recent applications the submenu says so rather than open empty.
TEST_F(shellApplicationsMenu, NoRecentApplicationsAreSaidSo) {
    workspace.recentNames = {QStringLiteral("Unknown")};
    menu.applicationChange();
    const std::shared_ptr<Menu> recent = submenu(QStringLiteral("Recent Items"));
    ASSERT_NE(recent, nullptr);
    ASSERT_EQ(outline(*recent), QStringList{"No Recent Items"});
    EXPECT_FALSE(recent->itemAtIndex(0)->isEnabled());
}

// The timing option shows how long each running application has been in use, from when the
// menu first saw it, and the times are fresh each time the menu opens.
TEST_F(shellApplicationsMenu, TheTimingOptionShowsHowLongEachApplicationRuns) {
    test::FakeClock clock;
    platform::Clock::setShared(&clock);
    menu.applicationChange();
    EXPECT_EQ(outline(*menu.asmMenu()).mid(0, 2), (QStringList{"Beta", "Alpha"}))
        << "just seen: no time yet";

    clock.advance(65 * 60);
    menu.asmMenu()->notifyWillOpen();
    EXPECT_EQ(outline(*menu.asmMenu()).mid(0, 2),
              (QStringList{"Beta (1 h 5 min)", "Alpha (1 h 5 min)"}));
    menu.asmMenu()->notifyDidClose();

    // An application started later counts from then.
    workspace.running.push_back(app(QStringLiteral("Gamma"), 4));
    menu.applicationChange();
    clock.advance(10 * 60);
    menu.asmMenu()->notifyWillOpen();
    EXPECT_EQ(outline(*menu.asmMenu()).mid(0, 3),
              (QStringList{"Gamma (10 min)", "Beta (1 h 15 min)", "Alpha (1 h 15 min)"}));
    menu.asmMenu()->notifyDidClose();

    set(keys::PrefsTimingFlag, 0);
    menu.applicationChange();
    EXPECT_EQ(outline(*menu.asmMenu()).mid(0, 3), (QStringList{"Gamma", "Beta", "Alpha"}));
    platform::Clock::setShared(nullptr);
}

}  // namespace
}  // namespace talvor
