// The workspace's desktop side on files of its own: desktop entries in a temporary XDG tree,
// a recently-used list, and what opening things starts.
#include "platform/DesktopApplications.h"
#include "platform/linux/XdgWorkspace.h"

#include "support/FakeSystemEvents.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QLocale>
#include <QPixmap>

namespace talvor::platform {
namespace {

void write(const QString& path, const QString& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(text.toUtf8());
}

QString entry(const QString& keys) {
    return QStringLiteral("[Desktop Entry]\nType=Application\n") + keys + QStringLiteral("\n");
}

class WorkspaceFiles : public ::testing::Test {
  protected:
    WorkspaceFiles() {
        write(user("org.example.Editor.desktop"),
              entry("Name=Editor\nName[de]=Bearbeiter\nIcon=" + root() +
                    "/editor.png\nStartupWMClass=EditorWin\nExec=editor %F\n"
                    "Categories=Utility;"));
        QImage icon(16, 16, QImage::Format_ARGB32);
        icon.fill(Qt::red);
        icon.save(root() + "/editor.png");
        write(sys("org.example.Editor.desktop"), entry("Name=Old Editor\nExec=editor"));
        write(root() + "/bin/viewer", "#!/bin/sh\n");
        QFile::setPermissions(root() + "/bin/viewer", QFile::ReadOwner | QFile::ExeOwner);
        QFile::link(root() + "/bin/viewer", root() + "/bin/viewer-link");
        write(sys("viewer.desktop"), entry("Name=Viewer\nExec=\"" + root() + "/bin/viewer\" %U"));
        // The user's hidden copy removes the system's entry.
        write(sys("gone.desktop"), entry("Name=Gone\nExec=gone"));
        write(user("gone.desktop"), entry("Hidden=true"));
        write(sys("kde/konsole.desktop"), entry("Name=Konsole\nExec=konsole"));
        write(sys("helper.desktop"), entry("Name=Helper\nNoDisplay=true\nStartupWMClass=Shared"));
        write(sys("zshown.desktop"), entry("Name=Shown\nStartupWMClass=Shared"));
        write(sys("network-panel.desktop"),
              entry("Name=Network\nNoDisplay=true\nExec=gnome-control-center network\n"
                    "Categories=GNOME;GTK;Settings;X-GNOME-Settings-Panel;"));
        write(sys(".hidden-panel.desktop"), entry("Name=Hidden One\nCategories=Settings;"));
        write(sys("deleted-panel.desktop"),
              entry("Name=Deleted\nHidden=true\nCategories=Settings;"));
        write(sys("link.desktop"),
              "[Desktop "
              "Entry]\nType=Link\nName=Link\nURL=https://example.org\nCategories=Settings;\n");
        write(local("printers.desktop"),
              entry("Name=Printers\nCategories=Settings;HardwareSettings;"));
    }

    QString root() const { return sandbox.root(); }
    QString user(const QString& file) const { return root() + "/data/applications/" + file; }
    QString sys(const QString& file) const { return root() + "/sys/applications/" + file; }
    QString local(const QString& file) const { return root() + "/local/applications/" + file; }

    test::XdgSandbox sandbox;
    test::ScopedEnvVar dataDirs{
        "XDG_DATA_DIRS", sandbox.root() + "/local:relative/ignored:" + sandbox.root() + "/sys"};
    test::FakeProcessLauncher launcher;
};

using platformWorkspaceFiles = WorkspaceFiles;

TEST_F(platformWorkspaceFiles, TheUsersEntriesShadowTheSystemsAndHiddenOnesRemoveThem) {
    const DesktopApplicationIndex index;
    QStringList ids;
    for (const DesktopApplication& e : index.entries()) {
        ids << e.id;
    }
    ids.sort();
    // Hidden files are no one's applications.
    EXPECT_EQ(ids, (QStringList{"helper", "kde-konsole", "network-panel", "org.example.Editor",
                                "printers", "viewer", "zshown"}));
    const DesktopApplication* editor = index.entryWithId(QStringLiteral("org.example.Editor"));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->path, user("org.example.Editor.desktop"));
    EXPECT_EQ(editor->exec, (QStringList{"editor"}));
    EXPECT_FALSE(DesktopApplicationIndex::icon(*editor).isNull());
    EXPECT_EQ(index.entryWithId(QStringLiteral("kde-konsole"))->name, "Konsole");
}

TEST_F(platformWorkspaceFiles, WindowsAndNamesFindTheirEntries) {
    const DesktopApplicationIndex index;
    struct WindowCase {
        QString instance, wmClass, executable;
        QString id;  // empty: none
    };
    const WindowCase windows[] = {
        {"editorwin", "EditorWin", "", "org.example.Editor"},
        {"x", "y", root() + "/bin/viewer-link", "viewer"},
        {"org.example.Editor", "", "", "org.example.Editor"},
        {"konsole", "Konsole", "", ""},  // its id is kde-konsole
        {"kde-konsole", "Konsole", "", "kde-konsole"},
        // A helper entry gives way to one the menus show.
        {"shared", "Shared", "", "zshown"},
        {"nobody", "Nobody", "/usr/bin/true", ""},
    };
    for (const WindowCase& c : windows) {
        const DesktopApplication* e = index.entryForWindow(c.instance, c.wmClass, c.executable);
        EXPECT_EQ(e != nullptr ? e->id : QString(), c.id) << c.wmClass.toStdString();
    }
    const std::pair<QString, QString> names[] = {
        {"editor", "org.example.Editor"},  // its program
        {"viewer", "viewer"},              // its id
        {"Konsole", "kde-konsole"},        // its name
        {"org.example.Editor.desktop", "org.example.Editor"},
        {"editorwin", "org.example.Editor"},  // its window class
        {"Gone", ""},
        {"", ""},
    };
    for (const auto& [name, id] : names) {
        const DesktopApplication* e = index.entryForName(name);
        EXPECT_EQ(e != nullptr ? e->id : QString(), id) << name.toStdString();
    }
}

TEST_F(platformWorkspaceFiles, NamesComeInTheUsersLanguage) {
    const QLocale before;
    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    const std::optional<DesktopApplication> german =
        DesktopApplicationIndex::readEntry(user("org.example.Editor.desktop"));
    QLocale::setDefault(before);
    ASSERT_TRUE(german);
    EXPECT_EQ(german->name, "Bearbeiter");
    EXPECT_EQ(DesktopApplicationIndex::readEntry(user("org.example.Editor.desktop"))->name,
              "Editor");
}

TEST_F(platformWorkspaceFiles, SettingsPanelsAreTheSettingsEntriesOfEachFolder) {
    const XdgWorkspace workspace(nullptr, launcher);
    EXPECT_EQ(workspace.settingsPanelFolders(),
              (QStringList{root() + "/local/applications", root() + "/sys/applications",
                           root() + "/data/applications"}));
    QStringList system = workspace.settingsPanelsInFolder(root() + "/sys/applications");
    system.sort();
    // The hidden file stays: the menu decides about those.
    EXPECT_EQ(system, (QStringList{sys(".hidden-panel.desktop"), sys("network-panel.desktop")}));
    EXPECT_EQ(workspace.settingsPanelsInFolder(root() + "/local/applications"),
              (QStringList{local("printers.desktop")}));
    EXPECT_TRUE(workspace.settingsPanelsInFolder(root() + "/missing").isEmpty());
    EXPECT_EQ(workspace.displayNameAtPath(sys("network-panel.desktop")), "Network");
    EXPECT_EQ(workspace.displayNameAtPath(root() + "/notes.txt"), "notes.txt");
    EXPECT_FALSE(workspace.iconForFile(user("org.example.Editor.desktop")).isNull());
}

TEST_F(platformWorkspaceFiles, RecentApplicationsComeFromTheRecentlyUsedList) {
    const QString xbel = root() + "/data/recently-used.xbel";
    write(xbel, R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0" xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks"
      xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info">
  <bookmark href="file:///home/u/a.txt" added="2024-05-01T10:00:00Z">
    <info><metadata owner="http://freedesktop.org">
      <mime:mime-type type="text/plain"/>
      <bookmark:applications>
        <bookmark:application name="editor" exec="&apos;editor %u&apos;" count="2"/>
        <bookmark:application name="Viewer" exec="&apos;viewer %u&apos;" count="1"/>
      </bookmark:applications>
    </metadata></info>
  </bookmark>
  <bookmark href="file:///home/u/b.png">
    <info><metadata owner="http://freedesktop.org">
      <application name="not in the bookmark namespace"/>
      <bookmark:applications>
        <bookmark:application name="editor" exec="&apos;editor %u&apos;"/>
        <bookmark:application name="Uninstalled" exec="&apos;gone %u&apos;"/>
      </bookmark:applications>
    </metadata></info>
  </bookmark>
</xbel>
)");
    const XdgWorkspace workspace(nullptr, launcher);
    EXPECT_EQ(workspace.recentApplicationNames(), (QStringList{"editor", "Viewer", "Uninstalled"}));
    EXPECT_EQ(workspace.fullPathForApplication("editor"), user("org.example.Editor.desktop"));
    EXPECT_EQ(workspace.fullPathForApplication("Viewer"), sys("viewer.desktop"));
    EXPECT_EQ(workspace.fullPathForApplication("Uninstalled"), std::nullopt);

    // A damaged list gives what was read before the damage, and says so.
    QFile file(xbel);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    file.close();
    write(xbel, QString::fromUtf8(whole.left(whole.indexOf("<bookmark href=\"file:///home/u/b"))) +
                    "<bookmark><oops");
    test::LogCapture log;
    EXPECT_EQ(recentlyUsedApplicationNames(xbel), (QStringList{"editor", "Viewer"}));
    EXPECT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(recentlyUsedApplicationNames(root() + "/none.xbel").isEmpty());
}

TEST_F(platformWorkspaceFiles, OpeningGoesThroughTheDesktopsTools) {
    write(root() + "/notes.txt", "notes");
    write(root() + "/manual.html", "<h2 id=\"pane-chimes\">Chimes</h2>");
    struct Case {
        QStringList installed;
        QString target;  // a path, or a URL with a scheme
        bool opened;
        QString program;
        QStringList arguments;
    };
    const QString editor = user("org.example.Editor.desktop");
    const QString notes = root() + "/notes.txt";
    // A place in a page keeps its fragment: the viewer gets the whole URL.
    const QString section =
        QUrl::fromLocalFile(root() + "/manual.html").toString() + "#pane-chimes";
    const Case cases[] = {
        {{"gio", "xdg-open"}, editor, true, "/usr/bin/gio", {"launch", editor}},
        // Without gio the entry's own command line, field codes dropped.
        {{"editor"}, editor, true, "/usr/bin/editor", {}},
        {{}, editor, false, {}, {}},
        {{"gio", "xdg-open"}, notes, true, "/usr/bin/xdg-open", {notes}},
        {{"gio"}, notes, true, "/usr/bin/gio", {"open", notes}},
        {{}, notes, false, {}, {}},
        {{"xdg-open"}, root() + "/missing.txt", false, {}, {}},
        {{"xdg-open"},
         "https://example.org/a%20b",
         true,
         "/usr/bin/xdg-open",
         {"https://example.org/a%20b"}},
        {{"gio"}, QUrl::fromLocalFile(editor).toString(), true, "/usr/bin/gio", {"launch", editor}},
        {{"gio", "xdg-open"}, section, true, "/usr/bin/xdg-open", {section}},
        {{"gio"}, section, true, "/usr/bin/gio", {"open", section}},
        {{"xdg-open"},
         QUrl::fromLocalFile(root() + "/missing.html").toString() + "#pane-chimes",
         false,
         {},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.toStdString() + " with " + c.installed.join(',').toStdString());
        launcher.installed = c.installed;
        launcher.launches.clear();
        XdgWorkspace workspace(nullptr, launcher);
        test::LogCapture log;
        const bool isUrl = c.target.contains(QStringLiteral("://"));
        EXPECT_EQ(isUrl ? workspace.openURL(QUrl(c.target)) : workspace.openFile(c.target),
                  c.opened);
        ASSERT_EQ(launcher.launches.size(), c.opened ? 1u : 0u);
        if (c.opened) {
            EXPECT_EQ(launcher.launches[0].program, c.program);
            EXPECT_EQ(launcher.launches[0].arguments, c.arguments);
        }
    }

    launcher.installed = {"gnome-control-center"};
    launcher.launches.clear();
    XdgWorkspace workspace(nullptr, launcher);
    EXPECT_TRUE(workspace.openFile(notes, "gnome-control-center"));
    EXPECT_FALSE(workspace.openFile(notes, "systemsettings"));
    ASSERT_EQ(launcher.launches.size(), 1u);
    EXPECT_EQ(launcher.launches[0].arguments, (QStringList{notes}));
}

TEST_F(platformWorkspaceFiles, WindowsBecomeApplications) {
    const DesktopApplicationIndex index;
    std::vector<ClientWindow> windows = {
        {.window = 1, .pid = 10, .wmInstance = "editorwin", .wmClass = "EditorWin"},
        {.window = 2, .pid = 20, .wmClass = "Tool", .inTaskbar = false},
        {.window = 3, .pid = 10, .wmClass = "EditorWin", .inTaskbar = false},
        {.window = 4, .wmClass = "Remote"},
        {.window = 5, .pid = 30, .title = "Untitled thing"},
        {.window = 6, .wmClass = "Remote", .inTaskbar = false},
        {.window = 7, .pid = 40, .wmClass = "Viewer"},
    };
    std::vector<quint32> iconsAsked;
    const auto executable = [this](qint64 pid) {
        return pid == 40 ? root() + "/bin/viewer-link" : QStringLiteral("/opt/bin/p%1").arg(pid);
    };
    const std::vector<ResolvedApplication> apps =
        resolveApplications(windows, index, executable, [&](quint32 window) {
            iconsAsked.push_back(window);
            QPixmap pixmap(16, 16);
            pixmap.fill(Qt::blue);
            return QIcon(pixmap);
        });
    ASSERT_EQ(apps.size(), 5u);
    const RunningApplication& editor = apps[0].application;
    EXPECT_EQ(editor.localizedName, "Editor");
    EXPECT_EQ(editor.processIdentifier, 10);
    EXPECT_EQ(editor.bundleIdentifier, "org.example.Editor");
    EXPECT_EQ(editor.bundleURL, QUrl::fromLocalFile(user("org.example.Editor.desktop")));
    EXPECT_EQ(editor.activationPolicy, ActivationPolicy::Regular);
    EXPECT_EQ(apps[0].windows, (std::vector<quint32>{1, 3}));

    const RunningApplication& tool = apps[1].application;
    EXPECT_EQ(tool.localizedName, "Tool");
    EXPECT_EQ(tool.bundleURL, QUrl::fromLocalFile("/opt/bin/p20"));
    EXPECT_TRUE(tool.bundleIdentifier.isEmpty());
    EXPECT_EQ(tool.activationPolicy, ActivationPolicy::Accessory);

    // Windows naming no process go together by class.
    EXPECT_EQ(apps[2].application.localizedName, "Remote");
    EXPECT_EQ(apps[2].application.processIdentifier, 0);
    EXPECT_EQ(apps[2].windows, (std::vector<quint32>{4, 6}));
    EXPECT_EQ(apps[3].application.localizedName, "Untitled thing");
    EXPECT_EQ(apps[4].application.bundleIdentifier, "viewer");
    // Entries without an icon fall back to the window's; the editor's has one.
    EXPECT_EQ(iconsAsked, (std::vector<quint32>{2, 4, 5, 7}));
}

TEST_F(platformWorkspaceFiles, WithoutAnXServerNoApplicationsRunButFilesStillWork) {
    test::ScopedEnvVar display("DISPLAY", QString());
    test::LogCapture log;
    const std::unique_ptr<XdgWorkspace> workspace = XdgWorkspace::create();
    EXPECT_EQ(
        log.lines(),
        (QStringList{"Workspace: there is no X display; running applications are not listed"}));
    EXPECT_TRUE(workspace->runningApplications().empty());
    EXPECT_FALSE(workspace->frontmostApplication().has_value());
    EXPECT_EQ(workspace->fullPathForApplication("Konsole"), sys("kde/konsole.desktop"));
}

}  // namespace
}  // namespace talvor::platform
